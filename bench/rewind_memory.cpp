// Rewind: what the ring of machine states holds after more than a minute of
// running, what it may hold at most, and what keeping states costs the
// frames, measured as frames per second with and without the ring.
//
//   rewind_memory [--frames N]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/event.h"
#include "core/machine.h"
#include "core/rewind.h"
#include "sound/sound.h"

namespace {

double run(int frames, rewind_ring* ring)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
        machine_run();
        sound_flush(z80_state.tcount);
        if (ring) ring->frame_done();
    }
    return frames / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    int frames = 4000;   // 80 s of emulated time
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--frames") && i + 1 < argc) frames = std::atoi(argv[++i]);
    if (frames <= 0) frames = 1;

    machine_init(MODEL_A64, ".");
    event_init();
    run(200, nullptr);   // the firmware is up

    const double without = run(frames, nullptr);
    rewind_ring ring(60);
    const double with = run(frames, &ring);

    std::printf("machine_state_bytes: %zu\n", sizeof(machine));
    std::printf("states_kept: %zu of %zu\n", ring.states(), ring.capacity());
    std::printf("ring_bytes: %zu\n", ring.bytes());
    std::printf("ring_max_bytes: %zu\n", ring.max_bytes());
    std::printf("frames_per_second_without_ring: %.0f\n", without);
    std::printf("frames_per_second_with_ring: %.0f\n", with);
    std::printf("ring_cost: %.2f%%\n", 100.0 * (without - with) / without);
    return 0;
}
