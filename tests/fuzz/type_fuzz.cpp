// The text of the headless --type switch on any bytes: escapes and UTF-8 as
// a command line may carry them. What it accepts is no longer than what it
// was given, and every byte of it has a key.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/headless/typed_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string argument(reinterpret_cast<const char*>(data), size);   // cut at a NUL, as argv is
    std::string typed;
    if (!text_for_typing(argument.c_str(), typed)) return 0;
    if (typed.size() > argument.size()) __builtin_trap();
    for (const char c : typed)
        if (scripted_char_key(static_cast<uint8_t>(c)) < 0) __builtin_trap();
    return 0;
}
