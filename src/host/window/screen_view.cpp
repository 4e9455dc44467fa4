#include "host/window/screen_view.h"

#include <QImage>
#include <QLayout>
#include <QPainter>
#include <QWidget>
#include <array>
#include <cstring>

#include "core/hooks.h"
#include "core/machine.h"
#include "debug/monitor.h"
#include "devices/color.h"
#include "devices/screen.h"
#include "host/app/pacing.h"
#include "host/app/shell.h"
#include "host/window/commands.h"
#include "host/window/statusbar.h"
#include "host/window/ui_monitor.h"

namespace {

QWidget* window_ = nullptr;
QWidget* view_ = nullptr;
QImage frame_;
bool frame_rendered_ = false;   // the next paint shows a presented frame

// The monochrome page last presented: an unchanged page needs neither
// drawing nor a repaint. Forgotten whenever the picture's set-up may change.
constexpr size_t MONO_PAGE_BYTES = 6144;
std::array<uint8_t, MONO_PAGE_BYTES> presented_page_{};
const uint8_t* presented_from_ = nullptr;

bool mono_page_unchanged()
{
    if (g_bColor || screenptr() != presented_from_) return false;
    return std::memcmp(screenptr(), presented_page_.data(), MONO_PAGE_BYTES) == 0;
}

void remember_presented_page()
{
    presented_from_ = g_bColor ? nullptr : screenptr();
    if (presented_from_) std::memcpy(presented_page_.data(), screenptr(), MONO_PAGE_BYTES);
}

void fit_frame_to_screen()
{
    if (frame_.isNull() || frame_.width() != screen_width() || frame_.height() != screen_height())
        recreate_bitmap();
}

class ScreenView : public QWidget {
public:
    explicit ScreenView(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const bool presented = frame_rendered_;
        frame_rendered_ = false;
        if (shell.monitor) {
            // The monitor covers the client area.
            ui_monitor_paint(p, rect(), picture_rect());
            return;
        }
        if (!presented) {
            // A repaint the system asked for: show the machine as it is now.
            fit_frame_to_screen();
            screen_render_rgb(reinterpret_cast<uint32_t*>(frame_.bits()));
        }
        if (!shell.full_screen) {
            p.drawImage(0, 0, frame_);
        } else {
            p.fillRect(rect(), Qt::black);
            p.drawImage(picture_rect(), frame_);
        }
        if (!presented) {
            pacing_reset();
            ui_set_led(0);
        }
    }
    // Only the screen area: a double click on the status bar does nothing.
    void mouseDoubleClickEvent(QMouseEvent*) override
    {
        main_window_command(shell.full_screen ? ID_FULLSCREEN : ID_DOUBLE_SIZE);
    }

private:
    // Where the picture goes: all of the view in a window, scaled keeping
    // its shape in full screen.
    QRect picture_rect() const
    {
        if (!shell.full_screen) return QRect(QPoint(0, 0), QSize(screen_width(), screen_height()));
        const QSize fit = QSize(screen_width(), screen_height()).scaled(size(), Qt::KeepAspectRatio);
        return QRect(QPoint((width() - fit.width()) / 2, (height() - fit.height()) / 2), fit);
    }
};

}  // namespace

QWidget* screen_view_create(QWidget* window)
{
    window_ = window;
    view_ = new ScreenView(window);
    view_->setFixedSize(screen_width(), screen_height());
    return view_;
}

void screen_view_destroyed()
{
    window_ = nullptr;
    view_ = nullptr;
    frame_ = QImage();
}

QWidget* main_window_view() { return view_; }

void screen_view_repaint()
{
    if (view_) view_->update();
}

void screen_view_forget_presented() { presented_from_ = nullptr; }

void screen_view_fill_window()
{
    if (!view_) return;
    view_->setMinimumSize(0, 0);
    view_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (QLayout* l = window_->layout()) {
        l->invalidate();
        l->activate();
    }
}

int recreate_bitmap()
{
    presented_from_ = nullptr;
    color_reset();
    frame_ = QImage(screen_width(), screen_height(), QImage::Format_RGB32);
    if (frame_.isNull()) return 0;
    frame_.fill(Qt::black);
    return 1;
}

void set_screen_params()
{
    recreate_bitmap();
    if (shell.full_screen || !window_) return;
    view_->setFixedSize(screen_width(), screen_height());
    if (QLayout* l = window_->layout()) {
        l->setSizeConstraint(QLayout::SetFixedSize);
        l->activate();
    }
    if (shell.monitor) monitor_update();
    view_->update();
    pacing_reset();
}

void hook_update_frame()
{
    if (!view_) return;
    fit_frame_to_screen();
    if (mono_page_unchanged()) return;
    screen_render_rgb(reinterpret_cast<uint32_t*>(frame_.bits()));
    remember_presented_page();
    frame_rendered_ = true;
    view_->update();
}
