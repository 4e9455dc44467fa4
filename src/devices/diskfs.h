// Host-folder disk drive on the serial bus (device 8): the drive's DOS at
// the level of channels, on files NAME.PRI, NAME.SEQ and NAME.PRG.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Called by the bus with channel = secondary address AND 0x0F. Names and
// commands come with their length: they may hold any byte.
uint8_t Open(int channel, const uint8_t* name, size_t length);
uint8_t Close(int channel);
uint8_t Read(int channel, uint8_t* out);       // 0, 0x40 last byte, 0x80 no file
uint8_t Write(int channel, uint8_t value, int eoi);

// Host side.
void iec_init(const char* folder);
void drive_reset();
void close_all_channels();
int change_dir(const char* folder);           // 1 when the folder was entered
// The host's own default folder: entered like change_dir, and when it does
// not exist yet, made at the drive's first use.
void drive_use_default_folder(const char* folder);
std::string get_drive_dir();                  // the folder the drive is in now

extern int drive_led_active;
