// PSS snapshots: the processor, the ports and the RAM in one file of 49702
// bytes: "PS01", the register pairs, I, R, IX, IY, the four output latches
// and the four input values, the 48 KB above the ROM, 512 reserved bytes.
//
// The reserved bytes carry what the format leaves out and an exact resume
// needs: "BRV1", the interrupt flip-flops and mode, and the interrupt and
// NMI lines. Files without that mark load as before.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t PSS_SIZE = 49702;

// All return false when the file cannot be used; then *why (when given)
// says why and the machine is as it was.
bool snapshot_load(const char* path, std::string* why = nullptr);
bool snapshot_save(const char* path, std::string* why = nullptr);
bool snapshot_load_data(const uint8_t* data, size_t size, std::string* why = nullptr);
