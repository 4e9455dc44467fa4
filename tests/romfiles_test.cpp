// Original ROM files: where they are looked for, which folder wins, the
// refusal of wrong sizes, and the memory map running the supplied images.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/event.h"
#include "core/hooks.h"
#include "core/machine.h"
#include "core/memory.h"
#include "core/romfiles.h"
#include "roms.h"
#include "support/test_machine.h"

namespace fs = std::filesystem;

namespace {


class RomFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_machine_select(MODEL_A64);
        static int serial = 0;
        root = fs::temp_directory_path() / ("brevan_romfiles_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
        fs::create_directories(root / "first");
        fs::create_directories(root / "second");
    }
    void TearDown() override
    {
        romfiles_forget();
        memory_set_active_setup(MODEL_A64);
        memory_reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // A file of `size` bytes that starts with `mark` and is filled with `fill`.
    fs::path make(const std::string& folder, const std::string& name, size_t size,
                  std::vector<uint8_t> mark, uint8_t fill = 0x00)
    {
        std::vector<char> data(size, static_cast<char>(fill));
        for (size_t i = 0; i < mark.size() && i < size; ++i) data[i] = static_cast<char>(mark[i]);
        const fs::path path = root / folder / name;
        std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(size));
        return path;
    }
    std::vector<fs::path> folders() const { return {root / "first", root / "second"}; }

    static void select(int model)
    {
        memory_set_active_setup(model);
        memory_reset();
    }
    static bool starts_with(uint16_t at, const std::vector<uint8_t>& bytes)
    {
        for (size_t i = 0; i < bytes.size(); ++i)
            if (the_machine.mem.memory[at + i] != bytes[i]) return false;
        return true;
    }

    fs::path root;
};

TEST(RomFolders, UserDataFolderComesBeforeTheProgramFolder)
{
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string keep = saved ? saved : "";
    setenv("XDG_DATA_HOME", "/data/home", 1);
    auto folders = romfiles_default_folders("/opt/brevan");
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0], fs::path("/data/home/brevan/roms"));
    EXPECT_EQ(folders[1], fs::path("/opt/brevan/roms"));

    setenv("XDG_DATA_HOME", "relative/ignored", 1);
    setenv("HOME", "/home/primo", 1);
    folders = romfiles_default_folders(nullptr);
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0], fs::path("/home/primo/.local/share/brevan/roms"));

    if (saved) setenv("XDG_DATA_HOME", keep.c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
}

TEST_F(RomFiles, SuppliedAImageRunsAtAddressZero)
{
    const fs::path path = make("first", "a64.rom", 16384, {0xF3, 0xDE, 0xAD, 0xBE});
    romfiles_report report;
    EXPECT_EQ(romfiles_load(folders(), &report), 1);
    select(MODEL_A64);
    EXPECT_TRUE(starts_with(0x0000, {0xF3, 0xDE, 0xAD, 0xBE}));
    EXPECT_EQ(romfiles_model_source(MODEL_A32), "Primo A32: " + path.string());
    EXPECT_EQ(romfiles_model_source(MODEL_C64), "Primo C64: beépített firmware");
    // Only what differs from the built-in firmware is reported.
    EXPECT_EQ(report.used, "Eredeti ROM: " + path.string() + " (Primo A32, A48, A64)\n");
    EXPECT_EQ(report.refused, "");
}

TEST_F(RomFiles, WrongSizeIsRefusedByNameAndSizeAndBuiltInRuns)
{
    make("first", "a64.rom", 16383, {0x11, 0x22});
    make("first", "cpm-bios.rom", 4096, {0x33});
    romfiles_report report;
    EXPECT_EQ(romfiles_load(folders(), &report), 0);
    EXPECT_EQ(report.used, "");
    const std::string& refused = report.refused;
    EXPECT_EQ(std::count(refused.begin(), refused.end(), '\n'), 2);
    EXPECT_NE(refused.find("a64.rom: a fájl 16383 bájtos, de 16384 bájtosnak kell lennie"), std::string::npos);
    EXPECT_NE(refused.find("cpm-bios.rom: a fájl 4096 bájtos, de 2048"), std::string::npos);
    select(MODEL_A64);
    EXPECT_TRUE(starts_with(0x0000, {rom_a64[0], rom_a64[1], rom_a64[2]}));
    EXPECT_EQ(romfiles_model_source(MODEL_A64), "Primo A64: beépített firmware");
}

TEST_F(RomFiles, FirstFolderHoldingANameDecides)
{
    const fs::path a_first = make("first", "a64.rom", 16384, {0xA1});
    make("second", "a64.rom", 16384, {0xA2});
    const fs::path c_second = make("second", "c64.rom", 16384, {0xC2});
    make("first", "b64.rom", 100, {0xB1});   // refused: the second folder's is not tried
    make("second", "b64.rom", 16384, {0xB2});
    romfiles_report report;
    EXPECT_EQ(romfiles_load(folders(), &report), 2);
    select(MODEL_A48);
    EXPECT_TRUE(starts_with(0x0000, {0xA1}));
    select(MODEL_C64);
    EXPECT_TRUE(starts_with(0x0000, {0xC2}));
    EXPECT_EQ(romfiles_model_source(MODEL_C64), "Primo C64: " + c_second.string());
    EXPECT_NE(report.refused.find((root / "first" / "b64.rom").string()), std::string::npos);
}

TEST_F(RomFiles, CpmImagesReachBootAddressAndBiosArea)
{
    const fs::path boot = make("second", "cpm-boot.rom", 4096, {0x31, 0x32, 0x33});
    const fs::path bios = make("second", "cpm-bios.rom", 2048, {0xC3, 0x34, 0x12});
    EXPECT_EQ(romfiles_load(folders(), nullptr), 2);
    select(MODEL_CPM);
    EXPECT_TRUE(starts_with(0x0000, {0x31, 0x32, 0x33}));
    EXPECT_TRUE(starts_with(0xE000, {0xC3, 0x34, 0x12}));
    EXPECT_EQ(romfiles_model_source(MODEL_CPM), "Primo CP/M: " + boot.string() + ", " + bios.string());
    std::filesystem::remove(boot);
    romfiles_load(folders(), nullptr);
    EXPECT_EQ(romfiles_model_source(MODEL_CPM), "Primo CP/M: beépített indító ROM, " + bios.string());
}

TEST_F(RomFiles, OriginalBImageStandsAsItIs)
{
    make("first", "b64.rom", 16384, {0xB0, 0x0B}, 0x5A);
    romfiles_load(folders(), nullptr);
    select(MODEL_B64);
    EXPECT_TRUE(starts_with(0x0000, {0xB0, 0x0B, 0x5A, 0x5A}));
    EXPECT_EQ(the_machine.mem.memory[0x2000], 0x5A) << "no patch laid over it";
}

TEST_F(RomFiles, BModelsKeepTheBuiltInBImageWhenOnlyAnOriginalAIsGiven)
{
    make("first", "a64.rom", 16384, {0xA0}, 0x77);
    romfiles_load(folders(), nullptr);
    std::vector<uint8_t> builtin_b(rom_a64, rom_a64 + 16384);
    for (size_t i = 0; i < b64rom_patch_count; ++i) {
        const uint8_t* e = b64rom_patch + 4 * i;
        builtin_b[e[0] | e[1] << 8] = e[2];
    }
    select(MODEL_B64);
    int differing = 0;
    for (int i = 0; i < 0x4000; ++i)
        if (i != 0x14 && i != 0x3B && (i < 0x3925 || i > 0x3927) && the_machine.mem.memory[i] != builtin_b[i]) ++differing;
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(romfiles_model_source(MODEL_B32), "Primo B32: beépített firmware");
}

TEST_F(RomFiles, MissingFoldersDirectoriesAndForgettingAreHarmless)
{
    fs::create_directories(root / "first" / "c64.rom");   // a folder, not a file
    std::vector<fs::path> list{root / "nowhere", fs::path(), root / "first"};
    romfiles_report report;
    EXPECT_EQ(romfiles_load(list, &report), 0);
    EXPECT_NE(report.refused.find("c64.rom: nem közönséges fájl"), std::string::npos);

    make("first", "a64.rom", 16384, {0x99});
    fs::remove(root / "first" / "c64.rom");
    EXPECT_EQ(romfiles_load(list, nullptr), 1);
    romfiles_forget();
    select(MODEL_A64);
    EXPECT_EQ(the_machine.mem.memory[0], rom_a64[0]);
    EXPECT_EQ(romfiles_model_source(MODEL_A64), "Primo A64: beépített firmware");
}

}  // namespace
