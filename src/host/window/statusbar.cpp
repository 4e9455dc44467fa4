#include "host/window/statusbar.h"

#include <QBoxLayout>
#include <QEvent>
#include <QFont>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <QWidget>
#include <array>
#include <cstdio>
#include <string>

namespace {

// Right edges of parts 0 and 1; part 2 takes the rest.
constexpr int PART0_RIGHT = 64;
constexpr int PART1_RIGHT = 180;   // four drive lamps and the tape lamp
constexpr int TAPE_LAMP = 4;
constexpr int led_rows = 24;
const QColor led_off_colour(0, 0, 0);
const QColor led_on_colour(255, 0, 0);
const QColor tape_on_colour(0, 200, 0);

class StatusBar : public QWidget {
public:
    explicit StatusBar(QWidget* parent) : QWidget(parent)
    {
        setFixedHeight(led_rows);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        setAttribute(Qt::WA_OpaquePaintEvent);
        // The model field is narrow; a model name should fit in it.
        QFont small = font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        setFont(small);
    }

protected:
    void paintEvent(QPaintEvent*) override;
    bool event(QEvent* e) override;
};

StatusBar* sWnd = nullptr;
int led_state = 0;
bool tape_lamp_on = false;   // follows the tape, not the bar's life
std::array<std::string, 3> part_text;
std::array<QString, 3> shown_text;   // as drawn, elided to the part's width

int part_at(int x)
{
    if (x < PART0_RIGHT) return 0;
    if (x < PART1_RIGHT) return 1;
    return 2;
}

void draw_sunken(QPainter& p, const QRect& r, const QPalette& pal)
{
    p.setPen(pal.color(QPalette::Dark));
    p.drawLine(r.left() - 1, r.top() - 1, r.right() + 1, r.top() - 1);
    p.drawLine(r.left() - 1, r.top() - 1, r.left() - 1, r.bottom() + 1);
    p.setPen(pal.color(QPalette::Light));
    p.drawLine(r.right() + 1, r.top(), r.right() + 1, r.bottom() + 1);
    p.drawLine(r.left(), r.bottom() + 1, r.right() + 1, r.bottom() + 1);
}

// Cut in the middle: a file's name and the start of its folder stay; the
// tooltip has the whole text.
void draw_text_part(QPainter& p, const QRect& r, int part)
{
    const QString s = QString::fromUtf8(part_text[part].c_str());
    const QRect inner = r.adjusted(2, 0, -1, 0);
    shown_text[part] = p.fontMetrics().elidedText(s, Qt::ElideMiddle, inner.width());
    p.setPen(sWnd->palette().color(QPalette::WindowText));
    p.drawText(inner, Qt::AlignVCenter | Qt::AlignLeft, shown_text[part]);
}

void StatusBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), pal.color(QPalette::Window));
    const QRect parts[3] = {
        QRect(1, 2, PART0_RIGHT - 3, height() - 4),
        QRect(PART0_RIGHT + 1, 2, PART1_RIGHT - PART0_RIGHT - 3, height() - 4),
        QRect(PART1_RIGHT + 1, 2, width() - PART1_RIGHT - 3, height() - 4),
    };
    for (const QRect& r : parts) draw_sunken(p, r.adjusted(1, 1, -1, -1), pal);
    draw_text_part(p, parts[0], 0);
    draw_text_part(p, parts[2], 2);
    for (int i = 0; i < 4; ++i) {
        const QRect lamp = status_bar_led_rect(i);
        draw_sunken(p, lamp, pal);
        p.fillRect(lamp, i == led_state ? led_on_colour : led_off_colour);
    }
    const QRect tape = status_bar_led_rect(TAPE_LAMP);
    draw_sunken(p, tape, pal);
    p.fillRect(tape, tape_lamp_on ? tape_on_colour : led_off_colour);
}

bool StatusBar::event(QEvent* e)
{
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const int part = part_at(help->pos().x());
        if (part != 1 && !part_text[part].empty())
            QToolTip::showText(help->globalPos(), QString::fromUtf8(part_text[part].c_str()), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(e);
}

}  // namespace

void CreateStatusBar(QWidget* main_window)
{
    if (sWnd) return;
    sWnd = new StatusBar(main_window);
    if (auto* box = main_window ? qobject_cast<QBoxLayout*>(main_window->layout()) : nullptr)
        box->addWidget(sWnd);
    part_text[0].clear();
    part_text[2].clear();
    led_state = 0;
    sWnd->show();
    sWnd->update();
}

void DestroyStatusBar()
{
    if (!sWnd) return;
    delete sWnd;
    sWnd = nullptr;
}

int StatusBarHeight()
{
    return sWnd ? sWnd->height() : 0;
}

void StatusBarRedraw()
{
    if (sWnd) sWnd->update();
}

void status_bar_set_text(int part, const char* text)
{
    if (!sWnd || (part != 0 && part != 2)) return;
    part_text[part] = text ? text : "";
    sWnd->setToolTip(QString());
    sWnd->update();
}

void status_bar_led_update(int n)
{
    led_state = n;
    if (sWnd) sWnd->update(QRect(PART0_RIGHT, 0, PART1_RIGHT - PART0_RIGHT, led_rows));
}

void status_bar_tape_lamp(int on)
{
    tape_lamp_on = on != 0;
    if (sWnd) sWnd->update(QRect(PART0_RIGHT, 0, PART1_RIGHT - PART0_RIGHT, led_rows));
}

int status_bar_tape_lamp_state() { return tape_lamp_on ? 1 : 0; }

QWidget* status_bar_widget() { return sWnd; }
int status_bar_led_state() { return led_state; }

const char* status_bar_text(int part)
{
    return part >= 0 && part < 3 ? part_text[part].c_str() : "";
}

QString status_bar_shown_text(int part) { return part >= 0 && part < 3 ? shown_text[part] : QString(); }

QRect status_bar_led_rect(int lamp)
{
    const int gap = lamp == TAPE_LAMP ? 4 : 0;   // set apart from the drives
    return QRect(74 + 20 * lamp + gap, led_rows / 3 + 2, 13, led_rows / 3);
}
