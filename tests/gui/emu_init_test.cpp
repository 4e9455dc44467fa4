// Start-up and shut-down: the settings read with their defaults and written
// back unless a switch was given, the command line, and the menu marks.
#include <gtest/gtest.h>

#include <QSettings>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "emu/diskimg.h"
#include "emu/machine.h"
#include "emu/memory.h"
#include "emu/screen.h"
#include "emu/wd1793.h"
#include "gui_app.h"
#include "host/emu.h"
#include "host/main_window.h"
#include "host/pacing.h"
#include "host/shell.h"
#include "host/statusbar.h"
#include "host/ui_registry.h"

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
    EXPECT_FALSE(stored("DrivePath").isValid()) << "the folder is stored only at exit";
    EXPECT_EQ(machine_get_type(), MODEL_A64);
    EXPECT_EQ(machine_get_clock(), 2500000);
    EXPECT_EQ(g_Timer, 1);
    EXPECT_EQ(g_bSaveSettingsOnExit, 1);
    EXPECT_STREQ(status_bar_text(0), "Primo A64");
    emu_close();
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
    EXPECT_EQ(main_window_checked(40057), 1);
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
    EXPECT_EQ(g_Timer, 0);
    EXPECT_EQ(g_FrameInterval, g_50HzFreq / 2);
    EXPECT_EQ(g_bSaveSettingsOnExit, 0);
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
    EXPECT_EQ(g_bSaveSettingsOnExit, 0);
    emu_close();

    start({"-p:FF0000"});
    EXPECT_EQ(g_ColorPaper, 0x00FF0000u);
    emu_close();
    g_ColorPaper = 0;
}

TEST_F(EmuInit, AutostartSwitchAffectsOnlyLaterFiles)
{
    start({"first.ptp", "/a", "second.pri", "-t"});
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[0].path, "first.ptp");
    EXPECT_EQ(loaded[0].autostart, 1);
    EXPECT_EQ(loaded[1].path, "second.pri");
    EXPECT_EQ(loaded[1].autostart, 0);
    EXPECT_EQ(machine_get_clock(), 3750000);
    emu_close();
}

TEST_F(EmuInit, AbsolutePathsAreProgramFilesAndShortSlashWordsAreSwitches)
{
    const std::string existing = path.string() + ".ptp";
    { std::ofstream(existing) << "x"; }
    start({existing, "/home/primo/missing.ptp", "/w"});
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[0].path, existing);
    EXPECT_EQ(loaded[1].path, "/home/primo/missing.ptp");
    EXPECT_EQ(g_Timer, 0);
    emu_close();
    std::filesystem::remove(existing);

    EXPECT_EQ(emu_argument_is_file("/w"), 0);
    EXPECT_EQ(emu_argument_is_file("-w"), 0);
    EXPECT_EQ(emu_argument_is_file("game.ptp"), 1);
    EXPECT_EQ(emu_argument_is_file("/a/b"), 1) << "a further slash is never a switch";
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

} // namespace
