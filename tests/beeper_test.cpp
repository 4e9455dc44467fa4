#include <gtest/gtest.h>

#include <array>

#include "core/machine.h"
#include "devices/beeper.h"

namespace {

TEST(Beeper, LevelIsTheLowByteShiftedIntoBit12)
{
    std::array<int16_t, 6> buffer{};
    beeper_set_level(1);
    beeper_calc_samples(buffer.data(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(buffer[i], 4096);
    EXPECT_EQ(buffer[5], 0);

    beeper_set_level(0x101);
    EXPECT_EQ(the_machine.beeper.level, 4096);
    beeper_set_level(0x10);   // shifted past 16 bits
    EXPECT_EQ(the_machine.beeper.level, 0);
}

TEST(Beeper, ResetSilencesTheOutput)
{
    std::array<int16_t, 3> buffer{7, 7, 7};
    beeper_set_level(1);
    beeper_reset();
    beeper_calc_samples(buffer.data(), 3);
    EXPECT_EQ(buffer, (std::array<int16_t, 3>{0, 0, 0}));
}

TEST(Beeper, EmptyOrNegativeRenderWritesNothing)
{
    std::array<int16_t, 2> buffer{7, 7};
    beeper_set_level(1);
    beeper_calc_samples(buffer.data(), 0);
    beeper_calc_samples(buffer.data(), -3);
    EXPECT_EQ(buffer, (std::array<int16_t, 2>{7, 7}));
}

TEST(Beeper, InitStartsSilentAndJoinsTheEngine)
{
    beeper_set_level(1);
    beeper_init();
    EXPECT_EQ(the_machine.beeper.level, 0);
    // The engine resets its sources: a high beeper falls silent.
    beeper_set_level(1);
    sound_reset();
    EXPECT_EQ(the_machine.beeper.level, 0);
    sound_remove_source(&beeper);
}

} // namespace
