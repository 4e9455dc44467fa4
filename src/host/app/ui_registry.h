// The settings store: an INI file in the user's configuration folder
// (Emulators/Brevan.ini), with named 32-bit numbers and strings.
#pragma once
#include <cstdint>
#include <string>

int prefs_init(const char* program_name);
int GetValueDword(const char* name, uint32_t* value);
// A string of any length; out is left alone when there is none.
int GetValueStr(const char* name, std::string& out);
int SetValueDword(const char* name, const uint32_t* value);
int SetValueStr(const char* name, const char* text);
// Gets and sets work on the values in memory; the file is written by
// prefs_save (an explicit save) and by prefs_done (at exit), once each.
int prefs_save();
int prefs_done();
// Tests keep their settings in a file of their own.
void prefs_set_file(const char* path);
