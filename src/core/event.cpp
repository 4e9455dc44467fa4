// Event scheduler. Seven fixed entries threaded into one list ordered by due
// time; the processor walks it after every addition to tcount.
#include "core/event.h"

#include "core/log.h"
#include "core/machine.h"

namespace {

event_queue_t& queue() { return the_machine.events; }

bool valid_id(int id) { return id >= 0 && id < EVENT_COUNT; }

event_entry* at(int8_t index) { return index == EVENT_NONE ? nullptr : &queue().entries[static_cast<size_t>(index)]; }

int8_t index_of(const event_entry* e)
{
    return e ? static_cast<int8_t>(e - queue().entries.data()) : EVENT_NONE;
}

// Entries whose id has no callback do nothing: a pass steps over them unseen.
bool is_placeholder(const event_entry& e) { return !valid_id(e.id) || !queue().kinds[static_cast<size_t>(e.id)]; }

void update_next_due()
{
    for (event_entry* e = event_first(); e; e = event_next(e)) {
        if (!is_placeholder(*e)) {
            queue().next_due = e->time;
            return;
        }
    }
    queue().next_due = INT64_MAX;
}

bool is_queued(const event_entry* entry)
{
    for (event_entry* e = event_first(); e; e = event_next(e))
        if (e == entry)
            return true;
    return false;
}

void unlink(event_entry* entry)
{
    event_queue_t& q = queue();
    if (entry->next != EVENT_NONE)
        at(entry->next)->prev = entry->prev;
    else
        q.tail = entry->prev;
    if (entry->prev != EVENT_NONE)
        at(entry->prev)->next = entry->next;
    else
        q.head = entry->next;
}

void link_before(event_entry* before, event_entry* entry)
{
    event_queue_t& q = queue();
    entry->prev = before->prev;
    entry->next = index_of(before);
    if (before->prev != EVENT_NONE)
        at(before->prev)->next = index_of(entry);
    else
        q.head = index_of(entry);
    before->prev = index_of(entry);
}

// Ahead of the first entry due at the same time or later, so among equal
// times the newest fires first.
void insert(event_entry* entry, int64_t time)
{
    event_queue_t& q = queue();
    // A second link of the same entry would tie the list into a loop.
    if (is_queued(entry))
        unlink(entry);
    entry->time = time;
    event_entry* e = event_first();
    while (e && e->time < time)
        e = event_next(e);
    if (e) {
        link_before(e, entry);
    } else {
        entry->prev = q.tail;
        entry->next = EVENT_NONE;
        if (q.tail != EVENT_NONE)
            at(q.tail)->next = index_of(entry);
        else
            q.head = index_of(entry);
        q.tail = index_of(entry);
    }
    update_next_due();
}

}  // namespace

event_entry* event_first() { return at(queue().head); }
event_entry* event_last() { return at(queue().tail); }
event_entry* event_next(const event_entry* e) { return e ? at(e->next) : nullptr; }
event_entry* event_prev(const event_entry* e) { return e ? at(e->prev) : nullptr; }

void event_init()
{
    the_machine.cpu.tcount = -1;
    event_queue_t& q = queue();
    for (event_entry& e : q.entries) e.prev = e.next = EVENT_NONE;
    event_entry& clock = q.entries[EVENT_CLOCK_TIMEOUT];
    clock.time = -1;
    clock.id = EVENT_CLOCK_TIMEOUT;
    q.kinds[EVENT_CLOCK_TIMEOUT] = nullptr;
    q.head = q.tail = EVENT_CLOCK_TIMEOUT;
    q.cursor = EVENT_NONE;
    update_next_due();
}

void event_register(int id, event_callback callback)
{
    if (!valid_id(id))
        return;
    queue().kinds[static_cast<size_t>(id)] = callback;
    update_next_due();
}

void event_setup(int id, int64_t time, event_callback callback)
{
    if (!valid_id(id))
        return;
    event_entry* entry = &queue().entries[static_cast<size_t>(id)];
    entry->id = id;
    queue().kinds[static_cast<size_t>(id)] = callback ? callback : event_dummy_callback;
    insert(entry, time);
}

void event_schedule_id(int id, int64_t time)
{
    if (valid_id(id))
        insert(&queue().entries[static_cast<size_t>(id)], time);
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
    insert(&queue().entries[static_cast<size_t>(id)], time);
}

void event_add(event_entry* before, event_entry* entry)
{
    if (!before || !entry || before == entry || !is_queued(before))
        return;
    if (is_queued(entry))
        unlink(entry);
    link_before(before, entry);
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
    for (event_entry* e = event_find(id); e; e = event_find(id))
        unlink(e);
    update_next_due();
}

event_entry* event_find(int id)
{
    for (event_entry* e = event_first(); e; e = event_next(e))
        if (e->id == id)
            return e;
    return nullptr;
}

event_callback event_kind(int id) { return valid_id(id) ? queue().kinds[static_cast<size_t>(id)] : nullptr; }

void event_dummy_callback(int64_t*)
{
    log_message("Warning! Dummy event callback!\n");
}

void event_run_due()
{
    event_queue_t& q = queue();
    int64_t* now = &the_machine.cpu.tcount;
    q.cursor = q.head;
    while (q.cursor != EVENT_NONE && *now >= at(q.cursor)->time) {
        const event_entry& e = *at(q.cursor);
        if (!is_placeholder(e))
            q.kinds[static_cast<size_t>(e.id)](now);
        if (q.cursor == EVENT_NONE)
            break;
        q.cursor = at(q.cursor)->next;
    }
    update_next_due();
}

void event_device_state(state_io& io)
{
    event_queue_t& q = queue();
    event_queue_t loaded = q;
    io(loaded.head);
    io(loaded.tail);
    for (event_entry& e : loaded.entries) {
        io(e.time);
        io(e.prev);
        io(e.next);
    }
    if (!io.loading()) return;
    // Only a list that ends, and links the same both ways, replaces the queue.
    auto valid = [](int8_t i) { return i == EVENT_NONE || (i >= 0 && i < EVENT_COUNT); };
    if (!valid(loaded.head) || !valid(loaded.tail)) return;
    int count = 0;
    int8_t last = EVENT_NONE;
    for (int8_t i = loaded.head; i != EVENT_NONE; i = loaded.entries[static_cast<size_t>(i)].next) {
        const event_entry& e = loaded.entries[static_cast<size_t>(i)];
        if (++count > EVENT_COUNT || e.prev != last || !valid(e.next)) return;
        last = i;
    }
    if (last != loaded.tail) return;
    for (size_t i = 0; i < loaded.entries.size(); ++i) loaded.entries[i].id = static_cast<int>(i);
    loaded.cursor = EVENT_NONE;
    q = loaded;
    update_next_due();
}
