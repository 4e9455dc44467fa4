// The picture of a frame as the window shows it, independent of any window
// toolkit, and the BMP screenshot.
#pragma once
#include <cstdint>
#include <string>

// Presentation settings: the shell's, not the machine's (kept here so that
// headless runs and tests render the same picture).
struct screen_settings_t {
    int double_screen = 0;          // 0 single size, 1 double size
    int double_scan = 0;            // double size: draw every picture line twice
    int color = 0;                  // 0 monochrome models, 2 C64
    int lines = 192;                // 192 monochrome, 216 C64
    uint32_t ink = 0xFFFFFFFF;      // 0x00BBGGRR
    uint32_t paper = 0;
    uint32_t border = 0;
    int palette = 0;                // 0..2
};
extern screen_settings_t screen_settings;
inline int& g_bDoubleScreen = screen_settings.double_screen;
inline int& g_bDoubleScan = screen_settings.double_scan;
inline int& g_bColor = screen_settings.color;
inline int& nroflines = screen_settings.lines;
inline uint32_t& g_ColorInk = screen_settings.ink;
inline uint32_t& g_ColorPaper = screen_settings.paper;
inline uint32_t& g_ColorBorder = screen_settings.border;
inline int& g_ColorPalette = screen_settings.palette;

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
// pixel), through a temporary file renamed into place; false with the
// reason in *why, and then no file of the name was changed.
bool save_bitmap(const char* path, std::string* why = nullptr);
