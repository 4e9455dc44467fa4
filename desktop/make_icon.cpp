// brevan-icon OUT.svg OUT.png: the installed icons, from the program's own
// drawing of it.
#include <QGuiApplication>
#include <QImage>
#include <cstdio>

#include "host/window/icon.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: brevan-icon OUT.svg OUT.png\n");
        return 2;
    }
    std::FILE* svg = std::fopen(argv[1], "w");
    if (!svg) return 1;
    const std::string text = brevan_icon_svg();
    const bool written = std::fwrite(text.data(), 1, text.size(), svg) == text.size();
    if (std::fclose(svg) != 0 || !written) return 1;
    return brevan_icon_image(256).save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : 1;
}
