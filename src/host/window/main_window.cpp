#include "host/window/main_window.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QInputMethod>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <QWidget>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
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
#include "host/app/screenshot.h"
#include "host/app/shell.h"
#include "host/dialogs/ui.h"
#include "host/platform/host_joystick.h"
#include "host/platform/host_keyboard.h"
#include "host/window/fullscreen.h"
#include "host/window/icon.h"
#include "host/window/statusbar.h"
#include "host/window/ui_monitor.h"
#include "media/autostart.h"
#include "media/diskimg.h"
#include "media/ptp.h"
#include "sound/sdl_sound.h"
#include "sound/sound.h"

namespace {

constexpr const char* TITLE_START = "Brevan - Primo emulátor";
constexpr const char* TITLE_PAUSED = "Brevan - (Felfüggesztve)";
constexpr const char* TITLE_RESUMED = "Brevan - (Újraindítva)";
constexpr const char* TITLE_MONITOR = "Brevan - (Monitor)";

// The menu: top-level menus and their sub-menus, then the items in order.
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
    int command;        // 0: a separator
    const char* text;
    const char* keys;   // accelerator, or null
    bool checkable;
};
// Model items and drive items are added from their own tables.
constexpr item_record items[] = {
    {M_FILE, ID_AUTOLOAD, "&Autoload...", nullptr, false},
    {M_FILE, 0, nullptr, nullptr, false},
    {M_FILE, ID_PSS_LOAD, "PSS &betöltés...", nullptr, false},
    {M_FILE, ID_PSS_SAVE, "PSS &elmentés...", nullptr, false},
    {M_FILE, 0, nullptr, nullptr, false},
    {M_FILE, ID_LOAD_ROM, "ROM &betöltés...", nullptr, false},
    {M_FILE, ID_MEMDUMP, "&Memória dump", nullptr, false},
    {M_FILE, 0, nullptr, nullptr, false},
    {M_FILE, ID_SCREENSHOT, "&Kép mentése\tF2", nullptr, false},
    {M_FILE, ID_SCREENSHOT_AS, "Kép m&entés mint...", nullptr, false},
    {M_FILE, ID_SOUND_SAVE, "&Hang mentése mint...", nullptr, true},
    {M_FILE, 0, nullptr, nullptr, false},
    {M_FILE, ID_PASTE, "&Beillesztés vágólapról\tAlt+V", "Alt+V", false},
    {M_FILE, 0, nullptr, nullptr, false},
    {M_FILE, ID_EXIT, "&Kilépés", nullptr, false},

    {M_MACHINE, ID_RESET_BUTTON, "&Reset\tF1", nullptr, false},
    {M_MACHINE, ID_WARM_RESET, "&Meleg restart\tALT+F1", "Alt+F1", false},
    {M_MACHINE, ID_COLD_RESET, "&Hideg restart", nullptr, false},
    {M_MACHINE, 0, nullptr, nullptr, false},
    {M_MACHINE, ID_PAUSE, "&Felfüggeszt\tPause", "Pause", true},
    {M_MACHINE, ID_MONITOR, "&Monitor\tESC", nullptr, true},
    {M_MACHINE, 0, nullptr, nullptr, false},
    {M_MACHINE, ID_CLOCK_25, "&2,5 MHz", nullptr, true},
    {M_MACHINE, ID_CLOCK_375, "&3,75 MHz", nullptr, true},
    {M_MACHINE, ID_RAM_BANK, "R&AM bank", nullptr, true},
    {M_MACHINE, ID_SYNC, "50 Hz időzítés\tAlt+F3", "Alt+F3", true},
    {M_MACHINE, 0, nullptr, nullptr, false},
    {M_MACHINE, ID_SOUND, "&Hang", nullptr, true},
    {M_MACHINE, ID_SYMBOLIC, "S&zimbolikus billentyűzet", nullptr, true},

    {M_TAPE, ID_PTP_ATTACH, "&PTP csatolás...\tALT+F5", "Alt+F5", false},
    {M_TAPE, ID_PTP_EJECT, "PTP &kidobás", nullptr, false},
    {M_TAPE, 0, nullptr, nullptr, false},
    {M_TAPE, ID_PLAY, "&Play/Record\tF5", "F5", true},
    {M_TAPE, ID_REWIND, "&Visszacsévélés", nullptr, false},
    {M_TAPE, 0, nullptr, nullptr, false},
    {M_TAPE, ID_WAV_LOAD, "WAV &betöltés...", nullptr, false},
    {M_TAPE, ID_WAV_SAVE, "&WAV mentés...", nullptr, false},
    {M_TAPE, ID_WAV_CLOSE, "WAV &lezárása", nullptr, false},
    {M_TAPE, 0, nullptr, nullptr, false},
    {M_TAPE, ID_HEAD, "&Fejállítás...", nullptr, false},
    {M_TAPE, ID_TAPE_REMOTE, "&Távvezérlés tiltása", nullptr, true},

    {M_DISK_EJECT, ID_EJECT_A, "&A: meghajtóból", nullptr, false},
    {M_DISK_EJECT, ID_EJECT_A + 1, "&B: meghajtóból", nullptr, false},
    {M_DISK_EJECT, ID_EJECT_A + 2, "&C: meghajtóból", nullptr, false},
    {M_DISK_EJECT, ID_EJECT_A + 3, "&D: meghajtóból", nullptr, false},
    {M_DISK_EJECT, ID_EJECT_ALL, "&Mind", nullptr, false},
    {M_DISK, ID_MAKE_CPM_DISK, "CP/M &rendszerlemez készítése...", nullptr, false},
    {M_DISK, 0, nullptr, nullptr, false},
    {M_DISK, ID_DRIVE_DIR, "C= d&rive könyvtára...", nullptr, false},

    {M_VIEW, ID_DOUBLE_SIZE, "&Dupla képernyő\tAlt+F2", "Alt+F2", true},
    {M_VIEW, ID_DOUBLE_SCAN, "D&upla scan", nullptr, true},
    {M_VIEW, ID_FULLSCREEN, "&Teljes képernyő\tAlt+Enter", "Alt+Return", true},
    {M_VIEW, 0, nullptr, nullptr, false},
    {M_VIEW, ID_COLORS, "&Színek...", nullptr, false},

    {M_HELP, ID_HELP, "&Segítség...", nullptr, false},
    {M_HELP, ID_KEYBOARD, "&Billentyűzet...", nullptr, false},
    {M_HELP, 0, nullptr, nullptr, false},
    {M_HELP, ID_ABOUT, "&A programról...", nullptr, false},
};

constexpr int DRIVE_COUNT = DISK_DRIVES;
constexpr int RESET_BUTTON_MS = 200;
constexpr int DROP_FRAMES = 15;

class ScreenView;
class MainWindow;

MainWindow* window_ = nullptr;
ScreenView* view_ = nullptr;
QImage frame_;
bool frame_rendered_ = false;   // the next paint shows a presented frame

// The monochrome page last presented: an unchanged page needs neither
// drawing nor a repaint. Forgotten whenever the picture's set-up may change.
constexpr size_t MONO_PAGE_BYTES = 6144;
std::array<uint8_t, MONO_PAGE_BYTES> presented_page_{};
const uint8_t* presented_from_ = nullptr;

bool mono_page_unchanged()
{
    if (g_bColor || !screenptr || screenptr != presented_from_) return false;
    return std::memcmp(screenptr, presented_page_.data(), MONO_PAGE_BYTES) == 0;
}

void remember_presented_page()
{
    presented_from_ = g_bColor ? nullptr : screenptr;
    if (presented_from_) std::memcpy(presented_page_.data(), screenptr, MONO_PAGE_BYTES);
}
bool quit_ = false;
int menus_open_ = 0;            // an open menu stalls the machine
std::map<int, QAction*> actions_;

QString text_of(const char* s) { return QString::fromUtf8(s); }

void pacing_reset_and_resume_sound()
{
    if (g_bActive) {
        sound_resume();
        sound_reset();
    }
    pacing_reset();
    keyboard_reset();
}

// The client area: the presented frame, scaled to the screen in full screen.
class ScreenView : public QWidget {
public:
    explicit ScreenView(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const bool presented = frame_rendered_;
        frame_rendered_ = false;
        if (g_bDebug) {
            // The monitor covers the client area.
            ui_monitor_paint(p, rect(), picture_rect());
            return;
        }
        if (!presented) {
            // A repaint the system asked for: show the machine as it is now.
            if (frame_.isNull() || frame_.width() != screen_width() || frame_.height() != screen_height())
                recreate_bitmap();
            screen_render_rgb(reinterpret_cast<uint32_t*>(frame_.bits()));
        }
        if (!g_bFullScreen) {
            p.drawImage(0, 0, frame_);
        } else {
            p.fillRect(rect(), Qt::black);
            p.drawImage(picture_rect(), frame_);
        }
        if (!presented) {
            pacing_reset();
            ui_set_led(0);
        }
    }
    // Only the screen area: a double click on the status bar does nothing.
    void mouseDoubleClickEvent(QMouseEvent*) override
    {
        main_window_command(g_bFullScreen ? ID_FULLSCREEN : ID_DOUBLE_SIZE);
    }

private:
    // Where the picture goes: all of the view in a window, scaled keeping
    // its shape in full screen.
    QRect picture_rect() const
    {
        if (!g_bFullScreen) return QRect(QPoint(0, 0), QSize(screen_width(), screen_height()));
        const QSize fit = QSize(screen_width(), screen_height()).scaled(size(), Qt::KeepAspectRatio);
        return QRect(QPoint((width() - fit.width()) / 2, (height() - fit.height()) / 2), fit);
    }
};

class MainWindow : public QWidget {
public:
    MainWindow()
    {
        setWindowTitle(text_of(TITLE_START));
        // Caption, system menu, minimise and close; no maximise box, since the
        // window's size follows the picture.
        setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                       Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
        setAttribute(Qt::WA_DeleteOnClose, false);
        setAcceptDrops(true);
        setFocusPolicy(Qt::StrongFocus);

        auto* box = new QVBoxLayout(this);
        box->setContentsMargins(0, 0, 0, 0);
        box->setSpacing(0);
        box->setSizeConstraint(QLayout::SetFixedSize);
        menu_bar = new QMenuBar(this);
        box->setMenuBar(menu_bar);
        view_ = new ScreenView(this);
        view_->setFixedSize(screen_width(), screen_height());
        box->addWidget(view_);
        build_menu();

        reset_timer.setSingleShot(true);
        QObject::connect(&reset_timer, &QTimer::timeout, [] { reset_button_pressed = 0; });
        if (QInputMethod* im = QGuiApplication::inputMethod())
            QObject::connect(im, &QInputMethod::localeChanged, this, [] { host_keyboard_layout_changed(); });
        QObject::connect(qApp, &QGuiApplication::applicationStateChanged, this, [](Qt::ApplicationState state) {
            main_window_activate(state == Qt::ApplicationActive ? 1 : 0);
        });
    }

    QMenuBar* menu_bar = nullptr;
    QTimer reset_timer;

protected:
    void closeEvent(QCloseEvent*) override { quit_ = true; }
    bool focusNextPrevChild(bool) override { return false; }   // Tab is a Primo key
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void wheelEvent(QWheelEvent* e) override
    {
        if (!g_bDebug) return;
        const int notches = e->angleDelta().y() / 120;
        if (notches == 0) return;
        const int rows = std::abs(notches * 256 / 120);
        step_dir_rows(notches > 0 ? -1 : 1, rows);
        if (view_) view_->update();
    }
    void dragEnterEvent(QDragEnterEvent* e) override
    {
        if (e->mimeData()->hasUrls()) e->acceptProposedAction();
    }
    void dropEvent(QDropEvent* e) override
    {
        const QList<QUrl> urls = e->mimeData()->urls();
        if (urls.isEmpty() || !urls.first().isLocalFile()) return;
        e->acceptProposedAction();
        main_window_drop_files(urls.first().toLocalFile().toLocal8Bit().constData());
    }
    void changeEvent(QEvent* e) override
    {
        if (e->type() == QEvent::ActivationChange && !isActiveWindow()) host_keyboard_release_all();
        QWidget::changeEvent(e);
    }
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::KeyboardLayoutChange) host_keyboard_layout_changed();
        return QWidget::event(e);
    }
    void resizeEvent(QResizeEvent* e) override
    {
        StatusBarRedraw();
        pacing_reset();
        QWidget::resizeEvent(e);
    }

private:
    void build_menu();
};

void MainWindow::build_menu()
{
    QMenu* menu[M_COUNT];
    for (int i = 0; i < M_COUNT; ++i) {
        const menu_record& m = menus[i];
        menu[i] = m.parent < 0 ? menu_bar->addMenu(text_of(m.text)) : menu[m.parent]->addMenu(text_of(m.text));
        if (m.parent < 0) {
            // An open menu stalls the machine and its sound.
            QObject::connect(menu[i], &QMenu::aboutToShow, [] {
                ++menus_open_;
                sound_pause();
            });
            QObject::connect(menu[i], &QMenu::aboutToHide, [this] {
                if (menus_open_ > 0) --menus_open_;
                pacing_reset_and_resume_sound();
                // A menu closed with Esc leaves the bar holding the keyboard;
                // the next Esc belongs to the window.
                QTimer::singleShot(0, this, [this] {
                    if (menus_open_ == 0 && menu_bar->hasFocus()) setFocus(Qt::OtherFocusReason);
                });
            });
        }
    }
    auto add = [this](QMenu* m, int command, const QString& text, const char* keys, bool checkable) {
        QAction* a = m->addAction(text);
        a->setCheckable(checkable);
        if (keys) {
            a->setShortcut(QKeySequence(QString::fromLatin1(keys)));
            a->setShortcutContext(Qt::WindowShortcut);
            addAction(a);
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
        actions_[command] = a;
    };
    for (const model_record& r : model_table) add(menu[M_MODEL], r.command, text_of(r.name), nullptr, true);
    for (int d = 0; d < DRIVE_COUNT; ++d)
        add(menu[M_DISK_INSERT], ID_INSERT_A + d,
            QString::fromUtf8("&%1: meghajtó - <üres>").arg(QChar('A' + d)), nullptr, false);
    menu[M_DISK]->addSeparator();
    for (const item_record& it : items) {
        if (it.command == 0)
            menu[it.menu]->addSeparator();
        else
            add(menu[it.menu], it.command, text_of(it.text), it.keys, it.checkable);
    }
    // Enter on the keypad is Enter too.
    if (QAction* a = actions_[ID_FULLSCREEN])
        a->setShortcuts({QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)});
}

void set_title(const char* t) { if (window_) window_->setWindowTitle(text_of(t)); }

void set_drive_item_empty(int drive)
{
    if (QAction* a = actions_[ID_INSERT_A + drive])
        a->setText(QString::fromUtf8("&%1: meghajtó - <üres>").arg(QChar('A' + drive)));
}

void main_disk_image_attach(int drive, const char* path)
{
    if (!path || !*path) return;
    const int inserted = wd1793_insert_disk(drive, path);
    if (inserted < 0) return;   // the disk in the drive could not be saved: it stays
    set_drive_item_empty(drive);
    if (!inserted) {
        host_message_box("Error attaching disk", diskimg_error());
        return;
    }
    if (QAction* a = actions_[ID_INSERT_A + drive])
        a->setText(QString::fromUtf8("&%1: meghajtó - %2").arg(QChar('A' + drive)).arg(QString::fromLocal8Bit(path)));
}

// False when the disk could not be written back and stays in the drive.
bool eject_disk(int drive)
{
    if (!wd1793_eject_disk(drive)) return false;
    set_drive_item_empty(drive);
    return true;
}

void make_cpm_disk()
{
    char name[260];
    const int format = ui_select_cpm_disk(window_, name);
    if (format < 0) return;
    if (!cpm_disk_make(name, cpm_disk_formats[format], 1)) {
        host_message_box("Hiba a lemez készítésekor", diskimg_error());
        return;
    }
    StatusBarText("CP/M rendszerlemez kész: %s", name);
}

void toggle_pause()
{
    g_bPaused = !g_bPaused;
    if (g_bPaused) {
        g_bActive = 0;
        if (!g_bDebug) {
            set_title(TITLE_PAUSED);
            menu_check(ID_PAUSE, 1);
        }
    } else if (!g_bDebug) {
        g_bActive = 1;
        set_title(TITLE_RESUMED);
        menu_check(ID_PAUSE, 0);
    }
}

void toggle_monitor()
{
    g_bDebug = !g_bDebug;
    if (g_bDebug) {
        g_bActive = 0;
        set_title(TITLE_MONITOR);
        debug();
        if (view_) view_->update();
    } else {
        machine_leave_breakpoint();
        g_bActive = g_bPaused ? 0 : 1;
        if (view_) view_->update();
        set_title(g_bActive ? TITLE_RESUMED : TITLE_PAUSED);
    }
    menu_check(ID_MONITOR, g_bDebug);
}

// The bar comes with its lamps dark: no drive works yet.
void create_status_bar()
{
    CreateStatusBar(window_);
    status_bar_led_update(-1);
}

// Frames a command or the loop ran stopped at the breakpoint: the sound
// fades out and the monitor opens at that instruction.
void enter_monitor_at_breakpoint()
{
    if (!machine_at_breakpoint() || g_bDebug) return;
    sound_pause();
    toggle_monitor();
}

void toggle_fullscreen()
{
    sound_pause();
    if (ChangeCoopLevel(window_) == 0) {
        g_bFullScreen = !g_bFullScreen;
        if (g_bFullScreen) {
            DestroyStatusBar();
            view_->setMinimumSize(0, 0);
            view_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            if (QLayout* l = window_->layout()) {
                l->invalidate();
                l->activate();
            }
        } else {
            create_status_bar();
            StatusBarPartText(0, "%s", model_table[machine_get_type() & 7].name);
            set_screen_params();
        }
        view_->update();
    }
    menu_check(ID_FULLSCREEN, g_bFullScreen);
    sound_resume();
    pacing_reset();
}

void select_model(int command)
{
    for (int index = 0; index < MODEL_COUNT; ++index) {
        const model_record& r = model_table[index];
        menu_check(r.command, 0);
        if (r.command != command) continue;
        machine_change_model(index);
        StatusBarPartText(0, "%s", r.name);
        recreate_bitmap();
        menu_check(r.command, 1);
        if (view_) view_->update();
    }
}

void toggle_sound_recording()
{
    if (main_window_checked(ID_SOUND_SAVE)) {
        sound_close_wav();
        menu_check(ID_SOUND_SAVE, 0);
        return;
    }
    char name[260];
    const int ok = ui_select_file(window_, UI_SOUND_WAV, name) && sound_create_wav(name);
    menu_check(ID_SOUND_SAVE, ok ? 1 : 0);
}

void run_command(int command)
{
    QWidget* owner = window_;
    char name[260] = "";
    if (const model_record* r = model_for_command(command)) {
        select_model(r->command);
        return;
    }
    if (command >= ID_EJECT_A && command < ID_EJECT_A + DRIVE_COUNT) {
        eject_disk(command - ID_EJECT_A);
        return;
    }
    if (command >= ID_INSERT_A && command < ID_INSERT_A + DRIVE_COUNT) {
        if (ui_select_file(owner, UI_DISK_IMAGE, name)) main_disk_image_attach(command - ID_INSERT_A, name);
        return;
    }
    switch (command) {
    case ID_EXIT:
        if (window_) window_->close();
        quit_ = true;
        break;
    case ID_KEYBOARD: ui_show_keyboard(owner); break;
    case ID_WARM_RESET: machine_reset(); break;
    case ID_COLD_RESET: machine_hard_reset(); break;
    case ID_MEMDUMP: mem_dump("memdump.bin"); break;
    case ID_ABOUT: ui_about_dialog(owner); break;
    case ID_COLORS:
        if (ui_choose_colors(owner)) {
            recreate_bitmap();
            if (view_) view_->update();
        }
        break;
    case ID_DOUBLE_SIZE:
        g_bDoubleScreen = 1 - g_bDoubleScreen;
        set_screen_params();
        color_reset();
        menu_check(ID_DOUBLE_SIZE, g_bDoubleScreen);
        if (view_) view_->update();
        break;
    case ID_LOAD_ROM:
        if (ui_load_rom_file(owner, rom_pointer())) z80_state.pc = 0;
        break;
    case ID_SCREENSHOT: main_window_quick_screenshot(); break;
    case ID_RESET_BUTTON:
        reset_button_pressed = 1;
        if (window_) window_->reset_timer.start(RESET_BUTTON_MS);
        break;
    case ID_SOUND:
        g_bSound = !g_bSound;
        menu_check(ID_SOUND, g_bSound);
        if (g_bSound)
            sdl_sound_init(SOUND_RATE);
        else
            sound_null_driver_init();
        break;
    case ID_PTP_ATTACH:
        ui_attach_ptp_file(owner, name);
        if (name[0]) tape_init(name);
        break;
    case ID_PTP_EJECT: tape_remove_traps(); break;
    case ID_SYNC:
        g_Timer = !g_Timer;
        menu_check(ID_SYNC, g_Timer);
        pacing_set_sync(g_Timer);
        sound_reset();
        break;
    case ID_MONITOR: toggle_monitor(); break;
    case ID_CLOCK_25:
        machine_set_clock(2500000);
        menu_check(ID_CLOCK_25, 1);
        menu_check(ID_CLOCK_375, 0);
        break;
    case ID_CLOCK_375:
        machine_set_clock(3750000);
        menu_check(ID_CLOCK_375, 1);
        menu_check(ID_CLOCK_25, 0);
        break;
    case ID_PAUSE: toggle_pause(); break;
    case ID_PSS_LOAD: ui_load_pss(owner, memory_get_ram()); break;
    case ID_PSS_SAVE: ui_save_pss(owner, memory_get_ram()); break;
    case ID_WAV_SAVE: ui_create_wav(owner); break;
    case ID_WAV_CLOSE:
        tape_close_wav();
        ptp_place_traps();
        break;
    case ID_PLAY:   // the tape runs its own sampling event while it rolls
        menu_check(ID_PLAY, tape_press_play());
        break;
    case ID_HELP: ui_show_help(owner, emu_help_file().c_str()); break;
    case ID_WAV_LOAD:
        ui_load_wav(owner);
        break;
    case ID_REWIND:
        tape_rewind();
        ptp_rewind();
        break;
    case ID_HEAD: ui_tape_adjust_head(owner, &wav_comp_level); break;
    case ID_RAM_BANK:
        g_bRAMbank = !g_bRAMbank;
        menu_check(ID_RAM_BANK, g_bRAMbank);
        memory_set_rom_banking(g_bRAMbank);
        break;
    case ID_SCREENSHOT_AS:
        if (ui_select_file(owner, UI_SCREENSHOT, name)) main_window_save_screenshot(name);
        break;
    case ID_DRIVE_DIR:
        get_drive_dir(name, sizeof name);
        gui_set_drive_dir(owner, name);
        change_dir(name);
        break;
    case ID_DOUBLE_SCAN:
        g_bDoubleScan = !g_bDoubleScan;
        menu_check(ID_DOUBLE_SCAN, g_bDoubleScan);
        if (view_) view_->update();
        break;
    case ID_SYMBOLIC:
        g_KeyMapping = !g_KeyMapping;
        keyboard_change_mapping(g_KeyMapping);
        menu_check(ID_SYMBOLIC, g_KeyMapping);
        break;
    case ID_AUTOLOAD:
        ui_select_file(owner, UI_AUTOLOAD, name);
        autostart_file(name, 1);
        break;
    case ID_FULLSCREEN: toggle_fullscreen(); break;
    case ID_TAPE_REMOTE:
        g_DisableTapeRemote = main_window_checked(ID_TAPE_REMOTE) ? 0 : 1;
        tape_set_remote_enable(static_cast<int>(g_DisableTapeRemote));
        menu_check(ID_TAPE_REMOTE, static_cast<int>(g_DisableTapeRemote));
        break;
    case ID_EJECT_ALL: {
        bool all = true;
        for (int d = 0; d < DRIVE_COUNT; ++d) all = eject_disk(d) && all;
        if (all) StatusBarText("Minden lemez kidobva.");
        break;
    }
    case ID_MAKE_CPM_DISK: make_cpm_disk(); break;
    case ID_SOUND_SAVE: toggle_sound_recording(); break;
    case ID_PASTE:
        input_place_bas_trap(rom_pointer(), g_bColor);
        gui_paste_from_clipboard(owner);
        break;
    default: break;
    }
}

// Keypad 4, 2, 6, 8 and 0 are the joystick's left, down, right, up and fire.
int joystick_column(const QKeyEvent* e)
{
    if (!host_keyboard_is_keypad(e)) return -1;
    switch (e->key()) {
    case Qt::Key_4: case Qt::Key_Left: return 0;
    case Qt::Key_2: case Qt::Key_Down: return 1;
    case Qt::Key_6: case Qt::Key_Right: return 2;
    case Qt::Key_8: case Qt::Key_Up: return 3;
    case Qt::Key_0: case Qt::Key_Insert: return 4;
    default: return -1;
    }
}

void joystick_check(const QKeyEvent* e, int pressed)
{
    const int column = joystick_column(e);
    if (column >= 0) set_joy_buttons_state(0, column, pressed);
}

// A monitor key changed the page: show it.
void monitor_shown()
{
    if (view_) view_->update();
}

void MainWindow::keyPressEvent(QKeyEvent* e)
{
    host_keyboard_press(e);
    const bool repeat = e->isAutoRepeat();
    if (joystick_column(e) >= 0) {
        if (!repeat) joystick_check(e, 1);
        return;
    }
    switch (e->key()) {
    case Qt::Key_Return: case Qt::Key_Enter:
        if (g_bDebug) {
            monitor_single_step();
            monitor_shown();
        }
        break;
    case Qt::Key_Escape:
        if (!repeat) main_window_command(ID_MONITOR);
        break;
    case Qt::Key_Pause:
        if (!repeat) main_window_command(ID_PAUSE);
        break;
    case Qt::Key_PageUp:
        if (g_bDebug) {
            step_dir_page(-1);
            monitor_shown();
        }
        break;
    case Qt::Key_PageDown:
        if (g_bDebug) {
            step_dir_page(1);
            monitor_shown();
        } else if (g_bActive && !repeat) {
            main_window_command(ID_PAUSE);
        }
        break;
    case Qt::Key_Up: case Qt::Key_Down:
        if (g_bDebug) {
            step_dir(e->key() == Qt::Key_Up ? -1 : 1);
            monitor_shown();
        }
        break;
    case Qt::Key_F1:
        if (g_bDebug) {
            debug();
            monitor_shown();
        } else {
            drive_led_active = 0;
            ui_set_led(0);
            reset_button_pressed = 1;
        }
        break;
    case Qt::Key_F2:
        if (g_bDebug) {
            monitor_select_page(MONITOR_PAGE_MEMORY);
            monitor_shown();
        } else if (!repeat) {
            main_window_command(ID_SCREENSHOT);
        }
        break;
    case Qt::Key_F4:
        if (g_bDebug && !repeat) {
            monitor_toggle_breakpoint();
            monitor_shown();
        }
        break;
    default: break;
    }
}

void MainWindow::keyReleaseEvent(QKeyEvent* e)
{
    host_keyboard_release(e);
    if (e->isAutoRepeat()) return;
    if (e->key() == Qt::Key_F1) {
        reset_button_pressed = 0;
        return;
    }
    joystick_check(e, 0);
}

// Hooks the machine reaches the shell through.
void hook_update_frame()
{
    if (!view_) return;
    if (frame_.isNull() || frame_.width() != screen_width() || frame_.height() != screen_height())
        recreate_bitmap();
    if (mono_page_unchanged()) return;
    screen_render_rgb(reinterpret_cast<uint32_t*>(frame_.bits()));
    remember_presented_page();
    frame_rendered_ = true;
    view_->update();
}

void hook_message_box(const char* title, const char* text)
{
    sound_pause();
    QMessageBox::critical(window_, QString::fromUtf8(title), QString::fromUtf8(text));
    pacing_reset_and_resume_sound();
}

}  // namespace

QWidget* main_window_create()
{
    if (window_) return window_;
    quit_ = false;
    menus_open_ = 0;
    ui_install_translations();
    // The desktop entry names the window's program; the icon is our own.
    QGuiApplication::setDesktopFileName(QStringLiteral("brevan"));
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(brevan_icon_image(256))));
    window_ = new MainWindow();
    recreate_bitmap();
    create_status_bar();
    host_hooks.update_frame = hook_update_frame;
    host_hooks.led_update = status_bar_led_update;
    host_hooks.status_text = status_bar_set_text;
    host_hooks.message_box = hook_message_box;
    host_hooks.tape_lamp = status_bar_tape_lamp;
    keyboard_set_host(host_keyboard());
    host_joystick_open();
    return window_;
}

void main_window_destroy()
{
    host_hooks = host_hooks_t{};
    host_joystick_close();
    DestroyStatusBar();
    delete window_;
    window_ = nullptr;
    view_ = nullptr;
    actions_.clear();
    frame_ = QImage();
}

QWidget* main_window() { return window_; }
QWidget* main_window_view() { return view_; }
void* get_hwndMain() { return window_; }

void main_window_command(int command)
{
    presented_from_ = nullptr;   // a command may change how the picture looks
    sound_pause();
    run_command(command);
    if (!g_bDebug) menu_check(ID_PAUSE, g_bPaused);   // left alone while the monitor is shown
    enter_monitor_at_breakpoint();
    pacing_reset();
    if (g_bSound && g_bActive && !g_bDebug) sound_resume();
    keyboard_reset();
}

QAction* main_window_action(int command)
{
    auto it = actions_.find(command);
    return it == actions_.end() ? nullptr : it->second;
}

int main_window_checked(int command)
{
    QAction* a = main_window_action(command);
    return a && a->isChecked() ? 1 : 0;
}

void menu_check(int command, int checked)
{
    if (QAction* a = main_window_action(command)) {
        a->setCheckable(true);
        a->setChecked(checked != 0);
    }
}

std::string main_window_title()
{
    return window_ ? window_->windowTitle().toStdString() : std::string();
}

void main_window_set_title(const char* title) { set_title(title); }

void main_window_activate(int active)
{
    if (g_bPaused || g_bDebug)
        g_bActive = 0;
    else
        g_bActive = active ? 1 : 0;
    if (!active) host_keyboard_release_all();
}

void main_window_drop_files(const char* first_path)
{
    machine_hard_reset();
    machine_do_some_frames(DROP_FRAMES);
    char name[260];
    std::snprintf(name, sizeof name, "%s", first_path ? first_path : "");
    autostart_file(name, 1);
    enter_monitor_at_breakpoint();
    pacing_reset();
}

int recreate_bitmap()
{
    presented_from_ = nullptr;
    color_reset();
    frame_ = QImage(screen_width(), screen_height(), QImage::Format_RGB32);
    if (frame_.isNull()) return 0;
    frame_.fill(Qt::black);
    return 1;
}

void set_screen_params()
{
    recreate_bitmap();
    if (g_bFullScreen || !window_) return;
    view_->setFixedSize(screen_width(), screen_height());
    if (QLayout* l = window_->layout()) {
        l->setSizeConstraint(QLayout::SetFixedSize);
        l->activate();
    }
    if (g_bDebug) monitor_update();
    view_->update();
    pacing_reset();
}

std::string main_window_quick_screenshot()
{
    char name[32];
    for (int n = 0; n < 100000; ++n) {
        std::snprintf(name, sizeof name, "brevan%.4d.%s", n, "bmp");
        if (std::FILE* f = std::fopen(name, "rb")) {
            std::fclose(f);
            continue;
        }
        return save_bitmap(name) ? std::string(name) : std::string();
    }
    return std::string();
}

int main_window_save_screenshot(const char* path)
{
    if (!path || !*path) return 0;
    return screenshot_save(path);
}

void gui_paste_from_clipboard(void*)
{
    const QString text = QGuiApplication::clipboard()->text();
    if (text.isEmpty()) return;
    std::string bytes;
    bytes.reserve(static_cast<size_t>(text.size()) + 16);
    const std::u32string wide = text.toStdU32String();
    for (size_t i = 0; i < wide.size(); ++i) {
        // Lines end in CR LF, as the Primo's Enter is CR.
        if (wide[i] == U'\n' && (i == 0 || wide[i - 1] != U'\r')) bytes += '\r';
        const uint8_t ch = host_char_to_cp1250(wide[i]);
        if (ch) bytes += static_cast<char>(ch);
    }
    keyboard_open_from_buffer(bytes.c_str());
}

void main_window_load_wav_tape(const char* path)
{
    tape_open_wav(path);
}

int main_window_quit_requested() { return quit_ ? 1 : 0; }

int main_loop_pass()
{
    if (quit_) return 0;
    if (!g_bActive || menus_open_) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (quit_) return 0;
        if (g_bSound && g_bActive && !g_bDebug && !menus_open_) sound_resume();
        pacing_reset();
        return 1;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (quit_) return 0;
    if (!g_bActive || menus_open_) return 1;
    host_joystick_poll_events();
    machine_run();
    host_keyboard_frame_done();
    if (machine_at_breakpoint() && !g_bDebug) {
        main_window_command(ID_MONITOR);
        return 1;
    }
    if (g_bSound) sound_flush(z80_state.tcount);
    char title[80] = "";
    const int due = pacing_after_frame(g_Timer, title);
    if (due & PACE_MEASURE) {
        set_title(title);
        uint32_t length = 0;
        if (sound_is_saving(&length)) StatusBarText("WAV mentés: %6.1f kbyte eddig...", length / 1024.0);
    }
    if (due & PACE_PRESENT) UpdateFrame();
    return 1;
}

void main_loop_run()
{
    while (main_loop_pass()) {
    }
}
