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
#include "host/app/typing_words.h"
#include "media/autostart.h"
#include "media/diskimg.h"
#include "media/fileio.h"
#include "media/ptp.h"
#include "media/ptpwav.h"
#include "media/snapshot.h"
#include "sound/sound.h"

namespace {

constexpr int EXIT_DONE = 0;
constexpr int EXIT_OUTPUT = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_INPUT = 3;     // a program file, tape or disk could not be loaded
constexpr int EXIT_NO_BREAK = 4;  // --break: the frames ran out first
constexpr int LISTED_INSTRUCTIONS = 10;
constexpr int TAPE_RECORD_RATE = 44100;
constexpr long MAX_FRAMES = 50L * 60 * 60 * 24;   // a day of emulated time
// The ROM is given a second to come up before typing starts.
constexpr int TYPE_START_FRAME = 50;
constexpr size_t TYPE_FILE_LIMIT = 1 << 20;

const char usage_text[] =
    "Használat:\n"
    "  brevan [kapcsolók] [programállományok...]\n"
    "  brevan --headless [--frames N] [--model M] [--clock HZ] [--type SZÖVEG]\n"
    "         [--type-file FÁJL] [--screenshot FÁJL] [--wav FÁJL] [--break CÍM]\n"
    "         [--disk LEMEZ...] [--drive MAPPA] [--printer FÁJL] [--tape FÁJL]\n"
    "         [--record-tape FÁJL.wav] [--screen-text FÁJL]\n"
    "         [--save-snapshot FÁJL.pss] [--no-autostart] [programállományok...]\n"
    "  brevan --ptp-to-wav BE.ptp KI.wav\n"
    "  brevan --make-cpm-disk LEMEZ [--geometry NÉV]\n"
    "  brevan --help\n"
    "\n"
    "Ablak nélküli futás (--headless):\n"
    "  --frames N         N képkocka futtatása (alapérték 100), a lehető leggyorsabban\n"
    "  --model M          gép: a32, a48, a64, b32, b48, b64, c64, cpm (alapérték a64)\n"
    "  --clock HZ         órajel: 2500000 vagy 3750000 (alapérték 2500000)\n"
    "  --type SZÖVEG      a szöveg begépelése a gép billentyűin az 50. képkockától,\n"
    "                     abban az ütemben, ahogy a gép a billentyűket olvassa;\n"
    "                     \\n Enter, \\\\ fordított perjel, \\xHH a HH kódú bájt\n"
    "                     (\\x03 Ctrl-C, \\x10 Ctrl-P, \\x1A Ctrl-Z), \\e Esc, \\t Tab,\n"
    "                     \\w egy másodperc szünet; amit a gép nem tud begépelni,\n"
    "                     azt a futás előtt elutasítja (kód 2)\n"
    "  --type-file FÁJL   az állomány szövegének begépelése, \\ jelek nélkül\n"
    "                     (UTF-8 vagy CP1250); több --type is megadható, sorban\n"
    "  --screenshot FÁJL  az utolsó kép mentése (.png végződéssel PNG, egyébként BMP)\n"
    "  --screen-text FÁJL a képernyő szövege a futás végén, UTF-8 sorokban: a\n"
    "                     futó firmware karakterkészletével olvasva (eredeti ROM-nál\n"
    "                     a ROM sajátjával, ha megtalálható), a magyar betűk úgy,\n"
    "                     ahogy a Primo mutatja őket; a fel nem ismert cella: �\n"
    "  --wav FÁJL         a hangkimenet felvétele (48000 Hz, mono, 16 bit)\n"
    "  --break CÍM        töréspont a hexadecimális címen (pl. 4000): a futás ott\n"
    "                     megáll, és a monitor regiszterképe meg a következő tíz\n"
    "                     utasítás a szabványos kimenetre kerül; ha a képkockák\n"
    "                     előbb elfogynak, a kilépési kód 4\n"
    "  --disk LEMEZ       lemezkép (.dsk, .img) a következő üres meghajtóba: az első\n"
    "                     az A:, a második a B: meghajtóba, legfeljebb négy; --model\n"
    "                     nélkül a gép ekkor cpm; a megváltozott lemezképek a futás\n"
    "                     végén visszaíródnak\n"
    "  --drive MAPPA      a 8-as egység (lemezegység) állományai ebből a mappából\n"
    "                     (alapérték ~/.local/share/brevan/drive)\n"
    "  --printer FÁJL     a nyomtató kimenete (a port és a 4-es egység) ebbe az\n"
    "                     állományba kerül (alapérték ~/.local/share/brevan/printer.txt)\n"
    "  --tape FÁJL        PTP szalagkép vagy WAV felvétel a magnóba, indítás nélkül;\n"
    "                     a WAV lenyomott Play gombbal áll, a gép motorvezérlése görgeti\n"
    "  --record-tape FÁJL.wav  a magnó kimenetének felvétele (8 bit, mono, 44100 Hz),\n"
    "                     lenyomott Record gombbal\n"
    "  --save-snapshot FÁJL.pss  pillanatkép mentése a futás végén\n"
    "  --no-autostart     a programállományok csak betöltődnek, nem indulnak\n"
    "  programállományok  betöltés és indítás (.ptp .pri .prg .pss .pp .bas .txt)\n"
    "\n"
    "Kilépési kód: 0 kész, 1 egy kimenet nem írható, 2 hibás kapcsoló,\n"
    "3 egy program, szalag vagy lemez nem tölthető be, 4 a töréspont nem jött el,\n"
    "128+N az N-es jelzés (SIGHUP 1, SIGINT 2, SIGTERM 15) vetett véget a futásnak\n"
    "a következő képkocka végén; a kimenetek ekkor is elkészülnek, mint a\n"
    "képkockák elfogytával.\n"
    "\n"
    "Átalakítás:\n"
    "  --ptp-to-wav BE.ptp KI.wav   PTP szalagkép átírása WAV hangállománnyá\n"
    "  --make-cpm-disk LEMEZ        bootolható CP/M lemez készítése, rajta a\n"
    "                               SUBMIT.COM (létező állományt nem ír felül);\n"
    "                               --geometry NÉV:\n"
    "                               brevan (720 KB, 2 oldal, 80 sáv, 9 szektor; alap),\n"
    "                               brevan640, brevan360, brevan320, brevan180,\n"
    "                               brevan160; a nevek a firmware/cpm/diskdefs\n"
    "                               cpmtools-lemezleírásai (cpmcp -f NÉV)\n"
    "\n"
    "Kapcsolók az ablakos futáshoz (/x vagy -x alakban; bármelyik kapcsoló\n"
    "megadása esetén kilépéskor a beállítások nem íródnak vissza):\n"
    "  /a          a később megnevezett programok csak betöltődnek, nem indulnak\n"
    "  /b          RAM bank bekapcsolása\n"
    "  /d          dupla méretű képernyő\n"
    "  /h          hang bekapcsolása\n"
    "  /i:BBGGRR   karakterek (tinta) színe hat hexadecimális számjeggyel\n"
    "  /p:BBGGRR   háttér (papír) színe hat hexadecimális számjeggyel\n"
    "  /mTÍPUS     memóriakiosztás: /ma32 /ma48 /mb32 /mb48 /mb64 /mc64\n"
    "              (más szöveg: A64)\n"
    "  /t          3,75 MHz-es órajel\n"
    "  /w          nincs 50 Hz-es időzítés (a lehető leggyorsabb futás)\n"
    "\n"
    "Egy létező állomány vagy könyvtár, vagy az első karaktere után további\n"
    "\"/\" jelet tartalmazó argumentum mindig elérési út, sosem kapcsoló.\n"
    "Az ablakos futás más --lehetőséget nem ismer: ismeretlen lehetőségre\n"
    "üzenetet ír, és 2-es kóddal lép ki.\n";

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

struct headless_options {
    long frames = 100;
    int model = MODEL_A64;
    int clock = 2500000;
    struct typed_text {
        std::string what;   // the switch and its value, for messages
        std::string text;   // UTF-8
        bool escapes;
    };
    std::vector<typed_text> typed;   // --type and --type-file, in order
    std::vector<typing_step> typing;
    std::string screenshot;
    std::string screen_text;
    std::string wav;
    long break_address = -1;    // none
    std::string drive;
    std::string printer;
    std::string tape;
    std::string record_tape;
    std::string save_snapshot;
    int autostart = 1;
    std::vector<std::string> programs;
    std::vector<std::string> disks;
    bool model_given = false;
};

int usage_error(const char* format, const char* what)
{
    std::fprintf(stderr, "brevan: ");
    std::fprintf(stderr, format, what);
    std::fprintf(stderr, "\nA lehetőségek listája: brevan --help\n");
    return EXIT_USAGE;
}

// A 16-bit address in hexadecimal, with or without 0x.
bool parse_address(const char* text, long* out)
{
    if (!text) return false;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
    if (!*text || std::strlen(text) > 4) return false;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 16);
    if (*end != '\0' || !std::isxdigit(static_cast<unsigned char>(text[0]))) return false;
    *out = value;
    return true;
}

bool parse_long(const char* text, long* out)
{
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || errno != 0) return false;
    *out = value;
    return true;
}

int model_by_name(const char* name)
{
    static constexpr const char* names[] = {"a32", "a48", "a64", "b32", "b48", "b64", "c64", "cpm"};
    for (int i = 0; i < MODEL_COUNT; ++i)
        if (std::strcmp(name, names[i]) == 0) return i;
    return -1;
}

// Parses the options; returns -1 to go on, or an exit code.
int parse_options(int argc, char** argv, headless_options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--headless") continue;
        if (arg == "--frames") {
            long frames = 0;
            if (!has_value || !parse_long(argv[i + 1], &frames) || frames < 0 || frames > MAX_FRAMES)
                return usage_error("a --frames után 0 és 4320000 közötti szám kell (kapott: %s)",
                                   has_value ? argv[i + 1] : "semmi");
            options.frames = frames;
            ++i;
        } else if (arg == "--model") {
            const int model = has_value ? model_by_name(argv[i + 1]) : -1;
            if (model < 0)
                return usage_error("ismeretlen gép a --model után: %s (a32 a48 a64 b32 b48 b64 c64 cpm)",
                                   has_value ? argv[i + 1] : "semmi");
            options.model = model;
            options.model_given = true;
            ++i;
        } else if (arg == "--clock") {
            long hz = 0;
            if (!has_value || !parse_long(argv[i + 1], &hz) || (hz != 2500000 && hz != 3750000))
                return usage_error("a --clock értéke 2500000 vagy 3750000 lehet (kapott: %s)",
                                   has_value ? argv[i + 1] : "semmi");
            options.clock = static_cast<int>(hz);
            ++i;
        } else if (arg == "--type") {
            if (!has_value) return usage_error("%s", "a --type után a begépelendő szöveg kell");
            options.typed.push_back({"--type", argv[++i], true});
        } else if (arg == "--type-file") {
            if (!has_value) return usage_error("%s", "a --type-file után egy állomány neve kell");
            std::vector<uint8_t> bytes;
            std::string why;
            if (!read_file(argv[i + 1], TYPE_FILE_LIMIT, bytes, why))
                return usage_error("%s", (std::string("a --type-file állománya ") + why + ": " + argv[i + 1]).c_str());
            const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            options.typed.push_back({std::string("--type-file ") + argv[i + 1], type_text_file_to_utf8(text), false});
            ++i;
        } else if (arg == "--break") {
            if (!has_value || !parse_address(argv[i + 1], &options.break_address))
                return usage_error("a --break után egy hexadecimális cím kell, 0 és FFFF között (kapott: %s)",
                                   has_value ? argv[i + 1] : "semmi");
            ++i;
        } else if (std::string* name = arg == "--screenshot" ? &options.screenshot
                                       : arg == "--screen-text" ? &options.screen_text
                                       : arg == "--wav" ? &options.wav
                                       : arg == "--tape" ? &options.tape
                                       : arg == "--record-tape" ? &options.record_tape
                                       : arg == "--save-snapshot" ? &options.save_snapshot
                                       : nullptr) {
            if (!has_value) return usage_error("a %s után egy állománynév kell", arg.c_str());
            *name = argv[i + 1];
            ++i;
        } else if (arg == "--disk") {
            if (!has_value) return usage_error("%s", "a --disk után egy lemezkép neve kell");
            if (options.disks.size() >= DISK_DRIVES)
                return usage_error("legfeljebb négy lemezkép adható meg (ötödik: %s)", argv[i + 1]);
            options.disks.emplace_back(argv[i + 1]);
            ++i;
        } else if (arg == "--drive") {
            std::error_code ec;
            if (!has_value || !std::filesystem::is_directory(argv[i + 1], ec))
                return usage_error("a --drive után egy létező mappa kell (kapott: %s)", has_value ? argv[i + 1] : "semmi");
            options.drive = argv[++i];
        } else if (arg == "--printer") {
            if (!has_value) return usage_error("%s", "a --printer után egy állománynév kell");
            options.printer = argv[++i];
        } else if (arg == "--no-autostart") {
            options.autostart = 0;
        } else if (arg.rfind("--", 0) == 0) {
            return usage_error("ismeretlen lehetőség: %s", arg.c_str());
        } else {
            std::error_code ec;
            if (!std::filesystem::is_regular_file(arg, ec))
                return usage_error("nincs ilyen programállomány: %s", arg.c_str());
            options.programs.push_back(arg);
        }
    }
    if (!options.disks.empty() && !options.model_given) options.model = MODEL_CPM;
    // Whether every character can be typed depends on the model.
    for (const auto& t : options.typed) {
        const std::string why = typing_steps(t.text, t.escapes, options.model, options.typing);
        if (!why.empty()) return usage_error("%s", ("a(z) " + t.what + " szövegében " + why).c_str());
    }
    if (!options.tape.empty() && !options.record_tape.empty())
        return usage_error("%s", "a --tape és a --record-tape együtt nem adható meg: egyszerre egy szalag van a magnóban");
    return -1;
}

void start_machine(const headless_options& options, const char* folder)
{
    keyboard_set_host(nullptr);   // only the typist presses keys
    typing_words_install_hook();
    machine_init(nullptr, options.model, folder);
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
        if (!tape_create_wav(options.record_tape.c_str(), TAPE_RECORD_RATE)) return EXIT_OUTPUT;
        tape_set_play_key(1);
    }
    if (options.tape.empty()) return -1;
    const char* name = options.tape.c_str();
    if (!(ends_with(options.tape, ".wav") ? tape_open_wav(name) : tape_init(name))) return EXIT_INPUT;
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
    if (!diskimg_save_all() && code == EXIT_DONE) code = EXIT_OUTPUT;
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
    return ptp_to_wav(argv[at + 1], argv[at + 2]) ? EXIT_DONE : EXIT_OUTPUT;
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
    if (!cpm_disk_make(file, *format, 0)) {
        std::fprintf(stderr, "brevan: a lemez nem készíthető el: %s\n", diskimg_error());
        return EXIT_OUTPUT;
    }
    return EXIT_DONE;
}

} // namespace

const char* headless_usage() { return usage_text; }

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
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(usage_text, stdout);
            print_help_file_line();
            return EXIT_DONE;
        }
        if (std::strcmp(argv[i], "--ptp-to-wav") == 0) return convert_ptp_to_wav(argc, argv, i);
        if (std::strcmp(argv[i], "--make-cpm-disk") == 0) return make_cpm_disk(argc, argv);
    }

    headless_options options;
    if (const int code = parse_options(argc, argv, options); code >= 0) return code;
    const stop_signals catching;

    const std::string folder = emu_program_folder().string();
    romfiles_load_at_start(folder.c_str());
    start_machine(options, folder.c_str());
    for (size_t d = 0; d < options.disks.size(); ++d) {
        const std::string& disk = options.disks[d];
        const int inserted = wd1793_insert_disk(static_cast<int>(d), disk.c_str());
        if (inserted == -2) {
            std::fprintf(stderr, "brevan: a(z) %s lemezkép már a(z) %c: meghajtóban van; egy lemezkép egyszerre "
                                 "csak egy meghajtóban lehet\n",
                         disk.c_str(), 'A' + diskimg_drive_holding(disk.c_str(), static_cast<int>(d)));
            return finish_run(EXIT_INPUT);
        }
        if (inserted != 1) {
            std::string reason = diskimg_error();
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
    if (const int code = set_up_tapes(options); code >= 0) return finish_run(code);
    for (const std::string& program : options.programs)
        if (!autostart_file(program.c_str(), options.autostart)) return finish_run(EXIT_INPUT);

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

    if (!options.save_snapshot.empty() && !snapshot_save(options.save_snapshot.c_str(), memory_get_ram(), &why)) {
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
    return finish_run(options.break_address >= 0 && !stopped ? EXIT_NO_BREAK : EXIT_DONE);
}
