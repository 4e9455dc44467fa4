// Event scheduler: a small time-ordered queue of callbacks on tcount. The
// queue is a record of the machine (links are entry indices, so a copy of
// the machine is a working queue); what each id does is registered by the
// device that owns it, and the scheduler knows none of them.
#pragma once
#include <array>
#include <climits>
#include <cstdint>

#include "core/device.h"

using event_callback = void (*)(int64_t* cycles);

constexpr int EVENT_COUNT = 7;
constexpr int EVENT_TAPE = 0;
constexpr int EVENT_CLOCK_TIMEOUT = 4;
constexpr int EVENT_WD1793 = 5;
constexpr int8_t EVENT_NONE = -1;

struct event_entry {
    int64_t time;
    int id;
    int8_t prev;   // entry index, EVENT_NONE at the head
    int8_t next;   // entry index, EVENT_NONE at the tail
};

struct event_queue_t {
    int8_t head = EVENT_CLOCK_TIMEOUT;
    int8_t tail = EVENT_CLOCK_TIMEOUT;
    int8_t cursor = EVENT_NONE;   // the entry a pass stands at
    std::array<event_entry, EVENT_COUNT> entries{{
        {0, 0, EVENT_NONE, EVENT_NONE}, {0, 1, EVENT_NONE, EVENT_NONE}, {0, 2, EVENT_NONE, EVENT_NONE},
        {0, 3, EVENT_NONE, EVENT_NONE}, {-1, 4, EVENT_NONE, EVENT_NONE}, {0, 5, EVENT_NONE, EVENT_NONE},
        {0, 6, EVENT_NONE, EVENT_NONE},
    }};
    // What each id does; null for a placeholder, which never fires and
    // never holds back or triggers a pass.
    std::array<event_callback, EVENT_COUNT> kinds{};
    // Due time of the first queued entry that is no placeholder (INT64_MAX
    // when there is none): the processor only compares tcount with this.
    int64_t next_due = INT64_MAX;
};

// tcount to -1, the queue to the clock placeholder alone at -1.
void event_init();
// What id does from now on; null makes it a placeholder.
void event_register(int id, event_callback callback);
// Registers the callback (null: the dummy, which warns) and schedules id.
void event_setup(int id, int64_t time, event_callback callback);
void event_schedule_id(int id, int64_t time);
void event_schedule(event_entry* entry, int64_t time);
void event_schedule_id_wremove(int id, int64_t time);
// Links entry ahead of before (which must be queued), whatever the times.
void event_add(event_entry* before, event_entry* entry);
void event_remove(event_entry* entry);
void event_remove_id(int id);
// The queued entry of id, or null.
event_entry* event_find(int id);
// The queue in order: the first entry and the one after e (null at the end),
// and backwards.
event_entry* event_first();
event_entry* event_next(const event_entry* e);
event_entry* event_last();
event_entry* event_prev(const event_entry* e);
// The callback registered for id (null for a placeholder or a bad id).
event_callback event_kind(int id);
void event_dummy_callback(int64_t* cycles);

// The queue's times and links, both ways (what the ids do stays as the
// running devices registered it); a loaded list that does not end is
// refused.
void event_device_state(state_io& io);

// The event pass: fires, in queue order, every entry due at the current
// tcount. The processor calls it when tcount >= the next due time.
void event_run_due();
