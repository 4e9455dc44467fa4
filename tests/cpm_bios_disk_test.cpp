// The CP/M firmware's disk path, run on a bench of its own: the processor
// core on a bus with the CP/M model's banked memory and a scripted floppy
// controller that serves a disk image. Covers the boot chain (boot ROM,
// boot sector, BIOS cold start, CCP), warm start, the record blocking of
// READ and WRITE, the choice of disk parameter block, and the boot ROM's
// behaviour with a blank disk, a stuck controller and no controller.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "emu/cpu_core.h"
#include "emu/event.h"
#include "roms.h"
#include "support/firmware_driver.h"

namespace {

// ----------------------------------------------------------------- bench

enum class fdc_mode { none, reading, writing };

struct disk_controller {
    bool present = true;         // false: every port reads 0xFF
    bool stuck_busy = false;     // BUSY never clears
    std::vector<uint8_t> image;  // empty: no disk
    int sectors = 9;
    int tracks = 80;
    bool read_only = false;
    uint8_t status = 0, track_reg = 0, sector_reg = 1, data = 0, command = 0;
    int head = 0;
    int busy_reads = 0;          // status reads until a type I command ends
    fdc_mode mode = fdc_mode::none;
    std::array<uint8_t, 512> buffer{};
    int offset = 0;
    int motor = 0;
    int sector_reads = 0;

    long position(int sector) const
    {
        if (sector < 1 || sector > sectors || head >= tracks) return -1;
        return (static_cast<long>(head) * sectors + sector - 1) * 512;
    }
    uint8_t read_status()
    {
        if (stuck_busy) return 0x01;
        uint8_t s = status;
        if (image.empty()) s |= 0x80;
        if (busy_reads > 0 && --busy_reads == 0) status &= ~0x01;
        return s;
    }
    void write_command(uint8_t value)
    {
        command = value;
        if ((value & 0xF0) == 0xD0) {
            mode = fdc_mode::none;
            status = 0;
            return;
        }
        if (status & 0x01) return;
        if (value < 0x80) {
            if ((value & 0xF0) == 0x00) head = 0;
            else if ((value & 0xF0) == 0x10 && data < 83) head = data;
            track_reg = static_cast<uint8_t>(head);
            status = 0x01;
            busy_reads = 3;
            return;
        }
        const long at = position(sector_reg);
        if ((value & 0xE0) == 0x80) {
            if (at < 0 || image.empty()) { status = 0; return; }
            std::copy(image.begin() + at, image.begin() + at + 512, buffer.begin());
            offset = 0;
            mode = fdc_mode::reading;
            status = 0x03;
            ++sector_reads;
        } else if ((value & 0xE0) == 0xA0) {
            if (at < 0 || image.empty() || read_only) { status = 0; return; }
            offset = 0;
            mode = fdc_mode::writing;
            status = 0x03;
        }
    }
    uint8_t read_data()
    {
        if (mode == fdc_mode::reading) {
            data = buffer[offset++];
            if (offset == 512) { mode = fdc_mode::none; status = 0; }
        }
        return data;
    }
    void write_data(uint8_t value)
    {
        data = value;
        if (mode != fdc_mode::writing) return;
        buffer[offset++] = value;
        if (offset == 512) {
            const long at = position(sector_reg);
            std::copy(buffer.begin(), buffer.end(), image.begin() + at);
            mode = fdc_mode::none;
            status = 0x01;
            busy_reads = 2;
        }
    }
    uint8_t read(int reg)
    {
        if (!present) return 0xFF;
        switch (reg) {
        case 0: return read_status();
        case 1: return static_cast<uint8_t>(head);
        case 2: return sector_reg;
        default: return read_data();
        }
    }
    void write(int reg, uint8_t value)
    {
        if (!present) return;
        switch (reg) {
        case 0: write_command(value); break;
        case 1: track_reg = value; break;
        case 2: sector_reg = value; break;
        default: write_data(value); break;
        }
    }
};

struct bench_state {
    std::array<uint8_t, 0x10000> memory{};
    std::array<uint8_t, 0x4000> ext_ram{};
    int bank = 0;
    disk_controller fdc;
    std::string printed;
};
bench_state* bench = nullptr;

// The CP/M model's memory and ports, as far as the firmware uses them.
struct cpm_bus {
    static uint8_t read(uint16_t a)
    {
        if (a < 0x4000) {
            if (bench->bank == 2) return bench->ext_ram[a];
            if (bench->bank == 1) return 0;
            return a < 0x1000 ? pr_2732[a] : 0xFF;
        }
        return bench->memory[a];
    }
    static void write(uint16_t a, uint8_t v)
    {
        if (a < 0x4000) {
            if (bench->bank == 2) bench->ext_ram[a] = v;
            return;
        }
        if ((a & 0xF000) == 0xE000) return;
        bench->memory[a] = v;
    }
    static uint8_t in(uint8_t port)
    {
        if (port < 0x40) return 0;   // no key down
        if ((port & 0xF4) == 0xB0) return bench->fdc.read(port & 3);
        if (port == 0xB7) return bench->fdc.present ? static_cast<uint8_t>(bench->fdc.motor) : 0xFF;
        return 0xFF;
    }
    static void out(uint8_t port, uint8_t v)
    {
        if ((port & 0xC0) == 0xC0 && !(port & 2)) bench->bank = v & 3;
        else if ((port & 0xF4) == 0xB0) bench->fdc.write(port & 3, v);
        else if (port == 0xB7) bench->fdc.motor = v & 4;
        else if ((port & 0xC0) == 0x40) bench->printed += static_cast<char>(v);
    }
};

int bios_label(const std::string& name) { return static_cast<int>(firmware_label("pr_2716_e000", name)); }

constexpr uint16_t CCP = 0xB000;
constexpr uint16_t CCP_IDLE = CCP + 4;
constexpr int SYSTEM_BYTES = 0x1600;
constexpr uint16_t STUB = 0x9100;
constexpr uint16_t DMA = 0x9800;
constexpr uint16_t RESULT = 0x9E00;

// A system disk: a boot sector that enters the BIOS, with or without the
// geometry mark, then a stand-in CCP that keeps the drive number it was
// given and idles, padded to the CCP + BDOS size with a counting pattern.
std::vector<uint8_t> system_disk(int sectors, int tracks, bool mark)
{
    std::vector<uint8_t> image(static_cast<size_t>(sectors) * tracks * 512, 0xE5);
    image[0] = 0xC3; image[1] = 0x00; image[2] = 0xE0;   // JP E000
    if (mark) {
        image[0x1FD] = 'G';
        image[0x1FE] = static_cast<uint8_t>(tracks);
        image[0x1FF] = static_cast<uint8_t>(sectors);
    }
    for (int i = 0; i < SYSTEM_BYTES; ++i) image[512 + i] = static_cast<uint8_t>(i * 7 + 3);
    const uint8_t ccp[] = {0x79, 0x32, 0x00, 0x90, 0x18, 0xFE};   // LD A,C; LD (9000),A; JR $
    std::copy(std::begin(ccp), std::end(ccp), image.begin() + 512);
    return image;
}

class CpmDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        state = std::make_unique<bench_state>();
        bench = state.get();
        std::copy(std::begin(pr_2716_e000), std::end(pr_2716_e000), bench->memory.begin() + 0xE000);
        event_init();
        z80_state = z80_state_t{};
        z80_state.clock = 2500000;
        z80_state.cycles_per_line = 160;
        z80_state.bp_address = 0xFFFF;
    }
    void TearDown() override { bench = nullptr; }

    static bool run_until(uint16_t pc, int64_t max_cycles = 100'000'000)
    {
        const int64_t start = z80_state.tcount;
        while (z80_state.tcount - start < max_cycles) {
            z80_execute<cpm_bus>(5000);
            if (z80_state.pc == pc) return true;
        }
        return false;
    }
    static bool boot()
    {
        z80_state.pc = 0;
        return run_until(CCP_IDLE);
    }
    // Calls a BIOS entry with BC and E; A lands at RESULT, HL at RESULT+2.
    static bool call_bios(int entry, uint16_t bc, uint8_t e = 0)
    {
        const uint16_t target = static_cast<uint16_t>(0xE000 + 3 * entry);
        const uint8_t code[] = {0x31, 0x00, 0x9F,
                                0x01, static_cast<uint8_t>(bc), static_cast<uint8_t>(bc >> 8),
                                0x1E, e,
                                0xCD, static_cast<uint8_t>(target), static_cast<uint8_t>(target >> 8),
                                0x32, RESULT & 0xFF, RESULT >> 8,
                                0x22, (RESULT + 2) & 0xFF, (RESULT + 2) >> 8,
                                0x18, 0xFE};
        std::copy(std::begin(code), std::end(code), bench->memory.begin() + STUB);
        z80_state.pc = STUB;
        return run_until(STUB + sizeof code - 2);
    }
    static int result_a() { return bench->memory[RESULT]; }
    static int result_hl() { return bench->memory[RESULT + 2] | bench->memory[RESULT + 3] << 8; }
    static int selected_dpb()
    {
        if (!call_bios(9, 0, 0)) return -1;
        const int dph = result_hl();
        return bench->memory[dph + 10] | bench->memory[dph + 11] << 8;
    }
    static bool read_record(int track, int sector)
    {
        return call_bios(12, DMA) && call_bios(10, static_cast<uint16_t>(track)) &&
               call_bios(11, static_cast<uint16_t>(sector)) && call_bios(13, 0);
    }
    static bool write_record(int track, int sector, uint8_t fill, uint8_t type)
    {
        std::fill(bench->memory.begin() + DMA, bench->memory.begin() + DMA + 128, fill);
        return call_bios(12, DMA) && call_bios(10, static_cast<uint16_t>(track)) &&
               call_bios(11, static_cast<uint16_t>(sector)) && call_bios(14, type);
    }
    static long record_offset(int track, int sector, int spt)
    {
        return (static_cast<long>(track) * spt + sector / 4) * 512 + (sector % 4) * 128;
    }
    // The boot ROM's request is on screen when row 11 holds any pixels.
    static bool request_shown()
    {
        for (int i = 0; i < 256; ++i)
            if (bench->memory[0xC800 + 11 * 256 + i]) return true;
        return false;
    }

    std::unique_ptr<bench_state> state;
};

TEST_F(CpmDisk, BootChainLoadsSystemAcrossTheTrackEndAndEntersCcp)
{
    for (int sectors : {9, 8}) {
        SetUp();
        bench->fdc.image = system_disk(sectors, 80, sectors == 9);
        bench->fdc.sectors = sectors;
        ASSERT_TRUE(boot()) << sectors;
        EXPECT_EQ(bench->bank, 2);
        EXPECT_EQ(bench->memory[0x9000], 0x00) << "CCP gets drive A:, user 0";
        for (int i = 0; i < SYSTEM_BYTES; ++i)
            ASSERT_EQ(bench->memory[CCP + i], bench->fdc.image[512 + i]) << sectors << " spt, byte " << i;
        const auto& page0 = bench->ext_ram;
        EXPECT_EQ(page0[0], 0xC3);
        EXPECT_EQ(page0[1] | page0[2] << 8, 0xE003);
        EXPECT_EQ(page0[5], 0xC3);
        EXPECT_EQ(page0[6] | page0[7] << 8, CCP + 0x806);
        for (int k = 0; k < 17; ++k) {   // where the BDOS of a 51K system calls its BIOS
            EXPECT_EQ(bench->memory[0xC600 + 3 * k], 0xC3) << k;
            EXPECT_EQ(bench->memory[0xC601 + 3 * k] | bench->memory[0xC602 + 3 * k] << 8, 0xE000 + 3 * k) << k;
        }
        EXPECT_EQ(bench->fdc.motor, 0) << "motor left running";
    }
}

TEST_F(CpmDisk, WarmStartReloadsTheSystem)
{
    bench->fdc.image = system_disk(9, 80, true);
    ASSERT_TRUE(boot());
    std::fill(bench->memory.begin() + CCP, bench->memory.begin() + 0xC633, 0x76);   // system and BIOS vector
    bench->ext_ram[4] = 0x05;   // drive F: does not exist: back to A:
    z80_state.pc = 0x0000;
    ASSERT_TRUE(run_until(CCP_IDLE));
    for (int i = 0; i < SYSTEM_BYTES; ++i) ASSERT_EQ(bench->memory[CCP + i], bench->fdc.image[512 + i]) << i;
    EXPECT_EQ(bench->memory[0x9000], 0x00);
    EXPECT_EQ(bench->memory[0xC630], 0xC3);
    EXPECT_EQ(bench->memory[0xC631] | bench->memory[0xC632] << 8, 0xE030);
}

TEST_F(CpmDisk, DiskParameterBlockFollowsTheMarkOrTheProbe)
{
    struct { int sectors, tracks; bool mark; const char* dpb; } cases[] = {
        {9, 80, true, "dpb_9_80"}, {8, 80, true, "dpb_8_80"}, {9, 40, true, "dpb_9_40"},
        {9, 80, false, "dpb_9_40"}, {8, 80, false, "dpb_8_40"},
    };
    for (const auto& c : cases) {
        SetUp();
        bench->fdc.image = system_disk(c.sectors, c.tracks, c.mark);
        bench->fdc.sectors = c.sectors;
        bench->fdc.tracks = c.tracks;
        ASSERT_TRUE(boot());
        EXPECT_EQ(selected_dpb(), bios_label(c.dpb)) << c.dpb << (c.mark ? " marked" : " probed");
    }
    ASSERT_TRUE(call_bios(9, 1, 0));
    EXPECT_EQ(result_hl(), 0) << "drive B: has no select line yet";
    SetUp();
    z80_state.pc = 0xE000;   // cold start without a disk ends up waiting for a key
    EXPECT_FALSE(run_until(CCP_IDLE, 5'000'000));
    EXPECT_EQ(selected_dpb(), bios_label("dpb_8_40")) << "no disk: the smallest format";
}

TEST_F(CpmDisk, RecordsAreReadFromTheirPlaceInTheSector)
{
    bench->fdc.image = system_disk(9, 80, true);
    for (size_t i = 9 * 512 * 2; i < bench->fdc.image.size(); ++i) bench->fdc.image[i] = static_cast<uint8_t>(i * 13 + i / 512);
    ASSERT_TRUE(boot());
    ASSERT_GE(selected_dpb(), 0);
    const int before = bench->fdc.sector_reads;
    for (int sector : {4, 5, 6, 7, 35}) {
        ASSERT_TRUE(read_record(3, sector));
        EXPECT_EQ(result_a(), 0) << sector;
        const long at = record_offset(3, sector, 9);
        for (int i = 0; i < 128; ++i) ASSERT_EQ(bench->memory[DMA + i], bench->fdc.image[at + i]) << sector << "/" << i;
    }
    EXPECT_EQ(bench->fdc.sector_reads - before, 2) << "one physical read per sector";
}

TEST_F(CpmDisk, WrittenRecordsReachTheDiskByTheNextDirectoryWrite)
{
    bench->fdc.image = system_disk(9, 80, true);
    ASSERT_TRUE(boot());
    ASSERT_GE(selected_dpb(), 0);
    ASSERT_TRUE(write_record(5, 8, 0x11, 0));
    ASSERT_TRUE(write_record(5, 9, 0x22, 0));
    EXPECT_EQ(result_a(), 0);
    ASSERT_TRUE(write_record(2, 0, 0x33, 1));   // directory: written through
    EXPECT_EQ(result_a(), 0);
    auto image_has = [&](long at, uint8_t value) {
        for (int i = 0; i < 128; ++i)
            if (bench->fdc.image[at + i] != value) return false;
        return true;
    };
    EXPECT_TRUE(image_has(record_offset(5, 8, 9), 0x11));
    EXPECT_TRUE(image_has(record_offset(5, 9, 9), 0x22));
    EXPECT_TRUE(image_has(record_offset(2, 0, 9), 0x33));
    EXPECT_TRUE(image_has(record_offset(5, 10, 9), 0xE5)) << "the rest of the sector kept";
    ASSERT_TRUE(read_record(5, 9));
    EXPECT_EQ(bench->memory[DMA], 0x22);
}

TEST_F(CpmDisk, WriteToAProtectedDiskReportsAnError)
{
    bench->fdc.image = system_disk(9, 80, true);
    ASSERT_TRUE(boot());
    ASSERT_GE(selected_dpb(), 0);
    bench->fdc.read_only = true;
    ASSERT_TRUE(write_record(4, 0, 0x44, 1));
    EXPECT_EQ(result_a(), 1);
}

TEST_F(CpmDisk, ReadBeyondTheDiskReportsAnError)
{
    bench->fdc.image = system_disk(9, 40, true);
    bench->fdc.tracks = 40;
    ASSERT_TRUE(boot());
    ASSERT_GE(selected_dpb(), 0);
    ASSERT_TRUE(read_record(60, 0));
    EXPECT_EQ(result_a(), 1);
}

TEST_F(CpmDisk, ListDeviceIsThePrinterPort)
{
    bench->fdc.image = system_disk(9, 80, true);
    ASSERT_TRUE(boot());
    ASSERT_TRUE(call_bios(5, 'P'));
    ASSERT_TRUE(call_bios(5, '\r'));
    EXPECT_EQ(bench->printed, "P\r");
    ASSERT_TRUE(call_bios(15, 0));
    EXPECT_EQ(result_a(), 0xFF);
}

TEST_F(CpmDisk, BootRomDoesNotRunABlankDisk)
{
    for (bool mark : {false, true}) {
        SetUp();
        bench->fdc.image.assign(9 * 80 * 512, 0xE5);
        if (mark) {
            bench->fdc.image[0x1FD] = 'G';
            bench->fdc.image[0x1FE] = 80;
            bench->fdc.image[0x1FF] = 9;
        }
        z80_state.pc = 0;
        EXPECT_FALSE(run_until(0x8000, 20'000'000)) << mark;
        EXPECT_TRUE(request_shown()) << mark;
        EXPECT_LT(z80_state.pc, 0x1000) << mark;
    }
}

TEST_F(CpmDisk, BootRomGivesUpOnAStuckOrMissingController)
{
    bench->fdc.stuck_busy = true;
    bench->fdc.image = system_disk(9, 80, true);
    z80_state.pc = 0;
    EXPECT_FALSE(run_until(0x8000, 50'000'000));   // 20 s at 2.5 MHz
    EXPECT_TRUE(request_shown());

    SetUp();
    bench->fdc.present = false;
    z80_state.pc = 0;
    EXPECT_FALSE(run_until(0x8000, 5'000'000));
    EXPECT_TRUE(request_shown());
}

}  // namespace
