#include "support/fake_keyboard.h"

#include <array>

namespace {

std::array<bool, 256> keys_down{};
std::array<int, 256> layout{};
int release_all_calls = 0;

int fake_key_down(int vk)
{
    return vk >= 0 && vk < 256 && keys_down[vk] ? 1 : 0;
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

void fake_keyboard_press(int vk)
{
    keys_down[vk & 0xFF] = true;
}

void fake_keyboard_release(int vk)
{
    keys_down[vk & 0xFF] = false;
}

void fake_keyboard_clear_layout()
{
    layout.fill(-1);
}

void fake_keyboard_map_char(uint8_t ch, int vk, int modifiers)
{
    layout[ch] = vk | modifiers;
}

void fake_keyboard_use_test_layout()
{
    fake_keyboard_clear_layout();
    for (int c = 'a'; c <= 'z'; ++c) {
        fake_keyboard_map_char(static_cast<uint8_t>(c), c - 'a' + 'A');
        fake_keyboard_map_char(static_cast<uint8_t>(c - 'a' + 'A'), c - 'a' + 'A', KEYMOD_SHIFT);
    }
    for (int c = '0'; c <= '9'; ++c) fake_keyboard_map_char(static_cast<uint8_t>(c), c);
    const char* shifted_digits = "=!\"#$%&/()";   // Shift+0 .. Shift+9
    for (int d = 0; d < 10; ++d)
        fake_keyboard_map_char(static_cast<uint8_t>(shifted_digits[d]), '0' + d, KEYMOD_SHIFT);
    fake_keyboard_map_char(' ', VK_SPACE);
    fake_keyboard_map_char('\r', VK_RETURN);
    fake_keyboard_map_char('\b', VK_BACK);
    fake_keyboard_map_char('\t', VK_TAB);
    fake_keyboard_map_char('-', VK_OEM_MINUS);
    fake_keyboard_map_char('*', VK_OEM_MINUS, KEYMOD_CTRL | KEYMOD_ALT);
    fake_keyboard_map_char('+', VK_OEM_PLUS);
    fake_keyboard_map_char('?', VK_OEM_PLUS, KEYMOD_SHIFT);
    fake_keyboard_map_char(',', VK_OEM_COMMA);
    fake_keyboard_map_char(';', VK_OEM_COMMA, KEYMOD_SHIFT);
    fake_keyboard_map_char('.', VK_OEM_PERIOD);
    fake_keyboard_map_char(':', VK_OEM_PERIOD, KEYMOD_SHIFT);
    fake_keyboard_map_char(0xE9, VK_OEM_1);                 // é
    fake_keyboard_map_char(0xC9, VK_OEM_1, KEYMOD_SHIFT);   // É
    fake_keyboard_map_char(0xFC, VK_OEM_2);                 // ü
    fake_keyboard_map_char(0xDC, VK_OEM_2, KEYMOD_SHIFT);   // Ü
}

int fake_keyboard_release_all_count()
{
    return release_all_calls;
}
