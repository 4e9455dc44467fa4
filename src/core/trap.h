// Trap opcodes ED 00..ED 27: host code taking over ROM routines. Which
// handler serves which opcode is a record of the machine (trap_slots).
#pragma once
#include <array>
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

struct trap_slot {
    trap_handler handler;
};
using trap_slots = std::array<trap_slot, TRAP_SLOTS>;

// Patches are applied to 16 KB ROM images; a record reaching past the
// image is skipped.
constexpr uint32_t TRAP_IMAGE_SIZE = 0x4000;

// Patches the image with every record of the table and installs their
// handlers in the slots their opcodes name. A writable table keeps the bytes
// it replaced; a constant one is the device's own table, whose bytes come
// back from the model's ROM image.
void traps_set(trap_record* table, uint8_t* image);
void traps_set(const trap_record* table, uint8_t* image);
void trap_place(int n, trap_record* record, uint8_t* image);
void trap_remove(int n, trap_record* record, uint8_t* image);
int trap_dummy(int* n);
void trap_handle(int n);
// True when slot n has a handler (the processor charges no T-states then).
bool trap_has_handler(int n);
