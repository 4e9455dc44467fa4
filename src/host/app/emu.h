// Start-up and shut-down of the desktop program, and the pieces of it that
// tests and the headless runner reach separately: the command line, the
// program folder, the drive folder.
#pragma once
#include <filesystem>
#include <string>

// Start-up (settings, sound, machine, command line, menu marks) and
// shut-down (the drive's folder, disks and tapes closed, settings written
// unless a switch was given).
void emu_init(int argc, char** argv);
void emu_close();

// True when the argument names a path rather than a switch. On this host a
// path begins with "/", so an existing file or folder, or an argument with a
// further "/" after its first character, is always a path.
int emu_argument_is_file(const char* arg);
// The window takes no --options (those are headless mode's): the first one
// that is not an existing path is refused with a message. Returns 2 then,
// else 0.
int emu_refuse_unknown_options(int argc, char** argv);
// Applies one switch ("/a", "-w", "/i:0000FF", ...); clears
// shell.save_settings_on_exit whatever the switch.
void emu_apply_switch(const char* arg);
// Processes the arguments after the program name in order.
void emu_command_line(int argc, char** argv);
// Where the help text Olvassel.txt is: beside the program (the build
// folder), else in the data folder of an installed program; empty when it
// is in neither.
std::string emu_help_file();
// Where the serial-bus drive's files are unless a folder is chosen:
// $XDG_DATA_HOME/brevan/drive (made at the drive's first use).
std::string emu_drive_default_folder();
// The folder of the running executable, with a trailing "/".
std::filesystem::path emu_program_folder();
// The folder the drive is in now.
std::string emu_drive_folder();
// Test seam: the loader program files on the command line go to (null:
// shell_autostart).
void emu_set_program_loader(int (*loader)(const char* path, int autostart));
