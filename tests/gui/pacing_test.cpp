// The main loop's pacing against a fake counter: speed display, no catching
// up after a stall, and the screen update limit when unsynchronised.
#include <gtest/gtest.h>

#include <string>

#include "host/app/pacing.h"

namespace {

constexpr int64_t FREQUENCY = 1'000'000;   // a microsecond counter
constexpr int64_t FRAME = FREQUENCY / 50;

int64_t fake_now = 0;
int sleeps = 0;

int64_t now() { return fake_now; }
int64_t frequency() { return FREQUENCY; }
void sleep_ms(int ms)
{
    ++sleeps;
    fake_now += ms * FREQUENCY / 1000;
}

const pacing_clock_t fake_clock{now, frequency, sleep_ms};

class Pacing : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake_now = 1'000'000'000;
        sleeps = 0;
        pacing_set_clock(&fake_clock);
    }
    void TearDown() override { pacing_set_clock(nullptr); }

    // Runs frames of the given host cost; collects titles and presents.
    void run(int frames, int sync, int64_t cost)
    {
        for (int i = 0; i < frames; ++i) {
            fake_now += cost;
            char title[64] = "";
            const int due = pacing_after_frame(sync, title);
            if (due & PACE_MEASURE) titles.emplace_back(title);
            if (due & PACE_PRESENT) ++presents;
        }
    }
    std::vector<std::string> titles;
    int presents = 0;
};

TEST_F(Pacing, SynchronisedRunShowsFullSpeedAndFiftyFramesASecond)
{
    pacing_init(1);
    run(400, 1, 0);
    ASSERT_GE(titles.size(), 2u);
    // The first window includes the frame the loop may run ahead.
    EXPECT_EQ(titles[1], "Brevan - 100% (50 fps)");
    EXPECT_EQ(titles[2], "Brevan - 100% (50 fps)");
    EXPECT_GT(sleeps, 0);
}

TEST_F(Pacing, NeverRunsMoreThanOneFrameAhead)
{
    pacing_init(1);
    const int64_t start = fake_now;
    run(100, 1, 0);
    // 100 frames of 20 ms: all but the last two had to wait for their time.
    EXPECT_GE(fake_now - start, 98 * FRAME);
    EXPECT_LE(g_ElapsedTemp - fake_now, 2 * FRAME);
}

TEST_F(Pacing, StallIsNotCaughtUpAfterAReset)
{
    pacing_init(1);
    run(60, 1, 0);
    fake_now += 5 * FREQUENCY;   // a dialog held the loop for five seconds
    pacing_reset();
    const int before = sleeps;
    run(3, 1, 0);
    EXPECT_GT(sleeps, before) << "after the reset frames wait for their time again";
    titles.clear();
    run(300, 1, 0);
    ASSERT_FALSE(titles.empty());
    EXPECT_EQ(titles.back(), "Brevan - 100% (50 fps)");
}

TEST_F(Pacing, SlowHostRunsBehindWithoutWaitingAndSkipsPresents)
{
    pacing_init(1);
    run(400, 1, FRAME * 2);   // each frame costs two frame periods
    EXPECT_EQ(sleeps, 0);
    ASSERT_GE(titles.size(), 2u);
    EXPECT_EQ(titles[1], "Brevan - 50% (25 fps)");
}

TEST_F(Pacing, UnsynchronisedRunPresentsAtMostAHundredFramesASecond)
{
    pacing_init(0);
    run(3000, 0, FRAME / 10);   // ten times faster than real time
    EXPECT_EQ(sleeps, 0);
    ASSERT_GE(titles.size(), 2u);
    EXPECT_EQ(titles[1], "Brevan - 1000% (100 fps)");
    // Six seconds of host time: at most one present every 10 ms.
    EXPECT_LE(presents, 601);
    EXPECT_GE(presents, 599);
}

} // namespace
