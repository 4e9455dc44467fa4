// The screen as text: every character cell of the display page read back
// against the character set of the firmware that runs (ours, or that of an
// original ROM when one is found in it), for scripts and tests.
#pragma once
#include <string>
#include <vector>

// One cell: its code (0x20-0x7F; with our firmware also 0x00-0x1F and
// 0xF1), or -1 when no glyph matches; inverted when it matched a glyph
// drawn inverse (the cursor, or codes 0xC0-0xFF).
struct screen_cell {
    int code;
    bool inverted;
};

// The cells of the text area, row by row: 42 columns of 6 x 7 pixels (27
// rows; the C64 28 or 30), 32 of 8 x 8 under CP/M or when an original
// ROM's glyphs are of that size.
std::vector<std::vector<screen_cell>> screen_text_cells();

// The rows as UTF-8 lines, trailing blanks removed: the codes as the
// Primo's fonts draw them (the Hungarian letters, our symbols; CP/M is
// ASCII), a cell that matches no glyph as U+FFFD.
std::vector<std::string> screen_text_utf8();
