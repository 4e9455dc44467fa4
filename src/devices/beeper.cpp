// The beeper puts out one of two levels; the sound engine renders the
// samples up to each change before the level moves, so a run of equal
// samples is all a render needs.
#include "devices/beeper.h"

#include <algorithm>

#include "core/machine.h"

sound_source_t beeper{"beeper", nullptr, beeper_calc_samples, beeper_reset};

void beeper_init()
{
    the_machine.beeper.level = 0;
    sound_add_source(&beeper);
}

void beeper_set_level(int level)
{
    // Only the low byte counts; 1 gives 0x1000.
    the_machine.beeper.level = static_cast<uint16_t>((level & 0xFF) << 12);
}

void beeper_calc_samples(int16_t* buffer, int count)
{
    if (count <= 0) return;
    std::fill_n(buffer, count, static_cast<int16_t>(the_machine.beeper.level));
}

void beeper_reset()
{
    the_machine.beeper.level = 0;
}

void beeper_device_reset(reset_kind kind)
{
    if (kind == reset_kind::power_on) beeper_init();
}

void beeper_device_state(state_io& io) { io(the_machine.beeper.level); }
