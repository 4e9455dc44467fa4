// Original ROM files: at start the emulator looks for them in a few folders;
// each file of the right size replaces the built-in firmware of its models.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

// The folders searched, in order: the user's data folder
// ($XDG_DATA_HOME/brevan/roms, default ~/.local/share/brevan/roms), then
// <exe_dir>/roms. The user's own folder comes first so that files placed
// there override whatever was installed beside the program. exe_dir may be
// null or empty.
std::vector<std::filesystem::path> romfiles_default_folders(const char* exe_dir);

// Looks for a64.rom, b64.rom, c64.rom, cpm-boot.rom and cpm-bios.rom. For
// each name the first folder holding it decides: a file of the expected size
// is taken, any other is refused with a message box (and a line on standard
// error) and the built-in image stays. Names found nowhere keep the built-in
// image. The images go to the memory map and take effect at its next model
// set-up. Appends the refusals and one line per model (romfiles_model_source)
// to *report when report is not null. Returns the number of files taken.
int romfiles_load(const std::vector<std::filesystem::path>& folders, std::string* report);

// The start-up call: the default folders, then the report on standard error.
int romfiles_load_at_start(const char* exe_dir);

// Which image a model runs, e.g. "Primo A64: built-in firmware" or
// "Primo A64: /home/u/.local/share/brevan/roms/a64.rom".
std::string romfiles_model_source(int model);

// Back to the built-in firmware for every model.
void romfiles_forget();
