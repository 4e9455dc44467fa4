// Event scheduler: a small time-ordered queue of callbacks on tcount.
#pragma once
#include <cstdint>

using event_callback = void (*)(int64_t* cycles);

struct event_entry {
    event_entry* prev;
    event_entry* next;
    int64_t time;
    int id;
    event_callback callback;
};

constexpr int EVENT_COUNT = 7;
constexpr int EVENT_TAPE = 0;
constexpr int EVENT_CLOCK_TIMEOUT = 4;
constexpr int EVENT_WD1793 = 5;

struct event_queue_t {
    event_entry* head;
    event_entry* tail;
    event_entry entries[EVENT_COUNT];
};

extern event_queue_t event_queue;
extern event_entry* evt;   // the pass cursor

// Due time of the first queued entry whose callback does real work
// (INT64_MAX when there is none). The always-due placeholders never hold
// back or trigger a pass, so the processor only compares tcount with this.
extern int64_t event_next_due;

void event_init();
void event_setup(int id, int64_t time, event_callback callback);
void event_schedule_id(int id, int64_t time);
void event_schedule(event_entry* entry, int64_t time);
void event_schedule_id_wremove(int id, int64_t time);
void event_add(event_entry* before, event_entry* entry);
void event_remove(event_entry* entry);
void event_remove_id(int id);
event_entry* event_find(int id);
void event_dummy_callback(int64_t* cycles);
void event_clock_timeout(int64_t* cycles);

// The event pass: fires, in queue order, every entry due at the current
// tcount. The processor calls it when tcount >= event_next_due.
void event_run_due();
