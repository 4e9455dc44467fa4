// Program files handed to the emulator (dropped, chosen, named on the
// command line): loaded by their extension and, with autostart, started.
#include "media/autostart.h"

#include <cctype>
#include <cerrno>
#include <string>
#include <vector>

#include "core/hooks.h"
#include "core/machine.h"
#include "core/bus.h"
#include "core/memory.h"
#include "core/sysvars.h"
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

enum class kind { none, pri, text, ptp, pss, pp };

typing_refusal last_refusal{};

kind kind_of(std::string extension)
{
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!extension.empty() && extension.back() == '"') extension.pop_back();
    struct entry { char name[4]; kind k; };
    static constexpr entry three[] = {{"pri", kind::pri}, {"prg", kind::pri}, {"bas", kind::text},
                                      {"txt", kind::text}, {"ptp", kind::ptp}, {"pss", kind::pss}};
    for (const entry& e : three)
        if (extension.compare(0, 3, e.name) == 0) return e.k;
    if (extension.compare(0, 2, "pp") == 0) return kind::pp;
    return kind::none;
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
    host_notify(host_note::basic_without_rom, path.c_str());
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

bool type_text_file(const std::string& path, int autostart, std::string* why)
{
    if (basic_needs_rom(path)) return true;
    const std::string reason = file_unreadable_reason(path.c_str());
    file_ptr f(reason.empty() ? std::fopen(path.c_str(), "rb") : nullptr);
    if (!f) return refuse(why, reason.empty() ? "nem nyitható meg: " + file_error_text(errno) : reason);
    std::string text(TEXT_LIMIT, '\0');
    text.resize(std::fread(text.data(), 1, TEXT_LIMIT, f.get()));
    text.resize(std::min(text.size(), text.find('\0')));   // up to the first zero byte
    // CP/M has no BASIC to run the program.
    if (autostart && machine_model != MODEL_CPM) text += "\rRUN\r";
    std::vector<type_unit> units;
    type_text_parse(type_text_file_to_utf8(text), false, units);
    std::vector<typing_step> steps;
    if (!typing_steps_for_model(units, machine_model, steps, &last_refusal)) {
        host_notify(host_note::text_untypeable, path.c_str());
        return false;
    }
    typing_queue(steps);
    return true;
}

}  // namespace

typing_refusal autostart_text_refusal() { return last_refusal; }

bool autostart_file(const char* path_in, int autostart, std::string* why, size_t* dropped)
{
    if (keyboard_host_key_down(HK_CTRL))
        autostart = 0;
    else
        machine_do_some_frames(ROM_START_FRAMES);

    if (dropped) *dropped = 0;
    std::string path = path_in ? path_in : "";
    if (!path.empty() && path.front() == '"') path.erase(0, 1);
    if (path.size() > 1 && path.back() == '"') path.pop_back();
    if (path.empty()) return false;

    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return refuse(why, "nincs kiterjesztése, így nem tudni, milyen állomány");
    const std::string extension = path.substr(dot + 1);
    int start = 0;

    switch (kind_of(extension)) {
    case kind::pri: {
        bool loaded = false;
        const bool basic = loads_basic([&] { loaded = pri_load_pri_file(path.c_str(), &start, why, dropped); });
        if (!loaded) return false;
        if (start == 0 && basic && basic_needs_rom(path)) return true;
        if (autostart) start_or_restart(start);
        return true;
    }
    case kind::text:
        return type_text_file(path, autostart, why);
    case kind::ptp: {
        uint16_t address = 0;
        bool loaded = false;
        const bool basic = loads_basic([&] { loaded = ptp_load_file(path.c_str(), &address, why); });
        if (!loaded) return false;
        ptp_rewind();   // the ROM's loader starts again at the first program
        if (address == 0 && basic && basic_needs_rom(path)) return true;
        if (autostart) start_or_restart(address);
        return true;
    }
    case kind::pss:
        return snapshot_load(path.c_str(), why);
    case kind::pp:
        if (!ui_load_pp_file(path.c_str(), &start, why, dropped)) return false;
        if (pp_is_basic(path, start) && basic_needs_rom(path)) return true;
        if (autostart && start >= 1) start_at(start);
        return true;
    case kind::none: break;
    }
    return refuse(why, "ismeretlen állománytípus (." + extension + ")");
}
