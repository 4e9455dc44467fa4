// Input: the Primo keyboard matrix answered from the host keyboard (or by
// the typist while it types), and the joystick. The ROM reads each key
// position on its own port, so every read samples the host's live key state.
#include "devices/input.h"

#include "core/memory.h"
#include "devices/typing.h"

namespace {

// Raw key codes in the symbolic table, and the "cannot be typed" entry.
constexpr uint32_t NO_KEY = 0xFFFFFFFF;
constexpr int SHIFT_HOLD_READS = 10;
constexpr int PRIMO_SHIFT = 3;

const host_keyboard_t* host = nullptr;
std::array<uint32_t, 256> symbolic_key_map{};
int keyboard_mapping = 1;
int keyboard_model = 0;
int next_shift_state = 0;

bool is_raw_key_code(uint32_t entry)
{
    return entry < 0x20 || (entry >= 0x24 && entry <= 0x28);
}

uint32_t translate_char(uint32_t entry)
{
    const uint8_t ch = static_cast<uint8_t>(entry);
    if (ch == 0) return NO_KEY;
    const int code = host->char_key(ch);
    return code < 0 ? NO_KEY : static_cast<uint32_t>(code);
}

bool host_key_down(host_key key)
{
    return key != HK_NONE && host->key_down(key) != 0;
}

// The host key of the entry is down with exactly the modifiers it needs.
bool entry_matches(uint32_t entry, uint32_t modifiers)
{
    if (entry == NO_KEY) return false;
    return host_key_down(static_cast<host_key>(entry & 0xFF)) && (entry & 0x700) == modifiers;
}

int symbolic_key_state(int p)
{
    const bool shift = host_key_down(HK_SHIFT);
    const bool ctrl = host_key_down(HK_CTRL);
    const bool alt = host_key_down(HK_ALT);

    // The Primo shift is synthesised for shifted characters only.
    if (p == PRIMO_SHIFT) {
        if (next_shift_state > 0) {
            --next_shift_state;
            return 1;
        }
        return 0;
    }

    uint32_t modifiers = (shift ? KEYMOD_SHIFT : 0) | (ctrl ? KEYMOD_CTRL : 0) | (alt ? KEYMOD_ALT : 0);
    // Ctrl alone still lets characters through: Ctrl+A is CTRL plus A.
    if (modifiers == KEYMOD_CTRL) modifiers = 0;

    const int base = keyboard_model * 128;
    if (entry_matches(symbolic_key_map[base + p], modifiers)) {
        next_shift_state = 0;
        return 1;
    }
    if (entry_matches(symbolic_key_map[base + 64 + p], modifiers)) {
        next_shift_state = SHIFT_HOLD_READS;
        return 1;
    }
    return 0;
}

} // namespace

constexpr std::array<host_key, 64> keyboard_trans{
    HK_Y,      HK_UP,        HK_S,         HK_SHIFT,         HK_E,     HK_CAPS_LOCK, HK_W,            HK_CTRL,
    HK_D,      HK_3,         HK_X,         HK_2,             HK_Q,     HK_1,         HK_A,            HK_DOWN,
    HK_C,      HK_GRAVE,     HK_F,         HK_PAGE_DOWN,     HK_R,     HK_BACKSLASH, HK_T,            HK_7,
    HK_H,      HK_SPACE,     HK_B,         HK_6,             HK_G,     HK_5,         HK_V,            HK_4,
    HK_N,      HK_8,         HK_Z,         HK_MINUS,         HK_U,     HK_0,         HK_J,            HK_DELETE,
    HK_L,      HK_SLASH,     HK_K,         HK_PERIOD,        HK_M,     HK_9,         HK_I,            HK_COMMA,
    HK_EQUALS, HK_INSERT,    HK_P,         HK_END,           HK_O,     HK_HOME,      HK_NONE,         HK_ENTER,
    HK_NONE,   HK_BACKSPACE, HK_SEMICOLON, HK_RIGHT_BRACKET, HK_QUOTE, HK_RIGHT,     HK_LEFT_BRACKET, HK_TAB,
};

constexpr std::array<uint32_t, 256> kb_symbolic{
    // Layout 0, unshifted
    'y',  '^',  's',  HK_SHIFT, 'e',  HK_CAPS_LOCK, 'w',  HK_CTRL,
    'd',  '3',  'x',  '2',  'q',  '1',  'a',  HK_DOWN,
    'c',  0,    'f',  0,    'r',  0,    't',  '7',
    'h',  ' ',  'b',  '6',  'g',  '5',  'v',  '4',
    'n',  '8',  'z',  '+',  'u',  '0',  'j',  '>',
    'l',  '-',  'k',  '.',  'm',  '9',  'i',  ',',
    0xFC, '*',  'p',  0xFA, 'o',  HK_HOME, 0, HK_ENTER,
    0,    HK_BACKSPACE, 0xE9, 0xF3, 0xE1, HK_RIGHT, 0xF6, HK_TAB,
    // Layout 0, with the Primo shift
    'Y',  0,    'S',  0,    'E',  0,    'W',  0,
    'D',  '#',  'X',  '"',  'Q',  '!',  'A',  0,
    'C',  0,    'F',  0,    'R',  0,    'T',  '/',
    'H',  ' ',  'B',  '&',  'G',  '%',  'V',  '$',
    'N',  '(',  'Z',  '?',  'U',  '=',  'J',  '<',
    'L',  0xCD, 'K',  ':',  'M',  ')',  'I',  ';',
    0xDC, '\'', 'P',  0xFB, 'O',  0,    0,    0x0D,
    0,    0x08, 0xC9, 0xD3, 0xC1, 0,    0xD6, 0x09,
    // Layout 1, unshifted
    'y',  '^',  's',  HK_SHIFT, 'e',  HK_CAPS_LOCK, 'w',  HK_CTRL,
    'd',  '3',  'x',  '2',  'q',  '1',  'a',  HK_DOWN,
    'c',  0xED, 'f',  0xF5, 'r',  0xFB, 't',  '7',
    'h',  ' ',  'b',  '6',  'g',  '5',  'v',  '4',
    'n',  '8',  'z',  ';',  'u',  '0',  'j',  '/',
    'l',  '-',  'k',  '.',  'm',  '9',  'i',  ',',
    0xFC, '*',  'p',  0xFA, 'o',  HK_HOME, 0, HK_ENTER,
    0,    HK_BACKSPACE, 0xE9, 0xF3, 0xE1, HK_RIGHT, 0xF6, HK_TAB,
    // Layout 1, with the Primo shift
    'Y',  0,    'S',  0,    'E',  0,    'W',  0,
    'D',  '#',  'X',  '"',  'Q',  '!',  'A',  0,
    'C',  0xCD, 'F',  0xD5, 'R',  0xDB, 'T',  '\'',
    'H',  ' ',  'B',  '&',  'G',  '%',  'V',  '$',
    'N',  '(',  'Z',  '+',  'U',  '0',  'J',  '?',
    'L',  '=',  'K',  '>',  'M',  ')',  'I',  '<',
    0xDC, ':',  'P',  0xDA, 'O',  0,    0,    0x0D,
    0,    0x08, 0xC9, 0xD3, 0xC1, 0,    0xD6, 0x09,
};

void keyboard_set_host(const host_keyboard_t* keyboard)
{
    host = keyboard;
}

void keyboard_init()
{
    for (int layout = 0; layout < 2; ++layout) {
        const int base = layout * 128;
        for (int p = 0; p < 64; ++p) {
            const uint32_t plain = kb_symbolic[base + p];
            if (is_raw_key_code(plain))
                symbolic_key_map[base + p] = plain;
            else
                symbolic_key_map[base + p] = host ? translate_char(plain) : NO_KEY;
            symbolic_key_map[base + 64 + p] = host ? translate_char(kb_symbolic[base + 64 + p]) : NO_KEY;
        }
    }
    keyboard_reset();
}

void keyboard_reset()
{
    if (host && host->release_all) host->release_all();
    next_shift_state = 0;
}

void keyboard_change_mapping(int mapping)
{
    keyboard_mapping = mapping;
}

void keyboard_change_model(int layout)
{
    // Only two layouts exist; anything else picks the second.
    keyboard_model = layout == 0 ? 0 : 1;
}

int keyboard_layout_of_model(int model)
{
    return model >= MODEL_B32 && model <= MODEL_B64 ? 1 : 0;
}

int input_get_key_state(int position)
{
    const int p = position & 0x3F;
    if (const int typed = typing_key_state(p); typed >= 0) return typed;
    if (!host) return 0;
    if (keyboard_mapping != 1) return host_key_down(keyboard_trans[p]) ? 1 : 0;
    return symbolic_key_state(p);
}

// Joystick: two sticks read serially, one direction or the fire button per
// rising edge of the step clock. Row 0 is the keypad, row 1 the host's
// game controller; columns left, down, right, up, fire.
namespace {

constexpr int JOY_STEP_TIMEOUT = 658;   // microseconds
// A gap this long restarts the sequence; the same T-states at either clock.
constexpr int64_t JOY_RESTART_GAP = JOY_STEP_TIMEOUT * 5 / 2;
constexpr int JOY_STEPS_PRESENTED = 5;   // steps 5-7 change nothing

std::array<std::array<int, JOY_CONTROLS>, 2> joy_state_vector{};
int joy_stepper = 0;
int64_t prev_clk = 0;
std::array<int, 2> joy_state{};   // the lines presented now, 1 = active
const host_joystick_t* joystick_host = nullptr;

int poll_controller(int controls[JOY_CONTROLS])
{
    return joystick_host && joystick_host->poll ? joystick_host->poll(controls) : 0;
}

} // namespace

void joystick_set_host(const host_joystick_t* host) { joystick_host = host; }

int input_init_joystick(void*)
{
    for (auto& row : joy_state_vector) row.fill(0);
    joy_state.fill(0);
    joy_stepper = 0;
    int controls[JOY_CONTROLS];
    return poll_controller(controls);
}

void input_set_joy_stepper(int64_t now)
{
    if (now - prev_clk >= JOY_RESTART_GAP) joy_stepper = 0;
    if (joy_stepper < JOY_STEPS_PRESENTED) {
        int controls[JOY_CONTROLS];
        if (poll_controller(controls))
            for (int c = 0; c < JOY_CONTROLS; ++c) joy_state_vector[1][c] = controls[c] ? 1 : 0;
        joy_state[0] = joy_state_vector[0][joy_stepper];
        joy_state[1] = joy_state_vector[1][joy_stepper];
    }
    prev_clk = now;
    joy_stepper = (joy_stepper + 1) & 7;
}

int input_get_joy_bits() { return joy_state[1] * 4 | joy_state[0]; }

void set_joy_buttons_state(int row, int column, int value)
{
    if (row < 0 || row > 1 || column < 0 || column >= JOY_CONTROLS) return;
    joy_state_vector[row][column] = value ? 1 : 0;
}

void joy_dead_zone(uint32_t minimum, uint32_t maximum, uint32_t* low, uint32_t* high)
{
    const uint32_t range = maximum - minimum;
    const uint32_t band = static_cast<uint32_t>(uint64_t{range} * 20 / 100);
    *high = range / 2 + band / 2;
    *low = *high - band;
}

int keyboard_host_key_down(host_key key)
{
    return host && host_key_down(key) ? 1 : 0;
}
