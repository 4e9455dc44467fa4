// The built program as a user starts it: its options, a quiet start, and
// ending it with a signal while a message box waits.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

fs::path program()
{
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

}  // namespace
