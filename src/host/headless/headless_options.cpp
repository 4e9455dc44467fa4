#include "host/headless/headless_options.h"

#include <cerrno>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "core/memory.h"
#include "media/diskimg.h"
#include "host/app/messages.h"
#include "host/app/typing_words.h"
#include "media/fileio.h"

namespace {

constexpr long MAX_FRAMES = 50L * 60 * 60 * 24;   // a day of emulated time
constexpr size_t TYPE_FILE_LIMIT = 1 << 20;

}  // namespace

const char headless_usage_text[] =
    "Használat:\n"
    "  brevan [--verbose] [kapcsolók] [programállományok...]\n"
    "  brevan --headless [--frames N] [--model M] [--clock HZ] [--type SZÖVEG]\n"
    "         [--type-file FÁJL] [--screenshot FÁJL] [--wav FÁJL] [--break CÍM]\n"
    "         [--disk LEMEZ...] [--drive MAPPA] [--printer FÁJL] [--tape FÁJL]\n"
    "         [--record-tape FÁJL.wav] [--screen-text FÁJL]\n"
    "         [--save-snapshot FÁJL.pss] [--no-autostart] [--flip-tape-signal]\n"
    "         [--verbose] [programállományok...]\n"
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
    "  --flip-tape-signal a WAV jel megfordítva (a \"Jel megfordítása\" menüpont):\n"
    "                     a fordított polaritással készült felvételekhez\n"
    "  --verbose          a gép diagnosztikai üzenetei a szabványos hibakimenetre\n"
    "                     (ablakos futásnál is megadható)\n"
    "  programállományok  betöltés és indítás (.ptp .pri .prg .pss .pp .bas .txt)\n"
    "\n"
    "Kilépési kód: 0 kész, 1 egy kimenet nem írható, 2 hibás kapcsoló vagy be\n"
    "nem gépelhető szöveg, 3 egy program, szalag vagy lemez nem tölthető be,\n"
    "4 a töréspont nem jött el,\n"
    "5 a program a ROM olyan címét hívta, amely a beépített firmware-ben nincs\n"
    "(a futás ott megáll; az üzenet megnevezi a címet és a hívót),\n"
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
    "Az ablakos futás a --verbose-on kívül más --lehetőséget nem ismer: ismeretlen lehetőségre\n"
    "üzenetet ír, és 2-es kóddal lép ki.\n";

int usage_error(const char* format, const char* what)
{
    std::fprintf(stderr, "brevan: ");
    std::fprintf(stderr, format, what);
    std::fprintf(stderr, "\nA lehetőségek listája: brevan --help\n");
    return EXIT_USAGE;
}

namespace {

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

}  // namespace

int headless_parse_options(int argc, char** argv, headless_options& options)
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
        } else if (arg == "--flip-tape-signal") {
            options.flip_tape = true;
        } else if (arg == "--verbose") {
            shell_set_verbose(true);
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

