// brevan: the desktop program.
#include <QApplication>
#include <QWidget>

#include "host/headless.h"
#include "host/main_window.h"
#include "host/shell.h"

int main(int argc, char** argv)
{
    // These runs need no window and must not start a windowing system.
    if (headless_wanted(argc, argv)) return headless_main(argc, argv);

    QApplication app(argc, argv);
    QWidget* window = main_window_create();
    if (!window) return 0;
    emu_init(argc, argv);
    window->show();
    window->activateWindow();
    main_loop_run();
    emu_close();
    main_window_destroy();
    return 0;
}
