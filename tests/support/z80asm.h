// Small Z80 programs for tests, written as assembly source in the test and
// assembled with z80asm, the firmware's own assembler.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The bytes of `source` (which sets its own org); empty after a test
// failure naming the assembler's complaint.
std::vector<uint8_t> z80asm_assemble(const std::string& source);
