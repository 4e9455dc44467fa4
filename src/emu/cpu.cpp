// Z80 core (being written): placeholder definitions so the tree links.
#include "cpu.h"

z80_state_t z80_state{};
int z80_break_hit = 0;

void z80_init(uint64_t clock)
{
    z80_state.clock = clock;
    z80_state.cycles_per_line = clock / 15625;
    z80_state.bp_address = 0xFFFF;
    z80_state.bp_enabled = 0;
    z80_reset();
}
void z80_reset() {}
int z80_run(int cycles) { z80_state.tcount += cycles; return 0; }
uint16_t cpu_get_pc() { return z80_state.pc; }
uint16_t mem_read_word(uint16_t) { return 0; }
void mem_write_word(uint16_t, uint16_t) {}
void z80_cpu_set_breakpoint(uint16_t) {}
int cpu_check_breakpoint() { return 0; }
