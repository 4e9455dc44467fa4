#include <gtest/gtest.h>

#include <filesystem>
#include <cstring>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "core/hooks.h"
#include "core/machine.h"
#include "cpu/cpu.h"
#include "sound/sound.h"
#include "support/fake_sound_driver.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

uint16_t le16(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

class WavRecording : public ::testing::Test {
protected:
    fs::path dir;
    int64_t t = 0;

    void SetUp() override
    {
        the_machine = machine{};   // a machine of its own
        dir = fs::temp_directory_path() / ("brevan-wav-" + std::to_string(getpid()));
        fs::create_directories(dir);
        fake_sound_engine_start(0, 1);
        fake_sound.position = 0;
    }

    void TearDown() override
    {
        sound_close_wav();
        sound_remove_source(&fake_source);
        fs::remove_all(dir);
    }

    void frames(int count)
    {
        for (int i = 0; i < count; ++i) {
            t += 960 * CYCLES_PER_SAMPLE_160;
            sound_flush(t);
        }
    }
};

TEST_F(WavRecording, FiftyFragmentsMakeAOneSecondFileWithPatchedLengths)
{
    const fs::path path = dir / "rec.wav";
    ASSERT_EQ(sound_create_wav(path.c_str()), 1);
    frames(50);
    uint32_t length = 0;
    EXPECT_EQ(sound_is_saving(&length), 1);
    EXPECT_EQ(length, 96000u);
    sound_close_wav();
    EXPECT_EQ(sound_is_saving(nullptr), 0);

    const auto bytes = read_file(path);
    ASSERT_EQ(bytes.size(), 96044u);
    EXPECT_EQ(le32(bytes, 4), 96036u);
    EXPECT_EQ(le32(bytes, 40), 96000u);
    // One fragment per frame even though the history asked for doubles.
    EXPECT_EQ(fake_sound.writes.size(), 50u);
    // ... while the lead history kept being measured.
    EXPECT_EQ(sound_get_timing().lead_position, 50 % SOUND_LEAD_HISTORY);
}

TEST_F(WavRecording, ARecordingEndsWholeAtTheFormatsLimitWithAMessage)
{
    const fs::path path = dir / "full.wav";
    // The limit 4 GB puts on the data, scaled down to ten frames and a bit.
    ASSERT_EQ(sound_create_wav(path.c_str(), 10 * 1920 + 1000), 1);
    static int full_notes = 0;
    full_notes = 0;
    host_hooks.note = [](host_note what, const char*) { full_notes += what == host_note::sound_recording_full; };
    frames(12);
    host_hooks.note = nullptr;
    EXPECT_EQ(full_notes, 1) << "the shell is told, once";
    EXPECT_EQ(sound_is_saving(nullptr), 0);
    const auto bytes = read_file(path);
    ASSERT_EQ(bytes.size(), 44u + 10 * 1920);
    EXPECT_EQ(le32(bytes, 4), 36u + 10 * 1920);
    EXPECT_EQ(le32(bytes, 40), 10u * 1920);
}

TEST_F(WavRecording, EmptyRecordingHasTheFullHeader)
{
    const fs::path path = dir / "empty.wav";
    ASSERT_EQ(sound_create_wav(path.c_str()), 1);
    sound_close_wav();
    const auto bytes = read_file(path);
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(le32(bytes, 4), 36u);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(bytes, 16), 16u);
    EXPECT_EQ(le16(bytes, 20), 1);
    EXPECT_EQ(le16(bytes, 22), 1);
    EXPECT_EQ(le32(bytes, 24), 48000u);
    EXPECT_EQ(le32(bytes, 28), 96000u);
    EXPECT_EQ(le16(bytes, 32), 2);
    EXPECT_EQ(le16(bytes, 34), 16);
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
    EXPECT_EQ(le32(bytes, 40), 0u);
}

TEST_F(WavRecording, RecordsExactlyWhatTheDriverPlays)
{
    const fs::path path = dir / "same.wav";
    fake_source_state.level = 4096;
    ASSERT_EQ(sound_create_wav(path.c_str()), 1);
    frames(3);
    sound_close_wav();
    const auto bytes = read_file(path);
    ASSERT_EQ(bytes.size(), 44u + 3 * 1920);
    ASSERT_EQ(fake_sound.writes.size(), 3u);
    for (size_t f = 0; f < 3; ++f)
        EXPECT_EQ(std::memcmp(bytes.data() + 44 + f * 1920, fake_sound.writes[f].samples.data(), 1920), 0);
}

TEST_F(WavRecording, SecondRecordingCountsFromZero)
{
    ASSERT_EQ(sound_create_wav((dir / "a.wav").c_str()), 1);
    frames(2);
    sound_close_wav();
    ASSERT_EQ(sound_create_wav((dir / "b.wav").c_str()), 1);
    uint32_t length = 12345;
    EXPECT_EQ(sound_is_saving(&length), 1);
    EXPECT_EQ(length, 0u);
    frames(1);
    sound_is_saving(&length);
    EXPECT_EQ(length, 1920u);
}

TEST_F(WavRecording, StartingAgainWhileRecordingFinishesTheFirstFile)
{
    ASSERT_EQ(sound_create_wav((dir / "first.wav").c_str()), 1);
    frames(2);
    ASSERT_EQ(sound_create_wav((dir / "second.wav").c_str()), 1);
    const auto first = read_file(dir / "first.wav");
    ASSERT_EQ(first.size(), 44u + 2 * 1920);
    EXPECT_EQ(le32(first, 40), 2u * 1920);
}

TEST_F(WavRecording, EngineCloseFinishesAnOpenRecording)
{
    const fs::path path = dir / "atexit.wav";
    ASSERT_EQ(sound_create_wav(path.c_str()), 1);
    frames(1);
    sound_close();
    EXPECT_EQ(sound_is_saving(nullptr), 0);
    const auto bytes = read_file(path);
    ASSERT_EQ(bytes.size(), 44u + 1920);
    EXPECT_EQ(le32(bytes, 4), 36u + 1920);
    EXPECT_EQ(le32(bytes, 40), 1920u);
}

TEST_F(WavRecording, UncreatableFileIsRefused)
{
    EXPECT_EQ(sound_create_wav((dir / "no-such-folder" / "x.wav").c_str()), 0);
    EXPECT_EQ(sound_create_wav(nullptr), 0);
    EXPECT_EQ(sound_is_saving(nullptr), 0);
}

} // namespace
