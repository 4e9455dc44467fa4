// Raw speed of the processor core: runs the ZEXDOC exerciser on flat memory
// and reports T-states per second, then what the event pass costs per
// instruction.
//
//   z80_throughput [--tstates N] [--program file.cim] [--quiet]
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "emu/event.h"
#include "support/flat_bus.h"

namespace {

bool g_done = false;
bool g_quiet = false;

// CP/M console calls served at 0x0005; a jump to 0x0000 reports the end.
void cpm_out(uint8_t port, uint8_t)
{
    if (port == 0xFF) {
        g_done = true;
        return;
    }
    if (port != 0xFE || g_quiet)
        return;
    const uint8_t function = static_cast<uint8_t>(z80_state.bc);
    if (function == 2) {
        std::putchar(z80_state.de & 0xFF);
    } else if (function == 9) {
        for (uint16_t a = z80_state.de; flat_bus_state::memory[a] != '$'; ++a)
            std::putchar(flat_bus_state::memory[a]);
    }
    std::fflush(stdout);
}

bool load_program(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return false;
    }
    flat_bus_state::memory.fill(0);
    const std::size_t n = std::fread(&flat_bus_state::memory[0x100], 1, 0x10000 - 0x100 - 0x200, f);
    std::fclose(f);
    if (n == 0) {
        std::fprintf(stderr, "%s is empty\n", path.c_str());
        return false;
    }
    const uint8_t boot[] = {0xD3, 0xFF, 0x76};          // 0000: OUT (FF),A; HALT
    const uint8_t bdos_jump[] = {0xC3, 0x00, 0xFE};     // 0005: JP FE00
    const uint8_t bdos[] = {0xD3, 0xFE, 0xC9};          // FE00: OUT (FE),A; RET
    flat_load(0x0000, boot, sizeof boot);
    flat_load(0x0005, bdos_jump, sizeof bdos_jump);
    flat_load(0xFE00, bdos, sizeof bdos);
    flat_bus_state::out_handler = cpm_out;
    flat_bus_state::in_handler = nullptr;
    event_init();
    z80_state = z80_state_t{};
    z80_state.pc = 0x0100;
    z80_state.sp = 0xFE00;
    z80_state.tcount = 0;
    g_done = false;
    return true;
}

double seconds_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Runs until the program ends or `limit` T-states have passed.
int64_t run_for(int64_t limit)
{
    const int64_t start = z80_state.tcount;
    while (!g_done && z80_state.tcount - start < limit)
        z80_run_flat(10'000'000);
    return z80_state.tcount - start;
}

void periodic_callback(int64_t*)
{
    const event_entry* self = event_find(1);
    event_schedule_id_wremove(1, self->time + 64);
}

void far_callback(int64_t*) {}

struct segment {
    double seconds;
    int64_t tstates;
};

// The same stretch of the exerciser under one queue set-up.
segment timed_segment(const std::string& path, int64_t span, int queue)
{
    const bool quiet = g_quiet;
    g_quiet = true;
    load_program(path);
    if (queue == 1)
        event_setup(1, INT64_MAX / 2, far_callback);
    else if (queue == 2)
        event_setup(1, 64, periodic_callback);
    const auto t0 = std::chrono::steady_clock::now();
    const int64_t ran = run_for(span);
    const double s = seconds_since(t0);
    event_remove_id(1);
    g_quiet = quiet;
    return {s, ran};
}

}  // namespace

int main(int argc, char** argv)
{
    int64_t limit = INT64_MAX;
    std::string path = std::string(BREVAN_TESTDATA) + "/z80/zexdoc.cim";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--tstates") && i + 1 < argc)
            limit = std::strtoll(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--program") && i + 1 < argc)
            path = argv[++i];
        else if (!std::strcmp(argv[i], "--quiet"))
            g_quiet = true;
        else {
            std::fprintf(stderr, "usage: %s [--tstates N] [--program file] [--quiet]\n", argv[0]);
            return 2;
        }
    }

    // Average instruction length, from single steps over the first stretch.
    const bool quiet_requested = g_quiet;
    if (!load_program(path))
        return 1;
    const double t_per_instr = [&] {
        load_program(path);
        g_quiet = true;
        int64_t count = 0;
        while (!g_done && z80_state.tcount < 20'000'000) {
            z80_run_flat(0);
            ++count;
        }
        const double t = static_cast<double>(z80_state.tcount) / static_cast<double>(count);
        std::printf("sampled %" PRId64 " instructions: %.2f T-states per instruction\n", count, t);
        return t;
    }();
    g_quiet = quiet_requested;

    // Event pass cost over the same stretch with different queues.
    const int64_t span = limit < 1'000'000'000 ? limit : 1'000'000'000;
    const char* names[] = {"placeholder only", "real event far ahead", "real event every 64 T"};
    double ns_per_instr[3] = {};
    for (int q = 0; q < 3; ++q) {
        segment best{1e30, 0};
        for (int rep = 0; rep < 2; ++rep) {
            const segment s = timed_segment(path, span, q);
            if (s.seconds < best.seconds)
                best = s;
        }
        const double instrs = static_cast<double>(best.tstates) / t_per_instr;
        ns_per_instr[q] = best.seconds * 1e9 / instrs;
        std::printf("event queue %-22s %.3f ns/instruction (%.0f M T-states/s)\n", names[q],
                    ns_per_instr[q], static_cast<double>(best.tstates) / best.seconds / 1e6);
    }
    std::printf("event pass cost, far event vs placeholder: %+.3f ns/instruction\n",
                ns_per_instr[1] - ns_per_instr[0]);
    std::printf("event pass cost, 64 T period vs placeholder: %+.3f ns/instruction\n",
                ns_per_instr[2] - ns_per_instr[0]);

    // The main run.
    if (!load_program(path))
        return 1;
    const auto t0 = std::chrono::steady_clock::now();
    const int64_t ran = run_for(limit);
    const double s = seconds_since(t0);
    std::printf("\n%s after %" PRId64 " T-states in %.2f s\n", g_done ? "finished" : "stopped", ran,
                s);
    std::printf("tstates_per_second: %.0f\n", static_cast<double>(ran) / s);
    return 0;
}
