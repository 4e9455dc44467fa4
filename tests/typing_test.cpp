// Text typed through the trap on the ROM's keyboard routine: every
// character of a long paste arrives in order, host letters become Primo
// codes, and the ROM's own keyboard code takes over when the text ends or
// the machine is reset.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/machine.h"
#include "core/bus.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "devices/input.h"
#include "support/firmware_driver.h"
#include "support/screen_text.h"

namespace {

struct rom_points { int model; uint16_t trap, jr; };

class Typing : public ::testing::TestWithParam<rom_points> {
protected:
    void SetUp() override { firmware_boot(GetParam().model); }
    void TearDown() override { input_remove_bas_trap(); }
    void paste(const std::string& text)
    {
        input_place_bas_trap(rom_pointer(), GetParam().model == MODEL_C64 ? 2 : 0);
        keyboard_open_from_buffer(text.c_str());
    }
    bool run_until_typed(int max_frames)
    {
        for (int i = 0; i < max_frames && keyboard_text_left() > 0; ++i) firmware_run_frames(1);
        firmware_run_frames(20);
        return keyboard_text_left() == 0;
    }
};

uint8_t value_at(int i) { return static_cast<uint8_t>(i * 37 + (i >> 4)); }

TEST_P(Typing, APasteOfTwoKilobytesArrivesCharacterByCharacter)
{
    // Monitor lines storing a known sequence, with CR LF line ends.
    std::string text;
    int stored = 0;
    while (text.size() < 2048) {
        char line[80];
        int n = std::snprintf(line, sizeof line, "E %04X", 0x6000 + stored);
        for (int b = 0; b < 16; ++b, ++stored) n += std::snprintf(line + n, sizeof line - n, " %02X", value_at(stored));
        text += line;
        text += "\r\n";
    }
    paste(text);
    ASSERT_TRUE(run_until_typed(5000));
    for (int i = 0; i < stored; ++i) ASSERT_EQ(mem_read(static_cast<uint16_t>(0x6000 + i)), value_at(i)) << i;
    EXPECT_FALSE(screen_shows("ERROR")) << screen_text_dump();
    // The ROM's own routine is back: its key wait sleeps again, and a real
    // key still works.
    EXPECT_EQ(rom_pointer()[GetParam().trap + 2], 0x00);
    EXPECT_EQ(rom_pointer()[GetParam().jr], 0x20);
    firmware_type("h 2 1\r");
    EXPECT_TRUE(screen_shows("0003 0001")) << screen_text_dump();
}

TEST_P(Typing, HostLettersBecomePrimoCodes)
{
    paste("E 6000 \xE9\xC1\xF3\x5E\x60");   // é Á ó ^ backquote
    ASSERT_TRUE(run_until_typed(100));
    const uint8_t expected[] = {'E', ' ', '6', '0', '0', '0', ' ', 0x60, 0x5D, 0x5B, 0x5B, 0x27};
    for (size_t i = 0; i < sizeof expected; ++i) EXPECT_EQ(mem_read(static_cast<uint16_t>(0x4100 + i)), expected[i]) << i;
}

TEST_P(Typing, AWarmRestartDropsTheRestAndTheRomTakesOver)
{
    paste(std::string(400, 'A'));
    firmware_run_frames(3);
    ASSERT_GT(keyboard_text_left(), 0);
    machine_reset();
    firmware_run_frames(40);
    EXPECT_EQ(keyboard_text_left(), 0);
    EXPECT_EQ(rom_pointer()[GetParam().jr], 0x20);
    firmware_type("h 2 1\r");
    EXPECT_TRUE(screen_shows("0003 0001")) << screen_text_dump();
}

INSTANTIATE_TEST_SUITE_P(Roms, Typing,
                         ::testing::Values(rom_points{MODEL_A64, 0x3866, 0x394F}, rom_points{MODEL_B48, 0x3866, 0x394F},
                                           rom_points{MODEL_C64, 0x09D0, 0x09B0}),
                         [](const auto& info) { return "Model" + std::to_string(info.param.model); });

}  // namespace
