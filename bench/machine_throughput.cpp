// Whole-machine speed: frames per second of machine_run on an A64 running a
// busy loop of memory reads and writes, ROM-area reads and control-register
// writes that toggle the beeper, with no pacing.
//
//   machine_throughput [--frames N]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/event.h"
#include "core/machine.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "sound/sound.h"

namespace {

void load_program()
{
    // Copies bytes between the RAM halves, reads the ROM area, writes the
    // control register (a beeper edge every 16 passes) and works the stack.
    const uint8_t code[] = {
        0x21, 0x00, 0x80,        // LD HL,8000h
        0x11, 0x00, 0xC0,        // LD DE,C000h
        0x3E, 0x18,              // LD A,18h
        // loop (4008h):
        0x4E,                    // LD C,(HL)
        0x79,                    // LD A,C
        0x12,                    // LD (DE),A
        0x23,                    // INC HL
        0x13,                    // INC DE
        0x46,                    // LD B,(HL)
        0x80,                    // ADD A,B
        0x3A, 0x23, 0x01,        // LD A,(0123h)
        0x7B,                    // LD A,E
        0xE6, 0x10,              // AND 10h: beeper edge every 16 passes
        0xF6, 0x08,              // OR 08h: page 1, NMI off
        0xD3, 0x00,              // OUT (0),A
        0x77,                    // LD (HL),A
        0xE5,                    // PUSH HL
        0xE1,                    // POP HL
        0xE3,                    // EX (SP),HL
        0xE3,                    // EX (SP),HL
        0x7C,                    // LD A,H
        0xE6, 0xBF,              // AND 0BFh
        0xF6, 0x80,              // OR 80h
        0x67,                    // LD H,A
        0x7A,                    // LD A,D
        0xF6, 0xC0,              // OR C0h
        0x57,                    // LD D,A
        0xC3, 0x08, 0x40,        // JP 4008h
    };
    static_assert(sizeof code == 43);
    std::memcpy(memory_get_ram(), code, sizeof code);
    z80_state.pc = 0x4000;
    z80_state.sp = 0x7F00;
}

}  // namespace

int main(int argc, char** argv)
{
    int frames = 20000;
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--frames") && i + 1 < argc) frames = std::atoi(argv[++i]);
    if (frames <= 0) frames = 1;

    machine_init(MODEL_A64, ".");
    event_init();
    machine_change_model(MODEL_A64);
    load_program();

    for (int i = 0; i < 200; ++i) machine_run();   // warm up

    const int64_t t0 = z80_state.tcount;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
        machine_run();
        sound_flush(z80_state.tcount);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int64_t tstates = z80_state.tcount - t0;

    std::printf("frames: %d\n", frames);
    std::printf("seconds: %.3f\n", seconds);
    std::printf("tstates_per_second: %.0f\n", tstates / seconds);
    std::printf("emulated_speed: %.1fx\n", frames * 0.019968 / seconds);
    std::printf("frames_per_second: %.0f\n", frames / seconds);
    return 0;
}
