// The 64 KB address space of the eight models, ROM banking, and the port
// decoder that routes every IN and OUT to its device.
#include "core/memory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/machine.h"
#include "cpu/cpu.h"
#include "devices/beeper.h"
#include "devices/input.h"
#include "devices/printer.h"
#include "devices/serial.h"
#include "devices/tape.h"
#include "devices/wd1793.h"
#include "media/fileio.h"
#include "roms.h"
#include "sound/sound.h"

namespace memory_state {
std::array<uint8_t, 0x10000> memory{};
std::array<uint8_t, 0x4000> eprom{};      // nothing loads it: reads as zeros
std::array<uint8_t, 0x4000> ext_ram{};
int machine_type = MODEL_A64;
uint32_t ram_mask = 0xFFFF;
uint32_t video_ram_size = 0x17FF;
int memory_rom_banking = 1;
int mem_bank_nr = 0;
}

using namespace memory_state;

namespace {

constexpr size_t ROM16 = 0x4000;
constexpr size_t CPM_BOOT_SIZE = 0x1000;
constexpr size_t CPM_BIOS_SIZE = 0x800;
constexpr uint16_t CPM_BIOS_ADDRESS = 0xE000;

// Working copies of the ROM images. The selection writes the page address
// bytes and the LD A,3 fix-up into them, and trap placement restores from
// them, so they must be writable; the A image keeps those writes for the
// life of the process.
std::array<uint8_t, ROM16> rom_a64_image{};
std::array<uint8_t, ROM16> rom_b64_image{};
std::array<uint8_t, ROM16> rom_c64_image{};
std::array<uint8_t, CPM_BOOT_SIZE> pr_2732_image{};
std::array<uint8_t, CPM_BIOS_SIZE> pr_2716_image{};

// Where each image comes from (null: the built-in firmware) and whether the
// working copy must be reloaded from it at the next selection.
std::array<const uint8_t*, ROM_SOURCE_COUNT> rom_source{};
std::array<bool, ROM_SOURCE_COUNT> rom_stale{true, true, true, true, true};

// B-model patch list: entries of offset lo, offset hi, value, 0.
const uint8_t* b_patch = b64rom_patch;
size_t b_patch_count = b64rom_patch_count;

uint8_t* active_rom = rom_a64_image.data();
uint8_t port_0 = 0;
uint8_t** video_page = nullptr;

struct model_map {
    uint32_t ram_mask;
    uint32_t video_ram_size;
    uint8_t page_high;    // written at ROM offset 0x14
    uint8_t byte_3b;      // written at ROM offset 0x3B
};

constexpr std::array<model_map, MODEL_COUNT> model_maps{{
    {0x7FFF, 0x17FF, 0x68, 0xB3},   // A32
    {0xBFFF, 0x17FF, 0xA8, 0x83},   // A48
    {0xFFFF, 0x17FF, 0xE8, 0x43},   // A64
    {0x7FFF, 0x17FF, 0x68, 0xB3},   // B32
    {0xBFFF, 0x17FF, 0xA8, 0x83},   // B48
    {0xFFFF, 0x17FF, 0xE8, 0x43},   // B64
    {0xFFFF, 0x1AFF, 0x00, 0x00},   // C64: its ROM is not touched
    {0xFFFF, 0x17FF, 0xE8, 0x43},   // CP/M
}};

template <size_t N>
void reload_image(std::array<uint8_t, N>& image, int rom, const uint8_t* builtin)
{
    if (!rom_stale[rom]) return;
    const uint8_t* from = rom_source[rom] ? rom_source[rom] : builtin;
    std::memcpy(image.data(), from, N);
    rom_stale[rom] = false;
}

void build_rom_b64()
{
    if (rom_source[ROM_B64]) {   // an original B image stands as it is
        std::memcpy(rom_b64_image.data(), rom_source[ROM_B64], ROM16);
        return;
    }
    rom_b64_image = rom_a64_image;
    for (size_t i = 0; i < b_patch_count; ++i) {
        const uint8_t* entry = b_patch + 4 * i;
        const unsigned offset = entry[0] | (entry[1] << 8);
        if (offset < ROM16) rom_b64_image[offset] = entry[2];
    }
}

// The ROM reads a byte through LD A,(nn) at 0x3925 that the emulation does
// not provide; the constant 3 stands in for it.
void fix_up_ld_a(uint8_t* image)
{
    if (image[0x3925] == 0x3A) {
        image[0x3925] = 0x3E;
        image[0x3926] = 0x03;
        image[0x3927] = 0x00;
    }
}

// Bit 3 of the control register selects page 1 (set) or page 0, 8 KB lower.
uint8_t* display_page(uint8_t control)
{
    return memory.data() + ram_mask - video_ram_size - ((control & 0x08) ? 0 : 0x2000);
}

void write_control_register(uint8_t value)
{
    const uint8_t previous = port_0;
    const uint8_t changes = control_register_changes(previous, value);
    const int64_t now = z80_state.tcount;

    nmi_allowed = value & 0x80;
    if (changes & CTRL_NMI_WITHDRAW) {
        z80_state.nmi_request = 0;
        z80_state.nmi_in_service = 0;
    }
    if (changes & CTRL_JOY_STEP) input_set_joy_stepper(now);
    if (changes & CTRL_TAPE_REMOTE) tape_remote_control((value & 0x04) ? 0 : 4);
    if (changes & CTRL_BEEPER) {
        sound_update(now);
        beeper_set_level((value >> 4) & 1);
    }
    if (video_page) *video_page = display_page(value);
    // The WAV writer gets the output level that has just ended.
    if (changes & CTRL_TAPE_OUT) tape_save_wav(now, previous & 0x03);
    port_0 = value;
}

bool is_fdc_register_port(uint8_t port) { return (port & 0xF4) == 0xB0; }   // B0-B3, B8-BB
constexpr uint8_t FDC_MOTOR_PORT = 0xB7;

}  // namespace

uint8_t control_register_changes(uint8_t previous, uint8_t value)
{
    const uint8_t changed = previous ^ value;
    uint8_t calls = 0;
    if (!(value & 0x80)) calls |= CTRL_NMI_WITHDRAW;
    if ((changed & 0x40) && (value & 0x40)) calls |= CTRL_JOY_STEP;
    if (changed & 0x24) calls |= CTRL_TAPE_REMOTE;
    if (changed & 0x10) calls |= CTRL_BEEPER;
    if (changed & 0x03) calls |= CTRL_TAPE_OUT;
    return calls;
}

void memory_set_rom_source(int rom, const uint8_t* data)
{
    if (rom < 0 || rom >= ROM_SOURCE_COUNT) return;
    rom_source[rom] = data;
    rom_stale[rom] = true;
}

void memory_set_b64_patch(const uint8_t* patch, size_t count)
{
    b_patch = patch ? patch : b64rom_patch;
    b_patch_count = patch ? count : b64rom_patch_count;
}

void memory_set_active_setup(int model)
{
    if (model < 0 || model >= MODEL_COUNT) model = MODEL_A64;
    machine_type = model;

    reload_image(rom_a64_image, ROM_A64, rom_a64);
    reload_image(rom_c64_image, ROM_C64, rom_c64);
    reload_image(pr_2732_image, ROM_CPM_BOOT, pr_2732);
    reload_image(pr_2716_image, ROM_CPM_BIOS, pr_2716_e000);
    build_rom_b64();

    wd1793_close();

    const model_map& map = model_maps[model];
    ram_mask = map.ram_mask;
    video_ram_size = map.video_ram_size;

    switch (model) {
    case MODEL_A32: case MODEL_A48: case MODEL_A64: active_rom = rom_a64_image.data(); break;
    case MODEL_B32: case MODEL_B48: case MODEL_B64: active_rom = rom_b64_image.data(); break;
    case MODEL_C64: active_rom = rom_c64_image.data(); break;
    default: active_rom = pr_2732_image.data(); break;
    }
    if (model != MODEL_C64) {
        active_rom[0x14] = map.page_high;
        active_rom[0x3B] = map.byte_3b;
    }
    if (model == MODEL_CPM) {
        std::memcpy(memory.data() + CPM_BIOS_ADDRESS, pr_2716_image.data(), CPM_BIOS_SIZE);
        wd1793_init();
    }
    // Only the A and B images read the repeat rate there; a C64 ROM holds
    // other code at that address.
    if (model <= MODEL_B64) fix_up_ld_a(active_rom);
}

void memory_reset()
{
    if (machine_type == MODEL_CPM) {
        std::memcpy(memory.data(), active_rom, CPM_BOOT_SIZE);
        // No chip answers above the 4 KB boot ROM: the open bus reads 0xFF.
        std::fill(memory.begin() + CPM_BOOT_SIZE, memory.begin() + ROM16, 0xFF);
        std::fill(memory.begin() + ROM16, memory.begin() + CPM_BIOS_ADDRESS, 0);
        std::fill(memory.begin() + CPM_BIOS_ADDRESS + CPM_BIOS_SIZE, memory.end(), 0);
    } else {
        std::memcpy(memory.data(), active_rom, ROM16);
        std::fill(memory.begin() + ROM16, memory.end(), 0);
    }
    mem_bank_nr = 0;
}

void memory_set_rom_banking(int flag)
{
    memory_rom_banking = flag ? 1 : 0;
}

uint8_t mem_read_banked(uint16_t address)
{
    switch (mem_bank_nr) {
    case 1: return eprom[address & 0x3FFF];
    case 2: return ext_ram[address & 0x3FFF];
    default: return memory[address > ram_mask ? address & ram_mask : address];
    }
}

bool memory_runs_builtin_firmware()
{
    switch (machine_type) {
    case MODEL_C64: return !rom_source[ROM_C64];
    case MODEL_CPM: return !rom_source[ROM_CPM_BOOT] && !rom_source[ROM_CPM_BIOS];
    case MODEL_B32: case MODEL_B48: case MODEL_B64: return !rom_source[ROM_B64] && !rom_source[ROM_A64];
    default: return !rom_source[ROM_A64];
    }
}

uint8_t* rom_pointer() { return memory.data(); }
const uint8_t* source_rom_pointer() { return active_rom; }
uint8_t* memory_get_ram() { return memory.data() + ROM16; }

void memory_get_video_ram(uint8_t** pointer_variable)
{
    video_page = pointer_variable;
    if (pointer_variable) *pointer_variable = memory.data() + ram_mask - video_ram_size;
}

uint8_t* memory_get_video_ram_plain() { return display_page(port_0); }
int memory_get_machine_type() { return machine_type; }

int mem_dump(const char* path, std::string* why)
{
    return path && write_whole_file(path, memory.data(), memory.size(), why) ? 1 : 0;
}

void z80_out(uint8_t port, uint8_t value)
{
    switch (port & 0xC0) {
    case 0x00:
        write_control_register(value);
        break;
    case 0x40:
        print_byte(value);
        break;
    case 0x80:
        if (machine_type == MODEL_CPM) {
            if (is_fdc_register_port(port)) wd1793_write_reg(port & 3, value);
            else if (port == FDC_MOTOR_PORT) wd1793_write_select(value);
        } else {
            // Bus outputs are bits 1, 2, 4 and 5, inverted; the rest read 1.
            serial_bus_write(static_cast<uint8_t>(~(value & 0x36)), z80_state.tcount);
        }
        break;
    default:
        if (memory_rom_banking && !(port & 0x02)) mem_bank_nr = value & 3;
        break;
    }
}

uint8_t z80_in(uint8_t port)
{
    switch (port & 0xC0) {
    case 0x00: {
        uint8_t value = input_get_key_state(port & 0x3F) ? 0x01 : 0x00;
        if (reset_button_pressed) value |= 0x02;
        value |= tape_read_in & 0x04;
        if (vblank) value |= 0x20;
        return value;
    }
    case 0x40:
        return static_cast<uint8_t>((serial_bus_read(z80_state.tcount) | 0x05) & ~input_get_joy_bits());
    case 0x80:
        if (machine_type == MODEL_CPM) {
            if (is_fdc_register_port(port)) return static_cast<uint8_t>(wd1793_read_reg(port & 3) & 0xFF);
            if (port == FDC_MOTOR_PORT) return wd1793_read_select();
        }
        return 0xFF;
    default:
        return 0xFF;
    }
}

int snapshot_out(int port)
{
    return port < 0x40 ? port_0 : -1;
}

void snapshot_in(int port, int value)
{
    if (port >= 0x40) return;
    reset_button_pressed = (value >> 1) & 1;
    vblank = (value >> 5) & 1;
}
