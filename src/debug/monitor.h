// The built-in monitor: the disassembly page (register dump, separator,
// listing) and the memory page, their cursors and the single step. It
// builds the page as text lines; the shell draws the last lines built.
#pragma once
#include "cpu/z80dis.h"

enum : int { MONITOR_PAGE_DISASSEMBLY, MONITOR_PAGE_MEMORY };
constexpr int MONITOR_MAX_ROWS = 200;

// The view's size in characters, measured by the shell; the page is built
// again for it.
void monitor_set_screen_params(int rows, int cols);
int monitor_get_rows();
int monitor_get_cols();

// The disassembly page with its listing from the program counter (entering
// the monitor, after a single step, F1).
void debug();
void monitor_select_page(int page);
int monitor_get_page();
// Builds the selected page again.
void monitor_update();
// Cursor of the selected page by one row, a window's rows, or count rows.
void step_dir(int direction);
void step_dir_page(int direction);
void step_dir_rows(int direction, int count);
// First address of the listing (the monitor's cursor).
int monitor_get_current_pc();
// Enter: one instruction with the breakpoint off, then the listing at pc.
void monitor_single_step();
// F4: the breakpoint at the cursor (set, or toggled when it is there).
void monitor_toggle_breakpoint();
// Memory bytes a row of the memory page shows at a width of cols.
int monitor_bytes_per_row(int cols);

// The page as last built: its rows of text and the row the separator is
// drawn above (-1 for none).
int monitor_row_count();
const char* monitor_row_text(int row);
int monitor_separator_row();
// The listing row that starts at the breakpoint while it is on, or -1.
int monitor_breakpoint_row();
