// A WAV tape played by the firmware's loader gives the processor, after
// every instruction, the input bit, the falling-edge interrupts and the
// beeper's echo that a player taking one sample per sample period gives:
// at every rate, at either clock, in either polarity, with and without a
// band around the midline, through the motor switching on and off. A
// machine put back from a copy in the middle of a load goes on exactly.
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
// sample while the tape rolls, whether or not the level changes. A sample
// above the band reads low (high when flipped), one below it the other
// way, one inside keeps the level; a stretch at the midline and the end of
// the data end the half wave in progress.
struct sample_player {
    std::vector<uint8_t> samples;
    uint32_t rate = 0;
    int band = 0;
    uint8_t high = 0;
    size_t quiet_run = 2;
    int64_t due = 0;
    uint64_t remainder = 0;
    size_t next = 0;
    uint8_t level = 0;
    uint16_t echo = 0;   // the beeper follows the input's changes
    size_t quiet = 0;
    bool in_half = false, ended = false, rolling = false, fell = false;

    // What the last instruction did to the transport: a stop grounds the input.
    void follow_transport()
    {
        const bool now = tape_rolling() != 0;
        if (rolling && !now) level = 0;
        rolling = now;
    }
    void end_half_wave()
    {
        if (in_half) level = level ? 0 : 4;
        in_half = false;
    }
    void take()
    {
        if (next >= samples.size()) {
            if (!ended && quiet < quiet_run) end_half_wave();
            ended = true;
            return;
        }
        const int s = samples[next++];
        quiet = s >= 128 - band && s <= 128 + band ? quiet + 1 : 0;
        if (s > 127 + band || s < 128 - band) {
            level = s > 127 + band ? high : 4 - high;
            in_half = true;
        } else if (quiet == quiet_run) {
            end_half_wave();
        }
    }
    // The sample of this pass, if one is due.
    void pass()
    {
        fell = false;
        if (z80_state.tcount < due) return;
        if (rolling) {
            const uint8_t was = level;
            take();
            fell = was == 4 && level == 0;
            if (level != was) echo = level ? 0x1000 : 0;
        }
        remainder += z80_state.clock;
        due += static_cast<int64_t>(remainder / rate);
        remainder %= rate;
    }
};

sample_player reference;
long passes = 0, wrong_level = 0, wrong_interrupt = 0, wrong_echo = 0;
int64_t first_wrong = -1;

// Runs first in every pass, before the tape's own event: what it sees is
// what the last instruction read.
void observe(int64_t*)
{
    reference.follow_transport();
    const bool level_ok = the_machine.tape.read_in == reference.level;
    // Where interrupts are masked the latch shows each edge; it is cleared
    // here so that the next edge shows too.
    const bool interrupt_ok = z80_state.iff1 || (z80_state.int_request != 0) == reference.fell;
    const bool echo_ok = the_machine.beeper.level == reference.echo;
    wrong_level += !level_ok;
    wrong_interrupt += !interrupt_ok;
    wrong_echo += !echo_ok;
    if ((!level_ok || !interrupt_ok || !echo_ok) && first_wrong < 0) first_wrong = z80_state.tcount;
    z80_state.int_request = 0;
    ++passes;
    reference.pass();
}

std::string temp_wav(const char* name)
{
    return (std::filesystem::temp_directory_path() /
            ("brevan_" + std::string(name) + "_" + std::to_string(::getpid()) + ".wav")).string();
}

// Boots the A64 at the clock with the WAV in the deck and the loader
// waiting for it; the key is not yet down.
bytes start_load(int clock, int rate, const std::string& path)
{
    firmware_boot_at(MODEL_A64, clock);
    // Noise on every sample: the band decides, and the silences between
    // the programs' parts flicker at the midline.
    const bytes ptp = ptp_program_at("EDGES", 0x5000, pattern_bytes(300, 3), 0x5000);
    const bytes wav = tape_signal_wav(ptp, tape_wav_spec{rate, 8, 1, 312, 936, 20, false});
    EXPECT_TRUE(write_bytes(path, wav));
    EXPECT_EQ(tape_open_wav(path.c_str()), 1);
    firmware_type("L\r", 1);   // the loader runs the motor and waits for a leader
    return wav;
}

struct playback_case { int rate; int clock; bool flipped; int band; };

class TapePlayback : public ::testing::TestWithParam<playback_case> {
protected:
    void TearDown() override
    {
        event_remove_id(OBSERVER);
        tape_close();
        tape_set_play_key(0);
        tape_set_signal_flipped(0);
        wav_comp_level() = WAV_COMP_DEFAULT;
        std::filesystem::remove(path);
    }
    std::string path = temp_wav("playback");
};

TEST_P(TapePlayback, InputBitInterruptsAndEchoFollowTheSamplesPassByPass)
{
    const auto [rate, clock, flipped, band] = GetParam();
    tape_set_signal_flipped(flipped);
    wav_comp_level() = static_cast<uint8_t>(band);
    const bytes wav = start_load(clock, rate, path);

    reference = sample_player{};
    reference.samples.assign(wav.begin() + WAV_HEADER, wav.end());
    reference.rate = static_cast<uint32_t>(rate);
    reference.band = band;
    reference.high = flipped ? 4 : 0;
    reference.quiet_run = std::max(2, rate / 5000);
    reference.due = z80_state.tcount;
    reference.echo = the_machine.beeper.level;
    reference.rolling = true;
    passes = wrong_level = wrong_interrupt = wrong_echo = 0;
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
    EXPECT_EQ(wrong_echo, 0) << "first at T-state " << first_wrong;
}

INSTANTIATE_TEST_SUITE_P(Rates, TapePlayback,
                         ::testing::Values(playback_case{8000, 2500000, false, 0},
                                           playback_case{8000, 3750000, true, 24},
                                           playback_case{22050, 2500000, true, 0},
                                           playback_case{22050, 3750000, false, 24},
                                           playback_case{44100, 2500000, false, 24},
                                           playback_case{44100, 3750000, true, 0},
                                           playback_case{48000, 2500000, true, 24},
                                           playback_case{48000, 3750000, false, 0}),
                         [](const auto& info) {
                             return std::to_string(info.param.rate) + "HzAt" +
                                    std::to_string(info.param.clock / 1000) + "kHz" +
                                    (info.param.flipped ? "Flipped" : "") + "Band" +
                                    std::to_string(info.param.band);
                         });

// What a run leaves: memory, registers, time and the tape's place.
std::vector<int64_t> machine_picture()
{
    const z80_state_t& c = the_machine.cpu;
    const tape_t& t = the_machine.tape;
    std::vector<int64_t> p(the_machine.mem.memory.begin(), the_machine.mem.memory.end());
    p.insert(p.end(), {c.af, c.bc, c.de, c.hl, c.sp, c.pc, c.tcount, t.read_in, static_cast<int64_t>(t.played),
                       t.due, t.quiet, t.in_half});
    return p;
}

TEST(TapeRestore, AMachinePutBackInTheMiddleOfALoadGoesOnExactly)
{
    const std::string path = temp_wav("restore");
    start_load(2500000, 44100, path);
    tape_set_play_key(1);
    firmware_run_frames(120);
    ASSERT_TRUE(tape_rolling());
    const machine copy = the_machine;
    const std::vector<uint8_t> records = devices_save();
    firmware_run_frames(60);
    const std::vector<int64_t> expected = machine_picture();

    the_machine = copy;   // as rewinding does
    machine_restored();
    firmware_run_frames(60);
    EXPECT_TRUE(machine_picture() == expected);

    the_machine = copy;   // the records as a snapshot carries them
    the_machine.tape = tape_t{};
    event_remove_id(EVENT_TAPE);
    ASSERT_TRUE(devices_load(records.data(), records.size()));
    machine_restored();
    firmware_run_frames(60);
    EXPECT_TRUE(machine_picture() == expected);

    EXPECT_EQ(firmware_run_until_shown({"LOADED", "ERROR"}, 3000), "LOADED") << screen_text_dump();
    tape_close();
    tape_set_play_key(0);
    std::filesystem::remove(path);
}

}  // namespace
