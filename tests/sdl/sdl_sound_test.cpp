#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/hooks.h"
#include "core/machine.h"
#include "cpu/cpu.h"
#include "sound/sdl_sound.h"
#include "support/fake_sound_driver.h"

namespace {

std::string last_message;

// Polls (without asserting on speed) until the device has moved on.
bool position_moves_from(int start)
{
    for (int i = 0; i < 400; ++i) {
        if (sdl_sound_get_current_position() != start) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class SdlSound : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        last_message.clear();
        fake_sound_install();
    }
    void TearDown() override
    {
        sound_null_driver_init();
    }
};

TEST_F(SdlSound, FailureIsReportedAndKeepsThePreviousDriver)
{
    ASSERT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    const std::string saved = std::getenv("SDL_AUDIODRIVER");
    setenv("SDL_AUDIODRIVER", "no-such-audio-driver", 1);
    EXPECT_FALSE(sdl_sound_open(48000, &last_message));
    setenv("SDL_AUDIODRIVER", saved.c_str(), 1);

    EXPECT_NE(last_message.find("SDL"), std::string::npos) << last_message;
    EXPECT_EQ(fake_sound.closes, 0);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    EXPECT_EQ(sdl_sound_get_current_position(), -1);
}

TEST_F(SdlSound, OpeningMakesItCurrentAndPlays)
{
    ASSERT_EQ(sdl_sound_init(48000), 1) << last_message;
    EXPECT_EQ(fake_sound.closes, 1);
    EXPECT_STREQ(sdl_sound_driver.name, "SDL");
    const int start = sdl_sound_get_current_position();
    EXPECT_GE(start, 0);
    EXPECT_LT(start, SOUND_RING_BYTES);
    EXPECT_TRUE(position_moves_from(start));
}

TEST_F(SdlSound, WriteWrapsAtTheEndOfTheRing)
{
    ASSERT_EQ(sdl_sound_init(48000), 1) << last_message;
    sdl_sound_pause();
    std::array<uint8_t, 1920> data{};
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
    EXPECT_EQ(sdl_sound_write(data.data(), 95040, 1920), 1);

    std::array<uint8_t, 960> tail{}, head{};
    ASSERT_EQ(sdl_sound_peek_ring(95040, tail.data(), 960), 1);
    ASSERT_EQ(sdl_sound_peek_ring(0, head.data(), 960), 1);
    EXPECT_EQ(std::memcmp(tail.data(), data.data(), 960), 0);
    EXPECT_EQ(std::memcmp(head.data(), data.data() + 960, 960), 0);
}

TEST_F(SdlSound, PauseHoldsThePositionAndResumeMovesOn)
{
    ASSERT_EQ(sdl_sound_init(48000), 1) << last_message;
    ASSERT_TRUE(position_moves_from(sdl_sound_get_current_position()));
    sdl_sound_pause();
    const int held = sdl_sound_get_current_position();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(sdl_sound_get_current_position(), held);
    sdl_sound_resume();
    EXPECT_TRUE(position_moves_from(held));
}

TEST_F(SdlSound, CloseReleasesAndReopenWorks)
{
    ASSERT_EQ(sdl_sound_init(48000), 1) << last_message;
    sound_null_driver_init();   // sound switched off
    EXPECT_EQ(sdl_sound_get_current_position(), -1);
    std::array<uint8_t, 1920> data{};
    EXPECT_EQ(sdl_sound_write(data.data(), 0, 1920), 0);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);

    ASSERT_EQ(sdl_sound_init(48000), 1) << last_message;   // and on again
    EXPECT_TRUE(position_moves_from(sdl_sound_get_current_position()));
    // Opening again while open replaces the device and stays current.
    ASSERT_EQ(sdl_sound_init(48000), 1) << last_message;
    EXPECT_GE(sdl_sound_get_current_position(), 0);
}

TEST_F(SdlSound, EngineFragmentsLandInTheRing)
{
    ASSERT_EQ(sdl_sound_init(48000), 1) << last_message;
    sound_init();
    sound_remove_source(&fake_source);
    sound_add_source(&fake_source);
    fake_source_state.level = 4096;
    sound_timing_t timing = sound_get_timing();
    timing.last_sample_pos = 0;
    timing.sound_update_pos = 0;
    timing.sb_pos = 0;
    timing.next_fragment_count = 1;
    sound_set_timing(timing);
    z80_state.cycles_per_line = 160;
    sound_flush(960 * CYCLES_PER_SAMPLE_160);
    sound_remove_source(&fake_source);

    std::array<int16_t, 960> ring{};
    ASSERT_EQ(sdl_sound_peek_ring(0, reinterpret_cast<uint8_t*>(ring.data()), 1920), 1);
    EXPECT_GT(ring[0], 0);   // a filtered step, not silence
    EXPECT_GT(ring[959], 0);
}

TEST_F(SdlSound, PauseAndResumeRampTheLevelInsteadOfClicking)
{
    // SDL's disk driver writes what the device would play to a file.
    const std::string out = "/tmp/brevan_sdl_fade_" + std::to_string(::getpid()) + ".raw";
    const std::string saved = std::getenv("SDL_AUDIODRIVER");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
    ASSERT_EQ(sdl_sound_init(48000), 1) << last_message;
    constexpr int16_t LEVEL = 12000;
    std::vector<int16_t> loud(SOUND_RING_BYTES / 2, LEVEL);
    sdl_sound_write(loud.data(), 0, SOUND_RING_BYTES);
    auto wait = [] { std::this_thread::sleep_for(std::chrono::milliseconds(80)); };
    wait();
    sdl_sound_pause();
    wait();
    sdl_sound_resume();
    wait();
    sound_null_driver_init();
    setenv("SDL_AUDIODRIVER", saved.c_str(), 1);

    std::ifstream file(out, std::ios::binary);
    std::vector<int16_t> played;
    for (int16_t v; file.read(reinterpret_cast<char*>(&v), sizeof v);) played.push_back(v);
    std::remove(out.c_str());
    ASSERT_GT(played.size(), 2000u);
    int largest_step = 0, silent = 0, full = 0;
    for (size_t i = 1; i < played.size(); ++i) {
        largest_step = std::max(largest_step, std::abs(played[i] - played[i - 1]));
        silent += played[i] == 0;
        full += played[i] == LEVEL;
    }
    EXPECT_GT(full, 1000);
    EXPECT_GT(silent, 1000) << "the pause was heard as silence";
    EXPECT_LE(largest_step, 2 * LEVEL / 240) << "a jump of the level is a click";
}

} // namespace
