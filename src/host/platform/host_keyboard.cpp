#include "host/platform/host_keyboard.h"

#include <QKeyEvent>
#include <array>

#include "devices/input.h"
#include "devices/typing_text.h"

namespace {

// X11/xkb keycodes (evdev + 8) of a PC keyboard to the key at that place.
constexpr std::array<host_key, 256> x11_keycode_key = [] {
    std::array<host_key, 256> t{};
    t[9] = HK_ESCAPE;
    const char digits[] = "1234567890";
    for (int i = 0; i < 10; ++i) t[10 + i] = host_key_of_char(digits[i]);
    t[20] = HK_MINUS; t[21] = HK_EQUALS; t[22] = HK_BACKSPACE; t[23] = HK_TAB;
    const char row1[] = "QWERTYUIOP";
    for (int i = 0; i < 10; ++i) t[24 + i] = host_key_of_char(row1[i]);
    t[34] = HK_LEFT_BRACKET; t[35] = HK_RIGHT_BRACKET; t[36] = HK_ENTER; t[37] = HK_CTRL;
    const char row2[] = "ASDFGHJKL";
    for (int i = 0; i < 9; ++i) t[38 + i] = host_key_of_char(row2[i]);
    t[47] = HK_SEMICOLON; t[48] = HK_QUOTE; t[49] = HK_GRAVE; t[50] = HK_SHIFT; t[51] = HK_BACKSLASH;
    const char row3[] = "ZXCVBNM";
    for (int i = 0; i < 7; ++i) t[52 + i] = host_key_of_char(row3[i]);
    t[59] = HK_COMMA; t[60] = HK_PERIOD; t[61] = HK_SLASH; t[62] = HK_SHIFT;
    t[63] = HK_KP_MULTIPLY; t[64] = HK_ALT; t[65] = HK_SPACE; t[66] = HK_CAPS_LOCK;
    for (int i = 0; i < 10; ++i) t[67 + i] = host_key_after(HK_F1, i);
    t[77] = HK_NUM_LOCK; t[78] = HK_SCROLL_LOCK;
    t[79] = HK_KP_7; t[80] = HK_KP_8; t[81] = HK_KP_9; t[82] = HK_KP_MINUS;
    t[83] = HK_KP_4; t[84] = HK_KP_5; t[85] = HK_KP_6; t[86] = HK_KP_PLUS;
    t[87] = HK_KP_1; t[88] = HK_KP_2; t[89] = HK_KP_3;
    t[90] = HK_KP_0; t[91] = HK_KP_PERIOD; t[94] = HK_LESS_GREATER;
    t[95] = HK_F11; t[96] = HK_F12;
    t[104] = HK_ENTER; t[105] = HK_CTRL; t[106] = HK_KP_DIVIDE; t[107] = HK_PRINT_SCREEN;
    t[108] = HK_ALT; t[110] = HK_HOME; t[111] = HK_UP; t[112] = HK_PAGE_UP; t[113] = HK_LEFT;
    t[114] = HK_RIGHT; t[115] = HK_END; t[116] = HK_DOWN; t[117] = HK_PAGE_DOWN;
    t[118] = HK_INSERT; t[119] = HK_DELETE; t[127] = HK_PAUSE;
    t[133] = HK_LEFT_META; t[134] = HK_RIGHT_META; t[135] = HK_APPLICATION;
    return t;
}();

constexpr bool is_keypad_keycode(uint32_t code)
{
    return (code >= 79 && code <= 91) || code == 63 || code == 104 || code == 106;
}

// Where the platform gives no keycode: the US key that types the Qt key.
host_key key_from_qt_key(int key, bool keypad)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return host_key_after(HK_A, key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return host_key_after(keypad ? HK_KP_0 : HK_0, key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return host_key_after(HK_F1, key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Escape: return HK_ESCAPE;
    case Qt::Key_Tab: case Qt::Key_Backtab: return HK_TAB;
    case Qt::Key_Backspace: return HK_BACKSPACE;
    case Qt::Key_Return: case Qt::Key_Enter: return HK_ENTER;
    case Qt::Key_Insert: return HK_INSERT;
    case Qt::Key_Delete: return HK_DELETE;
    case Qt::Key_Pause: return HK_PAUSE;
    case Qt::Key_Home: return HK_HOME;
    case Qt::Key_End: return HK_END;
    case Qt::Key_Left: return HK_LEFT;
    case Qt::Key_Up: return HK_UP;
    case Qt::Key_Right: return HK_RIGHT;
    case Qt::Key_Down: return HK_DOWN;
    case Qt::Key_PageUp: return HK_PAGE_UP;
    case Qt::Key_PageDown: return HK_PAGE_DOWN;
    case Qt::Key_Shift: return HK_SHIFT;
    case Qt::Key_Control: return HK_CTRL;
    case Qt::Key_Alt: case Qt::Key_AltGr: return HK_ALT;
    case Qt::Key_CapsLock: return HK_CAPS_LOCK;
    case Qt::Key_Space: return HK_SPACE;
    case Qt::Key_Minus: case Qt::Key_Underscore: return keypad ? HK_KP_MINUS : HK_MINUS;
    case Qt::Key_Equal: return HK_EQUALS;
    case Qt::Key_Plus: return keypad ? HK_KP_PLUS : HK_EQUALS;
    case Qt::Key_BracketLeft: case Qt::Key_BraceLeft: return HK_LEFT_BRACKET;
    case Qt::Key_BracketRight: case Qt::Key_BraceRight: return HK_RIGHT_BRACKET;
    case Qt::Key_Semicolon: case Qt::Key_Colon: return HK_SEMICOLON;
    case Qt::Key_Apostrophe: case Qt::Key_QuoteDbl: return HK_QUOTE;
    case Qt::Key_QuoteLeft: case Qt::Key_AsciiTilde: return HK_GRAVE;
    case Qt::Key_Backslash: case Qt::Key_Bar: return HK_BACKSLASH;
    case Qt::Key_Comma: case Qt::Key_Less: return HK_COMMA;
    case Qt::Key_Period: case Qt::Key_Greater: return keypad ? HK_KP_PERIOD : HK_PERIOD;
    case Qt::Key_Slash: return keypad ? HK_KP_DIVIDE : HK_SLASH;
    case Qt::Key_Question: return HK_SLASH;
    case Qt::Key_Asterisk: return keypad ? HK_KP_MULTIPLY : HK_8;
    case Qt::Key_Exclam: return HK_1;
    case Qt::Key_At: return HK_2;
    case Qt::Key_NumberSign: return HK_3;
    case Qt::Key_Dollar: return HK_4;
    case Qt::Key_Percent: return HK_5;
    case Qt::Key_AsciiCircum: return HK_6;
    case Qt::Key_Ampersand: return HK_7;
    case Qt::Key_ParenLeft: return HK_9;
    case Qt::Key_ParenRight: return HK_0;
    default: return HK_NONE;
    }
}

// The layout assumed until key events teach better: US.
std::array<int, 256> us_layout()
{
    std::array<int, 256> m;
    m.fill(-1);
    for (char c = 'a'; c <= 'z'; ++c) m[static_cast<uint8_t>(c)] = host_key_of_char(c);
    for (char c = 'A'; c <= 'Z'; ++c) m[static_cast<uint8_t>(c)] = host_key_of_char(c) | KEYMOD_SHIFT;
    for (char c = '0'; c <= '9'; ++c) m[static_cast<uint8_t>(c)] = host_key_of_char(c);
    const char shifted_digits[] = ")!@#$%^&*(";
    for (int i = 0; i < 10; ++i) m[static_cast<uint8_t>(shifted_digits[i])] = host_key_after(HK_0, i) | KEYMOD_SHIFT;
    struct pair { char plain, shifted; host_key key; };
    constexpr pair punctuation[] = {
        {'-', '_', HK_MINUS}, {'=', '+', HK_EQUALS}, {'[', '{', HK_LEFT_BRACKET},
        {']', '}', HK_RIGHT_BRACKET}, {';', ':', HK_SEMICOLON}, {'\'', '"', HK_QUOTE},
        {'`', '~', HK_GRAVE}, {'\\', '|', HK_BACKSLASH}, {',', '<', HK_COMMA},
        {'.', '>', HK_PERIOD}, {'/', '?', HK_SLASH},
    };
    for (const auto& p : punctuation) {
        m[static_cast<uint8_t>(p.plain)] = p.key;
        m[static_cast<uint8_t>(p.shifted)] = p.key | KEYMOD_SHIFT;
    }
    m[' '] = HK_SPACE;
    m['\r'] = HK_ENTER;
    m['\b'] = HK_BACKSPACE;
    m['\t'] = HK_TAB;
    return m;
}

// A key held down: the keycode (or Qt key) it was pressed with and the
// host keys it holds, so its release lets go of the same ones.
struct held_key {
    uint32_t code;
    int key;
    host_key holds[2];
};

std::array<uint8_t, 256> down_count{};
std::array<held_key, 16> held{};
int held_count = 0;

// The Primo scans its keyboard once a frame, so a key that went down and up
// (or up and down) within a frame would fall between two scans and be lost,
// as would the second of two quick presses of one key. Key changes therefore
// wait in order until the key's previous change has stood for this many
// frames. Frames count from the first one the main loop reports; before
// that, changes apply at once.
constexpr int64_t MIN_STEADY_FRAMES = 2;
int64_t frames_run = -1;
// Frame of each host key's last change; long ago at start and after everything
// was let go.
constexpr int64_t LONG_AGO = INT64_MIN / 2;
std::array<int64_t, 256> last_change = [] {
    std::array<int64_t, 256> frames;
    frames.fill(LONG_AGO);
    return frames;
}();
struct key_change {
    held_key key;
    host_key release_key;   // for a release: the key to let go if nothing matches
    bool down;
};
std::array<key_change, 64> pending{};
int pending_count = 0;
std::array<int, 256> char_map = us_layout();
bool rebuilding = false;

void hold(host_key key)
{
    if (key != HK_NONE && down_count[key] < 255) ++down_count[key];
}

void let_go(host_key key)
{
    if (key != HK_NONE && down_count[key] > 0) --down_count[key];
}

int current_modifiers()
{
    int m = 0;
    if (down_count[HK_SHIFT]) m |= KEYMOD_SHIFT;
    if (down_count[HK_CTRL]) m |= KEYMOD_CTRL;
    if (down_count[HK_ALT]) m |= KEYMOD_ALT;
    return m;
}

// The keyboard's symbolic map follows the learned layout; rebuilding it must
// not let go of the keys held at this moment.
void rebuild_symbolic_map()
{
    rebuilding = true;
    keyboard_init();
    rebuilding = false;
}

void learn(uint8_t ch, int code)
{
    if (char_map[ch] == code) return;
    for (auto& entry : char_map)
        if (entry == code) entry = -1;   // the key now types ch, not that
    char_map[ch] = code;
    rebuild_symbolic_map();
}

// Caps Lock turns letters round; such a press says nothing about Shift.
bool case_contradicts_shift(QChar c, bool shift)
{
    return (c.isUpper() && !shift) || (c.isLower() && shift);
}

void learn_from(const QKeyEvent* event, host_key key)
{
    if (key == HK_NONE || host_keyboard_is_keypad(event)) return;
    const QString text = event->text();
    if (text.size() != 1) return;
    const QChar c = text.at(0);
    const uint8_t ch = host_char_to_cp1250(c.unicode());
    if (ch < 0x20 || ch == 0x7F) return;
    const int mods = current_modifiers();
    if (c.isLetter() && case_contradicts_shift(c, (mods & KEYMOD_SHIFT) != 0)) return;
    learn(ch, key | mods);
}

int key_down(host_key key) { return host_keyboard_key_down(key); }
int char_key(uint8_t ch) { return host_keyboard_char_key(ch); }
void release_all() { host_keyboard_release_all(); }

const host_keyboard_t qt_keyboard{key_down, char_key, release_all};

}  // namespace

const host_keyboard_t* host_keyboard() { return &qt_keyboard; }

uint8_t host_char_to_cp1250(char32_t c)
{
    if (c < 0x80) return static_cast<uint8_t>(c);
    for (int b = 0x80; b <= 0xFF; ++b)
        if (cp1250_char(static_cast<uint8_t>(b)) == c) return static_cast<uint8_t>(b);
    return 0;
}

bool host_keyboard_is_keypad(const QKeyEvent* event)
{
    const uint32_t code = event->nativeScanCode();
    if (code != 0 && code < 256 && x11_keycode_key[code] != HK_NONE) return is_keypad_keycode(code);
    return (event->modifiers() & Qt::KeypadModifier) != 0;
}

host_key host_keyboard_key(const QKeyEvent* event)
{
    const uint32_t code = event->nativeScanCode();
    if (code != 0 && code < 256 && x11_keycode_key[code] != HK_NONE) return x11_keycode_key[code];
    return key_from_qt_key(event->key(), (event->modifiers() & Qt::KeypadModifier) != 0);
}

namespace {

void apply_press(const held_key& k)
{
    hold(k.holds[0]);
    hold(k.holds[1]);
    if (held_count < static_cast<int>(held.size())) held[held_count++] = k;
}

void apply_release(const held_key& k, host_key fallback)
{
    for (int i = 0; i < held_count; ++i) {
        const bool same = k.code != 0 ? held[i].code == k.code
                                      : held[i].code == 0 && held[i].key == k.key;
        if (!same) continue;
        let_go(held[i].holds[0]);
        let_go(held[i].holds[1]);
        held[i] = held[--held_count];
        return;
    }
    // Pressed before we looked (or under another Qt key): let go by key.
    let_go(fallback);
}

bool steady(host_key key)
{
    return frames_run < 0 || frames_run - last_change[key] >= MIN_STEADY_FRAMES;
}

// Applies waiting changes in order while the head's key has been steady;
// with force, the head goes at once (the queue is full: never drop a
// change, above all not a release).
void apply_pending(bool force = false)
{
    int done = 0;
    for (; done < pending_count; ++done) {
        const key_change& c = pending[done];
        const host_key key = c.down ? c.key.holds[0] : c.release_key;
        if (!steady(key) && !(force && done == 0)) break;
        if (c.down)
            apply_press(c.key);
        else
            apply_release(c.key, c.release_key);
        last_change[key] = frames_run;
    }
    std::copy(pending.begin() + done, pending.begin() + pending_count, pending.begin());
    pending_count -= done;
}

void queue_change(const key_change& c)
{
    if (pending_count == static_cast<int>(pending.size())) apply_pending(true);
    pending[pending_count++] = c;
    apply_pending();
}

}  // namespace

void host_keyboard_press(const QKeyEvent* event)
{
    const host_key key = host_keyboard_key(event);
    if (!event->isAutoRepeat() && key != HK_NONE) {
        held_key k{event->nativeScanCode(), event->key(), {key, HK_NONE}};
        // AltGr is Ctrl+Alt to a layout, as on the machine the tables know.
        if (event->key() == Qt::Key_AltGr) k.holds[1] = HK_CTRL;
        queue_change({k, key, true});
    }
    learn_from(event, key);
}

void host_keyboard_release(const QKeyEvent* event)
{
    if (event->isAutoRepeat()) return;
    const held_key k{event->nativeScanCode(), event->key(), {HK_NONE, HK_NONE}};
    // A release goes with the key its press held, found again by keycode.
    host_key release_key = host_keyboard_key(event);
    for (int i = 0; i < held_count; ++i)
        if (k.code != 0 ? held[i].code == k.code : held[i].code == 0 && held[i].key == k.key)
            release_key = held[i].holds[0];
    for (int i = 0; i < pending_count; ++i)
        if (pending[i].down && (k.code != 0 ? pending[i].key.code == k.code : pending[i].key.key == k.key))
            release_key = pending[i].key.holds[0];
    queue_change({k, release_key, false});
}

void host_keyboard_frame_done()
{
    ++frames_run;
    apply_pending();
}

void host_keyboard_release_all()
{
    if (rebuilding) return;
    down_count.fill(0);
    held_count = 0;
    pending_count = 0;
    last_change.fill(LONG_AGO);
}

int host_keyboard_key_down(host_key key)
{
    return key != HK_NONE && down_count[key] != 0 ? 1 : 0;
}

int host_keyboard_char_key(uint8_t ch)
{
    return char_map[ch];
}

void host_keyboard_layout_changed()
{
    char_map = us_layout();
    rebuild_symbolic_map();
}
