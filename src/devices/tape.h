// Tape signal: WAV tapes played into the tape input and recorded from the
// tape output, the transport and its motor remote control.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/device.h"

// The tape's record in the machine: the input level, the motor, and how far
// the WAV tape has played (the file and its samples are the host's).
struct tape_t {
    uint8_t read_in = 0;           // 0 or 4, input port bit 2
    bool motor_on = true;          // the control register starts at 0: bit 2 clear
    bool was_rolling = false;
    bool event_running = false;    // the sampling event is queued
    uint64_t played = 0;           // data bytes of the WAV tape consumed
    uint64_t remainder = 0;        // cycles owed to the next sample, times the rate
    uint32_t quiet = 0;            // samples in a row at the midline
    bool in_half = false;          // a sample outside the band began a half wave
    bool ended = false;            // the end of the data was played
};
void tape_device_state(state_io& io);
// After the machine was replaced by a copy: the file plays from the
// record's place, and the transport and the lamp follow.
void tape_device_restored();

// Half-width of the band around the midline inside which a sample keeps
// the previous level (0..127): the tape head setting, the host's.
uint8_t& wav_comp_level();
constexpr uint8_t WAV_COMP_DEFAULT = 0;

// Opens a WAV file (PCM, 8 or 16 bits, any channel count, 8000-192000 Hz)
// as the tape to play. False with the reason in *why (empty for an empty
// path).
bool tape_open_wav(const char* path, std::string* why = nullptr);
// The same for a stream already open (taken over and closed in the end).
bool tape_open_wav_stream(std::FILE* stream, std::string* why = nullptr);
// Reads the format of an open WAV file and leaves it at its first sample.
struct wav_format {
    uint32_t rate = 0;
    uint16_t channels = 0;
    uint16_t bits = 0;
    uint16_t frame_bytes = 0;
    long data_start = 0;
    uint64_t data_bytes = 0;
};
bool tape_wav_read_format(std::FILE* file, wav_format& format, std::string* why);

// Starts recording the tape output into a new 8-bit mono file at `rate`.
// False with the reason in *why.
bool tape_create_wav(const char* path, int rate, std::string* why = nullptr);
// Closes the WAV tape; a recording gets its last samples and its sizes.
void tape_close_wav();
void tape_close();
// Writes what a recording still owes and its sizes, keeping it open (the
// model changes, the program ends).
void tape_finish_recording();
// 1 playing a file, 2 recording one, 0 none.
int tape_wav_open();

void tape_save_wav(int64_t now, int previous_bits);
void tape_remote_control(int value);
void tape_set_remote_enable(int flag);
// Toggles the Play/Record key; returns whether it is now down.
int tape_press_play();
void tape_set_play_key(int down);
int tape_rolling();
// Flips the signal both ways: samples above the midline then read as a high
// input and a high output is recorded above it (for tapes made that way
// round; the default is the inverted input of the machine). The host's
// setting, not the machine's.
void tape_set_signal_flipped(int flag);
int tape_signal_flipped();
void tape_rewind();
void do_tape_event(int64_t* cycles);
// Recomputes the tape lamp: lit while the tape moves.
void tape_lamp_changed();
