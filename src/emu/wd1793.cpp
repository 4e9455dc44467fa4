// Floppy controller; filled in by the floppy work. Until then no drive
// answers: the status register reads "not ready".
#include "wd1793.h"

int wd1793_motor = 0;

void wd1793_init() {}
void wd1793_close() {}
void wd1793_reset() {}
int wd1793_read_reg(int reg) { return reg == 0 ? 0x80 : 0xFF; }
void wd1793_write_reg(int, uint8_t) {}
int wd1793_is_active() { return -1; }
void wd1793_dummy_interrupt_handler(int64_t*) {}
