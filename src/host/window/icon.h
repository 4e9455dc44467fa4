// The program's icon: a little Primo with a "P" and a red cursor on its
// screen. One table of shapes gives the SVG file, the PNG files and the
// window icon alike.
#pragma once
#include <string>

class QImage;

// The icon as an SVG document (256 x 256 units).
std::string brevan_icon_svg();
// The icon drawn at size x size pixels on a transparent ground.
QImage brevan_icon_image(int size);
