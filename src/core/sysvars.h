// The system variables of the Primo ROM that loaders and savers read and
// write.
#pragma once
#include <cstdint>

constexpr uint16_t RELBASE = 0x4039;    // base of relative (type x5) data
constexpr uint16_t SAVETYPE = 0x405C;   // type byte of the block being saved
constexpr uint16_t PROGBASE = 0x40A4;   // start of the BASIC program area
// The three copies of the end of the program in that area.
constexpr uint16_t PROG_END_POINTERS[] = {0x40F9, 0x40FB, 0x40FD};
