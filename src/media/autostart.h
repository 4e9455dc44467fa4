// Loading and starting program files by their extension.
#pragma once
#include <string>

// Loads the file by its extension (.pri .prg .ptp .pss .pp, .bas and .txt
// typed in) and, with autostart, starts it. False with the reason in *why
// when the file was not taken.
bool autostart_file(const char* path, int autostart, std::string* why = nullptr);
