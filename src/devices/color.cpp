// The C64 colour unit: control block, three cycling palettes and colour
// attributes in RAM below the display page, turned into an indexed canvas.
#include "devices/color.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/machine.h"
#include "core/memory.h"

namespace {

// The picture, and the border it was last filled with (-1: to be filled).
struct canvas_t {
    std::array<uint8_t, CANVAS_WIDTH * CANVAS_HEIGHT> pixels{};
    int border = -1;
} canvas_host;

color_t& unit() { return the_machine.color; }

// Offsets in the colour block (B = display page - 0x500).
constexpr int MODE_BYTE = 0x00;
constexpr int COMMAND_BYTE = 0x01;
constexpr int PALETTES = 0x20;        // three palettes of 32 entries
constexpr int ATTRIBUTES = 0x80;      // attribute rows, 32 bytes apart
constexpr uint8_t COMMAND_PENDING = 0x80;

constexpr int SINGLE_WIDTH = 320;
constexpr int SINGLE_AREA = 320 * 240;
constexpr int PICTURE_LEFT = 28;


struct mode_layout {
    int rows;
    int pixels;           // offset of the first pixel row
    int rows_per_attribute;
    int top;              // first canvas row at single size
};
constexpr mode_layout MODE0{200, 0x700, 4, 20};   // 256 x 200
constexpr mode_layout MODE2{216, 0x500, 6, 12};   // 256 x 216

// Which nibble of an attribute row (0 = high nibble of byte 0) colours
// each pixel column.
using nibble_map = std::array<uint8_t, 256>;
constexpr nibble_map mode0_nibbles = [] {
    nibble_map m{};
    for (int x = 0; x < 256; ++x) m[x] = static_cast<uint8_t>(2 * (x / 8) + ((x % 8) < 4 ? 0 : 1));
    return m;
}();
// Six-pixel cells shifted by two: nibble 1 colours pixels 0-3 only.
constexpr nibble_map mode2_nibbles = [] {
    nibble_map m{};
    for (int x = 0; x < 256; ++x) m[x] = static_cast<uint8_t>((x + 8) / 6);
    return m;
}();

const uint8_t* palette_of(const uint8_t* base, int palette) { return base + PALETTES + 0x20 * palette; }

void select_palette(int code)
{
    switch (code) {
    case 4: unit().active_palette = 0; break;
    case 2: unit().active_palette = 1; break;
    case 1: unit().active_palette = 2; break;
    default: break;
    }
}

void draw_picture(const uint8_t* base, uint8_t* canvas, int double_size, const mode_layout& layout,
                  const nibble_map& nibble_of)
{
    const uint8_t* palette = palette_of(base, unit().active_palette);
    std::array<uint8_t, 64> nibbles{};
    for (int r = 0; r < layout.rows; ++r) {
        const uint8_t* attributes = base + ATTRIBUTES + 32 * (r / layout.rows_per_attribute);
        for (int k = 0; k < 32; ++k) {
            nibbles[2 * k] = attributes[k] >> 4;
            nibbles[2 * k + 1] = attributes[k] & 0x0F;
        }
        const uint8_t* pixels = base + layout.pixels + 32 * r;
        if (double_size) {
            uint8_t* line = canvas + (2 * layout.top + 2 * r) * CANVAS_WIDTH + 2 * PICTURE_LEFT;
            for (int x = 0; x < 256; ++x) {
                const int bit = (pixels[x >> 3] >> (7 - (x & 7))) & 1;
                line[2 * x] = line[2 * x + 1] = palette[bit * 16 + nibbles[nibble_of[x]]];
            }
            std::memcpy(line + CANVAS_WIDTH, line, 512);
        } else {
            uint8_t* line = canvas + (layout.top + r) * SINGLE_WIDTH + PICTURE_LEFT;
            for (int x = 0; x < 256; ++x) {
                const int bit = (pixels[x >> 3] >> (7 - (x & 7))) & 1;
                line[x] = palette[bit * 16 + nibbles[nibble_of[x]]];
            }
        }
    }
}

// Resistor-ladder outputs of the original colour DAC.
constexpr std::array<uint8_t, 8> L8{0, 37, 71, 108, 147, 184, 218, 255};
constexpr std::array<uint8_t, 4> L4{0, 83, 172, 255};
constexpr std::array<uint8_t, 4> BLUE_GATED{0, 109, 182, 255};

// The border is entry 0 of the active palette of the page the control
// register selects, as it stood before the frame's palette step.
int border_now()
{
    const uint8_t* selected = memory_get_video_ram_plain() - 0x500;
    return palette_of(selected, unit().active_palette)[0];
}

}  // namespace

void do_color_control(uint8_t* base)
{
    color_t& c = unit();
    if (base[COMMAND_BYTE] & COMMAND_PENDING) {
        canvas_host.border = -1;
        c.mode = base[MODE_BYTE];
        base[COMMAND_BYTE] &= static_cast<uint8_t>(~COMMAND_PENDING);   // acknowledged
        select_palette(base[COMMAND_BYTE] & 0x7F);
        c.palette_timing = {base[2], base[4], base[5]};
        c.palette_timer_count = c.palette_timing[static_cast<size_t>(c.active_palette)];
    }
    if (c.palette_timer_count != 0 && --c.palette_timer_count == 0) {
        c.active_palette = (c.active_palette + 1) % 3;
        c.palette_timer_count = c.palette_timing[static_cast<size_t>(c.active_palette)];
    }
}

void color_new_frame(uint8_t* base)
{
    unit().frame_border = border_now();
    do_color_control(base);
}

void color_paint(const uint8_t* base, uint8_t* canvas, int double_size)
{
    double_size = double_size ? 1 : 0;
    const int border = unit().frame_border >= 0 ? unit().frame_border : border_now();
    if (border != canvas_host.border) {
        canvas_host.border = border;
        std::memset(canvas, border, static_cast<size_t>((double_size + 1) * (double_size + 1)) * SINGLE_AREA);
    }

    // Only the two defined modes draw; any other mode byte leaves the border.
    if (unit().mode == 0)
        draw_picture(base, canvas, double_size, MODE0, mode0_nibbles);
    else if (unit().mode == 2)
        draw_picture(base, canvas, double_size, MODE2, mode2_nibbles);
}

void render_color_frame(uint8_t* base, uint8_t* canvas, int double_size)
{
    color_new_frame(base);
    color_paint(base, canvas, double_size);
}

void color_reset()
{
    color_t& c = unit();
    c.palette_timing = {0, 0, 0};
    c.palette_timer_count = 0;
    c.frame_border = -1;
    c.active_palette = 0;
    canvas_host.border = -1;
}

int color_get_active_palette() { return unit().active_palette; }
int color_get_mode() { return unit().mode; }
uint8_t* color_canvas() { return canvas_host.pixels.data(); }

void color_device_reset(reset_kind kind)
{
    if (kind != reset_kind::power_on && kind != reset_kind::clock_change) color_reset();
}

void color_device_state(state_io& io)
{
    color_t& c = unit();
    io.array(c.palette_timing);
    io(c.palette_timer_count);
    io(c.active_palette);
    io(c.mode);
    io(c.frame_border);
    if (!io.loading()) return;
    c.active_palette = std::clamp(c.active_palette, 0, 2);
    canvas_host.border = -1;   // the canvas is painted anew
}

void color_calculate_palette(uint8_t* out, int type)
{
    if (type < 0 || type > 2) return;
    for (int i = 0; i < 256; ++i) {
        const int r = (i >> 5) & 7, g = (i >> 2) & 7, b = i & 3;
        uint8_t red, green, blue;
        if (type == 0) {
            red = L8[r];
            green = L8[g];
            blue = L4[b];
        } else {
            red = static_cast<uint8_t>(r * 255 / 7);
            green = static_cast<uint8_t>(g * 255 / 7);
            blue = type == 1 ? static_cast<uint8_t>(b * 85) : BLUE_GATED[b];
        }
        out[4 * i] = blue;
        out[4 * i + 1] = green;
        out[4 * i + 2] = red;
    }
}
