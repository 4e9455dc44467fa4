// Sound engine (being written).
#include "sound/sound.h"
