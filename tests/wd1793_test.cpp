// The floppy controller through the CP/M model's ports: busy times on the
// cycle counter, head positions, the index pulse, sector transfers, the
// errors a program sees in the status, and the drive latch on port 0xB7.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/bus.h"
#include "core/memory.h"
#include "core/machine.h"
#include "cpu/cpu.h"
#include "devices/wd1793.h"
#include "media/diskimg.h"
#include "support/disk_files.h"
#include "support/test_machine.h"

namespace {

constexpr uint8_t BUSY = 0x01, DRQ = 0x02, INDEX = 0x02, TRACK0 = 0x04, NOT_FOUND = 0x10, SEEK_ERROR = 0x10,
                  WRITE_PROTECT = 0x40, NOT_READY = 0x80;
constexpr int MS = 2500;   // cycles at 2.5 MHz

class Fdc : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_machine_select(MODEL_CPM);
        z80_out(0xB7, 0x04);   // drive A:, side 0, motor on
        z80_state.tcount = 1'000'000'000;   // a whole number of revolutions
    }
    void TearDown() override
    {
        drives_empty();
        z80_out(0xB7, 0);
    }
    std::vector<uint8_t> insert(int drive, size_t size, const char* name = "a.dsk")
    {
        auto bytes = patterned_image(size);
        EXPECT_EQ(wd1793_insert_disk(drive, disks.file(name, bytes).c_str()), 1);
        return bytes;
    }
    static uint8_t status() { return z80_in(0xB0); }
    static void command(uint8_t c) { z80_out(0xB0, c); }
    static void wait_ms(double ms) { z80_state.tcount += static_cast<int64_t>(ms * MS); }
    static void finish() { wait_ms(2000); status(); }
    static void seek(int track, int rate = 0)
    {
        z80_out(0xB3, static_cast<uint8_t>(track));
        command(static_cast<uint8_t>(0x10 | rate));
        finish();
    }
    // Read sector: the bytes the data register gives while DRQ is up.
    static std::vector<uint8_t> read_sector(int sector)
    {
        z80_out(0xB2, static_cast<uint8_t>(sector));
        command(0x80);
        std::vector<uint8_t> got;
        while ((status() & DRQ) && got.size() < 1024) got.push_back(z80_in(0xB3));
        return got;
    }
    static void write_sector(int sector, uint8_t fill)
    {
        z80_out(0xB2, static_cast<uint8_t>(sector));
        command(0xA0);
        for (int i = 0; i < 1024 && (status() & DRQ); ++i) z80_out(0xB3, fill);
        finish();
    }
    scratch_disks disks;
};

TEST_F(Fdc, SeeksStayBusyForTheirStepTimes)
{
    insert(0, 368640);
    const struct { int rate, from, to; double busy_ms; } cases[] = {
        {3, 0, 40, 1 + 40 * 30}, {0, 40, 10, 1 + 30 * 6}, {1, 10, 10, 12},
    };
    for (const auto& c : cases) {
        seek(c.from);
        z80_out(0xB3, static_cast<uint8_t>(c.to));
        command(static_cast<uint8_t>(0x10 | c.rate));
        wait_ms(c.busy_ms - 0.1);
        EXPECT_TRUE(status() & BUSY) << c.from << "->" << c.to;
        wait_ms(0.2);
        EXPECT_FALSE(status() & BUSY) << c.from << "->" << c.to;
        EXPECT_EQ(z80_in(0xB1), c.to);
    }
}

TEST_F(Fdc, PositioningErrorsShowUntilTheNextPositioningCommand)
{
    insert(0, 368640);
    seek(20);
    seek(83);
    EXPECT_TRUE(status() & SEEK_ERROR);
    EXPECT_EQ(z80_in(0xB1), 20) << "the head stays";
    command(0x00);   // restore
    finish();
    EXPECT_EQ(status() & (SEEK_ERROR | TRACK0), TRACK0);
    command(0x60);   // step out at track 0
    finish();
    EXPECT_TRUE(status() & SEEK_ERROR);
    command(0x50);   // step in, updating the track register
    finish();
    EXPECT_FALSE(status() & SEEK_ERROR);
    EXPECT_EQ(z80_in(0xB1), 1);
}

TEST_F(Fdc, IndexPulseLastsFourMillisecondsOfEveryRevolution)
{
    insert(0, 368640);
    command(0x00);
    finish();
    z80_state.tcount = 500'000 * 2000;   // the start of a revolution
    for (int turn = 0; turn < 3; ++turn) {
        EXPECT_TRUE(status() & INDEX) << turn;
        wait_ms(3.9);
        EXPECT_TRUE(status() & INDEX) << turn;
        wait_ms(0.2);
        EXPECT_FALSE(status() & INDEX) << turn;
        wait_ms(195.9);
    }
    z80_out(0xB7, 0);   // motor off: always seen
    wait_ms(50);
    EXPECT_TRUE(status() & INDEX);
}

TEST_F(Fdc, ReadSectorHandsOverTheSectorAndEndsWithItsLastByte)
{
    const auto image = insert(0, 368640);
    seek(5);
    z80_out(0xB2, 3);
    command(0x80);
    for (int i = 0; i < 511; ++i) ASSERT_EQ(z80_in(0xB3), image[(5 * 9 + 2) * 512 + i]) << i;
    EXPECT_EQ(status() & (BUSY | DRQ), BUSY | DRQ);
    EXPECT_EQ(z80_in(0xB3), image[(5 * 9 + 2) * 512 + 511]);
    EXPECT_EQ(status() & (BUSY | DRQ), 0);

    z80_out(0xB2, 3);
    command(0xC0);   // read address
    std::vector<uint8_t> id;
    for (int i = 0; i < 6; ++i) id.push_back(z80_in(0xB3));
    EXPECT_EQ(id, (std::vector<uint8_t>{5, 0, 3, 2, 0xFF, 0xFF}));
    EXPECT_EQ(z80_in(0xB2), 5);
}

TEST_F(Fdc, ASectorOffTheDiskReportsRecordNotFoundInTheStatus)
{
    insert(0, 368640);   // one side, 80 tracks, 9 sectors
    const struct { int track, sector, select; const char* what; } cases[] = {
        {0, 10, 0x04, "sector 10"}, {0, 0, 0x04, "sector 0"}, {0, 1, 0x0C, "side 1"},
        {80, 1, 0x04, "track 80"}, {0, 1, 0x05, "empty drive B:"},
    };
    for (const auto& c : cases) {
        z80_out(0xB7, static_cast<uint8_t>(c.select));
        seek(c.track);
        EXPECT_TRUE(read_sector(c.sector).empty()) << c.what;
        const uint8_t s = status();
        EXPECT_TRUE(s & NOT_FOUND) << c.what;
        EXPECT_FALSE(s & BUSY) << c.what;
        EXPECT_TRUE(status() & NOT_FOUND) << c.what << ": a second read keeps it";
    }
    z80_out(0xB7, 0x04);
    seek(0);
    EXPECT_EQ(read_sector(1).size(), 512u);
    EXPECT_FALSE(status() & NOT_FOUND) << "the next command starts clean";
}

TEST_F(Fdc, DriveLatchSelectsDriveAndSideEachWithItsOwnHead)
{
    insert(0, 368640, "a.dsk");
    const auto b = insert(1, 737280, "b.dsk");
    seek(10);
    z80_out(0xB7, 0x0D);   // drive B:, side 1, motor
    EXPECT_EQ(wd1793_is_active(), 1);
    EXPECT_EQ(z80_in(0xB1), 0) << "B:'s own head";
    seek(2);
    write_sector(4, 0x5A);
    EXPECT_EQ(read_sector(4), std::vector<uint8_t>(512, 0x5A));
    const disk_image& image = diskimg_drive(1);
    const long at = ((2 * 2 + 1) * 9 + 3) * 512;
    EXPECT_TRUE(std::all_of(image.data.begin() + at, image.data.begin() + at + 512, [](uint8_t v) { return v == 0x5A; }));
    EXPECT_TRUE(std::equal(b.begin(), b.begin() + at, image.data.begin())) << "nothing else written";
    EXPECT_EQ(image.dirty, 1);
    z80_out(0xB7, 0x04);
    EXPECT_EQ(z80_in(0xB1), 10);
    z80_out(0xB7, 0x00);
    EXPECT_EQ(wd1793_is_active(), -1);
}

TEST_F(Fdc, WriteToAProtectedDiskIsRefusedWithWriteProtect)
{
    const auto image = patterned_image(368640);
    const std::string path = disks.file("ro.dsk", image);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    ASSERT_EQ(wd1793_insert_disk(0, path.c_str()), 1);
    z80_out(0xB2, 1);
    command(0xA0);
    EXPECT_EQ(status() & (WRITE_PROTECT | BUSY | DRQ), WRITE_PROTECT);
    EXPECT_EQ(diskimg_drive(0).data, image);
}

TEST_F(Fdc, ACommandWrittenWhileBusyDoesNotStart)
{
    insert(0, 368640);
    z80_out(0xB3, 40);
    command(0x13);   // seek, 30 ms steps
    command(0x80);   // read sector: ignored while the seek runs
    EXPECT_FALSE(status() & DRQ);
    finish();
    EXPECT_EQ(z80_in(0xB1), 40);
    EXPECT_EQ(z80_in(0xB0) & NOT_READY, 0);
}

TEST_F(Fdc, WriteTrackLaysDownTheSectorsItsIdFieldsName)
{
    insert(0, 368640);
    seek(3);
    command(0xF0);
    auto put = [](int n, uint8_t v) { for (int i = 0; i < n; ++i) z80_out(0xB3, v); };
    put(80, 0x4E);
    for (int s = 9; s >= 1; --s) {   // in reverse, to see the IDs decide
        put(12, 0x00);
        z80_out(0xB3, 0xFE);
        for (uint8_t v : {uint8_t(3), uint8_t(0), static_cast<uint8_t>(s), uint8_t(2)}) z80_out(0xB3, v);
        z80_out(0xB3, 0xF7);
        put(22, 0x4E);
        z80_out(0xB3, 0xFB);
        put(512, static_cast<uint8_t>(0xA0 + s));
        z80_out(0xB3, 0xF7);
        EXPECT_EQ((status() & DRQ) != 0, s > 1) << s << ": DRQ ends when the track is full";
    }
    finish();
    const disk_image& image = diskimg_drive(0);
    for (int s = 1; s <= 9; ++s)
        EXPECT_EQ(image.data[static_cast<size_t>((3 * 9 + s - 1) * 512 + 100)], 0xA0 + s) << s;
}

TEST_F(Fdc, AModelChangeWritesChangedDisksBackAndKeepsThemInserted)
{
    insert(0, 368640);
    write_sector(1, 0x77);
    test_machine_select(MODEL_A64);
    EXPECT_EQ(scratch_disks::read(disks.path("a.dsk"))[0], 0x77);
    EXPECT_EQ(diskimg_inserted(diskimg_drive(0)), 1);
    EXPECT_EQ(diskimg_drive(0).dirty, 0);
}

}  // namespace
