// The state of the desktop shell in one record: its flags, the settings
// that belong to no device, the program folder. The window, the start-up
// code and the tests read and set its fields directly.
#pragma once
#include <filesystem>
#include <string>

#include "core/rewind.h"

struct shell_state {
    bool active = true;                  // frames are produced
    bool paused = false;
    bool monitor = false;                // the monitor is shown
    bool sound = true;
    bool sync = true;                    // 50 Hz timing ("SyncSpeed")
    bool full_screen = false;
    bool save_settings_on_exit = true;   // cleared by any command-line switch
    bool auto_start = true;              // program files named at start run
    bool quit = false;                   // the window was closed
    int menus_open = 0;                  // an open menu stalls the machine
    // Settings without a device of their own.
    bool symbolic_keys = false;          // "KeyMapping"
    bool ram_bank = false;               // "RamExpansion"
    bool tape_remote_disabled = false;   // "DisableTapeRemoteControl"
    bool tape_signal_flipped = false;    // "FlipTapeSignal": tapes made the other way round
    std::string drive_path;              // "DrivePath": the drive's folder at exit
    std::filesystem::path program_folder;   // of the executable, with a trailing "/"
    rewind_ring rewind{60};              // a state a second, the last minute
};

// The one shell; a fresh one is an assignment of shell_state{}.
extern shell_state shell;
