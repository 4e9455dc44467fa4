// C64 colour unit: colour memory to an indexed canvas, palettes.
#pragma once
#include <cstdint>

constexpr int CANVAS_WIDTH = 640;
constexpr int CANVAS_HEIGHT = 480;
extern uint8_t colorCanvas[CANVAS_WIDTH * CANVAS_HEIGHT];

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
