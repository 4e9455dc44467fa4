// The screen read back as text for tests, through the emulator's own reader
// (the cells matched against the running firmware's character set).
#pragma once
#include <string>
#include <vector>

// The text rows of the current display page as the emulation reads them
// (42 cells of 6 x 7 pixels a row; CP/M 32 of 8 x 8), trailing blanks
// removed. Characters are the firmware's codes (0x00-0x7F and 0xF1); a
// cell drawn inverted (the cursor) reads as its character; a cell that
// matches no glyph reads as '\x01'.
std::vector<std::string> screen_text_lines();

// All rows joined with '\n', for failure messages.
std::string screen_text_dump();

// True when some row contains text.
bool screen_shows(const std::string& text);

// The row the firmware's cursor (an inverted cell) is on, or -1.
int screen_cursor_row();
