// The trap behind the built-in firmware's gaps: finds the address called
// and its caller from the stack, stops the processor there and notifies.
#include "core/romcall.h"

#include "core/bus.h"
#include "core/hooks.h"
#include "core/machine.h"
#include "core/memory.h"
#include "core/trap.h"
#include "cpu/cpu.h"

namespace {

constexpr uint16_t GAP_VECTOR = 0x0030;
constexpr uint8_t GAP_BYTE = 0xF7;   // RST 30h
constexpr uint16_t ROM_END = 0x4000;

// The instruction that pushed `ret` when it went to `target`: a CALL (any
// condition) or an RST; -1 when `ret` does not follow one.
int caller_of(uint16_t ret, uint16_t target)
{
    const uint8_t op = mem_read(static_cast<uint16_t>(ret - 3));
    if ((op == 0xCD || (op & 0xC7) == 0xC4) && mem_read_word(static_cast<uint16_t>(ret - 2)) == target)
        return static_cast<uint16_t>(ret - 3);
    const uint8_t rst = mem_read(static_cast<uint16_t>(ret - 1));
    if ((rst & 0xC7) == 0xC7 && (rst & 0x38) == target) return static_cast<uint16_t>(ret - 1);
    return -1;
}

int gap_trap(int*)
{
    romcall_stop& last = the_machine.rom_gap;
    if (static_cast<uint16_t>(z80_state.pc - 2) != GAP_VECTOR || !memory_rom_is_builtin()) return 0;
    const uint16_t ret = mem_read_word(z80_state.sp);
    const uint16_t from = static_cast<uint16_t>(ret - 1);
    if (from < ROM_END && mem_read(from) == GAP_BYTE) {
        // RST 30h of a gap: the gap is what was called, its caller below.
        last.address = from;
        z80_state.sp = static_cast<uint16_t>(z80_state.sp + 2);
        last.caller = caller_of(mem_read_word(z80_state.sp), from);
    } else {
        last.address = GAP_VECTOR;   // the program went to the vector itself
        last.caller = caller_of(ret, GAP_VECTOR);
    }
    z80_state.pc = last.address;
    z80_stop_request = 1;
    host_notify(host_note::rom_call_missing);
    return 0;
}

}  // namespace

void romcall_init() { traps[TRAP_ROM_GAP].handler = gap_trap; }

romcall_stop romcall_last() { return the_machine.rom_gap; }
