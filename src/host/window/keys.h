// The main window's own keys: the monitor's, pause, screenshot, the reset
// button and the keypad joystick. Every key also reaches the Primo keyboard.
#pragma once

class QKeyEvent;

void keys_press(const QKeyEvent* event);
void keys_release(const QKeyEvent* event);
