// Program files placed straight into memory: PRI/PRG records and raw
// memory files (.pp).
//
// PRI: records from the start of the file. 0xC9 ends them; 0xC3 and a
// 16-bit start address end them too; any other type byte is followed by a
// 16-bit address, a 16-bit length and the data: 0xD5 relative to the word
// at 0x4039, 0xD1 relative to the word at 0x40A4 (setting the BASIC end
// pointers), other types at the address as it stands.
// PP: load address, start address (16 bits each), then the bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Both place the file through the bus, at the addresses the processor
// sees, and return true with the start address in *start: for PRI the
// address of a 0xC3 record (1..0xFFFF), 0 when the records end without one;
// for PP the file's start address. *dropped, when given, receives how many
// bytes were left out because they would land in the ROM area or past
// 0xFFFF. False when nothing was written, with the reason in *why: the file
// cannot be read, its records run past its end, no byte of it lands in
// RAM, its 16-bit fields are stored high byte first (a broken converter's
// output), or it would write over the CP/M BIOS.
bool pri_load_pri_file(const char* path, int* start, std::string* why, size_t* dropped = nullptr);
bool pri_load_pri_data(const uint8_t* data, size_t size, int* start, std::string* why, size_t* dropped = nullptr);
bool ui_load_pp_file(const char* path, int* start, std::string* why, size_t* dropped = nullptr);
bool pri_load_pp_data(const uint8_t* data, size_t size, int* start, std::string* why, size_t* dropped = nullptr);
