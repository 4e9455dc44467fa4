// WD1793 floppy controller of the CP/M model, with its four drives.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "core/device.h"

constexpr int FDC_DRIVES = 4;

// The controller's record in the machine: its registers, the command under
// way, the heads of the four drives and the sector being moved. The disk
// images are the host's.
struct wd1793_t {
    uint8_t command = 0;
    uint8_t status = 0;
    int track = 0;
    int sector = 0;
    int step_rate = 0;
    int head_load = 0;
    int side_compare_enable = 0;
    int side_compare_value = 0;
    int step_direction = 0;
    int command_type = 0;
    int phase = 0;
    std::array<int, FDC_DRIVES> drive_tracks{};
    int interrupt_request = 0;
    int current_side = 0;
    int next_phase = 0;
    int64_t next = 0;                   // when the busy time ends
    int nr_sector_written = 0;
    int buffer_offset = 0;
    std::array<uint8_t, 1024> sector_buffer{};
    int drive_select = 1;
    uint8_t data_register = 0;
    int motor = 0;                      // 0 or 4
};
void wd1793_device_reset(reset_kind kind);
void wd1793_device_state(state_io& io);
void wd1793_device_restored();

// Port 0xB7, the drive latch: bits 1-0 select drive A:-D:, bit 2 runs the
// motor, bit 3 selects side 1.
constexpr uint8_t FDC_SELECT_DRIVE = 0x03;
constexpr uint8_t FDC_SELECT_MOTOR = 0x04;
constexpr uint8_t FDC_SELECT_SIDE = 0x08;

void wd1793_init();
void wd1793_close();
void wd1793_reset();
int wd1793_read_reg(int reg);
void wd1793_write_reg(int reg, uint8_t value);
int wd1793_read_status(int drive);
// The selected drive while the motor runs, else -1 (the drive lamp).
int wd1793_is_active();

// The drive latch on port 0xB7; a read gives the motor bit.
void wd1793_write_select(uint8_t value);
uint8_t wd1793_read_select();

// Puts an image into a drive: a disk already there is written back and
// taken out first; then the image is attached and the controller reset.
// Returns 1 on success, 0 when the image was refused (the drive is empty),
// -1 when the disk already there could not be written back (it stays), the
// reason in *why either way; -2 when another drive holds the same file
// (nothing changed; diskimg_drive_holding says which): two copies of one
// image would each be written back over the other.
int wd1793_insert_disk(int drive, const char* path, std::string* why = nullptr);
// Writes the drive's disk back and takes it out; false (the disk stays,
// the reason in *why) when it could not be written.
bool wd1793_eject_disk(int drive, std::string* why = nullptr);
