// The machine: one record holding every device's record by value, with the
// model and the clock, and the functions that initialise, reset and run it.
//
// Everything the emulated Primo needs to go on lives in `the_machine`, and
// nothing of the host does (open files, folders, disk image buffers and
// sample data stay in each device's host-side part, which the record refers
// to by position). So a fresh machine is one assignment, and a copy of it is
// a snapshot that goes on exactly as the original: the rewind ring keeps
// such copies. No record holds a pointer into the machine; links are
// indices and offsets.
#pragma once
#include <cstdint>

#include "core/event.h"
#include "core/memory.h"
#include "core/romcall.h"
#include "core/trap.h"
#include "cpu/cpu.h"
#include "devices/beeper.h"
#include "devices/color.h"
#include "devices/diskfs.h"
#include "devices/input.h"
#include "devices/printer.h"
#include "devices/serial.h"
#include "devices/tape.h"
#include "devices/typing.h"
#include "devices/wd1793.h"
#include "media/ptp.h"
#include "sound/sound.h"

// Where the frame stands. A breakpoint stops the processor inside a phase;
// the next machine_run carries on with what that phase had left.
enum frame_phase : int { PHASE_START, PHASE_BLANKING, PHASE_VISIBLE };

// The processor before the first instruction: as z80_init(2500000) leaves
// it, with tcount at -1.
constexpr z80_state_t power_on_cpu()
{
    z80_state_t cpu{};
    cpu.af = cpu.sp = 0xFFFF;
    cpu.tcount = -1;
    cpu.clock = 2500000;
    cpu.cycles_per_line = 2500000 / 15625;
    cpu.bp_address = 0xFFFF;
    return cpu;
}

struct machine {
    int model = MODEL_A64;          // machine_model
    int clock = 2500000;            // machine_clock, Hz
    int vblank = 0;                 // 1 while the beam is in vertical blanking
    int nmi_allowed = 0;            // bit 7 of the control register
    int reset_button_pressed = 0;   // held by the shell
    frame_phase phase = PHASE_START;
    int phase_budget = 0;
    bool stopped_at_breakpoint = false;
    romcall_stop rom_gap;           // the last call into a gap of the built-in firmware

    z80_state_t cpu = power_on_cpu();
    event_queue_t events;
    trap_slots traps{};
    memory_t mem;
    keyboard_t keyboard;
    joystick_t joystick;
    typing_t typing;
    beeper_t beeper;
    sound_t sound;
    color_t color;
    tape_t tape;
    ptp_t ptp;
    serial_t serial;
    drive_t drive;
    printer_t printer;
    wd1793_t fdc;
};

// The one machine every free function acts on.
extern machine the_machine;

// The names the rest of the system knows the machine's parts by.
inline z80_state_t& z80_state = the_machine.cpu;
inline int32_t& z80_break_hit = the_machine.cpu.break_hit;
inline int32_t& z80_stop_request = the_machine.cpu.stop_request;
inline int& machine_model = the_machine.model;
inline int& machine_clock = the_machine.clock;
inline int& vblank = the_machine.vblank;
inline int& nmi_allowed = the_machine.nmi_allowed;
inline int& reset_button_pressed = the_machine.reset_button_pressed;
inline trap_slots& traps = the_machine.traps;

// A fresh machine of the model, initialised in the fixed order (keyboard,
// joystick, memory map, processor at 2.5 MHz, serial bus, drive, tape
// traps, the drive's and the printer's folder, sound, beeper). folder is
// the program's folder (the drive serves it until told otherwise).
void machine_init(int model, const char* folder);
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
// settings, the keyboard layout, the memory map with its display page, then
// every device reset as a cold restart resets it.
void machine_change_model(int model);
void memory_trigger_im1(int level);
// The machine was replaced by a copy (rewind, snapshot): each device's
// host-side part follows its record again.
void machine_restored();
