// The C64 colour unit: commands, palette cycling, both picture modes at both
// sizes, the border, and the host palettes.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

#include "core/machine.h"
#include "core/bus.h"
#include "core/memory.h"
#include "devices/color.h"

namespace {

class ColorUnit : public ::testing::Test {
protected:
    uint8_t* B = nullptr;

    void SetUp() override
    {
        the_machine = machine{};   // a machine of its own
        memory_set_active_setup(MODEL_C64);
        memory_reset();
        z80_out(0x00, 0x08);   // page 1: colour block at 0xE000
        B = rom_pointer() + 0xE000;
        // Palette p entry i = 0x40 p + 1 + i: every entry tells its palette.
        for (int p = 0; p < 3; ++p)
            for (int i = 0; i < 32; ++i) B[0x20 + 0x20 * p + i] = static_cast<uint8_t>(0x40 * p + 1 + i);
        color_reset();
        command(0, 4, 0, 0, 0);
        frame();
    }

    void command(int mode, int code, int t0, int t1, int t2)
    {
        B[0] = static_cast<uint8_t>(mode);
        B[1] = static_cast<uint8_t>(0x80 | code);
        B[2] = static_cast<uint8_t>(t0);
        B[4] = static_cast<uint8_t>(t1);
        B[5] = static_cast<uint8_t>(t2);
    }
    void frame(int double_size = 0) { render_color_frame(B, color_canvas(), double_size); }
    static uint8_t at(int row, int column, int double_size = 0)
    {
        return color_canvas()[row * (double_size ? 640 : 320) + column];
    }
    uint8_t entry(int palette, int index) const { return B[0x20 + 0x20 * palette + index]; }
};

TEST_F(ColorUnit, CommandSelectsPaletteAndIsAcknowledged)
{
    command(2, 1, 0, 0, 0);
    frame();
    EXPECT_EQ(color_get_active_palette(), 2);
    EXPECT_EQ(color_get_mode(), 2);
    EXPECT_EQ(B[1], 0x01);   // bit 7 cleared in emulated memory

    command(2, 2, 0, 0, 0);
    frame();
    EXPECT_EQ(color_get_active_palette(), 1);
    command(0, 3, 0, 0, 0);   // not a palette code: keeps palette 1
    frame();
    EXPECT_EQ(color_get_active_palette(), 1);
    EXPECT_EQ(color_get_mode(), 0);

    command(0, 4, 0, 5, 5);   // palette 0 with display time 0: no cycling
    for (int i = 0; i < 5; ++i) frame();
    EXPECT_EQ(color_get_active_palette(), 0);
}

TEST_F(ColorUnit, TimingsOfOneSwitchPaletteEveryFrame)
{
    command(0, 4, 1, 1, 1);
    const int expected[] = {1, 2, 0, 1, 2};
    for (int want : expected) {
        frame();
        EXPECT_EQ(color_get_active_palette(), want);
    }
}

TEST_F(ColorUnit, DisplayTimeOfZeroStopsCyclingAtThatPalette)
{
    command(0, 4, 2, 0, 3);
    const int expected[] = {0, 1, 1, 1, 1};
    for (int want : expected) {
        frame();
        EXPECT_EQ(color_get_active_palette(), want);
    }
}

TEST_F(ColorUnit, ColorResetReturnsToPaletteZeroAndKeepsTheMode)
{
    command(2, 1, 3, 3, 3);
    frame();
    color_reset();
    EXPECT_EQ(color_get_active_palette(), 0);
    EXPECT_EQ(color_get_mode(), 2);
    for (int i = 0; i < 4; ++i) frame();
    EXPECT_EQ(color_get_active_palette(), 0);
}

TEST_F(ColorUnit, BorderIsEntryZeroOfThePaletteShownBeforeTheStep)
{
    command(0, 4, 1, 1, 1);
    frame();   // palette 0 was active when the frame began
    EXPECT_EQ(at(0, 0), entry(0, 0));
    EXPECT_EQ(at(239, 319), entry(0, 0));
    EXPECT_EQ(at(0, 0, 1), entry(0, 0));   // single size fills only 320 x 240
    frame();
    EXPECT_EQ(at(0, 0), entry(1, 0));
}

TEST_F(ColorUnit, BorderIsRefilledOnlyOnChangeOrCommand)
{
    frame();
    color_canvas()[0] = 0xEE;
    frame();   // same border: the canvas keeps its border area
    EXPECT_EQ(at(0, 0), 0xEE);

    B[1] = 0x84;   // a command refills even with the same border
    frame();
    EXPECT_EQ(at(0, 0), entry(0, 0));

    color_canvas()[0] = 0xEE;
    B[0x20] = 0x99;   // new border colour
    frame();
    EXPECT_EQ(at(0, 0), 0x99);
    EXPECT_EQ(at(239, 319), 0x99);
}

TEST_F(ColorUnit, BorderComesFromThePageTheControlRegisterSelects)
{
    uint8_t* other = rom_pointer() + 0xC000;
    other[0x20] = 0x5E;
    z80_out(0x00, 0x00);   // page 0 selected, but page 1's block is drawn
    frame();
    EXPECT_EQ(at(0, 0), 0x5E);
    z80_out(0x00, 0x08);
}

TEST_F(ColorUnit, Mode0AttributeNibblesColourFourPixelsAndFourRows)
{
    B[0x80 + 32 * 1] = 0xA5;              // attribute row 1, byte 0
    B[0x700 + 32 * 5] = 0x90;             // row 5: pixels 0 and 3 set
    frame();
    EXPECT_EQ(at(20 + 5, 28 + 0), entry(0, 16 + 0xA));
    EXPECT_EQ(at(20 + 5, 28 + 1), entry(0, 0xA));
    EXPECT_EQ(at(20 + 5, 28 + 3), entry(0, 16 + 0xA));
    EXPECT_EQ(at(20 + 5, 28 + 4), entry(0, 0x5));
    EXPECT_EQ(at(20 + 4, 28 + 7), entry(0, 0x5));   // rows 4-7 share attribute row 1
    EXPECT_EQ(at(20 + 7, 28 + 4), entry(0, 0x5));
    EXPECT_EQ(at(20 + 3, 28 + 4), entry(0, 0x0));
    EXPECT_EQ(at(20 + 8, 28 + 4), entry(0, 0x0));
    EXPECT_EQ(at(20 + 5, 28 + 8), entry(0, 0x0));
    EXPECT_EQ(at(19, 28), entry(0, 0));   // border above the picture
    EXPECT_EQ(at(20 + 199, 28 + 255), entry(0, 0));
}

TEST_F(ColorUnit, Mode2NibblesColourSixPixelCellsShiftedByTwo)
{
    command(2, 4, 0, 0, 0);
    for (int k = 0; k < 32; ++k)   // attribute row 0: nibble n holds n mod 16
        B[0x80 + k] = static_cast<uint8_t>((((2 * k) & 15) << 4) | ((2 * k + 1) & 15));
    for (int k = 0; k < 32; ++k) B[0x80 + 32 + k] = 0xFF;
    B[0x500] = 0x10;   // row 0, pixel 3 set
    frame();
    EXPECT_EQ(at(12, 28 + 0), entry(0, 1));
    EXPECT_EQ(at(12, 28 + 3), entry(0, 16 + 1));   // low nibble of byte 0
    EXPECT_EQ(at(12, 28 + 4), entry(0, 2));        // high nibble of byte 1
    EXPECT_EQ(at(12, 28 + 9), entry(0, 2));
    EXPECT_EQ(at(12, 28 + 10), entry(0, 3));
    EXPECT_EQ(at(12, 28 + 255), entry(0, 43 % 16)); // low nibble of byte 21
    EXPECT_EQ(at(12 + 5, 28 + 0), entry(0, 1));    // rows 0-5 share attribute row 0
    EXPECT_EQ(at(12 + 6, 28 + 0), entry(0, 15));
    EXPECT_EQ(at(12 + 215, 28), entry(0, 0));
    EXPECT_EQ(at(11, 28), entry(0, 0));
}

TEST_F(ColorUnit, DoubleSizeDoublesEveryPixelAndLine)
{
    B[0x80 + 32] = 0xA5;
    B[0x700 + 32 * 5] = 0x10;   // pixel 3 of row 5
    color_reset();   // as the shell does when the size changes
    frame(1);
    for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) {
            EXPECT_EQ(at(40 + 10 + dy, 56 + 6 + dx, 1), entry(0, 16 + 0xA));
            EXPECT_EQ(at(40 + 10 + dy, 56 + 8 + dx, 1), entry(0, 5));
        }
    EXPECT_EQ(at(479, 639, 1), entry(0, 0));   // the whole double canvas is bordered

    command(2, 4, 0, 0, 0);
    B[0x80] = 0x0C;
    B[0x500 + 32 * 2] = 0x10;   // pixel 3 of row 2
    frame(1);
    EXPECT_EQ(at(24 + 4, 56 + 6, 1), entry(0, 16 + 0xC));
    EXPECT_EQ(at(24 + 5, 56 + 7, 1), entry(0, 16 + 0xC));
    EXPECT_EQ(at(24 + 4, 56 + 8, 1), entry(0, 0));
}

TEST_F(ColorUnit, UndefinedModeShowsOnlyTheBorder)
{
    std::memset(B + 0x80, 0x77, 32 * 50);
    std::memset(B + 0x500, 0xFF, 0x1B00);
    color_canvas()[100000] = 0xEE;
    for (int mode : {1, 3, 4}) {
        SCOPED_TRACE(mode);
        command(mode, 4, 0, 0, 0);
        frame();
        EXPECT_EQ(at(20 + 50, 28 + 50), entry(0, 0));
        EXPECT_EQ(at(120, 160), entry(0, 0));
        EXPECT_EQ(color_canvas()[100000], 0xEE);   // nothing drawn past the single canvas
    }
}

TEST_F(ColorUnit, DoColorControlFollowsLoadedMemoryWithoutDrawing)
{
    color_canvas()[0] = 0xEE;
    command(2, 2, 4, 4, 4);
    do_color_control(B);
    EXPECT_EQ(color_get_active_palette(), 1);
    EXPECT_EQ(color_get_mode(), 2);
    EXPECT_EQ(B[1], 0x02);
    EXPECT_EQ(color_canvas()[0], 0xEE);
}

// ---- host palettes ----

std::array<uint8_t, 1024> palette_of(int type)
{
    std::array<uint8_t, 1024> out;
    out.fill(0xAB);
    color_calculate_palette(out.data(), type);
    return out;
}

TEST(ColorPalette, IndexBitsAreRedGreenBlueInBgrEntries)
{
    const auto p0 = palette_of(0);
    EXPECT_EQ(p0[4 * 0xFF + 0], 255);
    EXPECT_EQ(p0[4 * 0xFF + 1], 255);
    EXPECT_EQ(p0[4 * 0xFF + 2], 255);
    EXPECT_EQ(p0[4 * 0x01 + 0], 83);
    EXPECT_EQ(p0[4 * 0x01 + 2], 0);
    EXPECT_EQ(p0[4 * 0x20 + 2], 37);   // red 1
    EXPECT_EQ(p0[4 * 0x04 + 1], 37);   // green 1
    EXPECT_EQ(p0[4 * 0x01 + 3], 0xAB); // fourth byte untouched

    const auto p1 = palette_of(1);
    EXPECT_EQ(p1[4 * 0x01 + 0], 85);
    EXPECT_EQ(p1[4 * 0x20 + 2], 36);
    EXPECT_EQ(p1[4 * 0xE0 + 2], 255);
    EXPECT_EQ(p1[4 * 0x1C + 1], 255);

    const auto p2 = palette_of(2);
    EXPECT_EQ(p2[4 * 0x01 + 0], 109);
    EXPECT_EQ(p2[4 * 0x02 + 0], 182);
    EXPECT_EQ(p2[4 * 0x03 + 0], 255);
    EXPECT_EQ(p2[4 * 0x40 + 2], 72);

    const auto p3 = palette_of(3);
    for (uint8_t byte : p3) ASSERT_EQ(byte, 0xAB);
}

TEST(ColorPalette, OriginalLevelsAreTheResistorLadderOutputs)
{
    const auto p = palette_of(0);
    for (int n = 0; n < 8; ++n) {
        const double v = ((n & 1) ? 1.776923077 : 0) + ((n & 2) ? 3.397058824 : 0) + ((n & 4) ? 7.0 : 0);
        EXPECT_EQ(p[4 * (n << 5) + 2], std::lround(255 * v / 12.173981901)) << n;
        EXPECT_EQ(p[4 * (n << 2) + 1], std::lround(255 * v / 12.173981901)) << n;
    }
    for (int n = 0; n < 4; ++n) {
        const double v = ((n & 1) ? 3.397058824 : 0) + ((n & 2) ? 7.0 : 0);
        EXPECT_EQ(p[4 * n], std::lround(255 * v / 10.397058824)) << n;
    }
}

}  // namespace
