// Loading and starting program files by their extension.
#pragma once
#include <cstddef>
#include <string>

// Loads the file by its extension (.pri .prg .ptp .pss .pp, .bas and .txt
// typed in) and, with autostart, starts it. False with the reason in *why
// when the file was not taken; *dropped receives how many bytes of a PRI or
// PP file were left out (the ROM area, past 0xFFFF).
bool autostart_file(const char* path, int autostart, std::string* why = nullptr, size_t* dropped = nullptr);
