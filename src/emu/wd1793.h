// WD1793 floppy controller of the CP/M model.
#pragma once
#include <cstdint>

extern int wd1793_motor;
void wd1793_init();
void wd1793_close();
void wd1793_reset();
int wd1793_read_reg(int reg);
void wd1793_write_reg(int reg, uint8_t value);
int wd1793_is_active();
void wd1793_dummy_interrupt_handler(int64_t* cycles);
