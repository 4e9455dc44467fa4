#include "host/app/messages.h"
#include "host/window/main_window.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QInputMethod>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <QWidget>
#include <cstdlib>

#include "core/hooks.h"
#include "core/machine.h"
#include "debug/monitor.h"
#include "devices/input.h"
#include "devices/typing.h"
#include "host/app/emu.h"
#include "host/app/pacing.h"
#include "host/app/shell.h"
#include "host/dialogs/ui.h"
#include "host/platform/host_joystick.h"
#include "host/platform/host_keyboard.h"
#include "host/window/icon.h"
#include "host/window/keys.h"
#include "host/window/menu.h"
#include "host/window/screen_view.h"
#include "host/window/statusbar.h"
#include "media/autostart.h"
#include "sound/sound.h"

namespace {

constexpr const char* TITLE_START = "Brevan - Primo emulátor";
constexpr int RESET_BUTTON_MS = 200;
constexpr int DROP_FRAMES = 15;

class MainWindow : public QWidget {
public:
    MainWindow()
    {
        setWindowTitle(QString::fromUtf8(TITLE_START));
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
        auto* bar = new QMenuBar(this);
        box->setMenuBar(bar);
        box->addWidget(screen_view_create(this));
        menu_build(this, bar);

        reset_timer.setSingleShot(true);
        QObject::connect(&reset_timer, &QTimer::timeout, [] { reset_button_pressed = 0; });
        if (QInputMethod* im = QGuiApplication::inputMethod())
            QObject::connect(im, &QInputMethod::localeChanged, this, [] { host_keyboard_layout_changed(); });
        QObject::connect(qApp, &QGuiApplication::applicationStateChanged, this, [](Qt::ApplicationState state) {
            main_window_activate(state == Qt::ApplicationActive ? 1 : 0);
        });
    }

    QTimer reset_timer;

protected:
    void closeEvent(QCloseEvent*) override { shell.quit = true; }
    bool focusNextPrevChild(bool) override { return false; }   // Tab is a Primo key
    void keyPressEvent(QKeyEvent* e) override { keys_press(e); }
    void keyReleaseEvent(QKeyEvent* e) override { keys_release(e); }
    void wheelEvent(QWheelEvent* e) override
    {
        if (!shell.monitor) return;
        const int notches = e->angleDelta().y() / 120;
        if (notches == 0) return;
        const int rows = std::abs(notches * 256 / 120);
        step_dir_rows(notches > 0 ? -1 : 1, rows);
        screen_view_repaint();
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
        main_window_drop_files(urls.first().toLocalFile().toLocal8Bit().toStdString());
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
};

MainWindow* window_ = nullptr;

void hook_message_box(const char* title, const char* text)
{
    sound_pause();
    QMessageBox::critical(window_, QString::fromUtf8(title), QString::fromUtf8(text));
    main_window_resume_after_stall();
}

}  // namespace

QWidget* main_window_create()
{
    if (window_) return window_;
    shell.quit = false;
    shell.menus_open = 0;
    ui_install_translations();
    // The desktop entry names the window's program; the icon is our own.
    QGuiApplication::setDesktopFileName(QStringLiteral("brevan"));
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(brevan_icon_image(256))));
    window_ = new MainWindow();
    recreate_bitmap();
    main_window_create_status_bar();
    host_hooks.update_frame = hook_update_frame;
    host_hooks.led_update = status_bar_led_update;
    shell_output.status = status_bar_set_text;
    shell_output.box = hook_message_box;
    host_hooks.note = shell_note;
    host_hooks.tape_lamp = status_bar_tape_lamp;
    keyboard_set_host(host_keyboard());
    host_joystick_open();
    return window_;
}

void main_window_destroy()
{
    host_hooks = host_hooks_t{};
    shell_output = shell_output_t{};
    host_joystick_close();
    DestroyStatusBar();
    delete window_;
    window_ = nullptr;
    screen_view_destroyed();
    menu_forget();
}

QWidget* main_window() { return window_; }

std::string main_window_title()
{
    return window_ ? window_->windowTitle().toStdString() : std::string();
}

void main_window_set_title(const char* title)
{
    if (window_) window_->setWindowTitle(QString::fromUtf8(title));
}

void main_window_activate(int active)
{
    shell.active = !shell.paused && !shell.monitor && active;
    if (!active) host_keyboard_release_all();
}

void main_window_drop_files(const std::string& first_path)
{
    machine_hard_reset();
    machine_do_some_frames(DROP_FRAMES);
    shell_autostart(first_path.c_str(), 1);
    commands::enter_monitor_at_breakpoint();
    pacing_reset();
}

void main_window_hold_reset_button()
{
    typing_stop();   // the button ends a paste or a typed autostart
    reset_button_pressed = 1;
    if (window_) window_->reset_timer.start(RESET_BUTTON_MS);
}

void main_window_create_status_bar()
{
    CreateStatusBar(window_);
    status_bar_led_update(-1);
}

void main_window_resume_after_stall()
{
    if (shell.active) {
        sound_resume();
        sound_reset();
    }
    pacing_reset();
    keyboard_reset();
}
