// The settings store: an INI file in the user's configuration folder
// (Emulators/Brevan.ini), with named 32-bit numbers and strings.
#pragma once
#include <cstdint>
#include <string>

// Reads the file. Returns 0 when its folder cannot take files: then every
// read keeps its default and every write fails. A damaged file (not text,
// or a line that is no name=value pair) is copied to Brevan.ini.bak beside
// it, the values that could be read of it are kept, and a clean file
// replaces it at the next save.
int prefs_init(const char* program_name);
// What the user should be told about a damaged file (once, at start);
// empty when the file was sound.
const std::string& prefs_damage_notice();
int GetValueDword(const char* name, uint32_t* value);
// A string of any length; out is left alone when there is none.
int GetValueStr(const char* name, std::string& out);
int SetValueDword(const char* name, const uint32_t* value);
int SetValueStr(const char* name, const char* text);
// Gets and sets work on the values in memory; the file is written as a
// whole by prefs_save (an explicit save) and by prefs_done (at exit) when
// a value changed. Both return 0 when the file could not be written.
int prefs_save();
int prefs_done();
// Tests keep their settings in a file of their own.
void prefs_set_file(const char* path);
