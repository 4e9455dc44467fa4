// The monitor's pages and cursors, without a window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/bus.h"
#include "core/memory.h"
#include "core/machine.h"
#include "cpu/cpu.h"
#include "debug/monitor.h"
#include "support/test_machine.h"

namespace {

class Monitor : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_machine_select(MODEL_A64);
        monitor_set_screen_params(6, 80);
    }
    static void load(uint16_t at, const std::vector<uint8_t>& bytes)
    {
        for (uint8_t b : bytes) mem_write(at++, b);
    }
};

TEST_F(Monitor, MemoryRowsShowHexWithAGapAfterTheEighthByteAndPrintableCharacters)
{
    load(0xFFF0, {0x41, 0x1F, 0x20, 0x7D, 0x7E, 0x7F, 0x00, 0x48, 0x49, 0x4A, 0xFF, 0x4C, 0x4D, 0x4E, 0x4F, 0x50});
    monitor_select_page(MONITOR_PAGE_MEMORY);
    step_dir(-1);   // from 0000 back one row of 16 bytes, wrapping
    EXPECT_STREQ(monitor_row_text(0),
                 " FFF0: 41 1F 20 7D 7E 7F 00 48  49 4A FF 4C 4D 4E 4F 50 :A. }...HIJ.LMNOP");
    EXPECT_EQ(std::string(monitor_row_text(1)).substr(0, 7), " 0000: ");
    EXPECT_EQ(monitor_row_count(), 6);
    step_dir(1);

    const struct { int cols, bytes; } widths[] = {{80, 16}, {79, 12}, {56, 8}, {32, 4}, {31, 0}, {15, 0}};
    for (const auto& w : widths) EXPECT_EQ(monitor_bytes_per_row(w.cols), w.bytes) << w.cols;
}

TEST_F(Monitor, UpFindsTheLongestInstructionEndingAtTheCursor)
{
    const struct {
        std::vector<uint8_t> before;   // the five bytes before the cursor at 9005
        uint16_t expected;
    } cases[] = {
        {{0x00, 0x00, 0x00, 0x00, 0x00}, 0x9004},   // nop
        {{0x00, 0xDD, 0xCB, 0x05, 0x06}, 0x9001},   // rlc (ix+05h), not a shorter tail
        {{0x00, 0x00, 0x01, 0x34, 0x12}, 0x9002},   // ld bc,1234h
        {{0x00, 0x00, 0x00, 0xC3, 0xC3}, 0x9004},   // nothing ends here: one byte back
    };
    for (const auto& c : cases) {
        load(0x9000, c.before);
        z80_state.pc = 0x9005;
        debug();
        step_dir(-1);
        EXPECT_EQ(monitor_get_current_pc(), c.expected);
    }
}

TEST_F(Monitor, AStepIntoACallListsTheCalledCodeUnderTheRegisterDump)
{
    load(0x9000, {0xCD, 0x00, 0xA0});   // call 0a000h
    load(0xA000, {0x3E, 0x42});         // ld a,42h
    z80_state.pc = 0x9000;
    z80_state.sp = 0xC000;
    monitor_select_page(MONITOR_PAGE_MEMORY);
    monitor_single_step();
    EXPECT_EQ(monitor_get_page(), MONITOR_PAGE_DISASSEMBLY);
    EXPECT_EQ(monitor_get_current_pc(), 0xA000);
    EXPECT_EQ(std::string(monitor_row_text(0)).substr(35, 5), "A000,");
    EXPECT_EQ(monitor_separator_row(), 3);
    EXPECT_STREQ(monitor_row_text(3), " A000 3E 42       ld a,42h");
    step_dir_page(1);   // a page is the three rows of listing under the dump
    EXPECT_EQ(monitor_get_current_pc(), 0xA004);
}

} // namespace
