// The host's game controllers as the Primo's second joystick, through
// SDL2's game-controller interface: any controller SDL knows, plugged in
// before or while the emulator runs.
#pragma once

// Starts SDL's game-controller support, takes the first controller found
// and installs the joystick host (joystick_set_host). 0 when SDL cannot.
int host_joystick_open();
void host_joystick_close();
// Plugging and unplugging, from the main loop: a controller plugged in
// becomes the joystick; when the one in use goes, another connected one
// takes over, or the stick is released.
void host_joystick_poll_events();
// The name of the controller in use, or null.
const char* host_joystick_name();
