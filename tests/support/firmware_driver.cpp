#include "support/firmware_driver.h"

#include <fstream>

#include "core/hooks.h"
#include "core/machine.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "devices/input.h"
#include "devices/screen.h"
#include "support/fake_keyboard.h"
#include "support/paths.h"
#include "support/screen_text.h"
#include "support/test_machine.h"

namespace {

struct host_stroke {
    host_key key;
    bool shift;
};

bool b_layout()
{
    return machine_model >= MODEL_B32 && machine_model <= MODEL_B64;
}

host_stroke stroke_for(char c)
{
    if (const host_key key = host_key_of_char(c)) return {key, c >= 'A' && c <= 'Z'};
    switch (c) {
    case ' ': return {HK_SPACE, false};
    case '\r': return {HK_ENTER, false};
    case '\b': return {HK_BACKSPACE, false};
    case '"': return {HK_2, true};
    case '?': return b_layout() ? host_stroke{HK_DELETE, true} : host_stroke{HK_MINUS, true};
    case '-': return {HK_SLASH, false};
    case '.': return {HK_PERIOD, false};
    case ',': return {HK_COMMA, false};
    case '$': return {HK_4, true};
    case '@': return {HK_SEMICOLON, true};   // the Primo's 0x40
    default: return {HK_NONE, false};
    }
}

}  // namespace

void firmware_run_frames(int frames)
{
    for (int i = 0; i < frames; ++i) {
        machine_run();
        UpdateFrame();
    }
}

void firmware_boot(int model, int frames)
{
    test_machine_select(model);
    fake_keyboard_install();
    keyboard_change_mapping(0);
    machine_hard_reset();
    z80_state.bp_enabled = 0;
    firmware_run_frames(frames);
}

const model_at_clock models_at_both_clocks[6] = {
    {MODEL_A64, 2500000, "A64"}, {MODEL_A64, 3750000, "A64_fast"}, {MODEL_B64, 2500000, "B64"},
    {MODEL_B64, 3750000, "B64_fast"}, {MODEL_C64, 2500000, "C64"}, {MODEL_C64, 3750000, "C64_fast"},
};

void firmware_boot_at(int model, int clock)
{
    firmware_boot(model);
    if (clock == 2500000) return;
    machine_set_clock(clock);
    machine_hard_reset();
    firmware_run_frames(30);
}

std::string firmware_run_until_shown(std::initializer_list<const char*> texts, int max_frames)
{
    for (int i = 0; i <= max_frames; ++i) {
        for (const char* t : texts)
            if (screen_shows(t)) return t;
        if (i < max_frames) firmware_run_frames(1);
    }
    return {};
}

void firmware_hold_key(host_key key, int frames)
{
    fake_keyboard_press(key);
    firmware_run_frames(frames);
    fake_keyboard_release(key);
}

void firmware_small_letters()
{
    firmware_hold_key(HK_CAPS_LOCK, 2);
    firmware_run_frames(2);
}

void firmware_type(const std::string& text, int settle)
{
    for (char c : text) {
        const host_stroke k = stroke_for(c);
        if (!k.key) continue;
        if (k.shift) fake_keyboard_press(HK_SHIFT);
        fake_keyboard_press(k.key);
        firmware_run_frames(2);
        fake_keyboard_release(k.key);
        if (k.shift) fake_keyboard_release(HK_SHIFT);
        firmware_run_frames(c == '\r' ? settle : 2);
    }
}

long firmware_label(const std::string& image, const std::string& name)
{
    std::ifstream in(firmware_build_path(image + ".lbl"));
    std::string line;
    const std::string prefix = name + ":";
    while (std::getline(in, line)) {
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        const auto dollar = line.find('$');
        if (dollar == std::string::npos) return -1;
        return std::stol(line.substr(dollar + 1), nullptr, 16);
    }
    return -1;
}
