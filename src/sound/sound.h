// Sound engine: beeper edges to 48 kHz fragments for a host driver.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "core/device.h"
#include "media/fileio.h"
#include "sound/filter.h"

constexpr int SOUND_RATE = 48000;
constexpr int SOUND_FRAGMENT = 960;          // samples, one emulated frame
constexpr int SOUND_RING_BYTES = 96000;
constexpr int SOUND_LEAD_HISTORY = 14;

// The engine's record in the machine: where the samples stand in emulated
// time and the fragment being rendered, through its filter. The ring
// position and the lead over the host's device are the host's.
struct sound_t {
    int32_t last_sample_pos = 0;
    uint32_t update_pos = 0;                              // samples of the fragment rendered
    std::array<int16_t, 2 * SOUND_FRAGMENT> buffer{};
    filter_t high_pass{0, 0.0, 0.0, 50, 0.0, 0};          // the rate is set at its first use
};
void sound_device_reset(reset_kind kind);
void sound_device_state(state_io& io);

struct sound_source_t {
    const char* name;
    sound_source_t* next;
    void (*calc)(int16_t* buffer, int count);
    void (*reset)();
};

struct sound_driver_t {
    const char* name;
    int (*init)(int rate);
    void (*close)();
    int (*write)(const void* data, uint32_t position, uint32_t length);
    void (*reset)();
    void (*pause)();
    void (*resume)();
    int (*get_current_position)();
};

extern const sound_driver_t null_driver;

void sound_init();
void sound_reset();
void sound_close();
void sound_pause();
void sound_resume();
void sound_register_driver(const sound_driver_t* driver);
void sound_null_driver_init();
void sound_add_source(sound_source_t* source);
void sound_remove_source(sound_source_t* source);
void sound_update(int64_t cycles);
void sound_flush(int64_t cycles);
void sound_set_freq();

// WAV recording of the output.
// WAV recording of the output, of at most `limit` data bytes (the format's
// own limit, short of 4 GB, unless tests ask for less): at the limit the
// recording ends whole and the shell is told. False with the reason in why
// when the file cannot be made.
bool sound_create_wav(const char* path, uint64_t limit = WAV_DATA_MAX, std::string* why = nullptr);
int sound_is_saving(uint32_t* length);
// Finishes the header; false when a write of the recording failed.
bool sound_close_wav();

// Lead control: how many fragments to produce for the next fragment time.
int getNoFragsToGenerate();

// Sample position (48000 Hz, 15600 lines a second) of a T-state count.
int32_t sound_sample_position(int64_t cycles);

// The engine's timing state, for diagnostics and tests.
struct sound_timing_t {
    int32_t last_sample_pos;
    uint32_t sound_update_pos;
    uint32_t sb_pos;
    int next_fragment_count;
    std::array<int, SOUND_LEAD_HISTORY> lead;
    int lead_position;
};
sound_timing_t sound_get_timing();
void sound_set_timing(const sound_timing_t& timing);
