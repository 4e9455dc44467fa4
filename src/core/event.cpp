// Event scheduler. Seven fixed entries threaded into one list ordered by due
// time; the processor walks it after every addition to tcount.
#include "core/event.h"

#include <climits>
#include <cstdio>

#include "cpu/cpu.h"
#include "devices/wd1793.h"

event_queue_t event_queue = {
    nullptr, nullptr,
    {{nullptr, nullptr, 0, 0, nullptr}, {nullptr, nullptr, 0, 1, nullptr},
     {nullptr, nullptr, 0, 2, nullptr}, {nullptr, nullptr, 0, 3, nullptr},
     {nullptr, nullptr, 0, 4, nullptr}, {nullptr, nullptr, 0, 5, nullptr},
     {nullptr, nullptr, 0, 6, nullptr}},
};
event_entry* evt = nullptr;
int64_t event_next_due = INT64_MAX;

namespace {

bool valid_id(int id) { return id >= 0 && id < EVENT_COUNT; }

// Callbacks that do nothing: a pass may step over them unseen. An entry
// linked in without ever being set up has no callback at all.
bool is_placeholder(const event_entry* e)
{
    return !e->callback || e->callback == event_clock_timeout ||
           e->callback == wd1793_dummy_interrupt_handler;
}

void update_next_due()
{
    for (event_entry* e = event_queue.head; e; e = e->next) {
        if (!is_placeholder(e)) {
            event_next_due = e->time;
            return;
        }
    }
    event_next_due = INT64_MAX;
}

bool is_queued(const event_entry* entry)
{
    for (event_entry* e = event_queue.head; e; e = e->next)
        if (e == entry)
            return true;
    return false;
}

void unlink(event_entry* entry)
{
    if (entry->next)
        entry->next->prev = entry->prev;
    else
        event_queue.tail = entry->prev;
    if (entry->prev)
        entry->prev->next = entry->next;
    else
        event_queue.head = entry->next;
}

// Ahead of the first entry due at the same time or later, so among equal
// times the newest fires first.
void insert(event_entry* entry, int64_t time)
{
    // A second link of the same entry would tie the list into a loop.
    if (is_queued(entry))
        unlink(entry);
    entry->time = time;
    event_entry* at = event_queue.head;
    while (at && at->time < time)
        at = at->next;
    if (at) {
        entry->prev = at->prev;
        entry->next = at;
        if (at->prev)
            at->prev->next = entry;
        else
            event_queue.head = entry;
        at->prev = entry;
    } else {
        entry->prev = event_queue.tail;
        entry->next = nullptr;
        if (event_queue.tail)
            event_queue.tail->next = entry;
        else
            event_queue.head = entry;
        event_queue.tail = entry;
    }
    update_next_due();
}

}  // namespace

void event_init()
{
    z80_state.tcount = -1;
    event_entry& clock = event_queue.entries[EVENT_CLOCK_TIMEOUT];
    clock.time = -1;
    clock.id = EVENT_CLOCK_TIMEOUT;
    clock.callback = event_clock_timeout;
    clock.prev = clock.next = nullptr;
    event_queue.head = event_queue.tail = &clock;
    evt = nullptr;
    update_next_due();
}

void event_setup(int id, int64_t time, event_callback callback)
{
    if (!valid_id(id))
        return;
    event_entry* entry = &event_queue.entries[id];
    insert(entry, time);
    entry->id = id;
    entry->callback = callback ? callback : event_dummy_callback;
    update_next_due();
}

void event_schedule_id(int id, int64_t time)
{
    if (valid_id(id))
        insert(&event_queue.entries[id], time);
}

void event_schedule(event_entry* entry, int64_t time)
{
    if (entry)
        insert(entry, time);
}

void event_schedule_id_wremove(int id, int64_t time)
{
    if (!valid_id(id))
        return;
    event_remove_id(id);
    insert(&event_queue.entries[id], time);
}

void event_add(event_entry* before, event_entry* entry)
{
    if (!before || !entry || before == entry || !is_queued(before))
        return;
    if (is_queued(entry))
        unlink(entry);
    entry->prev = before->prev;
    entry->next = before;
    if (before->prev)
        before->prev->next = entry;
    else
        event_queue.head = entry;
    before->prev = entry;
    update_next_due();
}

void event_remove(event_entry* entry)
{
    // Unlinking an entry that is not queued would corrupt its neighbours.
    if (!entry || !is_queued(entry))
        return;
    unlink(entry);
    update_next_due();
}

void event_remove_id(int id)
{
    bool found = true;
    while (found) {
        found = false;
        for (event_entry* e = event_queue.head; e; e = e->next) {
            if (e->id == id) {
                unlink(e);
                found = true;
                break;
            }
        }
    }
    update_next_due();
}

event_entry* event_find(int id)
{
    for (event_entry* e = event_queue.head; e; e = e->next)
        if (e->id == id)
            return e;
    return nullptr;
}

void event_dummy_callback(int64_t*)
{
    std::fputs("Warning! Dummy event callback!\n", stderr);
}

void event_clock_timeout(int64_t*) {}

void event_run_due()
{
    int64_t* now = &z80_state.tcount;
    evt = event_queue.head;
    while (evt && *now >= evt->time) {
        if (!is_placeholder(evt))
            evt->callback(now);
        if (!evt)
            break;
        evt = evt->next;
    }
    update_next_due();
}
