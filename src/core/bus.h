// How the processor reaches the machine: memory as the processor sees it
// (mirrors, ROM banking, write protection) and the port table that routes
// every IN and OUT to its device. Loaders and traps go through these too.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/machine.h"

inline uint8_t mem_read(uint16_t address)
{
    const memory_t& m = the_machine.mem;
    if (m.rom_banking && address <= 0x3FFF && m.bank_nr != 0)
        return mem_read_banked(address);
    return m.memory[address > m.ram_mask ? address & m.ram_mask : address];
}

inline void mem_write(uint16_t address, uint8_t value)
{
    memory_t& m = the_machine.mem;
    if (address <= 0x3FFF) {
        if (m.rom_banking && m.bank_nr == 2)
            m.ext_ram[address] = value;
        return;
    }
    if (m.type == MODEL_CPM && (address & 0xF000) == 0xE000)
        return;   // the CP/M BIOS area is write-protected
    m.memory[address > m.ram_mask ? address & m.ram_mask : address] = value;
}

// Whether a write to the address would be dropped: the ROM area without the
// RAM bank, or the CP/M BIOS area.
bool mem_write_protected(uint16_t address);

// What loaders use. bus_store puts bytes at consecutive addresses from
// `address` on, as the processor's writes would land (mirrors, banks,
// write protection); bytes past 0xFFFF are dropped, never wrapped. Returns
// how many addresses below 0x10000 were written to.
size_t bus_store(uint32_t address, const uint8_t* data, size_t count);
// False, with the reason in *why, when count bytes from address on would
// fall on the CP/M model's write-protected BIOS area: a loader refuses the
// file then rather than leave a part of it behind.
bool bus_load_allowed(uint32_t address, size_t count, std::string* why);

// Port decoder: the port table of the running model.
uint8_t z80_in(uint8_t port);
void z80_out(uint8_t port, uint8_t value);
// The control register's latch for port group 0x00 and -1 for the others;
// the input flags of port group 0x00 restored from a snapshot.
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

struct machine_bus {
    static uint8_t read(uint16_t a) { return mem_read(a); }
    static void write(uint16_t a, uint8_t v) { mem_write(a, v); }
    static uint8_t in(uint8_t port) { return z80_in(port); }
    static void out(uint8_t port, uint8_t v) { z80_out(port, v); }
    // The machine's one maskable source is the tape input's falling-edge
    // latch (tape.cpp); acknowledging the interrupt clears it.
    static void acknowledge_interrupt() { memory_trigger_im1(0); }
};
