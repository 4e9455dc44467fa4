// Sound engine (being written): placeholders so the tree links.
#include "sound/sound.h"

const sound_driver_t null_driver{};
void sound_init() {}
void sound_reset() {}
void sound_close() {}
void sound_pause() {}
void sound_resume() {}
void sound_register_driver(const sound_driver_t*) {}
void sound_null_driver_init() {}
void sound_add_source(sound_source_t*) {}
void sound_remove_source(sound_source_t*) {}
void sound_update(int64_t) {}
void sound_flush(int64_t) {}
void sound_set_freq() {}
int sound_create_wav(const char*) { return 0; }
int sound_is_saving(uint32_t*) { return 0; }
void sound_close_wav() {}
