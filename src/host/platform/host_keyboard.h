// The host keyboard as the Primo keyboard sees it: which keys are down now
// (by physical position, as host keys) and which key with
// which modifiers types a character on the user's layout.
#pragma once
#include <cstdint>

#include "devices/input.h"

class QKeyEvent;

// The keyboard's view of this host (install with keyboard_set_host).
const host_keyboard_t* host_keyboard();

// The physical key of an event, HK_NONE when it has none.
host_key host_keyboard_key(const QKeyEvent* event);
// True for the keys of the numeric keypad.
bool host_keyboard_is_keypad(const QKeyEvent* event);

// Key events of the main window. A press that types a character teaches
// the layout map which key and modifiers give that character.
void host_keyboard_press(const QKeyEvent* event);
void host_keyboard_release(const QKeyEvent* event);
void host_keyboard_release_all();
// The main loop ran a frame: short taps held back for the machine go up now.
void host_keyboard_frame_done();

int host_keyboard_key_down(host_key key);
// host_key | KEYMOD_* bits that type ch (CP1250), or -1.
int host_keyboard_char_key(uint8_t ch);

// The input language changed: start again from the US layout and learn.
void host_keyboard_layout_changed();

// CP1250 byte of a Unicode character, 0 when it has none.
uint8_t host_char_to_cp1250(char32_t c);
