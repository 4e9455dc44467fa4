// Z80 disassembler and register dump: one-line listings of the code in the
// address space as the processor sees it, and the processor state as three
// text lines.
#pragma once
#include <cstdint>

// Room for the longest listing or dump line, whatever the window width.
constexpr int Z80DIS_LINE = 96;

// Writes the listing line of the instruction at address; returns the
// address of the next instruction (wrapping at 16 bits).
uint16_t disassemble(uint16_t address, char (&out)[Z80DIS_LINE]);
// Register dump line 0, 1 or 2; other numbers leave out unchanged.
void regdump(char (&out)[Z80DIS_LINE], int line);
// The decimal number whose digits are the bits of value (0x45 -> 1000101).
int bytetobin(uint8_t value);

