// brevan-smoke: runs a small built-in Z80 program on bare memory for a
// number of frames and prints the registers, so the core can be seen
// working without a window, ROM or sound device.
//
//   brevan-smoke [frames]        (default 50 frames of 49920 T-states)
#include <array>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "core/machine.h"
#include "core/event.h"
#include "cpu/cpu_core.h"

namespace {

std::array<uint8_t, 0x10000> smoke_memory{};

struct smoke_bus {
    static uint8_t read(uint16_t a) { return smoke_memory[a]; }
    static void write(uint16_t a, uint8_t v) { smoke_memory[a] = v; }
    static uint8_t in(uint8_t) { return 0xFF; }
    static void out(uint8_t, uint8_t) {}
};

// Adds Fibonacci numbers in HL/DE and counts rounds in BC; the frame
// interrupt (IM 1) counts frames in IX.
constexpr uint8_t program[] = {
    0x31, 0x00, 0x00,   // 0000 LD SP,0000
    0xED, 0x56,         // 0003 IM 1
    0xFB,               // 0005 EI
    0x21, 0x00, 0x00,   // 0006 LD HL,0
    0x11, 0x01, 0x00,   // 0009 LD DE,1
    0x19,               // 000C ADD HL,DE
    0xEB,               // 000D EX DE,HL
    0x03,               // 000E INC BC
    0x18, 0xFB,         // 000F JR 000C
};
constexpr uint8_t frame_handler[] = {
    0xDD, 0x23,         // 0038 INC IX
    0xFB,               // 003A EI
    0xED, 0x4D,         // 003B RETI
};

constexpr int FRAME_TSTATES = 312 * 160;   // 312 lines at 2.5 MHz

}  // namespace

int main(int argc, char** argv)
{
    long frames = 50;
    if (argc > 2) {
        std::fprintf(stderr, "usage: %s [frames]\n", argv[0]);
        return 2;
    }
    if (argc == 2) {
        char* end = nullptr;
        errno = 0;
        frames = std::strtol(argv[1], &end, 10);
        if (errno || end == argv[1] || *end || frames < 1 || frames > 1'000'000) {
            std::fprintf(stderr, "frames must be a number from 1 to 1000000\n");
            return 2;
        }
    }

    for (std::size_t i = 0; i < sizeof program; ++i)
        smoke_memory[i] = program[i];
    for (std::size_t i = 0; i < sizeof frame_handler; ++i)
        smoke_memory[0x38 + i] = frame_handler[i];

    z80_init(2'500'000);
    event_init();
    z80_state.bc = z80_state.de = z80_state.hl = z80_state.ix = z80_state.iy = 0;

    for (long f = 0; f < frames; ++f) {
        // The interrupt line is held for one instruction, like a short pulse.
        const int64_t frame_start = z80_state.tcount;
        z80_state.int_request = 1;
        z80_execute<smoke_bus>(0);
        z80_state.int_request = 0;
        const int64_t used = z80_state.tcount - frame_start;
        z80_execute<smoke_bus>(static_cast<int>(FRAME_TSTATES - used));
    }

    const z80_state_t& s = z80_state;
    std::printf("brevan-smoke: %ld frames\n", frames);
    std::printf("AF=%04X BC=%04X DE=%04X HL=%04X IX=%04X IY=%04X SP=%04X PC=%04X\n", s.af, s.bc,
                s.de, s.hl, s.ix, s.iy, s.sp, s.pc);
    std::printf("I=%02X R=%02X IFF1=%d IFF2=%d IM=%d\n", s.i, s.r, s.iff1, s.iff2, s.im);
    // tcount starts at -1, so the T-states run are one more.
    const int64_t run = s.tcount + 1;
    std::printf("T-states: %" PRId64 " (%" PRId64 " per frame on average)\n", run, run / frames);
    std::printf("frame interrupts taken: %u, loop rounds: %u\n", s.ix, s.bc);
    return 0;
}
