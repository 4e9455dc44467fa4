#include <gtest/gtest.h>

#include <QBoxLayout>
#include <QCoreApplication>
#include <QHelpEvent>
#include <QToolTip>
#include <QImage>
#include <QRect>
#include <QWidget>
#include <string>

#include "core/hooks.h"
#include "gui_app.h"
#include "host/app/messages.h"
#include "host/window/statusbar.h"
#include "lamps_shown.h"

namespace {

class StatusBarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gui_app();
        window = new QWidget;
        auto* box = new QVBoxLayout(window);
        box->setContentsMargins(0, 0, 0, 0);
        auto* screen = new QWidget(window);
        screen->setFixedSize(312, 240);
        box->addWidget(screen);
        CreateStatusBar(window);
        window->resize(312, 240 + StatusBarHeight());
        window->show();
        host_hooks = host_hooks_t{};
        host_hooks.led_update = status_bar_led_update;
        shell_output.status = status_bar_set_text;
    }
    void TearDown() override
    {
        host_hooks = host_hooks_t{};
        shell_output = shell_output_t{};
        DestroyStatusBar();
        delete window;
    }

    // Which lamps the bar shows lit (red) right now.
    QWidget* window = nullptr;
};

TEST_F(StatusBarTest, ANewBarStartsWithTheFirstLampLit)
{
    EXPECT_EQ(status_bar_led_state(), 0);
    EXPECT_EQ(lamps_shown(), "1000");
}

TEST_F(StatusBarTest, LedUpdateLightsOnlyTheNamedLamp)
{
    led_update(2);
    EXPECT_EQ(lamps_shown(), "0010");
    led_update(-1);
    EXPECT_EQ(lamps_shown(), "0000");
    led_update(7);
    EXPECT_EQ(lamps_shown(), "0000");
}

TEST_F(StatusBarTest, DriveActivityLightsTheFirstLampAndDarkensAll)
{
    led_update(3);
    ui_set_led(1);
    EXPECT_EQ(lamps_shown(), "1000");
    ui_set_led(0);
    EXPECT_EQ(lamps_shown(), "0000");
}

TEST_F(StatusBarTest, TextsGoToTheModelAndMessagePartsOnly)
{
    StatusBarPartText(0, "%s", "Primo B32");
    StatusBarText("Lemez: %u oldal", 2u);
    StatusBarPartText(1, "%s", "lost");
    EXPECT_STREQ(status_bar_text(0), "Primo B32");
    EXPECT_STREQ(status_bar_text(2), "Lemez: 2 oldal");
    EXPECT_STREQ(status_bar_text(1), "");
}

// A long path in a message reaches the bar whole; the bar cuts what it shows.
TEST_F(StatusBarTest, LongMessagesReachTheBarWhole)
{
    const std::string long_text(1000, 'x');
    StatusBarText("%s", long_text.c_str());
    EXPECT_EQ(std::string(status_bar_text(2)), long_text);
}

TEST_F(StatusBarTest, ALongTextIsCutInTheMiddleAndWholeInItsTooltip)
{
    const std::string path = "/home/primo/Képek/Brevan/egy/hosszú/mappa/brevan0007.bmp";
    StatusBarText("Képernyőkép mentve: %s", path.c_str());
    status_bar_widget()->grab();   // painted as the window would paint it
    const QString shown = status_bar_shown_text(2);
    EXPECT_TRUE(shown.startsWith(QString::fromUtf8("Képer"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("07.bmp"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();

    const QPoint at(status_bar_widget()->width() - 20, 12);
    QHelpEvent tip(QEvent::ToolTip, at, status_bar_widget()->mapToGlobal(at));
    QCoreApplication::sendEvent(status_bar_widget(), &tip);
    EXPECT_EQ(QToolTip::text().toStdString(), "Képernyőkép mentve: " + path);
}

TEST_F(StatusBarTest, WithoutABarEverythingIsHarmless)
{
    DestroyStatusBar();
    EXPECT_EQ(StatusBarHeight(), 0);
    EXPECT_EQ(status_bar_widget(), nullptr);
    led_update(2);
    StatusBarText("%s", "nobody sees this");
    StatusBarRedraw();
    DestroyStatusBar();

    CreateStatusBar(window);
    EXPECT_EQ(StatusBarHeight(), 24);
    EXPECT_EQ(lamps_shown(), "1000");
    EXPECT_STREQ(status_bar_text(2), "");
}

}  // namespace
