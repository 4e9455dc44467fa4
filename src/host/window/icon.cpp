#include "host/window/icon.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int UNITS = 256;

struct shape {
    int x, y, w, h, radius;
    uint32_t rgb;
};

constexpr uint32_t GROUND = 0x2B2D42, CASE = 0xE2DCCB, SCREEN = 0x101418, INK = 0xF1FAEE,
                   CURSOR = 0xE63946, KEY = 0x4A4E69;

// The letter P on the screen, 5 x 7 cells of 12 units.
constexpr const char* LETTER[] = {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."};
constexpr int CELL = 12, LETTER_X = 70, LETTER_Y = 54;

std::vector<shape> shapes()
{
    std::vector<shape> v = {
        {8, 8, 240, 240, 44, GROUND},
        {26, 22, 204, 150, 18, CASE},      // the monitor
        {40, 34, 176, 124, 10, SCREEN},
        {20, 184, 216, 52, 12, CASE},      // the keyboard
    };
    for (int row = 0; row < 7; ++row)
        for (int column = 0; column < 5; ++column)
            if (LETTER[row][column] == '#')
                v.push_back({LETTER_X + CELL * column, LETTER_Y + CELL * row, CELL, CELL, 0, INK});
    v.push_back({LETTER_X + CELL * 7, LETTER_Y + CELL * 6, CELL * 2, CELL, 0, CURSOR});
    for (int row = 0; row < 2; ++row)
        for (int key = 0; key < 10; ++key) v.push_back({32 + 20 * key, 192 + 14 * row, 14, 10, 2, KEY});
    v.push_back({72, 221, 112, 8, 2, KEY});   // space bar
    return v;
}

}  // namespace

std::string brevan_icon_svg()
{
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n";
    char line[160];
    for (const shape& s : shapes()) {
        std::snprintf(line, sizeof line, "  <rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" rx=\"%d\" fill=\"#%06X\"/>\n",
                      s.x, s.y, s.w, s.h, s.radius, static_cast<unsigned>(s.rgb));
        svg += line;
    }
    return svg + "</svg>\n";
}

QImage brevan_icon_image(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.scale(static_cast<double>(size) / UNITS, static_cast<double>(size) / UNITS);
    for (const shape& s : shapes()) {
        p.setBrush(QColor::fromRgb(s.rgb));
        p.drawRoundedRect(QRectF(s.x, s.y, s.w, s.h), s.radius, s.radius);
    }
    p.end();
    return image;
}
