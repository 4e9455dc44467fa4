// The processor's run loop, interrupts, breakpoint and the behaviour the
// per-instruction vectors cannot show.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "core/bus.h"
#include "core/machine.h"
#include "core/event.h"
#include "support/flat_bus.h"

namespace {

using flat_bus_state::memory;

class Cpu : public ::testing::Test {
protected:
    void SetUp() override
    {
        flat_machine_reset();
        z80_state.sp = 0xF000;
    }
    static void load(uint16_t address, std::initializer_list<uint8_t> bytes)
    {
        for (uint8_t b : bytes)
            memory[address++] = b;
    }
    static uint16_t pushed_word(uint16_t sp)
    {
        return static_cast<uint16_t>(memory[sp] | (memory[static_cast<uint16_t>(sp + 1)] << 8));
    }
    static void enable_interrupts(int im)
    {
        z80_state.iff1 = z80_state.iff2 = 1;
        z80_state.im = static_cast<uint8_t>(im);
    }
};

// tcount at every event pass, from an entry that is due at every pass.
std::vector<int64_t> g_passes;

void record_pass(int64_t* now)
{
    g_passes.push_back(*now);
    event_schedule_id_wremove(1, *now + 1);
}

void start_recording_passes()
{
    g_passes.clear();
    event_setup(1, z80_state.tcount + 1, record_pass);
}

// ---- run loop and budget ---------------------------------------------------

TEST_F(Cpu, RunEndsExactlyOnBudgetWithZeroLeft)
{
    // NOPs everywhere: 4 T-states each.
    EXPECT_EQ(z80_run_flat(8), 0);
    EXPECT_EQ(z80_state.pc, 2);
    EXPECT_EQ(z80_state.tcount, 8);
}

TEST_F(Cpu, RunReturnsNegativeOvershootOfTheLastInstruction)
{
    load(0, {0x00, 0xC3, 0x00, 0x00});   // NOP; JP 0000
    EXPECT_EQ(z80_run_flat(5), -9);      // 4 + 10
    EXPECT_EQ(z80_state.tcount, 14);
}

TEST_F(Cpu, RunZeroExecutesExactlyOneInstruction)
{
    load(0, {0x01, 0x34, 0x12});   // LD BC,1234
    EXPECT_EQ(z80_run_flat(0), -10);
    EXPECT_EQ(z80_state.pc, 3);
    EXPECT_EQ(z80_state.bc, 0x1234);
}

TEST_F(Cpu, RefreshRegisterCountsSevenBitsAndKeepsBitSeven)
{
    z80_state.r = 0xFF;
    z80_run_flat(0);
    EXPECT_EQ(z80_state.r, 0x80);
    z80_state.r = 0x7F;
    z80_run_flat(0);
    EXPECT_EQ(z80_state.r, 0x00);
}

TEST_F(Cpu, ResetSetsTheDocumentedRegistersAndKeepsTheRest)
{
    z80_state.bc = 0x1234;
    z80_state.tcount = 999;
    z80_state.pc = 0x4000;
    z80_state.iff1 = 1;
    z80_state.int_request = 1;
    z80_reset();
    EXPECT_EQ(z80_state.af, 0xFFFF);
    EXPECT_EQ(z80_state.sp, 0xFFFF);
    EXPECT_EQ(z80_state.pc, 0);
    EXPECT_EQ(z80_state.iff1, 0);
    EXPECT_EQ(z80_state.int_request, 0);
    EXPECT_EQ(z80_state.bc, 0x1234);
    EXPECT_EQ(z80_state.tcount, 999);

    z80_init(3'750'000);
    EXPECT_EQ(z80_state.cycles_per_line, 240u);
    EXPECT_EQ(z80_state.bp_address, 0xFFFF);
    EXPECT_EQ(z80_state.bp_enabled, 0);
}

// ---- HALT and NMI ------------------------------------------------------------

TEST_F(Cpu, HaltRepeatsInPlaceCountingTimeAndRefresh)
{
    load(0, {0x76});
    EXPECT_EQ(z80_run_flat(20), 0);
    EXPECT_EQ(z80_state.pc, 0);
    EXPECT_EQ(z80_state.r, 5);
    EXPECT_EQ(z80_state.tcount, 20);
}

TEST_F(Cpu, MaskableInterruptDoesNotEndHaltWhileDisabled)
{
    load(0, {0x76});
    z80_state.int_request = 1;
    z80_run_flat(40);
    EXPECT_EQ(z80_state.pc, 0);
}

TEST_F(Cpu, NmiEndsHaltAndReturnsPastIt)
{
    load(0x1000, {0x76});
    z80_state.pc = 0x1000;
    z80_state.iff1 = 1;
    z80_state.iff2 = 1;
    z80_run_flat(8);
    z80_state.nmi_request = 1;
    EXPECT_EQ(z80_run_flat(0), -15);   // HALT 4 + NMI 11
    EXPECT_EQ(z80_state.pc, 0x0066);
    EXPECT_EQ(pushed_word(z80_state.sp), 0x1001);
    EXPECT_EQ(z80_state.iff1, 0);
    EXPECT_EQ(z80_state.iff2, 1);
    EXPECT_EQ(z80_state.nmi_in_service, 1);
}

TEST_F(Cpu, NmiIsAcceptedOncePerAssertion)
{
    load(0x0066, {0x00, 0x00, 0xED, 0x45});   // NOP; NOP; RETN
    z80_state.pc = 0x2000;
    z80_state.nmi_request = 1;
    z80_run_flat(0);
    ASSERT_EQ(z80_state.pc, 0x0066);
    z80_run_flat(22);   // the handler, RETN included
    EXPECT_EQ(z80_state.pc, 0x2001);
    EXPECT_EQ(z80_state.nmi_in_service, 1);   // RETN leaves it to the machine
    z80_run_flat(40);
    EXPECT_GT(z80_state.pc, 0x2001);   // still asserted, not taken again

    z80_state.nmi_in_service = 0;
    z80_run_flat(0);
    EXPECT_EQ(z80_state.pc, 0x0066);
}

TEST_F(Cpu, AcceptedNmiSkipsTheMaskableCheckAtThatBoundary)
{
    enable_interrupts(1);
    z80_state.int_request = 1;
    z80_state.nmi_request = 1;
    EXPECT_EQ(z80_run_flat(0), -15);
    EXPECT_EQ(z80_state.pc, 0x0066);
    EXPECT_EQ(z80_state.iff2, 1);
}

// ---- maskable interrupts --------------------------------------------------------

TEST_F(Cpu, EiDelaysAcceptanceByOneInstruction)
{
    load(0, {0xFB, 0x00, 0x00});   // EI; NOP
    z80_state.im = 1;
    z80_state.int_request = 1;
    z80_run_flat(0);
    EXPECT_EQ(z80_state.pc, 1);
    EXPECT_EQ(z80_state.iff1, 1);
    EXPECT_EQ(z80_run_flat(0), -17);   // NOP 4 + acceptance 13
    EXPECT_EQ(z80_state.pc, 0x0038);
    EXPECT_EQ(pushed_word(z80_state.sp), 2);
    EXPECT_EQ(z80_state.iff1, 0);
    EXPECT_EQ(z80_state.iff2, 0);
}

TEST_F(Cpu, RunOfEiDelaysAcceptanceUntilTheFirstOtherInstruction)
{
    load(0x100, {0xFB, 0xFB, 0xFB, 0x00});
    z80_state.pc = 0x100;
    z80_state.im = 1;
    z80_state.int_request = 1;
    z80_run_flat(12);
    EXPECT_EQ(z80_state.pc, 0x103);
    z80_run_flat(0);
    EXPECT_EQ(z80_state.pc, 0x0038);
    EXPECT_EQ(pushed_word(z80_state.sp), 0x104);
}

TEST_F(Cpu, InterruptLineIsALevelTakenAgainAfterReenabling)
{
    load(0x0038, {0xFB, 0xC9});   // EI; RET
    enable_interrupts(1);
    z80_state.pc = 0x3000;
    z80_state.int_request = 1;
    z80_run_flat(0);
    ASSERT_EQ(z80_state.pc, 0x0038);
    z80_run_flat(0);   // EI: no acceptance right after it
    EXPECT_EQ(z80_state.pc, 0x0039);
    z80_run_flat(0);   // RET, then the still-asserted line is taken again
    EXPECT_EQ(z80_state.pc, 0x0038);
    EXPECT_EQ(z80_state.int_request, 1);
}

TEST_F(Cpu, InterruptMode2ReadsTheVectorAcrossAPageBoundary)
{
    enable_interrupts(2);
    z80_state.i = 0x3F;
    load(0x3FFF, {0x34, 0x12});
    z80_state.pc = 0x8000;
    z80_state.int_request = 1;
    EXPECT_EQ(z80_run_flat(0), -23);   // NOP 4 + 19
    EXPECT_EQ(z80_state.pc, 0x1234);
}

TEST_F(Cpu, InterruptMode2WithIFFTakesTheHighByteFromAddressZero)
{
    enable_interrupts(2);
    z80_state.i = 0xFF;
    memory[0xFFFF] = 0x78;
    memory[0x0000] = 0x56;
    z80_state.pc = 0x8000;
    z80_state.int_request = 1;
    z80_run_flat(0);
    EXPECT_EQ(z80_state.pc, 0x5678);
}

TEST_F(Cpu, InterruptMode0RestartsAt38LikeMode1)
{
    enable_interrupts(0);
    z80_state.pc = 0x8000;
    z80_state.int_request = 1;
    EXPECT_EQ(z80_run_flat(0), -17);
    EXPECT_EQ(z80_state.pc, 0x0038);
}

TEST_F(Cpu, MaskableAcceptanceRunsAnEventPassAfterEachPartialStep)
{
    enable_interrupts(1);
    z80_state.int_request = 1;
    start_recording_passes();
    z80_run_flat(0);
    EXPECT_EQ(g_passes, (std::vector<int64_t>{4, 11, 14, 17}));
}

TEST_F(Cpu, Mode2AcceptanceEndsWithANineStateStep)
{
    enable_interrupts(2);
    z80_state.int_request = 1;
    start_recording_passes();
    z80_run_flat(0);
    EXPECT_EQ(g_passes, (std::vector<int64_t>{4, 11, 14, 23}));
}

TEST_F(Cpu, NmiAcceptanceIsOneElevenStateStep)
{
    z80_state.nmi_request = 1;
    start_recording_passes();
    z80_run_flat(0);
    EXPECT_EQ(g_passes, (std::vector<int64_t>{4, 15}));
}

TEST_F(Cpu, EventCallbackRaisingTheLineIsSeenAtThatBoundary)
{
    // An event due after the second NOP asserts the line; the interrupt is
    // accepted right after that instruction.
    enable_interrupts(1);
    event_setup(2, 8, [](int64_t*) {
        z80_state.int_request = 1;
        event_remove_id(2);
    });
    z80_run_flat(100);
    EXPECT_EQ(pushed_word(z80_state.sp), 2);
}

// ---- stack and ports -------------------------------------------------------------

TEST_F(Cpu, PushWrapsAroundTheTopOfMemory)
{
    load(0x8000, {0xC5, 0xC5});   // PUSH BC; PUSH BC
    z80_state.pc = 0x8000;
    z80_state.bc = 0x1234;
    z80_state.sp = 0x0001;
    z80_run_flat(0);
    EXPECT_EQ(memory[0xFFFF], 0x34);
    EXPECT_EQ(memory[0x0000], 0x12);
    EXPECT_EQ(z80_state.sp, 0xFFFF);

    z80_state.sp = 0x0000;
    z80_state.bc = 0xABCD;
    z80_run_flat(0);
    EXPECT_EQ(memory[0xFFFE], 0xCD);
    EXPECT_EQ(memory[0xFFFF], 0xAB);
}

struct port_access {
    uint8_t port;
    uint8_t value;
    int64_t tcount;
    uint16_t pc;
};
std::vector<port_access> g_ports;

uint8_t record_in(uint8_t port)
{
    g_ports.push_back({port, 0, z80_state.tcount, z80_state.pc});
    return 0x80;
}

void record_out(uint8_t port, uint8_t value)
{
    g_ports.push_back({port, value, z80_state.tcount, z80_state.pc});
}

TEST_F(Cpu, PortInstructionsPassOnlyTheLowPortByteAndSeeStartTime)
{
    g_ports.clear();
    flat_bus_state::in_handler = record_in;
    flat_bus_state::out_handler = record_out;
    load(0, {0xDB, 0x56, 0xD3, 0x57, 0xED, 0x78, 0xED, 0x79});
    z80_state.af = 0x3400;
    z80_state.bc = 0x12FE;
    z80_state.tcount = 100;
    EXPECT_EQ(z80_run_flat(0), -10);   // IN A,(56)
    EXPECT_EQ(z80_state.af >> 8, 0x80);
    EXPECT_EQ(z80_run_flat(0), -11);   // OUT (57),A
    EXPECT_EQ(z80_run_flat(0), -11);   // IN A,(C)
    EXPECT_EQ(z80_run_flat(0), -12);   // OUT (C),A
    ASSERT_EQ(g_ports.size(), 4u);
    EXPECT_EQ(g_ports[0].port, 0x56);
    EXPECT_EQ(g_ports[0].tcount, 100);
    EXPECT_EQ(g_ports[1].port, 0x57);
    EXPECT_EQ(g_ports[1].value, 0x80);
    EXPECT_EQ(g_ports[1].tcount, 110);
    EXPECT_EQ(g_ports[2].port, 0xFE);
    EXPECT_EQ(g_ports[3].port, 0xFE);
    EXPECT_EQ(g_ports[3].tcount, 132);
    EXPECT_EQ(g_ports[3].pc, 8);
}

TEST_F(Cpu, InFromCSetsSignZeroParityAndKeepsCarryAnd53)
{
    flat_bus_state::in_handler = [](uint8_t) -> uint8_t { return 0x00; };
    load(0, {0xED, 0x70});   // IN (C): flags only
    z80_state.af = 0x12FF;
    z80_run_flat(0);
    EXPECT_EQ(z80_state.af, 0x12 << 8 | (FLAG_Z | FLAG_PV | FLAG_C | FLAG_5 | FLAG_3));
}

// ---- prefixes -------------------------------------------------------------------

TEST_F(Cpu, UnusedIndexPrefixIsAFourStateNoOpBeforeTheNextOpcode)
{
    load(0x8000, {0xDD, 0x00, 0x00});
    z80_state.pc = 0x8000;
    EXPECT_EQ(z80_run_flat(0), -4);
    EXPECT_EQ(z80_state.pc, 0x8001);
    EXPECT_EQ(z80_state.r, 2);
    EXPECT_EQ(z80_run_flat(0), -4);
    EXPECT_EQ(z80_state.r, 3);
}

TEST_F(Cpu, InterruptCanBeAcceptedBetweenUnusedPrefixAndItsOpcode)
{
    load(0x8000, {0xDD, 0x00});
    z80_state.pc = 0x8000;
    enable_interrupts(1);
    z80_state.int_request = 1;
    z80_run_flat(0);
    EXPECT_EQ(z80_state.pc, 0x0038);
    EXPECT_EQ(pushed_word(z80_state.sp), 0x8001);
}

TEST_F(Cpu, IndexedRotateCopiesTheResultIntoTheNamedRegister)
{
    memory[0x9005] = 0x81;
    load(0x8000, {0xDD, 0xCB, 0x05, 0x00});   // RLC (IX+5),B
    z80_state.pc = 0x8000;
    z80_state.ix = 0x9000;
    EXPECT_EQ(z80_run_flat(0), -23);
    EXPECT_EQ(memory[0x9005], 0x03);
    EXPECT_EQ(z80_state.bc >> 8, 0x03);
    EXPECT_EQ(z80_state.r, 2);
}

TEST_F(Cpu, IndexedRotateDocumentedFormChangesMemoryOnly)
{
    memory[0x8FFE] = 0x81;
    load(0x8000, {0xFD, 0xCB, 0xFE, 0x06});   // RLC (IY-2)
    z80_state.pc = 0x8000;
    z80_state.iy = 0x9000;
    z80_state.bc = 0x5555;
    z80_state.de = 0x5555;
    z80_state.hl = 0x5555;
    z80_run_flat(0);
    EXPECT_EQ(memory[0x8FFE], 0x03);
    EXPECT_EQ(z80_state.bc, 0x5555);
    EXPECT_EQ(z80_state.de, 0x5555);
    EXPECT_EQ(z80_state.hl, 0x5555);
}

TEST_F(Cpu, IndexedSetAndResCopyIntoRealHAndL)
{
    memory[0x9000] = 0x00;
    load(0x8000, {0xDD, 0xCB, 0x00, 0xC4, 0xDD, 0xCB, 0x00, 0x8D});   // SET 0,(IX),H; RES 1,(IX),L
    z80_state.pc = 0x8000;
    z80_state.ix = 0x9000;
    z80_state.hl = 0xFFFF;
    z80_run_flat(0);
    EXPECT_EQ(z80_state.hl, 0x01FF);
    EXPECT_EQ(z80_state.ix, 0x9000);
    z80_run_flat(0);
    EXPECT_EQ(z80_state.hl, 0x0101);
}

TEST_F(Cpu, IndexedBitTakesBits5And3FromTheOperandOnlyForUndocumentedForms)
{
    memory[0x9000] = 0x28;
    load(0x8000, {0xDD, 0xCB, 0x00, 0x46, 0xDD, 0xCB, 0x00, 0x40});
    z80_state.pc = 0x8000;
    z80_state.ix = 0x9000;
    EXPECT_EQ(z80_run_flat(0), -20);
    EXPECT_EQ(z80_state.af & 0xFF, FLAG_H | FLAG_Z | FLAG_PV);
    z80_run_flat(0);
    EXPECT_EQ(z80_state.af & 0xFF, FLAG_H | FLAG_Z | FLAG_PV | FLAG_5 | FLAG_3);
}

TEST_F(Cpu, BitOfHLLeavesBits5And3ClearAndRegisterFormCopiesThem)
{
    memory[0x9000] = 0xFF;
    load(0x8000, {0xCB, 0x46, 0xCB, 0x40});   // BIT 0,(HL); BIT 0,B
    z80_state.pc = 0x8000;
    z80_state.hl = 0x9000;
    z80_state.bc = 0x2800;
    EXPECT_EQ(z80_run_flat(0), -12);
    EXPECT_EQ(z80_state.af & 0xFF, FLAG_H);
    z80_run_flat(0);
    EXPECT_EQ(z80_state.af & 0xFF, FLAG_H | FLAG_Z | FLAG_PV | FLAG_5 | FLAG_3);
}

TEST_F(Cpu, UndefinedEdBytesChangeOnlyRefreshAndTime)
{
    load(0, {0xED, 0x4E, 0xED, 0x77, 0xED, 0xFF});
    z80_state.af = 0x1234;
    z80_state.im = 2;
    EXPECT_EQ(z80_run_flat(24), 0);
    EXPECT_EQ(z80_state.pc, 6);
    EXPECT_EQ(z80_state.af, 0x1234);
    EXPECT_EQ(z80_state.im, 2);
    EXPECT_EQ(z80_state.r, 6);
}

TEST_F(Cpu, RetnRestoresIff1ButRetiLeavesIt)
{
    load(0x8000, {0xED, 0x45});
    load(0x9000, {0xED, 0x4D});
    memory[0xF000] = 0x00;
    memory[0xF001] = 0x90;
    z80_state.pc = 0x8000;
    z80_state.iff1 = 0;
    z80_state.iff2 = 1;
    z80_run_flat(0);
    EXPECT_EQ(z80_state.iff1, 1);
    EXPECT_EQ(z80_state.pc, 0x9000);

    z80_state.iff1 = 0;
    z80_state.sp = 0xF000;
    z80_run_flat(0);
    EXPECT_EQ(z80_state.iff1, 0);
}

// ---- block instructions -----------------------------------------------------------

TEST_F(Cpu, LdirCostsTwentyOnePerRepeatAndSixteenForTheLast)
{
    load(0x8000, {0xED, 0xB0});
    load(0x9000, {1, 2, 3});
    z80_state.pc = 0x8000;
    z80_state.hl = 0x9000;
    z80_state.de = 0xA000;
    z80_state.bc = 3;
    z80_state.af = 0x00FF;
    EXPECT_EQ(z80_run_flat(0), -21);
    EXPECT_EQ(z80_state.pc, 0x8000);
    EXPECT_EQ(z80_state.af & 0xFF, 0xFF);   // untouched between rounds
    EXPECT_EQ(z80_run_flat(37), 0);       // 21 + 16
    EXPECT_EQ(z80_state.pc, 0x8002);
    EXPECT_EQ(z80_state.bc, 0);
    EXPECT_EQ(z80_state.af & FLAG_PV, 0);
    EXPECT_EQ(memory[0xA002], 3);

    z80_state.pc = 0x8000;
    z80_state.bc = 1;
    EXPECT_EQ(z80_run_flat(0), -16);
}

TEST_F(Cpu, LdirAcceptsAnInterruptBetweenRounds)
{
    load(0x8000, {0xED, 0xB0});
    z80_state.pc = 0x8000;
    z80_state.hl = 0x9000;
    z80_state.de = 0xA000;
    z80_state.bc = 3;
    enable_interrupts(1);
    z80_state.int_request = 1;
    EXPECT_EQ(z80_run_flat(0), -34);   // one round 21 + acceptance 13
    EXPECT_EQ(z80_state.pc, 0x0038);
    EXPECT_EQ(pushed_word(z80_state.sp), 0x8000);
    EXPECT_EQ(z80_state.bc, 2);
}

TEST_F(Cpu, CpirFindingTheFirstByteCostsSixteenAndKeepsParityForTheRest)
{
    load(0x8000, {0xED, 0xB1});
    load(0x9000, {0x42, 0x42});
    z80_state.pc = 0x8000;
    z80_state.hl = 0x9000;
    z80_state.bc = 5;
    z80_state.af = 0x4200;
    EXPECT_EQ(z80_run_flat(0), -16);
    EXPECT_EQ(z80_state.pc, 0x8002);
    EXPECT_EQ(z80_state.bc, 4);
    EXPECT_NE(z80_state.af & FLAG_Z, 0);
    EXPECT_NE(z80_state.af & FLAG_PV, 0);
}

TEST_F(Cpu, CpirRunsAllRoundsInOneExecutionWithAPassEachRound)
{
    load(0x8000, {0xED, 0xB1});
    load(0x9000, {0x01, 0x02, 0x42});
    z80_state.pc = 0x8000;
    z80_state.hl = 0x9000;
    z80_state.bc = 10;
    z80_state.af = 0x4200;
    enable_interrupts(1);
    z80_state.int_request = 1;
    start_recording_passes();
    z80_run_flat(0);
    // Three rounds, then the acceptance; no interrupt between rounds.
    EXPECT_EQ(g_passes, (std::vector<int64_t>{21, 42, 63, 65, 68, 71}));
    EXPECT_EQ(pushed_word(z80_state.sp), 0x8002);
    EXPECT_EQ(z80_state.hl, 0x9003);
    EXPECT_EQ(z80_state.bc, 7);
}

TEST_F(Cpu, InirWritesPortDataAndEndsWithZero)
{
    flat_bus_state::in_handler = [](uint8_t port) -> uint8_t { return port; };
    load(0x8000, {0xED, 0xB2});
    z80_state.pc = 0x8000;
    z80_state.hl = 0x9000;
    z80_state.bc = 0x0210;
    EXPECT_EQ(z80_run_flat(37), 0);
    EXPECT_EQ(memory[0x9000], 0x10);
    EXPECT_EQ(memory[0x9001], 0x10);
    EXPECT_EQ(z80_state.bc, 0x0010);
    EXPECT_NE(z80_state.af & FLAG_Z, 0);
    EXPECT_NE(z80_state.af & FLAG_N, 0);
}

// ---- breakpoint --------------------------------------------------------------------

TEST_F(Cpu, SettingTheBreakpointTogglesOnTheSameAddressAndMovesOtherwise)
{
    z80_init(2'500'000);
    z80_cpu_set_breakpoint(0x1234);
    EXPECT_EQ(z80_state.bp_address, 0x1234);
    EXPECT_EQ(z80_state.bp_enabled, 1);
    z80_cpu_set_breakpoint(0x1234);
    EXPECT_EQ(z80_state.bp_enabled, 0);
    z80_cpu_set_breakpoint(0x1234);
    EXPECT_EQ(z80_state.bp_enabled, 1);
    z80_cpu_set_breakpoint(0x2000);
    EXPECT_EQ(z80_state.bp_address, 0x2000);
    EXPECT_EQ(z80_state.bp_enabled, 1);
}

TEST_F(Cpu, CheckBreakpointFiresOnceThenLatches)
{
    z80_state.pc = 0x1234;
    z80_cpu_set_breakpoint(0x1234);
    EXPECT_EQ(cpu_check_breakpoint(), 1);
    EXPECT_EQ(z80_state.bp_reached, 1);
    EXPECT_EQ(cpu_check_breakpoint(), 0);
}

TEST_F(Cpu, RunStopsBeforeTheBreakpointEveryTimeRoundALoop)
{
    load(0, {0x00, 0x00, 0x00, 0x18, 0xFB});   // NOP x3; JR 0000
    z80_cpu_set_breakpoint(0x0002);
    EXPECT_EQ(z80_run_flat(1000), 992);
    EXPECT_EQ(z80_break_hit, 1);
    EXPECT_EQ(z80_state.pc, 2);
    EXPECT_EQ(z80_state.tcount, 8);

    // Resuming executes the instruction at the breakpoint and stops on the
    // next round.
    EXPECT_EQ(z80_run_flat(1000), 976);
    EXPECT_EQ(z80_break_hit, 1);
    EXPECT_EQ(z80_state.pc, 2);
    EXPECT_EQ(z80_state.tcount, 32);
}

TEST_F(Cpu, BreakpointAtTheCurrentInstructionStopsBeforeRunningIt)
{
    z80_state.pc = 0x0010;
    z80_cpu_set_breakpoint(0x0010);
    EXPECT_EQ(z80_run_flat(0), 0);
    EXPECT_EQ(z80_state.pc, 0x0010);
    EXPECT_EQ(z80_break_hit, 1);
    z80_run_flat(0);
    EXPECT_EQ(z80_state.pc, 0x0011);
    EXPECT_EQ(z80_break_hit, 0);
}

TEST_F(Cpu, DisabledBreakpointDoesNotStop)
{
    z80_cpu_set_breakpoint(0x0002);
    z80_cpu_set_breakpoint(0x0002);
    EXPECT_EQ(z80_run_flat(40), 0);
    EXPECT_EQ(z80_break_hit, 0);
    EXPECT_EQ(z80_state.pc, 10);
}

}  // namespace
