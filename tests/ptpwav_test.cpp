// PTP images converted to the Primo's tape signal: the samples carry the
// blocks exactly, malformed images are refused, and the firmware's own
// loader reads the converted signal into the memory the blocks describe.
#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/machine.h"
#include "core/bus.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "media/ptpwav.h"
#include "support/firmware_driver.h"
#include "support/ptp_image.h"
#include "support/screen_text.h"
#include "support/tape_signal.h"

namespace {

bytes convert(const bytes& ptp)
{
    bytes samples;
    std::string error;
    EXPECT_EQ(ptpwav_convert(ptp.data(), ptp.size(), PTPWAV_RATE, samples, &error), 1) << error;
    return samples;
}

TEST(PtpWav, SignalCarriesEveryBlockOfEveryProgram)
{
    const std::vector<bytes> first = {ptp_name_block("ONE"), ptp_data_block(0xF9, 1, 0x6000, pattern_bytes(256, 1)),
                                      ptp_data_block(0xF9, 2, 0x6100, pattern_bytes(3, 2)), ptp_end_block(0xE9, 3)};
    const std::vector<bytes> second = {ptp_name_block("TWO"), ptp_data_block(0xF1, 1, 0, pattern_bytes(10, 3)),
                                       ptp_end_block(0xB1, 2)};
    bytes ptp = ptp_image_of(first);
    const bytes more = ptp_image_of(second);
    ptp.insert(ptp.end(), more.begin(), more.end());
    const decoded_tape tape = tape_signal_decode(convert(ptp), PTPWAV_RATE);
    ASSERT_EQ(tape.error, "");
    ASSERT_EQ(tape.blocks.size(), first.size() + second.size());
    for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(tape.blocks[i], first[i]) << i;
    for (size_t i = 0; i < second.size(); ++i) EXPECT_EQ(tape.blocks[first.size() + i], second[i]) << i;
    EXPECT_GE(tape.leader_bits, 512 * 8 - 2);
}

TEST(PtpWav, BitsAreHalfWavesOfTheirLengthBetweenSilences)
{
    const bytes samples = convert(ptp_image_of({ptp_name_block("A"), ptp_end_block(0xE9, 1)}));
    // 0.25 s at the midline first, then the leader's first 1: high 312 us.
    const size_t quiet = PTPWAV_RATE / 4;
    for (size_t i = 0; i < quiet - 1; ++i) ASSERT_EQ(samples[i], PTPWAV_MID) << i;
    size_t at = quiet;
    while (samples[at] == PTPWAV_MID) ++at;
    auto run = [&](uint8_t level) {
        size_t n = 0;
        while (at < samples.size() && samples[at] == level) ++at, ++n;
        return n;
    };
    const size_t h1 = run(PTPWAV_HIGH), l1 = run(PTPWAV_LOW);
    const size_t h0 = run(PTPWAV_HIGH), l0 = run(PTPWAV_LOW);
    EXPECT_NEAR(static_cast<double>(h1), 312e-6 * PTPWAV_RATE, 1.0);
    EXPECT_NEAR(static_cast<double>(l1), 312e-6 * PTPWAV_RATE, 1.0);
    EXPECT_NEAR(static_cast<double>(h0), 936e-6 * PTPWAV_RATE, 1.0);
    EXPECT_NEAR(static_cast<double>(l0), 936e-6 * PTPWAV_RATE, 1.0);
    // The whole leader keeps exact time: 512 bytes of 4 ones and 4 zeros.
    const double leader_us = 512 * 4 * 2 * (312 + 936);
    EXPECT_GT(samples.size(), static_cast<size_t>((0.5 + leader_us * 1e-6) * PTPWAV_RATE));
    for (size_t i = samples.size() - quiet; i < samples.size(); ++i) ASSERT_EQ(samples[i], PTPWAV_MID) << i;
}

TEST(PtpWav, MalformedImagesAreRefusedWithAMessage)
{
    const bytes good = ptp_image_of({ptp_name_block("X"), ptp_data_block(0xF9, 1, 0x7000, pattern_bytes(5, 0)), ptp_end_block(0xE9, 2)});
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
        {"empty block", [&] { bytes b = good; b[4] = 0; b[5] = 0; return b; }()},
        {"cut inside the last block", bytes(good.begin(), good.end() - 2)},
        {"no last block", [&] { bytes b = good; b[b.size() - 6] = 0x55; return b; }()},
    };
    for (const broken& c : cases) {
        bytes samples = {1, 2, 3};
        std::string error;
        EXPECT_EQ(ptpwav_convert(c.image.data(), c.image.size(), PTPWAV_RATE, samples, &error), 0) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_TRUE(samples.empty()) << c.what;
        if (std::string(c.what) == "empty block") {
            EXPECT_NE(error.find("0 hosszú"), std::string::npos) << error;
        }
    }
    bytes samples;
    std::string error;
    EXPECT_EQ(ptpwav_convert(good.data(), good.size(), 100, samples, &error), 0);
    EXPECT_EQ(ptpwav_convert(nullptr, 10, PTPWAV_RATE, samples, &error), 0);
}

TEST(PtpWav, WritesAnEightBitMonoWavFile)
{
    const auto dir = std::filesystem::temp_directory_path() / "brevan_ptpwav_test";
    std::filesystem::create_directories(dir);
    const auto ptp_path = (dir / "game.ptp").string();
    const auto wav_path = (dir / "game.wav").string();
    const bytes ptp = ptp_image_of({ptp_name_block("G"), ptp_end_block(0xE9, 1)});
    std::ofstream(ptp_path, std::ios::binary).write(reinterpret_cast<const char*>(ptp.data()), ptp.size());
    std::string error;
    ASSERT_EQ(ptpwav_write_file(ptp_path.c_str(), wav_path.c_str(), &error), 1) << error;
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
    EXPECT_EQ(ptpwav_write_file(ptp_path.c_str(), wav_path.c_str(), &error), 0);
    EXPECT_FALSE(std::filesystem::exists(wav_path));
    EXPECT_EQ(ptpwav_write_file((dir / "none.ptp").string().c_str(), wav_path.c_str(), &error), 0);
    EXPECT_NE(error.find("none.ptp"), std::string::npos);
    EXPECT_EQ(ptpwav_write_file((dir / "none.ptp").string().c_str(), wav_path.c_str(), nullptr), 0);
    std::ofstream(ptp_path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(ptp.data()), ptp.size());
    EXPECT_EQ(ptpwav_write_file(ptp_path.c_str(), wav_path.c_str(), nullptr), 1);
    EXPECT_EQ(std::filesystem::file_size(wav_path), wav.size());
    std::filesystem::remove_all(dir);
}

TEST(PtpWav, RefusesInputsAndOutputsItCannotUse)
{
    const auto dir = std::filesystem::temp_directory_path() / "brevan_ptpwav_refuse";
    std::filesystem::create_directories(dir);
    const std::string ptp = (dir / "g.ptp").string(), wav = (dir / "g.wav").string();
    const std::string fifo = (dir / "pipe").string(), folder = (dir / "sub").string();
    ASSERT_TRUE(write_bytes(ptp, ptp_image_of({ptp_name_block("G"), ptp_end_block(0xE9, 1)})));
    ASSERT_TRUE(write_bytes(wav, {'o', 'l', 'd'}));
    std::filesystem::create_directories(folder);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string in, out, says;
    } cases[] = {
        {folder, wav, "mappa"},
        {fifo, wav, "nem közönséges"},
        {ptp, ptp, "maga a bemeneti"},
        {ptp, folder, "nem írható felül"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(ptpwav_write_file(c.in.c_str(), c.out.c_str(), &error), 0) << c.in << " " << c.out;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
    EXPECT_EQ(read_bytes(wav), (bytes{'o', 'l', 'd'}));   // untouched by the failures
    EXPECT_EQ(read_bytes(ptp).size(), 17u);

    // A recording past the 4 GB a WAV size field holds: refused, not wrapped.
    bytes huge;
    for (int p = 0; p < 100; ++p) {
        bytes block(65000, 0x00);
        bytes program = {0xFF, 0, 0, 0xAA, static_cast<uint8_t>(block.size()), static_cast<uint8_t>(block.size() >> 8)};
        program.insert(program.end(), block.begin(), block.end());
        program[1] = static_cast<uint8_t>(program.size());
        program[2] = static_cast<uint8_t>(program.size() >> 8);
        huge.insert(huge.end(), program.begin(), program.end());
    }
    bytes samples;
    std::string error;
    EXPECT_EQ(ptpwav_convert(huge.data(), huge.size(), PTPWAV_RATE, samples, &error), 0);
    EXPECT_NE(error.find("4 GB"), std::string::npos) << error;
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
    const bytes big = pattern_bytes(300, 7), rel = pattern_bytes(20, 9);
    const bytes ptp = ptp_image_of({ptp_name_block("GAME"), ptp_data_block(0xF1, 1, 0x0000, program),
                                   ptp_data_block(0xF9, 2, 0x6000, bytes(big.begin(), big.begin() + 256)),
                                   ptp_data_block(0xF9, 3, 0x6100, bytes(big.begin() + 256, big.end())),
                                   ptp_data_block(0xF5, 4, 0x0010, rel), ptp_end_block(0xE9, 5)});
    const bytes samples = convert(ptp);
    firmware_type("L\r", 1);
    tape_signal_play(samples, PTPWAV_RATE);
    for (int i = 0; i < 1500 && !screen_shows("LOADED") && !screen_shows("ERROR"); ++i) firmware_run_frames(1);
    firmware_run_frames(2);
    EXPECT_TRUE(screen_shows("FOUND GAME")) << screen_text_dump();
    // The type x1 block is a BASIC program at 0x43EA; the screen block is
    // not part of the range shown.
    EXPECT_TRUE(screen_shows("LOADED 43EA-612B")) << screen_text_dump();
    for (size_t i = 0; i < program.size(); ++i) EXPECT_EQ(mem_read(0x43EA + i), program[i]) << i;
    for (size_t i = 0; i < big.size(); ++i) ASSERT_EQ(mem_read(0x6000 + i), big[i]) << i;
    for (size_t i = 0; i < rel.size(); ++i) ASSERT_EQ(mem_read(0x7010 + i), rel[i]) << i;
    EXPECT_EQ(mem_read_word(0x40F9), 0x43F0);
    EXPECT_EQ(mem_read_word(0x40FB), 0x43F0);
    EXPECT_EQ(mem_read_word(0x40FD), 0x43F0);
    // R names the BASIC program and does not run its text as code.
    firmware_run_frames(5);
    firmware_type("R\r", 20);
    EXPECT_TRUE(screen_shows("THIS FIRMWARE HAS NO")) << screen_text_dump();
    EXPECT_EQ(mem_read(0x5300), 0x00);
}

INSTANTIATE_TEST_SUITE_P(Models, PtpWavLoad, ::testing::Values(MODEL_A64, MODEL_B48, MODEL_C64),
                         [](const auto& info) { return "Model" + std::to_string(info.param); });

}  // namespace
