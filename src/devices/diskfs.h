// Host-folder disk drive on the serial bus (device 8): the drive's DOS at
// the level of channels, on files NAME.PRI, NAME.SEQ and NAME.PRG.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/device.h"
#include "devices/drive_folder.h"

constexpr size_t DRIVE_CMD_MAX = 40;
constexpr size_t DRIVE_RAM_SIZE = 2048;

// The drive's record in the machine: the message on the command channel,
// the command being received and the drive's RAM. Its files, listings and
// folder are the host's.
struct drive_t {
    std::array<char, 80> current_error{};
    uint8_t error_source = 0;   // what channel 15 reads: 0 nothing yet, 1 the message, 2 the RAM
    uint16_t error_at = 0;
    uint16_t error_end = 0;
    std::array<uint8_t, DRIVE_CMD_MAX + 1> cmd_buffer{};
    uint32_t cmd_len = 0;
    std::array<uint8_t, DRIVE_RAM_SIZE> ram{};
    int led = 0;                // 1 while the drive works
};
void drive_device_reset(reset_kind kind);
void drive_device_state(state_io& io);
void drive_device_restored();

// Called by the bus with channel = secondary address AND 0x0F. Names and
// commands come with their length: they may hold any byte.
uint8_t Open(int channel, const uint8_t* name, size_t length);
uint8_t Close(int channel);
uint8_t Read(int channel, uint8_t* out);       // 0, 0x40 last byte, 0x80 no file
uint8_t Write(int channel, uint8_t value, int eoi);

// Host side. The drive serves the host folder at path, or the folder given.
void iec_init(const char* path);
void iec_init_folder(std::unique_ptr<drive_folder> folder);
void drive_reset();
void close_all_channels();
int change_dir(const char* path);             // 1 when the host folder was entered
// The host's own default folder: entered like change_dir, and when it does
// not exist yet, made at the drive's first use.
void drive_use_default_folder(const char* folder);
std::string get_drive_dir();   // the folder the drive is in now
