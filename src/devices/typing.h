// The typist: presses the keys of a text on the Primo's key matrix, one at
// a time, at the pace the machine's software reads them. --type, Paste and
// text autostart all type through it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/device.h"
#include "devices/typing_text.h"

// The typist's record in the machine: how far it has gone through the
// host's list of steps and where the key being typed stands. The list is
// the host's; a record refers to it by the list's id, and within one list
// steps are only ever added, so a copy of the machine taken earlier (rewind,
// a snapshot) goes on with the very steps it had.
struct typing_t {
    uint64_t list_id = 0;        // the host list the positions count in; 0 none
    uint32_t next = 0;           // the step being typed
    uint32_t end = 0;            // steps queued
    uint8_t phase = 0;           // 0 the key goes down, 1 it comes up
    uint8_t caps = 0;            // for the step: 0 not looked at, 1 caps lock is pressed first, 2 done
    int64_t seen_at = -1;        // when the machine first read the key in this phase
    int64_t started_at = -1;     // when the pause began
};
void typing_device_reset(reset_kind kind);
void typing_device_state(state_io& io);
void typing_device_restored();

// Adds the steps after those still waiting.
void typing_queue(const std::vector<typing_step>& steps);
// Ends the typing: the rest is dropped and the keys are let go.
void typing_stop();
// Steps not yet typed (the one being typed counts).
size_t typing_steps_left();
// The matrix read of a position while typing: 1 down, 0 up; -1 when the
// typist has nothing to type, so the host keyboard answers.
int typing_key_state(int position);
