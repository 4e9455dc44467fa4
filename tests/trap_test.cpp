// Trap tables patching an image, the slot table, and the processor running
// trap opcodes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/machine.h"
#include "core/event.h"
#include "core/trap.h"
#include "support/flat_bus.h"

namespace {

using flat_bus_state::memory;

std::vector<int> g_calls;
int64_t g_seen_tcount = 0;

int keyboard_trap(int* n)
{
    g_calls.push_back(*n);
    g_seen_tcount = z80_state.tcount;
    z80_state.af = static_cast<uint16_t>(0x5A00 | (z80_state.af & 0xFF));
    return 1;
}

int tape_trap(int* n)
{
    g_calls.push_back(*n);
    return 0;
}

trap_record make_record(trap_handler h, uint32_t offset, std::vector<uint8_t> patch)
{
    trap_record r{};
    r.handler = h;
    r.offset = offset;
    r.length = static_cast<uint32_t>(patch.size());
    std::memcpy(r.patch_bytes, patch.data(), patch.size());
    return r;
}

class Traps : public ::testing::Test {
protected:
    void SetUp() override
    {
        the_machine = machine{};   // a machine of its own
        for (auto& t : traps)
            t.handler = nullptr;
        g_calls.clear();
        flat_machine_reset();
        z80_state.sp = 0xF000;
    }
    void TearDown() override
    {
        for (auto& t : traps)
            t.handler = nullptr;
    }
};

TEST_F(Traps, TableIsAppliedSavingTheOldBytesAndRegisteringEachSlot)
{
    uint8_t image[0x4000];
    for (int i = 0; i < 0x4000; ++i)
        image[i] = static_cast<uint8_t>(i);
    trap_record table[] = {
        make_record(tape_trap, 0x100, {0xED, 0x00, 0xC9}),
        make_record(tape_trap, 0x200, {0xED, 0x03, 0xC3, 0x34, 0x12}),
        trap_record{},
    };
    traps_set(table, image);
    EXPECT_EQ(image[0x100], 0xED);
    EXPECT_EQ(image[0x101], 0x00);
    EXPECT_EQ(image[0x102], 0xC9);
    EXPECT_EQ(image[0x204], 0x12);
    EXPECT_EQ(table[0].saved_bytes[0], 0x00);
    EXPECT_EQ(table[0].saved_bytes[2], 0x02);
    EXPECT_EQ(table[1].saved_bytes[4], 0x04);
    EXPECT_EQ(traps[0].handler, tape_trap);
    EXPECT_EQ(traps[3].handler, tape_trap);
    EXPECT_EQ(traps[1].handler, nullptr);
}

TEST_F(Traps, NullOrEmptyTableChangesNothing)
{
    uint8_t image[0x4000] = {};
    traps_set(static_cast<trap_record*>(nullptr), image);
    trap_record empty[] = {trap_record{}};
    traps_set(empty, image);
    for (uint8_t b : image)
        ASSERT_EQ(b, 0);
    for (const auto& t : traps)
        ASSERT_EQ(t.handler, nullptr);
}

TEST_F(Traps, RecordReachingPastTheImageIsSkipped)
{
    uint8_t image[0x4000] = {};
    trap_record table[] = {
        make_record(tape_trap, 0x3FFE, {0xED, 0x01, 0xC9}),
        make_record(tape_trap, 0x10, {0xED, 0x02}),
        trap_record{},
    };
    table[1].length = 41;
    traps_set(table, image);
    EXPECT_EQ(image[0x3FFE], 0);
    EXPECT_EQ(image[0x10], 0);
    EXPECT_EQ(traps[1].handler, nullptr);
    EXPECT_EQ(traps[2].handler, nullptr);
}

TEST_F(Traps, PlaceAndRemoveOneRecord)
{
    uint8_t image[0x4000] = {};
    image[0x50] = 0x11;
    image[0x51] = 0x22;
    trap_record r = make_record(nullptr, 0x50, {0xED, 0x05});
    trap_place(5, &r, image);
    EXPECT_EQ(traps[5].handler, trap_dummy);
    EXPECT_EQ(image[0x50], 0xED);
    trap_remove(5, &r, image);
    EXPECT_EQ(image[0x50], 0x11);
    EXPECT_EQ(image[0x51], 0x22);
    EXPECT_EQ(traps[5].handler, trap_dummy);
}

TEST_F(Traps, HandleCallsTheSlotWithItsNumberAndIgnoresEmptySlots)
{
    traps[4].handler = tape_trap;
    trap_handle(4);
    trap_handle(7);
    EXPECT_EQ(g_calls, std::vector<int>{4});
}

TEST_F(Traps, TrapOpcodesWithoutHandlersAreNoOps)
{
    const uint8_t code[] = {0xED, 0x07, 0xED, 0x08, 0xED, 0x09};
    flat_load(0x1000, code, sizeof code);
    z80_state.pc = 0x1000;
    z80_state.af = 0x1234;
    z80_state.hl = 0x5678;
    EXPECT_EQ(z80_run_flat(24), 0);
    EXPECT_EQ(z80_state.pc, 0x1006);
    EXPECT_EQ(z80_state.af, 0x1234);
    EXPECT_EQ(z80_state.hl, 0x5678);
    EXPECT_EQ(z80_state.r, 6);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(Traps, KeyboardRoutineTrapCallsSlotSixAndReturnsToTheCaller)
{
    trap_record table[] = {make_record(keyboard_trap, 0x3866, {0xED, 0x06, 0xC9}), trap_record{}};
    traps_set(table, memory.data());
    const uint8_t caller[] = {0xCD, 0x66, 0x38, 0x76};   // CALL 3866; HALT
    flat_load(0x8000, caller, sizeof caller);
    z80_state.pc = 0x8000;
    z80_state.tcount = 500;
    EXPECT_EQ(z80_run_flat(27), 0);   // CALL 17 + trap 0 + RET 10
    EXPECT_EQ(g_calls, std::vector<int>{6});
    EXPECT_EQ(g_seen_tcount, 517);    // the trap instruction's start
    EXPECT_EQ(z80_state.pc, 0x8003);
    EXPECT_EQ(z80_state.sp, 0xF000);
    EXPECT_EQ(z80_state.af >> 8, 0x5A);
}

int jump_trap(int*)
{
    z80_state.pc = 0x2000;
    z80_state.hl = 0xBEEF;
    return 0;
}

TEST_F(Traps, HandlerCostsNothingAndItsRegisterChangesStick)
{
    traps[1].handler = jump_trap;
    const uint8_t code[] = {0xED, 0x01};
    flat_load(0x1000, code, sizeof code);
    z80_state.pc = 0x1000;
    EXPECT_EQ(z80_run_flat(0), 0);   // exactly one instruction, no T-states
    EXPECT_EQ(z80_state.pc, 0x2000);
    EXPECT_EQ(z80_state.hl, 0xBEEF);
    EXPECT_EQ(z80_state.tcount, 0);
}

}  // namespace
