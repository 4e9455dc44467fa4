// End to end on every model: a Z80 program in RAM draws into its display
// page and toggles the beeper; the rendered picture and the frequency heard
// in the sound fragments must match.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/event.h"
#include "core/hooks.h"
#include "core/machine.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "devices/screen.h"
#include "sound/sound.h"
#include "support/test_machine.h"

namespace {

std::vector<int16_t> heard;

const sound_driver_t capture_driver{
    "capture",
    [](int) { return 1; },
    [] {},
    [](const void* data, uint32_t, uint32_t length) {
        const auto* samples = static_cast<const int16_t*>(data);
        heard.insert(heard.end(), samples, samples + length / 2);
        return 1;
    },
    [] {},
    [] {},
    [] {},
    [] { return -1; },   // position unknown: one fragment per frame
};

struct model_case {
    int model;
    uint16_t page;       // the page the program draws into and shows
    uint8_t page_bit;    // control register bit 3 for that page
    int page_bytes;
    int clock;
};

constexpr model_case cases[] = {
    {MODEL_A32, 0x6800, 0x08, 6144, 2500000},
    {MODEL_A48, 0xA800, 0x08, 6144, 2500000},
    {MODEL_A64, 0xE800, 0x08, 6144, 3750000},
    {MODEL_B32, 0x4800, 0x00, 6144, 2500000},
    {MODEL_B48, 0xA800, 0x08, 6144, 2500000},
    {MODEL_B64, 0xC800, 0x00, 6144, 2500000},
    {MODEL_C64, 0xE500, 0x08, 6912, 3750000},
    {MODEL_CPM, 0xC800, 0x00, 6144, 2500000},   // page 1 overlaps the protected BIOS
};

constexpr uint16_t PROGRAM = 0x4000;
constexpr uint16_t COLOUR_TABLE = 0x4400;
constexpr int DELAY = 94;                       // DJNZ count of the beeper loop
constexpr int HALF_PERIOD = 13 * DELAY + 30;    // T-states between beeper edges
constexpr uint8_t C64_PAPER = 0x03, C64_INK = 0xE0;

class Assembler {
public:
    std::vector<uint8_t> code;
    void b(std::initializer_list<int> bytes)
    {
        for (int x : bytes) code.push_back(static_cast<uint8_t>(x));
    }
    void w(int op, uint16_t value) { b({op, value & 0xFF, value >> 8}); }
    uint16_t here() const { return static_cast<uint16_t>(PROGRAM + code.size()); }
};

std::vector<uint8_t> build_program(const model_case& m)
{
    Assembler a;
    a.b({0xF3});                                   // DI
    a.b({0x3E, m.page_bit, 0xD3, 0x00});           // LD A,page; OUT (0),A
    // The page repeats F0 33 ...
    a.w(0x21, m.page);                             // LD HL,page
    a.b({0x36, 0xF0, 0x23, 0x36, 0x33, 0x2B});     // LD (HL),F0; INC HL; LD (HL),33; DEC HL
    a.w(0x11, static_cast<uint16_t>(m.page + 2));  // LD DE,page+2
    a.w(0x01, static_cast<uint16_t>(m.page_bytes - 2));
    a.b({0xED, 0xB0});                             // LDIR
    // ... except the top line, all ink.
    a.w(0x21, m.page);
    a.b({0x36, 0xFF});
    a.w(0x11, static_cast<uint16_t>(m.page + 1));
    a.w(0x01, 31);
    a.b({0xED, 0xB0});
    if (m.model == MODEL_C64) {                    // colour block: mode, command, palette 0
        a.w(0x21, COLOUR_TABLE);
        a.w(0x11, static_cast<uint16_t>(m.page - 0x500));
        a.w(0x01, 0x80);
        a.b({0xED, 0xB0});
    }
    a.b({0x3E, m.page_bit});                       // beeper low
    const uint16_t loop = a.here();
    a.b({0x06, DELAY, 0x10, 0xFE});                // LD B,n; DJNZ $
    a.b({0xEE, 0x10, 0xD3, 0x00});                 // XOR 10h; OUT (0),A
    a.w(0xC3, loop);                               // JP loop
    return a.code;
}

void load_colour_table()
{
    uint8_t* t = rom_pointer() + COLOUR_TABLE;
    for (int i = 0; i < 0x80; ++i) t[i] = 0;
    t[0] = 2;      // 256 x 216 mode
    t[1] = 0x84;   // command: palette 0, no cycling
    for (int i = 0; i < 16; ++i) {
        t[0x20 + i] = C64_PAPER;
        t[0x30 + i] = C64_INK;
    }
}

// The page pattern as the program leaves it.
int pattern_bit(int row, int x)
{
    const uint8_t byte = row == 0 ? 0xFF : ((x / 8) % 2 == 0 ? 0xF0 : 0x33);
    return (byte >> (7 - x % 8)) & 1;
}

// Beeper edges: jumps of the level, which the high-pass keeps sharp.
int count_edges(const std::vector<int16_t>& s)
{
    int edges = 0;
    for (size_t i = 1; i < s.size(); ++i)
        if (std::abs(s[i] - s[i - 1]) > 2000) ++edges;
    return edges;
}

class MachineEndToEnd : public ::testing::TestWithParam<model_case> {
protected:
    static void SetUpTestSuite()
    {
        test_machine_select(MODEL_A64);
        sound_register_driver(&capture_driver);
    }
};

TEST_P(MachineEndToEnd, ProgramDrawsThePageAndSoundsTheBeeper)
{
    const model_case m = GetParam();
    g_bDoubleScreen = 0;
    machine_change_model(m.model);
    machine_set_clock(m.clock);
    const auto program = build_program(m);
    for (size_t i = 0; i < program.size(); ++i) rom_pointer()[PROGRAM + i] = program[i];
    if (m.model == MODEL_C64) load_colour_table();
    z80_state.pc = PROGRAM;
    z80_state.sp = 0x7F00;

    for (int i = 0; i < 8; ++i) {   // drawing and the first edges
        machine_run();
        sound_flush(z80_state.tcount);
    }
    heard.clear();
    constexpr int FRAMES = 50;
    for (int i = 0; i < FRAMES; ++i) {
        machine_run();
        UpdateFrame();
        sound_flush(z80_state.tcount);
    }

    // Picture.
    ASSERT_EQ(screenptr(), rom_pointer() + m.page);
    std::vector<uint8_t> picture(static_cast<size_t>(screen_width()) * screen_height());
    screen_render_indexed(picture.data());
    const bool colour = m.model == MODEL_C64;
    const int rows = colour ? 216 : 192;
    const int top = colour ? 12 : 24;
    const uint8_t ink = colour ? C64_INK : 1, paper = colour ? C64_PAPER : 0, border = colour ? C64_PAPER : 2;
    int wrong = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 312; ++x) {
            const int px = x - 28, row = y - top;
            uint8_t want = border;
            if (px >= 0 && px < 256 && row >= 0 && row < rows) want = pattern_bit(row, px) ? ink : paper;
            if (picture[y * 312 + x] != want && ++wrong <= 5)
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << int(picture[y * 312 + x])
                              << ", expected " << int(want);
        }
    EXPECT_EQ(wrong, 0);

    // Sound: one fragment per frame, the beeper at its programmed rate.
    ASSERT_GE(heard.size(), static_cast<size_t>((FRAMES - 2) * SOUND_FRAGMENT));
    ASSERT_LE(heard.size(), static_cast<size_t>((FRAMES + 1) * SOUND_FRAGMENT));
    const int line = m.clock / 15625;
    const double expected = line * 15600.0 / (2.0 * HALF_PERIOD);   // in 48 kHz samples
    const double measured = count_edges(heard) / 2.0 / (heard.size() / double(SOUND_RATE));
    EXPECT_NEAR(measured, expected, expected * 0.005);
}

std::string model_name(const ::testing::TestParamInfo<model_case>& info)
{
    static const char* const names[] = {"A32", "A48", "A64", "B32", "B48", "B64", "C64", "CPM"};
    return names[info.param.model];
}

INSTANTIATE_TEST_SUITE_P(EveryModel, MachineEndToEnd, ::testing::ValuesIn(cases), model_name);

}  // namespace
