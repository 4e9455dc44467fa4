// Sound engine: turns beeper edges at emulated cycles into 48 kHz fragments
// and pushes them into the host driver's ring, keeping a few fragments of
// lead over the device by dropping or doubling whole fragments.
#include "sound/sound.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "core/machine.h"
#include "core/machine.h"
#include "core/hooks.h"
#include "cpu/cpu.h"
#include "media/fileio.h"
#include "sound/filter.h"

namespace {

int null_init(int) { return 0; }
void null_nothing() {}
int null_write(const void*, uint32_t, uint32_t) { return 0; }
int null_position() { return 0; }

constexpr uint32_t FRAGMENT_BYTES = SOUND_FRAGMENT * 2;

} // namespace

const sound_driver_t null_driver{
    "No sound", null_init, null_nothing, null_write,
    null_nothing, null_nothing, null_nothing, null_position,
};

namespace {

// The host's side of the engine: the driver, the sources, the ring position
// and the lead over the device, and a recording of the output.
struct sound_host_t {
    const sound_driver_t* driver = &null_driver;
    sound_source_t* sources = nullptr;
    std::array<int16_t, SOUND_FRAGMENT> mix_buffer{};
    uint32_t sb_pos = 0;
    int next_fragment_count = 1;
    std::array<int, SOUND_LEAD_HISTORY> lead{};
    int lead_position = 0;
    int paused = 0;
    file_ptr wav;
    uint32_t wav_length = 0;
    uint64_t wav_limit = WAV_DATA_MAX;
    bool wav_write_failed = false;
} sound_host;

constexpr uint32_t fragment_size = SOUND_FRAGMENT;
sound_t& engine() { return the_machine.sound; }

// Renders n samples at offset k; later sources are mixed in by addition.
void calc_samples(uint32_t k, uint32_t n)
{
    sound_source_t* root = sound_host.sources;
    if (!root || n == 0) return;
    int16_t* out = engine().buffer.data() + k;
    root->calc(out, static_cast<int>(n));
    for (sound_source_t* src = root->next; src; src = src->next) {
        src->calc(sound_host.mix_buffer.data(), static_cast<int>(n));
        for (uint32_t i = 0; i < n; ++i)
            out[i] = static_cast<int16_t>(out[i] + sound_host.mix_buffer[i]);
    }
}

void wav_append(const int16_t* samples)
{
    if (!sound_host.wav) return;
    if (sound_host.wav_length + uint64_t{FRAGMENT_BYTES} > sound_host.wav_limit) {
        // The format's size fields would wrap: the recording ends whole.
        sound_close_wav();
        host_notify(host_note::sound_recording_full);
        return;
    }
    if (std::fwrite(samples, 1, FRAGMENT_BYTES, sound_host.wav.get()) == FRAGMENT_BYTES)
        sound_host.wav_length += FRAGMENT_BYTES;
    else
        sound_host.wav_write_failed = true;
}

void emit_fragment()
{
    int16_t* samples = engine().buffer.data();
    filter_buffer_output(&engine().high_pass, SOUND_FRAGMENT, samples, SOUND_RATE);
    sound_host.driver->write(samples, sound_host.sb_pos, FRAGMENT_BYTES);
    sound_host.sb_pos = (sound_host.sb_pos + FRAGMENT_BYTES) % SOUND_RING_BYTES;
    wav_append(samples);
}

bool wav_patch_le32(std::FILE* f, long offset, uint32_t value)
{
    uint8_t bytes[4];
    put_le32(bytes, value);
    return std::fseek(f, offset, SEEK_SET) == 0 && std::fwrite(bytes, 1, 4, f) == 4;
}

} // namespace

void sound_init()
{
    sound_host.sb_pos = 0;
    engine().update_pos = 0;
    sound_host.driver->reset();
}

void sound_reset()
{
    sound_host.driver->reset();
    for (sound_source_t* src = sound_host.sources; src; src = src->next)
        if (src->reset) src->reset();
    sound_host.sb_pos = 0;
    engine().update_pos = 0;
}

void sound_close()
{
    sound_close_wav();
    sound_host.driver->close();
}

void sound_pause()
{
    sound_host.paused = 1;
    sound_host.driver->pause();
}

void sound_resume()
{
    sound_host.paused = 0;
    sound_host.driver->resume();
}

void sound_register_driver(const sound_driver_t* driver)
{
    // A driver re-opening itself has already released its old device;
    // closing it here would release the one it has just opened.
    if (sound_host.driver && sound_host.driver != driver) sound_host.driver->close();
    sound_host.driver = driver ? driver : &null_driver;
}

void sound_null_driver_init()
{
    if (sound_host.driver) sound_host.driver->close();
    sound_host.driver = &null_driver;
}

void sound_add_source(sound_source_t* source)
{
    if (!source) return;
    sound_source_t** link = &sound_host.sources;
    while (*link) {
        if (*link == source) return;   // already registered
        link = &(*link)->next;
    }
    source->next = nullptr;
    *link = source;
}

void sound_remove_source(sound_source_t* source)
{
    for (sound_source_t** link = &sound_host.sources; *link; link = &(*link)->next) {
        if (*link == source) {
            *link = source->next;
            source->next = nullptr;
            return;
        }
    }
}

int32_t sound_sample_position(int64_t cycles)
{
    const uint64_t line = z80_state.cycles_per_line;
    if (line == 0) return engine().last_sample_pos;   // no clock yet: time stands still
    const double pos = static_cast<double>(cycles) * SOUND_RATE / (static_cast<double>(line) * 15600.0) + 0.5;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(pos)));
}

int getNoFragsToGenerate()
{
    sound_host_t& h = sound_host;
    if (h.paused) return 0;
    const int p = h.driver->get_current_position();
    if (p == -1) return 1;

    int d = static_cast<int>((static_cast<int64_t>(h.sb_pos) + SOUND_RING_BYTES - p) % SOUND_RING_BYTES);
    if (d < 0) d += SOUND_RING_BYTES;
    if (d >= SOUND_RING_BYTES / 2) d -= SOUND_RING_BYTES;   // half a ring ahead is a lag
    auto& lead = h.lead;
    lead[static_cast<size_t>(h.lead_position)] = d / static_cast<int>(FRAGMENT_BYTES);
    h.lead_position = (h.lead_position + 1) % SOUND_LEAD_HISTORY;

    // A recording gets exactly one fragment per frame.
    if (h.wav) return 1;

    int sum = 0;
    for (int v : lead) sum += v;
    const int avg = sum / SOUND_LEAD_HISTORY;
    if (avg > 6) {
        for (int& v : lead) --v;
        return 0;
    }
    if (avg > 3) return 1;
    for (int& v : lead) ++v;
    return 2;
}

void sound_update(int64_t cycles)
{
    sound_t& e = engine();
    int& next_fragment_count = sound_host.next_fragment_count;
    uint32_t& sound_update_pos = e.update_pos;
    const int32_t pos = sound_sample_position(cycles);
    const uint32_t n = static_cast<uint32_t>(pos) - static_cast<uint32_t>(e.last_sample_pos);

    if (n == 0) {
        // nothing to render
    } else if (next_fragment_count == 0) {
        // dropping: these samples are never produced
        next_fragment_count = getNoFragsToGenerate();
    } else if (n < fragment_size - sound_update_pos) {
        calc_samples(sound_update_pos, n);
        sound_update_pos += n;
    } else {
        next_fragment_count = getNoFragsToGenerate();
        calc_samples(sound_update_pos, fragment_size - sound_update_pos);
        emit_fragment();
        // Whole fragments spanned by a long step are not produced.
        const uint32_t rem = static_cast<uint32_t>((static_cast<uint64_t>(sound_update_pos) + n) % fragment_size);
        sound_update_pos = 0;
        if (next_fragment_count == 2) {
            calc_samples(0, fragment_size);
            emit_fragment();
        } else if (rem != 0) {
            calc_samples(0, rem);
            sound_update_pos = rem;
        }
    }
    e.last_sample_pos = pos;
}

void sound_flush(int64_t cycles)
{
    sound_update(cycles);
}

void sound_set_freq() {}

sound_timing_t sound_get_timing()
{
    const sound_host_t& h = sound_host;
    return {engine().last_sample_pos, engine().update_pos, h.sb_pos, h.next_fragment_count, h.lead, h.lead_position};
}

void sound_set_timing(const sound_timing_t& timing)
{
    sound_host_t& h = sound_host;
    engine().last_sample_pos = timing.last_sample_pos;
    engine().update_pos = timing.sound_update_pos % fragment_size;
    h.sb_pos = timing.sb_pos % SOUND_RING_BYTES / FRAGMENT_BYTES * FRAGMENT_BYTES;
    h.next_fragment_count = timing.next_fragment_count;
    h.lead = timing.lead;
    h.lead_position = ((timing.lead_position % SOUND_LEAD_HISTORY) + SOUND_LEAD_HISTORY) % SOUND_LEAD_HISTORY;
}

bool sound_create_wav(const char* path, uint64_t limit, std::string* why)
{
    // Starting over while recording finishes the first file properly.
    sound_close_wav();
    if (!path || !*path) {
        if (why) *why = "nincs állománynév";
        return false;
    }
    file_ptr file(std::fopen(path, "wb"));
    // Both lengths stay 0 until the recording is closed.
    uint8_t header[WAV_HEADER_BYTES];
    wav_header(header, SOUND_RATE, 16, 0);
    put_le32(header + 4, 0);
    if (!file || std::fwrite(header, 1, sizeof header, file.get()) != sizeof header || std::fflush(file.get()) != 0) {
        if (why) *why = file_error_text(errno);
        return false;
    }
    sound_host.wav_length = 0;
    sound_host.wav_limit = std::min(limit, WAV_DATA_MAX);
    sound_host.wav_write_failed = false;
    sound_host.wav = std::move(file);
    return true;
}

int sound_is_saving(uint32_t* length)
{
    if (!sound_host.wav) return 0;
    if (length) *length = sound_host.wav_length;
    return 1;
}

bool sound_close_wav()
{
    if (!sound_host.wav) return true;
    std::FILE* f = sound_host.wav.get();
    const uint32_t length = sound_host.wav_length;
    bool ok = !sound_host.wav_write_failed && wav_patch_le32(f, 4, length + 36) && wav_patch_le32(f, 40, length);
    ok = std::fclose(sound_host.wav.release()) == 0 && ok;
    return ok;
}

void sound_device_reset(reset_kind kind)
{
    if (kind == reset_kind::power_on) sound_init();
    else if (kind != reset_kind::clock_change) sound_reset();
}

void sound_device_state(state_io& io)
{
    sound_t& e = engine();
    io(e.last_sample_pos);
    io(e.update_pos);
    if (io.loading()) e.update_pos %= fragment_size;
    for (uint32_t i = 0; i < e.update_pos; ++i) io(e.buffer[i]);   // what the fragment holds so far
    io(e.high_pass.sample_rate);
    io(e.high_pass.gain);
    io(e.high_pass.decay);
    io(e.high_pass.state);
}
