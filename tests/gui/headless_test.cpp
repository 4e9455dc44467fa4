// Runs without a window: option checking, the picture and sound of a run,
// typing, and the built program started from its build folder.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "headless_run.h"
#include "host/app/messages.h"
#include "host/headless/headless.h"
#include "media/snapshot.h"
#include "support/disk_files.h"
#include "support/ptp_image.h"
#include "support/tape_signal.h"

namespace fs = std::filesystem;

namespace {

int run(std::vector<std::string> args) { return headless_run(std::move(args)); }

bool single_colour(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != image.pixel(0, 0)) return false;
    return true;
}

class Headless : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("brevan_headless_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string file(const char* name) { return (dir / name).string(); }
    fs::path dir;
};

TEST_F(Headless, WritesThePictureOfTheLastFrameAsPng)
{
    const std::string png = file("x.png");
    ASSERT_EQ(run({"--headless", "--frames", "100", "--screenshot", png}), 0);
    QImage image(QString::fromStdString(png));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 312);
    EXPECT_EQ(image.height(), 240);
}

TEST_F(Headless, OtherNamesGetABmpScreenshot)
{
    const std::string bmp = file("x.bmp");
    ASSERT_EQ(run({"--headless", "--frames", "10", "--model", "b64", "--screenshot", bmp}), 0);
    std::ifstream in(bmp, std::ios::binary);
    char magic[2] = {};
    in.read(magic, 2);
    EXPECT_EQ(std::string(magic, 2), "BM");
}

TEST_F(Headless, RecordsOneSoundFragmentPerFrame)
{
    const std::string wav = file("x.wav");
    ASSERT_EQ(run({"--headless", "--frames", "50", "--wav", wav}), 0);
    EXPECT_EQ(fs::file_size(wav), 44u + 50u * 960u * 2u);
}

std::string text_of(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The banner and the prompt of every model, as UTF-8 lines (CP/M without a
// disk: its boot ROM's request).
TEST_F(Headless, TheScreenTextHoldsEachModelsBannerAndPrompt)
{
    const struct { const char* model; const char* banner; const char* prompt; } cases[] = {
        {"a32", "BREVAN PRIMO A32\n", "\n>\n"}, {"a48", "BREVAN PRIMO A48\n", "\n>\n"},
        {"a64", "BREVAN PRIMO A64\n", "\n>\n"}, {"b32", "BREVAN PRIMO B32\n", "\n>\n"},
        {"b48", "BREVAN PRIMO B48\n", "\n>\n"}, {"b64", "BREVAN PRIMO B64\n", "\n>\n"},
        {"c64", "BREVAN PRIMO C64\n", "\n>\n"}, {"cpm", "Primo CP/M\n", "Helyezzen be rendszerlemezt!\n"},
    };
    for (const auto& c : cases) {
        const std::string out = file("screen.txt");
        ASSERT_EQ(run({"--headless", "--model", c.model, "--frames", "100", "--screen-text", out}), 0) << c.model;
        const std::string text = text_of(out);
        EXPECT_NE(text.find(c.banner), std::string::npos) << c.model << "\n" << text;
        EXPECT_NE(text.find(c.prompt), std::string::npos) << c.model << "\n" << text;
    }
    // The B keyboard's É shows as the letter.
    const std::string out = file("b.txt");
    ASSERT_EQ(run({"--headless", "--model", "b64", "--frames", "100", "--screen-text", out, "--type", "\xC3\x89"}), 0);
    EXPECT_NE(text_of(out).find(">\xC3\x89\n"), std::string::npos) << text_of(out);
}

TEST_F(Headless, BadOptionsAreRefusedWithExitCodeTwo)
{
    EXPECT_EQ(run({"--headless", "--frames", "abc"}), 2);
    EXPECT_EQ(run({"--headless", "--frames", "-5"}), 2);
    EXPECT_EQ(run({"--headless", "--frames"}), 2);
    EXPECT_EQ(run({"--headless", "--model", "z80"}), 2);
    EXPECT_EQ(run({"--headless", "--clock", "1000000"}), 2);
    EXPECT_EQ(run({"--headless", "--frobnicate"}), 2);
    EXPECT_EQ(run({"--headless", "--type", "\\x00"}), 2);   // no key gives 0
    EXPECT_EQ(run({"--headless", "--type", "a\\q"}), 2);
    EXPECT_EQ(run({"--headless", file("missing.ptp")}), 2);
    EXPECT_EQ(run({"--headless", "--drive", file("no-such-folder")}), 2);
    EXPECT_EQ(run({"--headless", "--printer"}), 2);
}

TEST_F(Headless, UnwritableOutputIsReported)
{
    EXPECT_EQ(run({"--headless", "--frames", "1", "--screenshot", file("no/such/dir.png")}), 1);
    EXPECT_EQ(run({"--headless", "--frames", "1", "--wav", file("no/such/dir.wav")}), 1);
}

TEST_F(Headless, PtpToWavConvertsAWellFormedImageAndRefusesOthers)
{
    // One program: a name block "A" and an end block.
    const std::vector<uint8_t> ptp = {0xFF, 17, 0, 0x55, 5, 0, 0x83, 0x00, 1, 'A', 'A' + 1,
                                      0xAA, 3, 0, 0xB1, 0, 0};
    const std::string in = file("one.ptp"), out = file("one.wav");
    { std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(ptp.data()), 17); }
    ASSERT_EQ(run({"--ptp-to-wav", in, out}), 0);
    EXPECT_GT(fs::file_size(out), 44u);

    const std::string junk = file("junk.ptp"), junk_out = file("junk.wav");
    { std::ofstream(junk) << "not a tape"; }
    EXPECT_EQ(run({"--ptp-to-wav", junk, junk_out}), 1);
    EXPECT_FALSE(fs::exists(junk_out));
    EXPECT_EQ(run({"--ptp-to-wav", in}), 2);
    EXPECT_EQ(run({"--ptp-to-wav", in, out, "more"}), 2);
    EXPECT_EQ(run({"--ptp-to-wav", dir.string(), out}), 1);
}

TEST_F(Headless, DiskWrittenDuringTheRunIsOnTheFileWhenItEnds)
{
    // A boot sector that writes itself over sector 2 of track 0 of A:.
    const uint8_t boot[] = {
        0x3E, 0x04, 0xD3, 0xB7,         // LD A,4; OUT (B7),A   drive A:, side 0, motor
        0x3E, 0x02, 0xD3, 0xB2,         // LD A,2; OUT (B2),A   sector 2
        0x3E, 0xA0, 0xD3, 0xB0,         // LD A,A0; OUT (B0),A  write sector
        0x21, 0x00, 0x80, 0x0E, 0xB3,   // LD HL,8000; LD C,B3
        0x16, 0x02, 0x06, 0x00,         // LD D,2; outer: LD B,0
        0xDB, 0xB0, 0xE6, 0x02,         // loop: IN A,(B0); AND 2
        0x28, 0xFA, 0xED, 0xA3,         // JR Z,loop; OUTI
        0x20, 0xF6, 0x15, 0x20, 0xF1,   // JR NZ,loop; DEC D; JR NZ,outer
        0x18, 0xFE,                     // JR $
    };
    std::vector<uint8_t> image(368640, 0xE5);
    std::copy(std::begin(boot), std::end(boot), image.begin());
    const std::string disk = file("a.dsk");
    { std::ofstream(disk, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 368640); }
    ASSERT_EQ(run({"--headless", "--frames", "50", "--disk", disk}), 0);   // the CP/M model, as a disk was given
    drives_empty();
    const auto after = scratch_disks::read(disk);
    ASSERT_EQ(after.size(), image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 512, after.begin() + 512));
    EXPECT_TRUE(std::equal(image.begin() + 1024, image.end(), after.begin() + 1024));
}

TEST_F(Headless, OneImageFileGoesIntoOneDriveOnlyWhateverPathNamesIt)
{
    const std::string disk = file("same.dsk");
    ASSERT_EQ(run({"--make-cpm-disk", disk}), 0);
    fs::create_symlink(disk, file("link.dsk"));
    fs::create_hard_link(disk, file("hard.dsk"));
    for (const char* second : {"same.dsk", "link.dsk", "hard.dsk"}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(run({"--headless", "--frames", "1", "--disk", disk, "--disk", file(second)}), 3) << second;
        EXPECT_NE(testing::internal::GetCapturedStderr().find("A: meghajtóban"), std::string::npos) << second;
    }
}

TEST_F(Headless, MakesBlankCpmDisksAndRefusesBadOnes)
{
    const std::string disk = file("new.dsk");
    ASSERT_EQ(run({"--make-cpm-disk", disk, "--geometry", "brevan180"}), 0);
    EXPECT_EQ(fs::file_size(disk), 184320u);
    EXPECT_EQ(run({"--make-cpm-disk", disk}), 1) << "an existing file is kept";
    EXPECT_EQ(run({"--make-cpm-disk", file("x.dsk"), "--geometry", "brevan999"}), 2);
    EXPECT_EQ(run({"--make-cpm-disk"}), 2);

    const std::string junk = file("junk.dsk");
    { std::ofstream(junk) << "not a disk"; }
    EXPECT_EQ(run({"--headless", "--frames", "1", "--disk", junk}), 3);
    EXPECT_EQ(run({"--headless", "--frames", "1", "--disk", file("missing.dsk")}), 3);
    EXPECT_EQ(run({"--headless", "--disk", disk, "--disk", disk, "--disk", disk, "--disk", disk, "--disk", disk}), 2);
    drives_empty();
}

TEST_F(Headless, VerboseRunsWriteTheMachinesDiagnosticsOthersAreQuiet)
{
    const std::string disk = file("v.dsk");
    ASSERT_EQ(run({"--make-cpm-disk", disk}), 0);
    for (const bool verbose : {false, true}) {
        std::vector<std::string> args = {"--headless", "--frames", "1", "--disk", disk};
        if (verbose) args.push_back("--verbose");
        testing::internal::CaptureStderr();
        EXPECT_EQ(run(args), 0);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.find("attached successfully") != std::string::npos, verbose) << err;
        drives_empty();
    }
    shell_set_verbose(false);
}

TEST(HeadlessHelp, ListsEveryOptionAndEverySwitch)
{
    const std::string usage = headless_usage();
    for (const char* word : {"--headless", "--frames", "--model", "--clock", "--type", "--screenshot",
                             "--wav", "--ptp-to-wav", "--disk", "--drive", "--printer", "--make-cpm-disk", "--geometry", "--help", "--tape", "--record-tape",
                             "--save-snapshot", "--no-autostart", "--verbose", "/a", "/b", "/d", "/h", "/i:",
                             "/p:", "/m", "/t", "/w", "a32", "cpm"})
        EXPECT_NE(usage.find(word), std::string::npos) << word;
    EXPECT_EQ(run({"--help"}), 0);
}

TEST_F(Headless, TypedTextReachesTheScreen)
{
    const std::string plain = file("plain.png");
    const std::string typed = file("typed.png");
    ASSERT_EQ(run({"--headless", "--frames", "200", "--screenshot", plain}), 0);
    const QImage before(QString::fromStdString(plain));
    if (single_colour(before))
        GTEST_SKIP() << "the machine shows nothing after 200 frames: no ROM running yet";
    ASSERT_EQ(run({"--headless", "--frames", "200", "--type", "AB12", "--screenshot", typed}), 0);
    EXPECT_NE(QImage(QString::fromStdString(plain)), QImage(QString::fromStdString(typed)))
        << "typing leaves characters on the Primo screen";
}

TEST_F(Headless, TheDriveAndThePrinterServeTheirFolderAndFile)
{
    fs::create_directories(dir / "disk");
    ASSERT_EQ(run({"--headless", "--frames", "400", "--drive", file("disk"), "--type", "S \"X\" 4200 42FF 8\n"}), 0);
    EXPECT_EQ(fs::file_size(dir / "disk" / "X.PRI"), 5u + 256 + 1);
    ASSERT_EQ(run({"--headless", "--frames", "250", "--printer", file("out.txt"), "--type", "P4 HI\n"}), 0);
    std::ifstream printed(file("out.txt"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(printed), {}), "\nHI\n");
}

TEST_F(Headless, APrinterFileThatCannotBeWrittenFailsTheRunAndMakesNoFolders)
{
    // Refused at the start (a folder, a missing folder) or failing on the
    // way (a full disk), by the port and by the bus route.
    for (const char* text : {"p hi\n", "p4 hi\n"})
        for (const std::string& printer : {dir.string(), file("no/such/printer.txt"), std::string("/dev/full")})
            EXPECT_EQ(run({"--headless", "--frames", "250", "--printer", printer, "--type", text}), 1) << printer;
    EXPECT_FALSE(fs::exists(dir / "no"));
}

TEST_F(Headless, BuiltProgramRunsFromItsBuildFolder)
{
    const fs::path self = fs::read_symlink("/proc/self/exe");
    const fs::path program = self.parent_path().parent_path() / "src" / "host" / "brevan";
    if (!fs::exists(program)) GTEST_SKIP() << "program not built: " << program;
    const std::string png = file("run.png");
    const std::string command = "cd '" + program.parent_path().string() + "' && ./brevan --headless --frames 100 --screenshot '" + png + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_FALSE(QImage(QString::fromStdString(png)).isNull());
    const std::string bad = "cd '" + program.parent_path().string() + "' && ./brevan --headless --nonsense 2>/dev/null";
    const int status = std::system(bad.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

// Fills the A64's display page with ink, then waits.
const bytes fill_routine = {0x21, 0x00, 0xE8, 0x11, 0x01, 0xE8, 0x01, 0xFF, 0x17,
                            0x36, 0xFF, 0xED, 0xB0, 0x18, 0xFE};

std::string hex_line(const bytes& code)
{
    std::string s = "E 4200";
    char b[4];
    for (uint8_t c : code) {
        std::snprintf(b, sizeof b, " %02X", c);
        s += b;
    }
    return s;
}

// The display area of a screenshot is all ink.
bool display_filled(const QImage& image)
{
    for (int y = 24; y < 216; y += 7)
        for (int x = 28; x < 284; x += 5)
            if (image.pixelColor(x, y) != QColor(255, 255, 255)) return false;
    return true;
}

bytes snapshot_ram(const std::string& pss)
{
    const bytes file = read_bytes(pss);
    return file.size() == PSS_SIZE ? bytes(file.begin() + 0x26, file.begin() + 0x26 + 0xC000) : bytes{};
}

TEST_F(Headless, EveryProgramFileTypeLoadsAndStartsOnlyWithAutostart)
{
    const bytes pri = concat({{0xD0, 0x00, 0x42, static_cast<uint8_t>(fill_routine.size()), 0}, fill_routine,
                              {0xC3, 0x00, 0x42}});
    const bytes pp = concat({{0x00, 0x42, 0x00, 0x42}, fill_routine});
    const std::string text = hex_line(fill_routine) + "\nE 40F9 20 42\n";
    const struct { const char* name; bytes content; } files[] = {
        {"f.ptp", ptp_program_at("FILL", 0x4200, fill_routine, 0x4200)},
        {"f.pri", pri}, {"f.prg", pri}, {"f.pp", pp},
        {"f.bas", bytes(text.begin(), text.end())}, {"f.txt", bytes(text.begin(), text.end())},
    };
    // The snapshot of a machine that ran one of them.
    ASSERT_TRUE(write_bytes(file("f.pp"), pp));
    ASSERT_EQ(run({"--headless", "--frames", "20", "--save-snapshot", file("f.pss"), file("f.pp")}), 0);
    std::vector<std::pair<std::string, bytes>> all;
    for (const auto& f : files) all.push_back({f.name, f.content});
    all.push_back({"f.pss", read_bytes(file("f.pss"))});
    for (const auto& [name, content] : all) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(write_bytes(file(name.c_str()), content));
        for (bool autostart : {true, false}) {
            // Text files are typed key by key.
            std::vector<std::string> args = {"--headless", "--frames", "300", "--screenshot", file("s.png"),
                                             "--save-snapshot", file("s.pss"), file(name.c_str())};
            if (!autostart) args.insert(args.begin() + 1, "--no-autostart");
            ASSERT_EQ(run(args), 0);
            const bytes ram = snapshot_ram(file("s.pss"));
            ASSERT_EQ(ram.size(), 0xC000u);
            // A snapshot brings its screen with it, started or not. BASIC text
            // is neither typed nor run: the built-in firmware has no BASIC.
            const bool basic = name == "f.bas" || name == "f.txt";
            EXPECT_EQ(std::equal(fill_routine.begin(), fill_routine.end(), ram.begin() + 0x200), !basic) << autostart;
            EXPECT_EQ(display_filled(QImage(QString::fromStdString(file("s.png")))),
                      (autostart && !basic) || name == "f.pss")
                << autostart;
        }
    }
}

// Paths longer than any fixed buffer: a program, a tape, a disk and the
// drive folder all load from a folder 400 bytes deep.
TEST_F(Headless, FilesDeepInLongPathsLoadWhole)
{
    fs::path deep = dir;
    for (int i = 0; i < 4; ++i) deep /= std::string(100, static_cast<char>('a' + i));
    fs::create_directories(deep);
    const std::string pp = (deep / "go.pp").string();
    ASSERT_GT(pp.size(), 400u);
    ASSERT_TRUE(write_bytes(pp, concat({{0x00, 0x42, 0x00, 0x42}, fill_routine})));
    const std::string tape = (deep / "t.ptp").string();
    ASSERT_TRUE(write_bytes(tape, ptp_program_at("FILL", 0x4200, fill_routine, 0x4200)));
    ASSERT_EQ(run({"--headless", "--frames", "30", "--screenshot", file("s.png"), "--drive", deep.string(), "--tape",
                   tape, pp}),
              0);
    EXPECT_TRUE(display_filled(QImage(QString::fromStdString(file("s.png")))));
    ASSERT_EQ(run({"--make-cpm-disk", (deep / "c.dsk").string()}), 0);
    EXPECT_EQ(run({"--headless", "--frames", "30", "--disk", (deep / "c.dsk").string()}), 0);
}

// A call into what the built-in firmware lacks stops there: the run ends
// with the address and the caller named and exit code 5, and the save
// routine that follows in the program never runs to write a file.
TEST_F(Headless, ACallIntoTheFirmwaresGapsEndsTheRunWithCodeFive)
{
    const bytes pp = {0x80, 0x41, 0x80, 0x41,
                      0xCD, 0x70, 0x1E,    // CALL 1E70, no routine of ours
                      0x11, 0x00, 0x50,    // LD DE,5000 ; CALL 0092: save a name block
                      0xCD, 0x92, 0x00, 0x18, 0xFE};
    ASSERT_TRUE(write_bytes(file("gap.pp"), pp));
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    testing::internal::CaptureStderr();
    const int code = run({"--headless", "--frames", "50", file("gap.pp")});
    const std::string said = testing::internal::GetCapturedStderr();
    fs::current_path(before);
    EXPECT_EQ(code, 5);
    EXPECT_NE(said.find("A program a ROM 0x1E70 címét hívta (0x4180-ről)"), std::string::npos) << said;
    for (const auto& entry : fs::directory_iterator(dir)) EXPECT_NE(entry.path().extension(), ".ptp") << entry.path();
}

TEST_F(Headless, TapesPlayRecordAndRefuseBadFiles)
{
    const bytes ptp = ptp_program_at("FILL", 0x4200, fill_routine, 0x4200);
    ASSERT_TRUE(write_bytes(file("f.ptp"), ptp));
    ASSERT_TRUE(write_bytes(file("f.wav"), tape_signal_wav(ptp, {})));
    // A PTP tape through the loader traps, started by hand.
    ASSERT_EQ(run({"--headless", "--frames", "150", "--tape", file("f.ptp"), "--type", "L\nR\n",
                   "--screenshot", file("p.png")}), 0);
    EXPECT_TRUE(display_filled(QImage(QString::fromStdString(file("p.png")))));
    // A WAV tape rolled by the motor bit while the firmware loads.
    ASSERT_EQ(run({"--headless", "--frames", "700", "--tape", file("f.wav"), "--type", "L\n",
                   "--save-snapshot", file("w.pss")}), 0);
    const bytes ram = snapshot_ram(file("w.pss"));
    ASSERT_EQ(ram.size(), 0xC000u);
    EXPECT_TRUE(std::equal(fill_routine.begin(), fill_routine.end(), ram.begin() + 0x200));
    // The tape output recorded through the signal routines.
    ASSERT_EQ(run({"--headless", "--frames", "800", "--record-tape", file("r.wav"), "--type",
                   "S \"R\" 4200 420F\n"}), 0);
    const bytes wav = read_bytes(file("r.wav"));
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(wav[40] | wav[41] << 8 | wav[42] << 16, static_cast<int>(wav.size() - 44));
    // Recorded as the machine's inverted input reads it: turned back for the decoder.
    bytes samples(wav.begin() + 44, wav.end());
    for (uint8_t& v : samples) v = static_cast<uint8_t>(256 - v);
    const decoded_tape tape = tape_signal_decode(samples, 44100);
    ASSERT_EQ(tape.blocks.size(), 3u) << tape.error;
    EXPECT_EQ(tape.blocks[1][0], 0xF9);

    ASSERT_TRUE(write_bytes(file("bad.wav"), {'R', 'I', 'F', 'F'}));
    EXPECT_EQ(run({"--headless", "--frames", "1", "--tape", file("bad.wav")}), 3);
    EXPECT_EQ(run({"--headless", "--frames", "1", "--tape", file("missing.ptp")}), 3);
    ASSERT_TRUE(write_bytes(file("bad.pri"), {0x00, 0x00, 0x80, 0x10}));
    EXPECT_EQ(run({"--headless", "--frames", "1", file("bad.pri")}), 3);
    EXPECT_EQ(run({"--headless", "--tape", file("f.ptp"), "--record-tape", file("x.wav")}), 2);
    EXPECT_EQ(run({"--headless", "--frames", "1", "--save-snapshot", file("no/such/x.pss")}), 1);
}

} // namespace
