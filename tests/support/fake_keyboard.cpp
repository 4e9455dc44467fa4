#include "support/fake_keyboard.h"

#include <array>

namespace {

std::array<bool, 256> keys_down{};
std::array<int, 256> layout{};
int release_all_calls = 0;

int fake_key_down(host_key key)
{
    return keys_down[key] ? 1 : 0;
}

int fake_char_key(uint8_t ch)
{
    return layout[ch];
}

void fake_release_all()
{
    keys_down.fill(false);
    ++release_all_calls;
}

} // namespace

const host_keyboard_t fake_keyboard{fake_key_down, fake_char_key, fake_release_all};

void fake_keyboard_install()
{
    keys_down.fill(false);
    release_all_calls = 0;
    fake_keyboard_use_test_layout();
    keyboard_set_host(&fake_keyboard);
}

void fake_keyboard_press(host_key key)
{
    keys_down[key] = true;
}

void fake_keyboard_release(host_key key)
{
    keys_down[key] = false;
}

void fake_keyboard_clear_layout()
{
    layout.fill(-1);
}

void fake_keyboard_map_char(uint8_t ch, host_key key, int modifiers)
{
    layout[ch] = key | modifiers;
}

void fake_keyboard_use_test_layout()
{
    fake_keyboard_clear_layout();
    for (char c = 'a'; c <= 'z'; ++c) {
        fake_keyboard_map_char(static_cast<uint8_t>(c), host_key_of_char(c));
        fake_keyboard_map_char(static_cast<uint8_t>(c - 'a' + 'A'), host_key_of_char(c), KEYMOD_SHIFT);
    }
    for (char c = '0'; c <= '9'; ++c) fake_keyboard_map_char(static_cast<uint8_t>(c), host_key_of_char(c));
    const char* shifted_digits = "=!\"#$%&/()";   // Shift+0 .. Shift+9
    for (int d = 0; d < 10; ++d)
        fake_keyboard_map_char(static_cast<uint8_t>(shifted_digits[d]), host_key_after(HK_0, d), KEYMOD_SHIFT);
    fake_keyboard_map_char(' ', HK_SPACE);
    fake_keyboard_map_char('\r', HK_ENTER);
    fake_keyboard_map_char('\b', HK_BACKSPACE);
    fake_keyboard_map_char('\t', HK_TAB);
    fake_keyboard_map_char('-', HK_MINUS);
    fake_keyboard_map_char('*', HK_MINUS, KEYMOD_CTRL | KEYMOD_ALT);
    fake_keyboard_map_char('+', HK_EQUALS);
    fake_keyboard_map_char('?', HK_EQUALS, KEYMOD_SHIFT);
    fake_keyboard_map_char(',', HK_COMMA);
    fake_keyboard_map_char(';', HK_COMMA, KEYMOD_SHIFT);
    fake_keyboard_map_char('.', HK_PERIOD);
    fake_keyboard_map_char(':', HK_PERIOD, KEYMOD_SHIFT);
    fake_keyboard_map_char(0xE9, HK_SEMICOLON);                 // é
    fake_keyboard_map_char(0xC9, HK_SEMICOLON, KEYMOD_SHIFT);   // É
    fake_keyboard_map_char(0xFC, HK_SLASH);                 // ü
    fake_keyboard_map_char(0xDC, HK_SLASH, KEYMOD_SHIFT);   // Ü
}

int fake_keyboard_release_all_count()
{
    return release_all_calls;
}
