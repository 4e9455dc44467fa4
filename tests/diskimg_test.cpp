// Disk images: geometry from the size, sector places, write-back that never
// loses or mixes data, and the new CP/M disks.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "core/hooks.h"
#include "media/diskimg.h"
#include "roms.h"
#include "support/disk_files.h"

namespace fs = std::filesystem;

namespace {

std::string last_box;

class DiskImage : public ::testing::Test {
protected:
    void SetUp() override
    {
        last_box.clear();
    }
    void TearDown() override { diskimg_detach(image, 0); }
    disk_image image;
    scratch_disks disks;
};

TEST(DiskGeometry, FollowsTheFileSize)
{
    const struct { uint64_t size; bool ok; int sides, tracks, sectors; } cases[] = {
        {368640, true, 1, 80, 9}, {737280, true, 2, 80, 9}, {655360, true, 2, 80, 8},
        {327680, true, 1, 80, 8}, {184320, true, 1, 40, 9}, {163840, true, 1, 40, 8},
        {368641, true, 2, 40, 9},   // half of it, rounded down, is a 40-track side
        {368642, false, 0, 0, 0},   {0, false, 0, 0, 0},   {512, false, 0, 0, 0},
        {2 * 4608ull * 256, false, 0, 0, 0},   // no floppy has 256 tracks
    };
    for (const auto& c : cases) {
        disk_geometry g{};
        ASSERT_EQ(diskimg_geometry(c.size, &g), c.ok) << c.size;
        if (!c.ok) continue;
        EXPECT_EQ(g.sides, c.sides) << c.size;
        EXPECT_EQ(g.tracks, c.tracks) << c.size;
        EXPECT_EQ(g.sectors, c.sectors) << c.size;
    }
}

TEST_F(DiskImage, AttachShowsTheGeometryAndServesSectorsInTrackThenSideOrder)
{
    const auto bytes = patterned_image(737280);
    ASSERT_EQ(diskimg_attach(image, disks.file("a.dsk", bytes).c_str()), 1);
    EXPECT_EQ((std::vector<int>{image.sides, image.tracks, image.sectors, image.read_only}), (std::vector<int>{2, 80, 9, 0}));
    EXPECT_EQ(image.length, 737280u);
    uint8_t sector[512];
    // Track 1, side 0, sector 1 follows both sides of track 0.
    const struct { int side, track, sector; long offset; } places[] = {
        {0, 0, 1, 0}, {1, 0, 1, 4608}, {0, 1, 1, 9216}, {1, 79, 9, 737280 - 512},
    };
    for (const auto& p : places) {
        ASSERT_EQ(disk_img_read_sector(image, p.side, p.track, p.sector, sector), 1) << p.offset;
        EXPECT_TRUE(std::equal(sector, sector + 512, bytes.begin() + p.offset)) << p.offset;
    }
    const struct { int side, track, sector; } outside[] = {{0, 0, 0}, {0, 0, 10}, {2, 0, 1}, {0, 80, 1}, {0, -1, 1}};
    for (const auto& p : outside) {
        EXPECT_EQ(disk_img_read_sector(image, p.side, p.track, p.sector, sector), 0) << p.track << "/" << p.sector;
        EXPECT_EQ(disk_img_write_sector(image, p.side, p.track, p.sector, sector), 0);
    }
    EXPECT_EQ(image.dirty, 0);
}

TEST_F(DiskImage, BadFilesAreRefusedWithAReason)
{
    const std::string odd = disks.file("odd.dsk", std::vector<uint8_t>(368642));
    const std::string folder = disks.path("folder.dsk");
    fs::create_directory(folder);
    std::string why;
    for (const std::string& path : {odd, folder, disks.path("missing.dsk")}) {
        EXPECT_EQ(diskimg_attach(image, path.c_str(), &why), 0) << path;
        EXPECT_EQ(diskimg_inserted(image), 0) << path;
    }
    // Our own words for the reason, the system's only as a detail.
    EXPECT_EQ(why, disks.path("missing.dsk") + ": nem található (No such file or directory)");
    diskimg_attach(image, folder.c_str(), &why);
    EXPECT_EQ(why, folder + ": mappa, nem állomány (Is a directory)");
    diskimg_attach(image, odd.c_str(), &why);
    EXPECT_EQ(why.rfind(odd + ": ismeretlen lemezformátum: 368642 bájtos", 0), 0u) << why;
}

TEST_F(DiskImage, ChangesReachTheFileOnlyWhenSavedAndNeverFromAProtectedOne)
{
    const std::string path = disks.file("a.dsk", patterned_image(368640));
    ASSERT_EQ(diskimg_attach(image, path.c_str()), 1);
    const std::vector<uint8_t> ones(512, 0x11);
    ASSERT_EQ(disk_img_write_sector(image, 0, 5, 3, ones.data()), 1);
    EXPECT_EQ(scratch_disks::read(path), patterned_image(368640)) << "written before saving";
    ASSERT_EQ(diskimg_detach(image, 1), 1);
    auto expected = patterned_image(368640);
    std::fill_n(expected.begin() + (5 * 9 + 2) * 512, 512, 0x11);
    EXPECT_EQ(scratch_disks::read(path), expected);

    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    ASSERT_EQ(diskimg_attach(image, path.c_str()), 1);
    EXPECT_EQ(image.read_only, 1);
    const std::vector<uint8_t> twos(512, 0x22);
    ASSERT_EQ(disk_img_write_sector(image, 0, 0, 1, twos.data()), 1);
    EXPECT_EQ(image.dirty, 0);
    ASSERT_EQ(diskimg_detach(image, 1), 1);
    EXPECT_EQ(scratch_disks::read(path), expected);
}

TEST_F(DiskImage, AnImageThatCannotBeWrittenBackStaysInsertedAndIsReported)
{
    const fs::path sub = disks.folder / "gone";
    fs::create_directory(sub);
    const std::string path = (sub / "a.dsk").string();
    disks.file("gone/a.dsk", patterned_image(368640));
    ASSERT_EQ(diskimg_attach(image, path.c_str()), 1);
    const std::vector<uint8_t> ones(512, 0x11);
    disk_img_write_sector(image, 0, 0, 1, ones.data());
    fs::remove_all(sub);
    EXPECT_EQ(diskimg_detach(image, 1, &last_box), 0);
    EXPECT_EQ(diskimg_inserted(image), 1);
    EXPECT_EQ(image.dirty, 1);
    EXPECT_NE(last_box.find(path), std::string::npos) << last_box;
    fs::create_directory(sub);   // the folder is back: the changes are not lost
    EXPECT_EQ(diskimg_detach(image, 1), 1);
    EXPECT_EQ(scratch_disks::read(path)[0], 0x11);
}

// A writer killed at any moment leaves the file holding one whole image.
TEST_F(DiskImage, KillingTheWriterLeavesTheOldOrTheNewImageNeverAMix)
{
    const size_t size = 737280;
    const std::string path = disks.file("a.dsk", std::vector<uint8_t>(size, 0));
    for (int round = 0; round < 20; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            host_hooks = {};
            disk_image mine;
            if (!diskimg_attach(mine, path.c_str())) ::_exit(1);
            for (uint8_t fill = 1;; ++fill) {   // saves image after image
                std::fill(mine.data.begin(), mine.data.end(), fill);
                mine.dirty = 1;
                diskimg_save(mine);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + 1500 * round));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const auto bytes = scratch_disks::read(path);
        ASSERT_EQ(bytes.size(), size) << round;
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), bytes[0]), static_cast<long>(size)) << round;
    }
}

TEST_F(DiskImage, NewCpmDisksBootAndHoldSubmitComAsCpmtoolsReadsIt)
{
    for (const cpm_disk_format& f : cpm_disk_formats) {
        const std::string path = disks.path(std::string(f.name) + ".dsk");
        ASSERT_EQ(cpm_disk_make(path.c_str(), f, 0), 1) << f.name;
        ASSERT_EQ(diskimg_attach(image, path.c_str()), 1) << f.name;
        EXPECT_EQ(image.sides, f.geometry.sides) << f.name;
        EXPECT_EQ(image.tracks, f.geometry.tracks) << f.name;
        EXPECT_EQ(image.sectors, f.geometry.sectors) << f.name;
        const auto& d = image.data;
        EXPECT_EQ(d[0], 0xC3);
        EXPECT_EQ(d[1] | d[2] << 8, 0xE000);
        EXPECT_EQ(d[509], 'G');
        EXPECT_EQ(d[510], f.geometry.tracks);
        EXPECT_EQ(d[511], f.geometry.sectors);
        EXPECT_TRUE(std::equal(std::begin(cpm_system), std::end(cpm_system), d.begin() + 512)) << f.name;
        // The directory holds SUBMIT.COM and nothing else.
        const std::string tools = "cd '" BREVAN_SOURCE_DIR "/firmware/cpm' && ";
        const std::string copy = disks.path("submit.com");
        fs::remove(copy);
        EXPECT_EQ(std::system((tools + "cpmcp -f " + f.name + " '" + path + "' 0:submit.com '" + copy + "'").c_str()), 0);
        const auto submit = scratch_disks::read(copy);   // whole records
        ASSERT_EQ(submit.size(), (cpm_submit_size + 127) / 128 * 128) << f.name;
        EXPECT_TRUE(std::equal(cpm_submit, cpm_submit + cpm_submit_size, submit.begin())) << f.name;
        std::string listing;
        if (FILE* p = popen((tools + "cpmls -f " + f.name + " '" + path + "'").c_str(), "r")) {
            char buffer[256];
            while (size_t n = std::fread(buffer, 1, sizeof buffer, p)) listing.append(buffer, n);
            pclose(p);
        }
        EXPECT_EQ(listing, "0:\nsubmit.com\n") << f.name;
        diskimg_detach(image, 0);
    }
    const std::string taken = disks.path("brevan.dsk");
    EXPECT_EQ(cpm_disk_make(taken.c_str(), cpm_disk_formats[0], 0), 0) << "an existing file is not replaced";
    EXPECT_EQ(cpm_disk_format_by_name(nullptr), &cpm_disk_formats[0]);
    EXPECT_EQ(cpm_disk_format_by_name("brevan999"), nullptr);
}

}  // namespace
