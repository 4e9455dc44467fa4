// Signal-level tape; filled in by the tape work. Until then the input
// reads 0 and nothing is recorded.
#include "tape.h"

uint8_t tape_read_in = 0;
uint8_t wav_comp_level = 0;

void tape_open_wav(const char*) {}
void tape_create_wav(const char*, int) {}
void tape_close_wav() {}
void tape_close() {}
void tape_save_wav(int64_t, int) {}
void tape_remote_control(int) {}
void tape_set_remote_enable(int) {}
int tape_press_play() { return 0; }
void tape_rewind() {}
void do_tape_event(int64_t*) {}
