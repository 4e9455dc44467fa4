// The firmware's bus commands on the whole machine: saving to and loading
// from the host-folder drive, its directory and DOS commands, and the bus
// printer, on the A, B and C64 firmware at both clocks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/machine.h"
#include "core/bus.h"
#include "core/memory.h"
#include "devices/diskfs.h"
#include "devices/printer.h"
#include "support/firmware_driver.h"
#include "support/paths.h"
#include "support/screen_text.h"

namespace fs = std::filesystem;

namespace {

std::string file_text(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FirmwareBus : public ::testing::Test {
protected:
    void TearDown() override { printer_set_path(nullptr); }
    void boot(int model, int clock = 2500000)
    {
        firmware_boot_at(model, clock);
        firmware_small_letters();
        ASSERT_EQ(change_dir(folder.path().c_str()), 1);
        printer_set_path((folder / "printer.txt").c_str());
    }
    // Types a command line and runs the machine until the prompt is back.
    void command(const std::string& line)
    {
        firmware_type(line + "\r", 2);
        for (int i = 0; i < 400; ++i) {
            const auto lines = screen_text_lines();
            const int row = screen_cursor_row();
            if (row >= 0 && row < static_cast<int>(lines.size()) && lines[row] == ">") return;
            firmware_run_frames(1);
        }
        ADD_FAILURE() << "no prompt after " << line << "\n" << screen_text_dump();
    }
    scratch_folder folder{"bus"};
};

class FirmwareBusModels : public FirmwareBus, public ::testing::WithParamInterface<model_at_clock> {};

TEST_P(FirmwareBusModels, SaveLoadListAndAskTheDrive)
{
    boot(GetParam().model, GetParam().clock);
    std::string data;
    for (int i = 0; i < 0x180; ++i) data += static_cast<char>(i * 37 + 11);
    for (int i = 0; i < 0x180; ++i) mem_write(static_cast<uint16_t>(0x5000 + i), static_cast<uint8_t>(data[i]));

    command("s \"Game\" 5000 517f 8");
    EXPECT_TRUE(screen_shows("SAVED")) << screen_text_dump();
    EXPECT_EQ(file_text(folder / "Game.PRI"), std::string("\xD9\x00\x50\x80\x01", 5) + data + "\xC9");

    for (int i = 0; i < 0x180; ++i) mem_write(static_cast<uint16_t>(0x5000 + i), 0);
    command("l \"Game\" 8");
    EXPECT_TRUE(screen_shows("LOADED 5000-517F")) << screen_text_dump();
    std::string loaded;
    for (int i = 0; i < 0x180; ++i) loaded += static_cast<char>(mem_read(static_cast<uint16_t>(0x5000 + i)));
    EXPECT_EQ(loaded, data);

    // 390 bytes: two blocks of 254.
    command("$");
    EXPECT_TRUE(screen_shows("2    \"GAME\"" + std::string(13, ' ') + "PRI")) << screen_text_dump();
    EXPECT_TRUE(screen_shows("0 BLOCKS FREE.")) << screen_text_dump();

    command("@ uj");
    command("@");
    EXPECT_TRUE(screen_shows("73,CBM DOS V2.6 1541,00,00")) << screen_text_dump();
    command("l \"missing\" 8");
    EXPECT_TRUE(screen_shows("62,FILE NOT FOUND,00,00")) << screen_text_dump();
}

INSTANTIATE_TEST_SUITE_P(Models, FirmwareBusModels, ::testing::ValuesIn(models_at_both_clocks),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FirmwareBus, AHostFileInAnotherCaseLoadsAndRuns)
{
    boot(MODEL_A64);
    // LD A,0x77 ; LD (0x6100),A ; RET at 0x6000, started from its record.
    std::ofstream(folder / "sTaRt.pri", std::ios::binary)
        << std::string("\xD9\x00\x60\x06\x00\x3E\x77\x32\x00\x61\xC9\xC3\x00\x60", 14);
    command("l \"START\" 8");
    EXPECT_TRUE(screen_shows("LOADED 6000-6005")) << screen_text_dump();
    command("r");
    EXPECT_EQ(mem_read(0x6100), 0x77);
}

TEST_F(FirmwareBus, PortAndBusPrinterFillOneFileInOrder)
{
    boot(MODEL_B64);
    command("p abc");
    command("p4 def");
    command("p ghi");
    command("p4 jkl");
    // The port's CR LF is one line end; a bus job starts on a new line.
    EXPECT_EQ(file_text(folder / "printer.txt"), "\nabc\n\ndef\nghi\n\njkl\n");
}

}  // namespace

