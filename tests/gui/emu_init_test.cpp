// Start-up and shut-down: the settings read with their defaults and written
// back unless a switch was given, the command line, and the menu marks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/hooks.h"
#include "core/machine.h"
#include "core/memory.h"
#include "core/romfiles.h"
#include "devices/diskfs.h"
#include "devices/screen.h"
#include "devices/tape.h"
#include "devices/wd1793.h"
#include "gui_app.h"
#include "host/app/messages.h"
#include "message_box.h"
#include "host/app/emu.h"
#include "host/app/pacing.h"
#include "host/app/shell.h"
#include "host/app/ui_registry.h"
#include "host/window/main_window.h"
#include "host/window/menu.h"
#include "host/window/statusbar.h"
#include "media/diskimg.h"
#include "support/tape_signal.h"

namespace {

struct loaded_file {
    std::string path;
    int autostart;
};
std::vector<loaded_file> loaded;

int record_load(const char* path, int autostart)
{
    loaded.push_back({path, autostart});
    return 1;
}

class EmuInit : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        gui_app();
        main_window_create();
    }
    void SetUp() override
    {
        path = std::filesystem::temp_directory_path() /
               ("brevan_emu_init_" + std::to_string(::getpid()) + ".ini");
        std::filesystem::remove(path);
        prefs_set_file(path.c_str());
        loaded.clear();
        emu_set_program_loader(record_load);
        g_ColorInk = 0xFFFFFFFF;
    }
    void TearDown() override
    {
        emu_set_program_loader(nullptr);
        prefs_done();
        prefs_set_file(nullptr);
        std::filesystem::remove(path);
    }

    void start(std::vector<std::string> args)
    {
        args.insert(args.begin(), "brevan");
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        emu_init(static_cast<int>(args.size()), argv.data());
    }
    void store(const char* name, uint32_t value)
    {
        QSettings file(QString::fromStdString(path.string()), QSettings::IniFormat);
        file.setValue(name, value);
    }
    QVariant stored(const char* name)
    {
        QSettings file(QString::fromStdString(path.string()), QSettings::IniFormat);
        return file.value(name);
    }
    std::filesystem::path path;
};

TEST_F(EmuInit, FirstStartCreatesEveryNumericSettingWithItsDefault)
{
    start({});
    EXPECT_EQ(machine_get_type(), MODEL_A64);
    EXPECT_EQ(machine_get_clock(), 2500000);
    EXPECT_TRUE(shell.sync);
    EXPECT_TRUE(shell.save_settings_on_exit);
    EXPECT_STREQ(status_bar_text(0), "Primo A64");
    EXPECT_FALSE(std::filesystem::exists(path)) << "nothing is written before the exit";
    std::ifstream help(emu_help_file());
    const std::string text{std::istreambuf_iterator<char>(help), {}};
    EXPECT_NE(text.find("az első kilépéskor hozza létre"), std::string::npos) << "the help text says so";
    // A run with a switch writes back no setting, but creates the missing ones.
    shell.save_settings_on_exit = false;
    emu_close();
    const std::pair<const char*, uint32_t> defaults[] = {
        {"DoubleSize", 0}, {"DoubleScan", 0}, {"SyncSpeed", 1}, {"Sound", 1},
        {"KeyMapping", 0}, {"Model", 2}, {"ClockRate", 2500000}, {"RamExpansion", 0},
        {"ColorPalette", 0}, {"PaperColor", 0}, {"InkColor", 0xFFFFFFFF},
        {"BorderColor", 0}, {"DisableTapeRemoteControl", 0},
    };
    for (const auto& [name, value] : defaults) {
        ASSERT_TRUE(stored(name).isValid()) << name;
        EXPECT_EQ(stored(name).toUInt(), value) << name;
    }
    EXPECT_FALSE(stored("DrivePath").isValid()) << "the folder is stored only with the settings";
}

TEST_F(EmuInit, StoredSettingsReachTheMachineAndTheMenu)
{
    store("Model", 3);
    store("ClockRate", 3750000);
    store("DoubleSize", 1);
    store("SyncSpeed", 0);
    store("DisableTapeRemoteControl", 1);
    start({});
    EXPECT_EQ(machine_get_type(), MODEL_B32);
    EXPECT_EQ(machine_get_clock(), 3750000);
    EXPECT_EQ(g_bDoubleScreen, 1);
    EXPECT_EQ(g_FrameInterval, g_50HzFreq / 2);
    EXPECT_STREQ(status_bar_text(0), "Primo B32");
    EXPECT_EQ(main_window_checked(ID_MODEL_B32), 1);
    EXPECT_EQ(main_window_checked(ID_CLOCK_375), 1);
    EXPECT_EQ(main_window_checked(ID_DOUBLE_SIZE), 1);
    EXPECT_EQ(main_window_checked(ID_SYNC), 0);
    EXPECT_EQ(main_window_checked(ID_TAPE_REMOTE), 1);
    emu_close();
    g_bDoubleScreen = 0;
}

TEST_F(EmuInit, OutOfRangeModelAndClockFallBackToTheDefaults)
{
    store("Model", 9);
    store("ClockRate", 1234);
    start({});
    EXPECT_EQ(machine_get_type(), MODEL_A64);
    EXPECT_EQ(machine_get_clock(), 2500000);
    emu_close();
    EXPECT_EQ(stored("Model").toUInt(), 2u);
}

TEST_F(EmuInit, AnyNonZeroFlagReadsAsOnAndIsWrittenBackAsOne)
{
    const struct { const char* name; const bool* flag; } flags[] = {
        {"RamExpansion", &shell.ram_bank}, {"DisableTapeRemoteControl", &shell.tape_remote_disabled},
        {"KeyMapping", &shell.symbolic_keys}, {"FlipTapeSignal", &shell.tape_signal_flipped},
    };
    for (const auto& f : flags) store(f.name, 7);
    start({});
    for (const auto& f : flags) EXPECT_TRUE(*f.flag) << f.name;
    EXPECT_EQ(main_window_checked(ID_RAM_BANK), 1);
    EXPECT_EQ(main_window_checked(ID_TAPE_FLIP), 1);
    EXPECT_EQ(tape_signal_flipped(), 1);
    emu_close();
    for (const auto& f : flags) EXPECT_EQ(stored(f.name).toUInt(), 1u) << f.name;
    shell.ram_bank = shell.tape_remote_disabled = shell.symbolic_keys = shell.tape_signal_flipped = false;
    tape_set_signal_flipped(0);
}

TEST_F(EmuInit, ExitWritesTheSettingsIncludingTheDriveFolder)
{
    start({});
    g_bDoubleScan = 1;
    g_ColorPaper = 0x123456;
    emu_close();
    EXPECT_EQ(stored("DoubleScan").toUInt(), 1u);
    EXPECT_EQ(stored("PaperColor").toUInt(), 0x123456u);
    EXPECT_TRUE(stored("DrivePath").isValid());
    g_bDoubleScan = 0;
    g_ColorPaper = 0;
}

TEST_F(EmuInit, ExitWritesChangedDisksBack)
{
    const auto disk = std::filesystem::temp_directory_path() / ("brevan_emu_init_" + std::to_string(::getpid()) + ".dsk");
    { std::ofstream(disk, std::ios::binary) << std::string(163840, '\xE5'); }
    start({});
    ASSERT_EQ(wd1793_insert_disk(0, disk.c_str()), 1);
    const std::vector<uint8_t> ones(512, 0x11);
    disk_img_write_sector(diskimg_drive(0), 0, 39, 8, ones.data());
    emu_close();
    diskimg_detach(diskimg_drive(0), 0);
    std::ifstream in(disk, std::ios::binary);
    in.seekg(163840 - 512);
    EXPECT_EQ(in.get(), 0x11);
    std::filesystem::remove(disk);
}

TEST_F(EmuInit, AnySwitchLeavesTheStoredSettingsUntouched)
{
    start({"/w"});
    EXPECT_FALSE(shell.sync);
    EXPECT_EQ(g_FrameInterval, g_50HzFreq / 2);
    EXPECT_FALSE(shell.save_settings_on_exit);
    g_bDoubleScan = 1;
    emu_close();
    EXPECT_EQ(stored("SyncSpeed").toUInt(), 1u);
    EXPECT_EQ(stored("DoubleScan").toUInt(), 0u);
    g_bDoubleScan = 0;
}

TEST_F(EmuInit, InkSwitchReadsSixDigitsAndNeedsItsColon)
{
    start({"/i:0000FF"});
    EXPECT_EQ(g_ColorInk, 0x000000FFu);
    emu_close();

    start({"/i"});
    EXPECT_EQ(g_ColorInk, 0xFFFFFFFFu);
    EXPECT_FALSE(shell.save_settings_on_exit);
    emu_close();

    start({"-p:FF0000"});
    EXPECT_EQ(g_ColorPaper, 0x00FF0000u);
    emu_close();
    g_ColorPaper = 0;
}

TEST_F(EmuInit, AutostartSwitchAffectsOnlyLaterFiles)
{
    const std::string tape = path.string() + ".WAV";
    {
        const std::vector<uint8_t> wav = tape_signal_wav({}, {});
        std::ofstream(tape, std::ios::binary).write(reinterpret_cast<const char*>(wav.data()), static_cast<std::streamsize>(wav.size()));
    }
    start({"first.ptp", "/a", "second.pri", "-t", tape});
    ASSERT_EQ(loaded.size(), 2u) << "a WAV goes to the tape player";
    EXPECT_TRUE(tape_wav_open());
    EXPECT_EQ(loaded[0].path, "first.ptp");
    EXPECT_EQ(loaded[0].autostart, 1);
    EXPECT_EQ(loaded[1].path, "second.pri");
    EXPECT_EQ(loaded[1].autostart, 0);
    EXPECT_EQ(machine_get_clock(), 3750000);
    emu_close();
    std::filesystem::remove(tape);
}

TEST_F(EmuInit, AbsolutePathsAreProgramFilesAndShortSlashWordsAreSwitches)
{
    const std::string existing = path.string() + ".ptp";
    { std::ofstream(existing) << "x"; }
    start({existing, "/home/primo/missing.ptp", "/w"});
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[0].path, existing);
    EXPECT_EQ(loaded[1].path, "/home/primo/missing.ptp");
    EXPECT_FALSE(shell.sync);
    emu_close();
    std::filesystem::remove(existing);

    EXPECT_EQ(emu_argument_is_file("/w"), 0);
    EXPECT_EQ(emu_argument_is_file("-w"), 0);
    EXPECT_EQ(emu_argument_is_file("game.ptp"), 1);
    EXPECT_EQ(emu_argument_is_file("/a/b"), 1) << "a further slash is never a switch";
}

TEST_F(EmuInit, AFolderIsAPathWithAMessageNeverASwitch)
{
    testing::internal::CaptureStderr();
    start({"/dev", "/tmp"});
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(loaded.empty());
    EXPECT_EQ(g_bDoubleScreen, 0) << "/dev is no /d";
    EXPECT_TRUE(shell.sync) << "/tmp is no /t";
    EXPECT_TRUE(shell.save_settings_on_exit);
    EXPECT_NE(err.find("/dev: könyvtár"), std::string::npos) << err;
    emu_close();
}

TEST_F(EmuInit, UnknownDoubleDashOptionsAreRefused)
{
    const struct { std::vector<std::string> args; int code; } cases[] = {
        {{"/w", "game.ptp", "-d"}, 0},
        {{"game.ptp", "--frobnicate"}, 2},
        {{"--tape"}, 2},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "brevan");
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        testing::internal::CaptureStderr();
        EXPECT_EQ(emu_refuse_unknown_options(static_cast<int>(argv.size()), argv.data()), c.code) << args[1];
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.empty(), c.code == 0) << err;
    }
}

TEST_F(EmuInit, ModelSwitchChangesMemoryButNotTheStoredModel)
{
    start({"/mc64"});
    EXPECT_EQ(memory_get_machine_type(), MODEL_C64);
    EXPECT_EQ(nroflines, 216);
    EXPECT_EQ(g_bColor, 2);
    EXPECT_EQ(machine_get_type(), MODEL_A64);
    emu_close();

    start({"/mzz"});
    EXPECT_EQ(memory_get_machine_type(), MODEL_A64);
    EXPECT_EQ(nroflines, 192);
    emu_close();
    g_bColor = 0;
}

std::vector<std::string> boxes;

TEST_F(EmuInit, StartUpReportsOnlyWhatDiffersFromTheBuiltInFirmwareInOneMessage)
{
    const std::filesystem::path data = path.string() + ".data";
    const std::filesystem::path roms = data / "brevan" / "roms";
    std::filesystem::create_directories(roms);
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string keep = saved ? saved : "";
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    const auto saved_box = shell_output.box;
    shell_output.box = [](const char* title, const char* text) { boxes.push_back(std::string(title) + "|" + text); };
    boxes.clear();

    testing::internal::CaptureStderr();
    start({});
    emu_close();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "a start on the built-in firmware is quiet";
    EXPECT_TRUE(boxes.empty());

    { std::ofstream(roms / "a64.rom") << "short"; }
    { std::ofstream(roms / "c64.rom") << "shorter"; }
    testing::internal::CaptureStderr();
    start({});
    emu_close();
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(boxes.size(), 1u);
    for (const char* name : {"a64.rom", "c64.rom"}) {
        EXPECT_NE(boxes[0].find(name), std::string::npos) << name;
        const size_t first = err.find(name);
        ASSERT_NE(first, std::string::npos) << name;
        EXPECT_EQ(err.find(name, first + 1), std::string::npos) << name << " printed twice:\n" << err;
    }

    shell_output.box = saved_box;
    if (saved) setenv("XDG_DATA_HOME", keep.c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
    romfiles_forget();
    std::filesystem::remove_all(data);
}


TEST_F(EmuInit, ADamagedSettingsFileIsKeptAsideOnceAndReplacedByACleanOneAtExit)
{
    const struct { std::string bytes; uint32_t model; } files[] = {
        {"[General]\nModel=3\nbroken line\nSound=0\n", MODEL_B32},
        {std::string("\x7F\x00\xFF\xFE garbage \x01\x02=\n\x93", 18), MODEL_A64},
    };
    const std::string backup = path.string() + ".bak";
    for (const auto& f : files) {
        { std::ofstream(path, std::ios::binary) << f.bytes; }
        answer_next_message_box();
        start({});
        EXPECT_NE(message_shown.find(backup), std::string::npos) << message_shown;
        EXPECT_EQ(machine_get_type(), static_cast<int>(f.model)) << "what can be read is kept";
        std::ifstream kept(backup, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), f.bytes);
        emu_close();

        QSettings clean(QString::fromStdString(path.string()), QSettings::IniFormat);
        EXPECT_EQ(clean.status(), QSettings::NoError);
        EXPECT_EQ(clean.allKeys().size(), 15) << clean.allKeys().join(',').toStdString();
        EXPECT_EQ(clean.value("Model").toUInt(), f.model);
        answer_next_message_box();
        start({});
        QCoreApplication::processEvents();
        EXPECT_EQ(message_shown, "") << "told once";
        emu_close();
        std::filesystem::remove(backup);
    }
}

TEST(SettingsText, StringsComeBackAsTheyWereWritten)
{
    const auto file = std::filesystem::temp_directory_path() / ("brevan_text_" + std::to_string(::getpid()) + ".ini");
    prefs_set_file(file.c_str());
    const std::string texts[] = {"/home/a b/lemez", " lead,and;trail ", "@at \"quoted\" back\\slash", "t\tab\x01" "1f",
                                 "árvíztűrő"};
    const auto name = [](size_t i) { return QStringLiteral("S%1").arg(i); };
    ASSERT_EQ(prefs_init("Brevan"), 1);
    for (size_t i = 0; i < std::size(texts); ++i) SetValueStr(name(i).toLatin1().constData(), texts[i].c_str());
    prefs_done();
    QSettings qt(QString::fromStdString(file.string()), QSettings::IniFormat);
    for (size_t i = 0; i < std::size(texts); ++i) EXPECT_EQ(qt.value(name(i)).toString().toStdString(), texts[i]);
    prefs_set_file(nullptr);
    std::filesystem::remove(file);
}

TEST_F(EmuInit, AMissingDriveFolderIsReportedAndKeptWhileTheDefaultServes)
{
    const std::filesystem::path data = path.string() + ".data";
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string keep = saved ? saved : "";
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    const std::string drive = (data / "brevan" / "drive").string();
    start({});
    EXPECT_EQ(get_drive_dir(), drive) << "the default";
    EXPECT_FALSE(std::filesystem::exists(drive)) << "made at the first use";
    Open(0, reinterpret_cast<const uint8_t*>("$"), 1);
    Close(0);
    EXPECT_TRUE(std::filesystem::is_directory(drive));
    emu_close();

    const std::string removable = (data / "usb" / "primo").string();
    { QSettings file(QString::fromStdString(path.string()), QSettings::IniFormat);
      file.setValue("DrivePath", QString::fromStdString(removable)); }
    answer_next_message_box();
    start({});
    EXPECT_NE(message_shown.find(removable), std::string::npos) << message_shown;
    EXPECT_EQ(get_drive_dir(), drive);
    emu_close();
    EXPECT_EQ(stored("DrivePath").toString().toStdString(), removable) << "the setting is kept";

    if (saved) setenv("XDG_DATA_HOME", keep.c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
    std::filesystem::remove_all(data);
}

} // namespace

TEST_F(EmuInit, AProgramNameOfAnyLengthReachesTheLoaderWhole)
{
    const std::string name = "/home/" + std::string(300, 'p') + "/game.ptp";
    start({name});
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].path, name);
    emu_close();
}
