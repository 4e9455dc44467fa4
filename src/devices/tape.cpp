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
//
// Playing costs work per change of the input, not per sample: the player
// looks ahead in the file for the first sample that changes the level and
// queues one event at that sample's point, where the samples before it are
// played too. The processor sees the input, its interrupt and the beeper's
// echo at the same event passes as if every sample had an event of its
// own: two passes are never further apart than the longest instruction,
// so while sample points are further apart than that, each is passed by
// the first pass at or after it. At rates that close the points up, every
// sample has its event.
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
// The most T-states between two event passes: the longest instruction.
constexpr uint64_t LONGEST_PASS_GAP = 23;
// Samples looked ahead at once; a stretch without a change longer than this
// is played in parts.
constexpr size_t LOOK_AHEAD = 4096;

// The tape being played: the file, read ahead in a buffer.
struct player_t {
    file_ptr file;
    wav_format format;
    uint64_t left = 0;                 // data bytes not yet read
    uint64_t consumed = 0;             // data bytes played (the record's place)
    std::vector<uint8_t> buffer;
    size_t have = 0, at = 0;           // bytes in the buffer, and the first not played
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

// Frames ready in the buffer from the next one on, up to `want`, reading on
// when fewer are there. Fewer than wanted only at the end of the data, or
// for frames too wide for the buffer to hold that many; none at the end.
size_t frames_ready(size_t want)
{
    follow_record();
    const size_t frame = player.format.frame_bytes;
    const size_t ready = (player.have - player.at) / frame;
    if (ready >= want || player.left == 0) return std::min(ready, want);
    const size_t keep = player.have - player.at;
    std::memmove(player.buffer.data(), player.buffer.data() + player.at, keep);
    size_t room = READ_CHUNK - keep;
    if (room > player.left) room = static_cast<size_t>(player.left);
    const size_t got = std::fread(player.buffer.data() + keep, 1, room, player.file.get());
    player.left = got < room ? 0 : player.left - got;
    player.have = keep + got;
    player.at = 0;
    return std::min(player.have / frame, want);
}

// Frame i of those ready: its first channel, of 16-bit samples (signed)
// the high byte.
uint8_t sample_at(size_t i)
{
    const uint8_t* p = player.buffer.data() + player.at + i * player.format.frame_bytes;
    return player.format.bits == 8 ? p[0] : static_cast<uint8_t>(p[1] ^ 0x80);
}

void consume(size_t frames)
{
    const size_t bytes = frames * player.format.frame_bytes;
    player.at += bytes;
    player.consumed += bytes;
    T().played = player.consumed;
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

// How samples become the input level: the band, which side reads high, and
// how long a midline stretch ending a half wave is (0.2 ms, shorter than
// any half wave's error could bear).
struct signal_rule {
    uint8_t band;
    uint8_t high;
    uint32_t quiet_run;
};

signal_rule current_rule()
{
    const uint32_t n = player.format.rate / 5000;
    return {deck.comp_level, static_cast<uint8_t>(deck.flipped ? 4 : 0), n < 2 ? 2 : n};
}

// The reading of the signal: the level and what decides the next one.
struct reading {
    uint8_t level;
    uint32_t quiet;
    bool in_half;
    bool ended;
};

reading current_reading() { return {T().read_in, T().quiet, T().in_half, T().ended}; }

void end_half_wave(reading& r)
{
    if (r.in_half) r.level = r.level ? 0 : 4;
    r.in_half = false;
}

// One sample into the reading: outside the band around the midline it
// decides, inside it keeps the level; a stretch at the midline and the end
// of the data (no sample, -1) end the half wave in progress.
void read_sample(reading& r, int sample, const signal_rule& rule)
{
    if (sample < 0) {
        if (!r.ended && r.quiet < rule.quiet_run) end_half_wave(r);
        r.ended = true;
        return;
    }
    const int band = rule.band;
    const bool quiet = sample >= 128 - band && sample <= 128 + band;
    r.quiet = quiet ? r.quiet + 1 : 0;
    if (sample > 127 + band || sample < 128 - band) {
        r.level = sample > 127 + band ? rule.high : static_cast<uint8_t>(4 - rule.high);
        r.in_half = true;
    } else if (r.quiet == rule.quiet_run) {
        end_half_wave(r);
    }
}

void keep_reading(const reading& r)
{
    set_input_level(r.level);
    T().quiet = r.quiet;
    T().in_half = r.in_half;
    T().ended = r.ended;
}

// The sample clock. Point m from `due` on lies at due + (remainder + m *
// clock) / rate.
uint32_t tape_rate() { return player.format.rate ? player.format.rate : 44100; }

// Whether two points are always further apart than two passes.
bool points_apart() { return T().clock / tape_rate() > LONGEST_PASS_GAP; }

int64_t point_after(uint64_t m)
{
    return T().due + static_cast<int64_t>((T().remainder + m * T().clock) / tape_rate());
}

void step_points(uint64_t m)
{
    tape_t& t = T();
    const uint32_t rate = tape_rate();
    if (t.clock < rate) {
        // Never on the machine's clocks; a step still moves on.
        t.due += static_cast<int64_t>(m);
        return;
    }
    const uint64_t total = t.remainder + m * t.clock;
    t.due += static_cast<int64_t>(total / rate);
    t.remainder = total % rate;
}

// How many points from `due` on lie at or before `until`.
uint64_t points_until(int64_t until)
{
    const tape_t& t = T();
    if (until < t.due) return 0;
    if (t.clock < tape_rate()) return static_cast<uint64_t>(until - t.due) + 1;
    const uint64_t span = std::min<uint64_t>(static_cast<uint64_t>(until - t.due) + 1, UINT64_MAX / RATE_MAX);
    return (span * tape_rate() - t.remainder + t.clock - 1) / t.clock;
}

// Plays the next n points: while the tape rolls each takes a sample, else
// the tape stands and the points only pass.
void play_points(uint64_t n)
{
    if (!player.file || !rolling()) {
        step_points(n);
        return;
    }
    const signal_rule rule = current_rule();
    reading r = current_reading();
    while (n > 0) {
        const size_t ready = frames_ready(static_cast<size_t>(std::min<uint64_t>(n, LOOK_AHEAD)));
        if (ready == 0) {
            // The end of the data: the first point after it ends a half
            // wave, the rest pass.
            read_sample(r, -1, rule);
            step_points(n);
            break;
        }
        for (size_t i = 0; i < ready; ++i) read_sample(r, sample_at(i), rule);
        consume(ready);
        step_points(ready);
        n -= ready;
    }
    keep_reading(r);
}

// Points from `due` up to the first sample that changes the level, that
// one included; LOOK_AHEAD or fewer when none does so soon, 0 when none
// ever will.
uint64_t points_to_change()
{
    const signal_rule rule = current_rule();
    reading r = current_reading();
    const uint8_t level = r.level;
    const size_t ready = frames_ready(LOOK_AHEAD);
    for (size_t i = 0; i < ready; ++i) {
        read_sample(r, sample_at(i), rule);
        if (r.level != level) return i + 1;
    }
    if (ready > 0 && (ready == LOOK_AHEAD || player.left > 0)) return ready;
    read_sample(r, -1, rule);
    return r.level != level ? ready + 1 : 0;
}

// Queues the tape's event at the next point that does anything: the
// clock's first point, every point where points close up, else the next
// change of the input while the tape rolls.
void schedule()
{
    const tape_t& t = T();
    if (!t.clock_running) {
        event_remove_id(EVENT_TAPE);
        return;
    }
    if (t.first_waits || !points_apart()) {
        event_schedule_id(EVENT_TAPE, t.due);
        return;
    }
    const uint64_t n = rolling() ? points_to_change() : 0;
    if (n == 0) event_remove_id(EVENT_TAPE);
    else event_schedule_id(EVENT_TAPE, point_after(n - 1));
}

// Plays the points the event passes have gone by (at or before `now`,
// before the queued event), which change nothing: before the transport,
// a setting or the clock changes.
void catch_up()
{
    const tape_t& t = T();
    if (!t.clock_running || t.first_waits || !points_apart()) return;
    int64_t until = z80_state.tcount;
    if (const event_entry* e = event_find(EVENT_TAPE)) until = std::min(until, e->time - 1);
    play_points(points_until(until));
}

// Runs the sample clock while a file is loaded and the key is down.
void sync_event()
{
    tape_t& t = T();
    const bool want = player.file && deck.play_key;
    if (want && !t.clock_running) {
        t.due = z80_state.tcount;
        t.remainder = 0;
        t.clock = static_cast<uint32_t>(z80_state.clock);
        t.first_waits = true;
        event_register(EVENT_TAPE, do_tape_event);
    }
    t.clock_running = want;
    schedule();
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
    catch_up();
    T().motor_on = value != 0;
    transport_changed();
}

void tape_set_remote_enable(int flag)
{
    catch_up();
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
    catch_up();
    deck.play_key = down != 0;
    transport_changed();
}

int tape_rolling() { return rolling() ? 1 : 0; }

void tape_set_signal_flipped(int flag)
{
    catch_up();
    deck.flipped = flag != 0;
    schedule();
}
int tape_signal_flipped() { return deck.flipped ? 1 : 0; }

void tape_rewind()
{
    catch_up();
    rewind_player();
    schedule();
}

void do_tape_event(int64_t*)
{
    if (!T().clock_running) return;
    // The points up to the event's own: those before it change nothing.
    play_points(points_until(the_machine.events.entries[EVENT_TAPE].time));
    T().first_waits = false;
    schedule();
}

void tape_lamp_changed()
{
    const int on = (tape_wav_open() && rolling()) || (ptp_serving() && T().motor_on) ? 1 : 0;
    if (on == deck.lamp) return;
    deck.lamp = on;
    tape_lamp_update(on);
}

uint8_t& wav_comp_level()
{
    // The caller may write a new band: the next sample is read with it.
    catch_up();
    if (T().clock_running && rolling()) event_schedule_id(EVENT_TAPE, T().due);
    return deck.comp_level;
}

void tape_device_reset(reset_kind kind)
{
    if (kind == reset_kind::model_change) tape_finish_recording();
    if (kind == reset_kind::clock_change) {
        catch_up();
        T().clock = static_cast<uint32_t>(z80_state.clock);
        schedule();
    }
}

void tape_device_state(state_io& io)
{
    tape_t& t = T();
    io(t.read_in);
    io(t.motor_on);
    io(t.was_rolling);
    io(t.clock_running);
    io(t.played);
    io(t.remainder);
    io(t.quiet);
    io(t.in_half);
    io(t.ended);
    io(t.due);
    io(t.clock);
    io(t.first_waits);
    // A record from before the clock of its own: its event stood at the
    // next point.
    if (io.loading() && io.short_read()) t.clock = 0;
}

void tape_device_restored()
{
    // The record's clock and the event queue came with the copy; the deck's
    // key and file decide whether they run now.
    tape_t& t = T();
    const bool want = player.file && deck.play_key;
    if (want && t.clock_running) {
        if (t.clock == 0) {
            const event_entry* e = event_find(EVENT_TAPE);
            t.due = e ? e->time : z80_state.tcount;
            t.clock = static_cast<uint32_t>(z80_state.clock);
        }
        event_register(EVENT_TAPE, do_tape_event);
        t.was_rolling = rolling();
        // A copy whose tape stood has no event for a rolling one.
        if (!event_find(EVENT_TAPE)) schedule();
    } else {
        t.clock_running = false;
        sync_event();
        t.was_rolling = rolling();
    }
    recorder.prev_clock = z80_state.tcount;
    recorder.remainder = 0;
    tape_lamp_changed();

}
