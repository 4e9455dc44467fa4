// A WAV tape played by the firmware's loader gives the processor, after
// every instruction, the input bit and the falling-edge interrupts that a
// player taking one sample per sample period gives: at every rate, at
// either clock, through the motor switching on and off.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

#include "core/event.h"
#include "core/machine.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "devices/tape.h"
#include "support/firmware_driver.h"
#include "support/ptp_image.h"
#include "support/screen_text.h"
#include "support/tape_signal.h"

namespace {

constexpr int OBSERVER = 2;   // an event due at every pass
constexpr size_t WAV_HEADER = 44;

// The player as a sample clock: every sample period it takes the next
// sample while the tape rolls, whether or not the level changes.
struct sample_player {
    std::vector<uint8_t> samples;
    uint32_t rate = 0;
    int64_t due = 0;
    uint64_t remainder = 0;
    size_t next = 0;
    uint8_t level = 0;
    bool rolling = false;
    bool fell = false;

    // What the last instruction did to the transport: a stop grounds the input.
    void follow_transport()
    {
        const bool now = tape_rolling() != 0;
        if (rolling && !now) level = 0;
        rolling = now;
    }
    // The sample of this pass, if one is due.
    void pass()
    {
        fell = false;
        if (z80_state.tcount < due) return;
        if (rolling && next < samples.size()) {
            const uint8_t s = samples[next++];
            const uint8_t was = level;
            if (s > 127 + wav_comp_level) level = 4;
            else if (s < 128 - wav_comp_level) level = 0;
            fell = was == 4 && level == 0;
        }
        remainder += z80_state.clock;
        due += static_cast<int64_t>(remainder / rate);
        remainder %= rate;
    }
};

sample_player reference;
long passes = 0, wrong_level = 0, wrong_interrupt = 0;
int64_t first_wrong = -1;

// Runs first in every pass, before the tape's own event: what it sees is
// what the last instruction read.
void observe(int64_t*)
{
    reference.follow_transport();
    const bool level_ok = tape_read_in == reference.level;
    // Where interrupts are masked the latch shows each edge; it is cleared
    // here so that the next edge shows too.
    const bool interrupt_ok = z80_state.iff1 || (z80_state.int_request != 0) == reference.fell;
    if (!level_ok) ++wrong_level;
    if (!interrupt_ok) ++wrong_interrupt;
    if ((!level_ok || !interrupt_ok) && first_wrong < 0) first_wrong = z80_state.tcount;
    z80_state.int_request = 0;
    ++passes;
    reference.pass();
}

struct playback_case { int rate; int clock; };

class TapePlayback : public ::testing::TestWithParam<playback_case> {
protected:
    void TearDown() override
    {
        event_remove_id(OBSERVER);
        tape_close();
        tape_set_play_key(0);
        std::filesystem::remove(path);
    }
    std::string path = (std::filesystem::temp_directory_path() /
                        ("brevan_playback_" + std::to_string(::getpid()) + ".wav")).string();
};

TEST_P(TapePlayback, InputBitAndInterruptsFollowTheSamplesPassByPass)
{
    const auto [rate, clock] = GetParam();
    firmware_boot(MODEL_A64);
    if (clock != 2500000) {
        machine_set_clock(clock);
        machine_hard_reset();
        firmware_run_frames(30);
    }
    // Noise on every sample: the hysteresis decides, and the silences
    // between the programs' parts flicker at the midline.
    const bytes ptp = ptp_program_at("EDGES", 0x5000, pattern_bytes(300, 3), 0x5000);
    const bytes wav = tape_signal_wav(ptp, tape_wav_spec{rate, 8, 1, 312, 936, 20, false});
    ASSERT_TRUE(write_bytes(path, wav));
    ASSERT_EQ(tape_open_wav(path.c_str()), 1);
    firmware_type("L\r", 1);   // the loader runs the motor and waits for a leader

    reference = sample_player{};
    reference.samples.assign(wav.begin() + WAV_HEADER, wav.end());
    reference.rate = static_cast<uint32_t>(rate);
    reference.due = z80_state.tcount;
    reference.rolling = true;
    passes = wrong_level = wrong_interrupt = 0;
    first_wrong = -1;
    tape_set_play_key(1);
    ASSERT_TRUE(tape_rolling());
    event_setup(OBSERVER, -1, observe);

    EXPECT_EQ(firmware_run_until_shown({"LOADED", "ERROR"}, 3000), "LOADED") << screen_text_dump();
    // The firmware stops the motor after the load; the tape then stands.
    firmware_run_frames(20);
    EXPECT_FALSE(tape_rolling());
    EXPECT_GT(reference.next, reference.samples.size() * 9 / 10);
    EXPECT_GT(passes, 1000000);
    EXPECT_EQ(wrong_level, 0) << "first at T-state " << first_wrong;
    EXPECT_EQ(wrong_interrupt, 0) << "first at T-state " << first_wrong;
}

INSTANTIATE_TEST_SUITE_P(Rates, TapePlayback,
                         ::testing::Values(playback_case{8000, 2500000}, playback_case{8000, 3750000},
                                           playback_case{22050, 2500000}, playback_case{22050, 3750000},
                                           playback_case{44100, 2500000}, playback_case{44100, 3750000},
                                           playback_case{48000, 2500000}, playback_case{48000, 3750000}),
                         [](const auto& info) {
                             return std::to_string(info.param.rate) + "HzAt" +
                                    std::to_string(info.param.clock / 1000) + "kHz";
                         });

}  // namespace
