// Sound engine: turns beeper edges at emulated cycles into 48 kHz fragments
// and pushes them into the host driver's ring, keeping a few fragments of
// lead over the device by dropping or doubling whole fragments.
#include "sound/sound.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

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
constexpr int HIGH_PASS_CUTOFF = 50;

} // namespace

const sound_driver_t null_driver{
    "No sound", null_init, null_nothing, null_write,
    null_nothing, null_nothing, null_nothing, null_position,
};

namespace {

const sound_driver_t* sound_driver = &null_driver;
sound_source_t* snd_src_root = nullptr;
std::array<int16_t, 2 * SOUND_FRAGMENT> sound_buffer{};
std::array<int16_t, SOUND_FRAGMENT> mix_buffer{};
uint32_t fragment_size = SOUND_FRAGMENT;
uint32_t sound_update_pos = 0;
int32_t last_sample_pos = 0;
uint32_t sb_pos = 0;
int next_fragment_count = 1;
std::array<int, SOUND_LEAD_HISTORY> lead{};
int leadPosition = 0;
int paused = 0;
filter_t* hpfilter = nullptr;

file_ptr wavFileHandle;
uint32_t wavDataLength = 0;
uint64_t wavDataLimit = WAV_DATA_MAX;
bool wavWriteFailed = false;

// Renders n samples at offset k; later sources are mixed in by addition.
void calc_samples(uint32_t k, uint32_t n)
{
    if (!snd_src_root || n == 0) return;
    int16_t* out = sound_buffer.data() + k;
    snd_src_root->calc(out, static_cast<int>(n));
    for (sound_source_t* src = snd_src_root->next; src; src = src->next) {
        src->calc(mix_buffer.data(), static_cast<int>(n));
        for (uint32_t i = 0; i < n; ++i)
            out[i] = static_cast<int16_t>(out[i] + mix_buffer[i]);
    }
}

void wav_append(const int16_t* samples)
{
    if (!wavFileHandle) return;
    if (wavDataLength + static_cast<uint64_t>(FRAGMENT_BYTES) > wavDataLimit) {
        // The format's size fields would wrap: the recording ends whole.
        sound_close_wav();
        const char* text = "A hangfelvétel elérte a WAV formátum 4 GB-os határát; a felvétel itt lezárult.";
        std::fprintf(stderr, "brevan: %s\n", text);
        StatusBarText("%s", text);
        return;
    }
    if (std::fwrite(samples, 1, FRAGMENT_BYTES, wavFileHandle.get()) == FRAGMENT_BYTES)
        wavDataLength += FRAGMENT_BYTES;
    else
        wavWriteFailed = true;
}

void emit_fragment()
{
    filter_buffer_output(hpfilter, SOUND_FRAGMENT, sound_buffer.data(), SOUND_RATE);
    sound_driver->write(sound_buffer.data(), sb_pos, FRAGMENT_BYTES);
    sb_pos = (sb_pos + FRAGMENT_BYTES) % SOUND_RING_BYTES;
    wav_append(sound_buffer.data());
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
    fragment_size = SOUND_FRAGMENT;
    sb_pos = 0;
    sound_update_pos = 0;
    sound_driver->reset();
    if (!hpfilter) hpfilter = filter_iir_create(0, HIGH_PASS_CUTOFF);
}

void sound_reset()
{
    sound_driver->reset();
    for (sound_source_t* src = snd_src_root; src; src = src->next)
        if (src->reset) src->reset();
    sb_pos = 0;
    sound_update_pos = 0;
}

void sound_close()
{
    sound_close_wav();
    sound_driver->close();
    filter_destroy(&hpfilter);
}

void sound_pause()
{
    paused = 1;
    sound_driver->pause();
}

void sound_resume()
{
    paused = 0;
    sound_driver->resume();
}

void sound_register_driver(const sound_driver_t* driver)
{
    // A driver re-opening itself has already released its old device;
    // closing it here would release the one it has just opened.
    if (sound_driver && sound_driver != driver) sound_driver->close();
    sound_driver = driver ? driver : &null_driver;
}

void sound_null_driver_init()
{
    if (sound_driver) sound_driver->close();
    sound_driver = &null_driver;
}

void sound_add_source(sound_source_t* source)
{
    if (!source) return;
    sound_source_t** link = &snd_src_root;
    while (*link) {
        if (*link == source) return;   // already registered
        link = &(*link)->next;
    }
    source->next = nullptr;
    *link = source;
}

void sound_remove_source(sound_source_t* source)
{
    for (sound_source_t** link = &snd_src_root; *link; link = &(*link)->next) {
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
    if (line == 0) return last_sample_pos;   // no clock yet: time stands still
    const double pos = static_cast<double>(cycles) * SOUND_RATE / (static_cast<double>(line) * 15600.0) + 0.5;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(pos)));
}

int getNoFragsToGenerate()
{
    if (paused) return 0;
    const int p = sound_driver->get_current_position();
    if (p == -1) return 1;

    int d = static_cast<int>((static_cast<int64_t>(sb_pos) + SOUND_RING_BYTES - p) % SOUND_RING_BYTES);
    if (d < 0) d += SOUND_RING_BYTES;
    if (d >= SOUND_RING_BYTES / 2) d -= SOUND_RING_BYTES;   // half a ring ahead is a lag
    lead[leadPosition] = d / static_cast<int>(FRAGMENT_BYTES);
    leadPosition = (leadPosition + 1) % SOUND_LEAD_HISTORY;

    // A recording gets exactly one fragment per frame.
    if (wavFileHandle) return 1;

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
    const int32_t pos = sound_sample_position(cycles);
    const uint32_t n = static_cast<uint32_t>(pos) - static_cast<uint32_t>(last_sample_pos);

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
    last_sample_pos = pos;
}

void sound_flush(int64_t cycles)
{
    sound_update(cycles);
}

void sound_set_freq() {}

sound_timing_t sound_get_timing()
{
    return {last_sample_pos, sound_update_pos, sb_pos, next_fragment_count, lead, leadPosition};
}

void sound_set_timing(const sound_timing_t& timing)
{
    last_sample_pos = timing.last_sample_pos;
    sound_update_pos = timing.sound_update_pos % fragment_size;
    sb_pos = timing.sb_pos % SOUND_RING_BYTES / FRAGMENT_BYTES * FRAGMENT_BYTES;
    next_fragment_count = timing.next_fragment_count;
    lead = timing.lead;
    leadPosition = ((timing.lead_position % SOUND_LEAD_HISTORY) + SOUND_LEAD_HISTORY) % SOUND_LEAD_HISTORY;
}

int sound_create_wav(const char* path, uint64_t limit, std::string* why)
{
    // Starting over while recording finishes the first file properly.
    sound_close_wav();
    if (!path) return 0;

    file_ptr file(std::fopen(path, "wb"));
    if (!file) {
        if (why) *why = file_error_text(errno);
        return 0;
    }
    wavDataLength = 0;
    wavDataLimit = std::min(limit, WAV_DATA_MAX);
    wavWriteFailed = false;

    // Both lengths stay 0 until the recording is closed.
    uint8_t header[WAV_HEADER_BYTES];
    wav_header(header, SOUND_RATE, 16, 0);
    put_le32(header + 4, 0);
    if (std::fwrite(header, 1, sizeof header, file.get()) != sizeof header || std::fflush(file.get()) != 0) {
        if (why) *why = file_error_text(errno);
        return 0;
    }

    wavFileHandle = std::move(file);
    return 1;
}

int sound_is_saving(uint32_t* length)
{
    if (!wavFileHandle) return 0;
    if (length) *length = wavDataLength;
    return 1;
}

int sound_close_wav()
{
    if (!wavFileHandle) return 1;
    std::FILE* f = wavFileHandle.get();
    bool ok = !wavWriteFailed && wav_patch_le32(f, 4, wavDataLength + 36) && wav_patch_le32(f, 40, wavDataLength);
    ok = std::fclose(wavFileHandle.release()) == 0 && ok;
    return ok ? 1 : 0;
}
