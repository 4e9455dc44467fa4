// Program files handed to the emulator (dropped, chosen, named on the
// command line): loaded by their extension and, with autostart, started.
#include "media/autostart.h"

#include <cctype>
#include <string>

#include "core/hooks.h"
#include "core/machine.h"
#include "core/memory.h"
#include "core/sysvars.h"
#include "cpu/cpu.h"
#include "devices/input.h"
#include "devices/screen.h"
#include "media/fileio.h"
#include "media/pri.h"
#include "media/ptp.h"
#include "media/snapshot.h"

namespace {

constexpr int ROM_START_FRAMES = 30;
constexpr size_t TEXT_LIMIT = 65536;
// The ROM's "run the loaded program", entered as if called from the prompt.
constexpr uint16_t ROM_RUN = 0x1B5D;

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


// An original ROM is entered at the start address as it stands. The
// built-in firmware starts programs as its own R does: SP just below the
// display page (C64: the colour block), the prompt's return pushed, IX at
// the screen driver's block.
void start_at(int address)
{
    if (memory_rom_is_builtin()) {
        z80_state.sp = memory_get_machine_type() == MODEL_C64 ? C64_STACK_TOP : mem_read_word(ROM_DISPLAY_START);
        z80_state.sp = static_cast<uint16_t>(z80_state.sp - 2);
        mem_write_word(z80_state.sp, ROM_RUN_RETURN);
        z80_state.ix = DRIVER_BLOCK;
    }
    z80_state.pc = static_cast<uint16_t>(address);
}

// The built-in firmware has no BASIC: a BASIC program stays where it was
// loaded, and the shell says why it does not run.
bool basic_needs_rom(const std::string& path)
{
    if (!memory_rom_is_builtin()) return false;
    machine_notice notice(notice_kind::basic_without_rom);
    notice.file = path;
    host_notice(notice);
    return true;
}

// Runs a loader and tells whether it stored a BASIC program, which it does
// by setting the program's end pointers: they are cleared before and put
// back when the loader left them alone.
template <class Loader>
bool loads_basic(Loader load)
{
    uint16_t before[3];
    for (int i = 0; i < 3; ++i) {
        before[i] = mem_read_word(PROG_END_POINTERS[i]);
        mem_write_word(PROG_END_POINTERS[i], 0);
    }
    load();
    bool set = false;
    for (uint16_t p : PROG_END_POINTERS) set = set || mem_read_word(p) != 0;
    if (!set)
        for (int i = 0; i < 3; ++i) mem_write_word(PROG_END_POINTERS[i], before[i]);
    return set;
}

// A raw memory file holds BASIC when it loads at the BASIC start and has
// no machine-code start of its own (none, or the load address itself).
bool pp_is_basic(const std::string& path, int start)
{
    uint8_t head[2];
    file_ptr f(std::fopen(path.c_str(), "rb"));
    if (!f || std::fread(head, 1, 2, f.get()) != 2) return false;
    const uint16_t load = static_cast<uint16_t>(head[0] | head[1] << 8);
    return load == mem_read_word(PROGBASE) && (start == 0 || start == load);
}

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
    if (basic_needs_rom(path)) return 1;
    std::string why = file_unreadable_reason(path.c_str());
    file_ptr f(why.empty() ? std::fopen(path.c_str(), "rb") : nullptr);
    if (!f) return refuse(path, why.empty() ? "nem nyitható meg: " + file_error_text(errno) : why);
    std::string text(TEXT_LIMIT, '\0');
    text.resize(std::fread(text.data(), 1, TEXT_LIMIT, f.get()));
    text.resize(std::min(text.size(), text.find('\0')));   // up to the first zero byte
    if (autostart) text += "\rRUN\r";
    input_place_bas_trap(rom_pointer(), g_bColor);
    keyboard_open_from_buffer(text.c_str());
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
    if (path.size() > 259) path.resize(259);
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
        int start = -1;
        size_t dropped = 0;
        const bool basic = loads_basic([&] { start = pri_load_pri_file(path.c_str(), ram, &why, &dropped); });
        if (start < 0) return refuse(path, why);
        report_dropped(path, dropped);
        if (start == 0 && basic && basic_needs_rom(path)) return 1;
        if (autostart) start_or_restart(start);
        return 1;
    }
    case kind::text:
        return type_text_file(path, autostart);
    case kind::ptp: {
        uint16_t start = 0;
        int loaded = 0;
        const bool basic = loads_basic([&] { loaded = ptp_load_file(path.c_str(), &start, &why); });
        if (!loaded) return refuse(path, why);
        ptp_rewind();   // the ROM's loader starts again at the first program
        if (start == 0 && basic && basic_needs_rom(path)) return 1;
        if (autostart) start_or_restart(start);
        return 1;
    }
    case kind::pss:
        return snapshot_load(path.c_str(), ram, &why) ? 1 : refuse(path, why);
    case kind::pp: {
        size_t dropped = 0;
        const int start = ui_load_pp_file(path.c_str(), ram, &why, &dropped);
        if (start < 0) return refuse(path, why);
        report_dropped(path, dropped);
        if (pp_is_basic(path, start) && basic_needs_rom(path)) return 1;
        if (autostart && start >= 1) start_at(start);
        return 1;
    }
    case kind::none: break;
    }
    return refuse(path, "ismeretlen állománytípus (." + extension + ")");
}
