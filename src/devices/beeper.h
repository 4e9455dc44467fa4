// The one-bit beeper, a source of the sound engine.
#pragma once
#include <cstdint>

#include "sound/sound.h"

extern uint16_t sound_level;
extern sound_source_t beeper;

void beeper_init();
void beeper_set_level(int level);
void beeper_calc_samples(int16_t* buffer, int count);
void beeper_reset();
