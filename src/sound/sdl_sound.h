// SDL2 host sound driver.
#pragma once
#include "sound/sound.h"

extern const sound_driver_t sdl_sound_driver;
int sdl_sound_init(int rate);
