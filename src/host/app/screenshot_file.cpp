// Screenshots: the BMP of the screen module, or a PNG of the picture the
// window shows, both written whole through a temporary file.
#include "host/app/screenshot_file.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <strings.h>

#include "devices/screen.h"
#include "media/fileio.h"

int screenshot_save(const std::string& path, std::string* why)
{
    const bool png = path.size() >= 4 && strcasecmp(path.c_str() + path.size() - 4, ".png") == 0;
    if (!png) return save_bitmap(path.c_str(), why);
    QImage picture(screen_width(), screen_height(), QImage::Format_RGB32);
    screen_render_rgb(reinterpret_cast<uint32_t*>(picture.bits()));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG")) {
        if (why) *why = "a PNG kép nem készíthető el";
        return 0;
    }
    return write_whole_file(path, bytes.constData(), static_cast<size_t>(bytes.size()), why) ? 1 : 0;
}
