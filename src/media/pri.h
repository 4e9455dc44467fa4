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

// Stores bytes at consecutive Z80 addresses from `address` on into the RAM
// image `ram` (Z80 address 0x4000 at its start). Bytes that would land in
// the ROM area or past 0xFFFF are dropped, never wrapped. Returns how many
// were stored.
size_t pri_store(uint8_t* ram, uint32_t address, const uint8_t* data, size_t count);

// Start address of a 0xC3 record (1..0xFFFF), 0 when the records end
// without one, -1 when nothing was written and `error`, if given, says
// why: the file cannot be read, its records run past its end, no byte of
// it lands in RAM, or its 16-bit fields are stored high byte first (a
// broken converter's output). `dropped`, if given, receives how many bytes
// were left out because they would land in the ROM area or past 0xFFFF.
int pri_load_pri_file(const char* path, uint8_t* ram, std::string* error = nullptr, size_t* dropped = nullptr);
int pri_load_pri_data(const uint8_t* data, size_t size, uint8_t* ram, std::string* error = nullptr,
                      size_t* dropped = nullptr);

// The start address, or -1 (nothing written) when the file cannot be read,
// is shorter than its 4-byte header, or none of its bytes lands in RAM.
int ui_load_pp_file(const char* path, uint8_t* ram, std::string* error = nullptr, size_t* dropped = nullptr);
int pri_load_pp_data(const uint8_t* data, size_t size, uint8_t* ram, std::string* error = nullptr,
                     size_t* dropped = nullptr);
