// The built-in A/B and C64 firmware, run on the whole machine: booting,
// the keyboard, the screen, the monitor commands and the fixed entry points
// the emulator relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "emu/cpu.h"
#include "emu/input.h"
#include "emu/machine.h"
#include "emu/memory.h"
#include "emu/screen.h"
#include "roms.h"
#include "support/fake_keyboard.h"
#include "support/firmware_driver.h"
#include "support/screen_text.h"

namespace {

struct boot_case {
    int model;
    const char* title;
    const char* free_bytes;
};

constexpr boot_case boot_cases[] = {
    {MODEL_A32, "BREVAN PRIMO A32", "9728 BYTES FREE"},
    {MODEL_A48, "BREVAN PRIMO A48", "26112 BYTES FREE"},
    {MODEL_A64, "BREVAN PRIMO A64", "42496 BYTES FREE"},
    {MODEL_B32, "BREVAN PRIMO B32", "9728 BYTES FREE"},
    {MODEL_B48, "BREVAN PRIMO B48", "26112 BYTES FREE"},
    {MODEL_B64, "BREVAN PRIMO B64", "42496 BYTES FREE"},
    {MODEL_C64, "BREVAN PRIMO C64", "40448 BYTES FREE"},
};

class FirmwareBoot : public ::testing::TestWithParam<boot_case> {};

TEST_P(FirmwareBoot, ShowsBannerFreeMemoryAndPrompt)
{
    const boot_case& c = GetParam();
    firmware_boot(c.model);
    const auto lines = screen_text_lines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], c.title) << screen_text_dump();
    EXPECT_EQ(lines[2], c.free_bytes) << screen_text_dump();
    EXPECT_EQ(lines[3], "? FOR HELP");
    EXPECT_EQ(lines[4], ">") << screen_text_dump();
    EXPECT_EQ(screen_cursor_row(), 4);
}

INSTANTIATE_TEST_SUITE_P(EveryModel, FirmwareBoot, ::testing::ValuesIn(boot_cases),
                         [](const auto& info) {
                             std::string name = info.param.title + 13;
                             return name;
                         });

}  // namespace
