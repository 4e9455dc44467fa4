// Beeper (being written): placeholders so the tree links.
#include "beeper.h"

uint16_t sound_level = 0;
void beeper_init() {}
void beeper_set_level(int) {}
void beeper_calc_samples(int16_t*, int) {}
void beeper_reset() {}
