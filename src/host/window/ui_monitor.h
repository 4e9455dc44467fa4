// Drawing the monitor over the screen view: black, white text in the
// system's fixed-pitch font and the separator under the register dump.
#pragma once

class QFont;
class QPainter;
class QRect;

// Measures the view (rows and columns of the font) for the monitor, which
// builds its page again when they changed, then draws the page. The font
// is sized to the picture area, so the text is drawn sharp at double size
// and in full screen rather than scaled.
void ui_monitor_paint(QPainter& painter, const QRect& view, const QRect& picture);
// The monitor's font for a picture area of this width.
QFont ui_monitor_font(int picture_width);
