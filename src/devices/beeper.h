// The one-bit beeper, a source of the sound engine.
#pragma once
#include <cstdint>

#include "core/device.h"
#include "sound/sound.h"

struct beeper_t {
    uint16_t level = 0;   // the sample value the speaker puts out: 0 or 0x1000
};

extern sound_source_t beeper;

// Level 0, and the beeper among the engine's sources.
void beeper_init();
void beeper_set_level(int level);
void beeper_calc_samples(int16_t* buffer, int count);
void beeper_reset();
void beeper_device_reset(reset_kind kind);
void beeper_device_state(state_io& io);
