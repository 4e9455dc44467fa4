// The built-in A/B and C64 firmware, run on the whole machine: booting,
// the keyboard, the screen, the monitor commands and the fixed entry points
// the emulator relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "core/machine.h"
#include "core/bus.h"
#include "core/memory.h"
#include "core/trap.h"
#include "cpu/cpu.h"
#include "devices/input.h"
#include "devices/screen.h"
#include "roms.h"
#include "support/fake_keyboard.h"
#include "support/firmware_driver.h"
#include "support/screen_text.h"

namespace {

struct boot_case {
    int model;
    const char* title;
    const char* free_bytes;
};

constexpr boot_case boot_cases[] = {
    {MODEL_A32, "BREVAN PRIMO A32", "9760 BYTES FREE"},
    {MODEL_A48, "BREVAN PRIMO A48", "26144 BYTES FREE"},
    {MODEL_A64, "BREVAN PRIMO A64", "42528 BYTES FREE"},
    {MODEL_B32, "BREVAN PRIMO B32", "9760 BYTES FREE"},
    {MODEL_B48, "BREVAN PRIMO B48", "26144 BYTES FREE"},
    {MODEL_B64, "BREVAN PRIMO B64", "42528 BYTES FREE"},
    {MODEL_C64, "BREVAN PRIMO C64", "40480 BYTES FREE"},
};

class FirmwareBoot : public ::testing::TestWithParam<boot_case> {};

TEST_P(FirmwareBoot, ShowsBannerFreeMemoryAndPrompt)
{
    const boot_case& c = GetParam();
    firmware_boot(c.model);
    const auto lines = screen_text_lines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], c.title) << screen_text_dump();
    EXPECT_EQ(lines[2], c.free_bytes) << screen_text_dump();
    EXPECT_EQ(lines[3], "H OR ? FOR HELP");
    EXPECT_EQ(lines[4], ">") << screen_text_dump();
    EXPECT_EQ(screen_cursor_row(), 4);
}

INSTANTIATE_TEST_SUITE_P(EveryModel, FirmwareBoot, ::testing::ValuesIn(boot_cases),
                         [](const auto& info) {
                             std::string name = info.param.title + 13;
                             return name;
                         });

class Firmware : public ::testing::Test {
protected:
    void boot(int model) { firmware_boot(model); }
    static std::string line(int row)
    {
        const auto lines = screen_text_lines();
        return row < static_cast<int>(lines.size()) ? lines[row] : std::string();
    }
};

// The keyboard starts in capitals, as programs polling it expect.
TEST_F(Firmware, TypedKeysAppearAtThePrompt)
{
    boot(MODEL_A64);
    firmware_type("hello World 42");
    EXPECT_EQ(line(4), ">HELLO WORLD 42") << screen_text_dump();
    firmware_type("\b\b7");
    EXPECT_EQ(line(4), ">HELLO WORLD 7") << screen_text_dump();
    // A line longer than the screen wraps after 42 columns, and deleting
    // goes back over the wrap.
    firmware_type("\r");
    firmware_type(std::string(45, 'x'));
    EXPECT_EQ(line(6), ">" + std::string(41, 'X')) << screen_text_dump();
    EXPECT_EQ(line(7), "XXXX");
    firmware_type("\b\b\b\b\b");
    EXPECT_EQ(line(6), ">" + std::string(40, 'X')) << screen_text_dump();
    EXPECT_EQ(line(7), "");
}

TEST_F(Firmware, RunsAtTheFastClock)
{
    for (int model : {MODEL_B64, MODEL_C64}) {
        boot(model);
        machine_set_clock(3750000);
        machine_hard_reset();
        firmware_run_frames(30);
        EXPECT_EQ(line(4), ">") << screen_text_dump();
        firmware_type("h ff 1\r");
        EXPECT_EQ(line(5), "0100 00FE") << screen_text_dump();
    }
}

TEST_F(Firmware, HomeClearsTheScreenAndKeepsTheLine)
{
    boot(MODEL_B32);
    firmware_type("x\rd 1");
    firmware_hold_key(HK_HOME, 2);
    firmware_run_frames(2);
    firmware_type("0\r");
    const auto lines = screen_text_lines();
    EXPECT_EQ(lines[0], ">D 10") << screen_text_dump();
    EXPECT_EQ(lines[1].substr(0, 5), "0010 ") << screen_text_dump();
}

TEST_F(Firmware, UnknownCommandSaysErrorAndPromptsAgain)
{
    boot(MODEL_A64);
    firmware_type("x\r");
    EXPECT_EQ(line(5), "ERROR") << screen_text_dump();
    EXPECT_EQ(line(6), ">");
}

TEST_F(Firmware, EditThenDumpShowsTheBytes)
{
    boot(MODEL_A64);
    firmware_type("e 5000 12 ab 7F 0\r");
    EXPECT_EQ(mem_read(0x5000), 0x12);
    EXPECT_EQ(mem_read(0x5001), 0xAB);
    EXPECT_EQ(mem_read(0x5002), 0x7F);
    EXPECT_EQ(mem_read(0x5003), 0x00);
    firmware_type("d 5000\r", 20);
    EXPECT_TRUE(screen_shows("5000 12 AB 7F 00 00 00 00 00")) << screen_text_dump();
    EXPECT_TRUE(screen_shows("5038 00 00 00 00 00 00 00 00")) << screen_text_dump();
    // D without an address goes on where the last dump stopped.
    firmware_type("d\r", 20);
    EXPECT_TRUE(screen_shows("5078 00 00 00 00 00 00 00 00")) << screen_text_dump();
}

TEST_F(Firmware, FillMoveAndHexArithmetic)
{
    boot(MODEL_A32);
    firmware_type("f 5000 500f 5a\r");
    for (uint16_t a = 0x5000; a <= 0x500F; ++a) ASSERT_EQ(mem_read(a), 0x5A) << a;
    EXPECT_EQ(mem_read(0x5010), 0x00);
    firmware_type("e 5000 1 2 3 4\r");
    // Overlapping move upwards keeps the bytes in order.
    firmware_type("m 5000 5003 5002\r");
    const uint8_t expect[] = {1, 2, 1, 2, 3, 4};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(mem_read(0x5000 + i), expect[i]) << i;
    firmware_type("h 1234 34\r");
    EXPECT_TRUE(screen_shows("1268 1200")) << screen_text_dump();
    // A range that runs backwards is refused and changes nothing.
    firmware_type("f 5010 5000 ff\r");
    EXPECT_EQ(mem_read(0x5008), 0x5A);
    EXPECT_TRUE(screen_shows("ERROR"));
}

TEST_F(Firmware, GoCallsCodeThatReturnsToThePrompt)
{
    boot(MODEL_A48);
    // LD A,0x77 ; LD (0x5100),A ; RET
    firmware_type("e 5000 3e 77 32 0 51 c9\r");
    firmware_type("g 5000\r");
    EXPECT_EQ(mem_read(0x5100), 0x77);
    EXPECT_EQ(line(6), ">") << screen_text_dump();
}

TEST_F(Firmware, HelpListsTheCommands)
{
    boot(MODEL_A64);
    firmware_type("?\r", 40);
    for (const char* c : {"D ADDR", "E ADDR", "G ADDR", "F FROM TO", "M FROM TO DEST", "H A B",
                          "BEEP", "P TEXT", "S \"NAME\" FROM TO", "LOAD", "RUN LOADED",
                          "S \"NAME\" FROM TO 8 DISK SAVE", "L \"NAME\" 8", "DISK DIRECTORY", "@ TEXT",
                          "DISK STATUS", "P4 TEXT"})
        EXPECT_TRUE(screen_shows(c)) << c << "\n" << screen_text_dump();
}

TEST_F(Firmware, TheBannersHelpKeyWorksUnderBothMappings)
{
    for (int model : {MODEL_A64, MODEL_B64, MODEL_C64})
        for (int mapping : {0, 1}) {
            boot(model);
            keyboard_init();
            keyboard_change_mapping(mapping);
            firmware_type("h\r", 40);
            EXPECT_TRUE(screen_shows("RUN LOADED")) << model << "/" << mapping << "\n" << screen_text_dump();
        }
}

TEST_F(Firmware, ResetButtonStopsTheProgramAndStartsWarmKeepingMemory)
{
    for (int model : {MODEL_A64, MODEL_B32, MODEL_C64}) {
        boot(model);
        firmware_type("e 5000 18 fe\r");   // JR $: a program that never returns
        firmware_type("g 5000\r");
        ASSERT_EQ(z80_state.pc & 0xFFFE, 0x5000) << model;
        const auto before = screen_text_lines();
        reset_button_pressed = 1;
        firmware_run_frames(20);
        EXPECT_EQ(screen_text_lines(), before) << "held: nothing happens yet";
        reset_button_pressed = 0;
        firmware_run_frames(5);
        const auto after = screen_text_lines();
        const auto go = std::find(after.begin(), after.end(), ">G 5000");
        ASSERT_NE(go, after.end()) << screen_text_dump();
        ASSERT_NE(go + 1, after.end());
        EXPECT_EQ(go[1], ">") << "one warm start, back at the prompt\n" << screen_text_dump();
        EXPECT_EQ(std::count(after.begin(), after.end(), ">"), 1) << screen_text_dump();
        EXPECT_EQ(mem_read(0x5000), 0x18);
        firmware_type("h 1 1\r");
        EXPECT_TRUE(screen_shows("0002 0000")) << screen_text_dump();
    }
}

TEST_F(Firmware, ScreenScrollsWhenFull)
{
    boot(MODEL_A64);
    for (int i = 0; i < 14; ++i) firmware_type("x\r");
    const auto lines = screen_text_lines();
    EXPECT_EQ(lines[26], ">") << screen_text_dump();
    EXPECT_EQ(lines[25], "ERROR");
    EXPECT_NE(lines[0], "BREVAN PRIMO A64");
}

TEST_F(Firmware, HeldKeyRepeats)
{
    boot(MODEL_A64);
    firmware_hold_key(HK_K, 60);
    firmware_run_frames(2);
    const std::string typed = line(4);
    // 25 frames until the first repeat, then one every 3 frames.
    EXPECT_GE(typed.size(), 13u) << typed;
    EXPECT_LE(typed.size(), 15u) << typed;
    EXPECT_EQ(typed.find_first_not_of('K', 1), std::string::npos) << typed;
}

TEST_F(Firmware, BModelTypesHungarianLettersOfLayoutOne)
{
    boot(MODEL_B64);
    firmware_hold_key(HK_PAGE_DOWN, 2);     // position 19: o with double acute
    firmware_run_frames(2);
    firmware_hold_key(HK_SEMICOLON, 2);    // position 58: e acute
    firmware_run_frames(2);
    EXPECT_EQ(line(4), ">\x7B\x60") << screen_text_dump();
    // The B character set draws them differently from the A set's symbols.
    const long font = firmware_label("rom_b64", "font");
    ASSERT_GT(font, 0);
    const uint8_t* page = screenptr();
    const uint8_t* a_glyph = rom_a64 + font + (0x7B - 0x20) * 8;
    EXPECT_NE(std::memcmp(a_glyph, page + 4 * 256 + 1, 1), 0);
}

TEST_F(Firmware, AModelHasNoKeyAtTheBOnlyPositions)
{
    boot(MODEL_A64);
    firmware_hold_key(HK_PAGE_DOWN, 2);
    firmware_run_frames(2);
    firmware_hold_key(HK_MINUS, 2);   // position 35: '+' on A, ';' on B
    firmware_run_frames(2);
    EXPECT_EQ(line(4), ">+") << screen_text_dump();
}

TEST_F(Firmware, ShiftAndCapsLockGiveCapitals)
{
    boot(MODEL_A64);
    EXPECT_EQ(mem_read(0x4044) & 0x80, 0x80);   // the keyboard mode: capitals
    firmware_hold_key(HK_CAPS_LOCK, 2);
    firmware_run_frames(2);
    EXPECT_EQ(mem_read(0x4044) & 0x80, 0);
    firmware_type("aB");
    firmware_hold_key(HK_CAPS_LOCK, 2);
    firmware_run_frames(2);
    firmware_type("cd");
    firmware_hold_key(HK_CAPS_LOCK, 2);
    firmware_run_frames(2);
    firmware_type("e\"");
    EXPECT_EQ(line(4), ">aBCDe\"") << screen_text_dump();
}

// A program in RAM calls the keyboard routine once without a key, then
// until it returns one, and stores A and the flags each time.
TEST_F(Firmware, KeyboardRoutineReturnsKeyWithZeroFlagClear)
{
    for (int model : {MODEL_A64, MODEL_C64}) {
        boot(model);
        const uint16_t kbd = model == MODEL_C64 ? 0x09D0 : 0x3866;
        const uint8_t program[] = {
            0xCD, uint8_t(kbd), uint8_t(kbd >> 8),   // CALL kbd
            0xF5, 0xE1, 0x22, 0x00, 0x51,            // PUSH AF ; POP HL ; LD (5100),HL
            0xCD, uint8_t(kbd), uint8_t(kbd >> 8),   // wait: CALL kbd
            0x28, 0xFB,                              // JR Z,wait
            0xF5, 0xE1, 0x22, 0x02, 0x51,            // PUSH AF ; POP HL ; LD (5102),HL
            0x18, 0xFE,                              // JR $
        };
        for (size_t i = 0; i < sizeof program; ++i) mem_write(0x5000 + i, program[i]);
        z80_state.pc = 0x5000;
        firmware_run_frames(3);
        EXPECT_EQ(mem_read(0x5101), 0x00) << model;              // A = 0
        EXPECT_NE(mem_read(0x5100) & FLAG_Z, 0) << model;        // Z set
        firmware_hold_key(HK_Q, 2);
        firmware_run_frames(1);
        EXPECT_EQ(mem_read(0x5103), 'Q') << model;
        EXPECT_EQ(mem_read(0x5102) & FLAG_Z, 0) << model;
        EXPECT_EQ(mem_read(0x4042), 'Q') << model;               // the last key
    }
}

TEST_F(Firmware, FixedEntryPointsHoldTheirInstructions)
{
    EXPECT_EQ(rom_a64[0x017E], '4');
    EXPECT_EQ(rom_a64[0x3866], 0xE5);   // PUSH HL
    EXPECT_EQ(rom_a64[0x3867], 0xD5);   // PUSH DE
    EXPECT_EQ(rom_a64[0x3868], 0xC5);   // PUSH BC
    EXPECT_EQ(rom_a64[0x394F], 0x20);   // JR NZ
    EXPECT_EQ(rom_a64[0x3925], 0x3A);   // LD A,(nn)
    EXPECT_EQ(rom_c64[0x017E], '9');
    EXPECT_EQ(rom_c64[0x09D0], 0xE5);
    EXPECT_EQ(rom_c64[0x09D1], 0xD5);
    EXPECT_EQ(rom_c64[0x09D2], 0xC5);
    EXPECT_EQ(rom_c64[0x09B0], 0x20);
    EXPECT_NE(rom_c64[0x3925], 0x3A);
    // The B image differs from the A image only in its tables.
    EXPECT_GT(b64rom_patch_count, 0u);
    EXPECT_LT(b64rom_patch_count, 400u);
}

TEST_F(Firmware, PatchedRepeatReadAndForcedJumpStillWork)
{
    boot(MODEL_A64);
    // The machine has turned LD A,(nn) into LD A,3 + NOP on selection.
    EXPECT_EQ(rom_pointer()[0x3925], 0x3E);
    EXPECT_EQ(rom_pointer()[0x3926], 0x03);
    rom_pointer()[0x394F] = 0x18;   // as while text is typed
    firmware_type("ok 1");
    EXPECT_EQ(line(4), ">OK 1") << screen_text_dump();
    firmware_hold_key(HK_Z, 40);
    firmware_run_frames(2);
    // No key lost while the loop polls without HALT: 1 + 5 repeats.
    EXPECT_GE(line(4).size(), 10u) << line(4);
    EXPECT_LE(line(4).size(), 12u) << line(4);
}

void enter_restart_entry()
{
    z80_state.sp -= 2;
    mem_write_word(z80_state.sp, 0x1D1E);
    z80_state.pc = 0x1B5D;
}

// What a load that ended well leaves: a start address is run once, the way
// programs are started; a BASIC program is only named.
TEST_F(Firmware, RestartEntryStartsTheLoadedProgramOnceAndNamesABasicOne)
{
    boot(MODEL_A48);
    const long kind = firmware_label("rom_a64", "LOADKIND");
    const long run = firmware_label("rom_a64", "RUNADDR");
    ASSERT_GT(kind, 0);
    // LD (5200),SP ; LD (5202),IX ; LD A,(5204) ; INC A ; LD (5204),A ; RET
    const uint8_t program[] = {0xED, 0x73, 0x00, 0x52, 0xDD, 0x22, 0x02, 0x52,
                               0x3A, 0x04, 0x52, 0x3C, 0x32, 0x04, 0x52, 0xC9};
    for (size_t i = 0; i < sizeof program; ++i) mem_write(0x4180 + i, program[i]);
    mem_write(kind, 1);
    mem_write_word(run, 0x4180);
    enter_restart_entry();
    firmware_run_frames(5);
    EXPECT_EQ(mem_read(0x5204), 1);
    EXPECT_EQ(mem_read_word(0x5200), 0xA7FE);   // just below the display page, the return pushed
    EXPECT_EQ(mem_read_word(0x5202), 0x4042);
    EXPECT_EQ(line(4), ">") << screen_text_dump();
    enter_restart_entry();
    firmware_run_frames(5);
    EXPECT_EQ(mem_read(0x5204), 1) << "started once";
    mem_write(kind, 2);
    enter_restart_entry();
    firmware_run_frames(10);
    EXPECT_TRUE(screen_shows("THIS FIRMWARE HAS NO")) << screen_text_dump();
    EXPECT_EQ(mem_read(0x5204), 1);
}

TEST_F(Firmware, RestartEntryWithoutProgramReturnsToThePrompt)
{
    boot(MODEL_B48);
    firmware_type("abc");
    enter_restart_entry();
    firmware_run_frames(5);
    EXPECT_EQ(line(4), ">ABC");
    EXPECT_EQ(line(5), ">") << screen_text_dump();
    firmware_type("h 1 1\r");
    EXPECT_EQ(line(6), "0002 0000") << screen_text_dump();
}

TEST_F(Firmware, C64BannerIsInColour)
{
    boot(MODEL_C64);
    std::vector<uint8_t> picture(screen_width() * screen_height());
    screen_render_indexed(picture.data());
    const int w = screen_width();
    // The banner's first text row: canvas rows 20-27 (mode 0), columns 28-283.
    std::set<uint8_t> banner, below;
    for (int y = 20; y < 28; ++y)
        for (int x = 28; x < 284; ++x) banner.insert(picture[y * w + x]);
    for (int y = 40; y < 48; ++y)
        for (int x = 28; x < 284; ++x) below.insert(picture[y * w + x]);
    EXPECT_GE(banner.size(), 5u);     // paper and several inks
    EXPECT_EQ(below.size(), 2u);      // white on blue
    EXPECT_EQ(picture[0], 0x02);      // the border is the paper colour
}

TEST_F(Firmware, C64SwitchesToTheTallColourMode)
{
    boot(MODEL_C64);
    firmware_type("v 2\r", 20);
    EXPECT_EQ(mem_read(0xE000), 2);
    auto lines = screen_text_lines();
    ASSERT_EQ(lines.size(), 30u);
    EXPECT_EQ(lines[0], "BREVAN PRIMO C64") << screen_text_dump();
    EXPECT_EQ(lines[4], ">");
    std::vector<uint8_t> picture(screen_width() * screen_height());
    screen_render_indexed(picture.data());
    std::set<uint8_t> banner;
    for (int y = 12; y < 20; ++y)
        for (int x = 28; x < 284; ++x) banner.insert(picture[y * screen_width() + x]);
    EXPECT_GE(banner.size(), 4u);
    firmware_type("v 1\r", 20);
    EXPECT_TRUE(screen_shows("ERROR"));
    firmware_type("v 0\r", 20);
    EXPECT_EQ(mem_read(0xE000), 0);
    EXPECT_EQ(screen_text_lines().size(), 28u);
}

// Host typing: the keyboard routine's first three bytes become a trap that
// hands out one character per call and forces the wait loop's JR; when the
// text runs out it does the routine's pushes and falls through.
struct typing_site {
    uint16_t routine, jr;
};
std::string typing_text;
size_t typing_pos = 0;
typing_site typing_at{};

int typing_trap(int*)
{
    uint8_t* rom = rom_pointer();
    if (typing_pos < typing_text.size()) {
        const uint8_t c = static_cast<uint8_t>(typing_text[typing_pos++]);
        z80_state.af = static_cast<uint16_t>(c << 8 | (z80_state.af & 0xFF & ~FLAG_Z));
        if (rom[typing_at.jr] == 0x20) rom[typing_at.jr] = 0x18;
        mem_write(0x4042, c);
        return 0;
    }
    for (uint16_t r : {z80_state.hl, z80_state.de, z80_state.bc}) {
        z80_state.sp = static_cast<uint16_t>(z80_state.sp - 2);
        mem_write_word(z80_state.sp, r);
    }
    if (rom[typing_at.routine + 2] == 0xC9) rom[typing_at.routine + 2] = 0x00;
    if (rom[typing_at.jr] == 0x18) rom[typing_at.jr] = 0x20;
    z80_state.af = static_cast<uint16_t>((z80_state.af & 0xFF) | FLAG_Z);
    mem_write(0x4042, 0);
    return 0;
}

void start_typing(const std::string& text, typing_site site)
{
    typing_text = text;
    typing_pos = 0;
    typing_at = site;
    static trap_record table[2];
    table[0] = {typing_trap, site.routine, 3, {0xED, 0x06, 0xC9}, {}};
    table[1] = {};
    traps_set(table, rom_pointer());
}

TEST_F(Firmware, HostTypingThroughTheKeyboardRoutineTrap)
{
    for (int model : {MODEL_A64, MODEL_C64}) {
        boot(model);
        const typing_site site = model == MODEL_C64 ? typing_site{0x09D0, 0x09B0} : typing_site{0x3866, 0x394F};
        start_typing("e 5000 ab cd\rh 10 1\r", site);
        // Typed characters do not wait for frames: 20 of them in 5.
        firmware_run_frames(5);
        EXPECT_EQ(typing_pos, typing_text.size()) << model;
        EXPECT_EQ(mem_read(0x5000), 0xAB) << model;
        EXPECT_EQ(mem_read(0x5001), 0xCD) << model;
        EXPECT_TRUE(screen_shows("0011 000F")) << screen_text_dump();
        // Used up: the routine runs on as the firmware's own, the JR is back.
        EXPECT_EQ(rom_pointer()[site.jr], 0x20);
        EXPECT_EQ(rom_pointer()[site.routine + 2], 0x00);
        firmware_type("h 2 2\r");
        EXPECT_TRUE(screen_shows("0004 0000")) << model << "\n" << screen_text_dump();
    }
}

TEST_F(Firmware, SymbolicKeyMappingGivesShiftedCharacters)
{
    boot(MODEL_A64);
    keyboard_change_mapping(1);
    keyboard_init();
    fake_keyboard_press(HK_SHIFT);
    firmware_hold_key(HK_2, 2);      // '"' is Shift+2 on the host layout
    firmware_hold_key(HK_D, 2);
    fake_keyboard_release(HK_SHIFT);
    firmware_run_frames(2);
    firmware_hold_key(HK_D, 2);
    firmware_run_frames(2);
    EXPECT_EQ(line(4), ">\"DD") << screen_text_dump();
    keyboard_change_mapping(0);
}

}  // namespace
