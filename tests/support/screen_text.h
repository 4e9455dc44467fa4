// Reads the Primo screen back as text by matching the glyphs of the
// firmware's own font, taken from the assembled image in the build folder.
#pragma once
#include <string>
#include <vector>

// The firmware image whose font the current model shows: "rom_a64",
// "rom_b64", "rom_c64" or, under CP/M, the boot ROM "pr_2732".
std::string screen_text_image_for_model(int model);

// The text rows of the current display page (42 cells of 6 x 7 pixels a
// row), trailing blanks removed. Characters are the firmware's codes
// (0x00-0x7F and 0xF1); a cell drawn inverted (the cursor) reads as its
// character; a cell that matches no glyph reads as '\x01'.
std::vector<std::string> screen_text_lines();

// All rows joined with '\n', for failure messages.
std::string screen_text_dump();

// True when some row contains text.
bool screen_shows(const std::string& text);

// The row the firmware's cursor (an inverted cell) is on, or -1.
int screen_cursor_row();
