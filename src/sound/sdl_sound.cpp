// SDL2 sound driver. SDL pulls audio through a callback on its own thread;
// the callback plays the ring in a loop from its read position, and the
// engine writes behind that position. Ring, position and the pause state
// are shared with the callback only under the device lock.
//
// Pausing and resuming ramp the level over a few milliseconds instead of
// cutting it, so stopping the machine (a menu, the monitor, a breakpoint)
// does not click. While paused the device plays silence and the read
// position stands still.
#include "sound/sdl_sound.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>


const sound_driver_t sdl_sound_driver{
    "SDL", sdl_sound_init, sdl_sound_close, sdl_sound_write,
    sdl_sound_reset, sdl_sound_pause, sdl_sound_resume, sdl_sound_get_current_position,
};

namespace {

constexpr uint32_t RING_BYTES = SOUND_RING_BYTES;
constexpr Uint16 DEVICE_BUFFER_SAMPLES = 512;   // ~11 ms at 48 kHz
constexpr int FADE_SAMPLES = 240;               // 5 ms at 48 kHz

SDL_AudioDeviceID device = 0;
bool audio_subsystem_ours = false;
std::array<uint8_t, RING_BYTES> ring{};
// Guarded by the device lock.
uint32_t read_pos = 0;     // where the callback reads next
bool playing = false;      // not paused
int gain = 0;              // 0..FADE_SAMPLES
int16_t last_sample = 0;   // the ring's last sample played, faded out on a pause

void SDLCALL sdl_sound_callback(void*, Uint8* stream, int len)
{
    for (int i = 0; i + 1 < len; i += 2) {
        int sample = 0;
        if (playing) {
            std::memcpy(&last_sample, ring.data() + read_pos, sizeof last_sample);
            read_pos = (read_pos + sizeof last_sample) % RING_BYTES;
            if (gain < FADE_SAMPLES) ++gain;
            sample = last_sample * gain / FADE_SAMPLES;
        } else if (gain > 0) {
            --gain;
            sample = last_sample * gain / FADE_SAMPLES;
        }
        const auto out = static_cast<int16_t>(sample);
        std::memcpy(stream + i, &out, sizeof out);
    }
}

void set_playing(bool on)
{
    if (!device) return;
    SDL_LockAudioDevice(device);
    playing = on;
    SDL_UnlockAudioDevice(device);
}

bool refuse(std::string* why, const char* what)
{
    if (why) *why = std::string("(") + what + "): " + SDL_GetError();
    return false;
}

void release_device()
{
    if (device) {
        SDL_CloseAudioDevice(device);
        device = 0;
    }
    if (audio_subsystem_ours) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        audio_subsystem_ours = false;
    }
}

} // namespace

int sdl_sound_init(int rate) { return sdl_sound_open(rate, nullptr) ? 1 : 0; }

bool sdl_sound_open(int rate, std::string* why)
{
    // Re-opening starts from a fresh device.
    release_device();

    if (!SDL_WasInit(SDL_INIT_AUDIO)) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            return refuse(why, "SDL_InitSubSystem");
        }
        audio_subsystem_ours = true;
    }

    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 1;
    want.samples = DEVICE_BUFFER_SAMPLES;
    want.callback = sdl_sound_callback;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the device really plays.
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        refuse(why, "SDL_OpenAudioDevice");
        release_device();
        return false;
    }

    ring.fill(0);
    read_pos = 0;
    playing = true;
    gain = 0;
    last_sample = 0;
    SDL_PauseAudioDevice(device, 0);
    sound_register_driver(&sdl_sound_driver);
    return true;
}

void sdl_sound_close()
{
    release_device();
}

int sdl_sound_write(const void* data, uint32_t position, uint32_t length)
{
    if (!device || !data) return 0;
    position %= RING_BYTES;
    length = std::min(length, RING_BYTES);
    const auto* bytes = static_cast<const uint8_t*>(data);
    const uint32_t first = std::min(length, RING_BYTES - position);

    SDL_LockAudioDevice(device);
    std::memcpy(ring.data() + position, bytes, first);
    std::memcpy(ring.data(), bytes + first, length - first);
    SDL_UnlockAudioDevice(device);
    return 1;
}

void sdl_sound_reset()
{
    // The ring lives in our memory; nothing can be lost.
}

void sdl_sound_pause() { set_playing(false); }

void sdl_sound_resume() { set_playing(true); }

int sdl_sound_get_current_position()
{
    if (!device) return -1;
    SDL_LockAudioDevice(device);
    const uint32_t pos = read_pos;
    SDL_UnlockAudioDevice(device);
    return static_cast<int>(pos);
}

int sdl_sound_peek_ring(uint32_t position, uint8_t* out, uint32_t length)
{
    if (!device || !out) return 0;
    position %= RING_BYTES;
    length = std::min(length, RING_BYTES);
    const uint32_t first = std::min(length, RING_BYTES - position);
    SDL_LockAudioDevice(device);
    std::memcpy(out, ring.data() + position, first);
    std::memcpy(out + first, ring.data(), length - first);
    SDL_UnlockAudioDevice(device);
    return 1;
}
