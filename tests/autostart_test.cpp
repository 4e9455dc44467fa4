// Program files by extension: where their bytes go, how they start, and
// that a refused file leaves memory as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <string>
#include <unistd.h>

#include "core/hooks.h"
#include "core/bus.h"
#include "core/machine.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "devices/input.h"
#include "devices/typing.h"
#include "media/autostart.h"
#include "media/ptp.h"
#include "support/fake_keyboard.h"
#include "support/firmware_driver.h"
#include "support/ptp_image.h"
#include "support/standin_rom.h"

namespace fs = std::filesystem;

namespace {

std::string last_message;
// The notes the machine gave the shell, with their subjects.
struct seen_note {
    host_note kind;
    std::string file;
};
std::vector<seen_note> notices;

class Autostart : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("brevan_auto_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        host_hooks.note = [](host_note what, const char* subject) { notices.push_back({what, subject}); };
        firmware_boot(MODEL_A64);
        last_message.clear();
        notices.clear();
    }
    void TearDown() override
    {
        standin_rom_remove();
        typing_stop();
        ptp_close();
        host_hooks = host_hooks_t{};
        fs::remove_all(dir);
    }
    std::string put(const std::string& name, const bytes& content)
    {
        const std::string path = (dir / name).string();
        EXPECT_TRUE(write_bytes(path, content));
        return path;
    }
    fs::path dir;
};

// With an original ROM every kind starts as it always has.
TEST_F(Autostart, EachKindPlacesItsBytesAndStartsAsItSays)
{
    standin_rom_install();
    const bytes code = {1, 2, 3};
    const struct {
        const char* name;
        bytes content;
        int autostart;
        uint16_t pc;            // the start; 0x1B5D: the ROM's run routine; 0: not started
        uint16_t at;            // where code lands
    } cases[] = {
        {"a.pri", {0xD1, 0x00, 0x00, 3, 0, 1, 2, 3, 0xC9}, 1, 0x1B5D, 0x4201},
        {"b.prg", {0xD5, 0x10, 0x00, 3, 0, 1, 2, 3, 0xC3, 0x34, 0x12}, 1, 0x1234, 0x5210},
        {"c.pri", {0x00, 0x00, 0x80, 3, 0, 1, 2, 3, 0xC3, 0x34, 0x12}, 0, 0, 0x8000},
        {"d.pp", {0x00, 0x80, 0x10, 0x80, 1, 2, 3}, 1, 0x8010, 0x8000},
        {"e.pp", {0x00, 0x80, 0x10, 0x80, 1, 2, 3}, 0, 0, 0x8000},
        {"GAME.PTP", ptp_program_at("G", 0x9000, code, 0x9001), 1, 0x9001, 0x9000},
        {"f.ptp", ptp_program_at("G", 0x9000, code), 1, 0x1B5D, 0x9000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        firmware_boot(MODEL_A64);   // what the last case started is gone
        mem_write_word(0x4039, 0x5200);
        mem_write_word(0x40A4, 0x4201);
        for (int i = 0; i < 3; ++i) mem_write(static_cast<uint16_t>(c.at + i), 0);
        const std::string path = put(c.name, c.content);
        // Quotes around a path are dropped.
        ASSERT_EQ(autostart_file(("\"" + path + "\"").c_str(), c.autostart, &last_message), 1) << last_message;
        if (c.pc)
            EXPECT_EQ(z80_state.pc, c.pc);
        else
            EXPECT_LT(z80_state.pc, 0x4000);   // still in the firmware
        for (int i = 0; i < 3; ++i) EXPECT_EQ(mem_read(static_cast<uint16_t>(c.at + i)), code[i]);
        if (c.pc == 0x1B5D) {
            EXPECT_EQ(mem_read_word(z80_state.sp), 0x1D1E);
        }
    }
    // The BASIC end pointers of a 0xD1 record: low byte of the end, high byte one more.
    put("g.pri", {0xD1, 0x00, 0x00, 3, 0, 1, 2, 3, 0xC9});
    mem_write_word(0x40A4, 0x4201);
    ASSERT_EQ(autostart_file((dir / "g.pri").c_str(), 0, &last_message), 1);
    for (uint16_t p : {0x40F9, 0x40FB, 0x40FD}) EXPECT_EQ(mem_read_word(p), 0x4304);
    // A BASIC tape takes the ROM's way into BASIC.
    standin_rom_arm();
    const int calls = standin_rom_basic_calls();
    ASSERT_EQ(autostart_file(put("basic.ptp", ptp_image_of({ptp_name_block("B"), ptp_data_block(0xF1, 1, 0, code),
                                                           ptp_end_block(0xE1, 2)})).c_str(), 1), 1);
    EXPECT_EQ(z80_state.pc, 0x1B5D);
    machine_run();
    EXPECT_EQ(standin_rom_basic_calls(), calls + 1);
    EXPECT_TRUE(notices.empty());
}

// The built-in firmware has no BASIC: a BASIC program is loaded and named,
// and nothing runs. Machine code starts as the firmware's own R starts it.
TEST_F(Autostart, BuiltInFirmwareNamesBasicProgramsAndStartsCodeLikeItsR)
{
    const bytes code = {1, 2, 3};
    const struct { const char* name; bytes content; uint16_t at; } basic[] = {
        {"a.pri", {0xD1, 0x00, 0x00, 3, 0, 1, 2, 3, 0xC9}, 0x43EA},
        {"b.ptp", ptp_image_of({ptp_name_block("B"), ptp_data_block(0xF1, 1, 0, code), ptp_end_block(0xE1, 2)}), 0x43EA},
        {"c.pp", {0xEA, 0x43, 0x00, 0x00, 1, 2, 3}, 0x43EA},
        {"d.bas", {'1', '0', ' ', 'P', '\n'}, 0},
    };
    for (const auto& c : basic) {
        SCOPED_TRACE(c.name);
        firmware_boot(MODEL_A64);
        notices.clear();
        ASSERT_EQ(autostart_file(put(c.name, c.content).c_str(), 1), 1);
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_EQ(notices[0].kind, host_note::basic_without_rom);
        EXPECT_NE(notices[0].file.find(c.name), std::string::npos);
        EXPECT_LT(z80_state.pc, 0x4000);   // still in the firmware
        EXPECT_EQ(typing_steps_left(), 0u);
        for (int i = 0; c.at && i < 3; ++i) EXPECT_EQ(mem_read(static_cast<uint16_t>(c.at + i)), code[i]);
    }
    const struct { const char* name; bytes content; uint16_t start; } machine_code[] = {
        {"e.prg", {0xD5, 0x10, 0x00, 3, 0, 1, 2, 3, 0xC3, 0x34, 0x12}, 0x1234},
        {"f.ptp", ptp_image_of({ptp_name_block("C"), ptp_data_block(0xF1, 1, 0, code), ptp_end_block(0xB9, 2, 0x43EA)}),
         0x43EA},
        {"g.pp", {0x00, 0x80, 0x10, 0x80, 1, 2, 3}, 0x8010},
    };
    for (const auto& c : machine_code) {
        SCOPED_TRACE(c.name);
        firmware_boot(MODEL_A48);
        notices.clear();
        ASSERT_EQ(autostart_file(put(c.name, c.content).c_str(), 1), 1);
        EXPECT_TRUE(notices.empty());
        EXPECT_EQ(z80_state.pc, c.start);
        EXPECT_EQ(z80_state.sp, 0xA7FE);   // just below the display page
        EXPECT_EQ(mem_read_word(z80_state.sp), 0x1D1E);
        EXPECT_EQ(z80_state.ix, 0x4042);
    }
}

// Loaders put programs where the processor sees them: on the 32K and 48K
// models the top of the address space mirrors the RAM below, and on the
// CP/M model a file that would reach the write-protected BIOS is refused
// whole.
TEST_F(Autostart, ProgramsLandAtTheAddressesTheProcessorSees)
{
    const bytes code = {0xA1, 0xB2, 0xC3};
    const struct { int model; uint16_t at; bool taken; } cases[] = {
        {MODEL_A32, 0xC000, true}, {MODEL_A48, 0xC000, true}, {MODEL_B32, 0xC100, true},
        {MODEL_CPM, 0xE100, false}, {MODEL_CPM, 0xDFFF, false},
    };
    const uint16_t low = 0xDFFF;
    for (const auto& c : cases) {
        firmware_boot(c.model);
        const bytes before = {mem_read(c.at), mem_read(static_cast<uint16_t>(c.at + 1)), mem_read(low)};
        const bytes pri = {0x00, static_cast<uint8_t>(c.at), static_cast<uint8_t>(c.at >> 8), 3, 0, code[0], code[1],
                           code[2], 0xC9};
        const bytes pp = {static_cast<uint8_t>(c.at), static_cast<uint8_t>(c.at >> 8), 0, 0, code[0], code[1], code[2]};
        const std::pair<const char*, bytes> files[] = {
            {"m.pri", pri}, {"m.pp", pp}, {"m.ptp", ptp_program_at("M", c.at, code)}};
        for (const auto& [name, content] : files) {
            SCOPED_TRACE(std::to_string(c.model) + " " + name);
            EXPECT_EQ(autostart_file(put(name, content).c_str(), 0, &last_message), c.taken);
            const bytes now = {mem_read(c.at), mem_read(static_cast<uint16_t>(c.at + 1)), mem_read(low)};
            if (c.taken)
                EXPECT_TRUE(bytes(now.begin(), now.begin() + 2) == bytes(code.begin(), code.begin() + 2));
            else
                EXPECT_TRUE(now == before) << "the BIOS is never written";
        }
    }
}

TEST_F(Autostart, DataPastTheTopIsCutOffAndNeverReachesTheRom)
{
    const bytes rom(rom_pointer(), rom_pointer() + 0x4000);
    bytes pri(5 + 0x20, 0x77);   // a record of 0x20 bytes at 0xFFF0
    pri[0] = 0x00, pri[1] = 0xF0, pri[2] = 0xFF, pri[3] = 0x20, pri[4] = 0x00;
    size_t dropped = 0;
    ASSERT_EQ(autostart_file(put("top.pri", pri).c_str(), 0, &last_message, &dropped), 1);
    EXPECT_EQ(mem_read(0xFFFF), 0x77);
    EXPECT_EQ(dropped, 16u);
    // A raw memory file reaching into the ROM area: what fits is loaded, and said.
    bytes pp = {0xF0, 0x3F, 0x00, 0x40};
    pp.insert(pp.end(), 0x20, 0x66);
    ASSERT_EQ(autostart_file(put("low.pp", pp).c_str(), 0, &last_message, &dropped), 1);
    EXPECT_EQ(mem_read(0x400F), 0x66);
    EXPECT_EQ(dropped, 16u);
    EXPECT_TRUE(bytes(rom_pointer(), rom_pointer() + 0x4000) == rom);
}

TEST_F(Autostart, RefusedFilesSayWhyAndLeaveMemory)
{
    const struct { const char* name; bytes content; } cases[] = {
        {"cut.pri", {0x00, 0x00, 0x80, 0x10, 0x00, 1, 2, 3}},
        {"short.pp", {0x00, 0x80, 0x10}},
        // Files that would load nothing.
        {"empty.pri", {}},
        {"rom.pri", {0x00, 0x00, 0x10, 2, 0, 1, 2, 0x00, 0x00, 0x30, 1, 0, 3, 0xC9}},
        {"header.pp", {0x00, 0x80, 0x00, 0x80}},
        {"rom.pp", {0x00, 0x10, 0x00, 0x10, 1, 2, 3}},
        {"bad.ptp", {0xFF, 0x40, 0x00, 0x55}},
        {"small.pss", bytes(100, 0)},
        {"noext", {1}},
        {"x.xyz", {1}},
    };
    for (const auto& c : cases) {
        mem_write(0x8000, 0xEE);
        last_message.clear();
        EXPECT_EQ(autostart_file(put(c.name, c.content).c_str(), 1, &last_message), 0) << c.name;
        EXPECT_FALSE(last_message.empty()) << c.name;
        EXPECT_EQ(mem_read(0x8000), 0xEE) << c.name;
    }
    // Addresses and lengths stored high byte first: the first record lands
    // in the ROM area, or its length runs past the end, read the right way.
    const bytes swapped[] = {
        {0x00, 0x80, 0x00, 0x00, 0x03, 1, 2, 3, 0xC3, 0x80, 0x00},
        {0x00, 0x43, 0x00, 0x01, 0x00},
    };
    for (bytes content : swapped) {
        if (content.size() == 5) content.insert(content.end(), 256, 0x11);
        last_message.clear();
        EXPECT_EQ(autostart_file(put("swapped.pri", content).c_str(), 1, &last_message), 0);
        EXPECT_NE(last_message.find("fordított bájtsorrendben"), std::string::npos) << last_message;
        EXPECT_EQ(mem_read(0x8000), 0xEE);
    }
    EXPECT_EQ(autostart_file((dir / "missing.pri").c_str(), 1, &last_message), 0);
    EXPECT_NE(last_message.find("nem található"), std::string::npos) << last_message;
}

TEST_F(Autostart, TextIsTypedWithRunOnlyWhenStartedAndCtrlSkipsBoth)
{
    standin_rom_install();
    firmware_boot(MODEL_A64);
    const std::string path = put("prog.bas", {'1', '0', ' ', 'P', '\n'});
    ASSERT_EQ(autostart_file(path.c_str(), 1, &last_message), 1);
    EXPECT_EQ(typing_steps_left(), 5u + 5u);   // the LF is Enter; then CR RUN CR
    typing_stop();
    ASSERT_EQ(autostart_file(path.c_str(), 0, &last_message), 1);
    EXPECT_EQ(typing_steps_left(), 5u);
    typing_stop();
    fake_keyboard_press(HK_CTRL);
    const int64_t before = z80_state.tcount;
    ASSERT_EQ(autostart_file(path.c_str(), 1, &last_message), 1);
    fake_keyboard_release(HK_CTRL);
    EXPECT_EQ(z80_state.tcount, before);   // no frames run first
    EXPECT_EQ(typing_steps_left(), 5u);
}

}  // namespace
