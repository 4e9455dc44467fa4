// Memory map of the eight models, ROM banking, and the port decoder.
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

// State the inline accessors below need; owned by memory.cpp.
namespace memory_state {
extern std::array<uint8_t, 0x10000> memory;   // ROM copy 0000-3FFF, RAM above
extern std::array<uint8_t, 0x4000> eprom;     // bank 1
extern std::array<uint8_t, 0x4000> ext_ram;   // bank 2
extern int machine_type;
extern uint32_t ram_mask;
extern uint32_t video_ram_size;
extern int memory_rom_banking;
extern int mem_bank_nr;
}

void memory_set_active_setup(int model);
void memory_reset();
void memory_set_rom_banking(int flag);
uint8_t* rom_pointer();
const uint8_t* source_rom_pointer();
uint8_t* memory_get_ram();
void memory_get_video_ram(uint8_t** pointer_variable);
uint8_t* memory_get_video_ram_plain();
int memory_get_machine_type();
// Writes the 64 KB address space as the ROM copy and RAM hold it to path;
// 1, or 0 with the reason in why and a file of that name left as it was.
int mem_dump(const char* path, std::string* why = nullptr);

// Slow path of mem_read for the banked ROM area.
uint8_t mem_read_banked(uint16_t address);

inline uint8_t mem_read(uint16_t address)
{
    using namespace memory_state;
    if (memory_rom_banking && address <= 0x3FFF && mem_bank_nr != 0)
        return mem_read_banked(address);
    return memory[address > ram_mask ? address & ram_mask : address];
}

inline void mem_write(uint16_t address, uint8_t value)
{
    using namespace memory_state;
    if (address <= 0x3FFF) {
        if (memory_rom_banking && mem_bank_nr == 2)
            ext_ram[address] = value;
        return;
    }
    if (machine_type == MODEL_CPM && (address & 0xF000) == 0xE000)
        return;   // the CP/M BIOS area is write-protected
    memory[address > ram_mask ? address & ram_mask : address] = value;
}

// Port decoder.
uint8_t z80_in(uint8_t port);
void z80_out(uint8_t port, uint8_t value);
int snapshot_out(int port);
void snapshot_in(int port, int value);

// The device calls a control-register write makes, from the previous and the
// new value: only changed bits reach their devices.
enum : uint8_t {
    CTRL_NMI_WITHDRAW = 0x01,   // bit 7 clear: the NMI line drops at once
    CTRL_JOY_STEP = 0x02,       // rising edge of bit 6
    CTRL_TAPE_REMOTE = 0x04,    // bit 2 or 5 changed
    CTRL_BEEPER = 0x08,         // bit 4 changed
    CTRL_TAPE_OUT = 0x10,       // bits 1-0 changed
};
uint8_t control_register_changes(uint8_t previous, uint8_t value);

// The maskable interrupt line (machine.cpp).
void memory_trigger_im1(int level);

// How the processor reaches the machine.
struct machine_bus {
    static uint8_t read(uint16_t a) { return mem_read(a); }
    static void write(uint16_t a, uint8_t v) { mem_write(a, v); }
    static uint8_t in(uint8_t port) { return z80_in(port); }
    static void out(uint8_t port, uint8_t v) { z80_out(port, v); }
    // The machine's one maskable source is the tape input's falling-edge
    // latch (tape.cpp); acknowledging the interrupt clears it.
    static void acknowledge_interrupt() { memory_trigger_im1(0); }
};

// Where each ROM image comes from: the built-in firmware unless an original
// ROM file was supplied (romfiles). A B image given this way is used as it
// stands instead of being built from the A image and the patch list.
enum : int { ROM_A64, ROM_B64, ROM_C64, ROM_CPM_BOOT, ROM_CPM_BIOS, ROM_SOURCE_COUNT };
// data must stay valid for the process (16384, 16384, 16384, 4096, 2048
// bytes); null returns to the built-in image. Takes effect at the next
// memory_set_active_setup.
void memory_set_rom_source(int rom, const uint8_t* data);
// True when the selected model runs our own firmware, no original file.
bool memory_runs_builtin_firmware();
// Replaces the B patch list (entries of offset lo, offset hi, value, 0);
// null returns to the built-in list. Takes effect at the next selection.
void memory_set_b64_patch(const uint8_t* patch, size_t count);
