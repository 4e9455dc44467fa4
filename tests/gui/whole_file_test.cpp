// Files written for the user as a whole: a write that fails part way (here
// at a file size limit) leaves the file that was there as it was, and no
// temporary file behind.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <sys/resource.h>

#include "core/memory.h"
#include "headless_run.h"
#include "host/app/ui_registry.h"
#include "media/diskimg.h"
#include "support/paths.h"
#include "support/ptp_image.h"

namespace fs = std::filesystem;

namespace {

std::string contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(WholeFile, AFailedWriteLeavesTheOldFileAsItWas)
{
    scratch_folder dir{"whole_file"};
    const std::string ptp = (dir / "in.ptp").string();
    ASSERT_TRUE(write_bytes(ptp, ptp_program_at("P", 0x6000, std::vector<uint8_t>(2000, 0x55), 0x6000)));
    const auto in = [&dir](const char* name) { return (dir / name).string(); };
    const struct {
        const char* name;
        rlim_t limit;   // smaller than what is written
        std::function<bool(const std::string&)> write;
    } writers[] = {
        {"state.pss", 4096, [](const std::string& f) { return headless_run({"--headless", "--frames", "1", "--save-snapshot", f}) == 0; }},
        {"shot.bmp", 4096, [](const std::string& f) { return headless_run({"--headless", "--frames", "1", "--screenshot", f}) == 0; }},
        {"shot.png", 64, [](const std::string& f) { return headless_run({"--headless", "--frames", "1", "--screenshot", f}) == 0; }},
        {"tape.wav", 4096, [&ptp](const std::string& f) { return headless_run({"--ptp-to-wav", ptp, f}) == 0; }},
        {"memdump.bin", 4096, [](const std::string& f) { return mem_dump(f.c_str()) == 1; }},
        {"cpm.dsk", 4096, [](const std::string& f) { return cpm_disk_make(f.c_str(), cpm_disk_formats[0], 1) == 1; }},
        {"Brevan.ini", 64, [](const std::string& f) {
             prefs_set_file(f.c_str());
             prefs_init("Brevan");
             SetValueStr("DrivePath", std::string(200, 'x').c_str());
             const bool ok = prefs_done() == 1;
             prefs_set_file(nullptr);
             return ok;
         }},
    };
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    for (const auto& w : writers) {
        const std::string file = in(w.name), old = "[General]\nthe old file\n";
        { std::ofstream(file, std::ios::binary) << old; }
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit low = saved;
        low.rlim_cur = w.limit;
        setrlimit(RLIMIT_FSIZE, &low);
        const bool written = w.write(file);
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_FALSE(written) << w.name;
        EXPECT_EQ(contents(file), old) << w.name;
        EXPECT_TRUE(w.write(file)) << w.name << " without the limit";
        EXPECT_NE(contents(file), old) << w.name;
    }
    std::signal(SIGXFSZ, old_handler);
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "left behind: " << entry.path();
}

}  // namespace
