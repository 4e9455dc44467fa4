// Program files handed to the emulator (dropped, chosen, named on the
// command line): loaded by their extension and, with autostart, started.
#include "media/autostart.h"

#include <cctype>
#include <string>
#include <vector>

#include "core/hooks.h"
#include "core/machine.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "devices/input.h"
#include "devices/typing.h"
#include "media/fileio.h"
#include "media/pri.h"
#include "media/ptp.h"
#include "media/snapshot.h"

namespace {

constexpr int ROM_START_FRAMES = 30;
constexpr size_t TEXT_LIMIT = 65536;
// The ROM's "run the loaded program", entered as if called from the prompt.
constexpr uint16_t ROM_RUN = 0x1B5D;
constexpr uint16_t ROM_RUN_RETURN = 0x1D1E;

enum class kind { none, pri, text, ptp, pss, pp };

kind kind_of(std::string extension)
{
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!extension.empty() && extension.back() == '"') extension.pop_back();
    struct entry { const char* name; kind k; };
    static constexpr entry three[] = {{"pri", kind::pri}, {"prg", kind::pri}, {"bas", kind::text},
                                      {"txt", kind::text}, {"ptp", kind::ptp}, {"pss", kind::pss}};
    for (const entry& e : three)
        if (extension.compare(0, 3, e.name) == 0) return e.k;
    if (extension.compare(0, 2, "pp") == 0) return kind::pp;
    return kind::none;
}

int refuse(const std::string& path, const std::string& why)
{
    host_message_box("Programbetöltés", ("A(z) \"" + path + "\" nem tölthető be: " + why).c_str());
    return 0;
}

// Part of a program left out: loaded all the same, but the user is told.
void report_dropped(const std::string& path, size_t dropped)
{
    if (dropped == 0) return;
    host_message_box("Programbetöltés", ("A(z) \"" + path + "\" betöltődött, de " + std::to_string(dropped) +
                                         " bájtja kimaradt: a ROM területére vagy a 0xFFFF cím fölé esett volna.")
                                            .c_str());
}

void start_at(int address) { z80_state.pc = static_cast<uint16_t>(address); }

void rom_restart()
{
    z80_state.sp = static_cast<uint16_t>(z80_state.sp - 2);
    mem_write_word(z80_state.sp, ROM_RUN_RETURN);
    z80_state.pc = ROM_RUN;
}

void start_or_restart(int address)
{
    if (address >= 1)
        start_at(address);
    else
        rom_restart();
}

int type_text_file(const std::string& path, int autostart)
{
    std::string why = file_unreadable_reason(path.c_str());
    file_ptr f(why.empty() ? std::fopen(path.c_str(), "rb") : nullptr);
    if (!f) return refuse(path, why.empty() ? "nem nyitható meg: " + file_error_text(errno) : why);
    std::string text(TEXT_LIMIT, '\0');
    text.resize(std::fread(text.data(), 1, TEXT_LIMIT, f.get()));
    text.resize(std::min(text.size(), text.find('\0')));   // up to the first zero byte
    // CP/M has no BASIC to run the program.
    if (autostart && machine_model != MODEL_CPM) text += "\rRUN\r";
    std::vector<type_unit> units;
    type_text_parse(type_text_file_to_utf8(text), false, units);
    std::vector<typing_step> steps;
    typing_refusal refusal{};
    if (!typing_steps_for_model(units, machine_model, steps, &refusal)) {
        typing_refused(path.c_str(), refusal);
        return 0;
    }
    typing_queue(steps);
    return 1;
}

}  // namespace

int autostart_file(const char* path_in, int autostart)
{
    if (keyboard_host_key_down(HK_CTRL))
        autostart = 0;
    else
        machine_do_some_frames(ROM_START_FRAMES);

    std::string path = path_in ? path_in : "";
    if (!path.empty() && path.front() == '"') path.erase(0, 1);
    if (path.size() > 1 && path.back() == '"') path.pop_back();
    if (path.empty()) return 0;

    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return refuse(path, "nincs kiterjesztése, így nem tudni, milyen állomány");
    const std::string extension = path.substr(dot + 1);
    uint8_t* ram = memory_get_ram();
    std::string why;

    switch (kind_of(extension)) {
    case kind::pri: {
        size_t dropped = 0;
        const int start = pri_load_pri_file(path.c_str(), ram, &why, &dropped);
        if (start < 0) return refuse(path, why);
        report_dropped(path, dropped);
        if (autostart) start_or_restart(start);
        return 1;
    }
    case kind::text:
        return type_text_file(path, autostart);
    case kind::ptp: {
        uint16_t start = 0;
        if (!ptp_load_file(path.c_str(), &start, &why)) return refuse(path, why);
        if (autostart) start_or_restart(start);
        tape_init(path.c_str());   // the ROM's loader starts again at the first program
        return 1;
    }
    case kind::pss:
        return snapshot_load(path.c_str(), ram, &why) ? 1 : refuse(path, why);
    case kind::pp: {
        size_t dropped = 0;
        const int start = ui_load_pp_file(path.c_str(), ram, &why, &dropped);
        if (start < 0) return refuse(path, why);
        report_dropped(path, dropped);
        if (autostart && start >= 1) start_at(start);
        return 1;
    }
    case kind::none: break;
    }
    return refuse(path, "ismeretlen állománytípus (." + extension + ")");
}
