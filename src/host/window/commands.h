// The commands of the main window: their ids, the model table, and running
// one as a click on its menu item does.
#pragma once
#include <array>

// Menu command ids.
enum command_id : int {
    ID_EXIT = 40001, ID_KEYBOARD = 40002, ID_WARM_RESET = 40006, ID_COLD_RESET = 40007,
    ID_MEMDUMP = 40008, ID_ABOUT = 40009, ID_COLORS = 40012, ID_DOUBLE_SIZE = 40013,
    ID_LOAD_ROM = 40015, ID_SCREENSHOT = 40018, ID_RESET_BUTTON = 40019, ID_SOUND = 40021,
    ID_PTP_ATTACH = 40024, ID_PTP_EJECT = 40025, ID_SYNC = 40026, ID_MONITOR = 40029,
    ID_CLOCK_25 = 40030, ID_CLOCK_375 = 40031, ID_PAUSE = 40032, ID_PSS_LOAD = 40034,
    ID_PSS_SAVE = 40035, ID_WAV_SAVE = 40036, ID_WAV_CLOSE = 40037, ID_PLAY = 40038,
    ID_HELP = 40039, ID_WAV_LOAD = 40040, ID_REWIND = 40041, ID_HEAD = 40042,
    ID_RAM_BANK = 40043, ID_SCREENSHOT_AS = 40044, ID_DRIVE_DIR = 40046,
    ID_DOUBLE_SCAN = 40047, ID_SYMBOLIC = 40048, ID_AUTOLOAD = 40049,
    ID_FULLSCREEN = 40052, ID_MODEL_A32 = 40053, ID_MODEL_A48 = 40054, ID_MODEL_A64 = 40055,
    ID_MODEL_B48 = 40056, ID_MODEL_B32 = 40057, ID_MODEL_B64 = 40058, ID_MODEL_C64 = 40059,
    ID_MODEL_CPM = 40060, ID_TAPE_REMOTE = 40061, ID_EJECT_A = 40080, ID_EJECT_ALL = 40084,
    ID_INSERT_A = 40085, ID_SOUND_SAVE = 40089, ID_PASTE = 40090, ID_MAKE_CPM_DISK = 40095,
    ID_STEP_BACK = 40096, ID_TAPE_FLIP = 40097,
};

// The disk commands of drive 0..3.
constexpr command_id eject_command(int drive) { return static_cast<command_id>(ID_EJECT_A + drive); }
constexpr command_id insert_command(int drive) { return static_cast<command_id>(ID_INSERT_A + drive); }

// The model table, in model-number order: menu command, memory
// configuration, name. B32 and B48 carry 40057 and 40056, so a record is
// found by its command, never computed from it.
struct model_record {
    command_id command;
    int configuration;
    const char* name;
};
inline constexpr std::array<model_record, 8> model_table{{
    {ID_MODEL_A32, 0, "Primo A32"}, {ID_MODEL_A48, 1, "Primo A48"}, {ID_MODEL_A64, 2, "Primo A64"},
    {ID_MODEL_B32, 3, "Primo B32"}, {ID_MODEL_B48, 4, "Primo B48"}, {ID_MODEL_B64, 5, "Primo B64"},
    {ID_MODEL_C64, 6, "Primo C64"}, {ID_MODEL_CPM, 7, "Primo CP/M"},
}};
// The record whose command matches, or null.
constexpr const model_record* model_for_command(command_id command)
{
    for (const model_record& record : model_table)
        if (record.command == command) return &record;
    return nullptr;
}

// The machine's two clock rates, as the menu offers them.
inline constexpr int CLOCK_NORMAL = 2500000;
inline constexpr int CLOCK_FAST = 3750000;

// A menu command, with the sound paused around it, the pacing reset and
// the keys released after it.
void main_window_command(command_id command);

// The commands the menu table names that do more than one call.
namespace commands {
void exit();
void autoload();
void load_rom();
void screenshot_as();
void toggle_sound_recording();
void paste();
void toggle_pause();
void toggle_monitor();
// The frames a command or the loop ran stopped at the breakpoint: the
// monitor opens there.
void enter_monitor_at_breakpoint();
void set_clock(int hz);
// "Visszatekerés": the machine a second back, as the rewind ring kept it.
void step_back();
void toggle_ram_bank();
void toggle_sync();
void toggle_sound();
void toggle_symbolic_keys();
void attach_ptp();
void toggle_tape_remote();
void toggle_tape_flip();
void eject_all();
void make_cpm_disk();
void choose_drive_folder();
void toggle_double_size();
void toggle_double_scan();
void toggle_full_screen();
void choose_colours();
void show_help();
}  // namespace commands
