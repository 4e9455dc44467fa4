// The host-folder drive's DOS on a scratch folder: files by type and mode,
// letter case, the listing, the command channel, and the folder boundary,
// on a host folder and on one in memory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/machine.h"
#include "devices/diskfs.h"
#include "support/memory_folder.h"
#include "support/paths.h"

namespace fs = std::filesystem;

namespace {

// Every case runs on a host folder and on one in memory. Paths are below
// the test's base folder, which holds the drive's folder "disk".
class Drive : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        the_machine = machine{};   // a machine of its own
        if (in_memory) {
            auto tree = std::make_unique<memory_folder>("disk");
            memory = tree.get();
            iec_init_folder(std::move(tree));
        } else {
            fs::create_directories(base / "disk");
            iec_init((base / "disk").c_str());
        }
    }

    void put(const fs::path& path, const std::string& bytes)
    {
        if (memory) memory->put_file(path.string(), bytes);
        else std::ofstream(base.path() / path, std::ios::binary) << bytes;
    }
    std::string get(const fs::path& path)
    {
        if (memory) return memory->file(path.string());
        std::ifstream in(base.path() / path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void make_folder(const fs::path& path)
    {
        if (memory) memory->put_folder(path.string());
        else fs::create_directories(base.path() / path);
    }
    // A symbolic link at path to the absolute name of target.
    void link(const fs::path& path, const fs::path& target)
    {
        if (memory) memory->put_link(path.string(), absolute(target));
        else fs::create_symlink(base.path() / target, base.path() / path);
    }
    std::string absolute(const fs::path& path) const
    {
        return ((memory ? fs::path("/") : base.path()) / path).string();
    }
    // The drive's current folder, below the base.
    fs::path drive_dir() const
    {
        const fs::path dir = get_drive_dir();
        return memory ? dir : dir.lexically_relative(base.path());
    }
    static uint8_t open(int channel, const std::string& name)
    {
        return Open(channel, reinterpret_cast<const uint8_t*>(name.data()), name.size());
    }
    static void write(int channel, const std::string& bytes)
    {
        for (size_t i = 0; i < bytes.size(); ++i)
            Write(channel, static_cast<uint8_t>(bytes[i]), i + 1 == bytes.size());
    }
    // Bytes up to and including the one flagged as last.
    static std::string read_all(int channel)
    {
        std::string out;
        for (int i = 0; i < 100000; ++i) {
            uint8_t b = 0;
            const uint8_t status = Read(channel, &b);
            if (status == 0x80) break;
            out += static_cast<char>(b);
            if (status == 0x40) break;
        }
        return out;
    }
    // What a read of the whole file gives, or the status of a failed open.
    static std::string opened(int channel, const std::string& name)
    {
        const uint8_t status = open(channel, name);
        return status ? "status " + std::to_string(status) : read_all(channel);
    }
    static std::string message() { return read_all(15); }
    static std::string command(const std::string& text)
    {
        open(15, text);
        return message();
    }
    // The names in a folder, sorted.
    std::vector<std::string> files_of(const fs::path& dir) const
    {
        if (memory) return memory->names_in(dir.string());
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(base.path() / dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    const bool in_memory = GetParam();
    scratch_folder base{"diskfs"};
    memory_folder* memory = nullptr;
    const fs::path folder = "disk";
};

TEST_P(Drive, ChannelSuffixesPickTypeAndMode)
{
    struct step { int channel; const char* name; const char* data; const char* file; const char* content; };
    const step steps[] = {
        {1, "GAME", "abc", "GAME.PRI", "abc"},
        {2, "DATA,S,W", "12", "DATA.SEQ", "12"},
        {2, "DATA,S,A", "34", "DATA.SEQ", "1234"},
        {2, "0:LOG,W", "x", "LOG.PRG", "x"},
    };
    for (const step& s : steps) {
        ASSERT_EQ(open(s.channel, s.name), 0) << s.name;
        write(s.channel, s.data);
        Close(s.channel);
        EXPECT_EQ(get(folder / s.file), s.content) << s.name;
    }
    EXPECT_EQ(opened(0, "GAME"), "abc");
    EXPECT_EQ(opened(3, "DATA,S"), "1234");
    EXPECT_EQ(opened(4, "LOG"), "x");
    EXPECT_EQ(opened(5, "DATA,P"), "status 128");
    EXPECT_EQ(message(), "62,FILE NOT FOUND,00,00\r");
}

TEST_P(Drive, NamesMatchHostFilesInAnyLetterCasePreferringTheExactOne)
{
    put(folder / "Mixed.Pri", "m");
    put(folder / "TWIN.PRI", "upper");
    put(folder / "twin.pri", "lower");
    const struct { const char* name; const char* content; } reads[] = {
        {"MIXED", "m"}, {"mixed", "m"}, {"TWIN", "upper"}, {"twin", "lower"}, {"Twin", "upper"},
    };
    for (const auto& r : reads) EXPECT_EQ(opened(0, r.name), r.content) << r.name;
    // Saving over a file of another case replaces it instead of adding a twin.
    ASSERT_EQ(open(1, "MIXED"), 0);
    write(1, "new");
    Close(1);
    EXPECT_EQ(get(folder / "Mixed.Pri"), "new");
    EXPECT_EQ(files_of(folder).size(), 3u);
}

TEST_P(Drive, WildcardsReadTheFirstMatchAndRefuseWriting)
{
    put(folder / "ALPHA.PRI", "a");
    put(folder / "GAMMA.PRI", "g1");
    put(folder / "GOLF.PRI", "g2");
    put(folder / "GIANT.SEQ", "s");
    EXPECT_EQ(opened(0, "G*"), "g1");
    EXPECT_EQ(opened(2, "G?LF"), "g2");
    EXPECT_EQ(opened(2, "G*,S"), "s");
    EXPECT_EQ(opened(2, "G*,W"), "");
    EXPECT_EQ(message(), "33,SYNTAX ERROR,00,00\r");
}

TEST_P(Drive, DirectoryListsProgramsThenDataFilesWithTheirBlocks)
{
    put(folder / "AB.PRI", std::string(300, 'x'));
    put(folder / "C.SEQ", "");
    put(folder / "big.pri", std::string(254 * 10, 'y'));
    put(folder / "NOTE.TXT", "not listed");
    ASSERT_EQ(open(0, "$"), 0);
    const std::string listing = read_all(0);
    ASSERT_EQ(listing.size(), 5u * 32);
    auto line = [&](int n) { return listing.substr(static_cast<size_t>(n) * 32, 32); };
    EXPECT_EQ(line(0), std::string("\x01\x04\x01\x01\0\0\x12\"DISK            \" 00 2A\0", 32));
    EXPECT_EQ(line(1), std::string("\x01\x01\x02\0", 4) + "   \"AB\"" + std::string(15, ' ') + "PRI  " + '\0');
    EXPECT_EQ(line(2), std::string("\x01\x01\x0B\0", 4) + "  \"BIG\"" + std::string(14, ' ') + "PRI   " + '\0');
    EXPECT_EQ(line(3), std::string("\x01\x01\x01\0", 4) + "   \"C\"" + std::string(16, ' ') + "SEQ  " + '\0');
    EXPECT_EQ(line(4), std::string("\x01\x01\0\0", 4) + "BLOCKS FREE.             " + std::string(3, '\0'));
    // A pattern picks by name.
    ASSERT_EQ(open(0, "$0:A*"), 0);
    EXPECT_EQ(read_all(0).size(), 3u * 32);
}

TEST_P(Drive, CommandChannelAnswersInTheDrivesWords)
{
    EXPECT_EQ(message(), "73,CBM DOS V2.6 1541,00,00\r");
    EXPECT_EQ(message(), "00, OK,00,00\r");
    EXPECT_EQ(command("X"), "30,SYNTAX ERROR,00,00\r");
    EXPECT_EQ(command("UJ"), "73,CBM DOS V2.6 1541,00,00\r");
    EXPECT_EQ(command("I"), "00, OK,00,00\r");
    EXPECT_EQ(command(""), "00, OK,00,00\r");
    // Drive memory: written with M-W, read back with M-R up to a CR.
    command(std::string("M-W\x10\x03\x04" "ab\rz", 10));
    EXPECT_EQ(command(std::string("M-R\x10\x0B", 5)), "ab\r");
    // Commands written to channel 15: 40 bytes at most; a longer one is
    // dropped whole and the next one works.
    for (int i = 0; i < 40; ++i) EXPECT_EQ(Write(15, 'I', 0), 0);
    EXPECT_EQ(Write(15, 'I', 1), 0x80);
    EXPECT_EQ(message(), "30,SYNTAX ERROR,00,00\r");
    write(15, "UJ");
    EXPECT_EQ(message(), "73,CBM DOS V2.6 1541,00,00\r");
}

TEST_P(Drive, ScratchRenameAndSubfolders)
{
    put(folder / "ONE.PRI", "1");
    put(folder / "TWO.SEQ", "2");
    put(folder / "KEEP.TXT", "k");
    make_folder(folder / "Sub");
    put(folder / "Sub" / "INNER.PRI", "i");
    EXPECT_EQ(command("R:UNO=ONE"), "00, OK,00,00\r");
    EXPECT_EQ(command("R:TWO=UNO"), "00, OK,00,00\r");   // another type: no clash
    EXPECT_EQ(command("R:TWO=TWO"), "63,FILE EXISTS,00,00\r");
    EXPECT_EQ(command("R:X=NONE"), "62,FILE NOT FOUND,00,00\r");
    EXPECT_EQ(command("S:T*"), "01,FILES SCRATCHED,02,00\r");
    EXPECT_EQ(files_of(folder), (std::vector<std::string>{"KEEP.TXT", "Sub"}));
    EXPECT_EQ(command("G:sub"), "00, OK,00,00\r");
    EXPECT_EQ(opened(0, "INNER"), "i");
    EXPECT_EQ(drive_dir(), folder / "Sub");
    command("G:.");
    EXPECT_EQ(drive_dir(), folder);
}

TEST_P(Drive, NamesFromTheMachineNeverReachOutsideTheFolder)
{
    put("SECRET.PRI", "secret");
    put("victim.PRI", "keep");
    make_folder("other");
    link(folder / "LINK.PRI", "SECRET.PRI");
    link(folder / "DANGLING.PRI", "made.PRI");
    link(folder / "OUT", "other");
    const std::string nul_name("OK\0/../SECRET", 13);
    struct attempt { const char* what; std::string command; int channel; std::string name; };
    const attempt attempts[] = {
        {"read up", "", 0, "../SECRET"},
        {"read absolute", "", 0, absolute("SECRET")},
        {"read past a NUL", "", 0, nul_name},
        {"read a link out", "", 0, "LINK"},
        {"write up", "", 1, "../victim"},
        {"append up", "", 2, "../victim,P,A"},
        {"write through a dangling link", "", 1, "DANGLING"},
        {"write over a link out", "", 1, "LINK"},
        {"listing up", "", 0, "$../*"},
        {"scratch up", "S:../victim", 0, ""},
        {"scratch absolute", "S:" + absolute("victim"), 0, ""},
        {"rename out", "R:../moved=LINK", 0, ""},
        {"rename in", "R:IN=../victim", 0, ""},
        {"folder up", "G:..", 0, ""},
        {"folder absolute", "G:/", 0, ""},
        {"folder by link", "G:OUT", 0, ""},
    };
    for (const attempt& a : attempts) {
        if (!a.command.empty()) {
            const std::string reply = command(a.command);
            EXPECT_TRUE(reply.rfind("30,", 0) == 0 || reply.rfind("33,", 0) == 0 || reply.rfind("62,", 0) == 0 ||
                        reply.rfind("74,", 0) == 0 || reply.rfind("01,FILES SCRATCHED,00", 0) == 0)
                << a.what << ": " << reply;
        } else {
            const uint8_t status = open(a.channel, a.name);
            if (status == 0) {
                Write(a.channel, 'X', 0);
                EXPECT_EQ(read_all(a.channel).find("secret"), std::string::npos) << a.what;
            }
            Close(a.channel);
        }
        EXPECT_EQ(get("SECRET.PRI"), "secret") << a.what;
        EXPECT_EQ(get("victim.PRI"), "keep") << a.what;
        EXPECT_EQ(files_of(""), (std::vector<std::string>{"SECRET.PRI", "disk", "other", "victim.PRI"})) << a.what;
        EXPECT_TRUE(files_of("other").empty()) << a.what;
        EXPECT_EQ(drive_dir(), folder) << a.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Folders, Drive, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "InMemory" : "OnTheHost"; });

}  // namespace
