// Tape signals for tests: records the Primo's tape output bits as samples,
// plays samples into the tape input, and decodes a signal in the Primo's
// tape format back into the blocks it carries.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Samples the control register's tape output bits (or the bits of `mask`)
// at `rate` Hz from now on: 248 for all high, 8 for all low, 128 otherwise.
void tape_signal_record_start(int rate, int mask = 3);
std::vector<uint8_t> tape_signal_record_stop();

// Drives the tape input from the samples (>= 128 high) from now on.
void tape_signal_play(const std::vector<uint8_t>& samples, int rate);
bool tape_signal_playing();
void tape_signal_stop();

struct decoded_tape {
    int leader_bits = 0;                      // alternating bits before the first block
    std::vector<std::vector<uint8_t>> blocks; // block contents, type byte first
    std::vector<double> one_us, zero_us;      // cycle lengths seen inside blocks
    std::string error;
};
// Cycles are split at 1248 us; block lengths follow from each type byte.
decoded_tape tape_signal_decode(const std::vector<uint8_t>& samples, int rate);

// A WAV file carrying a PTP image in the Primo's tape format, written the
// way converters and recorders for the real machine do: each bit a high
// then a low half wave of its own length, silence (0.25 s) at the midline.
struct tape_wav_spec {
    int rate = 44100;
    int bits = 8;            // 8 unsigned or 16 signed
    int channels = 1;        // the first carries the signal, others noise
    double one_us = 312;     // half-wave lengths
    double zero_us = 936;
    int noise = 0;           // peak noise on every sample, in 8-bit steps
    bool list_chunk = false; // a LIST chunk before "fmt "
    bool last_trailer = true; // false: silence right after the last bit, as converters end
};
std::vector<uint8_t> tape_signal_wav(const std::vector<uint8_t>& ptp, const tape_wav_spec& spec);
