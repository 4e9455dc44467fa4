// The 64 KB address space of the eight models, ROM banking, and the ROM
// images each model runs.
#include "core/memory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/bus.h"
#include "core/machine.h"
#include "media/fileio.h"
#include "roms.h"

namespace {

constexpr size_t ROM16 = 0x4000;
constexpr size_t CPM_BOOT_SIZE = 0x1000;
constexpr size_t CPM_BIOS_SIZE = 0x800;
constexpr std::array<size_t, ROM_SOURCE_COUNT> SOURCE_SIZE{ROM16, ROM16, ROM16, CPM_BOOT_SIZE, CPM_BIOS_SIZE};

using rom_image = std::array<uint8_t, ROM16>;

// The ROM images of the process: where each comes from, and the image each
// model runs, built from them at its first selection. Not machine state:
// every machine of the run shares them.
struct rom_store_t {
    std::array<std::vector<uint8_t>, ROM_SOURCE_COUNT> source;   // empty: built-in
    std::array<std::string, ROM_SOURCE_COUNT> source_name;
    std::vector<uint8_t> b_patch;                                 // entries of 4 bytes
    bool b_patch_builtin = true;
    std::array<rom_image, MODEL_COUNT> image{};
    std::array<bool, MODEL_COUNT> ready{};
} roms;

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

memory_t& mem() { return the_machine.mem; }

const uint8_t* source_of(int rom, const uint8_t* builtin)
{
    return roms.source[static_cast<size_t>(rom)].empty() ? builtin : roms.source[static_cast<size_t>(rom)].data();
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

void write_page_bytes(rom_image& image, int model)
{
    image[0x14] = model_maps[static_cast<size_t>(model)].page_high;
    image[0x3B] = model_maps[static_cast<size_t>(model)].byte_3b;
}

// The A image with the model's page bytes and the fix-up; a B model lays
// the patch list over it (unless an original B image was given) and then
// its own bytes.
rom_image build_image(int model)
{
    rom_image image{};
    if (model == MODEL_C64) {
        std::memcpy(image.data(), source_of(ROM_C64, rom_c64), ROM16);
        return image;
    }
    if (model == MODEL_CPM) {
        image.fill(0xFF);   // no chip answers above the 4 KB boot ROM: the open bus
        std::memcpy(image.data(), source_of(ROM_CPM_BOOT, pr_2732), CPM_BOOT_SIZE);
        write_page_bytes(image, model);
        return image;
    }
    std::memcpy(image.data(), source_of(ROM_A64, rom_a64), ROM16);
    write_page_bytes(image, model);
    fix_up_ld_a(image.data());
    if (model >= MODEL_B32) {
        if (!roms.source[ROM_B64].empty()) {   // an original B image stands as it is
            std::memcpy(image.data(), roms.source[ROM_B64].data(), ROM16);
        } else {
            const uint8_t* patch = roms.b_patch_builtin ? b64rom_patch : roms.b_patch.data();
            const size_t count = roms.b_patch_builtin ? b64rom_patch_count : roms.b_patch.size() / 4;
            for (size_t i = 0; i < count; ++i) {
                const uint8_t* entry = patch + 4 * i;
                const unsigned offset = entry[0] | (entry[1] << 8);
                if (offset < ROM16) image[offset] = entry[2];
            }
        }
        write_page_bytes(image, model);
        fix_up_ld_a(image.data());
    }
    return image;
}

const rom_image& image_of(int model)
{
    const auto m = static_cast<size_t>(model);
    if (!roms.ready[m]) {
        roms.image[m] = build_image(model);
        roms.ready[m] = true;
    }
    return roms.image[m];
}

void forget_images() { roms.ready.fill(false); }

}  // namespace

void memory_set_rom_source(int rom, const uint8_t* data, const std::string& name)
{
    if (rom < 0 || rom >= ROM_SOURCE_COUNT) return;
    const auto r = static_cast<size_t>(rom);
    if (data)
        roms.source[r].assign(data, data + SOURCE_SIZE[r]);
    else
        roms.source[r].clear();
    roms.source_name[r] = data ? name : std::string();
    forget_images();
}

const std::string& memory_rom_source_name(int rom)
{
    static_assert(ROM_SOURCE_COUNT > 0);
    return roms.source_name[static_cast<size_t>(std::clamp(rom, 0, ROM_SOURCE_COUNT - 1))];
}

void memory_set_b64_patch(const uint8_t* patch, size_t count)
{
    roms.b_patch_builtin = patch == nullptr;
    roms.b_patch.assign(patch, patch ? patch + 4 * count : patch);
    forget_images();
}

void memory_set_active_setup(int model)
{
    if (model < 0 || model >= MODEL_COUNT) model = MODEL_A64;
    memory_t& m = mem();
    m.type = model;
    const model_map& map = model_maps[static_cast<size_t>(model)];
    m.ram_mask = map.ram_mask;
    m.video_ram_size = map.video_ram_size;
    m.page = m.ram_mask - m.video_ram_size;   // page 1 until the control register says
    if (model == MODEL_CPM)
        std::memcpy(m.memory.data() + CPM_BIOS_START, source_of(ROM_CPM_BIOS, pr_2716_e000), CPM_BIOS_SIZE);
}

void memory_reset()
{
    memory_t& m = mem();
    std::memcpy(m.memory.data(), image_of(m.type).data(), ROM16);
    if (m.type == MODEL_CPM) {
        std::fill(m.memory.begin() + ROM16, m.memory.begin() + CPM_BIOS_START, 0);
        std::fill(m.memory.begin() + CPM_BIOS_START + CPM_BIOS_SIZE, m.memory.end(), 0);
    } else {
        std::fill(m.memory.begin() + ROM16, m.memory.end(), 0);
    }
    m.bank_nr = 0;
}

void memory_set_rom_banking(int flag)
{
    mem().rom_banking = flag ? 1 : 0;
}

uint8_t mem_read_banked(uint16_t address)
{
    const memory_t& m = mem();
    switch (m.bank_nr) {
    case 1: return 0;   // the EPROM socket is empty
    case 2: return m.ext_ram[address & 0x3FFF];
    default: return m.memory[address > m.ram_mask ? address & m.ram_mask : address];
    }
}

uint8_t* rom_pointer() { return mem().memory.data(); }
const uint8_t* source_rom_pointer() { return image_of(mem().type).data(); }
uint8_t* memory_get_ram() { return mem().memory.data() + ROM16; }
uint8_t* screenptr() { return mem().memory.data() + mem().page; }

int memory_rom_is_builtin()
{
    const memory_t& m = mem();
    return m.type != MODEL_CPM && m.memory[0x30] == 0xED && m.memory[0x31] == 0x07 && m.memory[0x32] == 0xC3 ? 1 : 0;
}

// Bit 3 of the control register selects page 1 (set) or page 0, 8 KB lower.
uint32_t memory_page_of(uint8_t control)
{
    return mem().ram_mask - mem().video_ram_size - ((control & 0x08) ? 0 : 0x2000);
}

uint8_t* memory_get_video_ram_plain() { return mem().memory.data() + memory_page_of(mem().port_0); }
int memory_get_machine_type() { return mem().type; }

bool mem_dump(const char* path, std::string* why)
{
    const memory_t& m = mem();
    return path && write_whole_file(path, m.memory.data(), m.memory.size(), why);
}
