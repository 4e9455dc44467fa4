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

// Both return 1 on success, 0 when the file cannot be used; then `error`
// (when given) says why, the machine is as it was and a file saved over is
// left as it was.
int snapshot_load(const char* path, uint8_t* ram, std::string* error = nullptr);
int snapshot_save(const char* path, uint8_t* ram, std::string* error = nullptr);
int snapshot_load_data(const uint8_t* data, size_t size, uint8_t* ram, std::string* error = nullptr);
