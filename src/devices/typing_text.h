// Text to be typed into the machine: the escapes of scripted text, and the
// keys each model's keyboard presses for every character it can type.
// Pure functions, no machine state.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One thing to type, with the place in the source text it came from.
struct type_unit {
    enum kind_t : uint8_t { CHARACTER, BYTE, PAUSE };
    kind_t kind;
    char32_t value;    // CHARACTER: the Unicode character (Enter is U+000D); BYTE: 0-255
    uint32_t line;     // from 1
    uint32_t column;   // from 1, in characters
};

enum class type_text_fault : uint8_t { NONE, UNKNOWN_ESCAPE, BAD_HEX, BAD_UTF8 };
struct type_text_result {
    type_text_fault fault;
    uint32_t line, column;   // of the fault
};

// Reads UTF-8 text into units. A line end (CR, LF or CR LF) is one Enter.
// With escapes on: \n Enter, \r Enter, \t TAB, \\ a backslash, \e ESC,
// \xHH the byte HH, \w a pause of one second. Returns the first fault (out
// then holds the units before it) or NONE.
type_text_result type_text_parse(std::string_view utf8, bool escapes, std::vector<type_unit>& out);

// The Unicode character of a CP1250 byte; 0 where the code page has none.
char32_t cp1250_char(uint8_t byte);
// Appends the character in UTF-8.
void append_utf8(std::string& out, char32_t c);

// The bytes of a text file as UTF-8: kept when they are UTF-8 already,
// otherwise read as CP1250, the host text of Primo files.
std::string type_text_file_to_utf8(std::string_view bytes);

// A key of the Primo matrix pressed with its modifiers.
struct key_stroke {
    uint8_t position;   // 0-63
    bool shift;
    bool ctrl;
};
// What the typist does next: press a key for a byte, or wait a second.
struct typing_step {
    enum kind_t : uint8_t { KEY, PAUSE };
    kind_t kind;
    key_stroke key;
    uint8_t code;   // the byte the program reads for the key
};
// What the typist watches of the model's keyboard software: caps lock
// (letters come as capitals while the byte at caps_address has a bit of
// caps_mask set; the key at caps_position toggles it), and the built-in
// firmware's one-key buffer, which must be empty before the next key goes
// down or that key would be lost.
struct typing_keyboard_vars {
    uint16_t caps_address;
    uint8_t caps_mask;
    uint8_t caps_position;
    uint16_t key_buffer;
};
typing_keyboard_vars typing_keyboard_of(int model);
// The first unit a keyboard cannot type.
struct typing_refusal {
    type_unit unit;
};

// The code the machine's software reads for a character: ASCII as it is,
// the Hungarian letters as the Primo's codes (not on CP/M, whose console
// is ASCII); -1 when the model has none.
int typing_code_of_character(char32_t character, int model);
// The key that makes the model's keyboard software read the code, or
// false when none does.
bool typing_key_for_code(uint8_t code, int model, key_stroke* key);
// The steps for the units on the model; false, with *refusal set, at the
// first unit the model cannot type (steps then holds those before it).
bool typing_steps_for_model(const std::vector<type_unit>& units, int model, std::vector<typing_step>& steps,
                            typing_refusal* refusal);
