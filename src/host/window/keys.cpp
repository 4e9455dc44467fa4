#include "host/window/keys.h"

#include <QKeyEvent>

#include "core/hooks.h"
#include "core/machine.h"
#include "debug/monitor.h"
#include "devices/diskfs.h"
#include "devices/input.h"
#include "devices/typing.h"
#include "host/app/shell.h"
#include "host/platform/host_keyboard.h"
#include "host/window/commands.h"
#include "host/window/screen_view.h"

namespace {

// Keypad 4, 2, 6, 8 and 0 are the joystick's left, down, right, up and fire.
int joystick_column(const QKeyEvent* e)
{
    if (!host_keyboard_is_keypad(e)) return -1;
    switch (e->key()) {
    case Qt::Key_4: case Qt::Key_Left: return JOY_LEFT;
    case Qt::Key_2: case Qt::Key_Down: return JOY_DOWN;
    case Qt::Key_6: case Qt::Key_Right: return JOY_RIGHT;
    case Qt::Key_8: case Qt::Key_Up: return JOY_UP;
    case Qt::Key_0: case Qt::Key_Insert: return JOY_FIRE;
    default: return -1;
    }
}

void joystick_check(const QKeyEvent* e, int pressed)
{
    const int column = joystick_column(e);
    if (column >= 0) set_joy_buttons_state(0, column, pressed);
}

// In the monitor a key moved or changed the page: show it.
void monitor_key(void (*action)())
{
    action();
    screen_view_repaint();
}

// A key that runs a command once per press, not again while it repeats.
void command_key(const QKeyEvent* e, command_id command)
{
    if (!e->isAutoRepeat()) main_window_command(command);
}

}  // namespace

void keys_press(const QKeyEvent* e)
{
    host_keyboard_press(e);
    if (joystick_column(e) >= 0) {
        if (!e->isAutoRepeat()) joystick_check(e, 1);
        return;
    }
    const bool monitor = shell.monitor;
    switch (e->key()) {
    case Qt::Key_Return: case Qt::Key_Enter:
        if (monitor) monitor_key(monitor_single_step);
        break;
    case Qt::Key_Escape: command_key(e, ID_MONITOR); break;
    case Qt::Key_Pause: command_key(e, ID_PAUSE); break;
    case Qt::Key_PageUp:
        if (monitor) monitor_key([] { step_dir_page(-1); });
        break;
    case Qt::Key_PageDown:
        if (monitor)
            monitor_key([] { step_dir_page(1); });
        else if (shell.active)
            command_key(e, ID_PAUSE);
        break;
    case Qt::Key_Up:
        if (monitor) monitor_key([] { step_dir(-1); });
        break;
    case Qt::Key_Down:
        if (monitor) monitor_key([] { step_dir(1); });
        break;
    case Qt::Key_F1:
        if (monitor) {
            monitor_key(debug);
        } else {
            the_machine.drive.led = 0;
            ui_set_led(0);
            typing_stop();   // the button ends a paste or a typed autostart
            reset_button_pressed = 1;
        }
        break;
    case Qt::Key_F2:
        if (monitor)
            monitor_key([] { monitor_select_page(MONITOR_PAGE_MEMORY); });
        else
            command_key(e, ID_SCREENSHOT);
        break;
    case Qt::Key_F4:
        if (monitor && !e->isAutoRepeat()) monitor_key(monitor_toggle_breakpoint);
        break;
    default: break;
    }
}

void keys_release(const QKeyEvent* e)
{
    host_keyboard_release(e);
    if (e->isAutoRepeat()) return;
    if (e->key() == Qt::Key_F1) {
        reset_button_pressed = 0;
        return;
    }
    joystick_check(e, 0);
}
