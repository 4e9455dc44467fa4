// The built-in monitor: register dump, disassembly and memory pages drawn
// over the main window, cursor movement and single steps.
#pragma once

// Shows the disassembly page from address (the program counter on entry).
void debug(void* window, int address);
void monitor_select_page(int page);
void monitor_update();
void step_dir(int direction);
void step_dir_page(int direction);
void step_dir_rows(int direction, int count);
// First address of the disassembly listing (the monitor's cursor).
int monitor_get_current_pc();
