// Start-up pieces of the shell that tests and the headless runner reach
// separately: the command line and the program folder.
#pragma once

// True when the argument names a program file rather than a switch. On this
// host a path begins with "/", so an existing file, or an argument with a
// further "/" after its first character, is always a file.
int emu_argument_is_file(const char* arg);
// Applies one switch ("/a", "-w", "/i:0000FF", ...); clears
// g_bSaveSettingsOnExit whatever the switch.
void emu_apply_switch(const char* arg);
// Processes the arguments after the program name in order.
void emu_command_line(int argc, char** argv);
// The folder of the running executable with a trailing "/" (260 bytes).
void emu_program_folder(char* buffer, int size);
// Test seam: the loader program files on the command line go to (null:
// autostart_file).
void emu_set_program_loader(int (*loader)(const char* path, int autostart));
