// Input: the keyboard matrix and its host mapping, text typing, joystick.
#pragma once
#include <array>
#include <cstdint>

#include "core/device.h"

// The machine's side of the keyboard: the layout of its keys and the
// Primo shift held for a shifted character.
struct keyboard_t {
    int layout = 0;             // 0 the A and C layout, 1 the B layout
    int next_shift_state = 0;   // reads the synthesised shift still lasts
};
// The joystick readout: the lines presented now and the step sequence.
struct joystick_t {
    std::array<int, 2> lines{};   // 1 = active; row 0 the keypad, row 1 the controller
    int stepper = 0;
    int64_t prev_clk = 0;
};
// Typing through the ROM's keyboard routine: how far the text has gone (the
// text itself is the host's).
struct typing_t {
    int have_text = 0;
    uint32_t position = 0;
    int is_model_c = 0;
};

void keyboard_device_reset(reset_kind kind);
void keyboard_device_state(state_io& io);
void joystick_device_reset(reset_kind kind);
void joystick_device_state(state_io& io);
void typing_device_reset(reset_kind kind);
void typing_device_state(state_io& io);

// Host key codes are Windows virtual-key numbers (VK_*), whatever the host:
// the shell translates its own keys into them.
enum : int {
    VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10,
    VK_CONTROL = 0x11, VK_MENU = 0x12, VK_PAUSE = 0x13, VK_CAPITAL = 0x14,
    VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22,
    VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26,
    VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_INSERT = 0x2D, VK_DELETE = 0x2E,
    VK_F1 = 0x70, VK_F2 = 0x71, VK_F4 = 0x73, VK_F5 = 0x74,
    VK_OEM_1 = 0xBA, VK_OEM_PLUS = 0xBB, VK_OEM_COMMA = 0xBC,
    VK_OEM_MINUS = 0xBD, VK_OEM_PERIOD = 0xBE, VK_OEM_2 = 0xBF,
    VK_OEM_3 = 0xC0, VK_OEM_4 = 0xDB, VK_OEM_5 = 0xDC, VK_OEM_6 = 0xDD,
    VK_OEM_7 = 0xDE,
};

// Modifier bits of a character's key, as the layout query answers.
enum : int { KEYMOD_SHIFT = 0x100, KEYMOD_CTRL = 0x200, KEYMOD_ALT = 0x400 };

// The two questions the keyboard asks the host.
struct host_keyboard_t {
    // Is the host key (VK code) down now?
    int (*key_down)(int vk);
    // Which key with which modifiers types this character (CP1250) on the
    // current layout: VK code in bits 0-7, KEYMOD_* in bits 8-10; -1 when
    // the layout cannot type it.
    int (*char_key)(uint8_t ch);
    // Forget every key held down.
    void (*release_all)();
};
void keyboard_set_host(const host_keyboard_t* host);

// Positional mapping: the host key of each of the 64 Primo key positions.
extern const std::array<uint8_t, 64> keyboard_trans;
// Symbolic mapping source: per layout, 64 unshifted then 64 shifted
// characters (CP1250); in the unshifted half 0x24-0x28 and values below
// 0x20 are host key codes used as they are, 0 is no key.
extern const std::array<uint32_t, 256> kb_symbolic;

void keyboard_init();
void keyboard_reset();
void keyboard_change_mapping(int mapping);
void keyboard_change_model(int layout);
// The layout of a model's keyboard: 1 for the B models, else 0.
int keyboard_layout_of_model(int model);
int input_get_key_state(int position);

// Joystick. Controls of a row: left, down, right, up, fire.
enum : int { JOY_LEFT, JOY_DOWN, JOY_RIGHT, JOY_UP, JOY_FIRE, JOY_CONTROLS };
// The host's game controller, read at the steps that present a control.
struct host_joystick_t {
    // Fills the five controls (1 = pushed) and returns 1, or returns 0 when
    // no controller is in use (its row then keeps its values).
    int (*poll)(int controls[JOY_CONTROLS]);
};
void joystick_set_host(const host_joystick_t* host);
// Releases both sticks and restarts the sequence; 1 when a controller is
// in use.
int input_init_joystick();
// A rising edge of the step clock at time now (T-states).
void input_set_joy_stepper(int64_t now);
// Bit 0 the keypad stick's line, bit 2 the controller's; 1 = active.
int input_get_joy_bits();
// Row 0 the keypad, row 1 the controller.
void set_joy_buttons_state(int row, int column, int value);
// The thresholds of a centre band of 20 % of an axis range, measured from
// 0 (the minimum is not added): left/up below low, right/down above high.
void joy_dead_zone(uint32_t minimum, uint32_t maximum, uint32_t* low, uint32_t* high);

// Is the host key (VK code) down now? 0 without a host keyboard.
int keyboard_host_key_down(int vk);

// Text typing through the ROM's keyboard routine. is_c is non-zero for the
// C64 ROM (the shell passes g_bColor).
void input_place_bas_trap(uint8_t* rom, int is_c);
// Takes a copy of the text (CP1250) to type; replaces any text left.
int keyboard_open_from_buffer(const char* text);
int keyboard_type_one_byte(int* n);
void input_remove_bas_trap();
// Characters still waiting to be typed.
int keyboard_text_left();
