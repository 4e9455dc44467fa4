#include <gtest/gtest.h>

#include <array>

#include "sound/filter.h"

namespace {

class HighPass : public ::testing::Test {
protected:
    filter_t* filter = nullptr;
    void SetUp() override { filter = filter_iir_create(0, 50); }
    void TearDown() override { filter_destroy(&filter); }
};

TEST_F(HighPass, FirstUseComputesTheEngineCoefficients)
{
    filter_output(filter, 0, 48000);
    EXPECT_EQ(filter->sample_rate, 48000u);
    EXPECT_NEAR(filter->decay, 0.9934763870659812, 1e-15);
    EXPECT_NEAR(filter->gain, 0.006523612934018819, 1e-15);
}

TEST_F(HighPass, StepOf4096StartsAt4069AndDecays)
{
    EXPECT_EQ(filter_output(filter, 4096, 48000), 4069);
    EXPECT_NEAR(filter->state, 26.72, 0.01);
    int previous = 4069;
    for (int i = 0; i < 2000; ++i) {
        const int y = filter_output(filter, 4096, 48000);
        EXPECT_LE(y, previous);
        previous = y;
    }
    EXPECT_LT(previous, 10);

    // Back to silence: a small undershoot that returns to zero.
    const int first = filter_output(filter, 0, 48000);
    EXPECT_LT(first, 0);
    int y = first;
    for (int i = 0; i < 5000; ++i) y = filter_output(filter, 0, 48000);
    EXPECT_EQ(y, 0);
}

TEST_F(HighPass, CoefficientsRecomputeOnlyWhenTheRateChanges)
{
    filter_output(filter, 0, 48000);
    filter->decay = 0.5;   // marker: survives a call at the same rate
    filter_output(filter, 0, 48000);
    EXPECT_EQ(filter->decay, 0.5);
    filter_output(filter, 0, 44100);
    EXPECT_EQ(filter->sample_rate, 44100u);
    EXPECT_NEAR(filter->decay, 0.99290, 1e-5);
    EXPECT_DOUBLE_EQ(filter->gain, 1.0 - filter->decay);
}

TEST_F(HighPass, NewCutoffTakesEffectAtTheStoredRate)
{
    filter_output(filter, 0, 48000);
    filter_set_cutoff(filter, 100);
    EXPECT_EQ(filter->cutoff, 100u);
    EXPECT_NEAR(filter->decay, 0.98699, 1e-5);
    EXPECT_DOUBLE_EQ(filter->gain, 1.0 - filter->decay);
}

TEST_F(HighPass, BufferFilteringMatchesSampleBySampleAndWrapsTo16Bits)
{
    filter_t* reference = filter_iir_create(0, 50);
    std::array<int16_t, 4> buffer{4096, 4096, -32768, 32767};
    std::array<int, 4> expected{};
    for (size_t i = 0; i < buffer.size(); ++i)
        expected[i] = static_cast<int16_t>(filter_output(reference, buffer[i], 48000));
    filter_buffer_output(filter, 4, buffer.data(), 48000);
    for (size_t i = 0; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], expected[i]) << i;
    filter_destroy(&reference);
}

TEST(LowPass, OutputsTheRoundedState)
{
    filter_t* filter = filter_iir_create(1, 50);
    EXPECT_EQ(filter_output(filter, 4096, 48000), 27);
    filter_destroy(&filter);
}

TEST(NullFilter, PassesSamplesThroughAndDestroyIsHarmless)
{
    EXPECT_EQ(filter_output(nullptr, -1234, 48000), -1234);
    std::array<int16_t, 2> buffer{5, -5};
    filter_buffer_output(nullptr, 2, buffer.data(), 48000);
    EXPECT_EQ(buffer, (std::array<int16_t, 2>{5, -5}));
    filter_t* none = nullptr;
    filter_destroy(&none);
    filter_destroy(nullptr);
    filter_set_cutoff(nullptr, 10);
}

} // namespace
