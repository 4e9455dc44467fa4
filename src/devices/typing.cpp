// The typist holds each key down until the machine has read it and a half
// frame more, then lets it go until the machine has read it up and a half
// frame more. So a key is never missed by software that reads no keys for
// a while (a disk transfer), a scan once a frame sees each key exactly
// once, and a held key never repeats. The modifiers are held with the key,
// since keyboard software reads them after it. Our firmware keeps one key
// until a program takes it, so there the next key waits for that.
#include "devices/typing.h"

#include <chrono>

#include "core/bus.h"
#include "core/machine.h"
#include "core/memory.h"
#include "cpu/cpu.h"

namespace {

constexpr int PRIMO_SHIFT = 3;
constexpr int PRIMO_CTRL = 7;
constexpr int FRAMES_PER_SECOND = 50;
enum : uint8_t { KEY_DOWN, KEY_UP };
enum : uint8_t { CAPS_UNSEEN, CAPS_PRESSING, CAPS_DONE };

// The host's side: the steps of the list the record counts in. Ids differ
// between runs, so a snapshot from another run finds no list of its own.
struct typing_host_t {
    std::vector<typing_step> steps;
    uint64_t id = 0;
    uint64_t last_id = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
} typing_host;

typing_t& T() { return the_machine.typing; }

int64_t hold_time() { return static_cast<int64_t>(z80_state.clock) / FRAMES_PER_SECOND / 2; }

bool busy() { return T().next < T().end; }

void next_phase()
{
    T().seen_at = T().started_at = -1;
    if (T().phase == KEY_DOWN) {
        T().phase = KEY_UP;
        return;
    }
    T().phase = KEY_DOWN;
    if (T().caps == CAPS_PRESSING) {
        T().caps = CAPS_DONE;
        return;
    }
    ++T().next;
    T().caps = CAPS_UNSEEN;
}

// Moves on as far as the time allows.
void advance(int64_t now)
{
    while (busy()) {
        if (typing_host.steps[T().next].kind == typing_step::PAUSE) {
            if (T().started_at < 0) T().started_at = now;
            if (now - T().started_at < static_cast<int64_t>(z80_state.clock)) return;
            T().phase = KEY_UP;
            next_phase();
            continue;
        }
        if (T().seen_at < 0 || now - T().seen_at < hold_time()) return;
        next_phase();
    }
}

// A small letter with caps lock on would come as a capital: caps lock is
// pressed first, once, as a person would. Looked at as the key is about to
// go down, not when it was queued.
void check_caps_lock(const typing_step& step)
{
    if (T().caps != CAPS_UNSEEN) return;
    T().caps = CAPS_DONE;
    if (step.code < 'a' || step.code > 'z') return;
    const typing_keyboard_vars k = typing_keyboard_of(machine_model);
    if (mem_read(k.caps_address) & k.caps_mask) T().caps = CAPS_PRESSING;
}

}  // namespace

void typing_queue(const std::vector<typing_step>& more)
{
    if (more.empty()) return;
    if (!busy() || T().list_id != typing_host.id) {
        // A fresh list: the old one may still be what an earlier copy of the
        // machine types, but this machine is done with it.
        typing_host.steps.clear();
        typing_host.id = ++typing_host.last_id;
        T() = typing_t{};
        T().list_id = typing_host.id;
    }
    typing_host.steps.resize(T().end);   // steps added after this machine's moment are not its own
    typing_host.steps.insert(typing_host.steps.end(), more.begin(), more.end());
    T().end = static_cast<uint32_t>(typing_host.steps.size());
}

void typing_stop()
{
    T().next = T().end;
    T().phase = KEY_DOWN;
    T().caps = CAPS_UNSEEN;
    T().seen_at = T().started_at = -1;
}

size_t typing_steps_left() { return busy() ? T().end - T().next : 0; }

int typing_key_state(int position)
{
    if (!busy()) return -1;
    const int64_t now = z80_state.tcount;
    advance(now);
    if (!busy()) return -1;
    const typing_step& step = typing_host.steps[T().next];
    if (step.kind == typing_step::PAUSE) return 0;
    check_caps_lock(step);
    const key_stroke key = T().caps == CAPS_PRESSING
                               ? key_stroke{typing_keyboard_of(machine_model).caps_position, false, false}
                               : step.key;
    // Our firmware keeps one key: the next waits until it has been taken.
    if (T().phase == KEY_DOWN && T().seen_at < 0 && memory_rom_is_builtin() &&
        mem_read(typing_keyboard_of(machine_model).key_buffer) != 0)
        return 0;
    if (position == key.position && T().seen_at < 0) T().seen_at = now;
    if (T().phase != KEY_DOWN) return 0;
    return position == key.position || (position == PRIMO_SHIFT && key.shift) || (position == PRIMO_CTRL && key.ctrl)
               ? 1 : 0;
}

void typing_device_reset(reset_kind kind)
{
    if (kind == reset_kind::warm || kind == reset_kind::cold || kind == reset_kind::model_change)
        typing_stop();   // a reset ends a paste or a typed autostart
}

void typing_device_state(state_io& io)
{
    typing_t& t = T();
    io(t.list_id);
    io(t.next);
    io(t.end);
    io(t.phase);
    io(t.caps);
    io(t.seen_at);
    io(t.started_at);
    if (io.loading()) {
        t.phase = t.phase == KEY_UP ? KEY_UP : KEY_DOWN;
        if (t.caps > CAPS_DONE) t.caps = CAPS_UNSEEN;
        if (t.next > t.end) t.next = t.end;
    }
}

void typing_device_restored()
{
    // A machine whose list the host no longer holds has nothing to type.
    if (T().list_id != typing_host.id || T().end > typing_host.steps.size()) T().next = T().end = 0;
}
