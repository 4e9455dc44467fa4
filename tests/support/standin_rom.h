// A stand-in for an original A-model ROM, made here: it idles, and the
// routines the emulator enters for BASIC programs (0x1B5D, run the loaded
// program; 0x1EA3, BASIC's RUN) are the trap ED 08, which counts its calls.
// Nothing of an original ROM is in it.
#pragma once

// Puts the stand-in in place of the A models' built-in firmware (it takes
// effect at the next model selection); standin_rom_remove() goes back.
void standin_rom_install();
void standin_rom_remove();
// Registers the trap's handler again: a fresh machine starts without it.
void standin_rom_arm();
// Calls of the BASIC entry points since the install.
int standin_rom_basic_calls();
