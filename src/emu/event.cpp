// Event scheduler (being written): placeholder definitions so the tree links.
#include "event.h"

event_queue_t event_queue{};
event_entry* evt = nullptr;

void event_init() {}
void event_setup(int, int64_t, event_callback) {}
void event_schedule_id(int, int64_t) {}
void event_schedule(event_entry*, int64_t) {}
void event_schedule_id_wremove(int, int64_t) {}
void event_add(event_entry*, event_entry*) {}
void event_remove(event_entry*) {}
void event_remove_id(int) {}
event_entry* event_find(int) { return nullptr; }
void event_dummy_callback(int64_t*) {}
void event_clock_timeout(int64_t*) {}
