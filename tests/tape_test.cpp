// WAV tapes: recordings as converters and recorders for the real machine
// write them load through the firmware's signal loader into the memory the
// fast loader gives; broken files are refused; playback keeps the file's
// rate; edges interrupt once; recordings always carry their sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

#include "core/hooks.h"
#include "core/machine.h"
#include "core/bus.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "devices/tape.h"
#include "media/ptp.h"
#include "support/firmware_driver.h"
#include "support/ptp_image.h"
#include "support/screen_text.h"
#include "support/tape_signal.h"

namespace fs = std::filesystem;

namespace {

constexpr uint16_t AREA = 0x4180, AREA_END = 0xE7A0;   // the A64's program area

std::string last_message;
int lamp = -1;

class Tape : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("brevan_tape_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        host_hooks.tape_lamp = [](int on) { lamp = on; };
        last_message.clear();
    }
    void TearDown() override
    {
        tape_close();
        ptp_close();
        tape_set_play_key(0);
        tape_set_remote_enable(0);
        host_hooks = host_hooks_t{};
        fs::remove_all(dir);
    }
    std::string file(const std::string& name) const { return (dir / name).string(); }
    fs::path dir;
};

bytes program_area() { return bytes(memory_get_ram() + (AREA - 0x4000), memory_get_ram() + (AREA_END - 0x4000)); }

// A program with every kind of data block: relative to the program area
// (sets the end pointers), absolute, and a 0xB9 start address.
bytes test_program(bool big)
{
    const bytes code = {0x3E, 0x5C, 0x32, 0x00, 0x53, 0xC9};
    const bytes data = pattern_bytes(big ? 128 * 256 + 77 : 300, 5);
    std::vector<bytes> blocks = {ptp_name_block("TAPE"), ptp_data_block(0xF1, 1, 0, code)};
    int number = 2;
    for (size_t at = 0; at < data.size(); at += 256, ++number)
        blocks.push_back(ptp_data_block(0xF9, number, static_cast<uint16_t>(0x4400 + at),
                                        bytes(data.begin() + at, data.begin() + std::min(at + 256, data.size()))));
    blocks.push_back(ptp_end_block(0xB9, number, 0x4200));
    return ptp_image_of(blocks);
}

struct wav_case {
    const char* name;
    tape_wav_spec spec;
    bool big;
};

class WavTape : public Tape, public ::testing::WithParamInterface<wav_case> {};

TEST_P(WavTape, SignalLoaderGivesTheMemoryOfTheFastLoader)
{
    const bytes ptp = test_program(GetParam().big);
    if (GetParam().big) {
        ASSERT_GE(ptp.size(), 130u * 256);
    }
    const std::string ptp_path = file("t.ptp"), wav_path = file("t.wav");
    ASSERT_TRUE(write_bytes(ptp_path, ptp));
    ASSERT_TRUE(write_bytes(wav_path, tape_signal_wav(ptp, GetParam().spec)));

    firmware_boot(MODEL_A64);
    uint16_t start = 0;
    ASSERT_TRUE(ptp_load_file(ptp_path.c_str(), &start, &last_message)) << last_message;
    ASSERT_EQ(start, 0x4200);
    const bytes fast = program_area();
    const uint16_t end_pointer = mem_read_word(0x40F9);

    firmware_boot(MODEL_A64);
    ASSERT_EQ(tape_open_wav(wav_path.c_str(), &last_message), 1) << last_message;
    tape_set_play_key(1);
    firmware_type("L\r", 1);
    EXPECT_EQ(firmware_run_until_shown({"LOADED", "ERROR"}, 40000), "LOADED") << screen_text_dump();
    EXPECT_FALSE(tape_rolling());   // the firmware switched the motor off
    EXPECT_TRUE(program_area() == fast);
    EXPECT_EQ(mem_read_word(0x40F9), end_pointer);
    EXPECT_EQ(mem_read_word(firmware_label("rom_a64", "RUNADDR")), 0x4200);   // the start address
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, WavTape,
    ::testing::Values(wav_case{"Rate8000Bits8Halves375And1000Us130Blocks", {8000, 8, 1, 375, 1000, 0, false}, true},
                      wav_case{"Rate22050NoisySilencesAndAListChunk", {22050, 8, 1, 312, 936, 12, true}, false},
                      wav_case{"Rate48000Bits16Stereo", {48000, 16, 2, 312, 936, 0, false}, false}),
    [](const auto& info) { return std::string(info.param.name); });

bytes wav_file(uint16_t format, uint16_t channels, uint32_t rate, uint16_t bits, bool with_data = true,
               bool data_first = false)
{
    std::string w("RIFF\0\0\0\0WAVE", 12);
    auto u16 = [&](uint32_t v) { w += static_cast<char>(v & 0xFF); w += static_cast<char>((v >> 8) & 0xFF); };
    const std::string data("data\4\0\0\0\x80\x80\x80\x80", 12);
    if (data_first) w += data;
    const uint32_t frame = channels * bits / 8u;
    w += std::string("fmt \x10\0\0\0", 8);
    u16(format), u16(channels), u16(rate & 0xFFFF), u16(rate >> 16);
    u16((rate * frame) & 0xFFFF), u16((rate * frame) >> 16), u16(frame), u16(bits);
    if (with_data && !data_first) w += data;
    return bytes(w.begin(), w.end());
}

TEST_F(Tape, FilesThatAreNotPcmWavAreRefusedNamingFileAndReason)
{
    firmware_boot(MODEL_A64);
    const struct {
        const char* name;
        bytes content;
        const char* says;
    } cases[] = {
        {"text.wav", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'}, "nem RIFF"},
        {"float.wav", wav_file(3, 1, 44100, 32), "nem PCM"},
        {"24bit.wav", wav_file(1, 1, 44100, 24), "24 bites"},
        {"slow.wav", wav_file(1, 1, 4000, 8), "4000 Hz"},
        {"nodata.wav", wav_file(1, 1, 44100, 8, false), "adatblokk"},
        {"datafirst.wav", wav_file(1, 1, 44100, 8, true, true), "formátumblokk előtt"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(write_bytes(file(c.name), c.content));
        last_message.clear();
        EXPECT_EQ(tape_open_wav(file(c.name).c_str(), &last_message), 0) << c.name;
        EXPECT_NE(last_message.find(c.says), std::string::npos) << last_message;
        EXPECT_EQ(tape_wav_open(), 0) << c.name;
    }
    EXPECT_EQ(tape_open_wav(dir.string().c_str(), &last_message), 0);
    EXPECT_NE(last_message.find("mappa"), std::string::npos) << last_message;
    EXPECT_EQ(mem_read(0x3B49), 0xED);   // the PTP traps stay
}

// Runs the processor until tcount reaches `when`.
void run_until(int64_t when)
{
    while (z80_state.tcount < when) z80_run(static_cast<int>(std::min<int64_t>(when - z80_state.tcount, 10000)));
}

// Samples above the midline read as a low input; noise inside the band
// keeps the level, and a stretch of it ends the half wave in progress.
TEST_F(Tape, PlaybackKeepsTheFilesRateAndIgnoresNoiseInsideTheBand)
{
    firmware_boot(MODEL_A64);
    wav_comp_level() = 16;
    machine_set_clock(3750000);   // 78.125 cycles per sample at 48000 Hz
    bytes samples;
    const int segment = 12000;
    uint32_t seed = 1;
    auto noisy_mid = [&] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<uint8_t>(128 + static_cast<int>((seed >> 16) % 25) - 12);
    };
    for (int i = 0; i < segment; ++i) samples.push_back(noisy_mid());
    samples.insert(samples.end(), segment, 200);
    for (int i = 0; i < segment; ++i) samples.push_back(noisy_mid());
    samples.insert(samples.end(), segment, 60);
    bytes wav = wav_file(1, 1, 48000, 8);
    wav.resize(wav.size() - 8);   // an empty data chunk: its size comes from the file
    wav.insert(wav.end(), {0, 0, 0, 0});
    wav.insert(wav.end(), samples.begin(), samples.end());
    ASSERT_TRUE(write_bytes(file("rate.wav"), wav));

    ASSERT_EQ(tape_open_wav(file("rate.wav").c_str(), &last_message), 1) << last_message;
    tape_set_remote_enable(1);   // the idle firmware keeps the motor off
    const int64_t start = z80_state.tcount;
    tape_set_play_key(1);
    auto sample_time = [&](int n) { return start + static_cast<int64_t>(n * 3750000.0 / 48000); };
    const struct { int sample; int level; } expected[] = {
        {segment / 2, 0}, {segment - 2, 0}, {segment + 2, 0}, {2 * segment + 4, 0},
        {2 * segment + 20, 4}, {3 * segment - 2, 4}, {3 * segment + 2, 4},
    };
    for (const auto& e : expected) {
        run_until(sample_time(e.sample));
        EXPECT_EQ(the_machine.tape.read_in, e.level) << e.sample;
    }
    wav_comp_level() = WAV_COMP_DEFAULT;
}

TEST_F(Tape, EachFallingEdgeInterruptsOnce)
{
    firmware_boot(MODEL_A64);
    // IM 2 through a vector at 0x50FF to a handler counting into 0x5300.
    const bytes program = {0x21, 0x00, 0x53, 0x3E, 0x50, 0xED, 0x47, 0xED, 0x5E, 0xFB, 0x18, 0xFE};
    const bytes handler = {0x34, 0xFB, 0xED, 0x4D};   // INC (HL); EI; RETI
    for (size_t i = 0; i < program.size(); ++i) mem_write(static_cast<uint16_t>(0x6000 + i), program[i]);
    for (size_t i = 0; i < handler.size(); ++i) mem_write(static_cast<uint16_t>(0x5200 + i), handler[i]);
    mem_write_word(0x50FF, 0x5200);
    mem_write(0x5300, 0);
    bytes wav = wav_file(1, 1, 8000, 8);
    wav.resize(wav.size() - 4);
    wav[wav.size() - 4] = 240;   // the data size
    for (int pulse = 0; pulse < 3; ++pulse) {
        wav.insert(wav.end(), 40, 250);
        wav.insert(wav.end(), 40, 5);
    }
    ASSERT_TRUE(write_bytes(file("pulses.wav"), wav));
    ASSERT_EQ(tape_open_wav(file("pulses.wav").c_str(), &last_message), 1) << last_message;
    tape_set_remote_enable(1);
    z80_state.pc = 0x6000;
    tape_set_play_key(1);
    firmware_run_frames(5);
    EXPECT_EQ(mem_read(0x5300), 3);
    EXPECT_EQ(z80_state.int_request, 0);
}

TEST_F(Tape, RecordingCarriesItsSizesAfterEveryStopAndModelChange)
{
    firmware_boot(MODEL_A64);
    const std::string path = file("rec.wav");
    ASSERT_EQ(tape_create_wav(path.c_str(), 44100), 1);
    EXPECT_NE(mem_read(0x3B49), 0xED);   // the save goes through the signal now
    tape_set_play_key(1);
    auto out_at = [](int64_t when, uint8_t value) {
        z80_state.tcount = when;
        z80_out(0x00, value);
    };
    const int64_t t = z80_state.tcount + 1000;
    out_at(t, 0x03);                  // motor on (bit 2 clear), both outputs high
    EXPECT_EQ(lamp, 1);
    out_at(t + 25000, 0x00);          // 441 samples at 44100 Hz and 2.5 MHz
    out_at(t + 50000, 0x01);
    out_at(t + 75000, 0x85);          // motor off: the midline level ends the take
    EXPECT_EQ(lamp, 0);
    auto check = [&](size_t samples) {
        const bytes wav = read_bytes(path);
        ASSERT_EQ(wav.size(), 44 + samples);
        EXPECT_EQ(wav[4] | wav[5] << 8 | wav[6] << 16, static_cast<int>(wav.size() - 8));
        EXPECT_EQ(wav[40] | wav[41] << 8 | wav[42] << 16, static_cast<int>(samples));
        EXPECT_EQ(wav[44], 8);          // as the input reads it: inverted
        EXPECT_EQ(wav[44 + 441], 248);
        EXPECT_EQ(wav[44 + 882], 128);
    };
    check(3 * 441);
    out_at(t + 100000, 0x84);         // motor off: nothing is recorded
    tape_set_remote_enable(1);        // now the motor bit is ignored
    out_at(t + 125000, 0x87);
    machine_change_model(MODEL_A64);  // the recording so far is complete
    check(4 * 441);
    tape_close();
    check(4 * 441);
}

}  // namespace
