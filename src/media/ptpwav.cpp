// PTP to WAV in the Primo's tape format.
#include "media/ptpwav.h"

#include <cstdio>
#include <filesystem>

#include "core/hooks.h"
#include "media/fileio.h"
#include "media/ptp.h"

namespace {

constexpr int64_t HALF_ZERO_US = 936;
constexpr int64_t HALF_ONE_US = 312;
constexpr int64_t SILENCE_US = 250000;
constexpr int LEADER_BYTES = 512;
constexpr int SYNC_ONES = 96;
constexpr int SYNC_MARKS = 3;
constexpr size_t PTP_LIMIT = 16 << 20;

// Where samples go: counted, kept, or written out in chunks.
struct sample_sink {
    std::vector<uint8_t>* keep = nullptr;
    whole_file* file = nullptr;
    uint64_t count = 0;
    std::vector<uint8_t> chunk;
    bool failed = false;

    void put(uint8_t value, uint64_t n)
    {
        count += n;
        if (keep) keep->insert(keep->end(), n, value);
        if (!file) return;
        chunk.insert(chunk.end(), n, value);
        if (chunk.size() >= (1 << 16)) flush();
    }
    void flush()
    {
        if (file && !chunk.empty() && !file->write(chunk.data(), chunk.size())) failed = true;
        chunk.clear();
    }
};

// Appends levels by their duration; sample n covers [n, n + 1) / rate
// seconds and takes the level in force at its start.
struct signal_writer {
    sample_sink& out;
    int64_t rate;
    int64_t now_us = 0;
    uint64_t written = 0;

    void level(uint8_t value, int64_t duration_us)
    {
        now_us += duration_us;
        const uint64_t end = static_cast<uint64_t>((now_us * rate + 999999) / 1000000);
        if (end > written) out.put(value, end - written);
        written = end;
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

void write_signal(const uint8_t* data, const std::vector<ptp_program>& programs, int rate, sample_sink& sink)
{
    signal_writer w{sink, rate};
    for (const ptp_program& program : programs) {
        w.level(PTPWAV_MID, SILENCE_US);
        w.repeat(0xAA, LEADER_BYTES);
        for (const ptp_block& block : program) {
            w.repeat(0xFF, SYNC_ONES);
            w.repeat(0xD3, SYNC_MARKS);
            for (size_t i = 0; i < block.length; ++i) w.byte(data[block.start + i]);
            w.byte(0xFF);
        }
    }
    w.level(PTPWAV_MID, SILENCE_US);
}

// Parses the image and counts its samples; false with the reason.
bool prepare(const uint8_t* data, size_t size, int rate, std::vector<ptp_program>& programs, uint64_t& samples,
             std::string* error, bool* mended = nullptr)
{
    if (rate < 8000 || rate > 192000)
        return refuse(error, "nem támogatott mintavételi frekvencia: " + std::to_string(rate) + " Hz");
    if (!ptp_parse(data, size, programs, error, mended)) return false;
    sample_sink counter;
    write_signal(data, programs, rate, counter);
    samples = counter.count;
    if (samples > WAV_DATA_MAX)
        return refuse(error, "a felvétel " + std::to_string(samples) +
                                 " bájt lenne, több, mint amennyit egy WAV állomány tárolhat (4 GB)");
    return true;
}

bool same_file(const char* a, const char* b)
{
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

}  // namespace

bool ptpwav_convert(const uint8_t* data, size_t size, int rate, std::vector<uint8_t>& samples, std::string* error)
{
    samples.clear();
    std::vector<ptp_program> programs;
    uint64_t count = 0;
    if (!prepare(data, size, rate, programs, count, error)) return false;
    samples.reserve(static_cast<size_t>(count));
    sample_sink keep;
    keep.keep = &samples;
    write_signal(data, programs, rate, keep);
    return true;
}

std::vector<uint8_t> ptpwav_header(int rate, uint32_t data_bytes)
{
    std::vector<uint8_t> h(WAV_HEADER_BYTES);
    wav_header(h.data(), static_cast<uint32_t>(rate), 8, data_bytes);
    return h;
}

bool ptpwav_write_file(const char* ptp_path, const char* wav_path, std::string* error)
{
    if (!ptp_path || !wav_path || !*ptp_path || !*wav_path) return refuse(error, "hiányzik az állomány neve");
    std::vector<uint8_t> ptp;
    std::string why;
    if (!read_file(ptp_path, PTP_LIMIT, ptp, why)) return refuse(error, std::string(ptp_path) + ": " + why);
    std::vector<ptp_program> programs;
    uint64_t count = 0;
    bool mended = false;
    if (!prepare(ptp.data(), ptp.size(), PTPWAV_RATE, programs, count, &why, &mended))
        return refuse(error, std::string(ptp_path) + ": " + why);
    if (mended) host_notify(host_note::ptp_length_mended, ptp_path);
    std::error_code ec;
    if (std::filesystem::exists(wav_path, ec) && !std::filesystem::is_regular_file(wav_path, ec))
        return refuse(error, std::string(wav_path) + ": " + file_unreadable_reason(wav_path) + ", nem írható felül");
    if (same_file(ptp_path, wav_path))
        return refuse(error, std::string(wav_path) + ": a kimenet nem lehet maga a bemeneti állomány");
    // A failure leaves an earlier file of that name untouched.
    whole_file out(wav_path);
    const std::vector<uint8_t> header = ptpwav_header(PTPWAV_RATE, static_cast<uint32_t>(count));
    sample_sink sink;
    sink.file = &out;
    out.write(header.data(), header.size());
    write_signal(ptp.data(), programs, PTPWAV_RATE, sink);
    sink.flush();
    if (!out.commit()) return refuse(error, std::string(wav_path) + ": nem írható: " + out.error());
    return true;
}
