// brevan: the desktop program.
#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <csignal>
#include <cstdlib>
#include <unistd.h>

#include "host/app/emu.h"
#include "host/app/shell.h"
#include "host/headless/headless.h"
#include "host/window/main_loop.h"
#include "host/window/main_window.h"

namespace {

// SIGINT and SIGTERM close the window like the menu's exit, so the settings
// are written; the handler only wakes the event loop.
int quit_pipe[2] = {-1, -1};

void on_quit_signal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(quit_pipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char** argv)
{
    // These runs need no window and must not start a windowing system.
    if (headless_wanted(argc, argv)) return headless_main(argc, argv);

    QApplication app(argc, argv);   // takes Qt's own options out of argv
    if (const int code = emu_refuse_unknown_options(argc, argv)) return code;
    QWidget* window = main_window_create();
    if (!window) return 0;

    setenv("SDL_NO_SIGNAL_HANDLERS", "1", 0);
    std::unique_ptr<QSocketNotifier> quit_notifier;
    if (pipe(quit_pipe) == 0) {
        quit_notifier = std::make_unique<QSocketNotifier>(quit_pipe[0], QSocketNotifier::Read);
        QObject::connect(quit_notifier.get(), &QSocketNotifier::activated, window, [window] {
            // An open message box or chooser would hold the program until
            // someone answers it.
            while (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close();
                if (QApplication::activeModalWidget() == modal) break;
            }
            window->close();
        });
        std::signal(SIGINT, on_quit_signal);
        std::signal(SIGTERM, on_quit_signal);
    }

    emu_init(argc, argv);
    window->show();
    window->activateWindow();
    main_loop_run();
    emu_close();
    quit_notifier.reset();
    main_window_destroy();
    return 0;
}
