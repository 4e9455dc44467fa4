#include "host/headless/typed_text.h"

#include <iterator>

#include "devices/input.h"

namespace {

// The keyboard of the run: a US layout for ASCII, and spare key codes for
// the Hungarian letters (shift for the capitals).
struct cp1250_letter { uint8_t lower, upper; };
constexpr cp1250_letter hungarian_letters[] = {
    {0xE1, 0xC1}, {0xE9, 0xC9}, {0xED, 0xCD}, {0xF3, 0xD3}, {0xF6, 0xD6},
    {0xF5, 0xD5}, {0xFA, 0xDA}, {0xFC, 0xDC}, {0xFB, 0xDB},
};
constexpr host_key SPARE_KEYS[] = {host_key{0x88}, host_key{0x89}, host_key{0x8A}, host_key{0x8B}, host_key{0x8C},
                                   host_key{0x8D}, host_key{0x8E}, host_key{0x8F}, host_key{0x97}};

int us_punctuation(uint8_t ch)
{
    struct entry { char plain, shifted; host_key key; };
    static constexpr entry keys[] = {
        {'-', '_', HK_MINUS}, {'=', '+', HK_EQUALS}, {'[', '{', HK_LEFT_BRACKET},
        {']', '}', HK_RIGHT_BRACKET}, {'\\', '|', HK_BACKSLASH}, {';', ':', HK_SEMICOLON},
        {'\'', '"', HK_QUOTE}, {',', '<', HK_COMMA}, {'.', '>', HK_PERIOD},
        {'/', '?', HK_SLASH}, {'`', '~', HK_GRAVE},
    };
    for (const entry& k : keys) {
        if (ch == static_cast<uint8_t>(k.plain)) return k.key;
        if (ch == static_cast<uint8_t>(k.shifted)) return k.key | KEYMOD_SHIFT;
    }
    static constexpr char shifted_digits[] = ")!@#$%^&*(";
    for (int d = 0; d < 10; ++d)
        if (ch == static_cast<uint8_t>(shifted_digits[d])) return host_key_after(HK_0, d) | KEYMOD_SHIFT;
    return -1;
}

}  // namespace

int scripted_char_key(uint8_t ch)
{
    if (const host_key key = host_key_of_char(static_cast<char>(ch)))
        return ch >= 'A' && ch <= 'Z' ? key | KEYMOD_SHIFT : key;
    switch (ch) {
    case ' ': return HK_SPACE;
    case '\r': return HK_ENTER;
    case '\b': return HK_BACKSPACE;
    case '\t': return HK_TAB;
    default: break;
    }
    for (size_t i = 0; i < std::size(hungarian_letters); ++i) {
        if (ch == hungarian_letters[i].lower) return SPARE_KEYS[i];
        if (ch == hungarian_letters[i].upper) return SPARE_KEYS[i] | KEYMOD_SHIFT;
    }
    return us_punctuation(ch);
}

bool text_for_typing(const char* in, std::string& out)
{
    out.clear();
    struct entry { char32_t unicode; uint8_t cp1250; };
    static constexpr entry hungarian[] = {
        {U'á', 0xE1}, {U'Á', 0xC1}, {U'é', 0xE9}, {U'É', 0xC9}, {U'í', 0xED}, {U'Í', 0xCD},
        {U'ó', 0xF3}, {U'Ó', 0xD3}, {U'ö', 0xF6}, {U'Ö', 0xD6}, {U'ő', 0xF5}, {U'Ő', 0xD5},
        {U'ú', 0xFA}, {U'Ú', 0xDA}, {U'ü', 0xFC}, {U'Ü', 0xDC}, {U'ű', 0xFB}, {U'Ű', 0xDB},
    };
    const auto* p = reinterpret_cast<const unsigned char*>(in);
    while (*p) {
        char32_t c = *p++;
        if (c == '\\' && *p) {
            const unsigned char e = *p++;
            c = e == 'n' || e == 'r' ? U'\r' : e == 't' ? U'\t' : e;
        } else if (c >= 0x80) {
            int more = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
            if (more < 0) return false;
            c &= more == 1 ? 0x1F : more == 2 ? 0x0F : 0x07;
            for (; more > 0; --more) {
                if ((*p & 0xC0) != 0x80) return false;
                c = c << 6 | (*p++ & 0x3F);
            }
        }
        if (c == '\n') c = '\r';
        if (c < 0x80) {
            if (scripted_char_key(static_cast<uint8_t>(c)) < 0) return false;
            out += static_cast<char>(c);
            continue;
        }
        bool found = false;
        for (const entry& h : hungarian) {
            if (h.unicode == c) {
                out += static_cast<char>(h.cp1250);
                found = true;
                break;
            }
        }
        if (!found) return false;
    }
    return true;
}

