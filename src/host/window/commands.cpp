// What the menu commands do, and the frame every command runs in.
#include "host/app/messages.h"
#include "host/window/commands.h"

#include <QWidget>
#include <string>

#include "core/hooks.h"
#include "core/machine.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "debug/monitor.h"
#include "devices/color.h"
#include "devices/diskfs.h"
#include "devices/input.h"
#include "devices/screen.h"
#include "devices/tape.h"
#include "devices/wd1793.h"
#include "host/app/emu.h"
#include "host/app/pacing.h"
#include "host/app/shell.h"
#include "host/dialogs/ui.h"
#include "host/platform/clipboard.h"
#include "host/window/fullscreen.h"
#include "host/window/main_window.h"
#include "host/window/menu.h"
#include "host/window/screen_view.h"
#include "host/window/screenshot.h"
#include "host/window/statusbar.h"
#include "media/autostart.h"
#include "media/diskimg.h"
#include "media/ptp.h"
#include "sound/sdl_sound.h"
#include "sound/sound.h"

namespace {

constexpr const char* TITLE_PAUSED = "Brevan - (Felfüggesztve)";
constexpr const char* TITLE_RESUMED = "Brevan - (Újraindítva)";
constexpr const char* TITLE_MONITOR = "Brevan - (Monitor)";

QWidget* owner() { return main_window(); }

std::string recording;   // the sound recording's file while it runs

void select_model(const model_record& chosen)
{
    for (const model_record& r : model_table) menu_check(r.command, false);
    machine_change_model(static_cast<int>(&chosen - model_table.data()));
    StatusBarPartText(0, "%s", chosen.name);
    recreate_bitmap();
    menu_check(chosen.command, true);
    screen_view_repaint();
}

void insert_disk(int drive)
{
    const std::string path = ui_select_file(owner(), UI_DISK_IMAGE);
    if (path.empty()) return;
    std::string why;
    const int inserted = wd1793_insert_disk(drive, path.c_str(), &why);
    if (inserted == -2) {
        const int holder = diskimg_drive_holding(path.c_str(), drive);
        host_message_box("Lemez behelyezése",
                         ("A(z) \"" + path + "\" lemezkép már a(z) " + std::string(1, static_cast<char>('A' + holder)) +
                          ": meghajtóban van.\n\nEgy lemezkép egyszerre csak egy meghajtóban lehet: két példánya "
                          "egymás változásait írná felül.").c_str());
        return;
    }
    if (inserted < 0) {   // the disk in the drive could not be saved: it stays
        shell_disk_not_saved(why);
        return;
    }
    menu_show_drive(drive, {});
    if (!inserted) {
        host_message_box("Hiba a lemez behelyezésekor", why.c_str());
        return;
    }
    shell_show_disk(drive);
    menu_show_drive(drive, path);
}

// False when the disk could not be written back and stays in the drive.
bool eject_disk(int drive)
{
    if (std::string why; !wd1793_eject_disk(drive, &why)) {
        shell_disk_not_saved(why);
        return false;
    }
    menu_show_drive(drive, {});
    return true;
}

void run(command_id command)
{
    if (const model_record* r = model_for_command(command)) {
        select_model(*r);
    } else if (command >= ID_EJECT_A && command < eject_command(DISK_DRIVES)) {
        eject_disk(command - ID_EJECT_A);
    } else if (command >= ID_INSERT_A && command < insert_command(DISK_DRIVES)) {
        insert_disk(command - ID_INSERT_A);
    } else if (void (*handler)() = menu_handler(command)) {
        handler();
    }
}

}  // namespace

void main_window_command(command_id command)
{
    screen_view_forget_presented();   // a command may change how the picture looks
    sound_pause();
    run(command);
    if (!shell.monitor) menu_check(ID_PAUSE, shell.paused);   // left alone while the monitor is shown
    commands::enter_monitor_at_breakpoint();
    pacing_reset();
    if (shell.sound && shell.active && !shell.monitor) sound_resume();
    keyboard_reset();
}

namespace commands {

void exit()
{
    if (QWidget* window = owner()) window->close();
    shell.quit = true;
}

void autoload()
{
    const std::string path = ui_select_file(owner(), UI_AUTOLOAD);
    if (!path.empty()) shell_autostart(path.c_str(), 1);
}

void load_rom()
{
    if (ui_load_rom_file(owner(), rom_pointer())) z80_state.pc = 0;
}

void screenshot_as()
{
    const std::string path = ui_select_file(owner(), UI_SCREENSHOT);
    if (!path.empty()) main_window_save_screenshot(path);
}

void toggle_sound_recording()
{
    if (main_window_checked(ID_SOUND_SAVE)) {
        ui_report_save("Hangfelvétel", recording, sound_close_wav() == 1, "írás közben hiba történt");
        menu_check(ID_SOUND_SAVE, false);
        return;
    }
    const std::string path = ui_select_file(owner(), UI_SOUND_WAV);
    if (path.empty()) return;
    std::string why;
    const bool started = sound_create_wav(path.c_str(), WAV_DATA_MAX, &why) == 1;
    if (started) {
        recording = path;
        StatusBarText("Hangfelvétel ide: %s", path.c_str());
    } else {
        ui_report_save("Hangfelvétel", path, false, why);
    }
    menu_check(ID_SOUND_SAVE, started);
}

void paste() { gui_paste_from_clipboard(); }

void toggle_pause()
{
    shell.paused = !shell.paused;
    if (shell.paused) {
        shell.active = false;
        if (!shell.monitor) {
            main_window_set_title(TITLE_PAUSED);
            menu_check(ID_PAUSE, true);
        }
    } else if (!shell.monitor) {
        shell.active = true;
        main_window_set_title(TITLE_RESUMED);
        menu_check(ID_PAUSE, false);
    }
}

void toggle_monitor()
{
    shell.monitor = !shell.monitor;
    if (shell.monitor) {
        shell.active = false;
        main_window_set_title(TITLE_MONITOR);
        debug();
    } else {
        machine_leave_breakpoint();
        shell.active = !shell.paused;
        main_window_set_title(shell.active ? TITLE_RESUMED : TITLE_PAUSED);
    }
    screen_view_repaint();
    menu_check(ID_MONITOR, shell.monitor);
}

// Frames a command or the loop ran stopped at the breakpoint: the sound
// fades out and the monitor opens at that instruction.
void enter_monitor_at_breakpoint()
{
    if (!machine_at_breakpoint() || shell.monitor) return;
    sound_pause();
    toggle_monitor();
}

void set_clock(int hz)
{
    machine_set_clock(hz);
    menu_check(ID_CLOCK_25, hz == CLOCK_NORMAL);
    menu_check(ID_CLOCK_375, hz != CLOCK_NORMAL);
}

void step_back()
{
    const int model = the_machine.model;
    if (!shell.rewind.step_back()) return;
    // The RAM bank is a setting, not a part of the machine's past.
    memory_set_rom_banking(shell.ram_bank);
    const int now = the_machine.model;
    if (now != model && now >= 0 && now < static_cast<int>(model_table.size())) {
        screen_set_model(now);
        for (const model_record& r : model_table) menu_check(r.command, false);
        menu_check(model_table[static_cast<size_t>(now)].command, true);
        StatusBarPartText(0, "%s", model_table[static_cast<size_t>(now)].name);
    }
    menu_check(ID_CLOCK_25, the_machine.clock == CLOCK_NORMAL);
    menu_check(ID_CLOCK_375, the_machine.clock != CLOCK_NORMAL);
    recreate_bitmap();
    if (shell.monitor) debug();
    screen_view_repaint();
}

void toggle_ram_bank()
{
    shell.ram_bank = !shell.ram_bank;
    menu_check(ID_RAM_BANK, shell.ram_bank);
    memory_set_rom_banking(shell.ram_bank);
}

void toggle_sync()
{
    shell.sync = !shell.sync;
    menu_check(ID_SYNC, shell.sync);
    pacing_set_sync(shell.sync);
    sound_reset();
}

void toggle_sound()
{
    shell.sound = !shell.sound;
    menu_check(ID_SOUND, shell.sound);
    if (std::string why; shell.sound && !sdl_sound_open(SOUND_RATE, &why))
        shell_sound_failed(why);
    else if (!shell.sound)
        sound_null_driver_init();
}

void toggle_symbolic_keys()
{
    shell.symbolic_keys = !shell.symbolic_keys;
    keyboard_change_mapping(shell.symbolic_keys);
    menu_check(ID_SYMBOLIC, shell.symbolic_keys);
}

void attach_ptp()
{
    const std::string path = ui_attach_ptp_file(owner());
    if (std::string why; !path.empty() && !tape_init(path.c_str(), &why)) shell_refused_ptp(path, why);
}

void toggle_tape_remote()
{
    shell.tape_remote_disabled = !main_window_checked(ID_TAPE_REMOTE);
    tape_set_remote_enable(shell.tape_remote_disabled);
    menu_check(ID_TAPE_REMOTE, shell.tape_remote_disabled);
}

void toggle_tape_flip()
{
    shell.tape_signal_flipped = !main_window_checked(ID_TAPE_FLIP);
    tape_set_signal_flipped(shell.tape_signal_flipped);
    menu_check(ID_TAPE_FLIP, shell.tape_signal_flipped);
}

void eject_all()
{
    bool all = true;
    for (int d = 0; d < DISK_DRIVES; ++d) all = eject_disk(d) && all;
    if (all) StatusBarText("Minden lemez kidobva.");
}

void make_cpm_disk()
{
    std::string path;
    const int format = ui_select_cpm_disk(owner(), path);
    if (format < 0) return;
    if (std::string why; !cpm_disk_make(path.c_str(), cpm_disk_formats[format], 1, &why)) {
        host_message_box("Hiba a lemez készítésekor", why.c_str());
        return;
    }
    StatusBarText("CP/M rendszerlemez kész: %s", path.c_str());
}

void choose_drive_folder()
{
    change_dir(gui_set_drive_dir(owner(), emu_drive_folder()).c_str());
}

void toggle_double_size()
{
    g_bDoubleScreen = 1 - g_bDoubleScreen;
    set_screen_params();
    color_reset();
    menu_check(ID_DOUBLE_SIZE, g_bDoubleScreen);
    screen_view_repaint();
}

void toggle_double_scan()
{
    g_bDoubleScan = !g_bDoubleScan;
    menu_check(ID_DOUBLE_SCAN, g_bDoubleScan);
    screen_view_repaint();
}

void toggle_full_screen()
{
    sound_pause();
    if (ChangeCoopLevel(owner()) == 0) {
        shell.full_screen = !shell.full_screen;
        if (shell.full_screen) {
            DestroyStatusBar();
            screen_view_fill_window();
        } else {
            main_window_create_status_bar();
            StatusBarPartText(0, "%s", model_table[machine_get_type() & 7].name);
            set_screen_params();
        }
        screen_view_repaint();
    }
    menu_check(ID_FULLSCREEN, shell.full_screen);
    sound_resume();
    pacing_reset();
}

void choose_colours()
{
    if (!ui_choose_colors(owner())) return;
    recreate_bitmap();
    screen_view_repaint();
}

void show_help() { ui_show_help(owner(), emu_help_file().c_str()); }

}  // namespace commands
