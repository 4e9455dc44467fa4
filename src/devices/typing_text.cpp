// Scripted text to typed keys: the escapes, the host characters the Primo
// has codes for, and each keyboard's table read backwards, from the code a
// program is to read to the key that makes it.
#include "devices/typing_text.h"

#include <array>

#include "core/memory.h"

namespace {

constexpr char32_t ENTER = U'\r';

// CP1250 from 0x80 on; 0 where the code page has no character.
constexpr char16_t cp1250_high[128] = {
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021, 0,      0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0,      0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

// The Primo's codes of the Hungarian letters; the capitals that have no
// code of their own share the small letter's (Í is I).
struct letter_code { char32_t letter; uint8_t code; };
constexpr letter_code hungarian_codes[] = {
    {U'á', 0x7D}, {U'Á', 0x5D}, {U'é', 0x60}, {U'É', 0x40}, {U'í', 0x1E}, {U'Í', 0x49},
    {U'ó', 0x5B}, {U'Ó', 0x5B}, {U'ö', 0x7C}, {U'Ö', 0x5C}, {U'ő', 0x7B}, {U'Ő', 0x7B},
    {U'ú', 0x5F}, {U'Ú', 0x5F}, {U'ü', 0x7E}, {U'Ü', 0x5E}, {U'ű', 0x7F}, {U'Ű', 0xF1},
};

// Decodes one UTF-8 character at p (advancing it); -1 when the bytes are
// not UTF-8.
long next_utf8(const unsigned char*& p, const unsigned char* end)
{
    const unsigned char lead = *p++;
    if (lead < 0x80) return lead;
    const int more = (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
    if (more < 0 || end - p < more) return -1;
    long c = lead & (0x3F >> more);
    for (int i = 0; i < more; ++i) {
        if ((*p & 0xC0) != 0x80) return -1;
        c = c << 6 | (*p++ & 0x3F);
    }
    static constexpr long smallest[] = {0, 0x80, 0x800, 0x10000};
    if (c < smallest[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
    return c;
}

int hex_digit(unsigned char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A keyboard as its software reads it: the character of each position,
// plain and with shift, the positions that have no key, and how ctrl
// turns a character into a control code.
struct keyboard_chars {
    std::array<uint8_t, 64> plain, shifted;
    uint64_t no_key;       // bit p: position p is not on this keyboard
    bool ctrl_from_0x40;   // ctrl gives c AND 0x1F for every c from 0x40; else for letters only
};

constexpr uint64_t bit(int p) { return uint64_t{1} << p; }

// The CP/M BIOS's tables; positions 17, 19 and 21 are keys of the B
// keyboard only, so a script never needs them.
constexpr keyboard_chars cpm_keyboard{
    {'y', 0x05, 's', 0, 'e', 0, 'w', 0,    'd', '3', 'x', '2', 'q', '1', 'a', 0x18,
     'c', '`', 'f', '{', 'r', '\\', 't', '7', 'h', ' ', 'b', '6', 'g', '5', 'v', '4',
     'n', '8', 'z', '+', 'u', '0', 'j', '>',  'l', '-', 'k', '.', 'm', '9', 'i', ',',
     '@', '*', 'p', '\\', 'o', 0x1B, 0, 13,   0, 8, '[', ']', '_', 0x04, '^', 9},
    {'Y', '^', 'S', 0, 'E', 0, 'W', 0,    'D', '#', 'X', '"', 'Q', '!', 'A', 0x18,
     'C', '~', 'F', '}', 'R', '|', 'T', '/', 'H', ' ', 'B', '&', 'G', '%', 'V', '$',
     'N', '(', 'Z', '?', 'U', '=', 'J', '<',  'L', '_', 'K', ':', 'M', ')', 'I', ';',
     '`', 0x27, 'P', '|', 'O', 0x1B, 0, 13,   0, 0x7F, '{', '}', '~', 0x04, '^', 9},
    bit(17) | bit(19) | bit(21),
    true,
};

// The built-in firmware's tables of the A keyboard (also the C64's) and
// the B keyboard, in the Primo's codes; caps lock (5) gives no code.
constexpr keyboard_chars a_keyboard{
    {'y', 0x1C, 's', 0, 'e', 0, 'w', 0,   'd', '3', 'x', '2', 'q', '1', 'a', 0x1F,
     'c', 0, 'f', 0, 'r', 0, 't', '7',    'h', ' ', 'b', '6', 'g', '5', 'v', '4',
     'n', '8', 'z', '+', 'u', '0', 'j', '>', 'l', '-', 'k', '.', 'm', '9', 'i', ',',
     '~', '*', 'p', '_', 'o', 0x0C, 0, 0x0D, 0, 0x08, '`', '[', '}', 0x1D, '|', 0x09},
    {'Y', 0, 'S', 0, 'E', 0, 'W', 0,      'D', '#', 'X', '"', 'Q', '!', 'A', 0,
     'C', 0, 'F', 0, 'R', 0, 'T', '/',    'H', ' ', 'B', '&', 'G', '%', 'V', '$',
     'N', '(', 'Z', '?', 'U', '=', 'J', '<', 'L', 'I', 'K', ':', 'M', ')', 'I', ';',
     '^', 0x27, 'P', 0x7F, 'O', 0, 0, 0x0D, 0, 0x08, '@', '[', ']', 0, '\\', 0x09},
    0,
    false,
};
constexpr keyboard_chars b_keyboard{
    {'y', 0x1C, 's', 0, 'e', 0, 'w', 0,   'd', '3', 'x', '2', 'q', '1', 'a', 0x1F,
     'c', 0x1E, 'f', '{', 'r', 0x7F, 't', '7', 'h', ' ', 'b', '6', 'g', '5', 'v', '4',
     'n', '8', 'z', ';', 'u', '0', 'j', '/', 'l', '-', 'k', '.', 'm', '9', 'i', ',',
     '~', '*', 'p', '_', 'o', 0x0C, 0, 0x0D, 0, 0x08, '`', '[', '}', 0x1D, '|', 0x09},
    {'Y', 0, 'S', 0, 'E', 0, 'W', 0,      'D', '#', 'X', '"', 'Q', '!', 'A', 0,
     'C', 'I', 'F', '{', 'R', 0xF1, 'T', 0x27, 'H', ' ', 'B', '&', 'G', '%', 'V', '$',
     'N', '(', 'Z', '+', 'U', '0', 'J', '?', 'L', '=', 'K', '>', 'M', ')', 'I', '<',
     '^', ':', 'P', '_', 'O', 0, 0, 0x0D, 0, 0x08, '@', '[', ']', 0, '\\', 0x09},
    0,
    false,
};

constexpr uint8_t NO_CODE = 0;

// The keys of every code a keyboard gives, the first found for each: a
// plain key, then a shifted one, then ctrl with a small letter, then ctrl
// with any other character.
struct code_keys {
    std::array<key_stroke, 256> key{};
    std::array<bool, 256> known{};

    explicit constexpr code_keys(const keyboard_chars& k)
    {
        for (int pass = 0; pass < 2; ++pass)
            for (int p = 0; p < 64; ++p)
                if (!(k.no_key & bit(p))) add((pass ? k.shifted : k.plain)[p], {static_cast<uint8_t>(p), pass == 1, false});
        for (int letters_first = 1; letters_first >= 0; --letters_first)
            for (int p = 0; p < 64; ++p) {
                const uint8_t c = k.plain[p];
                if (k.no_key & bit(p)) continue;
                const bool letter = c >= 'a' && c <= 'z';
                if (letters_first ? !letter : letter) continue;
                if (letter || (k.ctrl_from_0x40 && c >= 0x40))
                    add(static_cast<uint8_t>(c & 0x1F), {static_cast<uint8_t>(p), false, true});
            }
    }
    constexpr void add(uint8_t code, key_stroke stroke)
    {
        if (code == NO_CODE || known[code]) return;
        key[code] = stroke;
        known[code] = true;
    }
};

constexpr code_keys cpm_keys{cpm_keyboard};
constexpr code_keys a_keys{a_keyboard};
constexpr code_keys b_keys{b_keyboard};

const code_keys* keys_of_model(int model)
{
    if (model == MODEL_CPM) return &cpm_keys;
    if (model >= MODEL_B32 && model <= MODEL_B64) return &b_keys;
    if (model >= 0 && model < MODEL_COUNT) return &a_keys;
    return nullptr;
}

}  // namespace

char32_t cp1250_char(uint8_t byte) { return byte < 0x80 ? byte : cp1250_high[byte - 0x80]; }

void append_utf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    const int more = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    out += static_cast<char>((0xFF << (7 - more) & 0xFF) | c >> (6 * more));
    for (int shift = 6 * (more - 1); shift >= 0; shift -= 6) out += static_cast<char>(0x80 | (c >> shift & 0x3F));
}

type_text_result type_text_parse(std::string_view utf8, bool escapes, std::vector<type_unit>& out)
{
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    uint32_t line = 1, column = 1;
    auto fault = [&](type_text_fault f) { return type_text_result{f, line, column}; };
    auto emit = [&](type_unit::kind_t kind, char32_t value) { out.push_back({kind, value, line, column}); };
    while (p < end) {
        const unsigned char c = *p;
        uint32_t width = 1;   // characters of the source the unit takes
        if (c == '\r' || c == '\n') {
            emit(type_unit::CHARACTER, ENTER);
            ++p;
            if (c == '\r' && p < end && *p == '\n') ++p;
            ++line;
            column = 1;
            continue;
        }
        if (escapes && c == '\\') {
            const unsigned char e = p + 1 < end ? p[1] : 0;
            width = 2;
            switch (e) {
            case 'n': case 'r': emit(type_unit::CHARACTER, ENTER); break;
            case 't': emit(type_unit::CHARACTER, U'\t'); break;
            case '\\': emit(type_unit::CHARACTER, U'\\'); break;
            case 'e': emit(type_unit::BYTE, 0x1B); break;
            case 'w': emit(type_unit::PAUSE, 0); break;
            case 'x': {
                const int high = p + 2 < end ? hex_digit(p[2]) : -1;
                const int low = p + 3 < end ? hex_digit(p[3]) : -1;
                if (high < 0 || low < 0) return fault(type_text_fault::BAD_HEX);
                emit(type_unit::BYTE, static_cast<char32_t>(high << 4 | low));
                width = 4;
                break;
            }
            default: return fault(type_text_fault::UNKNOWN_ESCAPE);
            }
            p += width;
            column += width;
            continue;
        }
        const long character = next_utf8(p, end);
        if (character < 0) return fault(type_text_fault::BAD_UTF8);
        emit(type_unit::CHARACTER, static_cast<char32_t>(character));
        ++column;
    }
    return {type_text_fault::NONE, line, column};
}

std::string type_text_file_to_utf8(std::string_view bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    bool utf8 = true;
    while (utf8 && p < end) utf8 = next_utf8(p, end) >= 0;
    if (utf8) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const unsigned char b : bytes) {
        const char32_t c = cp1250_char(b);
        append_utf8(out, c || !b ? c : U'\uFFFD');
    }
    return out;
}

int typing_code_of_character(char32_t character, int model)
{
    if (character < 0x80) return static_cast<int>(character);
    if (model == MODEL_CPM) return -1;
    for (const letter_code& l : hungarian_codes)
        if (l.letter == character) return l.code;
    return -1;
}

bool typing_key_for_code(uint8_t code, int model, key_stroke* key)
{
    const code_keys* keys = keys_of_model(model);
    if (!keys || !keys->known[code]) return false;
    *key = keys->key[code];
    return true;
}

typing_keyboard_vars typing_keyboard_of(int model)
{
    constexpr uint8_t CAPS_KEY = 5;
    if (model == MODEL_CPM) return {0xF310, 0x01, CAPS_KEY, 0xF30F};   // the BIOS's capslk and pendkey
    return {0x4044, 0x80, CAPS_KEY, 0x4008};   // KBDMODE and KEYBUF
}

bool typing_steps_for_model(const std::vector<type_unit>& units, int model, std::vector<typing_step>& steps,
                            typing_refusal* refusal)
{
    for (const type_unit& u : units) {
        if (u.kind == type_unit::PAUSE) {
            steps.push_back({typing_step::PAUSE, {}, 0});
            continue;
        }
        const int code = u.kind == type_unit::BYTE ? static_cast<int>(u.value) : typing_code_of_character(u.value, model);
        key_stroke key{};
        if (code < 0 || !typing_key_for_code(static_cast<uint8_t>(code), model, &key)) {
            if (refusal) refusal->unit = u;
            return false;
        }
        steps.push_back({typing_step::KEY, key, static_cast<uint8_t>(code)});
    }
    return true;
}
