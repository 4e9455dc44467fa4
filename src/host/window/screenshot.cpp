#include "host/window/screenshot.h"

#include <QImage>
#include <QString>
#include <cstdio>

#include "devices/screen.h"

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

int main_window_save_screenshot(const std::string& path)
{
    if (path.empty()) return 0;
    const QString name = QString::fromLocal8Bit(path.c_str());
    if (!name.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) return save_bitmap(path.c_str());
    QImage picture(screen_width(), screen_height(), QImage::Format_RGB32);
    screen_render_rgb(reinterpret_cast<uint32_t*>(picture.bits()));
    return picture.save(name, "PNG") ? 1 : 0;
}
