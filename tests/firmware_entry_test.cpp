// The original ROM's entry points in the built-in firmware, called the way
// programs call them: a small program of our own per routine, assembled
// here, started as the firmware starts programs, on the A, B and C64
// images at both clocks.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/bus.h"
#include "core/machine.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "support/fake_keyboard.h"
#include "support/firmware_driver.h"
#include "support/screen_text.h"
#include "support/tape_signal.h"
#include "support/z80asm.h"

namespace {

using machine_case = model_at_clock;

// Registers a routine is expected to keep.
enum : int { KEEP_BC = 1, KEEP_DE = 2, KEEP_HL = 4, KEEP_IX = 8, KEEP_IY = 16, KEEP_ALT = 32, KEEP_AF = 64 };
constexpr int KEEP_ALL = 127;

constexpr uint16_t RESULT = 0x5000;   // the registers after the checked call
constexpr uint16_t OUT = 0x5020;      // what a program stores besides

// Every program starts at 0x4180, sets the registers to markers, gives the
// routine its inputs, calls it, stores the registers at RESULT and spins.
struct entry_case {
    const char* name;
    const char* setup;      // before the checked call
    const char* inputs;     // loaded after the markers
    uint16_t call;          // 0: no checked call
    int keeps;
    std::map<std::string, uint16_t> inputs_kept;   // kept registers whose value is an input
    const char* after;      // after the registers are stored
    int frames;
    std::function<void(const machine_case&)> check;
};

std::string program_text(const entry_case& c)
{
    std::string s = "        org 0x4180\n";
    s += c.setup;
    s += "\n        ld bc,0x1111\n        ld de,0x2222\n        ld hl,0x3333\n        ld iy,0x5555\n"
         "        exx\n        ld bc,0x6666\n        ld de,0x7777\n        ld hl,0x8888\n        exx\n"
         "        ld a,0x99\n        ld ix,0x4042\n";
    s += c.inputs;
    if (c.call) s += "\n        call " + std::to_string(c.call) + "\n";
    s += "        push af\n        ld (0x5000),bc\n        ld (0x5002),de\n        ld (0x5004),hl\n"
         "        ld (0x5006),ix\n        ld (0x5008),iy\n        exx\n        ld (0x500A),bc\n"
         "        ld (0x500C),de\n        ld (0x500E),hl\n        exx\n        pop hl\n        ld (0x5010),hl\n";
    s += c.after;
    s += "\nspin:   jr spin\n";
    return s;
}

uint16_t text_base(const machine_case& m) { return m.model == MODEL_C64 ? 0xE700 : 0xE800; }

std::string line(int row)
{
    const auto lines = screen_text_lines();
    return row < static_cast<int>(lines.size()) ? lines[row] : std::string();
}

const std::vector<entry_case>& cases()
{
    static const std::vector<entry_case> all = {
        {"PrintCharacter", R"(
        ld hl,text
pc_next: ld a,(hl)
        or a
        jr z,pc_done
        call 0x0015
        inc hl
        jr pc_next
text:   db 0x0C,"AB",0x0D,0x0A,"C",0x0A,"D",0x0D,0x04,"I",0x06,"N",0x01,0x02,"E",0x1E,0x40,0
pc_done:)",
         "        ld a,'Z'", 0x0015, KEEP_ALL, {{"AF", 0x5A00}}, "", 10,
         [](const machine_case&) {
             EXPECT_EQ(line(0), "AB") << screen_text_dump();
             EXPECT_EQ(line(1), "C");
             EXPECT_EQ(line(2), "D");
             EXPECT_EQ(line(3), "INE\x1E@Z");
             EXPECT_EQ(screen_cursor_row(), 3);   // the inverse I
         }},
        {"CompareHlWithDe", R"(
        ld hl,1
        ld de,2
        rst 0x18
        push af
        ld hl,2
        rst 0x18
        push af
        ld hl,3
        rst 0x18
        push af
        pop bc
        ld (0x5024),bc
        pop bc
        ld (0x5022),bc
        pop bc
        ld (0x5020),bc)",
         "", 0x0018, KEEP_BC | KEEP_DE | KEEP_HL | KEEP_IX | KEEP_IY | KEEP_ALT, {}, "", 2,
         [](const machine_case&) {
             const uint8_t less = mem_read(OUT), equal = mem_read(OUT + 2), more = mem_read(OUT + 4);
             EXPECT_TRUE((less & FLAG_C) && !(less & FLAG_Z));
             EXPECT_TRUE(!(equal & FLAG_C) && (equal & FLAG_Z));
             EXPECT_TRUE(!(more & FLAG_C) && !(more & FLAG_Z));
         }},
        {"PollKeyboard", R"(
        call 0x001D
        push af
        pop hl
        ld (0x5020),hl
kb_wait: call 0x001D
        jr z,kb_wait
        push af
        pop hl
        ld (0x5022),hl
        call 0x001D
        push af
        pop hl
        ld (0x5024),hl)",
         "", 0x001D, KEEP_BC | KEEP_DE | KEEP_HL | KEEP_IX | KEEP_IY | KEEP_ALT, {}, "", 2,
         [](const machine_case&) {
             EXPECT_NE(mem_read(OUT) & FLAG_Z, 0);   // no key yet
             EXPECT_NE(mem_read(OUT + 1), 0x0D);
             firmware_hold_key(HK_Q, 2);
             firmware_run_frames(2);
             EXPECT_EQ(mem_read(OUT + 2) & FLAG_Z, 0);
             EXPECT_EQ(mem_read(OUT + 3), 'Q');       // a capital
             EXPECT_NE(mem_read(OUT + 4) & FLAG_Z, 0);   // reported once
         }},
        {"FrameInterruptHook", R"(
        ld hl,hook
        ld (0x4019),hl
        ld bc,0x1234
        ld de,0x5678
        ld iy,0x9ABC
fi_spin: jr fi_spin
hook:   ld (0x5020),bc
        ld (0x5022),de
        ld (0x5024),iy
        ld hl,(0x5026)
        inc hl
        ld (0x5026),hl
        pop hl
        pop af
        retn)",
         "", 0, 0, {}, "", 0,
         [](const machine_case&) {
             const uint32_t ticks = mem_read(0x403D) | mem_read(0x403E) << 8;
             firmware_run_frames(10);
             EXPECT_EQ((mem_read(0x403D) | mem_read(0x403E) << 8) - ticks, 20u);   // 6000 a minute
             EXPECT_GE(mem_read_word(OUT + 6), 9);
             EXPECT_EQ(mem_read_word(OUT), 0x1234);
             EXPECT_EQ(mem_read_word(OUT + 2), 0x5678);
             EXPECT_EQ(mem_read_word(OUT + 4), 0x9ABC);
         }},
        {"FrameInterruptStaysOffWithTheMirror", R"(
        ld hl,0
        ld (0x5026),hl
        ld hl,hook2
        ld (0x4019),hl
        ld a,(0x403B)           ; the mirror only: the next NMI turns itself off
        and 0x7F
        ld (0x403B),a
        ld bc,20
        ld de,5
        call 0x3F68
mo_spin: jr mo_spin
hook2:  ld hl,(0x5026)
        inc hl
        ld (0x5026),hl
        pop hl
        pop af
        retn)",
         "", 0, 0, {}, "", 10,
         [](const machine_case&) {
             EXPECT_EQ(mem_read_word(OUT + 6), 0);
             EXPECT_EQ(snapshot_out(0) & 0x80, 0);
         }},
        {"SetCursor", "        ld a,0x0C\n        call 0x0015", "        ld de,0x0305", 0x0080,
         KEEP_BC | KEEP_DE | KEEP_HL | KEEP_IX | KEEP_IY | KEEP_ALT, {{"DE", 0x0305}},
         "        ld a,'X'\n        call 0x0015\n        ld de,0x00FF\n        call 0x0080\n        ld a,'Y'\n"
         "        call 0x0015\n        ld de,0x4000\n        call 0x0080\n        ld a,'W'\n        call 0x0015",
         10,
         [](const machine_case&) {
             EXPECT_EQ(line(3), "     X") << screen_text_dump();
             EXPECT_EQ(line(0), std::string(41, ' ') + "Y");   // cut to the screen
             EXPECT_EQ(screen_text_lines().back(), "W");
         }},
        {"NumberToText", R"(
        ld hl,32767
        ld (0x4121),hl
        ld a,2
        ld (0x40AF),a
        call 0x0FBD
        ld de,0x5030
        ld bc,8
        ldir
        ld hl,-1234
        ld (0x4121),hl)",
         "", 0x0FBD, KEEP_BC | KEEP_DE | KEEP_IX | KEEP_IY | KEEP_ALT, {}, "", 2,
         [](const machine_case&) {
             auto text = [](uint16_t at) {
                 std::string s;
                 for (; mem_read(at); ++at) s += static_cast<char>(mem_read(at));
                 return s;
             };
             EXPECT_EQ(mem_read_word(RESULT + 4), 0x4130);
             EXPECT_EQ(text(0x5030), " 32767");
             EXPECT_EQ(text(0x4130), "-1234");
         }},
        {"TextToNumber", "", "        ld hl,digits\n        jr tn_call\ndigits: db \"12345,\"\ntn_call:", 0x1E5A,
         KEEP_BC | KEEP_IX | KEEP_IY | KEEP_ALT, {}, "", 2,
         [](const machine_case&) {
             EXPECT_EQ(mem_read_word(RESULT + 2), 12345);
             EXPECT_EQ(mem_read(mem_read_word(RESULT + 4)), ',');
         }},
        {"PrintString", "        ld a,0x0C\n        call 0x0015\n        ld hl,first\n        call 0x2B75\n"
                        "        jr ps_go\nfirst:  db \"HI \",0\nsecond: db \"THERE\",0\nps_go:",
         "        ld hl,second", 0x3D03, KEEP_BC | KEEP_DE | KEEP_IX | KEEP_IY | KEEP_ALT, {}, "", 10,
         [](const machine_case&) { EXPECT_EQ(line(0), "HI THERE") << screen_text_dump(); }},
        {"ScreenDriverStart", "        ld a,0x12\n        ld (0x404A),a", "", 0x3178, KEEP_ALL & ~KEEP_AF, {}, "", 2,
         [](const machine_case& m) { EXPECT_EQ(mem_read(0x404A), text_base(m) >> 8); }},
        {"PixelAddress", "", "        ld de,0x0205", 0x3F3A, KEEP_BC | KEEP_DE | KEEP_IX | KEEP_IY | KEEP_ALT,
         {{"DE", 0x0205}}, "", 2,
         [](const machine_case& m) {
             // Column 5 starts two pixels from the end of byte 3 of row 2.
             EXPECT_EQ(mem_read_word(RESULT + 4), text_base(m) + 2 * 7 * 32 + 3);
             EXPECT_EQ(mem_read(RESULT + 0x11), 0x02);
         }},
        {"Beep", "        ld bc,3\n        ld de,0\n        call 0x3F68", "        ld bc,50\n        ld de,30",
         0x3F68, KEEP_ALL & ~KEEP_AF, {{"BC", 50}, {"DE", 30}}, "", 0,
         [](const machine_case&) {
             tape_signal_record_start(44100, 0x10);
             firmware_run_frames(6);
             const auto samples = tape_signal_record_stop();
             int rises = 0;
             for (size_t i = 1; i < samples.size(); ++i) rises += samples[i - 1] < 128 && samples[i] >= 128;
             EXPECT_EQ(rises, 50 + 3);
             EXPECT_EQ(snapshot_out(0), mem_read(0x403B));   // left as the mirror holds it
         }},
        {"BasicEntriesThatReturn", "        call 0x1B4D\n        call 0x1E83", "", 0x1EA3, KEEP_ALL & ~KEEP_AF,
         {}, "", 5, [](const machine_case&) { EXPECT_TRUE(screen_shows("THIS FIRMWARE HAS NO")) << screen_text_dump(); }},
        {"BasicCommandLevelIsThePrompt", "        call 0x1A19\n        ld a,1\n        ld (0x5020),a", "", 0, 0, {},
         "", 5,
         [](const machine_case&) {
             EXPECT_EQ(mem_read(OUT), 0);
             EXPECT_EQ(line(screen_cursor_row()), ">") << screen_text_dump();
         }},
        {"OtherCommandLevelIsThePromptToo", "        call 0x197E\n        ld a,1\n        ld (0x5020),a", "", 0, 0,
         {}, "", 5, [](const machine_case&) { EXPECT_EQ(mem_read(OUT), 0); }},
    };
    return all;
}

class EntryPoints : public ::testing::TestWithParam<machine_case> {
protected:
    void SetUp() override { firmware_boot_at(GetParam().model, GetParam().clock); }
    void TearDown() override { machine_set_clock(2500000); }

    // Places the program and starts it as the firmware starts programs.
    void start(const std::vector<uint8_t>& code)
    {
        for (size_t i = 0; i < code.size(); ++i) mem_write(static_cast<uint16_t>(0x4180 + i), code[i]);
        for (uint16_t a = RESULT; a < RESULT + 0x40; ++a) mem_write(a, 0);
        z80_state.sp = GetParam().model == MODEL_C64 ? 0xE000 : mem_read_word(0x0013);
        z80_state.sp = static_cast<uint16_t>(z80_state.sp - 2);
        mem_write_word(z80_state.sp, 0x1D1E);
        z80_state.ix = 0x4042;
        z80_state.pc = 0x4180;
    }
};

TEST_P(EntryPoints, EachRoutineDoesWhatCallersRelyOnAndKeepsTheirRegisters)
{
    static std::map<std::string, std::vector<uint8_t>> assembled;
    for (const entry_case& c : cases()) {
        SCOPED_TRACE(c.name);
        auto& code = assembled[c.name];
        if (code.empty()) code = z80asm_assemble(program_text(c));
        ASSERT_FALSE(code.empty());
        SetUp();
        start(code);
        firmware_run_frames(c.frames);
        c.check(GetParam());
        if (!c.call) continue;
        std::map<std::string, uint16_t> want = {{"BC", 0x1111}, {"DE", 0x2222}, {"HL", 0x3333}, {"IX", 0x4042},
                                                {"IY", 0x5555}, {"BC'", 0x6666}, {"DE'", 0x7777}, {"HL'", 0x8888}};
        for (const auto& [reg, value] : c.inputs_kept) want[reg] = value;
        const struct { const char* reg; int flag; uint16_t at; } regs[] = {
            {"BC", KEEP_BC, 0}, {"DE", KEEP_DE, 2}, {"HL", KEEP_HL, 4}, {"IX", KEEP_IX, 6}, {"IY", KEEP_IY, 8},
            {"BC'", KEEP_ALT, 10}, {"DE'", KEEP_ALT, 12}, {"HL'", KEEP_ALT, 14},
        };
        for (const auto& r : regs) {
            if (c.keeps & r.flag) {
                EXPECT_EQ(mem_read_word(RESULT + r.at), want[r.reg]) << r.reg;
            }
        }
        if (c.keeps & KEEP_AF) {
            EXPECT_EQ(mem_read(RESULT + 0x11), want.count("AF") ? want["AF"] >> 8 : 0x99);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Models, EntryPoints, ::testing::ValuesIn(models_at_both_clocks),
                         [](const auto& info) { return std::string(info.param.name); });

// What programs find in the system variables after the cold start.
TEST(FirmwareSystemVariables, HoldTheDisplayThePortAndTheDriverBlock)
{
    for (int model : {MODEL_A32, MODEL_B48, MODEL_A64, MODEL_C64}) {
        firmware_boot(model);
        const uint16_t display = model == MODEL_C64 ? 0xE500 : model == MODEL_A32 ? 0x6800
                                                                : model == MODEL_B48 ? 0xA800 : 0xE800;
        EXPECT_EQ(mem_read_word(0x0013), display) << model;
        EXPECT_EQ(mem_read_word(0x4039), display) << model;
        EXPECT_EQ(mem_read(0x403B), snapshot_out(0)) << model;
        EXPECT_EQ(mem_read(0x4044) & 0x80, 0x80) << model;          // capitals
        EXPECT_EQ(mem_read(0x404A), model == MODEL_C64 ? 0xE7 : display >> 8) << model;
        EXPECT_EQ(mem_read(0x4049), 4) << model;                   // the cursor row: the prompt
        EXPECT_EQ(mem_read(0x4048), 1) << model;
        EXPECT_EQ(mem_read_word(0x40A4), 0x43EA) << model;
        EXPECT_EQ(mem_read_word(0x40F9), 0x43EA) << model;
        EXPECT_EQ(mem_read(0x40AF), 2) << model;
        EXPECT_NE(mem_read_word(0x4019), 0) << model;
        EXPECT_NE(mem_read_word(0x401F), 0) << model;
    }
}

}  // namespace
