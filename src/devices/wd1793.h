// WD1793 floppy controller of the CP/M model, with its four drives.
#pragma once
#include <cstdint>

// Port 0xB7, the drive latch: bits 1-0 select drive A:-D:, bit 2 runs the
// motor, bit 3 selects side 1.
constexpr uint8_t FDC_SELECT_DRIVE = 0x03;
constexpr uint8_t FDC_SELECT_MOTOR = 0x04;
constexpr uint8_t FDC_SELECT_SIDE = 0x08;

extern int wd1793_motor;   // 0 or 4

void wd1793_init();
void wd1793_close();
void wd1793_reset();
int wd1793_read_reg(int reg);
void wd1793_write_reg(int reg, uint8_t value);
int wd1793_read_status(int drive);
// The selected drive while the motor runs, else -1 (the drive lamp).
int wd1793_is_active();
void wd1793_dummy_interrupt_handler(int64_t* cycles);

// The drive latch on port 0xB7; a read gives the motor bit.
void wd1793_write_select(uint8_t value);
uint8_t wd1793_read_select();

// Puts an image into a drive: a disk already there is written back and
// taken out first; then the image is attached and the controller reset.
// Returns 1 on success, 0 when the image was refused (the drive is empty,
// the reason in diskimg_error()), -1 when the disk already there could not
// be written back (it stays; that was reported), -2 when another drive
// holds the same file (nothing changed; diskimg_drive_holding says which):
// two copies of one image would each be written back over the other.
int wd1793_insert_disk(int drive, const char* path);
// Writes the drive's disk back and takes it out; 0 (the disk stays) when
// it could not be written.
int wd1793_eject_disk(int drive);
