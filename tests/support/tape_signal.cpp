#include "support/tape_signal.h"

#include <cstdint>

#include "core/event.h"
#include "core/bus.h"
#include "core/memory.h"
#include "core/machine.h"
#include "cpu/cpu.h"
#include "devices/tape.h"

namespace {

constexpr int RECORDER_EVENT = 1;
constexpr int64_t FAR_AWAY = INT64_MAX / 4;

struct sampler {
    int rate = 44100;
    int64_t start = 0;
    int64_t index = 0;
    int64_t due() const
    {
        return start + static_cast<int64_t>((index * static_cast<double>(z80_state.clock)) / rate);
    }
};

sampler recorder, player;
int record_mask = 3;
std::vector<uint8_t> recorded;
std::vector<uint8_t> playing;
bool play_active = false;

void record_event(int64_t*)
{
    const int bits = snapshot_out(0) & record_mask;
    recorded.push_back(bits == record_mask ? 248 : bits == 0 ? 8 : 128);
    ++recorder.index;
    event_schedule_id(RECORDER_EVENT, recorder.due());
}

void play_event(int64_t*)
{
    if (player.index >= static_cast<int64_t>(playing.size())) {
        the_machine.tape.read_in = 0;
        play_active = false;
        event_schedule_id(EVENT_TAPE, FAR_AWAY);
        return;
    }
    the_machine.tape.read_in = playing[player.index] >= 128 ? 4 : 0;
    ++player.index;
    event_schedule_id(EVENT_TAPE, player.due());
}

}  // namespace

void tape_signal_record_start(int rate, int mask)
{
    recorded.clear();
    record_mask = mask;
    recorder = {rate, z80_state.tcount, 0};
    event_setup(RECORDER_EVENT, recorder.due(), record_event);
}

std::vector<uint8_t> tape_signal_record_stop()
{
    event_remove_id(RECORDER_EVENT);
    return recorded;
}

void tape_signal_play(const std::vector<uint8_t>& samples, int rate)
{
    playing = samples;
    player = {rate, z80_state.tcount, 0};
    play_active = true;
    event_setup(EVENT_TAPE, player.due(), play_event);
}

bool tape_signal_playing() { return play_active; }

void tape_signal_stop()
{
    event_remove_id(EVENT_TAPE);
    play_active = false;
    the_machine.tape.read_in = 0;
}

namespace {

// Between a 1 cycle (624 us) and a 0 cycle (1872 us); longer than any bit.
constexpr double SPLIT_US = 1248;
constexpr double GAP_US = 4000;

struct bit_reader {
    std::vector<double> cycles;   // microseconds, rising edge to rising edge
    size_t pos = 0;
    bool done() const { return pos >= cycles.size(); }
    // -1 at the end or on a gap, else the bit.
    int next(double* length = nullptr)
    {
        if (done()) return -1;
        const double c = cycles[pos++];
        if (length) *length = c;
        if (c > GAP_US) return -1;
        return c < SPLIT_US ? 1 : 0;
    }
};

}  // namespace

decoded_tape tape_signal_decode(const std::vector<uint8_t>& samples, int rate)
{
    decoded_tape tape;
    bit_reader r;
    int64_t last_rise = -1;
    for (size_t i = 1; i < samples.size(); ++i) {
        if (samples[i - 1] < 128 && samples[i] >= 128) {
            if (last_rise >= 0) r.cycles.push_back((static_cast<double>(i) - last_rise) * 1e6 / rate);
            last_rise = static_cast<int64_t>(i);
        }
    }
    // Leader: the longest run of alternating bits before the first block.
    {
        int run = 0, best = 0, prev = -1;
        for (size_t i = 0; i < r.cycles.size(); ++i) {
            const double c = r.cycles[i];
            const int bit = c > GAP_US ? -1 : c < SPLIT_US ? 1 : 0;
            if (bit >= 0 && prev >= 0 && bit != prev) ++run;
            else run = bit >= 0 ? 1 : 0;
            if (run > best) best = run;
            prev = bit;
            if (bit == 1 && i + 16 < r.cycles.size()) {
                bool ones = true;
                for (int k = 0; k < 16 && ones; ++k) ones = r.cycles[i + k] < SPLIT_US;
                if (ones) break;
            }
        }
        tape.leader_bits = best;
    }
    auto read_byte = [&](int& value) {
        value = 0;
        for (int b = 0; b < 8; ++b) {
            double len = 0;
            const int bit = r.next(&len);
            if (bit < 0) return false;
            (bit ? tape.one_us : tape.zero_us).push_back(len);
            value = value << 1 | bit;
        }
        return true;
    };
    while (!r.done()) {
        // Sync: 32 ones, then the bits up to 0xD3, then two more 0xD3.
        int ones = 0;
        while (!r.done() && ones < 32) ones = r.next() == 1 ? ones + 1 : 0;
        if (r.done()) break;
        int shift = 0xFF;
        bool synced = false;
        while (!r.done()) {
            const int bit = r.next();
            if (bit < 0) break;
            shift = (shift << 1 | bit) & 0xFF;
            if (shift == 0xD3) {
                synced = true;
                break;
            }
        }
        if (!synced) break;
        int a = 0, b = 0;
        if (!read_byte(a) || !read_byte(b) || a != 0xD3 || b != 0xD3) {
            tape.error = "bad sync marks";
            return tape;
        }
        std::vector<uint8_t> block;
        auto take = [&](int count) {
            for (int i = 0; i < count; ++i) {
                int v = 0;
                if (!read_byte(v)) return false;
                block.push_back(static_cast<uint8_t>(v));
            }
            return true;
        };
        if (!take(1)) break;
        bool ok = true;
        const uint8_t type = block[0];
        if ((type & 0xF0) == 0x80) {
            ok = take(2) && take(block[2] + 1);
        } else if ((type & 0xF0) == 0xF0) {
            ok = take(4);
            if (ok) ok = take((block[4] ? block[4] : 256) + 1);
        } else if (type == 0xB9) {
            ok = take(4);
        } else {
            ok = take(2);
        }
        if (!ok) {
            tape.error = "block " + std::to_string(tape.blocks.size()) + " cut short, type " + std::to_string(type) + " size " + std::to_string(block.size());
            return tape;
        }
        tape.blocks.push_back(block);
    }
    return tape;
}

std::vector<uint8_t> tape_signal_wav(const std::vector<uint8_t>& ptp, const tape_wav_spec& spec)
{
    // The levels of the signal, as (level, microseconds); level -1, 0, +1.
    std::vector<std::pair<int, double>> levels;
    auto byte = [&](uint8_t b) {
        for (int bit = 7; bit >= 0; --bit) {
            const double half = (b >> bit & 1) ? spec.one_us : spec.zero_us;
            levels.push_back({1, half});
            levels.push_back({-1, half});
        }
    };
    auto repeat = [&](uint8_t b, int n) {
        for (int i = 0; i < n; ++i) byte(b);
    };
    size_t pos = 0;
    while (pos + 3 <= ptp.size()) {
        const size_t end = pos + (ptp[pos + 1] | ptp[pos + 2] << 8);
        levels.push_back({0, 250000});
        repeat(0xAA, 512);
        for (size_t at = pos + 3; at + 3 <= end;) {
            const size_t length = ptp[at + 1] | ptp[at + 2] << 8;
            repeat(0xFF, 96);
            repeat(0xD3, 3);
            for (size_t i = 0; i < length; ++i) byte(ptp[at + 3 + i]);
            const bool last = ptp[at] == 0xAA;
            if (!last || spec.last_trailer) byte(0xFF);
            at += 3 + length;
            if (last) break;
        }
        pos = end;
    }
    levels.push_back({0, 250000});

    const int frame = spec.channels * spec.bits / 8;
    std::vector<uint8_t> data;
    uint32_t noise_state = 12345;
    auto noise = [&] {
        noise_state = noise_state * 1103515245u + 12345u;
        return spec.noise ? static_cast<int>((noise_state >> 16) % (2 * spec.noise + 1)) - spec.noise : 0;
    };
    auto put = [&](int level) {
        for (int ch = 0; ch < spec.channels; ++ch) {
            const int v8 = (ch == 0 ? level * 100 : 0) + noise();   // around 0, 8-bit steps
            if (spec.bits == 8) {
                data.push_back(static_cast<uint8_t>(128 + v8));
            } else {
                const int v16 = v8 * 256;
                data.push_back(static_cast<uint8_t>(v16));
                data.push_back(static_cast<uint8_t>(v16 >> 8));
            }
        }
    };
    double now = 0;
    size_t written = 0;
    for (const auto& [level, us] : levels) {
        now += us;
        const size_t end = static_cast<size_t>(now * spec.rate / 1e6 + 0.5);
        for (; written < end; ++written) put(level);
    }

    std::vector<uint8_t> wav;
    auto u16 = [&](uint32_t v) { wav.push_back(static_cast<uint8_t>(v)); wav.push_back(static_cast<uint8_t>(v >> 8)); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    auto tag = [&](const char* t) { wav.insert(wav.end(), t, t + 4); };
    tag("RIFF");
    u32(0);   // filled in below
    tag("WAVE");
    if (spec.list_chunk) {
        tag("LIST");
        u32(7);
        tag("INFO");
        wav.insert(wav.end(), {'a', 'b', 'c', 0});   // odd size: one pad byte
    }
    tag("fmt ");
    u32(16);
    u16(1);
    u16(static_cast<uint32_t>(spec.channels));
    u32(static_cast<uint32_t>(spec.rate));
    u32(static_cast<uint32_t>(spec.rate * frame));
    u16(static_cast<uint32_t>(frame));
    u16(static_cast<uint32_t>(spec.bits));
    tag("data");
    u32(static_cast<uint32_t>(data.size()));
    wav.insert(wav.end(), data.begin(), data.end());
    const uint32_t riff = static_cast<uint32_t>(wav.size() - 8);
    for (int i = 0; i < 4; ++i) wav[4 + i] = static_cast<uint8_t>(riff >> (8 * i));
    return wav;
}
