// The frame driver: frame length at both clocks, vertical blank, the frame
// NMI, breakpoints inside a frame, resets and the model change.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <vector>

#include "core/event.h"
#include "core/hooks.h"
#include "core/machine.h"
#include "core/bus.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "devices/screen.h"
#include "devices/wd1793.h"
#include "support/test_machine.h"

namespace {

class Machine : public ::testing::Test {
protected:
    void SetUp() override
    {
        host_hooks = {};
        test_machine_select(MODEL_A64);
        z80_out(0x00, 0x08);
        z80_state.sp = 0xFF00;
        z80_state.iff1 = z80_state.iff2 = 0;
        z80_state.int_request = 0;
        vblank = 0;
        // Whatever frame a previous test left unfinished ends here.
        z80_state.bp_enabled = 0;
        load(0x4000, {0x18, 0xFE});   // JR $
        z80_state.pc = 0x4000;
        machine_run();
    }
    void TearDown() override { host_hooks = {}; }

    static void load(uint16_t at, std::initializer_list<uint8_t> bytes)
    {
        for (uint8_t b : bytes) the_machine.mem.memory[at++] = b;
    }
    static void start(uint16_t pc) { z80_state.pc = pc; }

    // T-states of whole instructions, cycling through costs, until each of
    // the frame's two runs has reached its budget.
    static int64_t frame_length(int line, const std::vector<int>& costs, size_t& next)
    {
        int64_t total = 0;
        for (int budget : {24 * line, 288 * line}) {
            int64_t run = 0;
            while (run < budget) run += costs[next++ % costs.size()];
            total += run;
        }
        return total;
    }
};

// NOP, NOP, JR back: 20 T-states a loop, dividing both runs exactly.
void load_nop_loop()
{
    const uint8_t program[] = {0x00, 0x00, 0x18, 0xFC};
    for (int i = 0; i < 4; ++i) the_machine.mem.memory[0x4000 + i] = program[i];
}

TEST_F(Machine, FrameIs312LinesAtEitherClock)
{
    load_nop_loop();
    start(0x4000);
    int64_t before = z80_state.tcount;
    machine_run();
    EXPECT_EQ(z80_state.tcount - before, 312 * 160);

    machine_set_clock(3750000);
    EXPECT_EQ(z80_state.cycles_per_line, 240u);
    EXPECT_EQ(machine_get_clock(), 3750000);
    start(0x4000);
    before = z80_state.tcount;
    machine_run();
    EXPECT_EQ(z80_state.tcount - before, 312 * 240);
}

TEST_F(Machine, OvershootOfEachRunIsNotCarriedOver)
{
    load(0x4000, {0x7E, 0x18, 0xFD});   // LD A,(HL) 7; JR back 12
    const std::vector<int> costs{7, 12};
    for (int clock : {2500000, 3750000}) {
        SCOPED_TRACE(clock);
        machine_set_clock(clock);
        start(0x4000);
        size_t next = 0;
        for (int frame = 0; frame < 3; ++frame) {
            const int64_t before = z80_state.tcount;
            machine_run();
            EXPECT_EQ(z80_state.tcount - before, frame_length(clock / 15625, costs, next));
        }
    }
}

TEST_F(Machine, VblankIsHighOnlyDuringTheBlankingLines)
{
    // IN A,(0); LD (HL),A; INC HL; JR back: samples port 0 into RAM.
    load(0x4000, {0xDB, 0x00, 0x77, 0x23, 0x18, 0xFA});
    z80_state.hl = 0x8000;
    start(0x4000);
    vblank = 0;
    machine_run();
    EXPECT_EQ(vblank, 1);
    EXPECT_EQ(z80_in(0x00) & 0x20, 0x20);
    const uint16_t first_end = z80_state.hl;
    machine_run();
    const uint16_t second_end = z80_state.hl;
    ASSERT_GT(first_end, 0x8000);
    for (uint16_t a = 0x8000; a < first_end; ++a) ASSERT_EQ(mem_read(a) & 0x20, 0) << a;
    int high = 0;
    for (uint16_t a = first_end; a < second_end; ++a) {
        const bool in_blank = a - first_end < 100;
        if (mem_read(a) & 0x20) {
            ++high;
            ASSERT_TRUE(a - first_end < 120) << "vblank high in the visible part at " << a;
        } else {
            ASSERT_FALSE(in_blank) << "vblank low in the blanking lines at " << a;
        }
    }
    // 24 lines of 160 T-states, 35 T-states per sample.
    EXPECT_NEAR(high, 24 * 160 / 35, 2);
}

TEST_F(Machine, FrameRaisesTheNmiOnlyWhenEnabled)
{
    z80_out(0x00, 0x08);
    machine_run();
    EXPECT_EQ(z80_state.nmi_request, 0);
    EXPECT_EQ(vblank, 1);

    z80_out(0x00, 0x88);
    EXPECT_EQ(z80_state.nmi_request, 0);
    z80_state.nmi_in_service = 1;
    machine_run();
    EXPECT_EQ(z80_state.nmi_request, 1);
    EXPECT_EQ(z80_state.nmi_in_service, 0);   // cleared at the end of the blanking lines
    EXPECT_EQ(vblank, 1);

    z80_out(0x00, 0x08);   // withdrawn before the processor takes it
    EXPECT_EQ(z80_state.nmi_request, 0);
    z80_out(0x00, 0x88);
    EXPECT_EQ(z80_state.nmi_request, 0);
}

class MachineNmi : public Machine {
protected:
    void SetUp() override
    {
        Machine::SetUp();
        // At 0x66: LD A,(0x9000); INC A; LD (0x9000),A; RETN
        const uint8_t handler[] = {0x3A, 0x00, 0x90, 0x3C, 0x32, 0x00, 0x90, 0xED, 0x45};
        for (int i = 0; i < 9; ++i) rom_pointer()[0x66 + i] = handler[i];
        load(0x4000, {0x18, 0xFE});
        start(0x4000);
        z80_state.nmi_request = 0;
        z80_state.nmi_in_service = 0;
        the_machine.mem.memory[0x9000] = 0;
    }
    static int taken() { return the_machine.mem.memory[0x9000]; }
};

TEST_F(MachineNmi, EnabledNmiIsTakenOncePerFrame)
{
    z80_out(0x00, 0x88);
    for (int i = 0; i < 5; ++i) machine_run();
    EXPECT_EQ(taken(), 4);   // the first frame had none pending
    EXPECT_EQ(z80_state.pc, 0x4000);
}

TEST_F(MachineNmi, DisabledNmiIsNeverTaken)
{
    z80_out(0x00, 0x08);
    for (int i = 0; i < 5; ++i) machine_run();
    EXPECT_EQ(taken(), 0);
    EXPECT_EQ(vblank, 1);
}

TEST_F(MachineNmi, WithdrawnNmiWaitsForTheNextVisiblePartToEnd)
{
    z80_out(0x00, 0x88);
    machine_run();
    ASSERT_EQ(z80_state.nmi_request, 1);
    z80_out(0x00, 0x08);
    z80_out(0x00, 0x88);
    machine_run();
    EXPECT_EQ(taken(), 0);
    EXPECT_EQ(z80_state.nmi_request, 1);
    machine_run();
    EXPECT_EQ(taken(), 1);
}

TEST_F(Machine, BreakpointStopsTheFrameAndTheNextCallFinishesIt)
{
    load_nop_loop();
    start(0x4000);
    z80_state.bp_address = 0x4001;
    z80_state.bp_enabled = 1;
    z80_state.bp_reached = 0;
    const int64_t before = z80_state.tcount;
    for (int stop = 1; stop <= 3; ++stop) {
        machine_run();
        ASSERT_EQ(machine_at_breakpoint(), 1);
        EXPECT_EQ(z80_state.pc, 0x4001);
        EXPECT_EQ(z80_state.tcount - before, 4 + 20 * (stop - 1));
    }
    z80_state.bp_enabled = 0;
    machine_run();
    EXPECT_EQ(machine_at_breakpoint(), 0);
    EXPECT_EQ(vblank, 1);
    EXPECT_EQ(z80_state.tcount - before, 312 * 160);   // one frame, not one more
    machine_run();
    EXPECT_EQ(z80_state.tcount - before, 2 * 312 * 160);
}

TEST_F(Machine, AStopFollowedByAResetClockOrModelChangeRunsACleanFrame)
{
    const struct {
        const char* name;
        void (*change)();
        int line;
    } changes[] = {
        {"warm restart", [] { machine_reset(); }, 160},
        {"cold restart", [] { machine_hard_reset(); }, 160},
        {"clock", [] { machine_set_clock(3750000); }, 240},
        {"model", [] { machine_change_model(MODEL_A64); }, 160},
    };
    // A sled of NOPs: no loop rounds a leftover budget up to the frame's.
    auto load_sled = [] { std::fill_n(the_machine.mem.memory.begin() + 0x4000, 0x8000, 0x00); };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.name);
        machine_set_clock(2500000);
        load_sled();
        start(0x4000);
        z80_state.bp_address = 0x4001;
        z80_state.bp_enabled = 1;
        z80_state.bp_reached = 0;
        machine_run();
        ASSERT_EQ(machine_at_breakpoint(), 1);
        z80_state.bp_enabled = 0;
        c.change();
        EXPECT_EQ(machine_at_breakpoint(), 0);
        load_sled();
        start(0x4000);
        const int64_t before = z80_state.tcount;
        machine_run();
        EXPECT_EQ(z80_state.tcount - before, 312 * c.line);
        EXPECT_EQ(vblank, 1);
    }
}

TEST_F(Machine, SingleStepsAreChargedToTheFrameAndEndItsPhases)
{
    load_nop_loop();
    start(0x4000);
    const int64_t before = z80_state.tcount;
    while (z80_state.tcount - before < 24 * 160) {
        ASSERT_EQ(vblank, 1);
        machine_step();
    }
    EXPECT_EQ(vblank, 0);   // the blanking part ended with its last instruction
    machine_run();
    EXPECT_EQ(z80_state.tcount - before, 312 * 160);
}

int frames_presented = 0;
int led_calls = 0;
int led_value = -2;

TEST_F(Machine, SomeFramesPresentsEachFrame)
{
    frames_presented = 0;
    host_hooks.update_frame = [] { ++frames_presented; };
    const int64_t before = z80_state.tcount;
    machine_do_some_frames(3);
    EXPECT_EQ(frames_presented, 3);
    EXPECT_GE(z80_state.tcount - before, 3 * 312 * 160);
}

TEST_F(Machine, DriveLampIsRefreshedEveryFrameOnTheCpmModelOnly)
{
    led_calls = 0;
    host_hooks.led_update = [](int lamp) { ++led_calls; led_value = lamp; };
    machine_run();
    EXPECT_EQ(led_calls, 0);
    machine_change_model(MODEL_CPM);   // the drive's reset puts its lamp out
    led_calls = 0;
    load(0x4000, {0x18, 0xFE});
    start(0x4000);
    machine_run();
    machine_run();
    EXPECT_EQ(led_calls, 2);
    EXPECT_EQ(led_value, wd1793_is_active());
    z80_out(0xB7, 0x06);   // motor on drive C:
    machine_run();
    EXPECT_EQ(led_value, 2);
    z80_out(0xB7, 0x02);
    machine_run();
    EXPECT_EQ(led_value, -1);
}

TEST_F(Machine, WarmRestartKeepsMemoryAndColdRestartClearsIt)
{
    mem_write(0x8000, 0x5A);
    z80_out(0xC0, 2);
    z80_out(0x00, 0x9C);
    reset_button_pressed = 1;
    machine_reset();
    EXPECT_EQ(reset_button_pressed, 0);
    EXPECT_EQ(nmi_allowed, 0);
    EXPECT_EQ(z80_state.pc, 0);
    EXPECT_EQ(mem_read(0x8000), 0x5A);
    EXPECT_EQ(snapshot_out(0x00), 0x9C);
    EXPECT_EQ(the_machine.mem.bank_nr, 2);

    z80_out(0x00, 0x9C);
    reset_button_pressed = 1;
    machine_hard_reset();
    EXPECT_EQ(mem_read(0x8000), 0);
    EXPECT_EQ(the_machine.mem.bank_nr, 0);
    EXPECT_EQ(reset_button_pressed, 0);
    EXPECT_EQ(nmi_allowed, 0);
}

TEST_F(Machine, ModelChangeSwitchesMapPageAndPicture)
{
    mem_write(0x8000, 0x11);
    machine_change_model(MODEL_C64);
    EXPECT_EQ(machine_get_type(), MODEL_C64);
    EXPECT_EQ(memory_get_machine_type(), MODEL_C64);
    EXPECT_EQ(screenptr(), rom_pointer() + 0xE500);
    EXPECT_EQ(g_bColor, 2);
    EXPECT_EQ(nroflines, 216);
    EXPECT_EQ(mem_read(0x8000), 0);
    machine_change_model(MODEL_A32);
    EXPECT_EQ(screenptr(), rom_pointer() + 0x6800);
    EXPECT_EQ(g_bColor, 0);
    machine_set_type(MODEL_B48);   // the number only
    EXPECT_EQ(memory_get_machine_type(), MODEL_A32);
}

}  // namespace
