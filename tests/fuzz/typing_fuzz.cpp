// Scripted text on any bytes: the escape parser with escapes on and off,
// the file text reader, and the keys of every model for what they give.
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/memory.h"
#include "devices/typing_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const bool escapes : {true, false}) {
        std::vector<type_unit> units;
        type_text_parse(escapes ? text : std::string_view(type_text_file_to_utf8(text)), escapes, units);
        for (int model = 0; model < MODEL_COUNT; ++model) {
            std::vector<typing_step> steps;
            typing_refusal refusal{};
            typing_steps_for_model(units, model, steps, &refusal);
        }
    }
    return 0;
}
