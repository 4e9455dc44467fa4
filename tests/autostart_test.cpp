// Program files by extension: where their bytes go, how they start, and
// that a refused file leaves memory as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "core/hooks.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "devices/input.h"
#include "devices/typing.h"
#include "media/autostart.h"
#include "media/ptp.h"
#include "support/fake_keyboard.h"
#include "support/firmware_driver.h"
#include "support/ptp_image.h"

namespace fs = std::filesystem;

namespace {

std::string last_message;

class Autostart : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("brevan_auto_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        host_hooks.message_box = [](const char*, const char* text) { last_message = text; };
        firmware_boot(MODEL_A64);
        last_message.clear();
    }
    void TearDown() override
    {
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

TEST_F(Autostart, EachKindPlacesItsBytesAndStartsAsItSays)
{
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
        ASSERT_EQ(autostart_file(("\"" + path + "\"").c_str(), c.autostart), 1) << last_message;
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
    ASSERT_EQ(autostart_file((dir / "g.pri").c_str(), 0), 1);
    for (uint16_t p : {0x40F9, 0x40FB, 0x40FD}) EXPECT_EQ(mem_read_word(p), 0x4304);
}

TEST_F(Autostart, DataPastTheTopIsCutOffAndNeverReachesTheRom)
{
    const bytes rom(rom_pointer(), rom_pointer() + 0x4000);
    bytes pri(5 + 0x20, 0x77);   // a record of 0x20 bytes at 0xFFF0
    pri[0] = 0x00, pri[1] = 0xF0, pri[2] = 0xFF, pri[3] = 0x20, pri[4] = 0x00;
    ASSERT_EQ(autostart_file(put("top.pri", pri).c_str(), 0), 1);
    EXPECT_EQ(mem_read(0xFFFF), 0x77);
    EXPECT_NE(last_message.find("16 bájtja kimaradt"), std::string::npos) << last_message;
    // A raw memory file reaching into the ROM area: what fits is loaded, and said.
    last_message.clear();
    bytes pp = {0xF0, 0x3F, 0x00, 0x40};
    pp.insert(pp.end(), 0x20, 0x66);
    ASSERT_EQ(autostart_file(put("low.pp", pp).c_str(), 0), 1);
    EXPECT_EQ(mem_read(0x400F), 0x66);
    EXPECT_NE(last_message.find("16 bájtja kimaradt"), std::string::npos) << last_message;
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
        EXPECT_EQ(autostart_file(put(c.name, c.content).c_str(), 1), 0) << c.name;
        EXPECT_NE(last_message.find(c.name), std::string::npos) << last_message;
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
        EXPECT_EQ(autostart_file(put("swapped.pri", content).c_str(), 1), 0);
        EXPECT_NE(last_message.find("fordított bájtsorrendben"), std::string::npos) << last_message;
        EXPECT_EQ(mem_read(0x8000), 0xEE);
    }
    EXPECT_EQ(autostart_file((dir / "missing.pri").c_str(), 1), 0);
    EXPECT_NE(last_message.find("nem található"), std::string::npos) << last_message;
}

TEST_F(Autostart, TextIsTypedWithRunOnlyWhenStartedAndCtrlSkipsBoth)
{
    const std::string path = put("prog.bas", {'1', '0', ' ', 'P', '\n'});
    ASSERT_EQ(autostart_file(path.c_str(), 1), 1);
    EXPECT_EQ(typing_steps_left(), 5u + 5u);   // the LF is Enter; then CR RUN CR
    typing_stop();
    ASSERT_EQ(autostart_file(path.c_str(), 0), 1);
    EXPECT_EQ(typing_steps_left(), 5u);
    typing_stop();
    fake_keyboard_press(HK_CTRL);
    const int64_t before = z80_state.tcount;
    ASSERT_EQ(autostart_file(path.c_str(), 1), 1);
    fake_keyboard_release(HK_CTRL);
    EXPECT_EQ(z80_state.tcount, before);   // no frames run first
    EXPECT_EQ(typing_steps_left(), 5u);
}

}  // namespace
