// Just enough CP/M to run the Z80 exercisers on flat memory: the program is
// loaded at 0x0100, BDOS calls 2 (character in E) and 9 (string at DE up to
// '$') are served at 0x0005, and a jump to 0x0000 ends the run.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/event.h"
#include "support/flat_bus.h"

namespace cpm_shim_state {
inline bool finished = false;
inline bool echo = false;
inline std::string output;
}  // namespace cpm_shim_state

inline void cpm_emit(char c)
{
    cpm_shim_state::output.push_back(c);
    if (cpm_shim_state::echo) {
        std::putchar(c);
        if (c == '\n')
            std::fflush(stdout);
    }
}

// Port FE is the BDOS entry, port FF the warm boot at 0x0000.
inline void cpm_port_out(uint8_t port, uint8_t)
{
    if (port == 0xFF) {
        cpm_shim_state::finished = true;
        return;
    }
    if (port != 0xFE)
        return;
    const uint8_t function = static_cast<uint8_t>(z80_state.bc);
    if (function == 2) {
        cpm_emit(static_cast<char>(z80_state.de & 0xFF));
    } else if (function == 9) {
        uint16_t a = z80_state.de;
        for (int n = 0; n < 0x10000 && flat_bus_state::memory[a] != '$'; ++n, ++a)
            cpm_emit(static_cast<char>(flat_bus_state::memory[a]));
    }
}

// Loads a .com/.cim file and resets the processor to run it. False when the
// file cannot be read or does not fit below the BDOS.
inline bool cpm_load(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    flat_machine_reset();
    const std::size_t room = 0xFE00 - 0x0100;
    const std::size_t n = std::fread(&flat_bus_state::memory[0x0100], 1, room, f);
    const bool too_big = std::fgetc(f) != EOF;
    std::fclose(f);
    if (n == 0 || too_big)
        return false;
    const uint8_t boot[] = {0xD3, 0xFF, 0x76};        // 0000: OUT (FF),A; HALT
    const uint8_t bdos_jump[] = {0xC3, 0x00, 0xFE};   // 0005: JP FE00 (also the stack top)
    const uint8_t bdos[] = {0xD3, 0xFE, 0xC9};        // FE00: OUT (FE),A; RET
    flat_load(0x0000, boot, sizeof boot);
    flat_load(0x0005, bdos_jump, sizeof bdos_jump);
    flat_load(0xFE00, bdos, sizeof bdos);
    flat_bus_state::out_handler = cpm_port_out;
    z80_state.pc = 0x0100;
    z80_state.sp = 0xFE00;
    cpm_shim_state::finished = false;
    cpm_shim_state::output.clear();
    return true;
}

// Runs until the program ends or `limit` more T-states have passed; returns
// the T-states run.
inline int64_t cpm_run(int64_t limit)
{
    const int64_t start = z80_state.tcount;
    while (!cpm_shim_state::finished && z80_state.tcount - start < limit)
        z80_run_flat(10'000'000);
    return z80_state.tcount - start;
}
