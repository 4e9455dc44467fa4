#include "host/window/fullscreen.h"

#include <QLayout>
#include <QMenuBar>
#include <QScreen>
#include <QWidget>

namespace {
int fullscreen_mode = 0;
QRect g_BackupRect;
}

int ChangeCoopLevel(QWidget* window)
{
    fullscreen_mode = !fullscreen_mode;
    auto* menu = window->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly);
    if (fullscreen_mode) {
        g_BackupRect = window->geometry();
        if (menu) menu->hide();
        // The window form is fixed in size; the screen form takes any.
        if (window->layout()) window->layout()->setSizeConstraint(QLayout::SetNoConstraint);
        window->setMinimumSize(0, 0);
        window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        window->setCursor(Qt::BlankCursor);
        // Placed over the screen even where no window manager honours the
        // full-screen request.
        if (QScreen* screen = window->screen()) window->setGeometry(screen->geometry());
        window->showFullScreen();
    } else {
        window->showNormal();
        window->move(g_BackupRect.topLeft());
        if (menu) menu->show();
        window->unsetCursor();
    }
    return 0;
}

int fullscreen_mode_active() { return fullscreen_mode; }
