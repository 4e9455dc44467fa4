// The typist: presses the keys of a text on the Primo's key matrix, one at
// a time, at the pace the machine's software reads them. --type, Paste and
// text autostart all type through it.
#pragma once
#include <cstddef>
#include <vector>

#include "devices/typing_text.h"

// Adds the steps after those still waiting.
void typing_queue(const std::vector<typing_step>& steps);
// Ends the typing: the rest is dropped and the keys are let go.
void typing_stop();
// Steps not yet typed (the one being typed counts).
size_t typing_steps_left();
// The matrix read of a position while typing: 1 down, 0 up; -1 when the
// typist has nothing to type, so the host keyboard answers.
int typing_key_state(int position);
