// A scripted host keyboard: keys held down and a layout of characters.
#pragma once
#include <cstdint>

#include "devices/input.h"

// Installs the fake as the keyboard's host, with no keys down and the
// test layout (see fake_keyboard_use_test_layout).
void fake_keyboard_install();
void fake_keyboard_press(host_key key);
void fake_keyboard_release(host_key key);
// Empties the layout: no character can be typed.
void fake_keyboard_clear_layout();
// Character ch is typed by the key with the KEYMOD_* modifiers.
void fake_keyboard_map_char(uint8_t ch, host_key key, int modifiers = 0);
// A Hungarian-like layout: letters and digits on their keys, '"' is
// Shift+2, '*' needs AltGr (Ctrl+Alt), the accented letters have keys.
void fake_keyboard_use_test_layout();
// How often the keyboard asked the host to forget held keys.
int fake_keyboard_release_all_count();

extern const host_keyboard_t fake_keyboard;
