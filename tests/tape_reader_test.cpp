// Real recordings and real program sizes: a program filling the whole
// program area loads through the traps, the fast loader and a WAV and
// runs; the reader takes recordings at the standard speed and at two
// thirds of it, off by a quarter either way, at the usual sample rates and
// both clocks; a failed load leaves nothing to run; the tape input's
// polarity suits loaders that time single half waves; a known converter
// fault is mended with one notice.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "core/bus.h"
#include "core/hooks.h"
#include "core/machine.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "devices/tape.h"
#include "media/autostart.h"
#include "media/ptp.h"
#include "media/ptpwav.h"
#include "support/firmware_driver.h"
#include "support/ptp_image.h"
#include "support/screen_text.h"
#include "support/tape_signal.h"
#include "support/z80asm.h"

namespace fs = std::filesystem;

namespace {

// The notes the machine gave the shell, with their subjects.
struct seen_note {
    host_note kind;
    std::string file;
};
std::vector<seen_note> notices;

class TapeReader : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("brevan_reader_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        notices.clear();
        host_hooks.note = [](host_note what, const char* subject) { notices.push_back({what, subject}); };
    }
    void TearDown() override
    {
        tape_close();
        ptp_close();
        tape_set_play_key(0);
        tape_set_signal_flipped(0);
        machine_set_clock(2500000);
        host_hooks = host_hooks_t{};
        fs::remove_all(dir);
    }
    std::string file(const std::string& name) const { return (dir / name).string(); }
    void boot(int model, int clock = 2500000) { firmware_boot_at(model, clock); }
    // Plays a WAV into the firmware's L; the text it ends with.
    std::string load_wav(const std::string& wav, int frames)
    {
        EXPECT_EQ(tape_open_wav(wav.c_str()), 1);
        tape_set_play_key(1);
        firmware_type("L\r", 1);
        const std::string seen = firmware_run_until_shown({"LOADED", "ERROR"}, frames);
        firmware_run_frames(3);
        return seen;
    }
    fs::path dir;
};

// The line the cursor is on.
std::string prompt_line()
{
    const int row = screen_cursor_row();
    return row < 0 ? std::string("(no cursor)") : screen_text_lines()[row];
}

constexpr uint16_t AREA = 0x4180, AREA_END = 0xE7A0;   // the A64's program area
constexpr uint16_t SUM_AT = 0x41F0, MARK_AT = 0xE79F;

// Fills the program area: at its start a routine that sums the bytes up to
// the routine at its top, stores the sum and calls that top routine, which
// marks the area's last byte and returns to the prompt.
bytes whole_area_program(uint16_t* sum)
{
    const bytes low = z80asm_assemble(R"(
        org 0x4180
        ld hl,0x4200
        ld de,0
sum:    ld a,(hl)
        add a,e
        ld e,a
        jr nc,no_carry
        inc d
no_carry:
        inc hl
        ld a,h
        cp 0xE7
        jr nz,sum
        ld a,l
        cp 0x90
        jr nz,sum
        ld (0x41F0),de
        jp 0xE790)");
    const bytes high = z80asm_assemble(R"(
        org 0xE790
        ld a,0x5A
        ld (0xE79F),a
        ret)");
    bytes area(AREA_END - AREA, 0xFF);   // mostly ones: a short recording
    for (size_t i = 0x80; i < area.size(); i += 61) area[i] = static_cast<uint8_t>(i * 7);
    std::copy(low.begin(), low.end(), area.begin());
    std::copy(high.begin(), high.end(), area.begin() + (0xE790 - AREA));
    area[SUM_AT - AREA] = area[SUM_AT - AREA + 1] = 0;
    area[MARK_AT - AREA] = 0;
    *sum = 0;
    for (uint16_t a = 0x4200; a < 0xE790; ++a) *sum = static_cast<uint16_t>(*sum + area[a - AREA]);
    return area;
}

// The program ran over the whole area it was loaded into, untouched, and
// came back to the prompt.
void expect_whole_area_ran(const bytes& area, uint16_t sum)
{
    EXPECT_EQ(mem_read_word(SUM_AT), sum);
    EXPECT_EQ(mem_read(MARK_AT), 0x5A);
    size_t differing = 0;
    for (uint16_t a = AREA; a < AREA_END; ++a)
        if (a != SUM_AT && a != SUM_AT + 1 && a != MARK_AT) differing += mem_read(a) != area[a - AREA];
    EXPECT_EQ(differing, 0u);
    EXPECT_EQ(prompt_line(), ">") << screen_text_dump();
}

TEST_F(TapeReader, AProgramFillingTheProgramAreaLoadsThreeWaysAndRuns)
{
    uint16_t sum = 0;
    const bytes area = whole_area_program(&sum);
    const bytes ptp = ptp_program_at("AREA", AREA, area, AREA);
    ASSERT_TRUE(write_bytes(file("area.ptp"), ptp));

    // The ROM loader's entry points served by the traps.
    boot(MODEL_A64);
    ASSERT_EQ(tape_init(file("area.ptp").c_str()), 1);
    firmware_type("L\r", 1);
    ASSERT_EQ(firmware_run_until_shown({"LOADED", "ERROR"}, 2000), "LOADED");
    firmware_run_frames(3);
    EXPECT_TRUE(screen_shows("LOADED 4180-E79F")) << screen_text_dump();
    firmware_type("R\r", 100);
    expect_whole_area_ran(area, sum);

    // The fast loader, started as the firmware starts programs.
    boot(MODEL_A64);
    ASSERT_EQ(autostart_file(file("area.ptp").c_str(), 1), 1);
    firmware_run_frames(100);
    expect_whole_area_ran(area, sum);

    // The signal, as --ptp-to-wav writes it.
    std::string why;
    ASSERT_EQ(ptpwav_write_file(file("area.ptp").c_str(), file("area.wav").c_str(), &why), 1) << why;
    boot(MODEL_A64);
    ASSERT_EQ(load_wav(file("area.wav"), 20000), "LOADED") << screen_text_dump();
    EXPECT_TRUE(screen_shows("LOADED 4180-E79F")) << screen_text_dump();
    firmware_type("R\r", 100);
    expect_whole_area_ran(area, sum);
}

// A small program with a start address; what it does when run.
bytes small_program()
{
    const bytes code = z80asm_assemble(R"(
        org 0x6000
        ld a,0x77
        ld (0x6F00),a
        ret)");
    bytes data = pattern_bytes(300, 3);
    std::copy(code.begin(), code.end(), data.begin());
    return ptp_program_at("SMALL", 0x6000, data, 0x6000);
}

TEST_F(TapeReader, ReadsBothSpeedsAQuarterOffEitherWayAtEveryRateAndClock)
{
    const bytes ptp = small_program();
    const struct { const char* name; double one, zero; } speeds[] = {{"standard", 312, 936}, {"two thirds", 210, 630}};
    for (const auto& speed : speeds)
        for (double timing : {0.75, 1.25})
            for (int rate : {8000, 22050, 44100, 48000})
                for (int clock : {2500000, 3750000}) {
                    SCOPED_TRACE(std::string(speed.name) + " x" + std::to_string(timing) + " " +
                                 std::to_string(rate) + " Hz " + std::to_string(clock));
                    tape_wav_spec spec;
                    spec.rate = rate;
                    spec.one_us = speed.one * timing;
                    spec.zero_us = speed.zero * timing;
                    spec.last_trailer = false;   // the midline right after the last bit
                    ASSERT_TRUE(write_bytes(file("s.wav"), tape_signal_wav(ptp, spec)));
                    boot(MODEL_B64, clock);
                    ASSERT_EQ(load_wav(file("s.wav"), 1500), "LOADED") << screen_text_dump();
                    EXPECT_TRUE(screen_shows("LOADED 6000-612B")) << screen_text_dump();
                    tape_close();
                    firmware_type("R\r", 5);
                    EXPECT_EQ(mem_read(0x6F00), 0x77);
                }
}

TEST_F(TapeReader, AFailedLoadLeavesNothingForRToRun)
{
    bytes broken = small_program();
    broken.back() ^= 0x01;   // the end block's checksum
    ASSERT_TRUE(write_bytes(file("good.wav"), tape_signal_wav(small_program(), {})));
    ASSERT_TRUE(write_bytes(file("bad.wav"), tape_signal_wav(broken, {})));
    boot(MODEL_A64);
    ASSERT_EQ(load_wav(file("good.wav"), 1500), "LOADED");
    tape_close();
    firmware_hold_key(HK_HOME, 2);   // a clear screen for the next load's words
    firmware_run_frames(5);
    ASSERT_EQ(load_wav(file("bad.wav"), 1500), "ERROR");
    EXPECT_TRUE(screen_shows("CHECKSUM ERROR")) << screen_text_dump();
    tape_close();
    firmware_type("R\r", 5);
    EXPECT_EQ(mem_read(0x6F00), 0x00) << "neither the broken program nor the one before it runs";
    EXPECT_EQ(prompt_line(), ">") << screen_text_dump();
}

// A loader of the kind fast-loading tapes carry: it times single half waves
// in which the input is high.
const char* half_wave_loader = R"(
        org 0x4180
        di
        ld a,(0x403B)           ; no frame interrupt while timing
        and 0x7F
        ld (0x403B),a
        out (0),a
        ld hl,0x5000
        ld c,8
hw_byte: ld b,8
hw_bit: in a,(0)                ; wait for the input to be low ...
        and 4
        jr nz,hw_bit
hw_rise: in a,(0)               ; ... and rise
        and 4
        jr z,hw_rise
        ld d,0
hw_high: inc d                  ; 34 T-states a pass while it is high
        in a,(0)
        and 4
        jr nz,hw_high
        ld a,d
        cp 44                   ; shorter than about 600 us at 2.5 MHz: a one
        rl e
        djnz hw_bit
        ld (hl),e
        inc hl
        dec c
        jr nz,hw_byte
hw_spin: jr hw_spin)";

// The payload in half waves on the given side of the midline, 300 us for a
// one and 900 us for a zero, each after 400 us on the other side.
bytes half_wave_wav(const std::string& text, bool payload_below)
{
    const uint8_t pulse = payload_below ? 28 : 228, gap = payload_below ? 228 : 28;
    bytes samples(44100 / 10, 128);
    auto put = [&](uint8_t level, int us) { samples.insert(samples.end(), us * 441 / 10000, level); };
    for (char ch : text)
        for (int bit = 7; bit >= 0; --bit) {
            put(gap, 400);
            put(pulse, (ch >> bit & 1) ? 300 : 900);
        }
    put(gap, 400);
    samples.insert(samples.end(), 4410, 128);
    const uint8_t header[] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                              1, 0, 1, 0, 0x44, 0xAC, 0, 0, 0x44, 0xAC, 0, 0, 1, 0, 8, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
    return concat({bytes(std::begin(header), std::end(header)), samples});
}

TEST_F(TapeReader, AHalfWaveLoaderReadsTheInvertedInputAndFlippingServesTapesMadeTheOtherWay)
{
    const bytes loader = z80asm_assemble(half_wave_loader);
    ASSERT_FALSE(loader.empty());
    const std::string text = "POLARITY";
    const struct { bool payload_below; bool flipped; bool reads; } cases[] = {
        {true, false, true}, {true, true, false}, {false, true, true}, {false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.payload_below) + "/" + std::to_string(c.flipped));
        ASSERT_TRUE(write_bytes(file("h.wav"), half_wave_wav(text, c.payload_below)));
        boot(MODEL_A64);
        for (size_t i = 0; i < loader.size(); ++i) mem_write(static_cast<uint16_t>(0x4180 + i), loader[i]);
        for (size_t i = 0; i < text.size(); ++i) mem_write(static_cast<uint16_t>(0x5000 + i), 0);
        tape_set_signal_flipped(c.flipped);
        ASSERT_EQ(tape_open_wav(file("h.wav").c_str()), 1);
        tape_set_remote_enable(1);
        tape_set_play_key(1);
        z80_state.pc = 0x4180;
        firmware_run_frames(50);
        std::string read;
        for (size_t i = 0; i < text.size(); ++i) read += static_cast<char>(mem_read(static_cast<uint16_t>(0x5000 + i)));
        EXPECT_EQ(read == text, c.reads) << read;
        tape_close();
        tape_set_remote_enable(0);
    }
}

TEST_F(TapeReader, OurOwnRecordingsLoadBackEitherWayRound)
{
    for (int flipped : {0, 1}) {
        SCOPED_TRACE(flipped);
        boot(MODEL_A64);
        tape_set_signal_flipped(flipped);
        for (uint16_t a = 0x6000; a < 0x6100; ++a) mem_write(a, static_cast<uint8_t>(a * 13));
        ASSERT_EQ(tape_create_wav(file("rec.wav").c_str(), 22050), 1);
        tape_set_play_key(1);
        firmware_type("S \"REC\" 6000 60FF\r", 1);
        ASSERT_EQ(firmware_run_until_shown({"SAVED"}, 2000), "SAVED");
        tape_close_wav();
        tape_set_play_key(0);
        for (uint16_t a = 0x6000; a < 0x6100; ++a) mem_write(a, 0);
        ASSERT_EQ(load_wav(file("rec.wav"), 2000), "LOADED") << screen_text_dump();
        for (uint16_t a = 0x6000; a < 0x6100; ++a) ASSERT_EQ(mem_read(a), static_cast<uint8_t>(a * 13)) << a;
        tape_close();
        tape_set_play_key(0);
    }
}

// The converter fault: the last data block's length counts the 3 bytes of
// the end block's head.
bytes with_long_last_block(const bytes& image)
{
    bytes out = image;
    size_t at = 3, last_data = 0;
    while (out[at] == 0x55) {
        last_data = at;
        at += 3 + (out[at + 1] | out[at + 2] << 8);
    }
    const int length = (out[last_data + 1] | out[last_data + 2] << 8) + 3;
    out[last_data + 1] = static_cast<uint8_t>(length);
    out[last_data + 2] = static_cast<uint8_t>(length >> 8);
    return out;
}

TEST_F(TapeReader, TheConvertersLongLastBlockLoadsEverywhereWithOneNotice)
{
    const bytes faulty = with_long_last_block(small_program());
    ASSERT_TRUE(write_bytes(file("f.ptp"), faulty));
    boot(MODEL_A64);
    ASSERT_EQ(autostart_file(file("f.ptp").c_str(), 1), 1);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].kind, host_note::ptp_length_mended);
    firmware_run_frames(5);
    EXPECT_EQ(mem_read(0x6F00), 0x77);

    // The traps serve it with the real length.
    boot(MODEL_A64);
    notices.clear();
    ASSERT_EQ(tape_init(file("f.ptp").c_str()), 1);
    EXPECT_EQ(notices.size(), 1u);
    firmware_type("L\r", 30);
    EXPECT_TRUE(screen_shows("LOADED 6000-612B")) << screen_text_dump();

    notices.clear();
    std::string why;
    ASSERT_EQ(ptpwav_write_file(file("f.ptp").c_str(), file("f.wav").c_str(), &why), 1) << why;
    EXPECT_EQ(notices.size(), 1u);

    // Data that is really missing is still refused.
    bytes cut = faulty;
    cut.erase(cut.end() - 12, cut.end() - 9);
    cut[1] = static_cast<uint8_t>(cut.size()), cut[2] = static_cast<uint8_t>(cut.size() >> 8);
    std::vector<ptp_program> programs;
    EXPECT_EQ(ptp_parse(cut.data(), cut.size(), programs, &why), 0);
}

}  // namespace
