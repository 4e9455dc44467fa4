#include "host/window/menu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QWidget>
#include <map>

#include "core/machine.h"
#include "core/memory.h"
#include "devices/tape.h"
#include "host/app/pacing.h"
#include "host/app/shell.h"
#include "host/dialogs/ui.h"
#include "host/window/main_window.h"
#include "host/window/screenshot.h"
#include "media/diskimg.h"
#include "media/ptp.h"
#include "sound/sound.h"

namespace {

// Top-level menus and their sub-menus, in order.
enum : int {
    M_FILE, M_MACHINE, M_MODEL, M_TAPE, M_DISK, M_DISK_INSERT, M_DISK_EJECT, M_VIEW, M_HELP, M_COUNT
};
struct menu_record {
    const char* text;
    int parent;   // -1 for the menu bar
};
constexpr menu_record menus[M_COUNT] = {
    {"&Fájl", -1}, {"&Gép", -1}, {"&Típus", M_MACHINE}, {"&Magnó", -1}, {"&Lemez", -1},
    {"&Behelyezés", M_DISK}, {"&Kidobás", M_DISK}, {"&Nézet", -1}, {"&Segítség", -1},
};

struct item_record {
    int menu;
    command_id command;   // with a null run: a separator
    const char* text;
    const char* keys;     // accelerator, or null
    bool checkable;
    void (*run)();
};
constexpr item_record separator(int menu) { return {menu, command_id{}, nullptr, nullptr, false, nullptr}; }
QWidget* owner() { return main_window(); }

// The items in menu order; the model and drive items come from their own
// tables.
using namespace commands;
constexpr item_record items[] = {
    {M_FILE, ID_AUTOLOAD, "&Autoload...", nullptr, false, autoload},
    separator(M_FILE),
    {M_FILE, ID_PSS_LOAD, "PSS &betöltés...", nullptr, false, [] { ui_load_pss(owner()); }},
    {M_FILE, ID_PSS_SAVE, "PSS &elmentés...", nullptr, false, [] { ui_save_pss(owner()); }},
    separator(M_FILE),
    {M_FILE, ID_LOAD_ROM, "ROM &betöltés...", nullptr, false, load_rom},
    {M_FILE, ID_MEMDUMP, "&Memória dump", nullptr, false, [] { main_window_memory_dump(); }},
    separator(M_FILE),
    {M_FILE, ID_SCREENSHOT, "&Kép mentése\tF2", nullptr, false, [] { main_window_quick_screenshot(); }},
    {M_FILE, ID_SCREENSHOT_AS, "Kép m&entés mint...", nullptr, false, screenshot_as},
    {M_FILE, ID_SOUND_SAVE, "&Hang mentése mint...", nullptr, true, toggle_sound_recording},
    separator(M_FILE),
    {M_FILE, ID_PASTE, "&Beillesztés vágólapról\tAlt+V", "Alt+V", false, paste},
    separator(M_FILE),
    {M_FILE, ID_EXIT, "&Kilépés", nullptr, false, exit},

    {M_MACHINE, ID_RESET_BUTTON, "&Reset\tF1", nullptr, false, [] { main_window_hold_reset_button(); }},
    {M_MACHINE, ID_WARM_RESET, "&Meleg restart\tALT+F1", "Alt+F1", false, [] { machine_reset(); }},
    {M_MACHINE, ID_COLD_RESET, "&Hideg restart", nullptr, false, [] { machine_hard_reset(); }},
    {M_MACHINE, ID_STEP_BACK, "&Visszatekerés\tF6", "F6", false, step_back},
    separator(M_MACHINE),
    {M_MACHINE, ID_PAUSE, "&Felfüggeszt\tPause", "Pause", true, toggle_pause},
    {M_MACHINE, ID_MONITOR, "&Monitor\tESC", nullptr, true, toggle_monitor},
    separator(M_MACHINE),
    {M_MACHINE, ID_CLOCK_25, "&2,5 MHz", nullptr, true, [] { set_clock(CLOCK_NORMAL); }},
    {M_MACHINE, ID_CLOCK_375, "&3,75 MHz", nullptr, true, [] { set_clock(CLOCK_FAST); }},
    {M_MACHINE, ID_RAM_BANK, "R&AM bank", nullptr, true, toggle_ram_bank},
    {M_MACHINE, ID_SYNC, "50 Hz időzítés\tAlt+F3", "Alt+F3", true, toggle_sync},
    separator(M_MACHINE),
    {M_MACHINE, ID_SOUND, "&Hang", nullptr, true, toggle_sound},
    {M_MACHINE, ID_SYMBOLIC, "S&zimbolikus billentyűzet", nullptr, true, toggle_symbolic_keys},

    {M_TAPE, ID_PTP_ATTACH, "&PTP csatolás...\tALT+F5", "Alt+F5", false, attach_ptp},
    {M_TAPE, ID_PTP_EJECT, "PTP &kidobás", nullptr, false, [] { tape_remove_traps(); }},
    separator(M_TAPE),
    {M_TAPE, ID_PLAY, "&Play/Record\tF5", "F5", true, [] { menu_check(ID_PLAY, tape_press_play()); }},
    {M_TAPE, ID_REWIND, "&Visszacsévélés", nullptr, false, [] { tape_rewind(); ptp_rewind(); }},
    separator(M_TAPE),
    {M_TAPE, ID_WAV_LOAD, "WAV &betöltés...", nullptr, false, [] { ui_load_wav(owner()); }},
    {M_TAPE, ID_WAV_SAVE, "&WAV mentés...", nullptr, false, [] { ui_create_wav(owner()); }},
    {M_TAPE, ID_WAV_CLOSE, "WAV &lezárása", nullptr, false, [] { tape_close_wav(); ptp_place_traps(); }},
    separator(M_TAPE),
    {M_TAPE, ID_HEAD, "&Fejállítás...", nullptr, false, [] { ui_tape_adjust_head(owner(), &wav_comp_level()); }},
    {M_TAPE, ID_TAPE_REMOTE, "&Távvezérlés tiltása", nullptr, true, toggle_tape_remote},
    {M_TAPE, ID_TAPE_FLIP, "&Jel megfordítása", nullptr, true, toggle_tape_flip},

    {M_DISK_EJECT, ID_EJECT_ALL, "&Mind", nullptr, false, eject_all},
    {M_DISK, ID_MAKE_CPM_DISK, "CP/M &rendszerlemez készítése...", nullptr, false, make_cpm_disk},
    separator(M_DISK),
    {M_DISK, ID_DRIVE_DIR, "C= d&rive könyvtára...", nullptr, false, choose_drive_folder},

    {M_VIEW, ID_DOUBLE_SIZE, "&Dupla képernyő\tAlt+F2", "Alt+F2", true, toggle_double_size},
    {M_VIEW, ID_DOUBLE_SCAN, "D&upla scan", nullptr, true, toggle_double_scan},
    {M_VIEW, ID_FULLSCREEN, "&Teljes képernyő\tAlt+Enter", "Alt+Return", true, toggle_full_screen},
    separator(M_VIEW),
    {M_VIEW, ID_COLORS, "&Színek...", nullptr, false, choose_colours},

    {M_HELP, ID_HELP, "&Segítség...", nullptr, false, show_help},
    {M_HELP, ID_KEYBOARD, "&Billentyűzet...", nullptr, false, [] { ui_show_keyboard(owner()); }},
    separator(M_HELP),
    {M_HELP, ID_ABOUT, "&A programról...", nullptr, false, [] { ui_about_dialog(owner()); }},
};

std::map<int, QAction*> actions;

QString text_of(const char* s) { return QString::fromUtf8(s); }

QString drive_text(int drive, const std::string& image)
{
    const QString shown = image.empty() ? QStringLiteral("<üres>") : QString::fromLocal8Bit(image.c_str());
    return QString::fromUtf8("&%1: meghajtó - %2").arg(QChar('A' + drive)).arg(shown);
}

// An open menu stalls the machine and its sound.
void watch_menu(QWidget* window, QMenuBar* bar, QMenu* menu)
{
    QObject::connect(menu, &QMenu::aboutToShow, [] {
        ++shell.menus_open;
        sound_pause();
    });
    QObject::connect(menu, &QMenu::aboutToHide, [window, bar] {
        if (shell.menus_open > 0) --shell.menus_open;
        main_window_resume_after_stall();
        // A menu closed with Esc leaves the bar holding the keyboard; the
        // next Esc belongs to the window.
        QTimer::singleShot(0, window, [window, bar] {
            if (shell.menus_open == 0 && bar->hasFocus()) window->setFocus(Qt::OtherFocusReason);
        });
    });
}

void add_item(QWidget* window, QMenu* menu, command_id command, const QString& text, const char* keys,
              bool checkable)
{
    QAction* a = menu->addAction(text);
    a->setCheckable(checkable);
    if (keys) {
        a->setShortcut(QKeySequence(QString::fromLatin1(keys)));
        a->setShortcutContext(Qt::WindowShortcut);
        window->addAction(a);
    }
    // Qt flips a checkable item before `triggered`; the flip is undone so
    // that every command sees the state before the click, and the marks
    // come from menu_check alone.
    QObject::connect(a, &QAction::triggered, [a, command](bool checked) {
        if (a->isCheckable()) {
            const QSignalBlocker quiet(a);
            a->setChecked(!checked);
        }
        main_window_command(command);
    });
    actions[command] = a;
}

}  // namespace

void menu_build(QWidget* window, QMenuBar* bar)
{
    QMenu* menu[M_COUNT];
    for (int i = 0; i < M_COUNT; ++i) {
        const menu_record& m = menus[i];
        menu[i] = m.parent < 0 ? bar->addMenu(text_of(m.text)) : menu[m.parent]->addMenu(text_of(m.text));
        if (m.parent < 0) watch_menu(window, bar, menu[i]);
    }
    for (const model_record& r : model_table) add_item(window, menu[M_MODEL], r.command, text_of(r.name), nullptr, true);
    for (int d = 0; d < DISK_DRIVES; ++d) {
        add_item(window, menu[M_DISK_INSERT], insert_command(d), drive_text(d, {}), nullptr, false);
        add_item(window, menu[M_DISK_EJECT], eject_command(d),
                 QString::fromUtf8("&%1: meghajtóból").arg(QChar('A' + d)), nullptr, false);
    }
    menu[M_DISK]->addSeparator();
    for (const item_record& it : items) {
        if (!it.run)
            menu[it.menu]->addSeparator();
        else
            add_item(window, menu[it.menu], it.command, text_of(it.text), it.keys, it.checkable);
    }
    // Enter on the keypad is Enter too.
    if (QAction* a = main_window_action(ID_FULLSCREEN))
        a->setShortcuts({QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)});
}

void menu_forget() { actions.clear(); }

void (*menu_handler(command_id command))()
{
    for (const item_record& it : items)
        if (it.run && it.command == command) return it.run;
    return nullptr;
}

QAction* main_window_action(command_id command)
{
    const auto it = actions.find(command);
    return it == actions.end() ? nullptr : it->second;
}

bool main_window_checked(command_id command)
{
    const QAction* a = main_window_action(command);
    return a && a->isChecked();
}

void menu_check(command_id command, bool checked)
{
    if (QAction* a = main_window_action(command)) {
        a->setCheckable(true);
        a->setChecked(checked);
    }
}

void menu_show_drive(int drive, const std::string& image)
{
    if (QAction* a = main_window_action(insert_command(drive))) a->setText(drive_text(drive, image));
}
