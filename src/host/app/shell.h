// State shared across the desktop shell: flags, settings, the model table,
// and the window-side operations the start-up code calls.
#pragma once
#include <cstdint>

// Shell flags.
extern int g_bActive;                // frames are produced
extern int g_bPaused;
extern int g_bDebug;                 // the monitor is shown
extern int g_bSound;
extern int g_Timer;                  // "SyncSpeed"
extern int g_bFullScreen;
extern int g_bSaveSettingsOnExit;    // cleared by any command-line switch
extern int g_bAutoStart;
// Settings without a home elsewhere.
extern uint32_t g_KeyMapping;
extern uint32_t g_bRAMbank;
extern uint32_t g_DisableTapeRemote;
extern char g_DrivePath[260];
extern char emu_path[260];           // folder of the executable

// The model table: menu command, memory configuration, name.
struct model_record {
    int command;
    int configuration;
    const char* name;
};
extern const model_record model_table[8];
// The record whose command matches, or null.
const model_record* model_for_command(int command);

// Command ids of the main menu.
enum : int {
    ID_EXIT = 40001, ID_KEYBOARD = 40002, ID_WARM_RESET = 40006, ID_COLD_RESET = 40007,
    ID_MEMDUMP = 40008, ID_ABOUT = 40009, ID_COLORS = 40012, ID_DOUBLE_SIZE = 40013,
    ID_LOAD_ROM = 40015, ID_SCREENSHOT = 40018, ID_RESET_BUTTON = 40019, ID_SOUND = 40021,
    ID_PTP_ATTACH = 40024, ID_PTP_EJECT = 40025, ID_SYNC = 40026, ID_MONITOR = 40029,
    ID_CLOCK_25 = 40030, ID_CLOCK_375 = 40031, ID_PAUSE = 40032, ID_PSS_LOAD = 40034,
    ID_PSS_SAVE = 40035, ID_WAV_SAVE = 40036, ID_WAV_CLOSE = 40037, ID_PLAY = 40038,
    ID_HELP = 40039, ID_WAV_LOAD = 40040, ID_REWIND = 40041, ID_HEAD = 40042,
    ID_RAM_BANK = 40043, ID_SCREENSHOT_AS = 40044, ID_DRIVE_DIR = 40046,
    ID_DOUBLE_SCAN = 40047, ID_SYMBOLIC = 40048, ID_AUTOLOAD = 40049,
    ID_FULLSCREEN = 40052, ID_MODEL_FIRST = 40053, ID_MODEL_LAST = 40060,
    ID_TAPE_REMOTE = 40061, ID_EJECT_A = 40080, ID_EJECT_ALL = 40084,
    ID_INSERT_A = 40085, ID_SOUND_SAVE = 40089, ID_PASTE = 40090,
    ID_MAKE_CPM_DISK = 40095,
};

// Window-side operations (implemented by the main window).
void set_screen_params();
int recreate_bitmap();
void menu_check(int command, int checked);
void* get_hwndMain();   // the main window (a QWidget*), owner of dialogs
// A WAV recording put in the tape player, as "WAV betöltés..." does with
// the file chosen (a .wav named on the command line).
void main_window_load_wav_tape(const char* path);

// Start-up and shut-down (settings, command line, machine).
void emu_init(int argc, char** argv);
void emu_close();
