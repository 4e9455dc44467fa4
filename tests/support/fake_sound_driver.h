// A sound driver that records what the engine writes and answers position
// queries from a script, plus a sound source with a settable level.
#pragma once
#include <cstdint>
#include <vector>

#include "sound/sound.h"

struct fake_write_t {
    uint32_t position;
    std::vector<int16_t> samples;
};

struct fake_sound_t {
    std::vector<fake_write_t> writes;
    int closes = 0, resets = 0, pauses = 0, resumes = 0;
    // Position answer: fixed, or kept `lead_fragments` behind the next write.
    int position = 0;
    bool keep_lead = false;
    int lead_fragments = 5;
    uint32_t next_write = 0;
};
extern fake_sound_t fake_sound;
extern const sound_driver_t fake_sound_driver;

// Resets the record and registers the fake driver.
void fake_sound_install();
// Restarts the engine's clock at 0 with every lead-history entry at
// history_value.
void fake_sound_set_timing(int history_value, int next_fragment_count);
// The engine on the fake driver with the fake source alone, at 160 T-states
// a line, its clock at 0 and every lead-history entry at history_value.
void fake_sound_engine_start(int history_value, int next_fragment_count);

// A source writing a constant level and logging the size of each render.
struct fake_source_state_t {
    int16_t level = 0;
    std::vector<int> renders;
    int resets = 0;
};
extern fake_source_state_t fake_source_state;
extern sound_source_t fake_source;

// Cycles per sample at 160 T-states a line (15600 lines, 48000 samples).
constexpr int64_t CYCLES_PER_SAMPLE_160 = 52;
