// Start-up and shut-down of the desktop program: settings, command line and
// the machine.
#include "host/app/emu.h"

#include <QCoreApplication>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <strings.h>
#include <unistd.h>

#include "core/event.h"
#include "core/hooks.h"
#include "core/machine.h"
#include "core/memory.h"
#include "core/romfiles.h"
#include "cpu/cpu.h"
#include "devices/diskfs.h"
#include "devices/input.h"
#include "devices/printer.h"
#include "devices/screen.h"
#include "devices/tape.h"
#include "host/app/messages.h"
#include "host/app/pacing.h"
#include "host/app/shell.h"
#include "host/app/ui_registry.h"
#include "host/window/commands.h"
#include "host/window/main_window.h"
#include "host/window/menu.h"
#include "host/window/screen_view.h"
#include "media/autostart.h"
#include "media/diskimg.h"
#include "media/ptp.h"
#include "sound/sdl_sound.h"
#include "sound/sound.h"

namespace {

constexpr int DEFAULT_MODEL = MODEL_A64;

// The settings as read at start; written back from here at exit.
uint32_t setting_model = DEFAULT_MODEL;
uint32_t setting_clock = CLOCK_NORMAL;

int (*program_loader)(const char*, int) = shell_autostart;
// A stored drive folder that was missing at start: kept as the setting
// unless another folder is chosen during the run.
std::string missing_drive_folder;

// Model memory configuration, display page pointer and a fresh memory.
void select_memory_of_model(int model)
{
    memory_set_active_setup(model_table[model].configuration);
    memory_reset();
    ptp_place_traps();
}

int model_from_switch(const char* text)
{
    struct entry { const char* name; int model; };
    static constexpr entry names[] = {
        {"a32", MODEL_A32}, {"a48", MODEL_A48}, {"b32", MODEL_B32},
        {"b48", MODEL_B48}, {"b64", MODEL_B64}, {"c64", MODEL_C64},
    };
    for (const auto& e : names)
        if (std::strcmp(text, e.name) == 0) return e.model;
    return MODEL_A64;
}

void switch_model(const char* text)
{
    const int model = model_from_switch(text);
    select_memory_of_model(model);
    z80_reset();
    if (model == MODEL_C64) {
        nroflines = 216;
        g_bColor = 2;
    } else {
        nroflines = 192;
    }
}

bool has_wav_extension(const char* name)
{
    const size_t n = std::strlen(name);
    return n > 4 && strcasecmp(name + n - 4, ".wav") == 0;
}

void read_colour_switch(const char* arg, uint32_t* colour)
{
    if (arg[2] != ':') return;
    unsigned int value = 0;
    if (std::sscanf(arg + 3, "%06X", &value) == 1) *colour = value;
}

// An on/off setting: any non-zero number is on.
bool read_flag(const char* name, bool default_value)
{
    uint32_t v = default_value ? 1 : 0;
    GetValueDword(name, &v);
    return v != 0;
}

void write_flag(const char* name, bool value)
{
    const uint32_t v = value ? 1 : 0;
    SetValueDword(name, &v);
}

void read_settings()
{
    g_bDoubleScreen = read_flag("DoubleSize", false);
    g_bDoubleScan = read_flag("DoubleScan", false);
    shell.sync = read_flag("SyncSpeed", true);
    shell.sound = read_flag("Sound", true);
    shell.symbolic_keys = read_flag("KeyMapping", false);
    shell.drive_path.clear();
    GetValueStr("DrivePath", shell.drive_path);
    setting_model = DEFAULT_MODEL; GetValueDword("Model", &setting_model);
    setting_clock = CLOCK_NORMAL; GetValueDword("ClockRate", &setting_clock);
    // Only the two rates the machine has; anything else would upset its timing.
    if (setting_clock != CLOCK_FAST) setting_clock = CLOCK_NORMAL;
    shell.ram_bank = read_flag("RamExpansion", false);
    uint32_t v = 0; GetValueDword("ColorPalette", &v); g_ColorPalette = v <= 2 ? static_cast<int>(v) : 0;
    g_ColorPaper = 0; GetValueDword("PaperColor", &g_ColorPaper);
    g_ColorInk = 0xFFFFFFFF; GetValueDword("InkColor", &g_ColorInk);
    g_ColorBorder = 0; GetValueDword("BorderColor", &g_ColorBorder);
    shell.tape_remote_disabled = read_flag("DisableTapeRemoteControl", false);
    shell.tape_signal_flipped = read_flag("FlipTapeSignal", false);
}

void write_settings(uint32_t model, uint32_t clock)
{
    write_flag("DoubleSize", g_bDoubleScreen);
    write_flag("DoubleScan", g_bDoubleScan);
    write_flag("SyncSpeed", shell.sync);
    write_flag("Sound", shell.sound);
    write_flag("KeyMapping", shell.symbolic_keys);
    SetValueStr("DrivePath", shell.drive_path.c_str());
    SetValueDword("Model", &model);
    SetValueDword("ClockRate", &clock);
    write_flag("RamExpansion", shell.ram_bank);
    const auto palette = static_cast<uint32_t>(g_ColorPalette); SetValueDword("ColorPalette", &palette);
    SetValueDword("PaperColor", &g_ColorPaper);
    SetValueDword("InkColor", &g_ColorInk);
    SetValueDword("BorderColor", &g_ColorBorder);
    write_flag("DisableTapeRemoteControl", shell.tape_remote_disabled);
    write_flag("FlipTapeSignal", shell.tape_signal_flipped);
}

void load_original_roms()
{
    // One message for all refused files; the list is already on stderr.
    const romfiles_report report = romfiles_load_at_start(shell.program_folder.c_str());
    std::fprintf(stderr, "%s%s", report.used.c_str(), report.refused.c_str());
    if (!report.refused.empty())
        host_message_box("Hibás ROM fájl",
                         ("Ezeket a ROM fájlokat az emulátor nem használja:\n\n" + report.refused).c_str());
}

void enter_drive_folder()
{
    missing_drive_folder.clear();
    if (!shell.drive_path.empty() && change_dir(shell.drive_path.c_str())) return;
    const std::string fallback = emu_drive_default_folder();
    if (!shell.drive_path.empty()) {
        missing_drive_folder = shell.drive_path;
        host_message_box("Lemezegység", ("A lemezegység mappája nem található: " + missing_drive_folder +
                                         "\n\nAddig ezt a mappát használja: " + fallback +
                                         "\nA beállítás megmarad: ha a mappa újra elérhető, a következő "
                                         "indításkor ismét az lesz a lemezegység.").c_str());
    }
    drive_use_default_folder(fallback.c_str());
}

void set_menu_marks(int model, int clock)
{
    menu_check(ID_SYMBOLIC, shell.symbolic_keys);
    menu_check(ID_DOUBLE_SIZE, g_bDoubleScreen);
    menu_check(ID_DOUBLE_SCAN, g_bDoubleScan);
    menu_check(ID_SYNC, shell.sync);
    menu_check(ID_SOUND, shell.sound);
    menu_check(clock != CLOCK_NORMAL ? ID_CLOCK_375 : ID_CLOCK_25, true);
    menu_check(model_table[model].command, true);
    menu_check(ID_RAM_BANK, shell.ram_bank);
}

} // namespace

int emu_argument_is_file(const char* arg)
{
    if (!arg || !*arg) return 0;
    if (arg[0] != '/' && arg[0] != '-') return 1;
    std::error_code ec;
    if (std::filesystem::exists(arg, ec)) return 1;   // a file or a folder, never a switch
    return arg[0] == '/' && std::strchr(arg + 1, '/') != nullptr;
}

int emu_refuse_unknown_options(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!arg || std::strncmp(arg, "--", 2) != 0 || emu_argument_is_file(arg)) continue;
        if (std::strcmp(arg, "--verbose") == 0) continue;
        std::fprintf(stderr, "brevan: ismeretlen lehetőség: %s\nA lehetőségek listája: brevan --help\n", arg);
        return 2;
    }
    return 0;
}

void emu_apply_switch(const char* arg)
{
    shell.save_settings_on_exit = false;
    if (!arg || !arg[0]) return;
    switch (arg[1]) {
    case 'a': shell.auto_start = false; break;
    case 'b': shell.ram_bank = true; break;
    case 'd': g_bDoubleScreen = 1; break;
    case 'h': sound_init(); shell.sound = true; break;
    case 'i': read_colour_switch(arg, &g_ColorInk); break;
    case 'p': read_colour_switch(arg, &g_ColorPaper); break;
    case 'm': switch_model(arg + 2); break;
    case 't': machine_set_clock(CLOCK_FAST); break;
    case 'w':
        shell.sync = false;
        pacing_set_sync(0);   // unsynchronised runs present at most 100 frames a second
        break;
    default: break;
    }
}

void emu_command_line(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!arg || !*arg) continue;
        std::error_code ec;
        if (std::strcmp(arg, "--verbose") == 0) {
            shell_set_verbose(true);   // the machine's diagnostics on standard error
        } else if (!emu_argument_is_file(arg)) {
            emu_apply_switch(arg);
        } else if (std::filesystem::is_directory(arg, ec)) {
            std::fprintf(stderr, "brevan: %s: könyvtár, nem programállomány.\n", arg);
            StatusBarText("%s: könyvtár, nem programállomány.", arg);
        } else if (has_wav_extension(arg)) {
            // A tape recording, for the Primo's own LOAD.
            if (std::string why; !tape_open_wav(arg, &why)) shell_refused_wav(arg, why);
        } else {
            program_loader(arg, shell.auto_start);
        }
    }
}

void emu_set_program_loader(int (*loader)(const char*, int))
{
    program_loader = loader ? loader : shell_autostart;
}

std::string emu_drive_default_folder() { return printer_user_folder() + "/drive"; }

std::string emu_help_file()
{
    const std::filesystem::path folder = emu_program_folder();
    const std::filesystem::path candidates[] = {
        folder / "Olvassel.txt",
        folder / BREVAN_DATA_FROM_BIN / "Olvassel.txt",
    };
    for (const auto& candidate : candidates) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec)) return candidate.lexically_normal().string();
    }
    return {};
}

std::filesystem::path emu_program_folder()
{
    std::string folder;
    if (QCoreApplication::instance()) {
        folder = QCoreApplication::applicationDirPath().toStdString();
    } else {
        std::error_code ec;
        const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
        if (!ec) folder = exe.parent_path().string();
    }
    if (folder.empty()) return "./";
    if (folder.back() != '/') folder += '/';
    return folder;
}

std::string emu_drive_folder()
{
    return get_drive_dir();
}

void emu_init(int argc, char** argv)
{
    shell.save_settings_on_exit = true;
    shell.auto_start = true;
    prefs_init("Brevan");
    if (!prefs_damage_notice().empty()) host_message_box("Sérült beállítások", prefs_damage_notice().c_str());
    read_settings();

    if (shell.tape_remote_disabled) {
        menu_check(ID_TAPE_REMOTE, true);
        tape_set_remote_enable(1);
    }
    tape_set_signal_flipped(shell.tape_signal_flipped);
    menu_check(ID_TAPE_FLIP, shell.tape_signal_flipped);
    pacing_init(shell.sync);
    // SDL would otherwise take over SIGINT and SIGTERM and turn them into
    // events nobody reads: the program could not be stopped from a terminal.
    setenv("SDL_NO_SIGNAL_HANDLERS", "1", 0);
    if (shell.sound) {
        // Registers itself; on failure the null driver stays.
        if (std::string why; !sdl_sound_open(SOUND_RATE, &why)) shell_sound_failed(why);
    }
    if (setting_model > 7) setting_model = DEFAULT_MODEL;
    const int model = static_cast<int>(setting_model);
    shell.program_folder = emu_program_folder();
    load_original_roms();

    machine_init(model, shell.program_folder.c_str());
    // After the machine's own start-up, which gives the drive the program folder.
    enter_drive_folder();
    StatusBarPartText(0, "%s", model_table[model].name);
    event_init();
    machine_set_clock(static_cast<int>(setting_clock));
    select_memory_of_model(model);

    emu_command_line(argc, argv);

    set_screen_params();
    if (model == MODEL_C64) {
        nroflines = 216;
        g_bColor = 2;
        recreate_bitmap();
    }
    memory_set_rom_banking(shell.ram_bank);
    keyboard_change_mapping(shell.symbolic_keys);
    keyboard_change_model(keyboard_layout_of_model(model));
    set_menu_marks(model, static_cast<int>(setting_clock));
}

void emu_close()
{
    const auto clock = static_cast<uint32_t>(machine_get_clock());
    const auto model = static_cast<uint32_t>(machine_get_type());
    shell.drive_path = emu_drive_folder();
    // The default folder is not stored: a missing folder stays the setting.
    if (shell.drive_path == emu_drive_default_folder()) shell.drive_path = missing_drive_folder;
    if (std::string why; !diskimg_save_all(&why)) shell_disk_not_saved(why);
    tape_close();
    sound_close();
    if (shell.save_settings_on_exit) write_settings(model, clock);
    prefs_done();
}
