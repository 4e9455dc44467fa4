#include "host/platform/host_keyboard.h"

#include <QKeyEvent>
#include <array>

#include "devices/input.h"

namespace {

constexpr int VK_MULTIPLY = 0x6A, VK_ADD = 0x6B, VK_SUBTRACT = 0x6D, VK_DECIMAL = 0x6E,
              VK_DIVIDE = 0x6F, VK_NUMPAD0 = 0x60, VK_LWIN = 0x5B, VK_RWIN = 0x5C,
              VK_APPS = 0x5D, VK_SNAPSHOT = 0x2C, VK_NUMLOCK = 0x90, VK_SCROLL = 0x91,
              VK_OEM_102 = 0xE2;

// X11/xkb keycodes (evdev + 8) of a PC keyboard to the VK code of the key
// at that place on a US keyboard.
constexpr std::array<uint8_t, 256> x11_keycode_vk = [] {
    std::array<uint8_t, 256> t{};
    t[9] = VK_ESCAPE;
    const char digits[] = "1234567890";
    for (int i = 0; i < 10; ++i) t[10 + i] = static_cast<uint8_t>(digits[i]);
    t[20] = VK_OEM_MINUS; t[21] = VK_OEM_PLUS; t[22] = VK_BACK; t[23] = VK_TAB;
    const char row1[] = "QWERTYUIOP";
    for (int i = 0; i < 10; ++i) t[24 + i] = static_cast<uint8_t>(row1[i]);
    t[34] = VK_OEM_4; t[35] = VK_OEM_6; t[36] = VK_RETURN; t[37] = VK_CONTROL;
    const char row2[] = "ASDFGHJKL";
    for (int i = 0; i < 9; ++i) t[38 + i] = static_cast<uint8_t>(row2[i]);
    t[47] = VK_OEM_1; t[48] = VK_OEM_7; t[49] = VK_OEM_3; t[50] = VK_SHIFT; t[51] = VK_OEM_5;
    const char row3[] = "ZXCVBNM";
    for (int i = 0; i < 7; ++i) t[52 + i] = static_cast<uint8_t>(row3[i]);
    t[59] = VK_OEM_COMMA; t[60] = VK_OEM_PERIOD; t[61] = VK_OEM_2; t[62] = VK_SHIFT;
    t[63] = VK_MULTIPLY; t[64] = VK_MENU; t[65] = VK_SPACE; t[66] = VK_CAPITAL;
    for (int i = 0; i < 10; ++i) t[67 + i] = static_cast<uint8_t>(VK_F1 + i);
    t[77] = VK_NUMLOCK; t[78] = VK_SCROLL;
    t[79] = VK_NUMPAD0 + 7; t[80] = VK_NUMPAD0 + 8; t[81] = VK_NUMPAD0 + 9; t[82] = VK_SUBTRACT;
    t[83] = VK_NUMPAD0 + 4; t[84] = VK_NUMPAD0 + 5; t[85] = VK_NUMPAD0 + 6; t[86] = VK_ADD;
    t[87] = VK_NUMPAD0 + 1; t[88] = VK_NUMPAD0 + 2; t[89] = VK_NUMPAD0 + 3;
    t[90] = VK_NUMPAD0; t[91] = VK_DECIMAL; t[94] = VK_OEM_102;
    t[95] = VK_F1 + 10; t[96] = VK_F1 + 11;
    t[104] = VK_RETURN; t[105] = VK_CONTROL; t[106] = VK_DIVIDE; t[107] = VK_SNAPSHOT;
    t[108] = VK_MENU; t[110] = VK_HOME; t[111] = VK_UP; t[112] = VK_PRIOR; t[113] = VK_LEFT;
    t[114] = VK_RIGHT; t[115] = VK_END; t[116] = VK_DOWN; t[117] = VK_NEXT;
    t[118] = VK_INSERT; t[119] = VK_DELETE; t[127] = VK_PAUSE;
    t[133] = VK_LWIN; t[134] = VK_RWIN; t[135] = VK_APPS;
    return t;
}();

constexpr bool is_keypad_keycode(uint32_t code)
{
    return (code >= 79 && code <= 91) || code == 63 || code == 104 || code == 106;
}

// Where the platform gives no keycode: the VK of the US key that types
// the Qt key.
int vk_from_qt_key(int key, bool keypad)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return keypad ? VK_NUMPAD0 + (key - Qt::Key_0) : '0' + (key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return VK_F1 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Tab: case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Return: case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Pause: return VK_PAUSE;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: case Qt::Key_AltGr: return VK_MENU;
    case Qt::Key_CapsLock: return VK_CAPITAL;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_Minus: case Qt::Key_Underscore: return keypad ? VK_SUBTRACT : VK_OEM_MINUS;
    case Qt::Key_Equal: return VK_OEM_PLUS;
    case Qt::Key_Plus: return keypad ? VK_ADD : VK_OEM_PLUS;
    case Qt::Key_BracketLeft: case Qt::Key_BraceLeft: return VK_OEM_4;
    case Qt::Key_BracketRight: case Qt::Key_BraceRight: return VK_OEM_6;
    case Qt::Key_Semicolon: case Qt::Key_Colon: return VK_OEM_1;
    case Qt::Key_Apostrophe: case Qt::Key_QuoteDbl: return VK_OEM_7;
    case Qt::Key_QuoteLeft: case Qt::Key_AsciiTilde: return VK_OEM_3;
    case Qt::Key_Backslash: case Qt::Key_Bar: return VK_OEM_5;
    case Qt::Key_Comma: case Qt::Key_Less: return VK_OEM_COMMA;
    case Qt::Key_Period: case Qt::Key_Greater: return keypad ? VK_DECIMAL : VK_OEM_PERIOD;
    case Qt::Key_Slash: return keypad ? VK_DIVIDE : VK_OEM_2;
    case Qt::Key_Question: return VK_OEM_2;
    case Qt::Key_Asterisk: return keypad ? VK_MULTIPLY : '8';
    case Qt::Key_Exclam: return '1';
    case Qt::Key_At: return '2';
    case Qt::Key_NumberSign: return '3';
    case Qt::Key_Dollar: return '4';
    case Qt::Key_Percent: return '5';
    case Qt::Key_AsciiCircum: return '6';
    case Qt::Key_Ampersand: return '7';
    case Qt::Key_ParenLeft: return '9';
    case Qt::Key_ParenRight: return '0';
    default: return 0;
    }
}

// The layout assumed until key events teach better: US.
std::array<int, 256> us_layout()
{
    std::array<int, 256> m;
    m.fill(-1);
    for (int c = 'a'; c <= 'z'; ++c) m[c] = 'A' + (c - 'a');
    for (int c = 'A'; c <= 'Z'; ++c) m[c] = c | KEYMOD_SHIFT;
    for (int c = '0'; c <= '9'; ++c) m[c] = c;
    const char shifted_digits[] = ")!@#$%^&*(";
    for (int i = 0; i < 10; ++i) m[static_cast<uint8_t>(shifted_digits[i])] = ('0' + i) | KEYMOD_SHIFT;
    struct pair { char plain, shifted; int vk; };
    constexpr pair punctuation[] = {
        {'-', '_', VK_OEM_MINUS}, {'=', '+', VK_OEM_PLUS}, {'[', '{', VK_OEM_4},
        {']', '}', VK_OEM_6}, {';', ':', VK_OEM_1}, {'\'', '"', VK_OEM_7},
        {'`', '~', VK_OEM_3}, {'\\', '|', VK_OEM_5}, {',', '<', VK_OEM_COMMA},
        {'.', '>', VK_OEM_PERIOD}, {'/', '?', VK_OEM_2},
    };
    for (const auto& p : punctuation) {
        m[static_cast<uint8_t>(p.plain)] = p.vk;
        m[static_cast<uint8_t>(p.shifted)] = p.vk | KEYMOD_SHIFT;
    }
    m[' '] = VK_SPACE;
    m['\r'] = VK_RETURN;
    m['\b'] = VK_BACK;
    m['\t'] = VK_TAB;
    return m;
}

// CP1250 upper half, 0xA0-0xFF.
constexpr std::array<char16_t, 96> cp1250_high = {
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

// A key held down: the keycode (or Qt key) it was pressed with and the VK
// codes it holds, so its release lets go of the same ones.
struct held_key {
    uint32_t code;
    int key;
    uint8_t vk[2];
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
// Frame of each VK's last change; long ago at start and after everything
// was let go.
constexpr int64_t LONG_AGO = INT64_MIN / 2;
std::array<int64_t, 256> last_change = [] {
    std::array<int64_t, 256> frames;
    frames.fill(LONG_AGO);
    return frames;
}();
struct key_change {
    held_key key;
    int release_vk;   // for a release: the VK to let go if nothing matches
    bool down;
};
std::array<key_change, 64> pending{};
int pending_count = 0;
std::array<int, 256> char_map = us_layout();
bool rebuilding = false;

void hold(int vk)
{
    if (vk > 0 && vk < 256 && down_count[vk] < 255) ++down_count[vk];
}

void let_go(int vk)
{
    if (vk > 0 && vk < 256 && down_count[vk] > 0) --down_count[vk];
}

int current_modifiers()
{
    int m = 0;
    if (down_count[VK_SHIFT]) m |= KEYMOD_SHIFT;
    if (down_count[VK_CONTROL]) m |= KEYMOD_CTRL;
    if (down_count[VK_MENU]) m |= KEYMOD_ALT;
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

void learn_from(const QKeyEvent* event, int vk)
{
    if (vk == 0 || host_keyboard_is_keypad(event)) return;
    const QString text = event->text();
    if (text.size() != 1) return;
    const QChar c = text.at(0);
    const uint8_t ch = host_char_to_cp1250(c.unicode());
    if (ch < 0x20 || ch == 0x7F) return;
    const int mods = current_modifiers();
    if (c.isLetter() && case_contradicts_shift(c, (mods & KEYMOD_SHIFT) != 0)) return;
    learn(ch, vk | mods);
}

int key_down(int vk) { return host_keyboard_key_down(vk); }
int char_key(uint8_t ch) { return host_keyboard_char_key(ch); }
void release_all() { host_keyboard_release_all(); }

const host_keyboard_t qt_keyboard{key_down, char_key, release_all};

}  // namespace

const host_keyboard_t* host_keyboard() { return &qt_keyboard; }

uint8_t host_char_to_cp1250(char32_t c)
{
    if (c < 0x80) return static_cast<uint8_t>(c);
    for (size_t i = 0; i < cp1250_high.size(); ++i)
        if (cp1250_high[i] == c) return static_cast<uint8_t>(0xA0 + i);
    return 0;
}

bool host_keyboard_is_keypad(const QKeyEvent* event)
{
    const uint32_t code = event->nativeScanCode();
    if (code != 0 && code < 256 && x11_keycode_vk[code] != 0) return is_keypad_keycode(code);
    return (event->modifiers() & Qt::KeypadModifier) != 0;
}

int host_keyboard_vk(const QKeyEvent* event)
{
    const uint32_t code = event->nativeScanCode();
    if (code != 0 && code < 256 && x11_keycode_vk[code] != 0) return x11_keycode_vk[code];
    return vk_from_qt_key(event->key(), (event->modifiers() & Qt::KeypadModifier) != 0);
}

namespace {

void apply_press(const held_key& k)
{
    hold(k.vk[0]);
    hold(k.vk[1]);
    if (held_count < static_cast<int>(held.size())) held[held_count++] = k;
}

void apply_release(const held_key& k, int fallback_vk)
{
    for (int i = 0; i < held_count; ++i) {
        const bool same = k.code != 0 ? held[i].code == k.code
                                      : held[i].code == 0 && held[i].key == k.key;
        if (!same) continue;
        let_go(held[i].vk[0]);
        let_go(held[i].vk[1]);
        held[i] = held[--held_count];
        return;
    }
    // Pressed before we looked (or under another Qt key): let go by VK.
    let_go(fallback_vk);
}

bool steady(int vk)
{
    return frames_run < 0 || frames_run - last_change[vk & 0xFF] >= MIN_STEADY_FRAMES;
}

// Applies waiting changes in order while the head's key has been steady;
// with force, the head goes at once (the queue is full: never drop a
// change, above all not a release).
void apply_pending(bool force = false)
{
    int done = 0;
    for (; done < pending_count; ++done) {
        const key_change& c = pending[done];
        const int vk = c.down ? c.key.vk[0] : c.release_vk;
        if (!steady(vk) && !(force && done == 0)) break;
        if (c.down)
            apply_press(c.key);
        else
            apply_release(c.key, c.release_vk);
        last_change[vk & 0xFF] = frames_run;
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
    const int vk = host_keyboard_vk(event);
    if (!event->isAutoRepeat() && vk != 0) {
        held_key k{event->nativeScanCode(), event->key(), {static_cast<uint8_t>(vk), 0}};
        // AltGr is Ctrl+Alt to a layout, as on the machine the tables know.
        if (event->key() == Qt::Key_AltGr) k.vk[1] = VK_CONTROL;
        queue_change({k, vk, true});
    }
    learn_from(event, vk);
}

void host_keyboard_release(const QKeyEvent* event)
{
    if (event->isAutoRepeat()) return;
    const held_key k{event->nativeScanCode(), event->key(), {0, 0}};
    const int vk = host_keyboard_vk(event);
    // A release goes with the VK its press held, found again by keycode.
    int release_vk = vk;
    for (int i = 0; i < held_count; ++i)
        if (k.code != 0 ? held[i].code == k.code : held[i].code == 0 && held[i].key == k.key)
            release_vk = held[i].vk[0];
    for (int i = 0; i < pending_count; ++i)
        if (pending[i].down && (k.code != 0 ? pending[i].key.code == k.code : pending[i].key.key == k.key))
            release_vk = pending[i].key.vk[0];
    queue_change({k, release_vk, false});
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

int host_keyboard_key_down(int vk)
{
    return vk > 0 && vk < 256 && down_count[vk] != 0 ? 1 : 0;
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
