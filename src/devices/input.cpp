// Input: the Primo keyboard matrix answered from the host keyboard (or by
// the typist while it types), and the joystick. The ROM reads each key
// position on its own port, so every read samples the host's live key state.
#include "devices/input.h"

#include "core/machine.h"
#include "devices/typing.h"

namespace {

// The host's side of input: its keyboard and controller and what they
// hold down.
struct input_host_t {
    const host_keyboard_t* keyboard = nullptr;
    std::array<uint32_t, 256> symbolic_key_map{};
    int mapping = 1;
    const host_joystick_t* joystick = nullptr;
    std::array<std::array<int, JOY_CONTROLS>, 2> controls{};   // row 0 the keypad, row 1 the controller
} input_host;

keyboard_t& kb() { return the_machine.keyboard; }
joystick_t& joy() { return the_machine.joystick; }

// Raw key codes in the symbolic table, and the "cannot be typed" entry.
constexpr uint32_t NO_KEY = 0xFFFFFFFF;
constexpr int SHIFT_HOLD_READS = 10;
constexpr int PRIMO_SHIFT = 3;


bool is_raw_key_code(uint32_t entry)
{
    return entry < 0x20 || (entry >= 0x24 && entry <= 0x28);
}

uint32_t translate_char(uint32_t entry)
{
    const uint8_t ch = static_cast<uint8_t>(entry);
    if (ch == 0) return NO_KEY;
    const int code = input_host.keyboard->char_key(ch);
    return code < 0 ? NO_KEY : static_cast<uint32_t>(code);
}

bool host_key_down(host_key key)
{
    return key != HK_NONE && input_host.keyboard->key_down(key) != 0;
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
        if (kb().next_shift_state > 0) {
            --kb().next_shift_state;
            return 1;
        }
        return 0;
    }

    uint32_t modifiers = (shift ? KEYMOD_SHIFT : 0) | (ctrl ? KEYMOD_CTRL : 0) | (alt ? KEYMOD_ALT : 0);
    // Ctrl alone still lets characters through: Ctrl+A is CTRL plus A.
    if (modifiers == KEYMOD_CTRL) modifiers = 0;

    const int base = kb().layout * 128;
    const auto& map = input_host.symbolic_key_map;
    if (entry_matches(map[static_cast<size_t>(base + p)], modifiers)) {
        kb().next_shift_state = 0;
        return 1;
    }
    if (entry_matches(map[static_cast<size_t>(base + 64 + p)], modifiers)) {
        kb().next_shift_state = SHIFT_HOLD_READS;
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
    input_host.keyboard = keyboard;
}

void keyboard_init()
{
    const host_keyboard_t* host = input_host.keyboard;
    auto& symbolic_key_map = input_host.symbolic_key_map;
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
    if (input_host.keyboard && input_host.keyboard->release_all) input_host.keyboard->release_all();
    kb().next_shift_state = 0;
}

void keyboard_change_mapping(int mapping)
{
    input_host.mapping = mapping;
}

void keyboard_change_model(int layout)
{
    // Only two layouts exist; anything else picks the second.
    kb().layout = layout == 0 ? 0 : 1;
}

int keyboard_layout_of_model(int model)
{
    return model >= MODEL_B32 && model <= MODEL_B64 ? 1 : 0;
}

int input_get_key_state(int position)
{
    const int p = position & 0x3F;
    if (const int typed = typing_key_state(p); typed >= 0) return typed;
    if (!input_host.keyboard) return 0;
    if (input_host.mapping != 1) return host_key_down(keyboard_trans[p]) ? 1 : 0;
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

int poll_controller(int controls[JOY_CONTROLS])
{
    const host_joystick_t* host = input_host.joystick;
    return host && host->poll ? host->poll(controls) : 0;
}

} // namespace

void joystick_set_host(const host_joystick_t* host) { input_host.joystick = host; }

int input_init_joystick()
{
    for (auto& row : input_host.controls) row.fill(0);
    joy().lines.fill(0);
    joy().stepper = 0;
    int controls[JOY_CONTROLS];
    return poll_controller(controls);
}

void input_set_joy_stepper(int64_t now)
{
    joystick_t& j = joy();
    auto& rows = input_host.controls;
    if (now - j.prev_clk >= JOY_RESTART_GAP) j.stepper = 0;
    if (j.stepper < JOY_STEPS_PRESENTED) {
        int controls[JOY_CONTROLS];
        if (poll_controller(controls))
            for (int c = 0; c < JOY_CONTROLS; ++c) rows[1][static_cast<size_t>(c)] = controls[c] ? 1 : 0;
        j.lines[0] = rows[0][static_cast<size_t>(j.stepper)];
        j.lines[1] = rows[1][static_cast<size_t>(j.stepper)];
    }
    j.prev_clk = now;
    j.stepper = (j.stepper + 1) & 7;
}

int input_get_joy_bits() { return joy().lines[1] * 4 | joy().lines[0]; }

void set_joy_buttons_state(int row, int column, int value)
{
    if (row < 0 || row > 1 || column < 0 || column >= JOY_CONTROLS) return;
    input_host.controls[static_cast<size_t>(row)][static_cast<size_t>(column)] = value ? 1 : 0;
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
    return input_host.keyboard && host_key_down(key) ? 1 : 0;
}

void keyboard_device_reset(reset_kind kind)
{
    if (kind == reset_kind::power_on) keyboard_init();
    if (kind == reset_kind::power_on || kind == reset_kind::model_change)
        keyboard_change_model(keyboard_layout_of_model(the_machine.model));
}

void keyboard_device_state(state_io& io)
{
    io(kb().layout);
    io(kb().next_shift_state);
    if (io.loading()) kb().layout = kb().layout ? 1 : 0;
}

void joystick_device_reset(reset_kind kind)
{
    if (kind == reset_kind::power_on) input_init_joystick();
}

void joystick_device_state(state_io& io)
{
    io.array(joy().lines);
    io(joy().stepper);
    io(joy().prev_clk);
    if (io.loading()) joy().stepper &= 7;
}
