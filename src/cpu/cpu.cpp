// Z80 processor: reset, and the machine's run loop.
#include "cpu/cpu.h"

#include "core/bus.h"
#include "cpu/cpu_core.h"

void z80_init(uint64_t clock)
{
    z80_state.clock = clock;
    z80_state.cycles_per_line = clock / 15625;
    z80_state.bp_address = 0xFFFF;
    z80_state.bp_enabled = 0;
    z80_reset();
}

void z80_reset()
{
    z80_state.af = 0xFFFF;
    z80_state.sp = 0xFFFF;
    z80_state.pc = 0;
    z80_state.i = 0;
    z80_state.r = 0;
    z80_state.iff1 = z80_state.iff2 = 0;
    z80_state.im = 0;
    z80_state.int_request = 0;
    z80_state.nmi_request = 0;
    z80_state.nmi_in_service = 0;
}

int z80_run(int cycles) { return z80_execute<machine_bus>(cycles); }

uint16_t cpu_get_pc() { return z80_state.pc; }

uint16_t mem_read_word(uint16_t address)
{
    const uint8_t lo = mem_read(address);
    return static_cast<uint16_t>(lo | (mem_read(static_cast<uint16_t>(address + 1)) << 8));
}

void mem_write_word(uint16_t address, uint16_t value)
{
    mem_write(address, static_cast<uint8_t>(value));
    mem_write(static_cast<uint16_t>(address + 1), static_cast<uint8_t>(value >> 8));
}

void z80_cpu_set_breakpoint(uint16_t address)
{
    if (address == z80_state.bp_address) {
        z80_state.bp_enabled = z80_state.bp_enabled ? 0 : 1;
    } else {
        z80_state.bp_address = address;
        z80_state.bp_enabled = 1;
    }
}

int cpu_check_breakpoint()
{
    if (z80_state.bp_enabled && !z80_state.bp_reached && z80_state.pc == z80_state.bp_address) {
        z80_state.bp_reached = 1;
        return 1;
    }
    return 0;
}
