// The picture of a frame as the window's client area shows it, and the BMP
// screenshot.
#include "devices/screen.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "core/machine.h"
#include "core/memory.h"
#include "devices/color.h"
#include "media/fileio.h"

screen_settings_t screen_settings;

namespace {

constexpr int CLIENT_WIDTH = 312;
constexpr int CLIENT_HEIGHT = 240;
constexpr int PAGE_WIDTH = 256;
constexpr int PAGE_BYTES_PER_ROW = 32;
constexpr int MONO_ROWS = 192;
constexpr uint8_t INDEX_PAPER = 0, INDEX_INK = 1, INDEX_BORDER = 2;


int scale() { return g_bDoubleScreen ? 2 : 1; }

// What the window shows, from the double-size flag and the colour flag.
enum class view { mono_single, mono_double, colour };
view current_view()
{
    const int v = (g_bDoubleScreen ? 1 : 0) | g_bColor;
    if (v == 1) return view::mono_double;
    if (v == 2 || v == 3) return view::colour;
    return view::mono_single;
}

// 0x00BBGGRR setting to an opaque 0xAARRGGBB pixel.
uint32_t pixel_of_setting(uint32_t bgr)
{
    const uint32_t r = bgr & 0xFF, g = (bgr >> 8) & 0xFF, b = (bgr >> 16) & 0xFF;
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

// Offset of the display page in the image, or -1 when none is set.
long page_offset()
{
    const long offset = screenptr() - rom_pointer();
    return (offset >= 0 && offset < 0x10000) ? offset : -1;
}

// Rows of the page that lie inside the image: never read past its end.
int page_rows(int wanted)
{
    const long offset = page_offset();
    if (offset < 0) return 0;
    const long available = (0x10000 - offset) / PAGE_BYTES_PER_ROW;
    return static_cast<int>(std::clamp<long>(wanted, 0, std::min<long>(available, MONO_ROWS)));
}

void render_mono(uint8_t* out, bool doubled)
{
    const int width = screen_width();
    const int height = screen_height();
    std::fill(out, out + width * height, INDEX_BORDER);
    const int rows = page_rows(nroflines);
    const int s = doubled ? 2 : 1;
    const int left = 28 * s;
    const int top = (height - s * rows) / 2;
    for (int r = 0; r < rows; ++r) {
        const uint8_t* bytes = screenptr() + PAGE_BYTES_PER_ROW * r;
        uint8_t* line = out + (top + s * r) * width + left;
        uint8_t* pixel = line;
        for (int k = 0; k < PAGE_BYTES_PER_ROW; ++k) {
            const unsigned byte = bytes[k];
            for (int bit = 7; bit >= 0; --bit) {
                const uint8_t index = (byte >> bit) & 1 ? INDEX_INK : INDEX_PAPER;
                *pixel++ = index;
                if (doubled) *pixel++ = index;
            }
        }
        if (doubled) {
            // Without double scan the second line of each pair stays paper.
            uint8_t* below = line + width;
            if (g_bDoubleScan) std::memcpy(below, line, 2 * PAGE_WIDTH);
            else std::fill(below, below + 2 * PAGE_WIDTH, INDEX_PAPER);
        }
    }
}

// The colour block lies 0x500 below the page and spans 8 KB.
uint8_t* colour_block()
{
    const long offset = page_offset();
    return offset >= 0x500 && offset - 0x500 + 0x2000 <= 0x10000 ? screenptr() - 0x500 : nullptr;
}

void render_colour(uint8_t* out)
{
    const int width = screen_width();
    const int height = screen_height();
    if (const uint8_t* block = colour_block()) color_paint(block, color_canvas(), g_bDoubleScreen ? 1 : 0);
    // The canvas is 320 (640) wide; the client area shows its left 312 (624).
    const int canvas_width = 320 * scale();
    for (int y = 0; y < height; ++y)
        std::memcpy(out + y * width, color_canvas() + y * canvas_width, width);
}

// File header and bitmap information header of a bottom-up BMP.
std::vector<uint8_t> bmp_headers(int width, int height, int bits, int colours, uint32_t image_size)
{
    const uint32_t data_offset = 14 + 40 + 4 * colours;
    std::vector<uint8_t> v(data_offset, 0);
    v[0] = 'B';
    v[1] = 'M';
    put_le32(&v[2], data_offset + image_size);
    put_le32(&v[10], data_offset);
    put_le32(&v[14], 40);
    put_le32(&v[18], width);
    put_le32(&v[22], height);
    put_le16(&v[26], 1);
    put_le16(&v[28], bits);
    put_le32(&v[34], image_size);
    return v;
}

void put_colour(std::vector<uint8_t>& v, size_t at, uint32_t bgr)
{
    v[at] = (bgr >> 16) & 0xFF;
    v[at + 1] = (bgr >> 8) & 0xFF;
    v[at + 2] = bgr & 0xFF;
    v[at + 3] = 0;
}

// The monochrome page, 1 bit per pixel, paper and ink.
bool mono_bitmap(std::vector<uint8_t>& file)
{
    if (page_rows(MONO_ROWS) < MONO_ROWS) return false;
    constexpr uint32_t image_size = MONO_ROWS * PAGE_BYTES_PER_ROW;
    file = bmp_headers(PAGE_WIDTH, MONO_ROWS, 1, 2, image_size);
    put_colour(file, 54, g_ColorPaper);
    put_colour(file, 58, g_ColorInk);
    for (int r = MONO_ROWS - 1; r >= 0; --r)
        file.insert(file.end(), screenptr() + PAGE_BYTES_PER_ROW * r, screenptr() + PAGE_BYTES_PER_ROW * (r + 1));
    return true;
}

// The C64 frame as last presented, at single size, 8 bits per pixel.
bool colour_bitmap(std::vector<uint8_t>& file)
{
    constexpr int width = 320, height = 240;
    file = bmp_headers(width, height, 8, 256, width * height);
    color_calculate_palette(file.data() + 54, g_ColorPalette);
    const int s = scale();
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t* row = color_canvas() + (s * y) * (width * s);
        for (int x = 0; x < width; ++x) file.push_back(row[s * x]);
    }
    return true;
}

}  // namespace

void screen_set_model(int model)
{
    nroflines = model == MODEL_C64 ? 216 : 192;
    g_bColor = model == MODEL_C64 ? 2 : 0;
}

void screen_present_frame()
{
    if (current_view() != view::colour) return;
    if (uint8_t* block = colour_block()) color_new_frame(block);
}

int screen_width() { return CLIENT_WIDTH * scale(); }
int screen_height() { return CLIENT_HEIGHT * scale(); }

void screen_render_indexed(uint8_t* out)
{
    switch (current_view()) {
    case view::mono_single: render_mono(out, false); break;
    case view::mono_double: render_mono(out, true); break;
    case view::colour: render_colour(out); break;
    }
}

void screen_palette_rgb(uint32_t* out)
{
    std::fill(out, out + 256, 0xFF000000u);
    if (current_view() == view::colour) {
        std::array<uint8_t, 256 * 4> table{};
        color_calculate_palette(table.data(), g_ColorPalette);
        for (int i = 0; i < 256; ++i)
            out[i] = 0xFF000000u | (table[4 * i + 2] << 16) | (table[4 * i + 1] << 8) | table[4 * i];
    } else {
        out[INDEX_PAPER] = pixel_of_setting(g_ColorPaper);
        out[INDEX_INK] = pixel_of_setting(g_ColorInk);
        out[INDEX_BORDER] = pixel_of_setting(g_ColorBorder);
    }
}

void screen_render_rgb(uint32_t* out)
{
    std::array<uint32_t, 256> palette;
    screen_palette_rgb(palette.data());
    // The indexed picture is drawn in the output itself, one byte a pixel,
    // and widened from the back so no pixel is overwritten before it is read.
    auto* indexed = reinterpret_cast<uint8_t*>(out);
    screen_render_indexed(indexed);
    const int count = screen_width() * screen_height();
    for (int i = count - 1; i >= 0; --i) out[i] = palette[indexed[i]];
}

bool save_bitmap(const char* path, std::string* why)
{
    if (!path || !*path) {
        if (why) *why = "nincs állománynév";
        return false;
    }
    std::vector<uint8_t> file;
    const bool built = current_view() == view::colour ? colour_bitmap(file) : mono_bitmap(file);
    if (!built) {
        if (why) *why = "nincs megjeleníthető kép";
        return false;
    }
    return write_whole_file(path, file.data(), file.size(), why);
}
