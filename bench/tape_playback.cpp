// What a WAV tape costs: frames per second of the A64's firmware with no
// tape, with a 44.1 kHz WAV attached and Play down but the motor off, and
// while the firmware's loader reads that WAV. The three are run in turn,
// several rounds, and the medians are printed with their time against the
// run without a tape. Times are the process's processor time, which other
// programs on the machine disturb less than the wall clock.
//
//   tape_playback [--frames N] [--rounds R]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "core/machine.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "devices/tape.h"
#include "sound/sound.h"
#include "support/firmware_driver.h"
#include "support/ptp_image.h"
#include "support/screen_text.h"
#include "support/tape_signal.h"

namespace {

enum tape_case { NO_TAPE, MOTOR_OFF, LOADING, CASES };
constexpr const char* case_names[CASES] = {"no tape", "WAV, motor off", "loading from WAV"};

double cpu_seconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

double run_case(tape_case which, const std::string& wav, int frames)
{
    firmware_boot(MODEL_A64);
    if (which != NO_TAPE) {
        if (!tape_open_wav(wav.c_str())) std::exit(1);
        tape_set_play_key(1);
    }
    if (which == LOADING) firmware_type("L\r", 1);
    if (tape_rolling() != (which == LOADING)) {
        std::fprintf(stderr, "%s: the tape %s\n", case_names[which], tape_rolling() ? "rolls" : "stands");
        std::exit(1);
    }
    const double start = cpu_seconds();
    for (int i = 0; i < frames; ++i) {
        machine_run();
        sound_flush(z80_state.tcount);
    }
    const double seconds = cpu_seconds() - start;
    if (which == LOADING && (!tape_rolling() || screen_shows("LOADED") || screen_shows("ERROR"))) {
        std::fprintf(stderr, "the load ended before the measurement did\n");
        std::exit(1);
    }
    tape_close();
    return seconds;
}

}  // namespace

int main(int argc, char** argv)
{
    int frames = 3000, rounds = 7;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--frames")) frames = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--rounds")) rounds = std::max(1, std::atoi(argv[++i]));
    }

    // A program long enough that the loader is still reading it at the end:
    // about a second of signal for every 100 bytes.
    const size_t length = static_cast<size_t>(frames) * 3 + 2048;
    const bytes ptp = ptp_program_at("BENCH", 0x4400, pattern_bytes(std::min<size_t>(length, 0xB000), 1));
    const std::string wav = (std::filesystem::temp_directory_path() / "brevan-tape-bench.wav").string();
    if (!write_bytes(wav, tape_signal_wav(ptp, tape_wav_spec{}))) return 1;

    std::vector<double> seconds[CASES];
    for (int r = 0; r < rounds; ++r)
        for (int c = 0; c < CASES; ++c) seconds[c].push_back(run_case(static_cast<tape_case>(c), wav, frames));
    std::filesystem::remove(wav);

    std::printf("frames per run: %d, rounds: %d, medians\n", frames, rounds);
    double base = 0;
    for (int c = 0; c < CASES; ++c) {
        auto& s = seconds[c];
        std::nth_element(s.begin(), s.begin() + rounds / 2, s.end());
        const double median = s[static_cast<size_t>(rounds / 2)];
        if (c == NO_TAPE) base = median;
        std::printf("%-18s %8.0f frames/s  %6.3f s  %5.2fx\n", case_names[c], frames / median, median,
                    median / base);
    }
    return 0;
}
