#include "support/fake_sound_driver.h"

#include "core/machine.h"
#include "cpu/cpu.h"

#include <algorithm>

fake_sound_t fake_sound;
fake_source_state_t fake_source_state;

namespace {

int fake_init(int) { return 1; }
void fake_close() { ++fake_sound.closes; }
void fake_reset() { ++fake_sound.resets; }
void fake_pause() { ++fake_sound.pauses; }
void fake_resume() { ++fake_sound.resumes; }

int fake_write(const void* data, uint32_t position, uint32_t length)
{
    const auto* samples = static_cast<const int16_t*>(data);
    fake_sound.writes.push_back({position, std::vector<int16_t>(samples, samples + length / 2)});
    fake_sound.next_write = (position + length) % SOUND_RING_BYTES;
    return 1;
}

int fake_position()
{
    if (!fake_sound.keep_lead) return fake_sound.position;
    const int behind = fake_sound.lead_fragments * SOUND_FRAGMENT * 2;
    return static_cast<int>((fake_sound.next_write + SOUND_RING_BYTES - behind) % SOUND_RING_BYTES);
}

void fake_source_calc(int16_t* buffer, int count)
{
    fake_source_state.renders.push_back(count);
    if (count > 0) std::fill_n(buffer, count, fake_source_state.level);
}

void fake_source_reset() { ++fake_source_state.resets; }

} // namespace

const sound_driver_t fake_sound_driver{
    "Fake", fake_init, fake_close, fake_write, fake_reset, fake_pause, fake_resume, fake_position,
};

sound_source_t fake_source{"fake", nullptr, fake_source_calc, fake_source_reset};

void fake_sound_install()
{
    fake_sound = fake_sound_t{};
    sound_register_driver(&fake_sound_driver);
}

void fake_sound_set_timing(int history_value, int next_fragment_count)
{
    sound_timing_t timing = sound_get_timing();
    timing.last_sample_pos = 0;
    timing.sound_update_pos = 0;
    timing.sb_pos = 0;
    timing.next_fragment_count = next_fragment_count;
    timing.lead.fill(history_value);
    timing.lead_position = 0;
    sound_set_timing(timing);
}

void fake_sound_engine_start(int history_value, int next_fragment_count)
{
    z80_state.cycles_per_line = 160;
    fake_sound_install();
    sound_init();
    sound_remove_source(&fake_source);
    sound_add_source(&fake_source);
    fake_source_state = fake_source_state_t{};
    fake_sound_set_timing(history_value, next_fragment_count);
}
