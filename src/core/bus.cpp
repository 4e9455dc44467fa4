// The bus as loaders use it: the processor's view of memory, its
// write-protected areas included.
#include "core/bus.h"

#include <algorithm>

bool mem_write_protected(uint16_t address)
{
    const memory_t& m = the_machine.mem;
    if (address <= 0x3FFF) return !(m.rom_banking && m.bank_nr == 2);
    return m.type == MODEL_CPM && (address & 0xF000) == 0xE000;
}

size_t bus_store(uint32_t address, const uint8_t* data, size_t count)
{
    size_t stored = 0;
    for (size_t i = 0; i < count && address + i < 0x10000; ++i, ++stored)
        mem_write(static_cast<uint16_t>(address + i), data[i]);
    return stored;
}

bool bus_load_allowed(uint32_t address, size_t count, std::string* why)
{
    if (the_machine.mem.type != MODEL_CPM || count == 0) return true;
    const uint64_t last = std::min<uint64_t>(uint64_t{address} + count - 1, 0xFFFF);
    if (address > CPM_BIOS_END || last < CPM_BIOS_START) return true;
    if (why) *why = "a CP/M BIOS írásvédett területére (E000-EFFF) írna";
    return false;
}
