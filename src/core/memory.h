// Memory map of the eight models and ROM banking: the record, the model
// set-up and the ROM images each model runs. The processor's accessors
// (mem_read, mem_write) are in core/bus.h.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// Model numbers shared by the whole system.
enum : int {
    MODEL_A32, MODEL_A48, MODEL_A64, MODEL_B32, MODEL_B48, MODEL_B64,
    MODEL_C64, MODEL_CPM, MODEL_COUNT
};

constexpr uint16_t RAM_START = 0x4000;
constexpr uint16_t CPM_BIOS_START = 0xE000;   // E000-EFFF: write-protected on the CP/M model
constexpr uint16_t CPM_BIOS_END = 0xEFFF;

struct memory_t {
    std::array<uint8_t, 0x10000> memory{};   // ROM copy 0000-3FFF, RAM above
    std::array<uint8_t, 0x4000> ext_ram{};   // bank 2 of the ROM area; bank 1 reads zeros
    int type = MODEL_A64;                    // the model whose map is set up
    uint32_t ram_mask = 0xFFFF;
    uint32_t video_ram_size = 0x17FF;
    int rom_banking = 1;
    int bank_nr = 0;
    uint8_t port_0 = 0;                      // the control register's last value
    uint32_t page = 0xE800;                  // offset of the display page in memory
};

void memory_set_active_setup(int model);
void memory_reset();
void memory_set_rom_banking(int flag);
uint8_t* rom_pointer();
// The ROM image of the running model as it was set up (traps removed).
const uint8_t* source_rom_pointer();
uint8_t* memory_get_ram();
// The current display page (the shell's screen pointer).
uint8_t* screenptr();
// The page the control register's value selects.
uint8_t* memory_get_video_ram_plain();
uint32_t memory_page_of(uint8_t control);
int memory_get_machine_type();
// 1 when the ROM area holds the built-in A/B or C64 firmware (it has the
// call-gap trap at 0x0030), 0 for an original ROM, the CP/M model or a ROM
// loaded over it.
int memory_rom_is_builtin();
// Writes the 64 KB image, ROM copy first, to path ("memdump.bin" from the
// menu). False with the reason in *why when it cannot be written.
bool mem_dump(const char* path, std::string* why = nullptr);

// Slow path of mem_read for the banked ROM area.
uint8_t mem_read_banked(uint16_t address);

// Where each ROM image comes from: the built-in firmware unless an original
// ROM file was supplied (romfiles). A B image given this way is used as it
// stands instead of being built from the A image and the patch list.
enum : int { ROM_A64, ROM_B64, ROM_C64, ROM_CPM_BOOT, ROM_CPM_BIOS, ROM_SOURCE_COUNT };
// Takes a copy of the image (16384, 16384, 16384, 4096, 2048 bytes) and the
// name it came from (empty for none); null data returns to the built-in
// image. Takes effect at the next memory_set_active_setup.
void memory_set_rom_source(int rom, const uint8_t* data, const std::string& name = {});
// The name given with the image, empty for the built-in one.
const std::string& memory_rom_source_name(int rom);
// Replaces the B patch list (entries of offset lo, offset hi, value, 0) by
// a copy; null returns to the built-in list. Takes effect at the next
// selection.
void memory_set_b64_patch(const uint8_t* patch, size_t count);
