// One QApplication per GUI suite, on the offscreen platform unless the
// caller chose another, with SDL sound on its dummy device.
#pragma once
#include <QApplication>
#include <cstdlib>

inline QApplication* gui_app()
{
    static int argc = 1;
    static char name[] = "brevan-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        return new QApplication(argc, argv);
    }();
    return app;
}
