// Rewind: stepping back a second at a time and running on with the same
// input gives the machine that never stepped back, frame for frame.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/machine.h"
#include "core/memory.h"
#include "core/rewind.h"
#include "support/fake_keyboard.h"
#include "support/firmware_driver.h"

namespace {

constexpr int FRAMES = 420;

// The keys held in each frame: a line typed from frame 60 on, a key down
// for four frames and up for four.
void hold_keys_of_frame(int frame)
{
    static const host_key line[] = {HK_P, HK_R, HK_I, HK_N, HK_T, HK_SPACE, HK_4, HK_2, HK_ENTER,
                                    HK_1, HK_0, HK_SPACE, HK_R, HK_E, HK_M, HK_ENTER};
    for (host_key k : line) fake_keyboard_release(k);
    const int step = (frame - 60) / 4;
    if (frame >= 60 && step % 2 == 0 && step / 2 < static_cast<int>(std::size(line)))
        fake_keyboard_press(line[step / 2]);
}

struct picture {
    std::vector<uint8_t> ram;
    std::vector<int64_t> cpu;
    bool operator==(const picture&) const = default;
};

picture now()
{
    const z80_state_t& c = the_machine.cpu;
    return {std::vector<uint8_t>(the_machine.mem.memory.begin(), the_machine.mem.memory.end()),
            {c.af, c.bc, c.de, c.hl, c.sp, c.pc, c.ix, c.iy, c.tcount, the_machine.beeper.level}};
}

// Runs from the ring's frame to `to`, with the keys of each frame.
void run_to(rewind_ring& ring, int to)
{
    while (ring.frame() < to) {
        hold_keys_of_frame(static_cast<int>(ring.frame()));
        machine_run();
        ring.frame_done();
    }
}

TEST(Rewind, SteppingBackAndRunningOnGivesTheMachineThatNeverSteppedBack)
{
    firmware_boot(MODEL_A64, 0);
    const machine start = the_machine;
    rewind_ring straight(60);
    run_to(straight, FRAMES);
    const picture expected = now();
    ASSERT_NE(expected.ram, std::vector<uint8_t>(0x10000, 0));

    the_machine = start;   // the same machine again
    machine_restored();
    rewind_ring ring(60);
    run_to(ring, FRAMES - 25);
    const picture before = now();
    EXPECT_TRUE(ring.step_back());
    EXPECT_EQ(ring.frame(), 350) << "back to the second's mark before";
    EXPECT_TRUE(ring.step_back());
    EXPECT_TRUE(ring.step_back());
    EXPECT_EQ(ring.frame(), 250);
    EXPECT_FALSE(now() == before);
    run_to(ring, FRAMES);
    EXPECT_TRUE(now() == expected);
}

TEST(Rewind, TheRingKeepsTheLastMinuteAndNoMore)
{
    firmware_boot(MODEL_A64, 0);
    rewind_ring ring(3);
    run_to(ring, 5 * rewind_ring::FRAMES_PER_STATE);
    EXPECT_EQ(ring.states(), 3u);
    EXPECT_EQ(ring.bytes(), ring.max_bytes());
    EXPECT_TRUE(ring.step_back());
    EXPECT_TRUE(ring.step_back());
    EXPECT_EQ(ring.frame(), 3 * rewind_ring::FRAMES_PER_STATE);
    EXPECT_FALSE(ring.step_back()) << "the oldest state is all there is";
    EXPECT_EQ(ring.frame(), 3 * rewind_ring::FRAMES_PER_STATE);
    run_to(ring, 5 * rewind_ring::FRAMES_PER_STATE);
    EXPECT_EQ(ring.states(), 3u);
}

}  // namespace
