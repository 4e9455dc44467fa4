// SDL2 host sound driver: a looping 96000-byte ring of mono 16-bit samples
// that the engine writes fragment by fragment and SDL plays on its own.
#pragma once
#include <cstdint>
#include <string>

#include "sound/sound.h"

extern const sound_driver_t sdl_sound_driver;

// Opens the device and registers the driver: false, with the reason in
// *why (as "(the SDL call): SDL's message"), when there is no sound. The
// driver's init slot is the same without a reason.
bool sdl_sound_open(int rate, std::string* why);
int sdl_sound_init(int rate);
void sdl_sound_close();
int sdl_sound_write(const void* data, uint32_t position, uint32_t length);
void sdl_sound_reset();
void sdl_sound_pause();
void sdl_sound_resume();
int sdl_sound_get_current_position();

// Copies `length` bytes of the ring from `position` (wrapping) into `out`;
// returns 0 when no device is open. For diagnostics and tests.
int sdl_sound_peek_ring(uint32_t position, uint8_t* out, uint32_t length);
