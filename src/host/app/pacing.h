// Speed control of the main loop: 50 frames per second against the host's
// high-resolution counter, never catching up after a stall.
#pragma once
#include <cstdint>

// The counter; replaceable so tests can drive a fake clock.
struct pacing_clock_t {
    int64_t (*now)();
    int64_t (*frequency)();
    void (*sleep_ms)(int ms);
};
void pacing_set_clock(const pacing_clock_t* clock);   // null: the real clock

extern int64_t g_50HzFreq, g_CurrentSpeed, g_1sFreq;
extern int64_t g_ElapsedCounter, g_ElapsedTemp, g_NextFrame, g_NextMeasure;
extern int32_t g_FrameInterval, g_Ticks, g_TotFrames, g_LastTotFrames;

void pacing_init(int sync);        // start-up: counter frequency, first deadlines
void pacing_reset();               // after anything that stalled the loop
void pacing_set_sync(int sync);    // "50 Hz időzítés" on or off

enum : int { PACE_PRESENT = 1, PACE_MEASURE = 2 };
// Called after each emulated frame (and sound flush): waits while more than
// one frame ahead (when synchronised), counts the frame and returns
// PACE_MEASURE with the new window title in title (at least 64 bytes) when
// the two-second measurement is due, and PACE_PRESENT when the screen is due.
int pacing_after_frame(int sync, char* title);
