#include "support/standin_rom.h"

#include <array>
#include <cstdint>

#include "core/machine.h"
#include "core/memory.h"
#include "core/trap.h"

namespace {

constexpr int BASIC_TRAP = 8;
std::array<uint8_t, 0x4000> image{};
int basic_calls = 0;

int basic_trap(int*)
{
    ++basic_calls;
    return 0;
}

void put(uint16_t at, std::initializer_list<uint8_t> bytes)
{
    for (uint8_t b : bytes) image[at++] = b;
}

}  // namespace

void standin_rom_install()
{
    image.fill(0x00);
    put(0x0000, {0xF3, 0x31, 0x00, 0xE8, 0x76, 0x18, 0xFD});    // DI; LD SP,E800; HALT; JR -3
    put(0x0066, {0xED, 0x45});                                  // RETN
    put(0x017E, {'4'});                                         // an A/B ROM
    put(0x1B5D, {0xED, BASIC_TRAP, 0xC3, 0x04, 0x00});             // then idle
    put(0x1EA3, {0xED, BASIC_TRAP, 0xC3, 0x04, 0x00});
    put(0x3866, {0xE5, 0xD5, 0xC5, 0xC1, 0xD1, 0xE1, 0xAF, 0xC9});   // the keyboard routine: no key
    basic_calls = 0;
    standin_rom_arm();
    memory_set_rom_source(ROM_A64, image.data());
}

void standin_rom_arm() { traps[BASIC_TRAP].handler = basic_trap; }

void standin_rom_remove()
{
    memory_set_rom_source(ROM_A64, nullptr);
    traps[BASIC_TRAP].handler = nullptr;
}

int standin_rom_basic_calls() { return basic_calls; }
