// SDL2 sound driver (being written).
#include "sound/sdl_sound.h"
