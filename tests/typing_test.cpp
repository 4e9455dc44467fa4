// Typing text: the escapes of scripted text, the keys each model presses
// for a code, and the typist on the key matrix of the running firmware.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/machine.h"
#include "core/bus.h"
#include "core/memory.h"
#include "devices/typing.h"
#include "support/firmware_driver.h"
#include "support/paths.h"
#include "support/screen_text.h"

namespace {

std::string units_text(const std::vector<type_unit>& units)
{
    std::string out;
    for (const type_unit& u : units) {
        char item[24];
        const char kind = u.kind == type_unit::PAUSE ? 'w' : u.kind == type_unit::BYTE ? 'b' : 'c';
        std::snprintf(item, sizeof item, "%c%X@%u:%u ", kind, static_cast<unsigned>(u.value), u.line, u.column);
        out += item;
    }
    return out;
}

TEST(TypeText, EscapesLineEndsAndUtf8BecomeUnitsAtTheirPlaces)
{
    const struct { const char* text; bool escapes; const char* units; } cases[] = {
        {"a\\n\\\\", true, "c61@1:1 cD@1:2 c5C@1:4 "},
        {"\\x03\\x1a\\e\\w", true, "b3@1:1 b1A@1:5 b1B@1:9 w0@1:11 "},
        {"x\r\ny\rz\n", false, "c78@1:1 cD@1:2 c79@2:1 cD@2:2 c7A@3:1 cD@3:2 "},
        {"\\n\xC3\xA9\xC5\x91", false, "c5C@1:1 c6E@1:2 cE9@1:3 c151@1:4 "},
    };
    for (const auto& c : cases) {
        std::vector<type_unit> units;
        EXPECT_EQ(type_text_parse(c.text, c.escapes, units).fault, type_text_fault::NONE) << c.text;
        EXPECT_EQ(units_text(units), c.units) << c.text;
    }
}

TEST(TypeText, FaultsNameTheirLineAndColumn)
{
    const struct { const char* text; type_text_fault fault; uint32_t line, column; } cases[] = {
        {"ab\\q", type_text_fault::UNKNOWN_ESCAPE, 1, 3},
        {"x\\", type_text_fault::UNKNOWN_ESCAPE, 1, 2},
        {"\\nab\\x4", type_text_fault::BAD_HEX, 1, 5},
        {"\\x4g", type_text_fault::BAD_HEX, 1, 1},
        {"ok\n\xC3(", type_text_fault::BAD_UTF8, 2, 1},
        {"\xED\xA0\x80", type_text_fault::BAD_UTF8, 1, 1},   // a surrogate
    };
    for (const auto& c : cases) {
        std::vector<type_unit> units;
        const type_text_result r = type_text_parse(c.text, true, units);
        EXPECT_EQ(r.fault, c.fault) << c.text;
        EXPECT_EQ(r.line, c.line) << c.text;
        EXPECT_EQ(r.column, c.column) << c.text;
    }
}

TEST(TypeText, FileBytesThatAreNotUtf8AreReadAsCp1250)
{
    EXPECT_EQ(type_text_file_to_utf8("\xE9v \xF5"), "\xC3\xA9v \xC5\x91");   // év ő
    EXPECT_EQ(type_text_file_to_utf8("\xC3\xA9v"), "\xC3\xA9v");
}

std::vector<uint8_t> bios_bytes()
{
    std::ifstream in(firmware_build_path("pr_2716_e000.bin"), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The BIOS reads a key as its table says, with shift choosing the second
// table and ctrl making a control code of a character from 0x40 on.
TEST(TypeText, TheCpmKeyOfEveryCodeGivesThatCodeInTheBiosTables)
{
    const std::vector<uint8_t> bios = bios_bytes();
    const long plain = firmware_label("pr_2716_e000", "keys_plain");
    const long shifted = firmware_label("pr_2716_e000", "keys_shift");
    ASSERT_GT(plain, 0);
    ASSERT_GT(shifted, 0);
    for (int code = 1; code < 0x80; ++code) {
        key_stroke key{};
        ASSERT_TRUE(typing_key_for_code(static_cast<uint8_t>(code), MODEL_CPM, &key)) << code;
        uint8_t c = bios.at(static_cast<size_t>((key.shift ? shifted : plain) - 0xE000 + key.position));
        if (key.ctrl && c >= 0x40) c &= 0x1F;
        EXPECT_EQ(c, code) << "position " << int(key.position);
    }
}

TEST(TypeText, WhatAModelCannotTypeIsRefusedAtItsPlace)
{
    const struct { const char* text; int model; bool typed; uint32_t column; } cases[] = {
        {"DIR \xC3\xA9", MODEL_CPM, false, 5},   // CP/M's console has no é
        {"ab\\x00", MODEL_CPM, false, 3},        // no key gives 0
        {"x\xE2\x82\xAC", MODEL_A64, false, 2},  // the euro sign
        {"\xC3\xA9\xC5\xB0", MODEL_B64, true, 0},
        {"[\\x10]", MODEL_CPM, true, 0},
    };
    for (const auto& c : cases) {
        std::vector<type_unit> units;
        type_text_parse(c.text, true, units);
        std::vector<typing_step> steps;
        typing_refusal refusal{};
        EXPECT_EQ(typing_steps_for_model(units, c.model, steps, &refusal), c.typed) << c.text;
        if (!c.typed) {
            EXPECT_EQ(refusal.unit.column, c.column) << c.text;
        }
    }
    EXPECT_EQ(typing_code_of_character(U'é', MODEL_A64), 0x60);
    EXPECT_EQ(typing_code_of_character(U'Ű', MODEL_B64), 0xF1);
}

void type_into_machine(const std::string& text)
{
    std::vector<type_unit> units;
    ASSERT_EQ(type_text_parse(text, true, units).fault, type_text_fault::NONE);
    std::vector<typing_step> steps;
    ASSERT_TRUE(typing_steps_for_model(units, machine_model, steps, nullptr));
    typing_queue(steps);
}

bool run_until_typed(int max_frames)
{
    for (int i = 0; i < max_frames && typing_steps_left() > 0; ++i) firmware_run_frames(1);
    firmware_run_frames(20);
    return typing_steps_left() == 0;
}

class Typist : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { firmware_boot(GetParam()); }
    void TearDown() override { typing_stop(); }
};

uint8_t value_at(int i) { return static_cast<uint8_t>(i * 37 + (i >> 4)); }

TEST_P(Typist, AKilobyteOfMonitorLinesArrivesKeyByKey)
{
    std::string text;
    int stored = 0;
    while (text.size() < 1024) {
        char line[80];
        int n = std::snprintf(line, sizeof line, "E %04X", 0x6000 + stored);
        for (int b = 0; b < 16; ++b, ++stored) n += std::snprintf(line + n, sizeof line - n, " %02X", value_at(stored));
        text += line;
        text += "\\n";
    }
    type_into_machine(text);
    ASSERT_TRUE(run_until_typed(6000));
    for (int i = 0; i < stored; ++i) ASSERT_EQ(mem_read(static_cast<uint16_t>(0x6000 + i)), value_at(i)) << i;
    EXPECT_FALSE(screen_shows("ERROR")) << screen_text_dump();
    // The host keyboard has the matrix back.
    firmware_type("h 2 1\r");
    EXPECT_TRUE(screen_shows("0003 0001")) << screen_text_dump();
}

TEST_P(Typist, KeysTypedWhileACommandPrintsWaitForTheFirmware)
{
    type_into_machine("D 6000\\nD\\nH 2 1\\n");
    ASSERT_TRUE(run_until_typed(400));
    EXPECT_TRUE(screen_shows("0003 0001")) << screen_text_dump();
}

TEST_P(Typist, AWarmRestartEndsTheTyping)
{
    type_into_machine(std::string(400, 'A'));
    firmware_run_frames(10);
    ASSERT_GT(typing_steps_left(), 0u);
    machine_reset();
    EXPECT_EQ(typing_steps_left(), 0u);
}

TEST_P(Typist, APauseWaitsOneSecondOfEmulatedTime)
{
    type_into_machine("\\wh 2 1\\n");
    firmware_run_frames(45);
    EXPECT_EQ(typing_steps_left(), 7u);
    ASSERT_TRUE(run_until_typed(100));
    EXPECT_TRUE(screen_shows("0003 0001")) << screen_text_dump();
}

TEST_P(Typist, SmallLettersTurnCapsLockOffFirst)
{
    const typing_keyboard_vars k = typing_keyboard_of(GetParam());
    mem_write(k.caps_address, static_cast<uint8_t>(mem_read(k.caps_address) | k.caps_mask));
    type_into_machine("Hx");
    ASSERT_TRUE(run_until_typed(100));
    EXPECT_EQ(mem_read(k.caps_address) & k.caps_mask, 0);
    EXPECT_EQ(mem_read(0x4100), 'H');
    EXPECT_EQ(mem_read(0x4101), 'x');
}

// Every code 0x01-0x7F (and Ű on the B keyboard) typed as \xHH reaches a
// program polling the keyboard routine as that code; the printable ones
// also reach the firmware's line buffer.
TEST_P(Typist, EveryCodeArrivesAsItselfInAProgramAndTheLineBuffer)
{
    std::vector<int> codes;
    for (int code = 1; code < 0x80; ++code) codes.push_back(code);
    if (GetParam() == MODEL_B48) codes.push_back(0xF1);
    std::string text;
    std::vector<int> typed, printable, refused;
    for (const int code : codes) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02X", code);
        std::vector<type_unit> units;
        type_text_parse(escape, true, units);
        std::vector<typing_step> steps;
        if (!typing_steps_for_model(units, GetParam(), steps, nullptr)) {
            refused.push_back(code);
            continue;
        }
        text += escape;
        typed.push_back(code);
        if (code >= 0x20 && code < 0x80) printable.push_back(code);
    }
    // No key gives Esc; the A keyboard has no í and no ő.
    const std::vector<int> cannot = GetParam() == MODEL_B48 ? std::vector<int>{0x1B} : std::vector<int>{0x1B, 0x1E, 0x7B};
    EXPECT_EQ(refused, cannot);

    // The line buffer: printable codes on one line (Enter is not typed).
    std::string line;
    for (const int code : printable) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02X", code);
        line += escape;
    }
    for (size_t from = 0; from < printable.size(); from += 40) {
        const size_t n = std::min<size_t>(40, printable.size() - from);
        type_into_machine(line.substr(from * 4, n * 4));
        ASSERT_TRUE(run_until_typed(400));
        for (size_t i = 0; i < n; ++i) ASSERT_EQ(mem_read(static_cast<uint16_t>(0x4100 + i)), printable[from + i]) << i;
        type_into_machine(std::string(n, '\b'));
        ASSERT_TRUE(run_until_typed(400));
    }

    // LD HL,7000; poll: CALL 001D; JR Z,poll; LD (HL),A; INC HL; JR poll
    const uint8_t poller[] = {0x21, 0x00, 0x70, 0xCD, 0x1D, 0x00, 0x28, 0xFB, 0x77, 0x23, 0x18, 0xF7};
    for (size_t i = 0; i < sizeof poller; ++i) mem_write(static_cast<uint16_t>(0x6000 + i), poller[i]);
    type_into_machine("G 6000\\n");
    ASSERT_TRUE(run_until_typed(100));
    type_into_machine(text);
    ASSERT_TRUE(run_until_typed(4000));
    for (size_t i = 0; i < typed.size(); ++i)
        ASSERT_EQ(mem_read(static_cast<uint16_t>(0x7000 + i)), typed[i]) << "code " << std::hex << typed[i];
}

INSTANTIATE_TEST_SUITE_P(Roms, Typist, ::testing::Values(MODEL_A64, MODEL_B48, MODEL_C64),
                         [](const auto& info) { return "Model" + std::to_string(info.param); });

}  // namespace
