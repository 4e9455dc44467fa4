// The machine: initialisation, resets, clock and the frame driver.
#pragma once
#include <cstdint>

extern int machine_model;
extern int machine_clock;
extern int vblank;
extern int nmi_allowed;
extern int reset_button_pressed;
extern uint8_t* screenptr;   // the current display page in the image

void machine_init(void* window, int model, const char* folder);
void machine_reset();
void machine_hard_reset();
void machine_set_clock(int hz);
int machine_get_clock();
int machine_get_type();
void machine_set_type(int model);
// Runs one frame; returns early (the rest of the frame is run by the next
// call) when the processor stopped at a breakpoint.
void machine_run();
// 1 while the machine stands where a breakpoint stopped it.
int machine_at_breakpoint();
// One instruction with the breakpoint off, as part of the current frame:
// its T-states come out of the frame, whose phase ends when they run out.
void machine_step();
// Execution goes on from the stop: the instruction at pc runs first even
// when the breakpoint is on it.
void machine_leave_breakpoint();
// Runs n frames, presenting each; stops early at the breakpoint.
void machine_do_some_frames(int n);
// The one model change, for the model menu, the headless runs and the
// tests (the window adds its own work around it): changed disks written
// back (they stay in their drives), the model number, the screen's model
// settings, the keyboard layout, the memory map with its display page, a
// cold memory, the tape traps, the processor and a clean frame.
void machine_change_model(int model);
void memory_trigger_im1(int level);
