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

// What a load found besides the built-in firmware: a line for each
// original file taken (with the models it serves) and a line for each file
// refused (with what is wrong with it).
struct romfiles_report {
    std::string used;
    std::string refused;
};

// Looks for a64.rom, b64.rom, c64.rom, cpm-boot.rom and cpm-bios.rom. For
// each name the first folder holding it decides: a file of the expected size
// is taken, any other is refused and the built-in image stays. Names found
// nowhere keep the built-in image. The images go to the memory map and take
// effect at its next model set-up. Fills *report when it is not null;
// reports nothing itself. Returns the number of files taken.
int romfiles_load(const std::vector<std::filesystem::path>& folders, romfiles_report* report);

// The start-up call: the default folders. Returns what differs from the
// built-in firmware, for the shell to show.
romfiles_report romfiles_load_at_start(const char* exe_dir);

// Which image a model runs, e.g. "Primo A64: beépített firmware" or
// "Primo A64: /home/u/.local/share/brevan/roms/a64.rom".
std::string romfiles_model_source(int model);

// Back to the built-in firmware for every model.
void romfiles_forget();
