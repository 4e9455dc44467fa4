// The typist holds each key down until the machine has read it and a half
// frame more, then lets it go until the machine has read it up and a half
// frame more. So a key is never missed by software that reads no keys for
// a while (a disk transfer), a scan once a frame sees each key exactly
// once, and a held key never repeats. The modifiers are held with the key,
// since keyboard software reads them after it. Our firmware keeps one key
// until a program takes it, so there the next key waits for that.
#include "devices/typing.h"

#include <deque>

#include "core/machine.h"
#include "core/memory.h"
#include "cpu/cpu.h"

namespace {

constexpr int PRIMO_SHIFT = 3;
constexpr int PRIMO_CTRL = 7;
constexpr int FRAMES_PER_SECOND = 50;

enum class phase_t { DOWN, UP, PAUSE };

std::deque<typing_step> steps;
phase_t phase = phase_t::DOWN;
int64_t seen_at = -1;     // when the machine first read the key in this phase
int64_t started_at = -1;  // when the pause began

int64_t hold_time() { return static_cast<int64_t>(z80_state.clock) / FRAMES_PER_SECOND / 2; }

// A small letter with caps lock on would come as a capital: caps lock is
// pressed first, once, as a person would.
void check_caps_lock()
{
    if (steps.empty()) return;
    typing_step& step = steps.front();
    if (step.kind != typing_step::KEY || step.caps_checked) return;
    step.caps_checked = true;
    if (step.code < 'a' || step.code > 'z') return;
    const typing_keyboard_vars k = typing_keyboard_of(machine_model);
    if (!(mem_read(k.caps_address) & k.caps_mask)) return;
    steps.push_front({typing_step::KEY, {k.caps_position, false, false}, 0, true});
}

void next_step()
{
    steps.pop_front();
    phase = phase_t::DOWN;
    seen_at = started_at = -1;
}

// Moves on as far as the time allows.
void advance(int64_t now)
{
    while (!steps.empty()) {
        if (steps.front().kind == typing_step::PAUSE) {
            if (started_at < 0) started_at = now;
            if (now - started_at < static_cast<int64_t>(z80_state.clock)) return;
            next_step();
            continue;
        }
        if (seen_at < 0 || now - seen_at < hold_time()) return;
        if (phase == phase_t::DOWN) {
            phase = phase_t::UP;
            seen_at = -1;
        } else {
            next_step();
        }
    }
}

}  // namespace

void typing_queue(const std::vector<typing_step>& more)
{
    steps.insert(steps.end(), more.begin(), more.end());
}

void typing_stop()
{
    steps.clear();
    phase = phase_t::DOWN;
    seen_at = started_at = -1;
}

size_t typing_steps_left() { return steps.size(); }

int typing_key_state(int position)
{
    if (steps.empty()) return -1;
    const int64_t now = z80_state.tcount;
    advance(now);
    if (steps.empty()) return -1;
    check_caps_lock();   // as the key is about to go down, not when it was queued
    const typing_step& step = steps.front();
    if (step.kind == typing_step::PAUSE) return 0;
    const key_stroke& key = step.key;
    // Our firmware keeps one key: the next waits until it has been taken.
    if (phase == phase_t::DOWN && seen_at < 0 && memory_runs_builtin_firmware() &&
        mem_read(typing_keyboard_of(machine_model).key_buffer) != 0)
        return 0;
    if (position == key.position && seen_at < 0) seen_at = now;
    if (phase != phase_t::DOWN) return 0;
    return position == key.position || (position == PRIMO_SHIFT && key.shift) || (position == PRIMO_CTRL && key.ctrl)
               ? 1 : 0;
}
