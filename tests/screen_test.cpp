// The frame picture at each size and mode, its colours, and the BMP files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <unistd.h>

#include "core/machine.h"
#include "core/bus.h"
#include "core/memory.h"
#include "devices/color.h"
#include "devices/screen.h"

namespace {

namespace fs = std::filesystem;

class Screen : public ::testing::Test {
protected:
    std::vector<uint8_t> picture;
    fs::path dir;

    void SetUp() override
    {
        the_machine = machine{};   // a machine of its own
        g_bDoubleScreen = 0;
        g_bDoubleScan = 0;
        g_ColorInk = 0xFFFFFFFF;
        g_ColorPaper = 0;
        g_ColorBorder = 0;
        g_ColorPalette = 0;
        use_model(MODEL_A64);
        dir = fs::temp_directory_path() / ("brevan_screen_test_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        fs::remove_all(dir);
        g_bDoubleScreen = 0;
    }
    static void use_model(int model)
    {
        screen_set_model(model);
        memory_set_active_setup(model);
        memory_reset();
        z80_out(0x00, 0x08);
        color_reset();
    }
    void render()
    {
        picture.assign(static_cast<size_t>(screen_width()) * screen_height(), 0xEE);
        screen_render_indexed(picture.data());
    }
    uint8_t at(int x, int y) const { return picture[static_cast<size_t>(y) * screen_width() + x]; }
    static std::vector<uint8_t> read(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static uint32_t u32(const std::vector<uint8_t>& f, size_t at)
    {
        return f[at] | (f[at + 1] << 8) | (f[at + 2] << 16) | (static_cast<uint32_t>(f[at + 3]) << 24);
    }
    static uint16_t u16(const std::vector<uint8_t>& f, size_t at) { return static_cast<uint16_t>(f[at] | (f[at + 1] << 8)); }
};

constexpr uint8_t PAPER = 0, INK = 1, BORDER = 2;

TEST_F(Screen, SingleSizePutsThePageAt28By24OnTheBorder)
{
    EXPECT_EQ(screen_width(), 312);
    EXPECT_EQ(screen_height(), 240);
    screenptr()[0] = 0x80;                 // leftmost pixel of the top line
    screenptr()[191 * 32 + 31] = 0x01;     // rightmost pixel of the bottom line
    render();
    EXPECT_EQ(at(28, 24), INK);
    EXPECT_EQ(at(29, 24), PAPER);
    EXPECT_EQ(at(28 + 255, 24 + 191), INK);
    EXPECT_EQ(at(28 + 254, 24 + 191), PAPER);
    EXPECT_EQ(at(27, 24), BORDER);
    EXPECT_EQ(at(28 + 256, 24), BORDER);
    EXPECT_EQ(at(28, 23), BORDER);
    EXPECT_EQ(at(28, 24 + 192), BORDER);
    size_t border = 0;
    for (uint8_t p : picture) border += p == BORDER;
    EXPECT_EQ(border, 312u * 240 - 256 * 192);
}

TEST_F(Screen, DoubleSizeWithDoubleScanDrawsEveryLineTwice)
{
    g_bDoubleScreen = 1;
    g_bDoubleScan = 1;
    screenptr()[32 * 3] = 0x40;   // pixel 1 of line 3
    render();
    EXPECT_EQ(screen_width(), 624);
    EXPECT_EQ(screen_height(), 480);
    for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) EXPECT_EQ(at(56 + 2 + dx, 48 + 6 + dy), INK);
    EXPECT_EQ(at(56 + 4, 48 + 6), PAPER);
    EXPECT_EQ(at(55, 48), BORDER);
    EXPECT_EQ(at(56, 47), BORDER);
    EXPECT_EQ(at(56 + 511, 48 + 383), PAPER);
    EXPECT_EQ(at(56 + 512, 48 + 383), BORDER);
    EXPECT_EQ(at(56, 48 + 384), BORDER);
}

TEST_F(Screen, DoubleSizeWithoutDoubleScanLeavesEverySecondLinePaper)
{
    g_bDoubleScreen = 1;
    std::memset(screenptr(), 0xFF, 6144);
    render();
    for (int y = 0; y < 384; ++y) {
        ASSERT_EQ(at(56, 48 + y), (y % 2) ? PAPER : INK) << y;
        ASSERT_EQ(at(56 + 511, 48 + y), (y % 2) ? PAPER : INK) << y;
    }
}

TEST_F(Screen, PageChangeShowsAtTheNextFrame)
{
    uint8_t* page1 = screenptr();
    page1[0] = 0x80;
    z80_out(0x00, 0x00);
    page1[-0x2000] = 0x00;
    render();
    EXPECT_EQ(at(28, 24), PAPER);
    z80_out(0x00, 0x08);
    render();
    EXPECT_EQ(at(28, 24), INK);
}

TEST_F(Screen, RgbTurnsBgrSettingsIntoOpaquePixels)
{
    g_ColorPaper = 0x00112233;
    g_ColorBorder = 0x00FF0000;   // blue
    screenptr()[0] = 0x80;
    std::vector<uint32_t> rgb(312 * 240);
    screen_render_rgb(rgb.data());
    EXPECT_EQ(rgb[24 * 312 + 28], 0xFFFFFFFFu);        // the default ink's low 24 bits: white
    EXPECT_EQ(rgb[24 * 312 + 29], 0xFF332211u);
    EXPECT_EQ(rgb[0], 0xFF0000FFu);
}

TEST_F(Screen, ColourModelShowsTheLeft312ColumnsOfTheCanvas)
{
    use_model(MODEL_C64);
    uint8_t* B = screenptr() - 0x500;
    B[1] = 0x84;
    B[0] = 2;
    for (int i = 0; i < 32; ++i) B[0x20 + i] = static_cast<uint8_t>(0x10 + i);
    B[0x80] = 0x30;       // pixels 0-3 take the low nibble (0) of byte 0
    B[0x500] = 0x80;      // pixel 0 set
    screen_present_frame();
    render();
    EXPECT_EQ(at(0, 0), 0x10);
    EXPECT_EQ(at(28, 12), 0x10 + 16);
    EXPECT_EQ(at(311, 239), 0x10);
    for (int y = 0; y < 240; y += 7)
        for (int x = 0; x < 312; x += 5) ASSERT_EQ(at(x, y), color_canvas()[y * 320 + x]) << x << "," << y;

    g_bDoubleScreen = 1;
    color_reset();
    screen_present_frame();
    render();
    EXPECT_EQ(at(56, 24), 0x10 + 16);
    EXPECT_EQ(at(57, 25), 0x10 + 16);
    EXPECT_EQ(at(623, 479), 0x10);
    for (int y = 0; y < 480; y += 11)
        for (int x = 0; x < 624; x += 7) ASSERT_EQ(at(x, y), color_canvas()[y * 640 + x]) << x << "," << y;

    std::vector<uint32_t> palette(256);
    screen_palette_rgb(palette.data());
    EXPECT_EQ(palette[0xFF], 0xFFFFFFFFu);
    EXPECT_EQ(palette[0x01], 0xFF000053u);
}

TEST_F(Screen, OnlyAPresentedFrameMovesTheColourUnitOn)
{
    use_model(MODEL_C64);
    uint8_t* B = screenptr() - 0x500;
    B[0] = 0;
    B[2] = B[4] = B[5] = 1;   // a new palette every frame
    B[1] = 0x84;
    std::vector<uint32_t> rgb(static_cast<size_t>(screen_width()) * screen_height());
    const fs::path shot = dir / "c64.bmp";
    const auto paint_every_way = [&] {
        render();
        screen_render_rgb(rgb.data());
        ASSERT_EQ(save_bitmap(shot.c_str()), 1);
    };
    paint_every_way();
    EXPECT_EQ(B[1], 0x84) << "a repaint acknowledged the command";
    EXPECT_EQ(color_get_active_palette(), 0);
    for (int presented : {1, 2, 0}) {
        screen_present_frame();
        paint_every_way();
        paint_every_way();
        EXPECT_EQ(B[1], 0x04);
        EXPECT_EQ(color_get_active_palette(), presented);
    }
}

TEST_F(Screen, PageOutsideTheImageOrMissingPathFailsSafely)
{
    const uint32_t saved = the_machine.mem.page;
    the_machine.mem.page = 0xFFF0;   // not one row fits below the image's end
    render();
    for (uint8_t p : picture) ASSERT_EQ(p, BORDER);
    EXPECT_EQ(save_bitmap((dir / "none.bmp").c_str()), 0);
    EXPECT_FALSE(fs::exists(dir / "none.bmp"));
    the_machine.mem.page = saved;
    EXPECT_EQ(save_bitmap((dir / "no_such_folder" / "x.bmp").c_str()), 0);
    EXPECT_EQ(save_bitmap(nullptr), 0);
}

TEST_F(Screen, MonochromeBitmapIs6206BytesBottomRowFirst)
{
    g_ColorPaper = 0x00102030;   // blue 0x10, green 0x20, red 0x30
    g_ColorInk = 0x00A0B0C0;
    screenptr()[0] = 0xCD;
    screenptr()[191 * 32] = 0xAB;
    screenptr()[191 * 32 + 31] = 0x12;
    const fs::path path = dir / "mono.bmp";
    ASSERT_EQ(save_bitmap(path.c_str()), 1);
    const auto f = read(path);
    ASSERT_EQ(f.size(), 6206u);
    EXPECT_EQ(f[0], 'B');
    EXPECT_EQ(f[1], 'M');
    EXPECT_EQ(u32(f, 2), 6206u);
    EXPECT_EQ(u32(f, 6), 0u);
    EXPECT_EQ(u32(f, 10), 62u);
    EXPECT_EQ(u32(f, 14), 40u);
    EXPECT_EQ(u32(f, 18), 256u);
    EXPECT_EQ(u32(f, 22), 192u);
    EXPECT_EQ(u16(f, 26), 1);
    EXPECT_EQ(u16(f, 28), 1);
    EXPECT_EQ(u32(f, 30), 0u);
    EXPECT_EQ(u32(f, 34), 6144u);
    for (int i = 38; i < 54; ++i) EXPECT_EQ(f[i], 0) << i;
    const std::vector<uint8_t> colours(f.begin() + 54, f.begin() + 62);
    EXPECT_EQ(colours, (std::vector<uint8_t>{0x10, 0x20, 0x30, 0, 0xA0, 0xB0, 0xC0, 0}));
    EXPECT_EQ(f[62], 0xAB);
    EXPECT_EQ(f[62 + 31], 0x12);
    EXPECT_EQ(f[62 + 191 * 32], 0xCD);
}

TEST_F(Screen, ColourBitmapIsTheSingleSizeFrameWithItsPalette)
{
    use_model(MODEL_C64);
    uint8_t* B = screenptr() - 0x500;
    B[1] = 0x84;
    B[0] = 0;
    B[0x20] = 0x03;
    B[0x20 + 16] = 0xE0;
    B[0x700] = 0x80;   // top-left picture pixel
    for (int doubled : {0, 1}) {
        SCOPED_TRACE(doubled);
        g_bDoubleScreen = doubled;
        B[1] = 0x84;
        screen_present_frame();
        render();
        const fs::path path = dir / "colour.bmp";
        ASSERT_EQ(save_bitmap(path.c_str()), 1);
        const auto f = read(path);
        ASSERT_EQ(f.size(), 14u + 40 + 1024 + 320 * 240);
        EXPECT_EQ(u32(f, 2), f.size());
        EXPECT_EQ(u32(f, 10), 1078u);
        EXPECT_EQ(u32(f, 18), 320u);
        EXPECT_EQ(u32(f, 22), 240u);
        EXPECT_EQ(u16(f, 28), 8);
        EXPECT_EQ(u32(f, 34), 320u * 240);
        EXPECT_EQ(f[54 + 4 * 0xFF], 255);     // palette 0: index 0xFF white
        EXPECT_EQ(f[54 + 4 * 0x01], 83);      // index 1: blue 83
        const size_t pixels = 1078;
        EXPECT_EQ(f[pixels], 0x03);                          // bottom-left: border
        EXPECT_EQ(f[pixels + (239 - 20) * 320 + 28], 0xE0);  // picture's top-left pixel
        EXPECT_EQ(f[pixels + (239 - 20) * 320 + 29], 0x03);
    }
}

}  // namespace
