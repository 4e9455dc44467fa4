// The monitor in the window: a breakpoint set with its keys stops the
// running program, the monitor opens there, Enter steps, Escape resumes.
#include <gtest/gtest.h>

#include <QImage>
#include <QKeyEvent>
#include <QWidget>
#include <string>

#include "core/machine.h"
#include "core/bus.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "debug/monitor.h"
#include "gui_app.h"
#include "host/app/shell.h"
#include "host/window/main_loop.h"
#include "host/window/main_window.h"
#include "host/window/screen_view.h"
#include "host/window/statusbar.h"
#include "program_environment.h"

namespace {

const auto* const environment = ::testing::AddGlobalTestEnvironment(new ProgramEnvironment);

void key(int qt_key)
{
    QKeyEvent press(QEvent::KeyPress, qt_key, Qt::NoModifier);
    QCoreApplication::sendEvent(main_window(), &press);
    QKeyEvent release(QEvent::KeyRelease, qt_key, Qt::NoModifier);
    QCoreApplication::sendEvent(main_window(), &release);
}

// What the window shows: painting measures the view and draws the page.
std::string shown_row(int row)
{
    main_window_view()->repaint();
    return monitor_row_text(row);
}

// The loop a person would see running: no frame NMI, known registers.
constexpr uint16_t LOOP = 0x8018;
constexpr uint16_t ADD = 0x801D;
void load_program()
{
    const uint8_t bytes[] = {
        0xF3,                     // 8000 di
        0x3E, 0x08,               // 8001 ld a,08h
        0xD3, 0x00,               // 8003 out (00h),a: no frame NMI
        0xED, 0x47,               // 8005 ld i,a
        0x31, 0x00, 0xA0,         // 8007 ld sp,0a000h
        0xDD, 0x21, 0x11, 0x11,   // 800A ld ix,1111h
        0xFD, 0x21, 0x22, 0x22,   // 800E ld iy,2222h
        0x11, 0xEF, 0xBE,         // 8012 ld de,0beefh
        0x00, 0x00, 0x00,         // 8015 nop, nop, nop
        0x3E, 0x05,         // 8018 ld a,05h
        0x01, 0x00, 0x07,   // 801A ld bc,0700h
        0x80,               // 801D add a,b
        0x21, 0x34, 0x12,   // 801E ld hl,1234h
        0x23,               // 8021 inc hl
        0x18, 0xF4,         // 8022 jr 8018h
    };
    uint16_t at = 0x8000;
    for (uint8_t b : bytes) mem_write(at++, b);
}

// The cursor moved with Up and Down as a person would, watching the
// listing's first line.
void move_cursor_to(uint16_t address)
{
    for (int presses = 0; presses < 40 && monitor_get_current_pc() != address; ++presses)
        key(monitor_get_current_pc() < address ? Qt::Key_Down : Qt::Key_Up);
    ASSERT_EQ(monitor_get_current_pc(), address);
}

TEST(MonitorView, ABreakpointSetWithF4StopsTheProgramAndEnterStepsIt)
{
    shell.paused = false;
    shell.monitor = false;
    shell.active = true;
    load_program();
    z80_state.pc = 0x8000;
    main_loop_pass();

    key(Qt::Key_Escape);   // the monitor, wherever the loop was
    ASSERT_TRUE(shell.monitor);
    move_cursor_to(ADD);
    key(Qt::Key_F4);
    EXPECT_NE(shown_row(1).find("BP:801D(ON )"), std::string::npos) << shown_row(1);
    EXPECT_EQ(monitor_breakpoint_row(), 3) << "the listing marks the breakpoint's line";
    key(Qt::Key_Escape);
    ASSERT_FALSE(shell.monitor);

    main_loop_pass();   // runs into the breakpoint
    ASSERT_TRUE(shell.monitor);
    EXPECT_EQ(main_window_title(), "Brevan - (Monitor)");
    EXPECT_EQ(shown_row(0).substr(0, 42), "AF:0508,BC:0700,DE:BEEF,HL:1235,IP:801D,R:");
    EXPECT_EQ(shown_row(1), "IX:1111,IY:2222,SP:A000,I:08,BP:801D(ON ),FL:00001000");
    EXPECT_EQ(shown_row(3).substr(0, 6), " 801D ");

    // Three steps: add a,b; ld hl,1234h; inc hl.
    const struct { const char* registers; uint16_t pc; } steps[] = {
        {"AF:0C08,BC:0700,DE:BEEF,HL:1235,IP:801E", 0x801E},
        {"AF:0C08,BC:0700,DE:BEEF,HL:1234,IP:8021", 0x8021},
        {"AF:0C08,BC:0700,DE:BEEF,HL:1235,IP:8022", 0x8022},
    };
    for (const auto& step : steps) {
        key(Qt::Key_Return);
        EXPECT_EQ(shown_row(0).substr(0, 39), step.registers);
        EXPECT_EQ(monitor_get_current_pc(), step.pc);
    }

    // Leaving resumes there: the loop goes round and stops at the breakpoint again.
    const int64_t before = z80_state.tcount;
    key(Qt::Key_Escape);
    EXPECT_FALSE(shell.monitor);
    main_loop_pass();
    ASSERT_TRUE(shell.monitor);
    EXPECT_EQ(z80_state.pc, ADD);
    EXPECT_EQ(z80_state.tcount - before, 12 + 7 + 10);   // jr, ld a, ld bc
    EXPECT_EQ(shown_row(0).substr(0, 7), "AF:0508");

    // F4 on the same address turns it off; the program then runs whole frames.
    key(Qt::Key_F4);
    key(Qt::Key_Escape);
    main_loop_pass();
    EXPECT_FALSE(shell.monitor);
    EXPECT_EQ(z80_state.bp_enabled, 0);
}

TEST(MonitorView, F2ShowsMemoryAndF1TheListingAtPc)
{
    key(Qt::Key_Escape);
    ASSERT_TRUE(shell.monitor);
    key(Qt::Key_F2);
    EXPECT_EQ(monitor_get_page(), MONITOR_PAGE_MEMORY);
    EXPECT_EQ(shown_row(0).substr(0, 7), " 0000: ");
    EXPECT_EQ(monitor_separator_row(), -1);
    key(Qt::Key_F1);
    EXPECT_EQ(monitor_get_page(), MONITOR_PAGE_DISASSEMBLY);
    EXPECT_EQ(monitor_get_current_pc(), z80_state.pc);
    key(Qt::Key_Escape);
}

} // namespace

// A call into a gap of the built-in firmware stops there as a breakpoint
// would: the monitor opens at the address called, the status bar says why.
TEST(MonitorView, ACallIntoTheFirmwaresGapsOpensTheMonitorThere)
{
    shell.monitor = false;
    const uint8_t call[] = {0xCD, 0x70, 0x1E, 0x18, 0xFE};   // CALL 1E70 ; JR $
    uint16_t at = 0x8000;
    for (uint8_t b : call) mem_write(at++, b);
    z80_state.sp = 0xA000;
    z80_state.pc = 0x8000;
    main_loop_pass();
    ASSERT_TRUE(shell.monitor);
    EXPECT_EQ(z80_state.pc, 0x1E70);
    EXPECT_EQ(mem_read_word(z80_state.sp), 0x8003);   // as the call left it
    EXPECT_NE(std::string(status_bar_text(2)).find("0x1E70 címét hívta (0x8000-ről)"), std::string::npos)
        << status_bar_text(2);
    key(Qt::Key_Escape);
}
