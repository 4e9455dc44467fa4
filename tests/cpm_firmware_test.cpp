// The CP/M firmware running on the machine: the boot ROM's request for a
// system disk, the BIOS jump table, and the BIOS console, keyboard and
// cold start driven through its entries.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/machine.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "devices/input.h"
#include "roms.h"
#include "support/fake_keyboard.h"
#include "support/firmware_driver.h"
#include "support/test_machine.h"

namespace {

constexpr uint16_t SCREEN = 0xC800;
constexpr uint16_t STUB = 0x9000;
constexpr uint16_t STUB_END = 0x9013;
constexpr uint16_t TEXT = 0xA000;
constexpr uint16_t RESULT = 0x9E00;

int rom_label(const std::string& name) { return static_cast<int>(firmware_label("pr_2732", name)); }
int bios_label(const std::string& name) { return static_cast<int>(firmware_label("pr_2716_e000", name)); }

// A zero-terminated text of an image, without its line ends.
std::string image_text(const uint8_t* image, size_t size, int offset)
{
    std::string text;
    for (size_t i = static_cast<size_t>(offset); i < size && image[i]; ++i)
        if (image[i] >= 0x20) text += static_cast<char>(image[i]);
    return text;
}

// Reads display page 0 back as 24 rows of 32 characters by matching every
// cell with the boot ROM's glyphs. The cursor (an inverted cell) reads as
// the character under it; a cell that matches no glyph reads as '\1'.
std::vector<std::string> screen_text()
{
    const uint8_t* font = pr_2732 + rom_label("font");
    std::vector<std::string> rows;
    for (int row = 0; row < 24; ++row) {
        std::string text;
        for (int col = 0; col < 32; ++col) {
            std::array<uint8_t, 8> cell{};
            for (int k = 0; k < 8; ++k) cell[k] = the_machine.mem.memory[SCREEN + row * 256 + k * 32 + col];
            char found = '\1';
            for (int pass = 0; pass < 2 && found == '\1'; ++pass)
                for (int g = 0; g < 96; ++g) {
                    bool same = true;
                    for (int k = 0; k < 8; ++k)
                        same = same && cell[k] == static_cast<uint8_t>(pass ? ~font[g * 8 + k] : font[g * 8 + k]);
                    if (same) { found = static_cast<char>(g == 95 ? ' ' : 0x20 + g); break; }
                }
            text += found;
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        rows.push_back(text);
    }
    return rows;
}

bool screen_shows(const std::string& text)
{
    for (const auto& row : screen_text())
        if (row.find(text) != std::string::npos) return true;
    return false;
}

class CpmMachine : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake_keyboard_install();
        keyboard_change_mapping(0);   // positional: host keys stand for Primo keys
        memory_set_rom_banking(1);
        test_machine_select(MODEL_CPM);
        z80_state.bp_enabled = 0;
    }
    void TearDown() override
    {
        keyboard_set_host(nullptr);
    }

    static void run_frames(int n)
    {
        for (int i = 0; i < n; ++i) machine_run();
    }
    // Runs until the processor idles at pc; false if it never gets there.
    static bool run_until(uint16_t pc, int max_frames = 300)
    {
        for (int i = 0; i < max_frames; ++i) {
            machine_run();
            if (z80_state.pc == pc) return true;
        }
        return false;
    }
    static void poke(uint16_t at, const std::vector<uint8_t>& bytes)
    {
        for (uint8_t b : bytes) the_machine.mem.memory[at++] = b;
    }
    // BIOS cold start: with no system disk it ends up waiting in CONIN.
    static void cold_start_bios()
    {
        z80_state.pc = 0xE000;
        run_frames(20);
    }
    // Calls one BIOS entry with C = arg and keeps A at RESULT.
    static bool call_bios(int entry, uint8_t arg)
    {
        const uint16_t target = static_cast<uint16_t>(0xE000 + 3 * entry);
        poke(STUB, {0x31, 0x00, 0x9F,                              // LD SP,9F00
                    0x0E, arg,                                     // LD C,arg
                    0xCD, static_cast<uint8_t>(target), static_cast<uint8_t>(target >> 8),
                    0x32, RESULT & 0xFF, RESULT >> 8,              // LD (RESULT),A
                    0x18, 0xFE});                                  // JR $
        z80_state.pc = STUB;
        return run_until(STUB + 11);
    }
    // Sends a text through CONOUT, one character at a time.
    static bool console_write(const std::string& text)
    {
        poke(STUB, {0x31, 0x00, 0x9F,         // LD SP,9F00
                    0x21, TEXT & 0xFF, TEXT >> 8,   // LD HL,TEXT
                    0x7E, 0xB7, 0x28, 0x09,   // LD A,(HL); OR A; JR Z,end
                    0xE5, 0x4F,               // PUSH HL; LD C,A
                    0xCD, 0x0C, 0xE0,         // CALL CONOUT
                    0xE1, 0x23, 0x18, 0xF3,   // POP HL; INC HL; JR loop
                    0x18, 0xFE});             // end: JR $
        std::vector<uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        poke(TEXT, bytes);
        z80_state.pc = STUB;
        return run_until(STUB_END);
    }
};

TEST_F(CpmMachine, BootRomWithoutDiskAsksForSystemDiskAndKeepsWaiting)
{
    const std::string request = image_text(pr_2732, sizeof pr_2732, rom_label("msg_nodisk"));
    ASSERT_GT(request.size(), 10u);
    run_frames(10);
    EXPECT_TRUE(screen_shows(request));
    run_frames(100);
    EXPECT_TRUE(screen_shows(request));
    EXPECT_LT(z80_state.pc, 0x1000) << "left the boot ROM";
    EXPECT_EQ(the_machine.mem.bank_nr, 0);
}

TEST_F(CpmMachine, BootRomRetriesAfterAKeyAndAsksAgain)
{
    const std::string request = image_text(pr_2732, sizeof pr_2732, rom_label("msg_nodisk"));
    run_frames(10);
    ASSERT_TRUE(screen_shows(request));
    fake_keyboard_press(HK_SPACE);
    run_frames(5);
    fake_keyboard_release(HK_SPACE);
    run_frames(5);
    EXPECT_TRUE(screen_shows(request));
    EXPECT_LT(z80_state.pc, 0x1000);
}

TEST(CpmImages, BytesTheMachineRewritesLieInFiller)
{
    EXPECT_EQ(pr_2732[0x14], 0xFF);
    EXPECT_EQ(pr_2732[0x3B], 0xFF);
}

TEST(CpmImages, JumpTableHoldsTheSeventeenEntriesInTheirStandardPlaces)
{
    const char* names[17] = {"boot", "wboot", "const", "conin", "conout", "list", "punch", "reader", "home",
                             "seldsk", "settrk", "setsec", "setdma", "read", "write", "listst", "sectran"};
    for (int k = 0; k < 17; ++k) {
        ASSERT_EQ(pr_2716_e000[3 * k], 0xC3) << names[k];
        const int target = pr_2716_e000[3 * k + 1] | pr_2716_e000[3 * k + 2] << 8;
        EXPECT_EQ(target, bios_label(names[k])) << names[k];
        EXPECT_GE(target, 0xE000 + 3 * 17) << names[k];
        EXPECT_LT(target, 0xE800) << names[k];
    }
}

TEST(CpmImages, DiskParameterBlocksFitTheDiskAndTheVectors)
{
    // SPT, BSH, BLM, EXM, DSM, DRM, AL0, AL1, CKS, OFF, by the geometry byte:
    // bit 0 9 sectors, bit 1 80 tracks, bit 2 two sides (80 tracks).
    const int table = bios_label("dpb_table") - 0xE000;
    for (int i : {0, 1, 2, 3, 6, 7}) {
        const int dpb = (pr_2716_e000[table + 2 * i] | pr_2716_e000[table + 2 * i + 1] << 8) - 0xE000;
        const uint8_t* p = pr_2716_e000 + dpb;
        const int spt = p[0] | p[1] << 8, bsh = p[2], blm = p[3], exm = p[4];
        const int dsm = p[5] | p[6] << 8, drm = p[7] | p[8] << 8, cks = p[11] | p[12] << 8, off = p[13] | p[14] << 8;
        const int sectors = (i & 1) ? 9 : 8, tracks = (i & 4) ? 160 : (i & 2) ? 80 : 40;
        EXPECT_EQ(spt, sectors * 4) << i;
        EXPECT_EQ(blm, (1 << bsh) - 1) << i;
        EXPECT_EQ(exm, dsm > 255 ? 0 : 1) << i;                // 2 KB blocks: 16 KB or 32 KB an entry
        const int records = (tracks - off) * spt;
        EXPECT_LE((dsm + 1) << bsh, records) << i;             // never past the last track
        EXPECT_GT((dsm + 2) << bsh, records) << i;             // and no block left out
        EXPECT_LE(dsm / 8 + 1, 64) << i;                       // allocation vector space
        EXPECT_EQ(cks, (drm + 1) / 4) << i;
        EXPECT_LE(cks, 64) << i;                               // check vector space
        EXPECT_EQ(p[9], (0xFF00 >> ((drm + 1) * 32 / 2048)) & 0xFF) << i;   // directory blocks
        EXPECT_GE(off * sectors * 512, 512 + 0x1600) << i;     // boot sector, CCP and BDOS
    }
}

TEST_F(CpmMachine, ColdStartSwitchesInRamCopiesGlyphsAndReportsMissingSystem)
{
    cold_start_bios();
    EXPECT_EQ(the_machine.mem.bank_nr, 2);
    const int font = rom_label("font");
    for (int i = 0; i < 96 * 8; ++i) ASSERT_EQ(the_machine.mem.memory[0xF800 + i], pr_2732[font + i]) << i;
    EXPECT_TRUE(screen_shows(image_text(pr_2716_e000, sizeof pr_2716_e000, bios_label("msg_signon") - 0xE000)));
    EXPECT_TRUE(screen_shows(image_text(pr_2716_e000, sizeof pr_2716_e000, bios_label("msg_loaderr") - 0xE000)));
}

TEST_F(CpmMachine, ColdStartWithoutRamBankSaysSoInsteadOfRunning)
{
    memory_set_rom_banking(0);
    cold_start_bios();
    EXPECT_TRUE(screen_shows(image_text(pr_2716_e000, sizeof pr_2716_e000, bios_label("msg_nobank") - 0xE000)));
    EXPECT_FALSE(screen_shows(image_text(pr_2716_e000, sizeof pr_2716_e000, bios_label("msg_signon") - 0xE000)));
}

TEST_F(CpmMachine, ConsoleWritesWrapsAndScrolls)
{
    cold_start_bios();
    ASSERT_TRUE(console_write("\x0cHello, CP/M!\r\nA\x08" "B"));
    auto rows = screen_text();
    EXPECT_EQ(rows[0], "Hello, CP/M!");
    EXPECT_EQ(rows[1], "B");

    ASSERT_TRUE(console_write("\x0c" + std::string(40, 'x')));
    rows = screen_text();
    EXPECT_EQ(rows[0], std::string(32, 'x'));
    EXPECT_EQ(rows[1], std::string(8, 'x'));

    std::string lines = "\x0c";
    for (int i = 0; i < 30; ++i) {
        lines += 'L';
        lines += std::to_string(10 + i);
        lines += "\r\n";
    }
    ASSERT_TRUE(console_write(lines));
    rows = screen_text();
    EXPECT_EQ(rows[0], "L17");
    EXPECT_EQ(rows[22], "L39");
    EXPECT_EQ(rows[23], "");
}

TEST_F(CpmMachine, ConsoleCursorAddressingAndBlockCursor)
{
    cold_start_bios();
    ASSERT_TRUE(console_write("\x1a\x1b=%*Z"));   // row 5, column 10
    const auto rows = screen_text();
    EXPECT_EQ(rows[5], std::string(10, ' ') + "Z");
    for (int k = 0; k < 8; ++k)   // the cursor waits, inverted, in the next cell
        EXPECT_EQ(the_machine.mem.memory[SCREEN + 5 * 256 + k * 32 + 11], 0xFF) << k;
    ASSERT_TRUE(console_write("\x1a"));
    for (int k = 0; k < 8; ++k) EXPECT_EQ(the_machine.mem.memory[SCREEN + 5 * 256 + k * 32 + 11], 0x00) << k;
}

TEST_F(CpmMachine, KeyboardGivesCharactersWithShiftAndControl)
{
    cold_start_bios();
    ASSERT_TRUE(call_bios(2, 0));
    EXPECT_EQ(the_machine.mem.memory[RESULT], 0x00) << "CONST with no key";

    fake_keyboard_press(HK_A);
    ASSERT_TRUE(call_bios(3, 0));
    EXPECT_EQ(the_machine.mem.memory[RESULT], 'a');
    fake_keyboard_release(HK_A);

    fake_keyboard_press(HK_SHIFT);
    fake_keyboard_press(HK_2);
    ASSERT_TRUE(call_bios(3, 0));
    EXPECT_EQ(the_machine.mem.memory[RESULT], '"');
    fake_keyboard_release(HK_2);
    fake_keyboard_release(HK_SHIFT);

    fake_keyboard_press(HK_CTRL);
    fake_keyboard_press(HK_C);
    ASSERT_TRUE(call_bios(3, 0));
    EXPECT_EQ(the_machine.mem.memory[RESULT], 0x03);
    fake_keyboard_release(HK_C);
    fake_keyboard_release(HK_CTRL);
}

// Every key with and without shift and ctrl, read through CONST and CONIN:
// together they give every code from 0x01 to 0x7F.
TEST_F(CpmMachine, KeyCombinationsReachEveryCharacterAndControlCode)
{
    cold_start_bios();
    std::array<bool, 128> typed{};
    for (int position = 0; position < 64; ++position) {
        const host_key key = keyboard_trans[position];
        if (key == HK_NONE || key == HK_SHIFT || key == HK_CTRL || key == HK_CAPS_LOCK) continue;
        for (int mods = 0; mods < 4; ++mods) {
            if (mods & 1) fake_keyboard_press(HK_SHIFT);
            if (mods & 2) fake_keyboard_press(HK_CTRL);
            fake_keyboard_press(key);
            ASSERT_TRUE(call_bios(2, 0));
            if (the_machine.mem.memory[RESULT] == 0xFF) {
                ASSERT_TRUE(call_bios(3, 0));
                typed[the_machine.mem.memory[RESULT] & 0x7F] = true;
            }
            fake_keyboard_release(key);
            fake_keyboard_release(HK_SHIFT);
            fake_keyboard_release(HK_CTRL);
            ASSERT_TRUE(call_bios(2, 0));   // the scan sees every key up
        }
    }
    for (int c = 1; c < 128; ++c) EXPECT_TRUE(typed[c]) << "no keys give 0x" << std::hex << c;
}

TEST_F(CpmMachine, HeldKeyRepeatsOnlyAfterAPause)
{
    cold_start_bios();
    fake_keyboard_press(HK_ENTER);
    ASSERT_TRUE(call_bios(3, 0));
    EXPECT_EQ(the_machine.mem.memory[RESULT], 13);
    ASSERT_TRUE(call_bios(2, 0));
    EXPECT_EQ(the_machine.mem.memory[RESULT], 0x00) << "no repeat at once";

    // Polls CONST until the key comes again, counting frames.
    poke(STUB, {0x31, 0x00, 0x9F, 0xCD, 0x06, 0xE0, 0xB7, 0x28, 0xFA, 0x18, 0xFE});
    z80_state.pc = STUB;
    int frames = 0;
    while (frames < 200 && z80_state.pc != STUB + 9) {
        machine_run();
        ++frames;
    }
    EXPECT_GE(frames, 15);
    EXPECT_LE(frames, 40);
    ASSERT_TRUE(call_bios(3, 0));
    EXPECT_EQ(the_machine.mem.memory[RESULT], 13);

    fake_keyboard_release(HK_ENTER);
    ASSERT_TRUE(call_bios(2, 0));
    EXPECT_EQ(the_machine.mem.memory[RESULT], 0x00);
}

}  // namespace
