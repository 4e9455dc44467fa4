// Trap opcodes ED 00..ED 09: host code taking over ROM routines.
#pragma once
#include <cstdint>

using trap_handler = int (*)(int* n);

struct trap_record {
    trap_handler handler;   // null ends a table
    uint32_t offset;
    uint32_t length;        // at most 40
    uint8_t patch_bytes[40];
    uint8_t saved_bytes[40];
};

constexpr int TRAP_SLOTS = 40;
extern trap_record traps[TRAP_SLOTS];

void traps_set(trap_record* table, uint8_t* image);
void trap_place(int n, trap_record* record, uint8_t* image);
void trap_remove(int n, trap_record* record, uint8_t* image);
int trap_dummy(int* n);
void trap_handle(int n);
