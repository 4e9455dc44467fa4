// The firmware's own tape routines at signal level: a program saved through
// the save entry points is recorded from the tape output bits, checked
// against the tape format, and played back into the tape input to load it
// again; and the loader entry points work when patched with traps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/machine.h"
#include "core/bus.h"
#include "core/memory.h"
#include "core/trap.h"
#include "cpu/cpu.h"
#include "devices/input.h"
#include "support/firmware_driver.h"
#include "support/screen_text.h"
#include "support/tape_signal.h"

namespace {

constexpr int RATE = 44100;
constexpr uint16_t FROM = 0x5000;
constexpr uint16_t TO = 0x5257;   // 600 bytes: blocks of 256, 256 and 88

uint8_t pattern(int i) { return static_cast<uint8_t>(i * 7 + (i >> 8) * 3 + 1); }

// The signal routines only, without the emulator's tape traps.
void remove_tape_traps()
{
    std::memcpy(rom_pointer(), source_rom_pointer(), 0x4000);
}

bool run_until_shown(const char* text, int max_frames)
{
    return !firmware_run_until_shown({text}, max_frames).empty();
}

// Boots, fills the area and saves it with S, recording the output.
std::vector<uint8_t> save_demo(int model)
{
    firmware_boot(model);
    remove_tape_traps();
    for (int i = FROM; i <= TO; ++i) mem_write(i, pattern(i - FROM));
    firmware_type("S \"DEMO\" 5000 5257");
    tape_signal_record_start(RATE);
    firmware_type("\r", 1);
    const bool saved = run_until_shown("SAVED", 2000);
    auto samples = tape_signal_record_stop();
    EXPECT_TRUE(saved) << screen_text_dump();
    return samples;
}

// The sum of the bytes between the type and the checksum, as stored.
uint8_t checksum(const std::vector<uint8_t>& block)
{
    int sum = 0;
    for (size_t i = 1; i + 1 < block.size(); ++i) sum += block[i];
    return static_cast<uint8_t>(sum);
}

// Each bit is a high and a low half wave of the same length: 312 us for a
// 1, 936 us for a 0; silence sits at the midline.
void expect_half_waves(const std::vector<uint8_t>& samples)
{
    std::vector<double> highs[2], lows[2];
    // Silence before the first and after the last edge.
    auto quiet_run = [&](size_t from, int step) {
        size_t n = 0;
        for (size_t i = from; i < samples.size() && samples[i] == 128; i += step) ++n;
        return n;
    };
    size_t at = 0, last = samples.size() - 1;
    while (at < samples.size() && samples[at] != 248) ++at;
    while (last > 0 && samples[last] == 8) --last;   // the motor is off after this
    ASSERT_GE(quiet_run(at - 1, -1), static_cast<size_t>(RATE / 5));
    ASSERT_GE(quiet_run(last, -1), static_cast<size_t>(RATE / 5));
    while (at < samples.size()) {
        size_t high = 0, low = 0;
        while (at < samples.size() && samples[at] == 248) ++at, ++high;
        while (at < samples.size() && samples[at] == 8) ++at, ++low;
        if (at < samples.size() && samples[at] == 128) break;
        const double us = 1e6 / RATE;
        const int bit = high * us < 624 ? 1 : 0;
        highs[bit].push_back(high * us);
        if (low * us < 2500) lows[bit].push_back(low * us);   // not the gaps between blocks
    }
    const double want[2] = {936, 312};
    for (int bit = 0; bit < 2; ++bit) {
        ASSERT_FALSE(highs[bit].empty());
        double h = 0, l = 0;
        for (double v : highs[bit]) h += v;
        for (double v : lows[bit]) l += v;
        EXPECT_NEAR(h / highs[bit].size(), want[bit], want[bit] * 0.06) << bit;
        EXPECT_NEAR(l / lows[bit].size(), want[bit], want[bit] * 0.06) << bit;
    }
}

class FirmwareTape : public ::testing::Test {
protected:
    void TearDown() override { tape_signal_stop(); }

    // Clears the area, types L and plays the samples into the tape input.
    void load(const std::vector<uint8_t>& samples, int clock = 2500000)
    {
        if (clock != 2500000) {
            machine_set_clock(clock);
            machine_hard_reset();
            firmware_run_frames(30);
        }
        remove_tape_traps();
        for (int i = FROM; i <= TO; ++i) mem_write(i, 0);
        firmware_type("L\r", 1);
        tape_signal_play(samples, RATE);
        for (int i = 0; i < 3000 && tape_signal_playing(); ++i) {
            firmware_run_frames(1);
            if (screen_shows("LOADED") || screen_shows("ERROR")) break;
        }
        firmware_run_frames(2);
    }
};

TEST_F(FirmwareTape, SaveWritesThePrimoTapeFormat)
{
    const auto samples = save_demo(MODEL_A64);
    const decoded_tape tape = tape_signal_decode(samples, RATE);
    ASSERT_EQ(tape.error, "");
    EXPECT_GE(tape.leader_bits, 512 * 8 - 16);
    ASSERT_EQ(tape.blocks.size(), 5u);

    const std::vector<uint8_t> name = {0x89, 0x00, 0x04, 'D', 'E', 'M', 'O', uint8_t(4 + 'D' + 'E' + 'M' + 'O')};
    EXPECT_EQ(tape.blocks[0], name);
    const int counts[] = {256, 256, 88};
    int offset = 0;
    for (int b = 0; b < 3; ++b) {
        const auto& block = tape.blocks[1 + b];
        ASSERT_EQ(block.size(), static_cast<size_t>(counts[b] + 6)) << b;
        EXPECT_EQ(block[0], 0xF9);
        EXPECT_EQ(block[1], b + 1);                            // BCD number
        EXPECT_EQ(block[2] | block[3] << 8, FROM + offset);   // absolute address
        EXPECT_EQ(block[4], counts[b] & 0xFF);
        for (int i = 0; i < counts[b]; ++i) ASSERT_EQ(block[5 + i], pattern(offset + i)) << b << ":" << i;
        EXPECT_EQ(block.back(), checksum(block)) << b;
        offset += counts[b];
    }
    const std::vector<uint8_t> end = {0xE9, 0x04, 0x04};
    EXPECT_EQ(tape.blocks[4], end);

    expect_half_waves(samples);
}

class FirmwareTapeModels : public FirmwareTape, public ::testing::WithParamInterface<int> {};

TEST_P(FirmwareTapeModels, RecordedProgramLoadsBackIdentically)
{
    const auto samples = save_demo(GetParam());
    firmware_type("\r");
    load(samples);
    EXPECT_TRUE(screen_shows("FOUND DEMO")) << screen_text_dump();
    EXPECT_TRUE(screen_shows("LOADED 5000-5257")) << screen_text_dump();
    for (int i = FROM; i <= TO; ++i) ASSERT_EQ(mem_read(i), pattern(i - FROM)) << std::hex << i;
    EXPECT_EQ(mem_read(TO + 1), 0);
}

INSTANTIATE_TEST_SUITE_P(Models, FirmwareTapeModels, ::testing::Values(MODEL_A64, MODEL_B48, MODEL_C64),
                         [](const auto& info) { return "Model" + std::to_string(info.param); });

TEST_F(FirmwareTape, RecordingFromTheSlowClockLoadsAtTheFastClock)
{
    const auto samples = save_demo(MODEL_B32);
    load(samples, 3750000);
    EXPECT_TRUE(screen_shows("LOADED 5000-5257")) << screen_text_dump();
    for (int i = FROM; i <= TO; ++i) ASSERT_EQ(mem_read(i), pattern(i - FROM)) << std::hex << i;
}

TEST_F(FirmwareTape, SaveAtTheFastClockKeepsTheTiming)
{
    firmware_boot(MODEL_A48);
    machine_set_clock(3750000);
    machine_hard_reset();
    firmware_run_frames(30);
    remove_tape_traps();
    firmware_type("S \"X\" 6000 6010");
    tape_signal_record_start(RATE);
    firmware_type("\r", 1);
    ASSERT_TRUE(run_until_shown("SAVED", 2000));
    const auto samples = tape_signal_record_stop();
    const decoded_tape tape = tape_signal_decode(samples, RATE);
    ASSERT_EQ(tape.blocks.size(), 3u);
    expect_half_waves(samples);
}

TEST_F(FirmwareTape, CorruptedBitGivesChecksumError)
{
    auto samples = save_demo(MODEL_A64);
    const decoded_tape clean = tape_signal_decode(samples, RATE);
    ASSERT_EQ(clean.blocks.size(), 5u);
    // Stretch one short cycle late in the recording (inside the last data
    // block) into a long one: one data bit flips from 1 to 0.
    size_t at = samples.size() * 9 / 10, rise = 0;
    for (;; ++at) {
        ASSERT_LT(at, samples.size());
        if (!(samples[at - 1] < 128 && samples[at] >= 128)) continue;
        size_t fall = at;
        while (samples[fall] >= 128) ++fall;
        rise = fall;
        while (samples[rise] < 128) ++rise;
        if (rise - at < 40) break;   // a short cycle: a 1
    }
    std::vector<uint8_t> longer(samples.begin(), samples.begin() + at);
    longer.insert(longer.end(), 41, 248);
    longer.insert(longer.end(), 41, 8);
    longer.insert(longer.end(), samples.begin() + rise, samples.end());
    firmware_type("\r");
    load(longer);
    EXPECT_TRUE(screen_shows("CHECKSUM ERROR")) << screen_text_dump();
    firmware_run_frames(3);
    EXPECT_EQ(screen_text_lines()[screen_cursor_row()], ">");
}

TEST_F(FirmwareTape, SpaceStopsTheSearch)
{
    firmware_boot(MODEL_A64);
    remove_tape_traps();
    firmware_type("L\r", 30);
    EXPECT_TRUE(screen_shows("SEARCHING"));
    firmware_hold_key(HK_SPACE, 2);
    firmware_run_frames(3);
    EXPECT_TRUE(screen_shows("BREAK")) << screen_text_dump();
    firmware_type("h 2 1\r");
    EXPECT_TRUE(screen_shows("0003 0001")) << screen_text_dump();
}

TEST_F(FirmwareTape, BeepTogglesTheSpeakerBitAndRestoresTheControlRegister)
{
    firmware_boot(MODEL_A64);
    firmware_type("B", 1);
    tape_signal_record_start(RATE, 0x10);
    firmware_type("\r", 30);
    const auto samples = tape_signal_record_stop();
    int rises = 0;
    size_t first = 0, last = 0;
    for (size_t i = 1; i < samples.size(); ++i)
        if (samples[i - 1] < 128 && samples[i] >= 128) {
            if (!rises) first = i;
            last = i;
            ++rises;
        }
    EXPECT_EQ(rises, 200);
    ASSERT_GT(last, first);
    const double hz = (rises - 1) * static_cast<double>(RATE) / (last - first);
    EXPECT_NEAR(hz, 950, 150);
    EXPECT_EQ(snapshot_out(0), 0x8C);   // NMI on, page 1, motor off, speaker low
    EXPECT_EQ(screen_text_lines()[5], ">");
}

// Host side of the loader traps: serves the blocks of one program.
std::vector<std::vector<uint8_t>> served_blocks;
size_t served_block = 0, served_byte = 0;
int header_calls = 0;

int trap_header(int*)
{
    ++header_calls;
    served_block = 0;
    served_byte = 0;
    return 0;
}
int trap_next_block(int*)
{
    served_byte = 0;
    ++served_block;
    return 0;
}
int trap_byte(int*)
{
    const auto& block = served_blocks[served_block - 1];
    const uint8_t value = served_byte < block.size() ? block[served_byte] : block.back();
    if (served_byte < block.size()) ++served_byte;
    z80_state.af = static_cast<uint16_t>(value << 8 | (z80_state.af & 0xFF));
    return 0;
}

void place_loader_traps(uint16_t header, uint16_t cont, uint16_t next, uint16_t byte, uint16_t byte_cont)
{
    static trap_record table[4];
    table[0] = {trap_header, header, 5, {0xED, 3, 0xC3, uint8_t(cont), uint8_t(cont >> 8)}, {}};
    table[1] = {trap_next_block, next, 5, {0xED, 4, 0xED, 5, 0xC9}, {}};
    table[2] = {trap_byte, byte, 5, {0xED, 5, 0xC3, uint8_t(byte_cont), uint8_t(byte_cont >> 8)}, {}};
    table[3] = {};
    traps_set(table, rom_pointer());
}

TEST_F(FirmwareTape, LoaderWorksWithItsEntryPointsTrapped)
{
    for (int model : {MODEL_A64, MODEL_C64}) {
        firmware_boot(model);
        remove_tape_traps();
        if (model == MODEL_C64)
            place_loader_traps(0x0C6B, 0x0CCF, 0x0D96, 0x0DCD, 0x0DD4);
        else
            place_loader_traps(0x3B49, 0x3BAD, 0x3C75, 0x3CAC, 0x3CB3);
        // A block at the start of the program area and an end block with a
        // start address: two routines, at 0x4180 storing 0x42 at 0x5300,
        // at 0x4186 (the start address) storing 0x24 at 0x5301.
        std::vector<uint8_t> data = {0x3E, 0x42, 0x32, 0x00, 0x53, 0xC9, 0x3E, 0x24, 0x32, 0x01, 0x53, 0xC9};
        std::vector<uint8_t> block = {0xF9, 0x01, 0x80, 0x41, uint8_t(data.size())};
        block.insert(block.end(), data.begin(), data.end());
        int sum = 1 + 0x80 + 0x41 + static_cast<int>(data.size());
        for (uint8_t d : data) sum += d;
        block.push_back(static_cast<uint8_t>(sum));
        served_blocks = {{0x83, 0x00, 0x03, 'R', 'U', 'N', uint8_t(3 + 'R' + 'U' + 'N')},
                         block,
                         {0xB9, 0x02, 0x86, 0x41, uint8_t(2 + 0x86 + 0x41)}};
        header_calls = 0;
        firmware_type("L\r", 10);
        EXPECT_EQ(header_calls, 1) << model;
        EXPECT_TRUE(screen_shows("FOUND RUN")) << screen_text_dump();
        EXPECT_TRUE(screen_shows("LOADED 4180-418B")) << screen_text_dump();
        for (size_t i = 0; i < data.size(); ++i) EXPECT_EQ(mem_read(0x4180 + i), data[i]);
        // R starts at the end block's address, once.
        firmware_type("R\r");
        EXPECT_EQ(mem_read(0x5301), 0x24) << model;
        mem_write(0x5301, 0);
        firmware_type("R\r");
        EXPECT_EQ(mem_read(0x5301), 0x00) << model;
        EXPECT_EQ(mem_read(0x5300), 0x00) << model;
    }
}

// The save entry points as the emulator's save traps see them.
struct save_call {
    int which;
    uint16_t de, hl;
    uint8_t type;
    std::string text;   // the 0-terminated text after DE (name calls)
};
std::vector<save_call> save_calls;

save_call capture(int which)
{
    save_call c{which, z80_state.de, z80_state.hl, mem_read(0x405C), {}};
    if (which == 0)
        for (uint16_t a = static_cast<uint16_t>(c.de + 1); mem_read(a); ++a) c.text += static_cast<char>(mem_read(a));
    return c;
}
int trap_save_name(int*) { save_calls.push_back(capture(0)); return 0; }
int trap_save_data(int*) { save_calls.push_back(capture(1)); return 0; }
int trap_save_end(int*) { save_calls.push_back(capture(2)); return 0; }

TEST_F(FirmwareTape, SaveCommandFeedsTheSaveEntryPoints)
{
    firmware_boot(MODEL_A32);
    remove_tape_traps();
    static trap_record table[4];
    table[0] = {trap_save_name, 0x0092, 3, {0xED, 0, 0xC9}, {}};
    table[1] = {trap_save_data, 0x0095, 3, {0xED, 1, 0xC9}, {}};
    table[2] = {trap_save_end, 0x009B, 3, {0xED, 2, 0xC9}, {}};
    table[3] = {};
    traps_set(table, rom_pointer());
    save_calls.clear();
    firmware_type("S \"HELLO WORLD\" 4800 4a0f\r");
    ASSERT_EQ(save_calls.size(), 3u) << screen_text_dump();
    // The name text ends with the closing quote, which the name leaves out.
    EXPECT_EQ(save_calls[0].text, "HELLO WORLD\"");
    EXPECT_EQ(save_calls[0].type & 0xF0, 0x80);
    EXPECT_EQ(save_calls[1].de, 0x4800);
    EXPECT_EQ(save_calls[1].hl, 0x4A10);
    EXPECT_EQ(save_calls[1].type, 0xF9);
    EXPECT_NE(save_calls[2].type & 0xF0, 0xF0);   // the loader tells the end block by it
    EXPECT_NE(save_calls[2].type & 0xF0, 0x80);
    EXPECT_TRUE(screen_shows("SAVED"));
    // Bad forms save nothing.
    save_calls.clear();
    firmware_type("S NAME 4800 4900\r");
    firmware_type("S \"N\" 4900 4800\r");
    firmware_type("S \"N 4800 4900\r");
    EXPECT_TRUE(save_calls.empty());
}

}  // namespace
