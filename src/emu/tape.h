// Tape signal: WAV tape playback and recording, transport, remote control.
#pragma once
#include <cstdint>

extern uint8_t tape_read_in;        // 0 or 4, input port bit 2
extern uint8_t wav_comp_level;      // 0..127

void tape_open_wav(const char* path);
void tape_create_wav(const char* path, int rate);
void tape_close_wav();
void tape_close();
void tape_save_wav(int64_t now, int previous_bits);
void tape_remote_control(int value);
void tape_set_remote_enable(int flag);
int tape_press_play();
void tape_rewind();
void do_tape_event(int64_t* cycles);
