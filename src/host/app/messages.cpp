#include "host/app/messages.h"

#include <cstdarg>
#include <cstdio>

#include "core/machine.h"
#include "core/romcall.h"
#include "host/app/typing_words.h"
#include "media/autostart.h"
#include "media/diskimg.h"

shell_output_t shell_output{};

namespace {

std::string file_named(const std::string& path) { return "A(z) \"" + path + "\" "; }

std::string hex_word(int value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value) & 0xFFFF);
    return text;
}

void status_vtext(int part, const char* format, va_list args)
{
    if (!shell_output.status) return;
    // Long paths reach the bar whole; the bar cuts what it shows.
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    shell_output.status(part, text.c_str());
}

void log_to_stderr(const char* text) { std::fputs(text, stderr); }

}  // namespace

void host_message_box(const char* title, const char* text)
{
    if (shell_output.box)
        shell_output.box(title, text);
    else
        std::fprintf(stderr, "%s: %s\n", title, text);
}

void StatusBarPartText(int part, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    status_vtext(part, format, args);
    va_end(args);
}

void StatusBarText(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    status_vtext(2, format, args);
    va_end(args);
}

void shell_note(host_note what, const char* subject)
{
    switch (what) {
    case host_note::ptp_saved: StatusBarText("PTP mentve: %s", subject); break;
    case host_note::ptp_not_saved: StatusBarText("A PTP nem menthető: %s", subject); break;
    case host_note::printing_to: StatusBarText("Nyomtatás ide: %s", subject); break;
    case host_note::printer_unopenable: StatusBarText("A nyomtató állománya nem nyitható meg: %s", subject); break;
    case host_note::printer_unwritable: StatusBarText("A nyomtató állománya nem írható: %s", subject); break;
    case host_note::tape_recording_full: {
        const char* text = "A magnó WAV felvétele elérte a 4 GB-os határt; a további jel elvész.";
        std::fprintf(stderr, "brevan: %s\n", text);
        StatusBarText("%s", text);
        break;
    }
    case host_note::sound_recording_full: {
        const char* text = "A hangfelvétel elérte a WAV formátum 4 GB-os határát; a felvétel itt lezárult.";
        std::fprintf(stderr, "brevan: %s\n", text);
        StatusBarText("%s", text);
        break;
    }
    case host_note::disk_not_saved: shell_disk_not_saved(subject); break;
    case host_note::basic_without_rom:
        host_message_box("Programbetöltés", (file_named(subject) + "BASIC program. A beépített firmware-ben nincs BASIC, "
                                             "ezért betöltődött, de nem indul el; eredeti ROM-fájlokkal futtatható.")
                                                .c_str());
        break;
    case host_note::rom_call_missing: {
        const romcall_stop stop = romcall_last();
        const std::string text = "A program a ROM " + hex_word(stop.address) + " címét hívta (" +
                                 (stop.caller >= 0 ? hex_word(stop.caller) + "-ről" : "ismeretlen helyről") +
                                 "), amit a beépített firmware nem tartalmaz; eredeti ROM-fájlokkal futtatható.";
        std::fprintf(stderr, "brevan: %s\n", text.c_str());
        StatusBarText("%s", text.c_str());
        break;
    }
    case host_note::ptp_length_mended: {
        const std::string text = file_named(subject) + "utolsó adatblokkja 3 bájttal hosszabbnak mondja magát, mint "
                                 "amennyi benne van (egy ismert átalakító hibája); a tartalma ép, így betöltődik.";
        std::fprintf(stderr, "brevan: %s\n", text.c_str());
        StatusBarText("%s", text.c_str());
        break;
    }
    case host_note::text_untypeable:
        host_message_box("Programbetöltés", (file_named(subject) + "nem gépelhető be: " +
                                             typing_refusal_words(autostart_text_refusal(), machine_model))
                                                .c_str());
        break;
    }
}

void shell_set_verbose(bool on) { host_hooks.log = on ? log_to_stderr : nullptr; }

void shell_refused_program(const std::string& path, const std::string& why)
{
    host_message_box("Programbetöltés", (file_named(path) + "nem tölthető be: " + why).c_str());
}

void shell_refused_ptp(const std::string& path, const std::string& why)
{
    host_message_box("PTP csatolás", (file_named(path) + "nem csatolható: " + why).c_str());
}

void shell_refused_wav(const std::string& path, const std::string& why)
{
    host_message_box("WAV betöltés", (file_named(path) + "nem játszható le: " + why).c_str());
}

void shell_refused_wav_recording(const std::string& path, const std::string& why)
{
    host_message_box("WAV mentés", (file_named(path) + "nem hozható létre: " + why).c_str());
}

void shell_disk_not_saved(const std::string& why)
{
    const std::string text =
        "A lemezkép nem írható vissza: " + why + ". A változások a meghajtóban lévő lemezen megmaradtak.";
    if (shell_output.box) std::fprintf(stderr, "%s\n", text.c_str());
    host_message_box("Hiba a lemez mentésekor", text.c_str());
}

void shell_sound_failed(const std::string& why)
{
    host_message_box("Hiba", ("A hangeszköz nem indítható " + why).c_str());
}

int shell_autostart(const char* path, int autostart)
{
    std::string why;
    size_t dropped = 0;
    const bool taken = autostart_file(path, autostart, &why, &dropped);
    std::string name = path ? path : "";
    if (name.size() > 1 && name.front() == '"') name = name.substr(1);
    if (name.size() > 1 && name.back() == '"') name.pop_back();
    if (taken && dropped)   // loaded all the same, but the user is told
        host_message_box("Programbetöltés", (file_named(name) + "betöltődött, de " + std::to_string(dropped) +
                                             " bájtja kimaradt: a ROM területére vagy a 0xFFFF cím fölé esett volna.")
                                                .c_str());
    if (!taken && !name.empty() && !why.empty()) shell_refused_program(name, why);   // else a note told
    return taken ? 1 : 0;
}

void shell_show_disk(int drive)
{
    const disk_image& image = diskimg_drive(drive);
    StatusBarPartText(2, "Lemez: %u oldal, %u sáv, %u szektor, %u kb.%s", image.sides, image.tracks, image.sectors,
                      image.length / 1024, image.read_only ? " Írásvédett." : "");
}
