// The joystick readout at port group 0x40: the keypad stick (bit 0) and a
// game controller (bit 2), here SDL's virtual controller plugged in and out
// while the emulator runs.
#include <gtest/gtest.h>

#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QWidget>
#include <SDL.h>
#include <string>

#include "core/bus.h"
#include "core/memory.h"
#include "core/machine.h"
#include "cpu/cpu.h"
#include "gui_app.h"
#include "host/app/shell.h"
#include "host/dialogs/ui.h"
#include "host/window/main_loop.h"
#include "host/window/main_window.h"
#include "host/window/statusbar.h"
#include "program_environment.h"

namespace {

const auto* const environment = ::testing::AddGlobalTestEnvironment(new ProgramEnvironment);

void keypad(int qt_key, bool down)
{
    QKeyEvent e(down ? QEvent::KeyPress : QEvent::KeyRelease, qt_key, Qt::KeypadModifier);
    QCoreApplication::sendEvent(main_window(), &e);
}

constexpr int STEP = 1644;      // the longest gap that still advances
constexpr int RESTART = 1645;   // the shortest that starts again at left

// A rising edge of control bit 6 after a gap; returns bits 0 and 2 of
// port 0x40 (0 = active).
int edge_after(int gap)
{
    z80_out(0x00, 0x08);
    z80_state.tcount += gap;
    z80_out(0x00, 0x48);
    return z80_in(0x40) & 0x05;
}

// The bits read after each edge of one sequence: left, down, right, up,
// fire, three edges that change nothing, and left again.
std::string sequence()
{
    std::string read;
    read += static_cast<char>('0' + edge_after(RESTART));
    for (int i = 1; i < 9; ++i) read += static_cast<char>('0' + edge_after(STEP));
    return read;
}

std::string about_text;

int main_loop_passes(int n)
{
    int ok = 1;
    shell.paused = false;
    shell.monitor = false;
    shell.active = true;
    for (int i = 0; i < n; ++i) ok &= main_loop_pass();
    return ok;
}

TEST(Joystick, KeypadAndControllerStepThroughTheSequenceAtBothClocks)
{
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                                SDL_CONTROLLER_BUTTON_MAX, 0);
    ASSERT_GE(index, 0) << SDL_GetError();
    main_loop_passes(1);
    const std::string named = std::string("Botkormány: ") + SDL_GameControllerNameForIndex(index);
    EXPECT_EQ(std::string(status_bar_text(2)), named);
    about_text.clear();
    ui_set_dialog_hook([](QDialog* dialog) {
        for (auto* label : dialog->findChildren<QLabel*>()) about_text += label->text().toStdString() + "\n";
    });
    ui_about_dialog(nullptr);
    ui_set_dialog_hook(nullptr);
    EXPECT_NE(about_text.find(named), std::string::npos) << about_text;
    SDL_Joystick* stick = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(index));
    ASSERT_NE(stick, nullptr);
    SDL_JoystickSetVirtualAxis(stick, SDL_CONTROLLER_AXIS_LEFTX, -32768);
    SDL_JoystickSetVirtualButton(stick, SDL_CONTROLLER_BUTTON_A, 1);
    keypad(Qt::Key_8, true);
    main_loop_passes(1);

    // Digits: 5 neither, 4 keypad (bit 0 low), 1 controller (bit 2 low), 0 both.
    for (command_id command : {ID_CLOCK_25, ID_CLOCK_375}) {
        main_window_command(command);
        EXPECT_EQ(sequence(), "155411111") << command;
        EXPECT_EQ(edge_after(RESTART), 1) << "a pause starts again at left";
    }
    keypad(Qt::Key_8, false);
    SDL_JoystickSetVirtualAxis(stick, SDL_CONTROLLER_AXIS_LEFTX, 0);
    SDL_JoystickSetVirtualButton(stick, SDL_CONTROLLER_BUTTON_A, 0);
    main_loop_passes(1);
    EXPECT_EQ(sequence(), "555555555") << "centred and released";

    // The centre band: 20 % of the axis range.
    const struct { int16_t x; const char* read; } axes[] = {
        {-6556, "155555551"}, {-6555, "555555555"}, {6552, "555555555"}, {6553, "551555555"},
    };
    for (const auto& a : axes) {
        SDL_JoystickSetVirtualAxis(stick, SDL_CONTROLLER_AXIS_LEFTX, a.x);
        main_loop_passes(1);
        EXPECT_EQ(sequence(), a.read) << a.x;
    }
    SDL_JoystickDetachVirtual(index);
    main_loop_passes(1);
}

TEST(Joystick, UnpluggingTheControllerInUseReleasesItsStick)
{
    EXPECT_EQ(sequence(), "555555555") << "no controller";
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                                SDL_CONTROLLER_BUTTON_MAX, 0);
    ASSERT_GE(index, 0) << SDL_GetError();
    main_loop_passes(1);
    SDL_Joystick* stick = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(index));
    SDL_JoystickSetVirtualButton(stick, SDL_CONTROLLER_BUTTON_DPAD_UP, 1);
    main_loop_passes(1);
    EXPECT_EQ(sequence(), "555155555");

    SDL_JoystickDetachVirtual(index);   // unplugged with the button held
    main_loop_passes(1);
    EXPECT_EQ(sequence(), "555555555");
    EXPECT_NE(std::string(status_bar_text(2)).find("kihúzva"), std::string::npos);
}

} // namespace
