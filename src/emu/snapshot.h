// PSS snapshots: the processor, the ports and the RAM in one file.
#pragma once
#include <cstdint>

// Both return 1 on success, 0 when the file cannot be used.
int snapshot_load(const char* path, uint8_t* ram);
int snapshot_save(const char* path, uint8_t* ram);
