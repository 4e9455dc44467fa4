// The four drive lamps as the status bar shows them now: '1' lit (red),
// '0' dark (black), '?' anything else.
#pragma once
#include <QColor>
#include <QImage>
#include <QWidget>
#include <string>

#include "host/window/statusbar.h"

inline std::string lamps_shown()
{
    const QImage picture = status_bar_widget()->grab().toImage();
    std::string lit;
    for (int i = 0; i < 4; ++i) {
        const QColor c = picture.pixelColor(status_bar_led_rect(i).center());
        lit += c == QColor(255, 0, 0) ? '1' : c == QColor(0, 0, 0) ? '0' : '?';
    }
    return lit;
}
