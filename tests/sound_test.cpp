#include <gtest/gtest.h>

#include <numeric>

#include "core/machine.h"
#include "cpu/cpu.h"
#include "sound/filter.h"
#include "sound/sound.h"
#include "support/fake_sound_driver.h"

namespace {

class SoundEngine : public ::testing::Test {
protected:
    int64_t t = 0;

    void SetUp() override
    {
        the_machine = machine{};   // a machine of its own
        fake_sound_engine_start(5, 1);
        fake_sound.keep_lead = true;
        fake_sound.lead_fragments = 5;
    }

    void TearDown() override
    {
        sound_resume();
        sound_close_wav();
        sound_remove_source(&fake_source);
    }

    // Restarts the clock at t = 0 with an even lead history.
    void set_timing(int history_value, int next_fragment_count)
    {
        fake_sound_set_timing(history_value, next_fragment_count);
        t = 0;
    }

    void advance(int64_t samples)
    {
        t += samples * CYCLES_PER_SAMPLE_160;
        sound_update(t);
    }

    static std::vector<int> renders() { return fake_source_state.renders; }
};

TEST(SoundClock, OneFrameIsOneFragmentAtBothClockRates)
{
    z80_state.cycles_per_line = 160;
    EXPECT_EQ(sound_sample_position(49920), 960);
    EXPECT_EQ(sound_sample_position(2 * 49920), 1920);
    EXPECT_EQ(sound_sample_position(-1), 0);
    z80_state.cycles_per_line = 240;
    EXPECT_EQ(sound_sample_position(74880), 960);
    EXPECT_EQ(sound_sample_position(78), 1);    // 77.5 cycles round up
    EXPECT_EQ(sound_sample_position(38), 0);
    z80_state.cycles_per_line = 160;
}

TEST_F(SoundEngine, FlushesOneFrameApartProduceOneFragmentAtFastClock)
{
    z80_state.cycles_per_line = 240;
    sound_flush(74880);
    ASSERT_EQ(fake_sound.writes.size(), 1u);
    EXPECT_EQ(fake_sound.writes[0].position, 0u);
    EXPECT_EQ(fake_sound.writes[0].samples.size(), 960u);
    sound_flush(2 * 74880);
    EXPECT_EQ(fake_sound.writes.size(), 2u);
    EXPECT_EQ(fake_sound.writes[1].position, 1920u);
    EXPECT_EQ(sound_get_timing().sound_update_pos, 0u);
}

TEST_F(SoundEngine, UpdateAtTheSameCycleRendersNothing)
{
    advance(100);
    sound_update(t);
    EXPECT_EQ(renders(), std::vector<int>({100}));
    EXPECT_EQ(sound_get_timing().sound_update_pos, 100u);
}

TEST_F(SoundEngine, ExactlyOneFragmentCompletesWithoutRemainder)
{
    advance(480);
    advance(480);
    EXPECT_EQ(renders(), std::vector<int>({480, 480}));
    EXPECT_EQ(fake_sound.writes.size(), 1u);
    EXPECT_EQ(sound_get_timing().sound_update_pos, 0u);
    EXPECT_EQ(sound_get_timing().sb_pos, 1920u);
}

TEST_F(SoundEngine, RemainderStartsTheNextFragment)
{
    advance(900);
    advance(100);
    EXPECT_EQ(renders(), std::vector<int>({900, 60, 40}));
    EXPECT_EQ(fake_sound.writes.size(), 1u);
    EXPECT_EQ(sound_get_timing().sound_update_pos, 40u);
}

TEST_F(SoundEngine, LongStepKeepsOnlyOneFragmentAndTheRemainder)
{
    advance(2500);
    EXPECT_EQ(renders(), std::vector<int>({960, 2500 % 960}));
    EXPECT_EQ(fake_sound.writes.size(), 1u);
    EXPECT_EQ(sound_get_timing().sound_update_pos, 2500u % 960);
}

TEST_F(SoundEngine, BackwardStepCountsAsLongStepWithoutOverrun)
{
    advance(5);
    t -= CYCLES_PER_SAMPLE_160;
    sound_update(t);
    const int rem = static_cast<int>((5ull + 0xFFFFFFFFull) % 960);
    EXPECT_EQ(renders(), std::vector<int>({5, 955, rem}));
    EXPECT_EQ(fake_sound.writes.size(), 1u);
    EXPECT_EQ(sound_get_timing().sound_update_pos, static_cast<uint32_t>(rem));
    EXPECT_EQ(sound_get_timing().last_sample_pos, 4);
}

TEST_F(SoundEngine, FragmentsWrapAroundTheRing)
{
    for (int i = 0; i < 51; ++i) advance(960);
    ASSERT_EQ(fake_sound.writes.size(), 51u);
    EXPECT_EQ(fake_sound.writes[49].position, 94080u);
    EXPECT_EQ(fake_sound.writes[50].position, 0u);
}

TEST_F(SoundEngine, LowLeadDoublesAFragmentAndRaisesTheHistory)
{
    fake_sound.keep_lead = false;
    fake_sound.position = 0;
    set_timing(0, 1);
    advance(960);
    EXPECT_EQ(renders(), std::vector<int>({960, 960}));
    ASSERT_EQ(fake_sound.writes.size(), 2u);
    EXPECT_EQ(fake_sound.writes[1].position, 1920u);
    const sound_timing_t timing = sound_get_timing();
    EXPECT_EQ(timing.next_fragment_count, 2);
    for (int v : timing.lead) EXPECT_EQ(v, 1);
    EXPECT_EQ(timing.sound_update_pos, 0u);
}

TEST_F(SoundEngine, HighLeadDropsSamplesAndLowersTheHistory)
{
    fake_sound.lead_fragments = 7;
    set_timing(7, 1);
    advance(960);
    sound_timing_t timing = sound_get_timing();
    EXPECT_EQ(timing.next_fragment_count, 0);
    for (int v : timing.lead) EXPECT_EQ(v, 6);

    // The next step is not rendered; it only asks for a new decision.
    advance(500);
    EXPECT_EQ(renders(), std::vector<int>({960}));
    timing = sound_get_timing();
    EXPECT_EQ(timing.next_fragment_count, 1);
    EXPECT_EQ(timing.sound_update_pos, 0u);
    advance(960);
    EXPECT_EQ(fake_sound.writes.size(), 2u);
}

TEST_F(SoundEngine, FreshHistoryAsksForDoubleFragmentsUntilTheLeadBuildsUp)
{
    fake_sound.keep_lead = false;
    fake_sound.position = 0;
    set_timing(0, 1);
    int doubles = 0;
    int decision = 2;
    for (int i = 0; i < 30 && decision == 2; ++i) {
        decision = getNoFragsToGenerate();
        if (decision == 2) ++doubles;
    }
    EXPECT_GE(doubles, 4);
    EXPECT_EQ(decision, 1);
    const auto lead = sound_get_timing().lead;
    EXPECT_GT(std::accumulate(lead.begin(), lead.end(), 0) / SOUND_LEAD_HISTORY, 3);
}

TEST_F(SoundEngine, LeadOfHalfTheRingCountsAsLag)
{
    fake_sound.keep_lead = false;
    fake_sound.position = 96000 - 47999;
    getNoFragsToGenerate();
    fake_sound.position = 96000 - 48000;
    getNoFragsToGenerate();
    const sound_timing_t timing = sound_get_timing();
    EXPECT_EQ(timing.lead[0], 24);
    EXPECT_EQ(timing.lead[1], -25);
    EXPECT_EQ(timing.lead_position, 2);
}

TEST_F(SoundEngine, UnknownDevicePositionGivesOneFragmentAndKeepsHistory)
{
    fake_sound.keep_lead = false;
    fake_sound.position = -1;
    set_timing(0, 1);
    EXPECT_EQ(getNoFragsToGenerate(), 1);
    const sound_timing_t timing = sound_get_timing();
    EXPECT_EQ(timing.lead_position, 0);
    for (int v : timing.lead) EXPECT_EQ(v, 0);
}

TEST_F(SoundEngine, PauseCompletesTheFragmentInProgressThenWritesNothing)
{
    advance(100);
    sound_pause();
    EXPECT_EQ(fake_sound.pauses, 1);
    const auto history = sound_get_timing().lead;

    advance(900);
    EXPECT_EQ(fake_sound.writes.size(), 1u);
    EXPECT_EQ(sound_get_timing().next_fragment_count, 0);
    for (int i = 0; i < 5; ++i) advance(960);
    EXPECT_EQ(fake_sound.writes.size(), 1u);
    EXPECT_EQ(renders(), std::vector<int>({100, 860, 40}));
    EXPECT_EQ(sound_get_timing().lead, history);

    sound_resume();
    EXPECT_EQ(fake_sound.resumes, 1);
    advance(960);   // the first step after resuming only decides
    EXPECT_EQ(fake_sound.writes.size(), 1u);
    advance(960);
    EXPECT_EQ(fake_sound.writes.size(), 2u);
}

TEST_F(SoundEngine, FragmentsPassThroughTheHighPassFilter)
{
    // Let the filter's memory die away on silence first.
    for (int i = 0; i < 60; ++i) advance(960);
    fake_source_state.level = 4096;
    const size_t before = fake_sound.writes.size();
    advance(960);
    ASSERT_EQ(fake_sound.writes.size(), before + 1);
    const auto& samples = fake_sound.writes.back().samples;
    EXPECT_EQ(samples[0], 4069);
    EXPECT_LT(samples[959], samples[0]);
    EXPECT_GT(samples[959], 0);
}

TEST_F(SoundEngine, LaterSourcesAreMixedIntoTheFirst)
{
    static fake_source_state_t second_state;
    static sound_source_t second{"second", nullptr,
                                 [](int16_t* buffer, int count) {
                                     for (int i = 0; i < count; ++i) buffer[i] = 23;
                                     second_state.renders.push_back(count);
                                 },
                                 nullptr};
    for (int i = 0; i < 60; ++i) advance(960);
    sound_add_source(&second);
    fake_source_state.level = 100;
    advance(960);
    sound_remove_source(&second);

    filter_t* expected = filter_iir_create(0, 50);
    EXPECT_EQ(fake_sound.writes.back().samples[0], filter_output(expected, 123, 48000));
    EXPECT_EQ(fake_sound.writes.back().samples[1], filter_output(expected, 123, 48000));
    filter_destroy(&expected);
    EXPECT_EQ(second_state.renders, std::vector<int>({960}));
}

TEST_F(SoundEngine, SourceListIgnoresDuplicatesAndUnlinksOnRemoval)
{
    sound_add_source(&fake_source);   // already the only source
    advance(10);
    EXPECT_EQ(renders(), std::vector<int>({10}));
    sound_remove_source(&fake_source);
    EXPECT_EQ(fake_source.next, nullptr);
    advance(10);
    EXPECT_EQ(renders(), std::vector<int>({10}));
    sound_add_source(&fake_source);
}

TEST_F(SoundEngine, ResetRewindsTheRingAndResetsSources)
{
    advance(960 + 100);
    sound_reset();
    EXPECT_EQ(fake_sound.resets, 2);   // sound_init and sound_reset
    EXPECT_EQ(fake_source_state.resets, 1);
    EXPECT_EQ(sound_get_timing().sb_pos, 0u);
    EXPECT_EQ(sound_get_timing().sound_update_pos, 0u);
}

TEST_F(SoundEngine, DriverSwitchClosesTheOutgoingDriver)
{
    sound_register_driver(&fake_sound_driver);   // re-opening itself
    EXPECT_EQ(fake_sound.closes, 0);
    sound_null_driver_init();
    EXPECT_EQ(fake_sound.closes, 1);
    advance(960);
    EXPECT_TRUE(fake_sound.writes.empty());
    sound_register_driver(&fake_sound_driver);
    advance(960);
    EXPECT_EQ(fake_sound.writes.size(), 1u);
    sound_close();
    EXPECT_EQ(fake_sound.closes, 2);
}

} // namespace
