#include <gtest/gtest.h>

#include <QAction>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <utility>
#include <vector>
#include <string>
#include <unistd.h>

#include "core/hooks.h"
#include "core/machine.h"
#include "core/bus.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "devices/diskfs.h"
#include "devices/input.h"
#include "devices/printer.h"
#include "devices/screen.h"
#include "devices/tape.h"
#include "devices/typing.h"
#include "gui_app.h"
#include "message_box.h"
#include "host/app/emu.h"
#include "host/app/messages.h"
#include "host/app/pacing.h"
#include "host/app/shell.h"
#include "host/app/ui_registry.h"
#include "host/dialogs/ui.h"
#include "host/platform/host_keyboard.h"
#include "host/window/main_loop.h"
#include "host/window/main_window.h"
#include "host/window/menu.h"
#include "host/window/screen_view.h"
#include "host/window/screenshot.h"
#include "host/window/statusbar.h"
#include "lamps_shown.h"
#include "media/diskimg.h"
#include "media/ptp.h"
#include "media/snapshot.h"
#include "program_environment.h"
#include "support/ptp_image.h"
#include "support/screen_text.h"
#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QTimer>

namespace {

const char* const TITLE_PAUSED = "Brevan - (Felfüggesztve)";
const char* const TITLE_RESUMED = "Brevan - (Újraindítva)";
const char* const TITLE_MONITOR = "Brevan - (Monitor)";

const auto* const environment = ::testing::AddGlobalTestEnvironment(new ProgramEnvironment);

void key_press(int qt_key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent e(QEvent::KeyPress, qt_key, mods);
    QCoreApplication::sendEvent(main_window(), &e);
}

void key_release(int qt_key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent e(QEvent::KeyRelease, qt_key, mods);
    QCoreApplication::sendEvent(main_window(), &e);
}

// A double click where a person would make it: on the widget under the
// point (in window coordinates); Qt hands it up to the parents from there.
void double_click_at(QPoint at)
{
    QWidget* w = main_window()->childAt(at);
    if (!w) w = main_window();
    const QPointF local = w->mapFrom(main_window(), at);
    QMouseEvent click(QEvent::MouseButtonDblClick, local, w->mapToGlobal(local), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(w, &click);
}

QPoint screen_point() { return main_window_view()->geometry().center(); }

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(main_window(), nullptr);
        shell.paused = false;
        shell.monitor = false;
        shell.active = true;
    }
};

TEST_F(MainWindowTest, TheWindowStartsTitledAndSizedForTheScreen)
{
    EXPECT_EQ(main_window_view()->size(), QSize(312, 240));
    EXPECT_NE(status_bar_widget(), nullptr);
    EXPECT_STREQ(status_bar_text(0), "Primo A64");
    EXPECT_EQ(main_window()->height(), main_window()->findChild<QMenuBar*>()->height() + 240 + StatusBarHeight());
    EXPECT_EQ(status_bar_led_state(), -1) << "no drive lamp is lit before a drive works";
    const Qt::WindowFlags flags = main_window()->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
}

TEST_F(MainWindowTest, EveryCommandHasItsMenuItem)
{
    const int commands[] = {
        40001, 40002, 40006, 40007, 40008, 40009, 40012, 40013, 40015, 40018, 40019, 40021,
        40024, 40025, 40026, 40029, 40030, 40031, 40032, 40034, 40035, 40036, 40037, 40038,
        40039, 40040, 40041, 40042, 40043, 40044, 40046, 40047, 40048, 40049, 40052, 40053,
        40054, 40055, 40056, 40057, 40058, 40059, 40060, 40061, 40080, 40081, 40082, 40083,
        40084, 40085, 40086, 40087, 40088, 40089, 40090,
    };
    for (int command : commands) {
        QAction* a = main_window_action(command_id{command});
        ASSERT_NE(a, nullptr) << command;
        EXPECT_FALSE(a->text().isEmpty()) << command;
    }
    EXPECT_EQ(main_window_action(ID_WARM_RESET)->text(), QString::fromUtf8("&Meleg restart\tALT+F1"));
    EXPECT_EQ(main_window_action(insert_command(2))->text(), QString::fromUtf8("&C: meghajtó - <üres>"));
    EXPECT_EQ(main_window_action(ID_MODEL_B32)->text(), QStringLiteral("Primo B32"));
}

TEST_F(MainWindowTest, AcceleratorsReachTheirCommands)
{
    const struct { command_id command; QKeySequence keys; } table[] = {
        {ID_FULLSCREEN, QKeySequence(Qt::ALT | Qt::Key_Return)},
        {ID_WARM_RESET, QKeySequence(Qt::ALT | Qt::Key_F1)},
        {ID_PAUSE, QKeySequence(Qt::Key_Pause)},
        {ID_DOUBLE_SIZE, QKeySequence(Qt::ALT | Qt::Key_F2)},
        {ID_SYNC, QKeySequence(Qt::ALT | Qt::Key_F3)},
        {ID_PTP_ATTACH, QKeySequence(Qt::ALT | Qt::Key_F5)},
        {ID_PLAY, QKeySequence(Qt::Key_F5)},
        {ID_PASTE, QKeySequence(Qt::ALT | Qt::Key_V)},
        {ID_STEP_BACK, QKeySequence(Qt::Key_F6)},
    };
    for (const auto& row : table)
        EXPECT_TRUE(main_window_action(row.command)->shortcuts().contains(row.keys)) << row.command;
}

// Menu items are clicked through their actions, as the menu does: Qt flips
// a checkable item before its command runs.
void click(command_id command) { main_window_action(command)->trigger(); }

TEST_F(MainWindowTest, EveryCheckableItemFlipsItsStateAndMarkOnce)
{
    const struct { command_id command; bool* flag; int* screen_flag; } toggles[] = {
        {ID_SYNC, &shell.sync, nullptr}, {ID_RAM_BANK, &shell.ram_bank, nullptr},
        {ID_SYMBOLIC, &shell.symbolic_keys, nullptr}, {ID_DOUBLE_SCAN, nullptr, &g_bDoubleScan},
        {ID_TAPE_REMOTE, &shell.tape_remote_disabled, nullptr}, {ID_DOUBLE_SIZE, nullptr, &g_bDoubleScreen},
        {ID_TAPE_FLIP, &shell.tape_signal_flipped, nullptr},
        {ID_SOUND, &shell.sound, nullptr}, {ID_PAUSE, &shell.paused, nullptr},
        {ID_MONITOR, &shell.monitor, nullptr}, {ID_FULLSCREEN, &shell.full_screen, nullptr},
    };
    for (const auto& t : toggles) {
        ASSERT_TRUE(main_window_action(t.command)->isCheckable()) << t.command;
        auto value = [&] { return t.flag ? int{*t.flag} : *t.screen_flag; };
        const int before = value();
        click(t.command);
        EXPECT_NE(value(), before) << t.command;
        EXPECT_EQ(main_window_checked(t.command), value() ? 1 : 0) << t.command;
        click(t.command);
        EXPECT_EQ(value(), before) << t.command;
        EXPECT_EQ(main_window_checked(t.command), before ? 1 : 0) << t.command;
    }
}

TEST_F(MainWindowTest, ClickingTheMarkedClockOrModelKeepsItMarked)
{
    for (command_id command : {ID_CLOCK_25, ID_CLOCK_25, ID_CLOCK_375, ID_CLOCK_375, ID_CLOCK_25}) {
        click(command);
        EXPECT_EQ(main_window_checked(command), 1) << command;
        EXPECT_EQ(main_window_checked(command == ID_CLOCK_25 ? ID_CLOCK_375 : ID_CLOCK_25), 0) << command;
    }
    for (command_id command : {ID_MODEL_B32, ID_MODEL_B32, ID_MODEL_A64}) {
        click(command);
        for (const model_record& r : model_table) EXPECT_EQ(main_window_checked(r.command), r.command == command ? 1 : 0);
    }
}

TEST_F(MainWindowTest, ThePauseMarkStaysWhileTheMonitorIsShown)
{
    click(ID_MONITOR);
    click(ID_PAUSE);
    EXPECT_TRUE(shell.paused);
    EXPECT_EQ(main_window_checked(ID_PAUSE), 0);
    EXPECT_EQ(main_window_title(), TITLE_MONITOR);
    click(ID_MONITOR);
    EXPECT_EQ(main_window_checked(ID_PAUSE), 1) << "outside the monitor the mark tells the truth";
    EXPECT_EQ(main_window_title(), TITLE_PAUSED);
    click(ID_PAUSE);
    EXPECT_EQ(main_window_checked(ID_PAUSE), 0);
    EXPECT_TRUE(shell.active);
}

// A key press where Qt would deliver it: the open menu, else the focus.
void key_to_focus(int qt_key)
{
    QWidget* target = QApplication::activePopupWidget();
    if (!target) target = QApplication::focusWidget();
    if (!target) target = main_window();
    QKeyEvent e(QEvent::KeyPress, qt_key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &e);
}

TEST_F(MainWindowTest, AnOpenMenuStallsTheMachineAndEscThenReachesTheWindow)
{
    main_window()->activateWindow();
    QCoreApplication::processEvents();
    auto* bar = main_window()->findChild<QMenuBar*>();
    const QPoint at = bar->actionGeometry(bar->actions().at(1)).center();   // "&Gép"
    QMouseEvent press(QEvent::MouseButtonPress, at, bar->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &press);
    ASSERT_NE(QApplication::activePopupWidget(), nullptr);

    const int64_t before = z80_state.tcount;
    QTimer::singleShot(0, [] {});   // something to wake the loop
    ASSERT_EQ(main_loop_pass(), 1);
    EXPECT_EQ(z80_state.tcount, before) << "no frame runs behind an open menu";

    key_to_focus(Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    key_to_focus(Qt::Key_Escape);
    EXPECT_TRUE(shell.monitor) << "the Esc after the menu opens the monitor";
    key_to_focus(Qt::Key_Escape);
    EXPECT_FALSE(shell.monitor);
    ASSERT_EQ(main_loop_pass(), 1);
    EXPECT_GT(z80_state.tcount, before);
}

TEST_F(MainWindowTest, HelpShowsTheHelpTextInAReadOnlyWindowOfItsOwn)
{
    click(ID_HELP);
    QWidget* help = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "help" && w->isVisible()) help = w;
    ASSERT_NE(help, nullptr);
    auto* text = help->findChild<QPlainTextEdit*>();
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_TRUE(text->toPlainText().startsWith(QString::fromUtf8("Brevan - Primo emulátor")));
    help->close();
}

TEST_F(MainWindowTest, ClockItemsAreExclusive)
{
    main_window_command(ID_CLOCK_375);
    EXPECT_EQ(machine_get_clock(), 3750000);
    EXPECT_EQ(main_window_checked(ID_CLOCK_375), 1);
    EXPECT_EQ(main_window_checked(ID_CLOCK_25), 0);
    main_window_command(ID_CLOCK_25);
    EXPECT_EQ(machine_get_clock(), 2500000);
    EXPECT_EQ(main_window_checked(ID_CLOCK_375), 0);
    EXPECT_EQ(main_window_checked(ID_CLOCK_25), 1);
}

TEST_F(MainWindowTest, ModelsAreFoundByTheirCommand)
{
    main_window_command(ID_MODEL_B32);
    EXPECT_EQ(machine_get_type(), 3);
    EXPECT_STREQ(status_bar_text(0), "Primo B32");
    main_window_command(ID_MODEL_B48);
    EXPECT_EQ(machine_get_type(), 4);
    EXPECT_STREQ(status_bar_text(0), "Primo B48");
    for (const model_record& r : model_table)
        EXPECT_EQ(main_window_checked(r.command), r.command == ID_MODEL_B48 ? 1 : 0) << r.name;
    EXPECT_EQ(g_bColor, 0);

    main_window_command(ID_MODEL_C64);
    EXPECT_EQ(machine_get_type(), 6);
    EXPECT_EQ(g_bColor, 2);
    EXPECT_EQ(nroflines, 216);

    main_window_command(ID_MODEL_A64);
    EXPECT_EQ(machine_get_type(), 2);
    EXPECT_EQ(g_bColor, 0);
    EXPECT_EQ(nroflines, 192);
}

TEST_F(MainWindowTest, PauseStopsAndResumesWithItsTitles)
{
    main_window_command(ID_PAUSE);
    EXPECT_TRUE(shell.paused);
    EXPECT_FALSE(shell.active);
    EXPECT_EQ(main_window_title(), TITLE_PAUSED);
    EXPECT_EQ(main_window_checked(ID_PAUSE), 1);
    main_window_command(ID_PAUSE);
    EXPECT_TRUE(shell.active);
    EXPECT_EQ(main_window_title(), TITLE_RESUMED);
    EXPECT_EQ(main_window_checked(ID_PAUSE), 0);
}

TEST_F(MainWindowTest, LeavingTheMonitorKeepsAPausedMachinePaused)
{
    main_window_command(ID_PAUSE);
    main_window_command(ID_MONITOR);
    EXPECT_EQ(main_window_title(), TITLE_MONITOR);
    EXPECT_EQ(main_window_checked(ID_MONITOR), 1);
    main_window_command(ID_MONITOR);
    EXPECT_FALSE(shell.active);
    EXPECT_EQ(main_window_title(), TITLE_PAUSED);
    EXPECT_EQ(main_window_checked(ID_MONITOR), 0);
    main_window_command(ID_PAUSE);
    EXPECT_TRUE(shell.active);
}

TEST_F(MainWindowTest, EscapeTogglesTheMonitor)
{
    key_press(Qt::Key_Escape);
    EXPECT_TRUE(shell.monitor);
    EXPECT_FALSE(shell.active);
    EXPECT_EQ(main_window_title(), TITLE_MONITOR);
    key_press(Qt::Key_Escape);
    EXPECT_FALSE(shell.monitor);
    EXPECT_TRUE(shell.active);
    EXPECT_EQ(main_window_title(), TITLE_RESUMED);
}

TEST_F(MainWindowTest, PageDownPausesButDoesNotResume)
{
    key_press(Qt::Key_PageDown);
    EXPECT_TRUE(shell.paused);
    key_press(Qt::Key_PageDown);
    EXPECT_TRUE(shell.paused);
    main_window_command(ID_PAUSE);
}

TEST_F(MainWindowTest, ResetKeyHoldsTheButtonWhileDown)
{
    key_press(Qt::Key_F1);
    EXPECT_EQ(reset_button_pressed, 1);
    EXPECT_EQ(status_bar_led_state(), -1);
    key_release(Qt::Key_F1);
    EXPECT_EQ(reset_button_pressed, 0);
}

TEST_F(MainWindowTest, DoubleSizeResizesTheClientArea)
{
    main_window_command(ID_DOUBLE_SIZE);
    EXPECT_EQ(main_window_view()->size(), QSize(624, 480));
    EXPECT_EQ(main_window_checked(ID_DOUBLE_SIZE), 1);
    double_click_at(status_bar_widget()->geometry().center());
    EXPECT_EQ(g_bDoubleScreen, 1) << "the status bar is not the screen";
    double_click_at(screen_point());
    EXPECT_EQ(main_window_view()->size(), QSize(312, 240));
    EXPECT_EQ(g_bDoubleScreen, 0);
}

TEST_F(MainWindowTest, FullScreenDropsMenuAndStatusBarAndComesBack)
{
    main_window_command(ID_FULLSCREEN);
    EXPECT_TRUE(shell.full_screen);
    EXPECT_EQ(StatusBarHeight(), 0);
    EXPECT_FALSE(main_window()->findChild<QMenuBar*>()->isVisible());
    EXPECT_EQ(main_window()->cursor().shape(), Qt::BlankCursor);

    double_click_at(screen_point());
    EXPECT_FALSE(shell.full_screen);
    EXPECT_EQ(main_window_checked(ID_FULLSCREEN), 0);
    EXPECT_EQ(StatusBarHeight(), 24);
    EXPECT_EQ(status_bar_led_state(), -1) << "no drive works yet";
    EXPECT_STREQ(status_bar_text(0), "Primo A64");
    EXPECT_TRUE(main_window()->findChild<QMenuBar*>()->isVisible());
    EXPECT_EQ(main_window_view()->size(), QSize(312, 240));
}

// The view as it shows now, after the pending paint.
QImage view_picture()
{
    QCoreApplication::processEvents();
    return main_window_view()->grab().toImage();
}

TEST_F(MainWindowTest, PresentedFramesShowTheBorderColour)
{
    g_ColorBorder = 0x0000FF;   // red, as 0x00BBGGRR
    UpdateFrame();
    EXPECT_EQ(view_picture().pixelColor(2, 2), QColor(255, 0, 0));
    g_ColorBorder = 0;
    UpdateFrame();
    EXPECT_EQ(view_picture().pixelColor(2, 2), QColor(0, 0, 0));
}

TEST_F(MainWindowTest, FullScreenScalesThePictureKeepingItsShape)
{
    g_ColorBorder = 0x00FF00;
    main_window_command(ID_FULLSCREEN);
    const QSize area = main_window_view()->size();
    UpdateFrame();
    const QImage shown = view_picture();
    // 312 x 240 fitted into the screen: bars left and right or above and below.
    const QSize fit = QSize(312, 240).scaled(area, Qt::KeepAspectRatio);
    const int bar_x = (area.width() - fit.width()) / 2;
    const int bar_y = (area.height() - fit.height()) / 2;
    EXPECT_GT(area.width(), 312);
    EXPECT_EQ(shown.pixelColor(bar_x + 2, bar_y + 2), QColor(0, 255, 0));
    if (bar_x > 1) {
        EXPECT_EQ(shown.pixelColor(bar_x / 2, area.height() / 2), QColor(0, 0, 0));
    }
    if (bar_y > 1) {
        EXPECT_EQ(shown.pixelColor(area.width() / 2, bar_y / 2), QColor(0, 0, 0));
    }
    main_window_command(ID_FULLSCREEN);
    g_ColorBorder = 0;
    EXPECT_EQ(main_window_view()->size(), QSize(312, 240));
}

TEST_F(MainWindowTest, FocusLossStopsTheMachineUnlessPausedRules)
{
    key_press(Qt::Key_A);
    ASSERT_EQ(host_keyboard_key_down(HK_A), 1);
    main_window_activate(0);
    EXPECT_FALSE(shell.active);
    EXPECT_EQ(host_keyboard_key_down(HK_A), 0);
    main_window_activate(1);
    EXPECT_TRUE(shell.active);
    main_window_command(ID_PAUSE);
    main_window_activate(1);
    EXPECT_FALSE(shell.active);
    main_window_command(ID_PAUSE);
}

TEST_F(MainWindowTest, ALoopPassRunsOneFrame)
{
    const int64_t before = z80_state.tcount;
    ASSERT_EQ(main_loop_pass(), 1);
    EXPECT_GE(z80_state.tcount - before, 312 * 160);
    EXPECT_LT(z80_state.tcount - before, 2 * 312 * 160);
}

// "Visszatekerés" in the machine menu puts the machine back at the
// second's mark before, as the main loop's ring kept it.
TEST_F(MainWindowTest, StepBackReturnsToTheSecondsMarkBefore)
{
    EXPECT_EQ(main_window_action(ID_STEP_BACK)->text(), QString::fromUtf8("&Visszatekerés\tF6"));
    auto frame = [] {
        machine_run();
        shell.rewind.frame_done();
    };
    while (shell.rewind.frame() % rewind_ring::FRAMES_PER_STATE != 0) frame();
    frame();
    while (shell.rewind.frame() % rewind_ring::FRAMES_PER_STATE != 0) frame();
    const int64_t mark = z80_state.tcount;
    const bytes ram(memory_get_ram(), memory_get_ram() + 0xC000);
    for (int i = 0; i < 60; ++i) frame();
    click(ID_STEP_BACK);
    EXPECT_EQ(z80_state.tcount, mark);
    EXPECT_TRUE(bytes(memory_get_ram(), memory_get_ram() + 0xC000) == ram);
    EXPECT_TRUE(main_window_checked(ID_MODEL_A64));
}

TEST_F(MainWindowTest, ABreakpointOpensTheMonitor)
{
    main_loop_pass();
    // Stop at the next instruction the processor would run.
    z80_cpu_set_breakpoint(cpu_get_pc());
    if (!z80_state.bp_enabled) z80_cpu_set_breakpoint(cpu_get_pc());
    z80_state.bp_reached = 0;
    main_loop_pass();
    EXPECT_TRUE(shell.monitor);
    EXPECT_EQ(main_window_title(), TITLE_MONITOR);
    z80_state.bp_enabled = 0;
    main_window_command(ID_MONITOR);
    EXPECT_TRUE(shell.active);
}


TEST_F(MainWindowTest, DroppedFilesRunFifteenFramesAfterAHardReset)
{
    const int64_t before = z80_state.tcount;
    answer_next_message_box();
    main_window_drop_files("/nonexistent/game.ptp");
    EXPECT_GE(z80_state.tcount - before, 15 * 312 * 160);
    EXPECT_NE(message_shown.find("game.ptp"), std::string::npos) << message_shown;
}

class ScratchFolder : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        ASSERT_TRUE(dir.isValid());
        previous = std::filesystem::current_path();
        std::filesystem::current_path(dir.path().toStdString());
    }
    void TearDown() override
    {
        ui_set_scripted_answer(nullptr);
        std::filesystem::current_path(previous);
    }
    std::string path(const char* name) const { return dir.filePath(QString::fromLatin1(name)).toStdString(); }
    QTemporaryDir dir;
    std::filesystem::path previous;
};

// A home of its own: the pictures folder is $HOME/Pictures.
class PicturesHome : public ScratchFolder {
protected:
    void SetUp() override
    {
        ScratchFolder::SetUp();
        for (const char* name : {"HOME", "XDG_CONFIG_HOME"}) saved.emplace_back(name, std::getenv(name) ? std::getenv(name) : "");
        setenv("HOME", dir.path().toLocal8Bit().constData(), 1);
        setenv("XDG_CONFIG_HOME", path("config").c_str(), 1);
    }
    void TearDown() override
    {
        for (const auto& [name, value] : saved) setenv(name.c_str(), value.c_str(), 1);
        ScratchFolder::TearDown();
    }
    std::vector<std::pair<std::string, std::string>> saved;
};

TEST_F(PicturesHome, QuickScreenshotsAndTheMemoryDumpGoToThePicturesFolderNamedInTheStatusBar)
{
    const std::string pictures = path("Pictures/Brevan");
    EXPECT_EQ(main_window_pictures_folder(), pictures);
    key_press(Qt::Key_F2);
    EXPECT_EQ(std::filesystem::file_size(pictures + "/brevan0000.bmp"), 6206u);
    EXPECT_EQ(std::string(status_bar_text(2)), "Képernyőkép mentve: " + pictures + "/brevan0000.bmp");
    EXPECT_EQ(main_window_quick_screenshot(), pictures + "/brevan0001.bmp") << "numbered on";
    main_window_action(ID_MEMDUMP)->trigger();
    EXPECT_EQ(std::filesystem::file_size(pictures + "/memdump.bin"), 65536u);
    EXPECT_EQ(std::string(status_bar_text(2)), "Memóriakép mentve: " + pictures + "/memdump.bin");
    EXPECT_FALSE(std::filesystem::exists(path("brevan0000.bmp"))) << "not where the program was started";
}

TEST_F(PicturesHome, FailedSavesNameTheFileAndTheReasonAndLeaveNoStaleText)
{
    { std::ofstream(path("Pictures")) << "a file where the pictures folder would be"; }
    const struct { command_id command; std::string answer, file; } cases[] = {
        {ID_SCREENSHOT_AS, path("no/such/shot.png"), path("no/such/shot.png")},
        {ID_SOUND_SAVE, path("no/such/sound.wav"), path("no/such/sound.wav")},
        {ID_PSS_SAVE, path("no/such/state.pss"), path("no/such/state.pss")},
        {ID_SCREENSHOT, "", path("Pictures/Brevan/brevan0000.bmp")},
        {ID_MEMDUMP, "", path("Pictures/Brevan/memdump.bin")},
    };
    for (const auto& c : cases) {
        StatusBarText("Képernyőkép mentve: %s", path("earlier.bmp").c_str());
        ui_set_scripted_answer(c.answer.empty() ? nullptr : c.answer.c_str());
        answer_next_message_box();
        main_window_action(c.command)->trigger();
        EXPECT_NE(message_shown.find(c.file), std::string::npos) << message_shown;
        EXPECT_TRUE(message_shown.find("nem található") != std::string::npos ||
                    message_shown.find("nem mappa") != std::string::npos) << message_shown;
        EXPECT_NE(std::string(status_bar_text(2)).find("nem menthető: " + c.file), std::string::npos)
            << status_bar_text(2);
    }
    EXPECT_EQ(main_window_checked(ID_SOUND_SAVE), 0);
}

// Every chooser of the menus, as it opens: a Hungarian title and filters.
TEST_F(ScratchFolder, ChoosersSpeakHungarian)
{
    const command_id choosers[] = {ID_AUTOLOAD, ID_PSS_LOAD, ID_PSS_SAVE, ID_LOAD_ROM, ID_SCREENSHOT_AS,
                                   ID_SOUND_SAVE, ID_PTP_ATTACH, ID_WAV_LOAD, ID_WAV_SAVE, ID_INSERT_A,
                                   ID_MAKE_CPM_DISK};
    ui_set_scripted_answer(nullptr);
    for (const command_id command : choosers) {
        static QString seen;
        seen.clear();
        QTimer::singleShot(0, [] {
            if (auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                seen = chooser->windowTitle() + " | " + chooser->nameFilters().join(" | ");
                chooser->reject();
            }
        });
        main_window_action(command)->trigger();
        ASSERT_FALSE(seen.isEmpty()) << command;
        for (const char* english : {"All", "Files", "file", "Screenshot", "External", "snapshot", "Error"})
            EXPECT_FALSE(seen.contains(QString::fromLatin1(english))) << seen.toStdString();
    }
}

TEST_F(ScratchFolder, ScreenshotAsWritesPngForAPngName)
{
    ui_set_scripted_answer(path("shot.png").c_str());
    main_window_command(ID_SCREENSHOT_AS);
    QImage shot(QString::fromStdString(path("shot.png")));
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), QSize(312, 240));

    ui_set_scripted_answer(path("shot.bmp").c_str());
    main_window_command(ID_SCREENSHOT_AS);
    EXPECT_EQ(std::filesystem::file_size(path("shot.bmp")), 6206u);
}

TEST_F(ScratchFolder, SoundRecordingIsMarkedOnlyWhenTheFileOpened)
{
    ui_set_scripted_answer(path("no/such/folder/out.wav").c_str());
    answer_next_message_box();
    click(ID_SOUND_SAVE);
    EXPECT_EQ(main_window_checked(ID_SOUND_SAVE), 0);

    ui_set_scripted_answer(path("out.wav").c_str());
    click(ID_SOUND_SAVE);
    EXPECT_EQ(main_window_checked(ID_SOUND_SAVE), 1);
    ui_set_scripted_answer(path("other.wav").c_str());
    click(ID_SOUND_SAVE);
    EXPECT_EQ(main_window_checked(ID_SOUND_SAVE), 0);
    EXPECT_FALSE(std::filesystem::exists(path("other.wav"))) << "the second click only closes";
    EXPECT_TRUE(std::filesystem::exists(path("out.wav")));
    EXPECT_EQ(std::string(status_bar_text(2)), "Hangfelvétel mentve: " + path("out.wav")) << "not the running count";
}

std::string boxed;

TEST_F(ScratchFolder, DiskMenuInsertsAndEjectsAndNamesWhatItRefuses)
{
    const auto saved_hook = shell_output.box;
    shell_output.box = [](const char* title, const char* text) { boxed = std::string(title) + ": " + text; };
    const std::string disk = path("b.dsk");
    { std::ofstream(disk, std::ios::binary) << std::string(368640, '\xE5'); }
    ui_set_scripted_answer(disk.c_str());
    main_window_action(insert_command(1))->trigger();
    EXPECT_EQ(main_window_action(insert_command(1))->text(), QString::fromStdString("&B: meghajtó - " + disk));
    EXPECT_STREQ(status_bar_text(2), "Lemez: 1 oldal, 80 sáv, 9 szektor, 360 kb.");
    const std::vector<uint8_t> ones(512, 0x11);
    ASSERT_EQ(disk_img_write_sector(diskimg_drive(1), 0, 0, 1, ones.data()), 1);
    main_window_action(eject_command(1))->trigger();
    EXPECT_EQ(main_window_action(insert_command(1))->text(), QString::fromUtf8("&B: meghajtó - <üres>"));
    EXPECT_EQ(diskimg_inserted(diskimg_drive(1)), 0);
    std::ifstream written(disk, std::ios::binary);
    EXPECT_EQ(written.get(), 0x11) << "ejecting writes the changes back";

    const std::string junk = path("junk.dsk");
    { std::ofstream(junk) << "not a disk"; }
    ui_set_scripted_answer(junk.c_str());
    main_window_action(ID_INSERT_A)->trigger();
    EXPECT_EQ(boxed.rfind("Hiba a lemez behelyezésekor: " + junk + ": ismeretlen lemezformátum", 0), 0u) << boxed;
    EXPECT_EQ(main_window_action(ID_INSERT_A)->text(), QString::fromUtf8("&A: meghajtó - <üres>"));
    ui_set_scripted_answer(path("missing.dsk").c_str());
    main_window_action(ID_INSERT_A)->trigger();
    EXPECT_NE(boxed.find(path("missing.dsk")), std::string::npos) << boxed;
    shell_output.box = saved_hook;

    // One image in two drives: refused in the real message box, naming the
    // drive that holds it, and both drives stay as they were.
    const std::string other = path("other.dsk");
    { std::ofstream(other, std::ios::binary) << std::string(368640, '\xE5'); }
    for (const auto& [drive, image] : {std::pair{1, disk}, std::pair{0, other}}) {
        ui_set_scripted_answer(image.c_str());
        main_window_action(insert_command(drive))->trigger();
    }
    const std::filesystem::path link = path("link.dsk");
    std::filesystem::create_symlink(disk, link);
    ui_set_scripted_answer(link.c_str());
    answer_next_message_box();
    main_window_action(ID_INSERT_A)->trigger();
    EXPECT_NE(message_shown.find("B: meghajtóban"), std::string::npos) << message_shown;
    EXPECT_EQ(main_window_action(ID_INSERT_A)->text(), QString::fromStdString("&A: meghajtó - " + other));
    EXPECT_EQ(diskimg_drive(0).path, other);
    main_window_action(ID_EJECT_ALL)->trigger();
    EXPECT_STREQ(status_bar_text(2), "Minden lemez kidobva.");
}

TEST_F(ScratchFolder, MakeCpmDiskWritesTheFormatOfTheChosenFilter)
{
    ui_set_scripted_answer(path("system").c_str());
    ui_set_scripted_filter(2);
    main_window_action(ID_MAKE_CPM_DISK)->trigger();
    ui_set_scripted_filter(0);
    ASSERT_TRUE(std::filesystem::exists(path("system.dsk")));
    EXPECT_EQ(std::filesystem::file_size(path("system.dsk")), 368640u) << cpm_disk_formats[2].name;
    EXPECT_NE(std::string(status_bar_text(2)).find("system.dsk"), std::string::npos);
}

// Presses and releases a key the way a person types it, with the machine
// running a few frames in between.
void type_key(int qt_key, bool shift = false)
{
    const Qt::KeyboardModifiers mods = shift ? Qt::ShiftModifier : Qt::NoModifier;
    if (shift) key_press(Qt::Key_Shift, mods);
    key_press(qt_key, mods);
    for (int i = 0; i < 3; ++i) main_loop_pass();
    key_release(qt_key, mods);
    if (shift) key_release(Qt::Key_Shift);
    for (int i = 0; i < 3; ++i) main_loop_pass();
}

// Runs frames until the firmware's prompt is back; calls watch after each.
template <typename F>
void run_to_prompt(F watch)
{
    for (int i = 0; i < 400; ++i) {
        main_loop_pass();
        watch();
        const auto lines = screen_text_lines();
        const int row = screen_cursor_row();
        if (i > 2 && row >= 0 && row < static_cast<int>(lines.size()) && lines[row] == ">") return;
    }
    ADD_FAILURE() << "no prompt\n" << screen_text_dump();
}

class DriveFolder : public ScratchFolder {
protected:
    void SetUp() override
    {
        ScratchFolder::SetUp();
        sync = shell.sync;
        shell.sync = false;
        main_window_action(ID_COLD_RESET)->trigger();
        for (int i = 0; i < 40; ++i) main_loop_pass();
    }
    void TearDown() override
    {
        shell.sync = sync;
        printer_set_path(nullptr);
        ScratchFolder::TearDown();
    }
    bool sync = true;
};

TEST_F(DriveFolder, TheDriveLampLightsWhileTheDriveReads)
{
    for (int i = 0; i < 20; ++i) std::ofstream(path(("FILE" + std::to_string(i) + ".PRI").c_str())) << i;
    // The folder is chosen in the menu's own folder dialog.
    QTimer::singleShot(0, [this] {
        auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(chooser, nullptr);
        chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(dir.path());
        chooser->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
    });
    main_window_action(ID_DRIVE_DIR)->trigger();
    ASSERT_EQ(std::filesystem::path(emu_drive_folder()), std::filesystem::path(dir.path().toStdString()));

    led_update(-1);
    type_key(Qt::Key_4, true);   // $: the directory
    key_press(Qt::Key_Return);
    bool lit = false;
    run_to_prompt([&] { lit = lit || lamps_shown() == "1000"; });
    EXPECT_TRUE(lit);
    EXPECT_EQ(lamps_shown(), "0000");
    EXPECT_TRUE(screen_shows("0 BLOCKS FREE.")) << screen_text_dump();
}

TEST_F(DriveFolder, TheStatusBarNamesThePrinterFileWhenAJobStarts)
{
    printer_set_path(path("printer.txt").c_str());
    for (int key : {Qt::Key_P, Qt::Key_4, Qt::Key_Space, Qt::Key_X}) type_key(key);
    key_press(Qt::Key_Return);
    run_to_prompt([] {});
    EXPECT_EQ(status_bar_text(2), "Nyomtatás ide: " + path("printer.txt"));
}

void trigger(command_id command) { main_window_action(command)->trigger(); }

void run_frames(int n)
{
    for (int i = 0; i < n; ++i) main_loop_pass();
}

TEST_F(ScratchFolder, PasteTypesTheClipboardAtThePrompt)
{
    main_window_command(ID_COLD_RESET);
    run_frames(40);
    QGuiApplication::clipboard()->setText(QStringLiteral("E 6000 12 34\nE 6002 56\n"));
    trigger(ID_PASTE);
    run_frames(80);
    EXPECT_EQ(mem_read(0x6000), 0x12);
    EXPECT_EQ(mem_read(0x6001), 0x34);
    EXPECT_EQ(mem_read(0x6002), 0x56);
}

TEST_F(ScratchFolder, TheResetKeyAndAColdRestartEndAPaste)
{
    for (const bool by_key : {true, false}) {
        SCOPED_TRACE(by_key ? "F1" : "cold restart");
        main_window_command(ID_COLD_RESET);
        run_frames(40);
        QGuiApplication::clipboard()->setText(QString(300, QChar('A')));
        trigger(ID_PASTE);
        run_frames(5);
        ASSERT_GT(typing_steps_left(), 0u);
        if (by_key) {
            key_press(Qt::Key_F1);
            key_release(Qt::Key_F1);
        } else {
            trigger(ID_COLD_RESET);
        }
        EXPECT_EQ(typing_steps_left(), 0u);
    }
}

TEST_F(ScratchFolder, TapeCommandsAttachRecordPlayAndLightTheLamp)
{
    ASSERT_TRUE(write_bytes(path("m.ptp"), ptp_program_at("M", 0x6000, {0x42}, 0x6000)));
    ui_set_scripted_answer(path("m.ptp").c_str());
    trigger(ID_PTP_ATTACH);
    EXPECT_EQ(ptp_attached(), 1);

    ui_set_scripted_answer(path("rec").c_str());
    ui_set_scripted_filter(3);
    trigger(ID_WAV_SAVE);
    ASSERT_EQ(tape_wav_open(), 2);
    EXPECT_NE(mem_read(0x3B49), 0xED);   // the save goes through the signal
    trigger(ID_PLAY);
    EXPECT_EQ(main_window_checked(ID_PLAY), 1);
    z80_out(0x00, 0x80);   // motor on
    EXPECT_EQ(status_bar_tape_lamp_state(), 1);
    z80_out(0x00, 0x84);
    EXPECT_EQ(status_bar_tape_lamp_state(), 0);
    trigger(ID_PLAY);
    EXPECT_EQ(main_window_checked(ID_PLAY), 0);
    trigger(ID_WAV_CLOSE);
    EXPECT_EQ(mem_read(0x3B49), 0xED);   // the traps are back
    const bytes wav = read_bytes(path("rec.wav"));
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(wav[24] | wav[25] << 8, 8000);
}

TEST_F(ScratchFolder, SnapshotsAndAutoloadGoThroughTheirChoosers)
{
    ui_set_scripted_answer(path("state").c_str());
    z80_state.pc = 0x1234;
    trigger(ID_PSS_SAVE);
    EXPECT_EQ(std::filesystem::file_size(path("state.pss")), PSS_SIZE);
    z80_state.pc = 0;
    ui_set_scripted_answer(path("state.pss").c_str());
    trigger(ID_PSS_LOAD);
    EXPECT_EQ(z80_state.pc, 0x1234);

    ASSERT_TRUE(write_bytes(path("short.pss"), {1, 2, 3}));
    ui_set_scripted_answer(path("short.pss").c_str());
    answer_next_message_box();
    trigger(ID_PSS_LOAD);
    EXPECT_NE(message_shown.find("short.pss"), std::string::npos) << message_shown;

    ASSERT_TRUE(write_bytes(path("go.pp"), {0x00, 0x70, 0x00, 0x70, 0x18, 0xFE}));
    ui_set_scripted_answer(path("go.pp").c_str());
    trigger(ID_AUTOLOAD);
    EXPECT_EQ(mem_read(0x7000), 0x18);
    EXPECT_EQ(z80_state.pc, 0x7000);
}

}  // namespace
