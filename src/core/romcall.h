// Calls into what the built-in firmware does not have. Every byte of its
// ROM that is neither code nor data is RST 30h, and the vector at 0x0030
// holds the trap ED 07: a program that calls a missing ROM routine stops
// there, the machine halts as at a breakpoint and the shell is told which
// address was called and from where.
#pragma once
#include <cstdint>

constexpr int TRAP_ROM_GAP = 7;

// The last call stopped this way (a record of the machine).
struct romcall_stop {
    uint16_t address = 0;   // the ROM address called
    int32_t caller = -1;    // the CALL or RST instruction's address, -1 unknown
};

// Registers the trap's handler (machine start-up).
void romcall_init();
romcall_stop romcall_last();
