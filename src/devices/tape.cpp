// Signal-level tape. A WAV file is played into the tape input at its own
// sample rate; the tape output bits are recorded into an 8-bit mono WAV.
// The transport rolls while the Play/Record key is down and, unless remote
// control is disabled, the motor bit (control register bit 2 clear) is on.
//
// The machine's tape input is inverted against the WAV's sample values: a
// sample above the midline reads as a low input. Loaders that time single
// half waves were made for that; recordings are written the same way round,
// so they play back as the output was. Flipping the signal serves tapes made
// the other way.
#include "devices/tape.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "core/event.h"
#include "core/hooks.h"
#include "core/machine.h"
#include "core/bus.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "devices/beeper.h"
#include "media/fileio.h"
#include "media/ptp.h"
#include "sound/sound.h"

namespace {

constexpr uint32_t RATE_MIN = 8000;
constexpr uint32_t RATE_MAX = 192000;
constexpr uint16_t FORMAT_PCM = 1;
constexpr uint16_t FORMAT_EXTENSIBLE = 0xFFFE;
constexpr size_t READ_CHUNK = 1 << 16;

// The tape being played: the file, read ahead in a buffer.
struct player_t {
    file_ptr file;
    wav_format format;
    uint64_t left = 0;                 // data bytes not yet read
    uint64_t consumed = 0;             // data bytes handed out (the record's place)
    std::vector<uint8_t> buffer;
    size_t have = 0, at = 0;
};

// The tape being recorded.
struct recorder_t {
    file_ptr file;
    uint32_t rate = 44100;
    uint64_t data_bytes = 0;
    int64_t prev_clock = 0;
    uint64_t remainder = 0;
    bool full = false;
};

// The deck, the host's side of the tape: the files, the keys and settings a
// person works, and the lamp shown.
struct deck_t {
    player_t player;
    recorder_t recorder;
    bool play_key = false;
    bool remote_disabled = false;
    bool flipped = false;
    uint8_t comp_level = WAV_COMP_DEFAULT;
    int lamp = -1;
} deck;

player_t& player = deck.player;
recorder_t& recorder = deck.recorder;
tape_t& T() { return the_machine.tape; }

bool rolling() { return deck.play_key && (deck.remote_disabled || T().motor_on); }

uint8_t recorded_value(int bits)
{
    switch (bits & 3) {
    case 0: return deck.flipped ? 8 : 248;
    case 3: return deck.flipped ? 248 : 8;
    default: return 128;
    }
}

void patch_recording_sizes()
{
    std::FILE* f = recorder.file.get();
    if (!f) return;
    uint8_t header[WAV_HEADER_BYTES];
    wav_header(header, recorder.rate, 8, static_cast<uint32_t>(recorder.data_bytes));
    std::fflush(f);
    if (std::fseek(f, 0, SEEK_SET) == 0) std::fwrite(header, 1, sizeof header, f);
    std::fseek(f, 0, SEEK_END);
    std::fflush(f);
}

void write_samples(uint8_t value, uint64_t n)
{
    if (!recorder.file || n == 0) return;
    if (recorder.data_bytes + n > WAV_DATA_MAX) {
        n = WAV_DATA_MAX - recorder.data_bytes;
        if (!recorder.full) host_notify(host_note::tape_recording_full);
        recorder.full = true;
    }
    uint8_t chunk[4096];
    std::memset(chunk, value, sizeof chunk);
    for (uint64_t left = n; left > 0;) {
        const size_t part = left < sizeof chunk ? static_cast<size_t>(left) : sizeof chunk;
        if (std::fwrite(chunk, 1, part, recorder.file.get()) != part) return;
        recorder.data_bytes += part;
        left -= part;
    }
}

// The samples of the output level that has lasted since the last change,
// when the tape ran all that time.
void record_until(int64_t now, int bits, bool ran)
{
    const uint64_t clock = z80_state.clock ? z80_state.clock : 2500000;
    const int64_t elapsed = now > recorder.prev_clock ? now - recorder.prev_clock : 0;
    recorder.prev_clock = now;
    if (!ran) {
        recorder.remainder = 0;
        return;
    }
    recorder.remainder += static_cast<uint64_t>(elapsed) * recorder.rate;
    const uint64_t n = recorder.remainder / clock;
    recorder.remainder %= clock;
    write_samples(recorded_value(bits), n);
}

void set_input_level(uint8_t level)
{
    if (level == T().read_in) return;
    // The falling edge sets the interrupt latch; the processor's acknowledge
    // cycle clears it (machine_bus), as a real edge-triggered flip-flop does,
    // so one edge makes one interrupt however long interrupts stay masked.
    if (T().read_in == 4 && level == 0) memory_trigger_im1(1);
    sound_update(z80_state.tcount);
    beeper_set_level(level ? 1 : 0);
    T().read_in = level;
}

// The buffer is read from where the record says the tape stands.
void follow_record()
{
    if (player.consumed == T().played) return;
    const uint64_t played = std::min(T().played, player.format.data_bytes);
    std::fseek(player.file.get(), player.format.data_start + static_cast<long>(played), SEEK_SET);
    player.left = player.format.data_bytes - played;
    player.have = player.at = 0;
    player.consumed = T().played = played;
}

bool next_sample(uint8_t& sample)
{
    follow_record();
    const uint16_t frame = player.format.frame_bytes;
    if (player.have - player.at < frame) {
        if (player.left < frame) return false;
        const size_t keep = player.have - player.at;
        std::memmove(player.buffer.data(), player.buffer.data() + player.at, keep);
        size_t want = READ_CHUNK - keep;
        if (want > player.left) want = static_cast<size_t>(player.left);
        const size_t got = std::fread(player.buffer.data() + keep, 1, want, player.file.get());
        player.left = got < want ? 0 : player.left - got;
        player.have = keep + got;
        player.at = 0;
        if (player.have < frame) return false;
    }
    const uint8_t* p = player.buffer.data() + player.at;
    player.at += frame;
    player.consumed += frame;
    T().played = player.consumed;
    // The first channel; 16-bit samples are signed, their high byte is enough.
    sample = player.format.bits == 8 ? p[0] : static_cast<uint8_t>(p[1] ^ 0x80);
    return true;
}

void rewind_player()
{
    if (!player.file) return;
    std::fseek(player.file.get(), player.format.data_start, SEEK_SET);
    player.left = player.format.data_bytes;
    player.have = player.at = 0;
    player.consumed = T().played = 0;
    T().quiet = 0;
    T().in_half = false;
    T().ended = false;
}

// The midline lasting this long ends the half wave in progress: 0.2 ms,
// shorter than any half wave's error could bear.
uint32_t quiet_samples()
{
    const uint32_t n = player.format.rate / 5000;
    return n < 2 ? 2 : n;
}

void end_half_wave()
{
    if (T().in_half) set_input_level(T().read_in ? 0 : 4);
    T().in_half = false;
}

// One sample into the input level: outside the band around the midline it
// decides, inside it keeps the level; a stretch at the midline and the end
// of the data end the half wave in progress.
void play_sample(bool have, uint8_t sample)
{
    tape_t& t = T();
    const uint8_t high = deck.flipped ? 4 : 0;
    const uint8_t band = deck.comp_level;
    if (!have) {
        if (!t.ended && t.quiet < quiet_samples()) end_half_wave();
        t.ended = true;
        return;
    }
    const bool quiet = sample >= 128 - band && sample <= 128 + band;
    t.quiet = quiet ? t.quiet + 1 : 0;
    if (sample > 127 + band || sample < 128 - band) {
        set_input_level(sample > 127 + band ? high : 4 - high);
        t.in_half = true;
    } else if (t.quiet == quiet_samples()) {
        end_half_wave();
    }
}

// Runs the sampling event while a file is loaded and the key is down.
void sync_event()
{
    const bool want = player.file && deck.play_key;
    if (want && !T().event_running) {
        T().remainder = 0;
        event_setup(EVENT_TAPE, z80_state.tcount, do_tape_event);
    } else if (!want && T().event_running) {
        event_remove_id(EVENT_TAPE);
    }
    T().event_running = want;
}

// Follows a change of the key, the motor or the remote setting.
void transport_changed()
{
    const bool now_rolling = rolling();
    if (T().was_rolling && !now_rolling) {
        // What the output did up to the stop is on the tape, and the
        // recording so far is a complete file.
        record_until(z80_state.tcount, snapshot_out(0), true);
        patch_recording_sizes();
        T().read_in = 0;
    }
    if (!T().was_rolling && now_rolling) {
        recorder.prev_clock = z80_state.tcount;
        recorder.remainder = 0;
    }
    T().was_rolling = now_rolling;
    sync_event();
    tape_lamp_changed();
}

}  // namespace

bool tape_wav_read_format(std::FILE* file, wav_format& format, std::string* error)
{
    format = wav_format{};
    uint8_t riff[12];
    if (!file || std::fseek(file, 0, SEEK_SET) != 0 || std::fread(riff, 1, 12, file) != 12 ||
        std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
        return refuse(error, "nem RIFF WAVE állomány");
    std::fseek(file, 0, SEEK_END);
    const long file_size = std::ftell(file);
    long pos = 12;
    bool have_format = false;
    while (pos + 8 <= file_size) {
        uint8_t chunk[8];
        if (std::fseek(file, pos, SEEK_SET) != 0 || std::fread(chunk, 1, 8, file) != 8) break;
        const uint32_t size = get_le32(chunk + 4);
        const long body = pos + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            uint8_t fmt[40] = {};
            if (size < 16 || std::fread(fmt, 1, size < 40 ? size : 40, file) < 16)
                return refuse(error, "hibás formátumblokk");
            uint16_t tag = get_le16(fmt);
            if (tag == FORMAT_EXTENSIBLE && size >= 40) tag = get_le16(fmt + 24);   // the subformat
            format.channels = get_le16(fmt + 2);
            format.rate = get_le32(fmt + 4);
            format.frame_bytes = get_le16(fmt + 12);
            format.bits = get_le16(fmt + 14);
            if (tag != FORMAT_PCM)
                return refuse(error, "nem PCM hang (formátumkód " + std::to_string(tag) + ")");
            if (format.bits != 8 && format.bits != 16)
                return refuse(error, std::to_string(format.bits) + " bites minták (csak 8 és 16 bites lehet)");
            if (format.rate < RATE_MIN || format.rate > RATE_MAX)
                return refuse(error, std::to_string(format.rate) + " Hz mintavétel (8000 és 192000 Hz között lehet)");
            if (format.channels == 0 || format.frame_bytes != format.channels * format.bits / 8)
                return refuse(error, "hibás csatornaszám vagy blokkméret");
            have_format = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!have_format)
                return refuse(error, "az adatblokk a formátumblokk előtt áll");
            const uint64_t in_file = static_cast<uint64_t>(file_size - body);
            // A recording never finished says 0 (or too much): take what is there.
            format.data_bytes = size == 0 || size > in_file ? in_file : size;
            format.data_start = body;
            std::fseek(file, body, SEEK_SET);
            return true;
        }
        pos = body + static_cast<long>(size) + (size & 1);
    }
    return refuse(error, have_format ? "hiányzik az adatblokk (data)" : "hiányzik a formátumblokk (fmt)");
}

bool tape_open_wav(const char* path, std::string* why)
{
    tape_close();
    if (!path || !*path) return refuse(why, "");
    const std::string reason = file_unreadable_reason(path);
    std::FILE* file = reason.empty() ? std::fopen(path, "rb") : nullptr;
    if (!file) return refuse(why, reason.empty() ? "nem nyitható meg: " + file_error_text(errno) : reason);
    return tape_open_wav_stream(file, why);
}

bool tape_open_wav_stream(std::FILE* stream, std::string* why)
{
    tape_close();
    file_ptr file(stream);
    wav_format format;
    if (!tape_wav_read_format(file.get(), format, why)) return false;
    T().read_in = 0;
    tape_remove_traps();
    player.file = std::move(file);
    player.format = format;
    player.buffer.assign(READ_CHUNK, 0);
    rewind_player();
    sync_event();
    tape_lamp_changed();
    return true;
}

bool tape_create_wav(const char* path, int rate, std::string* why)
{
    tape_close();
    T().read_in = 0;
    if (!path || !*path) return refuse(why, "");
    const uint32_t r = rate >= static_cast<int>(RATE_MIN) && rate <= static_cast<int>(RATE_MAX)
                           ? static_cast<uint32_t>(rate) : 44100;
    file_ptr file(std::fopen(path, "wb"));
    uint8_t header[WAV_HEADER_BYTES];
    wav_header(header, r, 8, 0);
    if (!file || std::fwrite(header, 1, sizeof header, file.get()) != sizeof header || std::fflush(file.get()) != 0)
        return refuse(why, file_error_text(errno));
    tape_remove_traps();
    recorder = recorder_t{};
    recorder.file = std::move(file);
    recorder.rate = r;
    recorder.prev_clock = z80_state.tcount;
    tape_lamp_changed();
    return true;
}

void tape_finish_recording()
{
    if (!recorder.file) return;
    record_until(z80_state.tcount, snapshot_out(0), rolling());
    patch_recording_sizes();
}

void tape_close()
{
    tape_finish_recording();
    recorder.file.reset();
    player.file.reset();
    player.buffer.clear();
    player.buffer.shrink_to_fit();
    T().read_in = 0;
    sync_event();
    tape_lamp_changed();
}

void tape_close_wav() { tape_close(); }

int tape_wav_open() { return player.file ? 1 : recorder.file ? 2 : 0; }

void tape_save_wav(int64_t now, int previous_bits)
{
    record_until(now, previous_bits, recorder.file && rolling());
}

void tape_remote_control(int value)
{
    T().motor_on = value != 0;
    transport_changed();
}

void tape_set_remote_enable(int flag)
{
    deck.remote_disabled = flag != 0;
    transport_changed();
}

int tape_press_play()
{
    tape_set_play_key(!deck.play_key);
    return deck.play_key ? 1 : 0;
}

void tape_set_play_key(int down)
{
    deck.play_key = down != 0;
    transport_changed();
}

int tape_rolling() { return rolling() ? 1 : 0; }

void tape_set_signal_flipped(int flag) { deck.flipped = flag != 0; }
int tape_signal_flipped() { return deck.flipped ? 1 : 0; }

void tape_rewind() { rewind_player(); }

void do_tape_event(int64_t*)
{
    const int64_t due = the_machine.events.entries[EVENT_TAPE].time;
    uint8_t sample = 0;
    if (player.file && rolling()) {
        const bool have = next_sample(sample);
        play_sample(have, sample);
    }
    // Whole cycles per sample, the fraction carried on: the file plays at
    // its own rate.
    const uint32_t rate = player.format.rate ? player.format.rate : 44100;
    T().remainder += z80_state.clock;
    const int64_t step = static_cast<int64_t>(T().remainder / rate);
    T().remainder %= rate;
    event_schedule_id(EVENT_TAPE, due + (step > 0 ? step : 1));
}

void tape_lamp_changed()
{
    const int on = (tape_wav_open() && rolling()) || (ptp_serving() && T().motor_on) ? 1 : 0;
    if (on == deck.lamp) return;
    deck.lamp = on;
    tape_lamp_update(on);
}

uint8_t& wav_comp_level() { return deck.comp_level; }

void tape_device_state(state_io& io)
{
    tape_t& t = T();
    io(t.read_in);
    io(t.motor_on);
    io(t.was_rolling);
    io(t.event_running);
    io(t.played);
    io(t.remainder);
    io(t.quiet);
    io(t.in_half);
    io(t.ended);
}

void tape_device_restored()
{
    // The record's event and rolling state came with the copy; the deck's
    // key and file decide what they are now.
    const bool want = player.file && deck.play_key;
    if (!want) event_remove_id(EVENT_TAPE);
    else if (!event_find(EVENT_TAPE)) event_setup(EVENT_TAPE, z80_state.tcount, do_tape_event);
    else event_register(EVENT_TAPE, do_tape_event);
    T().event_running = want;
    T().was_rolling = rolling();
    recorder.prev_clock = z80_state.tcount;
    recorder.remainder = 0;
    tape_lamp_changed();
}
