// Drives the built-in firmware in tests: boots a model with a scripted host
// keyboard (positional mapping) and types text through the key matrix.
#pragma once
#include <initializer_list>
#include <string>

#include "devices/input.h"

// Selects the model, cold-starts it at 2.5 MHz and runs `frames` frames.
void firmware_boot(int model, int frames = 30);
// The same, then cold-started again at `clock` Hz.
void firmware_boot_at(int model, int clock);
// The A64, B64 and C64 at both clocks, for suites run on each.
struct model_at_clock {
    int model;
    int clock;
    const char* name;
};
extern const model_at_clock models_at_both_clocks[6];
void firmware_run_frames(int frames);
// Types text key by key (letters, digits, space, '\r', '\b', '"', '?',
// '-', '.', ',', '$', '@'; upper case with the Primo shift). After each '\r' the
// command gets `settle` frames to finish.
void firmware_type(const std::string& text, int settle = 12);
// Runs frames until the screen shows one of the texts (at most max_frames);
// returns the text seen, or an empty string.
std::string firmware_run_until_shown(std::initializer_list<const char*> texts, int max_frames);
// The keyboard starts in capitals; one press of caps lock gives small
// letters, so that text is typed as it stands.
void firmware_small_letters();
// Holds one host key for `frames` frames, then lets it go.
void firmware_hold_key(host_key key, int frames);
// The value of a label in the firmware's label file in the build folder
// ("name:\tequ $XXXX" lines), or -1.
long firmware_label(const std::string& image, const std::string& name);
