// Speed control of the main loop. Everything is counted in ticks of a
// high-resolution counter; the emulation may run at most one frame ahead of
// real time and never tries to win back time lost in a stall.
#include "host/app/pacing.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

int64_t g_50HzFreq = 0, g_CurrentSpeed = 0, g_1sFreq = 0;
int64_t g_ElapsedCounter = 0, g_ElapsedTemp = 0, g_NextFrame = 0, g_NextMeasure = 0;
int32_t g_FrameInterval = 0, g_Ticks = 0, g_TotFrames = 0, g_LastTotFrames = 0;

namespace {

int64_t steady_now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch()).count();
}

int64_t steady_frequency() { return 1'000'000'000; }

void steady_sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

const pacing_clock_t real_clock{steady_now, steady_frequency, steady_sleep_ms};
const pacing_clock_t* clock_source = &real_clock;

int32_t frame_interval_for(int sync)
{
    const auto full = static_cast<int32_t>(g_50HzFreq);
    return sync ? full : static_cast<int32_t>(full * 0.5);
}

} // namespace

void pacing_set_clock(const pacing_clock_t* clock)
{
    clock_source = clock ? clock : &real_clock;
}

void pacing_init(int sync)
{
    const int64_t frequency = clock_source->frequency();
    g_50HzFreq = frequency / 50;
    const int64_t now = clock_source->now();
    g_ElapsedCounter = now;
    g_LastTotFrames = g_TotFrames = 0;
    g_Ticks = 0;
    g_FrameInterval = frame_interval_for(sync);
    g_NextFrame = now;
    g_ElapsedTemp = now;
    g_1sFreq = 2 * frequency;
    g_NextMeasure = now + g_1sFreq;
    g_CurrentSpeed = g_50HzFreq;
}

void pacing_reset()
{
    const int64_t now = clock_source->now();
    g_ElapsedCounter = now;
    g_Ticks = g_LastTotFrames = g_TotFrames = 0;
    g_NextFrame = g_ElapsedTemp = now;
    g_NextMeasure = now + g_1sFreq;
}

void pacing_set_sync(int sync)
{
    g_FrameInterval = frame_interval_for(sync);
}

int pacing_after_frame(int sync, char* title)
{
    int64_t now = clock_source->now();
    if (sync) {
        // Sleep the whole lead at once (in whole milliseconds) rather than
        // waking every millisecond to look at the clock.
        const int64_t ticks_per_ms = std::max<int64_t>(1, g_1sFreq / 2000);
        while (g_ElapsedTemp - now > g_50HzFreq) {
            const int64_t lead = g_ElapsedTemp - g_50HzFreq - now;
            clock_source->sleep_ms(static_cast<int>(std::max<int64_t>(1, lead / ticks_per_ms)));
            now = clock_source->now();
        }
    }
    g_ElapsedCounter = now;
    ++g_Ticks;

    int due = 0;
    if (now >= g_NextMeasure) {
        g_NextMeasure += g_1sFreq;
        if (title)
            std::snprintf(title, 64, "Brevan - %d%% (%d fps)", g_Ticks,
                          (g_TotFrames - g_LastTotFrames) >> 1);
        g_Ticks = 0;
        g_LastTotFrames = g_TotFrames;
        due |= PACE_MEASURE;
    }
    if (now >= g_NextFrame) {
        ++g_TotFrames;
        g_NextFrame += g_FrameInterval;
        due |= PACE_PRESENT;
    }
    g_ElapsedTemp += g_CurrentSpeed;
    return due;
}
