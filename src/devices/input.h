// Input: the keyboard matrix and its host mapping, and the joystick.
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

void keyboard_device_reset(reset_kind kind);
void keyboard_device_state(state_io& io);
void joystick_device_reset(reset_kind kind);
void joystick_device_state(state_io& io);

// Host keys, named by their place on a US PC keyboard, whatever the host:
// the shell translates its own key events into them. A letter or digit key
// carries the character's code, so tables of keys stay readable; 0 is no key.
enum host_key : uint8_t {
    HK_NONE = 0,
    HK_BACKSPACE = 0x08, HK_TAB = 0x09, HK_ENTER = 0x0D, HK_SHIFT = 0x10,
    HK_CTRL = 0x11, HK_ALT = 0x12, HK_PAUSE = 0x13, HK_CAPS_LOCK = 0x14,
    HK_ESCAPE = 0x1B, HK_SPACE = 0x20, HK_PAGE_UP = 0x21, HK_PAGE_DOWN = 0x22,
    HK_END = 0x23, HK_HOME = 0x24, HK_LEFT = 0x25, HK_UP = 0x26,
    HK_RIGHT = 0x27, HK_DOWN = 0x28, HK_PRINT_SCREEN = 0x2C, HK_INSERT = 0x2D,
    HK_DELETE = 0x2E,
    HK_0 = '0', HK_1, HK_2, HK_3, HK_4, HK_5, HK_6, HK_7, HK_8, HK_9,
    HK_A = 'A', HK_B, HK_C, HK_D, HK_E, HK_F, HK_G, HK_H, HK_I, HK_J, HK_K, HK_L, HK_M,
    HK_N, HK_O, HK_P, HK_Q, HK_R, HK_S, HK_T, HK_U, HK_V, HK_W, HK_X, HK_Y, HK_Z,
    HK_LEFT_META = 0x5B, HK_RIGHT_META = 0x5C, HK_APPLICATION = 0x5D,
    HK_KP_0 = 0x60, HK_KP_1, HK_KP_2, HK_KP_3, HK_KP_4, HK_KP_5, HK_KP_6, HK_KP_7, HK_KP_8, HK_KP_9,
    HK_KP_MULTIPLY = 0x6A, HK_KP_PLUS = 0x6B, HK_KP_MINUS = 0x6D,
    HK_KP_PERIOD = 0x6E, HK_KP_DIVIDE = 0x6F,
    HK_F1 = 0x70, HK_F2, HK_F3, HK_F4, HK_F5, HK_F6, HK_F7, HK_F8, HK_F9, HK_F10, HK_F11, HK_F12,
    HK_NUM_LOCK = 0x90, HK_SCROLL_LOCK = 0x91,
    HK_SEMICOLON = 0xBA, HK_EQUALS = 0xBB, HK_COMMA = 0xBC, HK_MINUS = 0xBD,
    HK_PERIOD = 0xBE, HK_SLASH = 0xBF, HK_GRAVE = 0xC0, HK_LEFT_BRACKET = 0xDB,
    HK_BACKSLASH = 0xDC, HK_RIGHT_BRACKET = 0xDD, HK_QUOTE = 0xDE, HK_LESS_GREATER = 0xE2,
};

// The key n places after first (HK_A and 3 give HK_D).
constexpr host_key host_key_after(host_key first, int n)
{
    return static_cast<host_key>(static_cast<int>(first) + n);
}
// The key of a letter (either case) or digit; HK_NONE for other characters.
constexpr host_key host_key_of_char(char c)
{
    if (c >= 'a' && c <= 'z') return host_key_after(HK_A, c - 'a');
    if (c >= 'A' && c <= 'Z') return host_key_after(HK_A, c - 'A');
    if (c >= '0' && c <= '9') return host_key_after(HK_0, c - '0');
    return HK_NONE;
}

// Modifier bits of a character's key, as the layout query answers.
inline constexpr int KEYMOD_SHIFT = 0x100, KEYMOD_CTRL = 0x200, KEYMOD_ALT = 0x400;

// The two questions the keyboard asks the host.
struct host_keyboard_t {
    // Is the host key down now?
    int (*key_down)(host_key key);
    // Which key with which modifiers types this character (CP1250) on the
    // current layout: host_key in bits 0-7, KEYMOD_* in bits 8-10; -1 when
    // the layout cannot type it.
    int (*char_key)(uint8_t ch);
    // Forget every key held down.
    void (*release_all)();
};
void keyboard_set_host(const host_keyboard_t* host);

// Positional mapping: the host key of each of the 64 Primo key positions.
extern const std::array<host_key, 64> keyboard_trans;
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

// Is the host key down now? 0 without a host keyboard.
int keyboard_host_key_down(host_key key);
