// A bare 64 KB memory and optional port handlers for running the processor
// core without a machine around it (tests, exercisers, benchmarks).
#pragma once
#include <array>
#include <cstdint>

#include "cpu/cpu_core.h"

namespace flat_bus_state {
inline std::array<uint8_t, 0x10000> memory{};
// Null handlers: reads give 0xFF, writes go nowhere.
inline uint8_t (*in_handler)(uint8_t port) = nullptr;
inline void (*out_handler)(uint8_t port, uint8_t value) = nullptr;
}  // namespace flat_bus_state

struct flat_bus {
    static uint8_t read(uint16_t a) { return flat_bus_state::memory[a]; }
    static void write(uint16_t a, uint8_t v) { flat_bus_state::memory[a] = v; }
    static uint8_t in(uint8_t port)
    {
        return flat_bus_state::in_handler ? flat_bus_state::in_handler(port) : 0xFF;
    }
    static void out(uint8_t port, uint8_t v)
    {
        if (flat_bus_state::out_handler)
            flat_bus_state::out_handler(port, v);
    }
};

inline int z80_run_flat(int cycles) { return z80_execute<flat_bus>(cycles); }

// Copies bytes into flat memory from `address` on, wrapping past 0xFFFF.
inline void flat_load(uint16_t address, const uint8_t* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        flat_bus_state::memory[static_cast<uint16_t>(address + i)] = bytes[i];
}

// A fresh bare machine: cleared memory, no port handlers, the event queue
// as at start-up, a zeroed processor at T-state 0 with no breakpoint.
inline void flat_machine_reset()
{
    flat_bus_state::memory.fill(0);
    flat_bus_state::in_handler = nullptr;
    flat_bus_state::out_handler = nullptr;
    the_machine = machine{};
    event_init();
    z80_state = z80_state_t{};
    z80_state.bp_address = 0xFFFF;
    z80_state.tcount = 0;
}
