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
constexpr uint32_t TRAP_PATCH_MAX = 40;
extern trap_record traps[TRAP_SLOTS];

// Patches are applied to 16 KB ROM images; a record reaching past the
// image is skipped.
constexpr uint32_t TRAP_IMAGE_SIZE = 0x4000;

void traps_set(trap_record* table, uint8_t* image);
void trap_place(int n, trap_record* record, uint8_t* image);
void trap_remove(int n, trap_record* record, uint8_t* image);
int trap_dummy(int* n);
void trap_handle(int n);
// True when slot n has a handler (the processor charges no T-states then).
bool trap_has_handler(int n);
