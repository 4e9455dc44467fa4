// The system variables of the Primo ROM that loaders, savers, the typing
// trap and program start-up read and write (the built-in firmware keeps
// them at the same addresses).
#pragma once
#include <cstdint>

constexpr uint16_t RELBASE = 0x4039;    // start of the visible display page: base of type x5 (screen) data
constexpr uint16_t PORT_MIRROR = 0x403B;   // port 0x00 as last written
constexpr uint16_t DRIVER_BLOCK = 0x4042;  // the screen driver's block; IX points here
constexpr uint16_t LASTKEY = 0x4042;    // the last key
constexpr uint16_t SAVETYPE = 0x405C;   // type byte of the block being saved
constexpr uint16_t PROGBASE = 0x40A4;   // start of the BASIC program area
// The three copies of the end of the program in that area.
constexpr uint16_t PROG_END_POINTERS[] = {0x40F9, 0x40FB, 0x40FD};
// The ROM's display start, a word: programs set their stack from it.
constexpr uint16_t ROM_DISPLAY_START = 0x0013;
// The C64 firmware's stack sits below its colour block.
constexpr uint16_t C64_STACK_TOP = 0xE000;
// The prompt's return: a program started with it pushed comes back there.
constexpr uint16_t ROM_RUN_RETURN = 0x1D1E;
