// PTP to WAV in the Primo's tape format.
#include "ptpwav.h"

#include "fileio.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

constexpr int64_t HALF_ZERO_US = 468;
constexpr int64_t HALF_ONE_US = 156;
constexpr int64_t SILENCE_US = 250000;
constexpr int LEADER_BYTES = 512;
constexpr int SYNC_ONES = 96;
constexpr int SYNC_MARKS = 3;

// Appends levels by their duration; sample n covers [n, n + 1) / rate
// seconds and takes the level in force at its start.
struct signal_writer {
    std::vector<uint8_t>& out;
    int64_t rate;
    int64_t now_us = 0;

    void level(uint8_t value, int64_t duration_us)
    {
        now_us += duration_us;
        const int64_t end = (now_us * rate + 999999) / 1000000;
        while (static_cast<int64_t>(out.size()) < end) out.push_back(value);
    }
    void byte(uint8_t b)
    {
        for (int bit = 7; bit >= 0; --bit) {
            const int64_t half = (b >> bit & 1) ? HALF_ONE_US : HALF_ZERO_US;
            level(PTPWAV_HIGH, half);
            level(PTPWAV_LOW, half);
        }
    }
    void repeat(uint8_t b, int count)
    {
        for (int i = 0; i < count; ++i) byte(b);
    }
};

struct block_span {
    size_t start;
    size_t length;
};

uint16_t word_at(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

std::string at_offset(const char* what, size_t offset)
{
    return std::string(what) + " at offset " + std::to_string(offset);
}

// Splits the image into programs of blocks, checking every length.
bool parse_programs(const uint8_t* data, size_t size, std::vector<std::vector<block_span>>& programs,
                    std::string& error)
{
    size_t pos = 0;
    while (pos < size) {
        if (data[pos] != 0xFF) {
            error = at_offset("No PTP program header", pos);
            return false;
        }
        if (size - pos < 3) {
            error = at_offset("Truncated program header", pos);
            return false;
        }
        const size_t length = word_at(data + pos + 1);
        if (length < 3 || length > size - pos) {
            error = at_offset("Program length runs past the end of the file", pos);
            return false;
        }
        const size_t end = pos + length;
        std::vector<block_span> blocks;
        size_t at = pos + 3;
        bool last = false;
        while (!last) {
            if (end - at < 3) {
                error = at_offset("Program ends without its last block", at);
                return false;
            }
            const uint8_t marker = data[at];
            if (marker != 0x55 && marker != 0xAA) {
                error = at_offset("Unknown block marker", at);
                return false;
            }
            const size_t block_length = word_at(data + at + 1);
            if (block_length == 0 || block_length > end - at - 3) {
                error = at_offset("Block runs past the end of its program", at);
                return false;
            }
            blocks.push_back({at + 3, block_length});
            at += 3 + block_length;
            last = marker == 0xAA;
        }
        programs.push_back(std::move(blocks));
        pos = end;
    }
    if (programs.empty()) {
        error = "Empty PTP file";
        return false;
    }
    return true;
}

}  // namespace

int ptpwav_convert(const uint8_t* data, size_t size, int rate, std::vector<uint8_t>& samples,
                   std::string& error)
{
    samples.clear();
    if (rate < 8000 || rate > 192000) {
        error = "Unsupported sample rate " + std::to_string(rate);
        return 0;
    }
    if (!data || size == 0) {
        error = "Empty PTP file";
        return 0;
    }
    std::vector<std::vector<block_span>> programs;
    if (!parse_programs(data, size, programs, error)) return 0;
    signal_writer w{samples, rate};
    for (const auto& program : programs) {
        w.level(PTPWAV_LOW, SILENCE_US);
        w.repeat(0xAA, LEADER_BYTES);
        for (const block_span& block : program) {
            w.repeat(0xFF, SYNC_ONES);
            w.repeat(0xD3, SYNC_MARKS);
            for (size_t i = 0; i < block.length; ++i) w.byte(data[block.start + i]);
            w.byte(0xFF);
        }
    }
    w.level(PTPWAV_LOW, SILENCE_US);
    return 1;
}

std::vector<uint8_t> ptpwav_header(int rate, uint32_t data_bytes)
{
    std::vector<uint8_t> h(WAV_HEADER_BYTES);
    wav_header(h.data(), static_cast<uint32_t>(rate), 8, data_bytes);
    return h;
}

int ptpwav_write_file(const char* ptp_path, const char* wav_path, std::string& error)
{
    if (!ptp_path || !wav_path) {
        error = "No file name";
        return 0;
    }
    std::ifstream in(ptp_path, std::ios::binary);
    if (!in) {
        error = std::string("Cannot open ") + ptp_path;
        return 0;
    }
    const std::vector<uint8_t> ptp((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> samples;
    if (!ptpwav_convert(ptp.data(), ptp.size(), PTPWAV_RATE, samples, error)) return 0;
    const std::vector<uint8_t> header = ptpwav_header(PTPWAV_RATE, static_cast<uint32_t>(samples.size()));
    std::ofstream out(wav_path, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = std::string("Cannot create ") + wav_path;
        return 0;
    }
    out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
    out.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size()));
    out.close();
    if (!out) {
        std::error_code ec;
        std::filesystem::remove(wav_path, ec);
        error = std::string("Cannot write ") + wav_path;
        return 0;
    }
    return 1;
}

int ptp_to_wav(const char* ptp_path, const char* wav_path)
{
    std::string error;
    if (ptpwav_write_file(ptp_path, wav_path, error)) return 1;
    std::fprintf(stderr, "%s\n", error.c_str());
    return 0;
}
