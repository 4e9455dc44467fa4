// The screen as text: every character cell of the display page read back
// against the character set of the firmware that runs (ours, or that of an
// original ROM when one is found in it), for scripts and tests.
#pragma once
#include <string>
#include <vector>

// One cell: its code (0x20-0x7F), or -1 when no glyph matches; inverted
// when it matched a glyph drawn inverse (the cursor).
struct screen_cell {
    int code;
    bool inverted;
};

// The cells of the text area, row by row; empty when the machine shows no
// page.
std::vector<std::vector<screen_cell>> screen_text_cells();

// The rows as UTF-8 lines, trailing blanks removed: the codes as the
// model's font draws them (the Hungarian letters of the B font, ASCII
// otherwise), a cell that matches no glyph as U+FFFD.
std::vector<std::string> screen_text_utf8();
