// The shell's side of typing text: the one road from a text to the typist
// (--type, --type-file, Paste and text autostart all take it), and the
// Hungarian words for a text that cannot be typed.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "devices/typing_text.h"

// Parses the text (escapes on or off) and checks every character against
// the model's keyboard: appends the steps and returns an empty string when
// all can be typed; otherwise returns why, naming the character and its
// place.
std::string typing_steps(std::string_view utf8, bool escapes, int model, std::vector<typing_step>& steps);
// The same, and the steps are queued after any still waiting.
std::string typing_submit(std::string_view utf8, bool escapes, int model);

// "a(z) 3. sor 5. karaktere („é”) a Primo CP/M billentyűzetén nem gépelhető be"
std::string typing_refusal_words(const typing_refusal& refusal, int model);
