// The monitor's view. The text lines come from the monitor module; this
// side only measures the area and draws them.
#include "host/window/ui_monitor.h"

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QRect>
#include <QString>
#include <algorithm>
#include <cmath>

#include "debug/monitor.h"

namespace {

// The register dump is 53 characters: the font is the largest that fits a
// few more than that into the picture's width.
constexpr int COLUMNS_WANTED = 56;
constexpr int SMALLEST_PIXELS = 6;
constexpr int LARGEST_PIXELS = 200;
constexpr int TAB = 8;
const QColor BREAKPOINT_INK(255, 96, 96);   // the line the breakpoint is on

struct font_choice {
    int picture_width = -1;
    QFont font;
};
font_choice chosen;

QFont fixed_font(int pixels)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(pixels);
    font.setStyleHint(QFont::TypeWriter);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

qreal cell_width(const QFont& font) { return QFontMetricsF(font).horizontalAdvance(QLatin1Char('M')); }

// Tabs of the listing's comments go to the next multiple of eight columns.
QString expand_tabs(const char* text)
{
    QString out;
    for (const char* p = text; *p; ++p) {
        if (*p == '\t') {
            do out += QLatin1Char(' ');
            while (out.size() % TAB != 0);
        } else {
            out += QLatin1Char(*p);
        }
    }
    return out;
}

} // namespace

QFont ui_monitor_font(int picture_width)
{
    if (chosen.picture_width == picture_width) return chosen.font;
    int pixels = SMALLEST_PIXELS;
    while (pixels < LARGEST_PIXELS && cell_width(fixed_font(pixels + 1)) * COLUMNS_WANTED <= picture_width) ++pixels;
    chosen = {picture_width, fixed_font(pixels)};
    return chosen.font;
}

void ui_monitor_paint(QPainter& painter, const QRect& view, const QRect& picture)
{
    const QFont font = ui_monitor_font(picture.width());
    const QFontMetricsF metrics(font);
    const int font_height = std::max(1, static_cast<int>(std::ceil(metrics.height())));
    const int rows = view.height() / font_height;
    const int cols = static_cast<int>(view.width() / cell_width(font));
    if (rows != monitor_get_rows() || cols != monitor_get_cols()) monitor_set_screen_params(rows, cols);

    painter.fillRect(view, Qt::black);
    painter.setFont(font);
    const int baseline = static_cast<int>(std::ceil(metrics.ascent()));
    for (int row = 0; row < monitor_row_count(); ++row) {
        painter.setPen(row == monitor_breakpoint_row() ? BREAKPOINT_INK : Qt::white);
        painter.drawText(view.left(), view.top() + row * font_height + baseline, expand_tabs(monitor_row_text(row)));
    }
    painter.setPen(Qt::white);
    if (const int separator = monitor_separator_row(); separator > 0) {
        const int y = view.top() + separator * font_height - 1;
        painter.drawLine(view.left(), y, view.right(), y);
    }
}
