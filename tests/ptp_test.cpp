// PTP images: programs saved by the firmware's S command through the save
// traps follow the real format and load back through the traps, the fast
// loader and, converted, the signal loader; the trap reader and the fast
// loader stay inside their buffers on broken files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/hooks.h"
#include "core/machine.h"
#include "core/bus.h"
#include "core/memory.h"
#include "core/trap.h"
#include "cpu/cpu.h"
#include "devices/tape.h"
#include "media/ptp.h"
#include "media/ptpwav.h"
#include "support/firmware_driver.h"
#include "support/ptp_image.h"
#include "support/screen_text.h"

namespace fs = std::filesystem;

namespace {

constexpr uint16_t FROM = 0x5000, TO = 0x5257;   // 600 bytes: blocks of 256, 256 and 88

std::string last_message;

class Ptp : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("brevan_ptp_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        previous = fs::current_path();
        fs::current_path(dir);   // where the save traps write
        last_message.clear();
    }
    void TearDown() override
    {
        tape_close();
        ptp_close();
        tape_set_play_key(0);
        host_hooks = host_hooks_t{};
        fs::current_path(previous);
        fs::remove_all(dir);
    }
    fs::path dir, previous;
};

void fill_area(bool pattern)
{
    for (int a = FROM; a <= TO; ++a) mem_write(static_cast<uint16_t>(a), pattern ? static_cast<uint8_t>(a * 7 + (a >> 8)) : 0);
}

bool area_has_pattern()
{
    for (int a = FROM; a <= TO; ++a)
        if (mem_read(static_cast<uint16_t>(a)) != static_cast<uint8_t>(a * 7 + (a >> 8))) return false;
    return true;
}

std::string load_with_l(int max_frames)
{
    std::fill_n(memory_get_video_ram_plain(), the_machine.mem.video_ram_size + 1, 0);   // no earlier LOADED
    firmware_type("L\r", 1);
    return firmware_run_until_shown({"LOADED 5000-5257", "ERROR"}, max_frames);
}

// Every checksum is the sum of the bytes between the type and itself.
void expect_real_checksums(const bytes& image, size_t blocks)
{
    std::vector<ptp_program> programs;
    std::string error;
    ASSERT_EQ(ptp_parse(image.data(), image.size(), programs, &error), 1) << error;
    ASSERT_EQ(programs.size(), 1u);
    ASSERT_EQ(programs[0].size(), blocks);
    for (const ptp_block& b : programs[0]) {
        unsigned sum = 0;
        for (size_t i = 1; i + 1 < b.length; ++i) sum += image[b.start + i];
        EXPECT_EQ(image[b.start + b.length - 1], static_cast<uint8_t>(sum)) << b.start;
    }
    EXPECT_EQ(image[1] | image[2] << 8, static_cast<int>(image.size()));
}

struct machine_case { int model; int clock; };
class SavedProgram : public Ptp, public ::testing::WithParamInterface<machine_case> {};

TEST_P(SavedProgram, LoadsBackThroughTrapsFastLoaderAndConvertedSignal)
{
    firmware_boot(GetParam().model);
    machine_set_clock(GetParam().clock);
    machine_hard_reset();
    firmware_run_frames(30);
    fill_area(true);
    firmware_type("S \"DEMO\" 5000 5257\r");
    ASSERT_TRUE(screen_shows("SAVED")) << screen_text_dump();
    const bytes image = read_bytes("DEMO.ptp");
    expect_real_checksums(image, 5);

    fill_area(false);
    ASSERT_EQ(tape_init("DEMO.ptp"), 1);
    firmware_type("\r");
    EXPECT_EQ(load_with_l(50), "LOADED 5000-5257") << screen_text_dump();
    EXPECT_TRUE(area_has_pattern());

    fill_area(false);
    uint16_t start = 1;
    EXPECT_TRUE(ptp_load_file("DEMO.ptp", &start, nullptr));
    EXPECT_EQ(start, 0);   // no start address in an 0xE9 end block
    EXPECT_TRUE(area_has_pattern());

    fill_area(false);
    ASSERT_EQ(ptpwav_write_file("DEMO.ptp", "DEMO.wav", nullptr), 1);
    ASSERT_EQ(tape_open_wav("DEMO.wav", &last_message), 1) << last_message;
    tape_set_play_key(1);
    firmware_type("\r");
    EXPECT_EQ(load_with_l(3000), "LOADED 5000-5257") << screen_text_dump();
    EXPECT_TRUE(area_has_pattern());
}

INSTANTIATE_TEST_SUITE_P(Machines, SavedProgram,
                         ::testing::Values(machine_case{MODEL_A64, 2500000}, machine_case{MODEL_A64, 3750000},
                                           machine_case{MODEL_B64, 2500000}, machine_case{MODEL_B64, 3750000}),
                         [](const auto& info) {
                             return std::string(info.param.model == MODEL_A64 ? "A64" : "B64") +
                                    (info.param.clock == 2500000 ? "At2500kHz" : "At3750kHz");
                         });

TEST_F(Ptp, C64SavesIntoAWavRecordingAndLoadsPtpFilesThroughItsTraps)
{
    firmware_boot(MODEL_C64);
    ASSERT_EQ(tape_create_wav("C64.wav", 22050), 1);
    tape_set_play_key(1);
    fill_area(true);
    firmware_type("S \"C\" 5000 5257\r", 1);
    ASSERT_EQ(firmware_run_until_shown({"SAVED"}, 3000), "SAVED");
    tape_close_wav();
    fill_area(false);
    ASSERT_EQ(tape_open_wav("C64.wav", &last_message), 1) << last_message;
    firmware_type("\r");
    EXPECT_EQ(load_with_l(3000), "LOADED 5000-5257") << screen_text_dump();
    EXPECT_TRUE(area_has_pattern());

    tape_close();
    ptp_place_traps();
    bytes data;
    for (int a = FROM; a <= TO; ++a) data.push_back(static_cast<uint8_t>(a * 7 + (a >> 8)));
    ASSERT_TRUE(write_bytes("c.ptp", ptp_program_at("CP", FROM, data)));
    fill_area(false);
    ASSERT_EQ(tape_init("c.ptp"), 1);
    firmware_type("\r");
    EXPECT_EQ(load_with_l(50), "LOADED 5000-5257") << screen_text_dump();
    EXPECT_TRUE(area_has_pattern());
}

// The A/B save traps called as the ROM calls them: DE, HL and the type at
// 0x405C.
void save_through_traps(const std::string& text, uint8_t type, uint16_t from, uint16_t to)
{
    for (size_t i = 0; i <= text.size(); ++i) mem_write(static_cast<uint16_t>(0x4801 + i), i < text.size() ? text[i] : 0);
    mem_write(0x405C, 0x84);
    z80_state.de = 0x4800;
    trap_handle(0);
    mem_write(0x405C, type);
    z80_state.de = from;
    z80_state.hl = to;
    trap_handle(1);
    mem_write(0x405C, 0xE1);
    trap_handle(2);
}

TEST_F(Ptp, SaveTrapsWriteTheRealBlockFormat)
{
    firmware_boot(MODEL_A64);
    const struct {
        const char* text;
        uint8_t type;
        uint16_t from, to;
        const char* file;
        std::vector<uint16_t> addresses;   // of the data blocks; empty for none
        size_t blocks;
    } cases[] = {
        {"DEMO", 0xF1, 0x8000, 0x8258, "DEM.ptp", {0x0000, 0x0100, 0x0200}, 5},
        {"GAME\"", 0xF9, 0x8000, 0x8258, "GAME.ptp", {0x8000, 0x8100, 0x8200}, 5},
        {"", 0xF9, 0x6000, 0x6001, "noname.ptp", {0x6000}, 3},
        {"A/B\"", 0x42, 0x6000, 0x6010, "A_B.ptp", {}, 3},
        {"BIG\"", 0xF9, 0x4400, 0xC500, "BIG.ptp", {}, 131},
    };
    for (const auto& c : cases) {
        save_through_traps(c.text, c.type, c.from, c.to);
        const bytes image = read_bytes(c.file);
        SCOPED_TRACE(c.file);
        expect_real_checksums(image, c.blocks);
        std::vector<ptp_program> programs;
        std::string error;
        ASSERT_EQ(ptp_parse(image.data(), image.size(), programs, &error), 1);
        const ptp_program& blocks = programs[0];
        if (std::string(c.file) == "noname.ptp") {
            EXPECT_EQ(image[blocks[0].start + 2], 6);
        }
        for (size_t i = 0; i < c.addresses.size(); ++i) {
            const size_t at = blocks[1 + i].start;
            EXPECT_EQ(image[at + 2] | image[at + 3] << 8, c.addresses[i]);
            if (c.to - c.from == 600) {
                EXPECT_EQ(image[at + 4], i < 2 ? 0x00 : 0x58);
            }
        }
        if (c.type == 0x42) {
            EXPECT_EQ(blocks[1].length, 16u + 4);   // no address field
        }
        if (c.blocks == 131) {
            EXPECT_EQ(image[blocks[100].start + 1], 0x00);   // BCD modulo 100
            EXPECT_EQ(image[blocks[130].start + 1], 0x30);   // the end block
        }
    }
}

// The save trap reads what the processor sees: on a 32K model the area
// above 0xC000 is the RAM from 0x4000.
TEST_F(Ptp, SaveTrapsSaveTheMirroredRamOfTheSmallModels)
{
    for (const int model : {MODEL_A32, MODEL_B48}) {
        firmware_boot(model);
        bytes expected;
        for (int i = 0; i < 16; ++i) {
            mem_write(static_cast<uint16_t>(0xC000 + i), static_cast<uint8_t>(0x30 + i * 11));
            expected.push_back(static_cast<uint8_t>(0x30 + i * 11));
        }
        save_through_traps("MIRROR\"", 0xF9, 0xC000, 0xC010);
        const bytes image = read_bytes("MIRROR.ptp");
        EXPECT_NE(std::search(image.begin(), image.end(), expected.begin(), expected.end()), image.end()) << model;
    }
}

TEST_F(Ptp, TrapReaderRoundsThroughProgramsAndStaysInsideItsBuffer)
{
    firmware_boot(MODEL_A64);
    bytes image = ptp_image_of({ptp_name_block("ONE"), ptp_end_block(0xE9, 1)});
    const bytes two = ptp_image_of({ptp_name_block("TWO"), ptp_data_block(0xF9, 1, 0x6000, bytes(255, 1)),
                                    ptp_end_block(0xE9, 2)});
    image.insert(image.end(), two.begin(), two.end());
    ASSERT_TRUE(write_bytes("two.ptp", image));
    ASSERT_EQ(tape_init("two.ptp"), 1);
    auto next_name = [] {
        trap_handle(3);   // program header
        trap_handle(4);   // first block
        std::string name;
        for (int i = 0; i < 6; ++i) {
            trap_handle(5);
            if (i >= 3) name += static_cast<char>(z80_state.af >> 8);
        }
        return name;
    };
    EXPECT_EQ(next_name(), "ONE");
    EXPECT_EQ(next_name(), "TWO");
    EXPECT_EQ(next_name(), "ONE");
    ptp_rewind();
    EXPECT_EQ(next_name(), "ONE");

    // A block longer than the buffer reads as the end of the data.
    bytes big = ptp_image_of({ptp_name_block("X"), bytes(2000, 0xF9), ptp_end_block(0xE9, 2)});
    ASSERT_TRUE(write_bytes("big.ptp", big));
    ASSERT_EQ(tape_init("big.ptp"), 1);
    trap_handle(3);
    trap_handle(4);
    trap_handle(4);
    for (int i = 0; i < 1100; ++i) {
        trap_handle(5);
        ASSERT_EQ(z80_state.af >> 8, 0) << i;
    }
}

TEST_F(Ptp, FastLoaderPlacesBlocksByTypeAndRefusesBrokenImagesUntouched)
{
    firmware_boot(MODEL_A64);
    mem_write_word(0x4039, 0x7000);
    const bytes rom_before(rom_pointer(), rom_pointer() + 0x4000);
    const bytes good = ptp_image_of({ptp_name_block("G"), ptp_data_block(0xF1, 1, 0x0010, {1, 2, 3}),
                                     ptp_data_block(0xF5, 2, 0x0004, {4, 5}), {0x20, 1, 2, 3, 4, 5, 6},
                                     ptp_data_block(0xF9, 3, 0xFFFE, bytes(256, 7)),
                                     ptp_data_block(0xF9, 4, 0x3FFF, {8, 9}), ptp_end_block(0xB9, 5, 0x4210)});
    uint16_t start = 0;
    std::string error;
    ASSERT_EQ(ptp_load_image(good.data(), good.size(), &start, &error), 1) << error;
    EXPECT_EQ(start, 0x4210);
    EXPECT_EQ(mem_read(0x43FA), 1);   // BASIC: from its start, 0x43EA
    EXPECT_EQ(mem_read(0x43FC), 3);
    for (uint16_t p : {0x40F9, 0x40FB, 0x40FD}) EXPECT_EQ(mem_read_word(p), 0x43FD);
    EXPECT_EQ(mem_read(0x7004), 4);
    EXPECT_EQ(mem_read(0xFFFF), 7);     // cut off there, not wrapped
    EXPECT_EQ(mem_read(0x4000), 9);
    EXPECT_TRUE(bytes(rom_pointer(), rom_pointer() + 0x4000) == rom_before);

    const struct { const char* what; bytes image; } broken[] = {
        {"no header", bytes(good.begin() + 1, good.end())},
        {"cut short", bytes(good.begin(), good.end() - 3)},
        {"count past the block", ptp_image_of({ptp_name_block("G"), {0xF9, 1, 0, 0x60, 20, 1, 2}, ptp_end_block(0xE9, 2)})},
        {"start address missing", ptp_image_of({ptp_name_block("G"), {0xB9, 1, 0}})},
    };
    for (const auto& c : broken) {
        mem_write(0x43FA, 0xEE);
        error.clear();
        EXPECT_EQ(ptp_load_image(c.image.data(), c.image.size(), &start, &error), 0) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_EQ(mem_read(0x43FA), 0xEE) << c.what;
    }
}

}  // namespace
