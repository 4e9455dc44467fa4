// The machine without a window: runs a number of frames as fast as the host
// allows, types text through the keyboard matrix, and leaves a picture and
// the sound of the run in files.
#include "host/headless/headless.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "core/event.h"
#include "core/hooks.h"
#include "core/machine.h"
#include "core/memory.h"
#include "core/romfiles.h"
#include "cpu/cpu.h"
#include "cpu/z80dis.h"
#include "devices/diskfs.h"
#include "devices/input.h"
#include "devices/printer.h"
#include "devices/screen.h"
#include "devices/screen_text.h"
#include "devices/tape.h"
#include "devices/typing.h"
#include "devices/wd1793.h"
#include "host/app/emu.h"
#include "host/app/screenshot_file.h"
#include "host/app/messages.h"
#include "host/headless/headless_options.h"
#include "media/autostart.h"
#include "media/diskimg.h"
#include "media/fileio.h"
#include "media/ptp.h"
#include "media/ptpwav.h"
#include "media/snapshot.h"
#include "sound/sound.h"

namespace {

constexpr int LISTED_INSTRUCTIONS = 10;
constexpr int TAPE_RECORD_RATE = 44100;
// The ROM is given a second to come up before typing starts.
constexpr int TYPE_START_FRAME = 50;

// SIGINT, SIGTERM and SIGHUP end the run at the next frame boundary, as the
// end of --frames does, so that every output is finished; the exit code is
// then 128 + the signal's number.
volatile std::sig_atomic_t stop_signal = 0;

void on_stop_signal(int signal) { stop_signal = signal; }

struct stop_signals {
    static constexpr int caught[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction previous[std::size(caught)] = {};

    stop_signals()
    {
        stop_signal = 0;
        struct sigaction action = {};
        action.sa_handler = on_stop_signal;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < std::size(caught); ++i) sigaction(caught[i], &action, &previous[i]);
    }
    ~stop_signals()
    {
        for (size_t i = 0; i < std::size(caught); ++i) sigaction(caught[i], &previous[i], nullptr);
    }
    stop_signals(const stop_signals&) = delete;
    stop_signals& operator=(const stop_signals&) = delete;
};

const char* signal_name(int signal)
{
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "?";
    }
}

// The machine's notes are worded as in the window; a missing ROM routine
// ends the run, an untypeable text file refuses it.
bool rom_call_stopped = false;
bool text_refused = false;

void headless_note(host_note what, const char* subject)
{
    if (what == host_note::rom_call_missing) rom_call_stopped = true;
    if (what == host_note::text_untypeable) text_refused = true;
    shell_note(what, subject);
}

void start_machine(const headless_options& options, const char* folder)
{
    host_hooks.note = headless_note;
    keyboard_set_host(nullptr);   // only the typist presses keys
    machine_init(options.model, folder);
    event_init();
    machine_set_clock(options.clock);
    machine_change_model(options.model);
    keyboard_change_mapping(1);
    ptp_place_traps();
    if (!options.drive.empty())
        change_dir(options.drive.c_str());
    else
        drive_use_default_folder(emu_drive_default_folder().c_str());
    if (!options.printer.empty()) printer_set_path(options.printer.c_str());
}

// What the monitor shows at the stop: the register dump and the next
// instructions from pc.
void print_monitor_view()
{
    char line[Z80DIS_LINE];
    for (int row = 0; row < 3; ++row) {
        regdump(line, row);
        std::printf("%s\n", line);
    }
    uint16_t address = cpu_get_pc();
    for (int i = 0; i < LISTED_INSTRUCTIONS; ++i) {
        address = disassemble(address, line);
        std::printf("%s\n", line);
    }
    std::fflush(stdout);
}

// Whether the name ends in the extension, in any case.
bool ends_with(const std::string& name, const char* extension)
{
    const size_t n = std::strlen(extension);
    if (name.size() < n) return false;
    std::string tail = name.substr(name.size() - n);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == extension;
}

// The tapes of the run: -1, or the exit code after a message.
int set_up_tapes(const headless_options& options)
{
    if (!options.record_tape.empty()) {
        if (std::string why; !tape_create_wav(options.record_tape.c_str(), TAPE_RECORD_RATE, &why)) {
            shell_refused_wav_recording(options.record_tape, why);
            return EXIT_OUTPUT;
        }
        tape_set_play_key(1);
    }
    if (options.tape.empty()) return -1;
    const char* name = options.tape.c_str();
    std::string why;
    if (ends_with(options.tape, ".wav") ? !tape_open_wav(name, &why) : !tape_init(name, &why)) {
        (ends_with(options.tape, ".wav") ? shell_refused_wav : shell_refused_ptp)(options.tape, why);
        return EXIT_INPUT;
    }
    if (tape_wav_open()) tape_set_play_key(1);
    return -1;
}

// Closes what the run recorded; the exit code passes through, or becomes
// 128 + the signal that ended the run.
int finish_run(int code)
{
    tape_close();
    ptp_close();
    if (!sound_close_wav()) {
        std::fprintf(stderr, "brevan: a hangfelvétel írása nem sikerült\n");
        if (code == EXIT_DONE) code = EXIT_OUTPUT;
    }
    if (std::string why; !diskimg_save_all(&why)) {
        shell_disk_not_saved(why);
        if (code == EXIT_DONE) code = EXIT_OUTPUT;
    }
    std::string why;
    if (!printer_close(&why)) {
        std::fprintf(stderr, "brevan: a nyomtató kimenete nem írható: %s: %s\n", printer_get_path().c_str(), why.c_str());
        if (code == EXIT_DONE) code = EXIT_OUTPUT;
    }
    return stop_signal ? 128 + stop_signal : code;
}

// The screen's text as UTF-8 lines.
bool write_screen_text(const std::string& name, std::string* why)
{
    std::string text;
    for (const std::string& line : screen_text_utf8()) text += line + '\n';
    return write_whole_file(name, text.data(), text.size(), why);
}

int convert_ptp_to_wav(int argc, char** argv, int at)
{
    if (at + 2 >= argc) return usage_error("%s", "a --ptp-to-wav után a PTP és a WAV állomány neve kell");
    for (int i = 1; i < argc; ++i)
        if (i < at || i > at + 2) return usage_error("fölösleges argumentum a --ptp-to-wav mellett: %s", argv[i]);
    std::string why;
    if (ptpwav_write_file(argv[at + 1], argv[at + 2], &why)) return EXIT_DONE;
    std::fprintf(stderr, "brevan: %s\n", why.c_str());
    return EXIT_OUTPUT;
}

// The last line of --help: where the full description is.
void print_help_file_line()
{
    const std::string help = emu_help_file();
    if (help.empty())
        std::printf("\nA részletes leírás (Olvassel.txt) nem található.\n");
    else
        std::printf("\nRészletes leírás: %s\n", help.c_str());
}

// --make-cpm-disk FILE [--geometry NAME], the geometry also before the name.
int make_cpm_disk(int argc, char** argv)
{
    const char* file = nullptr;
    const char* geometry = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (std::strcmp(argv[i], "--make-cpm-disk") == 0 || std::strcmp(argv[i], "--geometry") == 0) {
            if (!value) return usage_error("a %s után egy név kell", argv[i]);
            (argv[i][2] == 'm' ? file : geometry) = value;
            ++i;
        } else if (std::strcmp(argv[i], "--headless") != 0) {
            return usage_error("a --make-cpm-disk mellett ez nem adható meg: %s", argv[i]);
        }
    }
    const cpm_disk_format* format = cpm_disk_format_by_name(geometry);
    if (!format)
        return usage_error("ismeretlen lemezformátum: %s (brevan brevan640 brevan360 brevan320 brevan180 brevan160)",
                           geometry);
    if (std::string why; !cpm_disk_make(file, *format, 0, &why)) {
        std::fprintf(stderr, "brevan: a lemez nem készíthető el: %s\n", why.c_str());
        return EXIT_OUTPUT;
    }
    return EXIT_DONE;
}

} // namespace

const char* headless_usage() { return headless_usage_text; }

int headless_wanted(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (!argv[i]) continue;
        if (std::strcmp(argv[i], "--headless") == 0 || std::strcmp(argv[i], "--help") == 0 ||
            std::strcmp(argv[i], "--ptp-to-wav") == 0 || std::strcmp(argv[i], "--make-cpm-disk") == 0)
            return 1;
    }
    return 0;
}

int headless_main(int argc, char** argv)
{
    rom_call_stopped = text_refused = false;
    host_hooks.note = headless_note;   // the PTP converter has notes too
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(headless_usage_text, stdout);
            print_help_file_line();
            return EXIT_DONE;
        }
        if (std::strcmp(argv[i], "--ptp-to-wav") == 0) return convert_ptp_to_wav(argc, argv, i);
        if (std::strcmp(argv[i], "--make-cpm-disk") == 0) return make_cpm_disk(argc, argv);
    }

    headless_options options;
    if (const int code = headless_parse_options(argc, argv, options); code >= 0) return code;
    const stop_signals catching;

    const std::string folder = emu_program_folder().string();
    const romfiles_report roms = romfiles_load_at_start(folder.c_str());
    std::fprintf(stderr, "%s%s", roms.used.c_str(), roms.refused.c_str());
    start_machine(options, folder.c_str());
    for (size_t d = 0; d < options.disks.size(); ++d) {
        const std::string& disk = options.disks[d];
        std::string reason;
        const int inserted = wd1793_insert_disk(static_cast<int>(d), disk.c_str(), &reason);
        if (inserted == -2) {
            std::fprintf(stderr, "brevan: a(z) %s lemezkép már a(z) %c: meghajtóban van; egy lemezkép egyszerre "
                                 "csak egy meghajtóban lehet\n",
                         disk.c_str(), 'A' + diskimg_drive_holding(disk.c_str(), static_cast<int>(d)));
            return finish_run(EXIT_INPUT);
        }
        if (inserted != 1) {
            if (reason.find(disk) == std::string::npos) reason = disk + ": " + reason;
            std::fprintf(stderr, "brevan: a lemezkép nem használható: %s\n", reason.c_str());
            return finish_run(EXIT_INPUT);
        }
    }

    if (!options.printer.empty()) {
        std::string why;
        if (!printer_open(&why)) {
            std::fprintf(stderr, "brevan: a nyomtató kimenete nem írható: %s: %s\n", options.printer.c_str(), why.c_str());
            return finish_run(EXIT_OUTPUT);
        }
    }
    std::string why;
    if (!options.wav.empty() && !sound_create_wav(options.wav.c_str(), WAV_DATA_MAX, &why)) {
        std::fprintf(stderr, "brevan: a hangfelvétel nem hozható létre: %s: %s\n", options.wav.c_str(), why.c_str());
        return finish_run(EXIT_OUTPUT);
    }
    tape_set_signal_flipped(options.flip_tape);
    if (const int code = set_up_tapes(options); code >= 0) return finish_run(code);
    for (const std::string& program : options.programs)
        if (!shell_autostart(program.c_str(), options.autostart))
            return finish_run(text_refused ? EXIT_USAGE : EXIT_INPUT);

    if (options.break_address >= 0) {
        z80_state.bp_address = static_cast<uint16_t>(options.break_address);
        z80_state.bp_enabled = 1;
        z80_state.bp_reached = 0;
    }
    bool stopped = false;
    long frame = 0;
    for (; frame < options.frames && !stopped && !stop_signal; ++frame) {
        if (frame == TYPE_START_FRAME) typing_queue(options.typing);
        machine_run();
        UpdateFrame();   // every frame of the run counts as presented
        sound_flush(z80_state.tcount);
        stopped = machine_at_breakpoint() != 0;
    }
    typing_stop();
    if (stop_signal)
        std::fprintf(stderr, "brevan: %s a %ld. képkockánál; a futás úgy fejeződik be, mint a képkockák végén\n",
                     signal_name(stop_signal), frame);
    if (options.break_address >= 0) {
        print_monitor_view();
        if (!stopped && !stop_signal)
            std::fprintf(stderr, "brevan: a gép %ld képkocka alatt nem jutott el a %04lX töréspontig\n",
                         options.frames, options.break_address);
    }

    if (!options.save_snapshot.empty() && !snapshot_save(options.save_snapshot.c_str(), &why)) {
        std::fprintf(stderr, "brevan: a pillanatkép nem menthető: %s: %s\n", options.save_snapshot.c_str(), why.c_str());
        return finish_run(EXIT_OUTPUT);
    }
    if (!options.screenshot.empty() && !screenshot_save(options.screenshot, &why)) {
        std::fprintf(stderr, "brevan: a kép nem menthető: %s: %s\n", options.screenshot.c_str(), why.c_str());
        return finish_run(EXIT_OUTPUT);
    }
    if (!options.screen_text.empty() && !write_screen_text(options.screen_text, &why)) {
        std::fprintf(stderr, "brevan: a képernyő szövege nem menthető: %s: %s\n", options.screen_text.c_str(),
                     why.c_str());
        return finish_run(EXIT_OUTPUT);
    }
    if (rom_call_stopped) return finish_run(EXIT_ROM_CALL);
    return finish_run(options.break_address >= 0 && !stopped ? EXIT_NO_BREAK : EXIT_DONE);
}
