// PTP images for tests, built by the real rules: checksums over every byte
// between the type and the checksum, block numbers in BCD modulo 100.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

using bytes = std::vector<uint8_t>;

bytes ptp_name_block(const std::string& name, uint8_t type = 0x83);
bytes ptp_data_block(uint8_t type, int number, uint16_t address, const bytes& data);
// An end block; type 0xB9 carries the start address.
bytes ptp_end_block(uint8_t type, int number, uint16_t start = 0);
// One program: header, blocks marked 0x55, the last 0xAA.
bytes ptp_image_of(const std::vector<bytes>& blocks);
// A named program of absolute (0xF9) blocks of 256 bytes from `address`,
// ended by 0xB9 with `start`, or by 0xE9 when start is 0.
bytes ptp_program_at(const std::string& name, uint16_t address, const bytes& data, uint16_t start = 0);
// The pieces one after another.
bytes concat(std::initializer_list<bytes> pieces);
// n bytes of a pattern that differs with the seed.
bytes pattern_bytes(size_t n, int seed);

bool write_bytes(const std::string& path, const bytes& data);
bytes read_bytes(const std::string& path);
