// The screen read back as text: through the character set of the ROM that
// runs, with a marker for cells no glyph matches.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/machine.h"
#include "core/memory.h"
#include "core/romfiles.h"
#include "devices/screen_text.h"
#include "roms.h"
#include "support/firmware_driver.h"
#include "support/paths.h"

namespace {

std::string joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const auto& line : lines) all += line + '\n';
    return all;
}

// A ROM whose character set is not ours: every glyph mirrored, so the
// firmware draws mirrored text, and the text reads right only through the
// ROM's own glyphs.
TEST(ScreenText, AnOriginalRomIsReadThroughItsOwnCharacterSet)
{
    const long font = firmware_label("rom_a64", "font");
    ASSERT_GT(font, 0);
    std::vector<uint8_t> rom(rom_a64, rom_a64 + sizeof rom_a64);
    for (size_t i = 0; i < 0x81 * 7; ++i) {   // the six pixels of each row, bits 7-2
        uint8_t b = rom[font + i], m = 0;
        for (int bit = 2; bit < 8; ++bit) m |= ((b >> bit) & 1) << (9 - bit);
        rom[font + i] = m;
    }
    scratch_folder folder("screen_text_rom");
    std::ofstream(folder / "a64.rom", std::ios::binary).write(reinterpret_cast<const char*>(rom.data()), rom.size());
    ASSERT_EQ(romfiles_load({folder.path()}, nullptr), 1);
    firmware_boot(MODEL_A64, 60);
    const std::string text = joined(screen_text_utf8());
    romfiles_forget();
    EXPECT_NE(text.find("BREVAN PRIMO A64\n"), std::string::npos) << text;
}

TEST(ScreenText, ACellNoGlyphMatchesIsAMarkerAndTheCursorReadsAsItsCharacter)
{
    firmware_boot(MODEL_B64, 60);
    screenptr()[0] ^= 0x80;   // the top line of the first cell
    const std::vector<std::string> lines = screen_text_utf8();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].substr(0, 8), "\xEF\xBF\xBDREVAN");
    EXPECT_EQ(screen_text_cells()[0][0].code, -1);
    bool cursor = false;
    for (const auto& row : screen_text_cells())
        for (const screen_cell& cell : row) cursor = cursor || (cell.inverted && cell.code == ' ');
    EXPECT_TRUE(cursor);
}

}  // namespace
