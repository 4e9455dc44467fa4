// Input: the Primo keyboard matrix answered from the host keyboard, the
// joystick and text typing. The ROM reads each key position on its own
// port, so every read samples the host's live key state.
#include "devices/input.h"

#include <string>

#include "core/memory.h"
#include "core/sysvars.h"
#include "core/trap.h"
#include "cpu/cpu.h"

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
    if (!host) return 0;
    const int p = position & 0x3F;
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

// Text typing. The trap stands at the start of the ROM's keyboard-read
// routine: while text waits, each call returns the next character at once;
// then the trap turns its RET into a NOP and falls through into the ROM.
namespace {

struct typing_rom {
    uint32_t trap;      // ED 06 C9 over PUSH HL, PUSH DE, PUSH BC
    uint32_t jr;        // the key wait's JR NZ, unconditional while typing
};
constexpr typing_rom typing_ab{0x3866, 0x394F};
constexpr typing_rom typing_c{0x09D0, 0x09B0};
constexpr uint8_t OP_RET = 0xC9, OP_NOP = 0x00, OP_JR_NZ = 0x20, OP_JR = 0x18;

trap_record ttp_traps_kybhnd[] = {
    {keyboard_type_one_byte, typing_ab.trap, 3, {0xED, 0x06, OP_RET}, {}},
    {nullptr, 0, 0, {}, {}},
};
trap_record ttp_traps_kybhnd_modelc[] = {
    {keyboard_type_one_byte, typing_c.trap, 3, {0xED, 0x06, OP_RET}, {}},
    {nullptr, 0, 0, {}, {}},
};

std::string buffer;
bool have_text = false;
size_t bas_pointer = 0;
int is_model_c = 0;

const typing_rom& typing_offsets() { return is_model_c ? typing_c : typing_ab; }

// CP1250 host letters to the Primo's codes.
uint8_t primo_code(uint8_t c)
{
    struct entry { uint8_t host, primo; };
    static constexpr entry table[] = {
        {0xC1, 0x5D}, {0xC9, 0x40}, {0xCD, 0x49}, {0xD6, 0x5C}, {0xDC, 0x5E}, {0xE1, 0x7D},
        {0xE9, 0x60}, {0xED, 0x69}, {0xF3, 0x5B}, {0xF5, 0x7B}, {0xF6, 0x7C}, {0xFA, 0x5F},
        {0xFB, 0x7F}, {0xFC, 0x7E}, {0x5E, 0x5B}, {0x60, 0x27},
    };
    for (const entry& e : table)
        if (e.host == c) return e.primo;
    return c;
}

void release_text()
{
    buffer.clear();
    buffer.shrink_to_fit();
    have_text = false;
    bas_pointer = 0;
}

void push_word(uint16_t value)
{
    z80_state.sp = static_cast<uint16_t>(z80_state.sp - 2);
    mem_write_word(z80_state.sp, value);
}

}  // namespace

void input_place_bas_trap(uint8_t* rom, int is_c)
{
    is_model_c = is_c;
    traps_set(is_c ? ttp_traps_kybhnd_modelc : ttp_traps_kybhnd, rom);
}

int keyboard_open_from_buffer(const char* text)
{
    release_text();
    if (!text) return 0;
    // Lines end in CR, the Primo's Enter: a bare LF gets a CR before it.
    for (const char* p = text; *p; ++p) {
        if (*p == '\n' && (p == text || p[-1] != '\r')) buffer += '\r';
        buffer += *p;
    }
    have_text = true;
    return 1;
}

int keyboard_type_one_byte(int*)
{
    uint8_t* rom = rom_pointer();
    const typing_rom& at = typing_offsets();
    if (have_text && bas_pointer < buffer.size()) {
        const uint8_t c = primo_code(static_cast<uint8_t>(buffer[bas_pointer++]));
        z80_state.af = static_cast<uint16_t>(c << 8 | (z80_state.af & 0xFF & ~FLAG_Z));
        if (rom[at.jr] == OP_JR_NZ) rom[at.jr] = OP_JR;
        mem_write(LASTKEY, c);
        return 0;
    }
    push_word(z80_state.hl);
    push_word(z80_state.de);
    push_word(z80_state.bc);
    if (rom[at.trap + 2] == OP_RET) rom[at.trap + 2] = OP_NOP;
    release_text();
    if (rom[at.jr] == OP_JR) rom[at.jr] = OP_JR_NZ;
    mem_write(LASTKEY, 0);
    z80_state.af = static_cast<uint16_t>((z80_state.af & 0xFF) | FLAG_Z);
    return 0;
}

void input_remove_bas_trap()
{
    uint8_t* rom = rom_pointer();
    const uint32_t ret = typing_offsets().trap + 2;
    if (rom[ret] == OP_RET && rom[ret - 2] == 0xED && rom[ret - 1] == 0x06) rom[ret] = OP_NOP;
    release_text();
}

int keyboard_text_left()
{
    return have_text ? static_cast<int>(buffer.size() - bas_pointer) : 0;
}
