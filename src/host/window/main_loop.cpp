#include "host/app/messages.h"
#include "host/window/main_loop.h"

#include <QCoreApplication>

#include "core/hooks.h"
#include "core/machine.h"
#include "cpu/cpu.h"
#include "host/app/pacing.h"
#include "host/app/shell.h"
#include "host/platform/host_joystick.h"
#include "host/platform/host_keyboard.h"
#include "host/window/commands.h"
#include "host/window/main_window.h"
#include "host/window/menu.h"
#include "sound/sound.h"

namespace {

bool stalled() { return !shell.active || shell.menus_open > 0; }

}  // namespace

int main_window_quit_requested() { return shell.quit ? 1 : 0; }

int main_loop_pass()
{
    if (shell.quit) return 0;
    if (stalled()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (shell.quit) return 0;
        if (shell.sound && !shell.monitor && !stalled()) sound_resume();
        pacing_reset();
        return 1;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (shell.quit) return 0;
    if (stalled()) return 1;
    host_joystick_poll_events();
    machine_run();
    host_keyboard_frame_done();
    if (machine_at_breakpoint() && !shell.monitor) {
        main_window_command(ID_MONITOR);
        return 1;
    }
    shell.rewind.frame_done();
    if (shell.sound) sound_flush(z80_state.tcount);
    char title[80] = "";
    const int due = pacing_after_frame(shell.sync, title);
    if (due & PACE_MEASURE) {
        main_window_set_title(title);
        uint32_t length = 0;
        if (sound_is_saving(&length))
            StatusBarText("WAV mentés: %6.1f kbyte eddig...", length / 1024.0);
        else if (main_window_checked(ID_SOUND_SAVE))
            menu_check(ID_SOUND_SAVE, false);   // ended at the format's limit, which said so
    }
    if (due & PACE_PRESENT) UpdateFrame();
    return 1;
}

void main_loop_run()
{
    while (main_loop_pass()) {
    }
}
