// The built program as a user starts it: its options, a quiet start, and
// ending it with a signal while a message box waits or a headless run
// records. BREVAN_PROGRAM names another build of the program to try.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cpm_disks.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

fs::path program()
{
    if (const char* other = std::getenv("BREVAN_PROGRAM")) return other;
    const fs::path self = fs::read_symlink("/proc/self/exe");
    return self.parent_path().parent_path() / "src" / "host" / "brevan";
}

class Program : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(program())) GTEST_SKIP() << "program not built: " << program();
        home = fs::temp_directory_path() / ("brevan_program_" + std::to_string(::getpid()));
        fs::create_directories(home / "data" / "brevan" / "roms");
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
    void TearDown() override { fs::remove_all(home); }

    // Starts the program with its standard error in a file; returns the pid.
    pid_t start(std::vector<std::string> args)
    {
        args.insert(args.begin(), program().string());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, (home / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }
    std::string err() const
    {
        std::ifstream in(home / "stderr");
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // The exit code, or -1 when the program is still running after `seconds`
    // (it is killed then).
    static int finish(pid_t pid, int seconds)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        int status = 0;
        while (std::chrono::steady_clock::now() < until) {
            if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    fs::path home;
};

TEST_F(Program, SigtermEndsItWhileTheRomMessageWaits)
{
    { std::ofstream(home / "data" / "brevan" / "roms" / "a64.rom") << "short"; }
    const pid_t pid = start({});
    ASSERT_GT(pid, 0);
    // The refusal is printed just before the message box opens.
    for (int i = 0; i < 500 && err().find("a64.rom") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    kill(pid, SIGTERM);
    EXPECT_EQ(finish(pid, 10), 0) << err();
}

TEST_F(Program, StartsQuietlyAndRefusesOptionsItDoesNotKnow)
{
    EXPECT_EQ(finish(start({"--headless", "--frames", "5"}), 30), 0);
    EXPECT_EQ(err(), "") << "nothing to say on the built-in firmware";
    EXPECT_EQ(finish(start({"--frobnicate"}), 30), 2);
    EXPECT_NE(err().find("--frobnicate"), std::string::npos);
}

constexpr uintmax_t WAV_HEADER = 44;
constexpr uintmax_t SOUND_FRAME_BYTES = 960 * 2;

// Waits until the file has at least `bytes`; false after a minute.
bool grows_to(const fs::path& file, uintmax_t bytes)
{
    for (int i = 0; i < 30000; ++i) {
        std::error_code ec;
        if (fs::file_size(file, ec) >= bytes && !ec) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

// A WAV file whose RIFF and data sizes agree with its length.
bool wav_whole(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    uint8_t h[WAV_HEADER] = {};
    if (!in.read(reinterpret_cast<char*>(h), sizeof h)) return false;
    const auto le32 = [&h](size_t at) {
        return static_cast<uintmax_t>(h[at] | h[at + 1] << 8 | h[at + 2] << 16 | static_cast<uint32_t>(h[at + 3]) << 24);
    };
    const uintmax_t size = fs::file_size(file);
    return std::memcmp(h, "RIFF", 4) == 0 && le32(4) == size - 8 && std::memcmp(h + 36, "data", 4) == 0 &&
           le32(40) == size - WAV_HEADER;
}

TEST_F(Program, ASignalEndsAHeadlessRunAtAFrameBoundaryWithEveryOutputFinished)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const fs::path wav = home / "sound.wav", pss = home / "state.pss", png = home / "shot.png",
                       text = home / "screen.txt";
        for (const fs::path& f : {wav, pss, png, text}) fs::remove(f);
        const pid_t pid = start({"--headless", "--frames", "4320000", "--wav", wav.string(), "--save-snapshot",
                                 pss.string(), "--screenshot", png.string(), "--screen-text", text.string()});
        ASSERT_TRUE(grows_to(wav, WAV_HEADER + 100 * SOUND_FRAME_BYTES));
        kill(pid, signal);
        EXPECT_EQ(finish(pid, 30), 128 + signal) << err();
        EXPECT_TRUE(wav_whole(wav)) << signal;
        EXPECT_EQ((fs::file_size(wav) - WAV_HEADER) % SOUND_FRAME_BYTES, 0u) << "whole frames only";
        EXPECT_TRUE(fs::exists(pss) && fs::file_size(pss) == 49702u) << signal;
        EXPECT_TRUE(fs::exists(png) && fs::file_size(png) > 0) << signal;
        std::ifstream screen(text);
        const std::string banner((std::istreambuf_iterator<char>(screen)), {});
        EXPECT_NE(banner.find("PRIMO A64"), std::string::npos) << signal << banner;
    }
}

TEST_F(Program, SigtermWhileCpmSavesLeavesTheImageAndBothRecordingsWhole)
{
    cpm_disks d;
    ASSERT_TRUE(d.make("a.dsk"));
    const fs::path wav = home / "sound.wav", tape = home / "tape.wav";
    // A.COM is saved by frame 400; B.COM and C.COM take hundreds more.
    const pid_t pid = start({"--headless", "--disk", d.path("a.dsk"), "--frames", "4320000", "--wav", wav.string(),
                             "--record-tape", tape.string(), "--type",
                             "SAVE 1 A.COM\\nSAVE 255 B.COM\\nSAVE 255 C.COM\\n"});
    ASSERT_TRUE(grows_to(wav, WAV_HEADER + 500 * SOUND_FRAME_BYTES));
    kill(pid, SIGTERM);
    EXPECT_EQ(finish(pid, 30), 128 + SIGTERM) << err();
    EXPECT_EQ(d.get("a.dsk", "a.com").size(), 256u) << d.list("a.dsk");
    EXPECT_NE(d.cpmtools("fsck.cpm -f brevan -n '" + d.path("a.dsk") + "' && echo clean").find("clean"),
              std::string::npos);
    EXPECT_TRUE(wav_whole(wav));
    EXPECT_TRUE(wav_whole(tape));
}

}  // namespace
