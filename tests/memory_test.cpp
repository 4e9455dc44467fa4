// Memory map of the eight models, ROM images and banking, and the port
// decoder.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/machine.h"
#include "core/bus.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "devices/beeper.h"
#include "devices/tape.h"
#include "devices/wd1793.h"

namespace {

// Recognisable ROM images: every byte tells its offset and its image.
template <size_t N>
std::array<uint8_t, N> make_image(uint8_t salt)
{
    std::array<uint8_t, N> image{};
    for (size_t i = 0; i < N; ++i) image[i] = static_cast<uint8_t>((i * 7 + (i >> 8)) ^ salt);
    return image;
}

std::array<uint8_t, 0x4000> image_a = make_image<0x4000>(0x11);
std::array<uint8_t, 0x4000> image_b = make_image<0x4000>(0x22);
std::array<uint8_t, 0x4000> image_c = make_image<0x4000>(0x33);
std::array<uint8_t, 0x1000> image_boot = make_image<0x1000>(0x44);
std::array<uint8_t, 0x800> image_bios = make_image<0x800>(0x55);

class MemoryMap : public ::testing::Test {
protected:
    void SetUp() override
    {
        the_machine = machine{};   // a machine of its own
        image_a = make_image<0x4000>(0x11);
        image_a[0x3925] = 0x00;   // no LD A,(nn) to fix unless a test asks for it
        memory_set_rom_source(ROM_A64, image_a.data());
        memory_set_rom_source(ROM_B64, nullptr);
        memory_set_rom_source(ROM_C64, image_c.data());
        memory_set_rom_source(ROM_CPM_BOOT, image_boot.data());
        memory_set_rom_source(ROM_CPM_BIOS, image_bios.data());
        memory_set_b64_patch(no_patch.data(), 0);
        memory_set_rom_banking(1);
    }
    void TearDown() override
    {
        for (int rom = 0; rom < ROM_SOURCE_COUNT; ++rom) memory_set_rom_source(rom, nullptr);
        memory_set_b64_patch(nullptr, 0);
    }
    static void select(int model)
    {
        memory_set_active_setup(model);
        memory_reset();
    }
    static uint8_t* image() { return rom_pointer(); }
    std::array<uint8_t, 4> no_patch{};
};

struct model_row {
    int model;
    uint32_t page1;
    int rom14, rom3b;   // -1: left as the image has it
};

TEST_F(MemoryMap, EachModelPlacesItsPagesAndWritesItsRomBytes)
{
    const model_row rows[] = {
        {MODEL_A32, 0x6800, 0x68, 0xB3}, {MODEL_A48, 0xA800, 0xA8, 0x83}, {MODEL_A64, 0xE800, 0xE8, 0x43},
        {MODEL_B32, 0x6800, 0x68, 0xB3}, {MODEL_B48, 0xA800, 0xA8, 0x83}, {MODEL_B64, 0xE800, 0xE8, 0x43},
        {MODEL_C64, 0xE500, -1, -1},     {MODEL_CPM, 0xE800, 0xE8, 0x43},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.model);
        select(row.model);
        EXPECT_EQ(memory_get_machine_type(), row.model);
        EXPECT_EQ(screenptr() - image(), static_cast<long>(row.page1));
        z80_out(0x00, 0x00);   // bit 3 clear: page 0, 8 KB lower
        EXPECT_EQ(memory_get_video_ram_plain() - image(), static_cast<long>(row.page1 - 0x2000));
        EXPECT_EQ(screenptr(), memory_get_video_ram_plain());
        z80_out(0x00, 0x08);
        EXPECT_EQ(screenptr() - image(), static_cast<long>(row.page1));
        if (row.rom14 >= 0) {
            EXPECT_EQ(mem_read(0x14), row.rom14);
            EXPECT_EQ(mem_read(0x3B), row.rom3b);
            EXPECT_EQ(source_rom_pointer()[0x14], row.rom14);
        } else {
            EXPECT_EQ(mem_read(0x14), image_c[0x14]);
            EXPECT_EQ(mem_read(0x3B), image_c[0x3B]);
        }
    }
}

TEST_F(MemoryMap, A32MirrorsRomAbove32kAndRamAbove48k)
{
    select(MODEL_A32);
    EXPECT_EQ(mem_read(0x8000 + 0x0100), image_a[0x0100]);
    EXPECT_EQ(mem_read(0xBFFF), image_a[0x3FFF]);
    mem_write(0x4321, 0x5A);
    EXPECT_EQ(mem_read(0xC321), 0x5A);
    mem_write(0xFFFF, 0xA5);
    EXPECT_EQ(mem_read(0x7FFF), 0xA5);

    // A write to the upper mirror of the ROM lands in the ROM copy ...
    mem_write(0x8005, 0xEE);
    EXPECT_EQ(mem_read(0x0005), 0xEE);
    EXPECT_EQ(source_rom_pointer()[0x0005], image_a[0x0005]);
    // ... until the next cold restart.
    memory_reset();
    EXPECT_EQ(mem_read(0x0005), image_a[0x0005]);
    EXPECT_EQ(mem_read(0x4321), 0);
}

TEST_F(MemoryMap, A48MirrorsTheTop16kOntoTheThirdBank)
{
    select(MODEL_A48);
    mem_write(0xC010, 0x12);
    EXPECT_EQ(mem_read(0x8010), 0x12);
    mem_write(0x9000, 0x34);
    EXPECT_EQ(mem_read(0xD000), 0x34);
    mem_write(0x4000, 0x56);
    EXPECT_EQ(mem_read(0x4000), 0x56);
}

TEST_F(MemoryMap, A64HasNoMirrorAndColdRestartClearsTheLastByte)
{
    select(MODEL_A64);
    mem_write(0xFFFF, 0x77);
    mem_write(0x7FFF, 0x66);
    EXPECT_EQ(mem_read(0xFFFF), 0x77);
    EXPECT_EQ(mem_read(0x7FFF), 0x66);
    memory_reset();
    EXPECT_EQ(mem_read(0xFFFF), 0);
    EXPECT_EQ(mem_read(0x7FFF), 0);
}

TEST_F(MemoryMap, RomWritesAreIgnoredOutsideBankTwo)
{
    select(MODEL_A64);
    for (int bank : {0, 1, 3}) {
        SCOPED_TRACE(bank);
        z80_out(0xC0, static_cast<uint8_t>(bank));
        mem_write(0x1234, 0x99);
        z80_out(0xC0, 2);
        EXPECT_EQ(mem_read(0x1234), the_machine.mem.ext_ram[0x1234]);
        EXPECT_NE(the_machine.mem.ext_ram[0x1234], 0x99);
        z80_out(0xC0, 0);
        EXPECT_EQ(mem_read(0x1234), image_a[0x1234]);
    }
    z80_out(0xC0, 2);
    mem_write(0x1234, 0x99);
    EXPECT_EQ(mem_read(0x1234), 0x99);
    z80_out(0xC0, 0);
    EXPECT_EQ(mem_read(0x1234), image_a[0x1234]);
}

TEST_F(MemoryMap, BanksSelectRomEpromExtraRamAndRomAgain)
{
    select(MODEL_B64);
    const uint8_t rom_byte = mem_read(0x2000);
    z80_out(0xC1, 1);   // bit 1 clear: decoded
    for (uint16_t a : {0x0000, 0x2000, 0x3FFF}) EXPECT_EQ(mem_read(a), 0) << a;
    z80_out(0xFC, 3);
    EXPECT_EQ(mem_read(0x2000), rom_byte);
    z80_out(0xC2, 1);   // bit 1 set: not a bank port
    EXPECT_EQ(the_machine.mem.bank_nr, 3);
    EXPECT_EQ(z80_in(0xC0), 0xFF);
    // RAM above the ROM area is never banked.
    mem_write(0x4000, 0x42);
    EXPECT_EQ(mem_read(0x4000), 0x42);
}

TEST_F(MemoryMap, DisabledBankingIgnoresBankPortsAndShowsTheRom)
{
    select(MODEL_A64);
    z80_out(0xC0, 2);
    memory_set_rom_banking(0);
    EXPECT_EQ(mem_read(0x0100), image_a[0x0100]);   // bank 2 stays selected but unseen
    mem_write(0x0100, 0x01);
    EXPECT_EQ(mem_read(0x0100), image_a[0x0100]);
    z80_out(0xC0, 1);
    EXPECT_EQ(the_machine.mem.bank_nr, 2);
    memory_set_rom_banking(1);
    EXPECT_EQ(mem_read(0x0100), the_machine.mem.ext_ram[0x0100]);
}

TEST_F(MemoryMap, ColdRestartSelectsBankZeroAndKeepsExtraRam)
{
    select(MODEL_A64);
    z80_out(0xC0, 2);
    mem_write(0x0200, 0xAB);
    memory_reset();
    EXPECT_EQ(the_machine.mem.bank_nr, 0);
    EXPECT_EQ(mem_read(0x0200), image_a[0x0200]);
    z80_out(0xC0, 2);
    EXPECT_EQ(mem_read(0x0200), 0xAB);
}

TEST_F(MemoryMap, CpmProtectsTheBiosAreaAndKeepsItsImage)
{
    select(MODEL_CPM);
    for (int a = 0; a < 0x800; a += 0x101) EXPECT_EQ(mem_read(0xE000 + a), image_bios[a]) << a;
    mem_write(0xE000, static_cast<uint8_t>(~image_bios[0]));
    EXPECT_EQ(mem_read(0xE000), image_bios[0]);
    mem_write(0xEFFF, 0x12);
    EXPECT_EQ(mem_read(0xEFFF), 0);
    EXPECT_EQ(mem_read(0xE800), 0);
    mem_write(0xF000, 0x34);
    EXPECT_EQ(mem_read(0xF000), 0x34);
    mem_write(0xDFFF, 0x56);
    EXPECT_EQ(mem_read(0xDFFF), 0x56);

    // Boot ROM at 0, nothing above it in the ROM area.
    EXPECT_EQ(mem_read(0x0000), image_boot[0]);
    EXPECT_EQ(mem_read(0x0FFF), image_boot[0xFFF]);
    EXPECT_EQ(mem_read(0x1000), 0xFF);
    EXPECT_EQ(mem_read(0x3FFF), 0xFF);
    EXPECT_EQ(mem_read(0x14), 0xE8);
    EXPECT_EQ(mem_read(0x3B), 0x43);

    // A cold restart clears RAM around the BIOS but keeps it.
    the_machine.mem.memory[0xE900] = 0x77;   // as if written before protection
    memory_reset();
    EXPECT_EQ(mem_read(0xE900), 0);
    EXPECT_EQ(mem_read(0xF000), 0);
    EXPECT_EQ(mem_read(0xE000), image_bios[0]);
}

TEST_F(MemoryMap, BImageIsTheCurrentAImagePatchedThenGivenItsModelBytes)
{
    // The A image carries an LD A,(nn) that the A selection fixes for good.
    image_a[0x3925] = 0x3A;
    memory_set_rom_source(ROM_A64, image_a.data());
    select(MODEL_A48);
    EXPECT_EQ(mem_read(0x3925), 0x3E);
    EXPECT_EQ(mem_read(0x3926), 0x03);
    EXPECT_EQ(mem_read(0x3927), 0x00);

    static const uint8_t patch[] = {
        0x14, 0x00, 0x11, 0,   // overridden by the model byte
        0x26, 0x39, 0x99, 0,   // lands on the fixed-up A image
        0x00, 0x01, 0x77, 0,
        0xFF, 0x3F, 0x88, 0,
    };
    memory_set_b64_patch(patch, 4);
    select(MODEL_B32);
    EXPECT_EQ(mem_read(0x14), 0x68);
    EXPECT_EQ(mem_read(0x3B), 0xB3);
    EXPECT_EQ(mem_read(0x3925), 0x3E);   // inherited from the A image
    EXPECT_EQ(mem_read(0x3926), 0x99);
    EXPECT_EQ(mem_read(0x0100), 0x77);
    EXPECT_EQ(mem_read(0x3FFF), 0x88);
    EXPECT_EQ(mem_read(0x0101), image_a[0x0101]);

    // The A image keeps the values its last selection wrote.
    select(MODEL_A48);
    EXPECT_EQ(mem_read(0x14), 0xA8);
    EXPECT_EQ(mem_read(0x0100), image_a[0x0100]);
}

TEST_F(MemoryMap, FixUpRunsAfterThePatch)
{
    static const uint8_t patch[] = {0x25, 0x39, 0x3A, 0};   // B gets LD A,(nn)
    memory_set_b64_patch(patch, 1);
    select(MODEL_B64);
    EXPECT_EQ(mem_read(0x3925), 0x3E);
    EXPECT_EQ(mem_read(0x3926), 0x03);
    EXPECT_EQ(mem_read(0x3927), 0x00);
    select(MODEL_A64);
    EXPECT_EQ(mem_read(0x3925), image_a[0x3925]);
    EXPECT_EQ(mem_read(0x3926), image_a[0x3926]);
}

TEST_F(MemoryMap, FixUpLeavesTheC64ImageAlone)
{
    image_c[0x3925] = 0x3A;
    memory_set_rom_source(ROM_C64, image_c.data());
    select(MODEL_C64);
    EXPECT_EQ(mem_read(0x3925), 0x3A);
    EXPECT_EQ(mem_read(0x3926), image_c[0x3926]);
    EXPECT_EQ(mem_read(0x3927), image_c[0x3927]);
}

TEST_F(MemoryMap, SuppliedBImageStandsAsItIs)
{
    static const uint8_t patch[] = {0x00, 0x01, 0x77, 0};
    memory_set_b64_patch(patch, 1);
    memory_set_rom_source(ROM_B64, image_b.data());
    select(MODEL_B48);
    EXPECT_EQ(mem_read(0x0100), image_b[0x0100]);
    EXPECT_EQ(mem_read(0x2000), image_b[0x2000]);
    EXPECT_EQ(mem_read(0x14), 0xA8);
    EXPECT_EQ(mem_read(0x3B), 0x83);
}

TEST_F(MemoryMap, MemDumpWritesTheWholeImageWithTheRomCopy)
{
    select(MODEL_A64);
    mem_write(0x8000, 0xC3);
    z80_out(0xC0, 1);   // the banked view must not leak into the dump
    const auto old = std::filesystem::current_path();
    const auto dir = std::filesystem::temp_directory_path() / "brevan_memdump_test";
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    ASSERT_TRUE(mem_dump("memdump.bin", nullptr));
    std::filesystem::current_path(old);
    std::ifstream in(dir / "memdump.bin", std::ios::binary);
    const std::vector<uint8_t> dump{std::istreambuf_iterator<char>(in), {}};
    std::filesystem::remove_all(dir);
    ASSERT_EQ(dump.size(), 65536u);
    EXPECT_EQ(dump[0x100], image_a[0x100]);
    EXPECT_EQ(dump[0x8000], 0xC3);
}

// ---- port decoder ----

class PortDecoder : public MemoryMap {
protected:
    void SetUp() override
    {
        MemoryMap::SetUp();
        select(MODEL_A64);
        z80_out(0x00, 0x00);
    }
};

TEST(ControlRegister, OnlyChangedBitsReachTheirDevices)
{
    constexpr uint8_t devices = CTRL_JOY_STEP | CTRL_TAPE_REMOTE | CTRL_BEEPER | CTRL_TAPE_OUT;
    EXPECT_EQ(control_register_changes(0x9B, 0x9B) & devices, 0);
    EXPECT_EQ(control_register_changes(0x00, 0x40) & devices, CTRL_JOY_STEP);
    EXPECT_EQ(control_register_changes(0x40, 0x40) & devices, 0);     // already high: no edge
    EXPECT_EQ(control_register_changes(0x40, 0x00) & devices, 0);     // falling edge
    EXPECT_EQ(control_register_changes(0x00, 0x20) & devices, CTRL_TAPE_REMOTE);
    EXPECT_EQ(control_register_changes(0x00, 0x04) & devices, CTRL_TAPE_REMOTE);
    EXPECT_EQ(control_register_changes(0x00, 0x10) & devices, CTRL_BEEPER);
    EXPECT_EQ(control_register_changes(0x01, 0x02) & devices, CTRL_TAPE_OUT);
    EXPECT_EQ(control_register_changes(0x00, 0x08) & devices, 0);     // page only
    EXPECT_EQ(control_register_changes(0x00, 0x80) & devices, 0);     // NMI enable only
    EXPECT_EQ(control_register_changes(0x80, 0x00), CTRL_NMI_WITHDRAW);
    EXPECT_EQ(control_register_changes(0x00, 0x00), CTRL_NMI_WITHDRAW);
    EXPECT_EQ(control_register_changes(0x00, 0x80), 0);
}

TEST_F(PortDecoder, ControlRegisterWithdrawsTheNmiAndStoresTheEnable)
{
    z80_out(0x00, 0x80);
    EXPECT_EQ(nmi_allowed, 0x80);
    z80_state.nmi_request = 1;
    z80_state.nmi_in_service = 1;
    z80_out(0x3F, 0x88);   // bit 7 still set: the line stays
    EXPECT_EQ(z80_state.nmi_request, 1);
    z80_out(0x00, 0x00);
    EXPECT_EQ(nmi_allowed, 0);
    EXPECT_EQ(z80_state.nmi_request, 0);
    EXPECT_EQ(z80_state.nmi_in_service, 0);
    z80_out(0x00, 0x80);   // enabling does not raise it
    EXPECT_EQ(z80_state.nmi_request, 0);
}

TEST_F(PortDecoder, EveryWriteStoresTheDisplayPage)
{
    z80_out(0x00, 0x08);
    uint8_t* page1 = screenptr();
    the_machine.mem.page = 0;
    z80_out(0x00, 0x08);   // same value: the page is still stored
    EXPECT_EQ(screenptr(), page1);
    z80_out(0x12, 0x00);
    EXPECT_EQ(page1 - screenptr(), 0x2000);
    EXPECT_EQ(snapshot_out(0x00), 0x00);
}

TEST_F(PortDecoder, BeeperFollowsBitFour)
{
    z80_out(0x00, 0x10);
    EXPECT_EQ(the_machine.beeper.level, 0x1000);
    z80_out(0x00, 0x18);
    EXPECT_EQ(the_machine.beeper.level, 0x1000);
    z80_out(0x00, 0x08);
    EXPECT_EQ(the_machine.beeper.level, 0);
}

TEST_F(PortDecoder, ControlPortReadsKeyResetTapeAndVblank)
{
    reset_button_pressed = 0;
    vblank = 0;
    the_machine.tape.read_in = 0;
    EXPECT_EQ(z80_in(0x00), 0x00);
    vblank = 1;
    EXPECT_EQ(z80_in(0x3F), 0x20);
    reset_button_pressed = 1;
    the_machine.tape.read_in = 4;
    EXPECT_EQ(z80_in(0x15), 0x26);
    reset_button_pressed = 0;
    vblank = 0;
    the_machine.tape.read_in = 0;
}

TEST_F(PortDecoder, SerialPortReadsFloatingDataLinesHigh)
{
    const uint8_t value = z80_in(0x40);
    EXPECT_EQ(value & 0x05, 0x05);   // no joystick pulls them low
    EXPECT_EQ(z80_in(0x7F) & 0x05, 0x05);
}

TEST_F(PortDecoder, FloppyPortsOnlyOnTheCpmModel)
{
    the_machine.fdc.motor = 0;
    EXPECT_EQ(z80_in(0xB0), 0xFF);
    EXPECT_EQ(z80_in(0xB7), 0xFF);
    z80_out(0xB7, 0xFF);   // goes to the serial bus
    EXPECT_EQ(the_machine.fdc.motor, 0);

    select(MODEL_CPM);
    EXPECT_EQ(z80_in(0xB4), 0xFF);
    EXPECT_EQ(z80_in(0xBF), 0xFF);
    EXPECT_EQ(z80_in(0x80), 0xFF);
    EXPECT_EQ(z80_in(0xB8), z80_in(0xB0));
    EXPECT_EQ(z80_in(0xBB), z80_in(0xB3));
    z80_out(0xB7, 0xFF);
    EXPECT_EQ(the_machine.fdc.motor, 4);
    EXPECT_EQ(z80_in(0xB7), 4);
    z80_out(0xB7, 0xFB);
    EXPECT_EQ(the_machine.fdc.motor, 0);
    EXPECT_EQ(z80_in(0xB7), 0);
}

TEST_F(PortDecoder, SnapshotPortsRestoreOnlyTheInputFlags)
{
    z80_out(0x00, 0x9C);
    EXPECT_EQ(snapshot_out(0x00), 0x9C);
    EXPECT_EQ(snapshot_out(0x3F), 0x9C);
    EXPECT_EQ(snapshot_out(0x40), -1);
    EXPECT_EQ(snapshot_out(0xFF), -1);
    snapshot_in(0x00, 0x22);
    EXPECT_EQ(reset_button_pressed, 1);
    EXPECT_EQ(vblank, 1);
    snapshot_in(0x40, 0x00);
    EXPECT_EQ(reset_button_pressed, 1);
    snapshot_in(0x00, 0xDD);
    EXPECT_EQ(reset_button_pressed, 0);
    EXPECT_EQ(vblank, 0);
}

}  // namespace
