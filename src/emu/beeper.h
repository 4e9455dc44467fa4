// The one-bit beeper, a source of the sound engine.
#pragma once
#include <cstdint>

extern uint16_t sound_level;
void beeper_init();
void beeper_set_level(int level);
void beeper_calc_samples(int16_t* buffer, int count);
void beeper_reset();
