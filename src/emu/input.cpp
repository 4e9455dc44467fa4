// Keyboard, joystick and typing (being written): placeholders so the tree links.
#include "input.h"

void keyboard_set_host(const host_keyboard_t*) {}
void keyboard_init() {}
void keyboard_reset() {}
void keyboard_change_mapping(int) {}
void keyboard_change_model(int) {}
int input_get_key_state(int) { return 0; }
int input_init_joystick(void*) { return 0; }
void input_set_joy_stepper(int64_t) {}
int input_get_joy_bits() { return 0; }
void set_joy_buttons_state(int, int, int) {}
void input_place_bas_trap(uint8_t*, int) {}
int keyboard_open_from_buffer(const char*) { return 0; }
void input_remove_bas_trap() {}
