// Loading and starting program files by their extension.
#pragma once
#include <cstddef>
#include <string>

#include "devices/typing_text.h"

// Loads the file by its extension (.pri .prg .ptp .pss .pp, .bas and .txt
// typed in) and, with autostart, starts it. False with the reason in *why
// when the file was not taken; *dropped receives how many bytes of a PRI or
// PP file were left out (the ROM area, past 0xFFFF). A text the model's
// keyboard cannot type is refused with the note text_untypeable instead of
// a reason (why stays empty); autostart_text_refusal tells what it met.
bool autostart_file(const char* path, int autostart, std::string* why = nullptr, size_t* dropped = nullptr);
// The first character of the last refused text.
typing_refusal autostart_text_refusal();
