// Z80 processor: the processor record and the run loop. The one record
// lives in the machine (core/machine.h: z80_state names it).
#pragma once
#include <cstdint>

struct z80_state_t {
    uint16_t af, bc, de, hl;
    uint16_t ix, iy, sp, pc;
    uint16_t af_alt, bc_alt, de_alt, hl_alt;
    uint8_t i, r;
    uint8_t iff1, iff2;
    uint8_t im;
    int32_t int_request;       // maskable line, a level
    int32_t nmi_request;       // NMI line
    int32_t nmi_in_service;    // set on acceptance, cleared by the machine
    int64_t tcount;            // running T-state counter, never reset
    uint64_t clock;            // Hz
    uint64_t cycles_per_line;  // clock / 15625
    uint16_t bp_address;
    int32_t bp_enabled;
    int32_t bp_reached;
    int32_t break_hit;         // the last z80_run stopped at the breakpoint
    int32_t stop_request;      // a trap asks z80_run to stop after it, as at the breakpoint
};

// Flag bits of F.
enum : uint8_t {
    FLAG_C = 0x01, FLAG_N = 0x02, FLAG_PV = 0x04, FLAG_3 = 0x08,
    FLAG_H = 0x10, FLAG_5 = 0x20, FLAG_Z = 0x40, FLAG_S = 0x80,
};

// Sets the clock (and the line length) and resets the registers; the
// breakpoint is cleared.
void z80_init(uint64_t clock);
void z80_reset();
// Runs whole instructions until at least `cycles` T-states have elapsed;
// returns cycles minus the T-states run (0 or negative). Returns early, with
// z80_break_hit set, when an enabled breakpoint is about to execute.
int z80_run(int cycles);
uint16_t cpu_get_pc();

// Little-endian words through the processor's view of memory.
uint16_t mem_read_word(uint16_t address);
void mem_write_word(uint16_t address, uint16_t value);

// Breakpoint (the monitor sets it with F4): a new address sets it, the same
// address again toggles it.
void z80_cpu_set_breakpoint(uint16_t address);
// 1 (and the breakpoint marked reached) when pc stands on an enabled
// breakpoint not yet reached, else 0.
int cpu_check_breakpoint();
