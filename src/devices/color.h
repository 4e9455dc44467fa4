// C64 colour unit: colour memory to an indexed canvas, palettes.
#pragma once
#include <array>
#include <cstdint>

#include "core/device.h"

constexpr int CANVAS_WIDTH = 640;
constexpr int CANVAS_HEIGHT = 480;

// The colour unit's record: the palette cycle and the mode the last
// command latched. The canvas it paints is the shell's picture.
struct color_t {
    std::array<int, 3> palette_timing{};
    int palette_timer_count = 0;
    int active_palette = 0;
    int mode = 0;
    int frame_border = -1;   // border of the presented frame; -1: none yet
};
void color_device_reset(reset_kind kind);
void color_device_state(state_io& io);

// The indexed picture the unit paints (CANVAS_WIDTH x CANVAS_HEIGHT; single
// size uses its first 320 x 240 as rows of 320).
uint8_t* color_canvas();

// A presented frame: the command and palette steps (color_new_frame), then
// the picture (color_paint). Repaints of the same frame call color_paint
// alone, so they neither move the palette cycle on nor acknowledge a command.
void render_color_frame(uint8_t* base, uint8_t* canvas, int double_size);
void color_new_frame(uint8_t* base);
void color_paint(const uint8_t* base, uint8_t* canvas, int double_size);
void do_color_control(uint8_t* base);
void color_reset();
// The palette now shown (0..2) and the mode latched by the last command.
int color_get_active_palette();
int color_get_mode();
// Fills 256 entries of (blue, green, red, unused).
void color_calculate_palette(uint8_t* out, int type);
