// The CP/M firmware's disk path on the machine with its real controller and
// disk images: the boot chain (boot ROM, boot sector, BIOS cold start,
// CCP), warm start, the record blocking of READ and WRITE, four drives and
// two-sided disks, the choice of disk parameter block, and errors that come
// back to the caller instead of hanging it. The boot ROM's behaviour with a
// stuck or missing controller runs on a bench of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/event.h"
#include "core/hooks.h"
#include "core/machine.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "cpu/cpu_core.h"
#include "devices/wd1793.h"
#include "media/diskimg.h"
#include "roms.h"
#include "support/disk_files.h"
#include "support/firmware_driver.h"
#include "support/paths.h"
#include "support/test_machine.h"

namespace {

int bios_label(const std::string& name) { return static_cast<int>(firmware_label("pr_2716_e000", name)); }

constexpr uint16_t CCP = 0xB000;
constexpr uint16_t CCP_IDLE = CCP + 4;
constexpr int SYSTEM_BYTES = 0x1600;
constexpr uint16_t STUB = 0x9100;
constexpr uint16_t DMA = 0x9800;
constexpr uint16_t RESULT = 0x9E00;

// A system disk: a boot sector that enters the BIOS, with or without the
// format mark, then a stand-in CCP that keeps the drive number it was
// given and idles, padded to the CCP + BDOS size with a counting pattern.
std::vector<uint8_t> system_disk(int sectors, int tracks, int sides, bool mark)
{
    std::vector<uint8_t> image(static_cast<size_t>(sectors) * tracks * sides * 512, 0xE5);
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

uint8_t& ram(uint16_t at) { return the_machine.mem.memory[at]; }

class CpmDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        host_hooks = {};
        memory_set_rom_banking(1);
        test_machine_select(MODEL_CPM);
        z80_state.bp_enabled = 0;
    }
    void TearDown() override { drives_empty(); }

    void insert(int drive, const std::vector<uint8_t>& image, const char* name = "a.dsk")
    {
        ASSERT_EQ(wd1793_insert_disk(drive, disks.file(name, image).c_str()), 1);
    }
    static const std::vector<uint8_t>& disk(int drive) { return diskimg_drive(drive).data; }

    static bool run_until(uint16_t pc, int max_frames = 400)
    {
        for (int i = 0; i < max_frames; ++i) {
            machine_run();
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
        std::copy(std::begin(code), std::end(code), the_machine.mem.memory.begin() + STUB);
        z80_state.pc = STUB;
        return run_until(STUB + sizeof code - 2);
    }
    static int result_a() { return ram(RESULT); }
    static int result_hl() { return ram(RESULT) ? -1 : (ram(RESULT + 2) | ram(RESULT + 3) << 8); }
    static int selected_dpb(int drive)
    {
        if (!call_bios(9, static_cast<uint16_t>(drive), 0)) return -1;
        const int dph = ram(RESULT + 2) | ram(RESULT + 3) << 8;
        return dph ? ram(static_cast<uint16_t>(dph + 10)) | ram(static_cast<uint16_t>(dph + 11)) << 8 : 0;
    }
    static bool read_record(int track, int sector)
    {
        return call_bios(12, DMA) && call_bios(10, static_cast<uint16_t>(track)) &&
               call_bios(11, static_cast<uint16_t>(sector)) && call_bios(13, 0);
    }
    static bool write_record(int track, int sector, uint8_t fill, uint8_t type)
    {
        std::fill(the_machine.mem.memory.begin() + DMA, the_machine.mem.memory.begin() + DMA + 128, fill);
        return call_bios(12, DMA) && call_bios(10, static_cast<uint16_t>(track)) &&
               call_bios(11, static_cast<uint16_t>(sector)) && call_bios(14, type);
    }
    // Where a record lies in the image: CP/M tracks are sides of cylinders
    // one after another, which is the image's own order.
    static long record_offset(int track, int sector, int spt)
    {
        return (static_cast<long>(track) * spt + sector / 4) * 512 + (sector % 4) * 128;
    }
    static bool image_has(int drive, long at, uint8_t value)
    {
        return std::all_of(disk(drive).begin() + at, disk(drive).begin() + at + 128, [=](uint8_t v) { return v == value; });
    }
    // The boot ROM's request is on screen when row 11 holds any pixels.
    static bool request_shown()
    {
        for (int i = 0; i < 256; ++i)
            if (ram(static_cast<uint16_t>(0xC800 + 11 * 256 + i))) return true;
        return false;
    }

    scratch_disks disks;
};

TEST_F(CpmDisk, BootChainLoadsSystemAcrossTheTrackEndAndEntersCcp)
{
    const struct { int sectors, sides; } cases[] = {{9, 1}, {8, 1}, {9, 2}, {8, 2}};
    for (const auto& c : cases) {
        SetUp();
        insert(0, system_disk(c.sectors, 80, c.sides, c.sectors == 9));
        ASSERT_TRUE(boot()) << c.sectors << "x" << c.sides;
        EXPECT_EQ(the_machine.mem.bank_nr, 2);
        EXPECT_EQ(ram(0x9000), 0x00) << "CCP gets drive A:, user 0";
        for (int i = 0; i < SYSTEM_BYTES; ++i)
            ASSERT_EQ(ram(static_cast<uint16_t>(CCP + i)), disk(0)[512 + i]) << c.sectors << "x" << c.sides << ", byte " << i;
        const auto& page0 = the_machine.mem.ext_ram;
        EXPECT_EQ(page0[0], 0xC3);
        EXPECT_EQ(page0[1] | page0[2] << 8, 0xE003);
        EXPECT_EQ(page0[5], 0xC3);
        EXPECT_EQ(page0[6] | page0[7] << 8, CCP + 0x806);
        for (int k = 0; k < 17; ++k) {   // where the BDOS of a 51K system calls its BIOS
            EXPECT_EQ(ram(static_cast<uint16_t>(0xC600 + 3 * k)), 0xC3) << k;
            EXPECT_EQ(ram(static_cast<uint16_t>(0xC601 + 3 * k)) | ram(static_cast<uint16_t>(0xC602 + 3 * k)) << 8,
                      0xE000 + 3 * k) << k;
        }
        EXPECT_EQ(wd1793_is_active(), -1) << "motor left running";
        TearDown();
    }
}

TEST_F(CpmDisk, WarmStartReloadsTheSystemAndLeavesADriveWithoutDisk)
{
    insert(0, system_disk(9, 80, 2, true));
    ASSERT_TRUE(boot());
    std::fill(the_machine.mem.memory.begin() + CCP, the_machine.mem.memory.begin() + 0xC633, 0x76);   // system and BIOS vector
    the_machine.mem.ext_ram[4] = 0x01;   // B: holds no disk: back to A:
    z80_state.pc = 0x0000;
    ASSERT_TRUE(run_until(CCP_IDLE));
    for (int i = 0; i < SYSTEM_BYTES; ++i) ASSERT_EQ(ram(static_cast<uint16_t>(CCP + i)), disk(0)[512 + i]) << i;
    EXPECT_EQ(ram(0x9000), 0x00);
    EXPECT_EQ(ram(0xC630), 0xC3);
    EXPECT_EQ(ram(0xC631) | ram(0xC632) << 8, 0xE030);

    insert(1, system_disk(8, 40, 1, false), "b.dsk");
    the_machine.mem.ext_ram[4] = 0x31;   // user 3 on B:
    z80_state.pc = 0x0000;
    ASSERT_TRUE(run_until(CCP_IDLE));
    EXPECT_EQ(ram(0x9000), 0x31);
}

TEST_F(CpmDisk, DiskParameterBlockFollowsTheMarkOrTheProbe)
{
    struct { int drive, sectors, tracks, sides; bool mark; const char* dpb; } cases[] = {
        {0, 9, 80, 1, true, "dpb_9_80"},  {0, 8, 80, 1, true, "dpb_8_80"},  {0, 9, 40, 1, true, "dpb_9_40"},
        {0, 9, 80, 1, false, "dpb_9_40"}, {0, 8, 80, 1, false, "dpb_8_40"}, {0, 9, 80, 2, true, "dpb_9_160"},
        {0, 8, 80, 2, false, "dpb_8_160"}, {3, 9, 80, 2, true, "dpb_9_160"}, {1, 8, 40, 1, true, "dpb_8_40"},
    };
    for (const auto& c : cases) {
        SetUp();
        insert(0, system_disk(9, 80, 2, true));
        if (c.drive) insert(c.drive, system_disk(c.sectors, c.tracks, c.sides, c.mark), "other.dsk");
        else insert(0, system_disk(c.sectors, c.tracks, c.sides, c.mark));
        ASSERT_TRUE(boot());
        EXPECT_EQ(selected_dpb(c.drive), bios_label(c.dpb)) << c.dpb << (c.mark ? " marked" : " probed") << " in " << c.drive;
        TearDown();
    }
    SetUp();
    insert(0, system_disk(9, 80, 2, true));
    ASSERT_TRUE(boot());
    EXPECT_EQ(selected_dpb(2), 0) << "an empty drive cannot be selected";
    EXPECT_EQ(selected_dpb(4), 0) << "there is no fifth drive";
    int headers[4];
    for (int d = 0; d < 4; ++d) {
        if (d) insert(d, system_disk(9, 80, 2, true), ("more" + std::to_string(d) + ".dsk").c_str());
        ASSERT_TRUE(call_bios(9, static_cast<uint16_t>(d), 0));
        headers[d] = ram(RESULT + 2) | ram(RESULT + 3) << 8;
    }
    for (int d = 1; d < 4; ++d) {   // and each has vectors of its own
        ASSERT_NE(headers[d], headers[d - 1]);
        for (int field : {12, 14})
            EXPECT_NE(ram(static_cast<uint16_t>(headers[d] + field)) | ram(static_cast<uint16_t>(headers[d] + field + 1)) << 8,
                      ram(static_cast<uint16_t>(headers[d - 1] + field)) | ram(static_cast<uint16_t>(headers[d - 1] + field + 1)) << 8);
    }
}

TEST_F(CpmDisk, RecordsAreReadFromTheirPlaceOneSectorAtATime)
{
    auto image = system_disk(9, 80, 1, true);
    for (size_t i = 9 * 512 * 2; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + i / 512);
    insert(0, image);
    ASSERT_TRUE(boot());
    ASSERT_GT(selected_dpb(0), 0);
    for (int sector : {4, 5, 6, 7, 35}) {
        ASSERT_TRUE(read_record(3, sector));
        EXPECT_EQ(result_a(), 0) << sector;
        const long at = record_offset(3, sector, 9);
        for (int i = 0; i < 128; ++i) ASSERT_EQ(ram(static_cast<uint16_t>(DMA + i)), image[at + i]) << sector << "/" << i;
    }
    // The sector of record 35 is held: a change on the disk is not seen
    // until another sector has been needed.
    diskimg_drive(0).data[record_offset(3, 34, 9)] ^= 0xFF;
    ASSERT_TRUE(read_record(3, 34));
    EXPECT_EQ(ram(DMA), image[record_offset(3, 34, 9)]);
    ASSERT_TRUE(read_record(3, 0));
    ASSERT_TRUE(read_record(3, 34));
    EXPECT_EQ(ram(DMA), image[record_offset(3, 34, 9)] ^ 0xFF);
}

TEST_F(CpmDisk, WrittenRecordsReachTheDiskByTheNextDirectoryWrite)
{
    insert(0, system_disk(9, 80, 1, true));
    insert(1, system_disk(9, 80, 2, true), "b.dsk");
    ASSERT_TRUE(boot());
    for (int drive : {0, 1}) {
        ASSERT_GT(selected_dpb(drive), 0);
        const int track = drive ? 7 : 5;   // on B: side 1 of cylinder 3
        ASSERT_TRUE(write_record(track, 8, 0x11, 0));
        ASSERT_TRUE(write_record(track, 9, 0x22, 0));
        EXPECT_EQ(result_a(), 0);
        ASSERT_TRUE(write_record(2, 0, 0x33, 1));   // directory: written through
        EXPECT_EQ(result_a(), 0);
        EXPECT_TRUE(image_has(drive, record_offset(track, 8, 9), 0x11)) << drive;
        EXPECT_TRUE(image_has(drive, record_offset(track, 9, 9), 0x22)) << drive;
        EXPECT_TRUE(image_has(drive, record_offset(2, 0, 9), 0x33)) << drive;
        EXPECT_TRUE(image_has(drive, record_offset(track, 10, 9), 0xE5)) << drive << ": the rest of the sector kept";
        ASSERT_TRUE(read_record(track, 9));
        EXPECT_EQ(ram(DMA), 0x22);
    }
    EXPECT_EQ(diskimg_drive(1).dirty, 1);
}

TEST_F(CpmDisk, FailedTransfersComeBackAsErrors)
{
    insert(0, system_disk(9, 40, 1, true));
    const std::string protected_disk = disks.file("ro.dsk", system_disk(9, 80, 1, true));
    std::filesystem::permissions(protected_disk, std::filesystem::perms::owner_read);
    ASSERT_EQ(wd1793_insert_disk(1, protected_disk.c_str()), 1);
    ASSERT_TRUE(boot());
    ASSERT_GT(selected_dpb(0), 0);
    ASSERT_TRUE(read_record(60, 0)) << "a track past the disk's end hangs the BIOS";
    EXPECT_EQ(result_a(), 1);
    ASSERT_GT(selected_dpb(1), 0);
    ASSERT_TRUE(write_record(4, 0, 0x44, 1));
    EXPECT_EQ(result_a(), 1);
}

// The cpmtools definitions beside the firmware describe the disks as the
// BIOS reads them: a file copied on with cpmcp is found in the directory
// and its blocks where the parameter block puts them.
TEST_F(CpmDisk, FilesCopiedWithCpmtoolsAreWhereTheBiosReadsThem)
{
    const std::string program = testdata_path("z80/zexdoc.cim");
    const auto bytes = scratch_disks::read(program);
    ASSERT_GT(bytes.size(), 4u * 2048);
    for (const cpm_disk_format& f : cpm_disk_formats) {
        SetUp();
        const std::string path = disks.path(std::string(f.name) + ".dsk");
        ASSERT_EQ(cpm_disk_make(path.c_str(), f, 0), 1);
        const std::string copy = "cd '" BREVAN_SOURCE_DIR "/firmware/cpm' && cpmcp -f " + std::string(f.name) + " '" +
                                 path + "' '" + program + "' 0:zexdoc.com";
        ASSERT_EQ(std::system(copy.c_str()), 0) << copy;
        ASSERT_EQ(wd1793_insert_disk(0, path.c_str()), 1);
        z80_state.pc = 0;
        run_until(0xFFFF, 100);   // cold start, whatever the system then does
        const int dpb = selected_dpb(0);
        ASSERT_GT(dpb, 0) << f.name;
        const int spt = ram(static_cast<uint16_t>(dpb)), dsm = ram(static_cast<uint16_t>(dpb + 5)) | ram(static_cast<uint16_t>(dpb + 6)) << 8;
        ASSERT_TRUE(read_record(2, 0));
        ASSERT_EQ(result_a(), 0);
        // Entry 0 is the SUBMIT.COM every new disk holds.
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&ram(DMA + 33)), 11), "ZEXDOC  COM") << f.name;
        std::array<uint8_t, 32> entry{};
        std::copy_n(the_machine.mem.memory.begin() + DMA + 32, 32, entry.begin());
        for (int index : {0, 4}) {   // the first block and one some tracks later
            const int block = dsm > 255 ? entry[16 + 2 * index] | entry[17 + 2 * index] << 8 : entry[16 + index];
            const int record = block * 16;
            ASSERT_TRUE(read_record(2 + record / spt, record % spt));
            EXPECT_TRUE(std::equal(bytes.begin() + index * 2048, bytes.begin() + index * 2048 + 128,
                                   the_machine.mem.memory.begin() + DMA)) << f.name << " block " << index;
        }
        TearDown();
    }
}

TEST_F(CpmDisk, ListDeviceIsThePrinterPort)
{
    insert(0, system_disk(9, 80, 1, true));
    ASSERT_TRUE(boot());
    ASSERT_TRUE(call_bios(15, 0));
    EXPECT_EQ(result_a(), 0xFF);
}

TEST_F(CpmDisk, BootRomDoesNotRunABlankDisk)
{
    for (bool mark : {false, true}) {
        SetUp();
        std::vector<uint8_t> blank(9 * 80 * 512, 0xE5);
        if (mark) {
            blank[0x1FD] = 'G';
            blank[0x1FE] = 80;
            blank[0x1FF] = 9;
        }
        insert(0, blank);
        z80_state.pc = 0;
        EXPECT_FALSE(run_until(0x8000, 200)) << mark;
        EXPECT_TRUE(request_shown()) << mark;
        EXPECT_LT(z80_state.pc, 0x1000) << mark;
        TearDown();
    }
}

// ------------------------------------------- a controller that misbehaves

struct bench_state {
    std::array<uint8_t, 0x10000> memory{};
    int fdc_reads = 0xFF;   // what every controller port gives: 0xFF none, 0x01 stuck busy
};
bench_state* bench = nullptr;

struct bench_bus {
    static uint8_t read(uint16_t a) { return a < 0x1000 ? pr_2732[a] : bench->memory[a]; }
    static void write(uint16_t a, uint8_t v) { if (a >= 0x4000) bench->memory[a] = v; }
    static uint8_t in(uint8_t port)
    {
        if (port < 0x40) return 0;   // no key down
        return (port & 0xF0) == 0xB0 ? static_cast<uint8_t>(bench->fdc_reads) : 0xFF;
    }
    static void out(uint8_t, uint8_t) {}
};

TEST(CpmBootRom, GivesUpOnAStuckOrMissingController)
{
    for (int reads : {0x01, 0xFF}) {
        auto state = std::make_unique<bench_state>();
        bench = state.get();
        bench->fdc_reads = reads;
        event_init();
        z80_state = z80_state_t{};
        z80_state.clock = 2500000;
        z80_state.bp_address = 0xFFFF;
        bool left = false, asked = false;
        while (z80_state.tcount < 50'000'000 && !asked) {   // 20 s at 2.5 MHz
            z80_execute<bench_bus>(5000);
            left = left || z80_state.pc >= 0x1000;
            for (int i = 0; i < 256 && !asked; ++i) asked = bench->memory[0xC800 + 11 * 256 + i] != 0;
        }
        EXPECT_TRUE(asked) << reads;
        EXPECT_FALSE(left) << reads;
        bench = nullptr;
    }
}

}  // namespace
