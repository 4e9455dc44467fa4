// The machine without a window: runs a number of frames as fast as the host
// allows, types text through the keyboard matrix, and leaves a picture and
// the sound of the run in files.
#include "host/headless.h"

#include <QImage>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "emu/autostart.h"
#include "emu/cpu.h"
#include "emu/event.h"
#include "emu/input.h"
#include "emu/machine.h"
#include "emu/memory.h"
#include "emu/ptp.h"
#include "emu/screen.h"
#include "emu/snapshot.h"
#include "emu/tape.h"
#include "host/emu.h"
#include "host/shell.h"
#include "sound/sound.h"
#if __has_include("emu/romfiles.h")
#include "emu/romfiles.h"
#define BREVAN_HAVE_ROMFILES 1
#endif
#if __has_include("emu/ptpwav.h")
#include "emu/ptpwav.h"
#define BREVAN_HAVE_PTPWAV 1
#endif

namespace {

constexpr int EXIT_DONE = 0;
constexpr int EXIT_OUTPUT = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_INPUT = 3;
constexpr int TAPE_RECORD_RATE = 44100;
constexpr long MAX_FRAMES = 50L * 60 * 60 * 24;   // a day of emulated time
// The ROM is given a second to come up before typing starts; each key is
// held for a few frames and released for as many, so every scan sees it.
constexpr int TYPE_START_FRAME = 50;
constexpr int KEY_DOWN_FRAMES = 4;
constexpr int KEY_UP_FRAMES = 4;

const char usage_text[] =
    "Használat:\n"
    "  brevan [kapcsolók] [programállományok...]\n"
    "  brevan --headless [--frames N] [--model M] [--clock HZ] [--type SZÖVEG]\n"
    "         [--screenshot FÁJL] [--wav FÁJL] [--tape FÁJL] [--record-tape FÁJL.wav]\n"
    "         [--save-snapshot FÁJL.pss] [--no-autostart] [programállományok...]\n"
    "  brevan --ptp-to-wav BE.ptp KI.wav\n"
    "  brevan --help\n"
    "\n"
    "Ablak nélküli futás (--headless):\n"
    "  --frames N         N képkocka futtatása (alapérték 100), a lehető leggyorsabban\n"
    "  --model M          gép: a32, a48, a64, b32, b48, b64, c64, cpm (alapérték a64)\n"
    "  --clock HZ         órajel: 2500000 vagy 3750000 (alapérték 2500000)\n"
    "  --type SZÖVEG      a szöveg begépelése a billentyűzeten az 50. képkockától;\n"
    "                     \\n Entert üt, \\\\ egy fordított perjelet\n"
    "  --screenshot FÁJL  az utolsó kép mentése (.png végződéssel PNG, egyébként BMP)\n"
    "  --wav FÁJL         a hangkimenet felvétele (48000 Hz, mono, 16 bit)\n"
    "  --tape FÁJL        PTP szalagkép vagy WAV felvétel a magnóba, indítás nélkül;\n"
    "                     a WAV lenyomott Play gombbal áll, a gép motorvezérlése görgeti\n"
    "  --record-tape FÁJL.wav  a magnó kimenetének felvétele (8 bit, mono, 44100 Hz),\n"
    "                     lenyomott Record gombbal\n"
    "  --save-snapshot FÁJL.pss  pillanatkép mentése a futás végén\n"
    "  --no-autostart     a programállományok csak betöltődnek, nem indulnak\n"
    "  programállományok  betöltés és indítás (.ptp .pri .prg .pss .pp .bas .txt)\n"
    "\n"
    "Kilépési kód: 0 kész, 1 egy kimenet nem írható, 2 hibás kapcsoló,\n"
    "3 egy program vagy szalag nem tölthető be.\n"
    "\n"
    "Átalakítás:\n"
    "  --ptp-to-wav BE.ptp KI.wav   PTP szalagkép átírása WAV hangállománnyá\n"
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
    "Egy létező állomány, vagy az első karaktere után további \"/\" jelet\n"
    "tartalmazó argumentum mindig programállomány, sosem kapcsoló.\n";

struct headless_options {
    long frames = 100;
    int model = MODEL_A64;
    int clock = 2500000;
    std::string type_text;      // CP1250, Enter as '\r'
    std::string screenshot;
    std::string wav;
    std::string tape;
    std::string record_tape;
    std::string save_snapshot;
    int autostart = 1;
    std::vector<std::string> programs;
};

// The keyboard of the run: a US layout for ASCII, and spare key codes for
// the Hungarian letters (shift for the capitals).
struct cp1250_letter { uint8_t lower, upper; };
constexpr cp1250_letter hungarian_letters[] = {
    {0xE1, 0xC1}, {0xE9, 0xC9}, {0xED, 0xCD}, {0xF3, 0xD3}, {0xF6, 0xD6},
    {0xF5, 0xD5}, {0xFA, 0xDA}, {0xFC, 0xDC}, {0xFB, 0xDB},
};
constexpr int SPARE_KEYS[] = {0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x97};

int held_key = -1;   // VK | KEYMOD_* while a key is held, else -1

int us_punctuation(uint8_t ch)
{
    struct entry { char plain, shifted; int vk; };
    static constexpr entry keys[] = {
        {'-', '_', VK_OEM_MINUS}, {'=', '+', VK_OEM_PLUS}, {'[', '{', VK_OEM_4},
        {']', '}', VK_OEM_6}, {'\\', '|', VK_OEM_5}, {';', ':', VK_OEM_1},
        {'\'', '"', VK_OEM_7}, {',', '<', VK_OEM_COMMA}, {'.', '>', VK_OEM_PERIOD},
        {'/', '?', VK_OEM_2}, {'`', '~', VK_OEM_3},
    };
    for (const entry& k : keys) {
        if (ch == static_cast<uint8_t>(k.plain)) return k.vk;
        if (ch == static_cast<uint8_t>(k.shifted)) return k.vk | KEYMOD_SHIFT;
    }
    static constexpr char shifted_digits[] = ")!@#$%^&*(";
    for (int d = 0; d < 10; ++d)
        if (ch == static_cast<uint8_t>(shifted_digits[d])) return ('0' + d) | KEYMOD_SHIFT;
    return -1;
}

int scripted_char_key(uint8_t ch)
{
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 'A';
    if (ch >= 'A' && ch <= 'Z') return ch | KEYMOD_SHIFT;
    if (ch >= '0' && ch <= '9') return ch;
    switch (ch) {
    case ' ': return VK_SPACE;
    case '\r': return VK_RETURN;
    case '\b': return VK_BACK;
    case '\t': return VK_TAB;
    default: break;
    }
    for (size_t i = 0; i < std::size(hungarian_letters); ++i) {
        if (ch == hungarian_letters[i].lower) return SPARE_KEYS[i];
        if (ch == hungarian_letters[i].upper) return SPARE_KEYS[i] | KEYMOD_SHIFT;
    }
    return us_punctuation(ch);
}

int scripted_key_down(int vk)
{
    if (held_key < 0) return 0;
    if (vk == VK_SHIFT) return (held_key & KEYMOD_SHIFT) ? 1 : 0;
    return vk == (held_key & 0xFF) ? 1 : 0;
}

void scripted_release_all() { held_key = -1; }

const host_keyboard_t scripted_keyboard{scripted_key_down, scripted_char_key, scripted_release_all};

// The key to hold at a frame of the run, or -1.
int key_at_frame(const std::string& text, long frame)
{
    if (frame < TYPE_START_FRAME) return -1;
    const long step = frame - TYPE_START_FRAME;
    const long index = step / (KEY_DOWN_FRAMES + KEY_UP_FRAMES);
    if (index >= static_cast<long>(text.size())) return -1;
    if (step % (KEY_DOWN_FRAMES + KEY_UP_FRAMES) >= KEY_DOWN_FRAMES) return -1;
    const auto ch = static_cast<uint8_t>(text[static_cast<size_t>(index)]);
    return ch == '\r' ? VK_RETURN : scripted_char_key(ch);
}

// UTF-8 to CP1250 for the characters the Primo keyboard has; escapes \n,
// \r, \t and \\. Returns false on a character that cannot be typed.
bool text_for_typing(const char* in, std::string& out)
{
    out.clear();
    struct entry { char32_t unicode; uint8_t cp1250; };
    static constexpr entry hungarian[] = {
        {U'á', 0xE1}, {U'Á', 0xC1}, {U'é', 0xE9}, {U'É', 0xC9}, {U'í', 0xED}, {U'Í', 0xCD},
        {U'ó', 0xF3}, {U'Ó', 0xD3}, {U'ö', 0xF6}, {U'Ö', 0xD6}, {U'ő', 0xF5}, {U'Ő', 0xD5},
        {U'ú', 0xFA}, {U'Ú', 0xDA}, {U'ü', 0xFC}, {U'Ü', 0xDC}, {U'ű', 0xFB}, {U'Ű', 0xDB},
    };
    const auto* p = reinterpret_cast<const unsigned char*>(in);
    while (*p) {
        char32_t c = *p++;
        if (c == '\\' && *p) {
            const unsigned char e = *p++;
            c = e == 'n' || e == 'r' ? U'\r' : e == 't' ? U'\t' : e;
        } else if (c >= 0x80) {
            int more = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
            if (more < 0) return false;
            c &= more == 1 ? 0x1F : more == 2 ? 0x0F : 0x07;
            for (; more > 0; --more) {
                if ((*p & 0xC0) != 0x80) return false;
                c = c << 6 | (*p++ & 0x3F);
            }
        }
        if (c == '\n') c = '\r';
        if (c < 0x80) {
            if (scripted_char_key(static_cast<uint8_t>(c)) < 0) return false;
            out += static_cast<char>(c);
            continue;
        }
        bool found = false;
        for (const entry& h : hungarian) {
            if (h.unicode == c) {
                out += static_cast<char>(h.cp1250);
                found = true;
                break;
            }
        }
        if (!found) return false;
    }
    return true;
}

int usage_error(const char* format, const char* what)
{
    std::fprintf(stderr, "brevan: ");
    std::fprintf(stderr, format, what);
    std::fprintf(stderr, "\nA lehetőségek listája: brevan --help\n");
    return EXIT_USAGE;
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
            if (!text_for_typing(argv[i + 1], options.type_text))
                return usage_error("a szövegben olyan karakter van, ami a Primón nem gépelhető: %s", argv[i + 1]);
            ++i;
        } else if (std::string* name = arg == "--screenshot" ? &options.screenshot
                                       : arg == "--wav" ? &options.wav
                                       : arg == "--tape" ? &options.tape
                                       : arg == "--record-tape" ? &options.record_tape
                                       : arg == "--save-snapshot" ? &options.save_snapshot
                                       : nullptr) {
            if (!has_value) return usage_error("a %s után egy állománynév kell", arg.c_str());
            *name = argv[i + 1];
            ++i;
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
    if (!options.tape.empty() && !options.record_tape.empty())
        return usage_error("%s", "a --tape és a --record-tape együtt nem adható meg: egyszerre egy szalag van a magnóban");
    return -1;
}

void start_machine(const headless_options& options, const char* folder)
{
    keyboard_set_host(&scripted_keyboard);
    held_key = -1;
    machine_init(nullptr, options.model, folder);
    event_init();
    machine_set_clock(options.clock);
    memory_set_active_setup(model_table[options.model].configuration);
    memory_get_video_ram(&screenptr);
    memory_reset();
    if (options.model == MODEL_C64) {
        nroflines = 216;
        g_bColor = 2;
    } else {
        nroflines = 192;
        g_bColor = 0;
    }
    keyboard_change_mapping(1);
    keyboard_change_model(options.model >= MODEL_B32 && options.model <= MODEL_B64 ? 1 : 0);
    ptp_place_traps();
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

// Closes what the run recorded; the exit code passes through.
int finish_run(int code)
{
    tape_close();
    ptp_close();
    sound_close_wav();
    return code;
}

bool write_screenshot(const std::string& name)
{
    if (!ends_with(name, ".png")) return save_bitmap(name.c_str()) == 1;
    const int width = screen_width();
    const int height = screen_height();
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    screen_render_rgb(pixels.data());
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width),
                    static_cast<size_t>(width) * sizeof(uint32_t));
    return image.save(QString::fromLocal8Bit(name.c_str()), "PNG");
}

int convert_ptp_to_wav(int argc, char** argv, int at)
{
    if (at + 2 >= argc) return usage_error("%s", "a --ptp-to-wav után a PTP és a WAV állomány neve kell");
    for (int i = 1; i < argc; ++i)
        if (i < at || i > at + 2) return usage_error("fölösleges argumentum a --ptp-to-wav mellett: %s", argv[i]);
#ifdef BREVAN_HAVE_PTPWAV
    return ptp_to_wav(argv[at + 1], argv[at + 2]) ? EXIT_DONE : EXIT_OUTPUT;
#else
    (void)argv;
    std::fprintf(stderr, "brevan: a PTP-WAV átalakítás még nem érhető el.\n");
    return EXIT_OUTPUT;
#endif
}

} // namespace

const char* headless_usage() { return usage_text; }

int headless_wanted(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (!argv[i]) continue;
        if (std::strcmp(argv[i], "--headless") == 0 || std::strcmp(argv[i], "--help") == 0 ||
            std::strcmp(argv[i], "--ptp-to-wav") == 0)
            return 1;
    }
    return 0;
}

int headless_main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(usage_text, stdout);
            return EXIT_DONE;
        }
        if (std::strcmp(argv[i], "--ptp-to-wav") == 0) return convert_ptp_to_wav(argc, argv, i);
    }

    headless_options options;
    if (const int code = parse_options(argc, argv, options); code >= 0) return code;

    emu_program_folder(emu_path, sizeof emu_path);
#ifdef BREVAN_HAVE_ROMFILES
    {
        std::string report;
        romfiles_load(romfiles_default_folders(emu_path), &report);
        if (!report.empty()) std::fprintf(stderr, "%s", report.c_str());
    }
#endif
    start_machine(options, emu_path);

    if (!options.wav.empty() && !sound_create_wav(options.wav.c_str())) {
        std::fprintf(stderr, "brevan: a hangfelvétel nem hozható létre: %s\n", options.wav.c_str());
        return EXIT_OUTPUT;
    }
    if (const int code = set_up_tapes(options); code >= 0) return finish_run(code);
    for (const std::string& program : options.programs)
        if (!autostart_file(program.c_str(), options.autostart)) return finish_run(EXIT_INPUT);

    for (long frame = 0; frame < options.frames; ++frame) {
        held_key = key_at_frame(options.type_text, frame);
        machine_run();
        sound_flush(z80_state.tcount);
    }
    held_key = -1;

    std::string why;
    if (!options.save_snapshot.empty() && !snapshot_save(options.save_snapshot.c_str(), memory_get_ram(), &why)) {
        std::fprintf(stderr, "brevan: a pillanatkép nem menthető: %s: %s\n", options.save_snapshot.c_str(), why.c_str());
        return finish_run(EXIT_OUTPUT);
    }
    if (!options.screenshot.empty() && !write_screenshot(options.screenshot)) {
        std::fprintf(stderr, "brevan: a kép nem menthető: %s\n", options.screenshot.c_str());
        return finish_run(EXIT_OUTPUT);
    }
    return finish_run(EXIT_DONE);
}
