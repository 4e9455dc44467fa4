// The picture of a frame as the window shows it, independent of any window
// toolkit, and the BMP screenshot.
#pragma once
#include <cstdint>
#include <string>

// Presentation settings (the shell's, kept here so headless runs and tests
// render the same picture).
extern int g_bDoubleScreen;      // 0 single size, 1 double size
extern int g_bDoubleScan;        // double size: draw every picture line twice
extern int g_bColor;             // 0 monochrome models, 2 C64
extern int nroflines;            // 192 monochrome, 216 C64
extern uint32_t g_ColorInk;      // 0x00BBGGRR
extern uint32_t g_ColorPaper;
extern uint32_t g_ColorBorder;
extern int g_ColorPalette;       // 0..2

// The model's picture: 216 lines in colour for the C64, else 192 in mono.
void screen_set_model(int model);

// Client-area size: 312 x 240, or 624 x 480 at double size.
int screen_width();
int screen_height();

// A new frame is presented: the C64 colour unit takes its command and
// palette step (once per presented frame, never for a repaint).
void screen_present_frame();

// Renders the current frame into a client-area-sized image: the monochrome
// page at its offsets on the border colour (or the C64 canvas, which carries
// its own border). Painting as often as wanted leaves the colour unit as it
// is. Pixels are 0xAARRGGBB with alpha 0xFF.
void screen_render_rgb(uint32_t* out);

// The same picture as indices: monochrome 0 paper, 1 ink, 2 border; C64
// the canvas's colour indices (see screen_palette_rgb).
void screen_render_indexed(uint8_t* out);
// The 256 colours the indices of screen_render_indexed stand for (0xAARRGGBB).
void screen_palette_rgb(uint32_t* out);

// Writes the current display page as a BMP file (monochrome: 1 bit per
// pixel; C64: the last presented colour frame at single size, 8 bits per
// pixel); returns 1 on success, 0 with the reason in why (when given) and
// a file of that name left as it was.
int save_bitmap(const char* path, std::string* why = nullptr);
