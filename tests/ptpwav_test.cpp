// PTP images converted to the Primo's tape signal: the samples carry the
// blocks exactly, malformed images are refused, and the firmware's own
// loader reads the converted signal into the memory the blocks describe.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "emu/cpu.h"
#include "emu/machine.h"
#include "emu/memory.h"
#include "emu/ptpwav.h"
#include "support/firmware_driver.h"
#include "support/screen_text.h"
#include "support/tape_signal.h"

namespace {

using bytes = std::vector<uint8_t>;

bytes name_block(const std::string& name)
{
    bytes b = {0x83, 0x00, static_cast<uint8_t>(name.size())};
    int sum = static_cast<int>(name.size());
    for (char c : name) {
        b.push_back(static_cast<uint8_t>(c));
        sum += static_cast<uint8_t>(c);
    }
    b.push_back(static_cast<uint8_t>(sum));
    return b;
}

bytes data_block(uint8_t type, int number, uint16_t address, const bytes& data)
{
    bytes b = {type, static_cast<uint8_t>(number / 10 * 16 + number % 10), static_cast<uint8_t>(address),
               static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(data.size())};
    int sum = number + static_cast<uint8_t>(data.size());
    for (uint8_t d : data) {
        sum += d;
        b.push_back(d);
    }
    b.push_back(static_cast<uint8_t>(sum));
    return b;
}

bytes end_block(uint8_t type, int number) { return {type, static_cast<uint8_t>(number), static_cast<uint8_t>(number)}; }

// One PTP program: header, blocks marked 0x55, the last 0xAA.
bytes ptp_program(const std::vector<bytes>& blocks)
{
    bytes p = {0xFF, 0, 0};
    for (size_t i = 0; i < blocks.size(); ++i) {
        p.push_back(i + 1 == blocks.size() ? 0xAA : 0x55);
        p.push_back(static_cast<uint8_t>(blocks[i].size()));
        p.push_back(static_cast<uint8_t>(blocks[i].size() >> 8));
        p.insert(p.end(), blocks[i].begin(), blocks[i].end());
    }
    p[1] = static_cast<uint8_t>(p.size());
    p[2] = static_cast<uint8_t>(p.size() >> 8);
    return p;
}

bytes filled(size_t n, int seed)
{
    bytes d(n);
    for (size_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>(i * 13 + seed);
    return d;
}

bytes convert(const bytes& ptp)
{
    bytes samples;
    std::string error;
    EXPECT_EQ(ptpwav_convert(ptp.data(), ptp.size(), PTPWAV_RATE, samples, error), 1) << error;
    return samples;
}

TEST(PtpWav, SignalCarriesEveryBlockOfEveryProgram)
{
    const std::vector<bytes> first = {name_block("ONE"), data_block(0xF9, 1, 0x6000, filled(256, 1)),
                                      data_block(0xF9, 2, 0x6100, filled(3, 2)), end_block(0xE9, 3)};
    const std::vector<bytes> second = {name_block("TWO"), data_block(0xF1, 1, 0, filled(10, 3)),
                                       end_block(0xB1, 2)};
    bytes ptp = ptp_program(first);
    const bytes more = ptp_program(second);
    ptp.insert(ptp.end(), more.begin(), more.end());
    const decoded_tape tape = tape_signal_decode(convert(ptp), PTPWAV_RATE);
    ASSERT_EQ(tape.error, "");
    ASSERT_EQ(tape.blocks.size(), first.size() + second.size());
    for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(tape.blocks[i], first[i]) << i;
    for (size_t i = 0; i < second.size(); ++i) EXPECT_EQ(tape.blocks[first.size() + i], second[i]) << i;
    EXPECT_GE(tape.leader_bits, 512 * 8 - 2);
}

TEST(PtpWav, BitsAreFullCyclesOfTheirLength)
{
    const bytes samples = convert(ptp_program({name_block("A"), end_block(0xE9, 1)}));
    // 0.25 s of low level first, then the leader's first 1: high 156 us.
    const size_t quiet = PTPWAV_RATE / 4;
    for (size_t i = 0; i < quiet - 1; ++i) ASSERT_EQ(samples[i], PTPWAV_LOW) << i;
    size_t at = quiet;
    while (samples[at] == PTPWAV_LOW) ++at;
    auto run = [&](uint8_t level) {
        size_t n = 0;
        while (at < samples.size() && samples[at] == level) ++at, ++n;
        return n;
    };
    const size_t h1 = run(PTPWAV_HIGH), l1 = run(PTPWAV_LOW);
    const size_t h0 = run(PTPWAV_HIGH), l0 = run(PTPWAV_LOW);
    EXPECT_NEAR(static_cast<double>(h1 + l1), 312e-6 * PTPWAV_RATE, 1.0);
    EXPECT_NEAR(static_cast<double>(h0 + l0), 936e-6 * PTPWAV_RATE, 1.0);
    EXPECT_NEAR(static_cast<double>(h0), static_cast<double>(l0), 1.0);
    // The whole leader keeps exact time: 512 bytes of 4 ones and 4 zeros.
    const double leader_us = 512 * 4 * (312 + 936);
    EXPECT_GT(samples.size(), static_cast<size_t>((0.5 + leader_us * 1e-6) * PTPWAV_RATE));
}

TEST(PtpWav, MalformedImagesAreRefusedWithAMessage)
{
    const bytes good = ptp_program({name_block("X"), data_block(0xF9, 1, 0x7000, filled(5, 0)), end_block(0xE9, 2)});
    struct broken {
        const char* what;
        bytes image;
    };
    std::vector<broken> cases = {
        {"empty", {}},
        {"wrong header marker", [&] { bytes b = good; b[0] = 0x00; return b; }()},
        {"truncated header", {0xFF, 0x10}},
        {"program longer than the file", [&] { bytes b = good; b[1] = 0xFF; b[2] = 0x7F; return b; }()},
        {"program length below 3", [&] { bytes b = good; b[1] = 2; b[2] = 0; return b; }()},
        {"unknown block marker", [&] { bytes b = good; b[3] = 0x12; return b; }()},
        {"block past the end", [&] { bytes b = good; b[4] = 0xF0; return b; }()},
        {"cut inside the last block", bytes(good.begin(), good.end() - 2)},
        {"no last block", [&] { bytes b = good; b[b.size() - 6] = 0x55; return b; }()},
    };
    for (const broken& c : cases) {
        bytes samples = {1, 2, 3};
        std::string error;
        EXPECT_EQ(ptpwav_convert(c.image.data(), c.image.size(), PTPWAV_RATE, samples, error), 0) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_TRUE(samples.empty()) << c.what;
    }
    bytes samples;
    std::string error;
    EXPECT_EQ(ptpwav_convert(good.data(), good.size(), 100, samples, error), 0);
    EXPECT_EQ(ptpwav_convert(nullptr, 10, PTPWAV_RATE, samples, error), 0);
}

TEST(PtpWav, WritesAnEightBitMonoWavFile)
{
    const auto dir = std::filesystem::temp_directory_path() / "brevan_ptpwav_test";
    std::filesystem::create_directories(dir);
    const auto ptp_path = (dir / "game.ptp").string();
    const auto wav_path = (dir / "game.wav").string();
    const bytes ptp = ptp_program({name_block("G"), end_block(0xE9, 1)});
    std::ofstream(ptp_path, std::ios::binary).write(reinterpret_cast<const char*>(ptp.data()), ptp.size());
    std::string error;
    ASSERT_EQ(ptpwav_write_file(ptp_path.c_str(), wav_path.c_str(), error), 1) << error;
    std::ifstream in(wav_path, std::ios::binary);
    const bytes wav((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const bytes samples = convert(ptp);
    ASSERT_EQ(wav.size(), 44 + samples.size());
    auto u32 = [&](size_t o) { return uint32_t(wav[o] | wav[o + 1] << 8 | wav[o + 2] << 16 | wav[o + 3] << 24); };
    auto u16 = [&](size_t o) { return uint16_t(wav[o] | wav[o + 1] << 8); };
    EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
    EXPECT_EQ(u32(4), wav.size() - 8);
    EXPECT_EQ(std::memcmp(wav.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(u32(16), 16u);
    EXPECT_EQ(u16(20), 1);   // PCM
    EXPECT_EQ(u16(22), 1);   // mono
    EXPECT_EQ(u32(24), 44100u);
    EXPECT_EQ(u32(28), 44100u);
    EXPECT_EQ(u16(32), 1);
    EXPECT_EQ(u16(34), 8);
    EXPECT_EQ(std::memcmp(wav.data() + 36, "data", 4), 0);
    EXPECT_EQ(u32(40), samples.size());
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), wav.begin() + 44));

    // A broken image leaves no file behind; a missing one is reported.
    std::filesystem::remove(wav_path);
    std::ofstream(ptp_path, std::ios::binary | std::ios::trunc).write("\x01\x02", 2);
    EXPECT_EQ(ptpwav_write_file(ptp_path.c_str(), wav_path.c_str(), error), 0);
    EXPECT_FALSE(std::filesystem::exists(wav_path));
    EXPECT_EQ(ptpwav_write_file((dir / "none.ptp").string().c_str(), wav_path.c_str(), error), 0);
    EXPECT_NE(error.find("none.ptp"), std::string::npos);
    EXPECT_EQ(ptp_to_wav((dir / "none.ptp").string().c_str(), wav_path.c_str()), 0);
    std::ofstream(ptp_path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(ptp.data()), ptp.size());
    EXPECT_EQ(ptp_to_wav(ptp_path.c_str(), wav_path.c_str()), 1);
    EXPECT_EQ(std::filesystem::file_size(wav_path), wav.size());
    std::filesystem::remove_all(dir);
}

class PtpWavLoad : public ::testing::TestWithParam<int> {
protected:
    void TearDown() override { tape_signal_stop(); }
};

// The loader reads the converted signal with the tape traps out of the
// ROM; memory ends up as the data blocks say, relocated where they ask.
TEST_P(PtpWavLoad, FirmwareLoadsTheConvertedSignal)
{
    const int model = GetParam();
    firmware_boot(model);
    std::memcpy(rom_pointer(), source_rom_pointer(), 0x4000);
    mem_write_word(0x4039, 0x7000);   // base of the x5 blocks
    const bytes program = {0x3E, 0x5C, 0x32, 0x00, 0x53, 0xC9};   // LD A,5C ; LD (5300),A ; RET
    const bytes big = filled(300, 7), rel = filled(20, 9);
    const bytes ptp = ptp_program({name_block("GAME"), data_block(0xF1, 1, 0x0000, program),
                                   data_block(0xF9, 2, 0x6000, bytes(big.begin(), big.begin() + 256)),
                                   data_block(0xF9, 3, 0x6100, bytes(big.begin() + 256, big.end())),
                                   data_block(0xF5, 4, 0x0010, rel), end_block(0xE9, 5)});
    const bytes samples = convert(ptp);
    firmware_type("L\r", 1);
    tape_signal_play(samples, PTPWAV_RATE);
    for (int i = 0; i < 1500 && !screen_shows("LOADED") && !screen_shows("ERROR"); ++i) firmware_run_frames(1);
    EXPECT_TRUE(screen_shows("FOUND GAME")) << screen_text_dump();
    EXPECT_TRUE(screen_shows("LOADED 4200-7023")) << screen_text_dump();
    for (size_t i = 0; i < program.size(); ++i) EXPECT_EQ(mem_read(0x4200 + i), program[i]) << i;
    for (size_t i = 0; i < big.size(); ++i) ASSERT_EQ(mem_read(0x6000 + i), big[i]) << i;
    for (size_t i = 0; i < rel.size(); ++i) ASSERT_EQ(mem_read(0x7010 + i), rel[i]) << i;
    EXPECT_EQ(mem_read_word(0x40F9), 0x4206);
    EXPECT_EQ(mem_read_word(0x40FB), 0x4206);
    EXPECT_EQ(mem_read_word(0x40FD), 0x4206);
    // The program in the program area runs with R.
    firmware_run_frames(5);
    firmware_type("R\r");
    EXPECT_EQ(mem_read(0x5300), 0x5C);
}

INSTANTIATE_TEST_SUITE_P(Models, PtpWavLoad, ::testing::Values(MODEL_A64, MODEL_B48, MODEL_C64),
                         [](const auto& info) { return "Model" + std::to_string(info.param); });

}  // namespace
