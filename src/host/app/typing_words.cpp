#include "host/app/typing_words.h"

#include <cstdio>
#include <vector>

#include "devices/typing.h"
#include "host/window/commands.h"

namespace {

std::string utf8_char(char32_t c)
{
    std::string out;
    append_utf8(out, c);
    return out;
}

std::string format(const char* pattern, unsigned a, unsigned b = 0)
{
    char text[96];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

std::string place_words(uint32_t line, uint32_t column)
{
    return line > 1 ? format("a(z) %u. sor %u. karaktere", line, column) : format("a(z) %u. karakter", column);
}

std::string what_words(const type_unit& unit)
{
    const char32_t c = unit.value;
    if (unit.kind == type_unit::BYTE) return format("0x%02X kódú bájt", c);
    if (c < 0x20 || c == 0x7F) return format("0x%02X kódú vezérlőkarakter", c);
    if (c == 0xFFFD) return "a kódlapban nem szereplő bájt";
    return "„" + utf8_char(c) + format("”, U+%04X", c);
}

}  // namespace

std::string typing_refusal_words(const typing_refusal& refusal, int model)
{
    const type_unit& u = refusal.unit;
    const char* name = model >= 0 && model < static_cast<int>(model_table.size()) ? model_table[model].name : "Primo";
    return place_words(u.line, u.column) + " (" + what_words(u) + ") a " + name + " billentyűzetén nem gépelhető be";
}

std::string typing_steps(std::string_view utf8, bool escapes, int model, std::vector<typing_step>& steps)
{
    std::vector<type_unit> units;
    const type_text_result parsed = type_text_parse(utf8, escapes, units);
    switch (parsed.fault) {
    case type_text_fault::NONE: break;
    case type_text_fault::UNKNOWN_ESCAPE:
        return place_words(parsed.line, parsed.column) +
               " ismeretlen \\-jel (ismert: \\n \\\\ \\xHH \\e \\w \\t \\r)";
    case type_text_fault::BAD_HEX:
        return place_words(parsed.line, parsed.column) + ": a \\x után két hexadecimális számjegy kell";
    case type_text_fault::BAD_UTF8:
        return place_words(parsed.line, parsed.column) + " nem érvényes UTF-8";
    }
    typing_refusal refusal{};
    return typing_steps_for_model(units, model, steps, &refusal) ? std::string{} : typing_refusal_words(refusal, model);
}

std::string typing_submit(std::string_view utf8, bool escapes, int model)
{
    std::vector<typing_step> steps;
    std::string why = typing_steps(utf8, escapes, model, steps);
    if (why.empty()) typing_queue(steps);
    return why;
}
