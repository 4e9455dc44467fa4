// PSS snapshots: the processor, the ports and the RAM in one file of 49702
// bytes: "PS01", the register pairs, I, R, IX, IY, the four output latches
// and the four input values, the 48 KB above the ROM, 512 reserved bytes.
//
// The reserved bytes carry what the format leaves out and an exact resume
// needs: "BRV1", the interrupt flip-flops and mode, the interrupt and NMI
// lines, and then every device's record of the machine (the frame where a
// breakpoint stopped it, the cycle counter, the scheduler, the CP/M
// model's RAM bank and controller, ...), packed. Records too big for the
// block follow the 49702 bytes, and the block says how many bytes there are;
// any other file must be exactly 49702 bytes. Records are applied only on
// the model and clock they were taken on; files without them (and those of
// another model) load as the format alone says.
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
