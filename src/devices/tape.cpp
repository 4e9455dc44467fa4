// Signal-level tape. A WAV file is played into the tape input at its own
// sample rate; the tape output bits are recorded into an 8-bit mono WAV.
// The transport rolls while the Play/Record key is down and, unless remote
// control is disabled, the motor bit (control register bit 2 clear) is on.
#include "devices/tape.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "core/event.h"
#include "core/hooks.h"
#include "core/machine.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "devices/beeper.h"
#include "media/fileio.h"
#include "media/ptp.h"
#include "sound/sound.h"

uint8_t tape_read_in = 0;
uint8_t wav_comp_level = WAV_COMP_DEFAULT;

namespace {

constexpr uint32_t RATE_MIN = 8000;
constexpr uint32_t RATE_MAX = 192000;
constexpr uint16_t FORMAT_PCM = 1;
constexpr uint16_t FORMAT_EXTENSIBLE = 0xFFFE;
constexpr size_t READ_CHUNK = 1 << 16;

// The tape being played.
struct player_t {
    file_ptr file;
    wav_format format;
    uint64_t left = 0;                 // data bytes not yet read
    std::vector<uint8_t> buffer;
    size_t have = 0, at = 0;
    uint64_t remainder = 0;            // cycles owed to the next sample, times the rate
} player;

// The tape being recorded.
struct recorder_t {
    file_ptr file;
    uint32_t rate = 44100;
    uint64_t data_bytes = 0;
    int64_t prev_clock = 0;
    uint64_t remainder = 0;
    bool full = false;
} recorder;

bool play_key = false;
bool motor_on = true;        // the control register starts at 0: bit 2 clear
bool remote_disabled = false;
bool was_rolling = false;
bool event_running = false;
int lamp = -1;

bool rolling() { return play_key && (remote_disabled || motor_on); }

uint8_t recorded_value(int bits)
{
    switch (bits & 3) {
    case 0: return 8;
    case 3: return 248;
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
        if (!recorder.full) {
            const char* text = "A magnó WAV felvétele elérte a 4 GB-os határt; a további jel elvész.";
            std::fprintf(stderr, "brevan: %s\n", text);
            StatusBarText("%s", text);
        }
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
    if (level == tape_read_in) return;
    // The falling edge sets the interrupt latch; the processor's acknowledge
    // cycle clears it (machine_bus), as a real edge-triggered flip-flop does,
    // so one edge makes one interrupt however long interrupts stay masked.
    if (tape_read_in == 4 && level == 0) memory_trigger_im1(1);
    sound_update(z80_state.tcount);
    beeper_set_level(level ? 1 : 0);
    tape_read_in = level;
}

bool next_sample(uint8_t& sample)
{
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
}

// Runs the sampling event while a file is loaded and the key is down.
void sync_event()
{
    const bool want = player.file && play_key;
    if (want && !event_running) {
        player.remainder = 0;
        event_setup(EVENT_TAPE, z80_state.tcount, do_tape_event);
    } else if (!want && event_running) {
        event_remove_id(EVENT_TAPE);
    }
    event_running = want;
}

// Follows a change of the key, the motor or the remote setting.
void transport_changed()
{
    const bool now_rolling = rolling();
    if (was_rolling && !now_rolling) {
        // What the output did up to the stop is on the tape, and the
        // recording so far is a complete file.
        record_until(z80_state.tcount, snapshot_out(0), true);
        patch_recording_sizes();
        tape_read_in = 0;
    }
    if (!was_rolling && now_rolling) {
        recorder.prev_clock = z80_state.tcount;
        recorder.remainder = 0;
    }
    was_rolling = now_rolling;
    sync_event();
    tape_lamp_changed();
}

std::string quoted(const char* path) { return std::string("A(z) \"") + path + "\" "; }

}  // namespace

int tape_wav_read_format(std::FILE* file, wav_format& format, std::string& error)
{
    format = wav_format{};
    uint8_t riff[12];
    if (!file || std::fseek(file, 0, SEEK_SET) != 0 || std::fread(riff, 1, 12, file) != 12 ||
        std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) {
        error = "nem RIFF WAVE állomány";
        return 0;
    }
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
            if (size < 16 || std::fread(fmt, 1, size < 40 ? size : 40, file) < 16) {
                error = "hibás formátumblokk";
                return 0;
            }
            uint16_t tag = get_le16(fmt);
            if (tag == FORMAT_EXTENSIBLE && size >= 40) tag = get_le16(fmt + 24);   // the subformat
            format.channels = get_le16(fmt + 2);
            format.rate = get_le32(fmt + 4);
            format.frame_bytes = get_le16(fmt + 12);
            format.bits = get_le16(fmt + 14);
            if (tag != FORMAT_PCM) {
                error = "nem PCM hang (formátumkód " + std::to_string(tag) + ")";
                return 0;
            }
            if (format.bits != 8 && format.bits != 16) {
                error = std::to_string(format.bits) + " bites minták (csak 8 és 16 bites lehet)";
                return 0;
            }
            if (format.rate < RATE_MIN || format.rate > RATE_MAX) {
                error = std::to_string(format.rate) + " Hz mintavétel (8000 és 192000 Hz között lehet)";
                return 0;
            }
            if (format.channels == 0 || format.frame_bytes != format.channels * format.bits / 8) {
                error = "hibás csatornaszám vagy blokkméret";
                return 0;
            }
            have_format = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!have_format) {
                error = "az adatblokk a formátumblokk előtt áll";
                return 0;
            }
            const uint64_t in_file = static_cast<uint64_t>(file_size - body);
            // A recording never finished says 0 (or too much): take what is there.
            format.data_bytes = size == 0 || size > in_file ? in_file : size;
            format.data_start = body;
            std::fseek(file, body, SEEK_SET);
            return 1;
        }
        pos = body + static_cast<long>(size) + (size & 1);
    }
    error = have_format ? "hiányzik az adatblokk (data)" : "hiányzik a formátumblokk (fmt)";
    return 0;
}

int tape_open_wav(const char* path)
{
    tape_close();
    if (!path || !*path) return 0;
    const std::string why = file_unreadable_reason(path);
    std::FILE* file = why.empty() ? std::fopen(path, "rb") : nullptr;
    if (!file) {
        host_message_box("WAV betöltés",
                         (quoted(path) + "nem játszható le: " +
                          (why.empty() ? "nem nyitható meg: " + file_error_text(errno) : why)).c_str());
        return 0;
    }
    return tape_open_wav_stream(file, path);
}

int tape_open_wav_stream(std::FILE* stream, const char* name)
{
    tape_close();
    file_ptr file(stream);
    wav_format format;
    std::string why;
    if (!tape_wav_read_format(file.get(), format, why)) {
        host_message_box("WAV betöltés", (quoted(name ? name : "") + "nem játszható le: " + why).c_str());
        return 0;
    }
    tape_read_in = 0;
    tape_remove_traps();
    player.file = std::move(file);
    player.format = format;
    player.buffer.assign(READ_CHUNK, 0);
    rewind_player();
    sync_event();
    tape_lamp_changed();
    return 1;
}

int tape_create_wav(const char* path, int rate)
{
    tape_close();
    tape_read_in = 0;
    if (!path || !*path) return 0;
    const uint32_t r = rate >= static_cast<int>(RATE_MIN) && rate <= static_cast<int>(RATE_MAX)
                           ? static_cast<uint32_t>(rate) : 44100;
    file_ptr file(std::fopen(path, "wb"));
    uint8_t header[WAV_HEADER_BYTES];
    wav_header(header, r, 8, 0);
    if (!file || std::fwrite(header, 1, sizeof header, file.get()) != sizeof header || std::fflush(file.get()) != 0) {
        host_message_box("WAV mentés", (quoted(path) + "nem hozható létre: " + file_error_text(errno)).c_str());
        return 0;
    }
    tape_remove_traps();
    recorder = recorder_t{};
    recorder.file = std::move(file);
    recorder.rate = r;
    recorder.prev_clock = z80_state.tcount;
    tape_lamp_changed();
    return 1;
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
    tape_read_in = 0;
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
    motor_on = value != 0;
    transport_changed();
}

void tape_set_remote_enable(int flag)
{
    remote_disabled = flag != 0;
    transport_changed();
}

int tape_press_play()
{
    tape_set_play_key(!play_key);
    return play_key ? 1 : 0;
}

void tape_set_play_key(int down)
{
    play_key = down != 0;
    transport_changed();
}

int tape_rolling() { return rolling() ? 1 : 0; }

void tape_rewind() { rewind_player(); }

void do_tape_event(int64_t*)
{
    const int64_t due = event_queue.entries[EVENT_TAPE].time;
    uint8_t sample = 0;
    if (player.file && rolling() && next_sample(sample)) {
        if (sample > 127 + wav_comp_level)
            set_input_level(4);
        else if (sample < 128 - wav_comp_level)
            set_input_level(0);
    }
    // Whole cycles per sample, the fraction carried on: the file plays at
    // its own rate.
    const uint32_t rate = player.format.rate ? player.format.rate : 44100;
    player.remainder += z80_state.clock;
    const int64_t step = static_cast<int64_t>(player.remainder / rate);
    player.remainder %= rate;
    event_schedule_id(EVENT_TAPE, due + (step > 0 ? step : 1));
}

void tape_lamp_changed()
{
    const int on = (tape_wav_open() && rolling()) || (ptp_serving() && motor_on) ? 1 : 0;
    if (on == lamp) return;
    lamp = on;
    tape_lamp_update(on);
}
