// The beeper puts out one of two levels; the sound engine renders the
// samples up to each change before the level moves, so a run of equal
// samples is all a render needs.
#include "devices/beeper.h"

#include <algorithm>

uint16_t sound_level = 0;

sound_source_t beeper{"beeper", nullptr, beeper_calc_samples, beeper_reset};

void beeper_init()
{
    sound_level = 0;
    sound_add_source(&beeper);
}

void beeper_set_level(int level)
{
    // Only the low byte counts; 1 gives 0x1000.
    sound_level = static_cast<uint16_t>((level & 0xFF) << 12);
}

void beeper_calc_samples(int16_t* buffer, int count)
{
    if (count <= 0) return;
    std::fill_n(buffer, count, static_cast<int16_t>(sound_level));
}

void beeper_reset()
{
    sound_level = 0;
}
