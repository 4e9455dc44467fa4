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

#include "core/machine.h"
#include "core/event.h"
#include "support/cpm_shim.h"

namespace {

bool load_program(const std::string& path)
{
    if (cpm_load(path))
        return true;
    std::fprintf(stderr, "cannot load %s\n", path.c_str());
    return false;
}

double seconds_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
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

// The same stretch of the exerciser under one queue set-up, echo off.
segment timed_segment(const std::string& path, int64_t span, int queue)
{
    cpm_shim_state::echo = false;
    load_program(path);
    if (queue == 1)
        event_setup(1, INT64_MAX / 2, far_callback);
    else if (queue == 2)
        event_setup(1, 64, periodic_callback);
    const auto t0 = std::chrono::steady_clock::now();
    const int64_t ran = cpm_run(span);
    const double s = seconds_since(t0);
    event_remove_id(1);
    return {s, ran};
}

// Average T-states per instruction over the program's first stretch.
double tstates_per_instruction(const std::string& path)
{
    cpm_shim_state::echo = false;
    load_program(path);
    int64_t count = 0;
    while (!cpm_shim_state::finished && z80_state.tcount < 20'000'000) {
        z80_run_flat(0);
        ++count;
    }
    return static_cast<double>(z80_state.tcount) / static_cast<double>(count);
}

}  // namespace

int main(int argc, char** argv)
{
    int64_t limit = INT64_MAX;
    bool quiet = false;
    std::string path = std::string(BREVAN_TESTDATA) + "/z80/zexdoc.cim";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--tstates") && i + 1 < argc)
            limit = std::strtoll(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--program") && i + 1 < argc)
            path = argv[++i];
        else if (!std::strcmp(argv[i], "--quiet"))
            quiet = true;
        else {
            std::fprintf(stderr, "usage: %s [--tstates N] [--program file] [--quiet]\n", argv[0]);
            return 2;
        }
    }
    if (!load_program(path))
        return 1;

    const double t_per_instr = tstates_per_instruction(path);
    std::printf("%.2f T-states per instruction (first 20 M T-states, single-stepped)\n",
                t_per_instr);

    // Event pass cost over the same stretch with different queues; best of two.
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
    load_program(path);
    cpm_shim_state::echo = !quiet;
    const auto t0 = std::chrono::steady_clock::now();
    const int64_t ran = cpm_run(limit);
    const double s = seconds_since(t0);
    std::printf("\n%s after %" PRId64 " T-states in %.2f s\n",
                cpm_shim_state::finished ? "finished" : "stopped", ran, s);
    std::printf("tstates_per_second: %.0f\n", static_cast<double>(ran) / s);
    return 0;
}
