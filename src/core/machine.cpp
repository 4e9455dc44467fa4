// The machine record, initialisation and resets, and the frame driver.
#include "core/machine.h"

#include "core/hooks.h"
#include "cpu/cpu.h"
#include "devices/beeper.h"
#include "devices/color.h"
#include "devices/diskfs.h"
#include "devices/input.h"
#include "devices/printer.h"
#include "devices/screen.h"
#include "devices/serial.h"
#include "devices/tape.h"
#include "devices/wd1793.h"
#include "media/diskimg.h"
#include "media/ptp.h"
#include "sound/sound.h"

machine the_machine;

namespace {

constexpr int LINES_PER_SECOND = 15625;
constexpr int BLANK_LINES = 24;
constexpr int VISIBLE_LINES = 288;

machine& M() { return the_machine; }

int line_cycles() { return static_cast<int>(M().cpu.clock / LINES_PER_SECOND); }

// Resets, clock and model changes begin a clean frame: nothing is left of
// one a breakpoint interrupted.
void frame_restart()
{
    M().phase = PHASE_START;
    M().phase_budget = 0;
    M().stopped_at_breakpoint = false;
}

void end_blanking()
{
    M().cpu.nmi_request = 0;
    M().cpu.nmi_in_service = 0;
    M().vblank = 0;
}

void end_visible_part()
{
    M().vblank = 1;
    if (M().nmi_allowed) M().cpu.nmi_request = 1;
    if (M().model == MODEL_CPM) led_update(wd1793_is_active());
}

void begin_frame_if_due()
{
    if (M().phase != PHASE_START) return;
    M().phase = PHASE_BLANKING;
    M().phase_budget = line_cycles() * BLANK_LINES;
}

// The current phase has run its budget: what happens at its end.
void finish_phase()
{
    if (M().phase == PHASE_BLANKING) {
        end_blanking();
        M().phase = PHASE_VISIBLE;
        M().phase_budget = line_cycles() * VISIBLE_LINES;
    } else {
        end_visible_part();
        M().phase = PHASE_START;
        M().phase_budget = 0;
    }
}

// Runs what is left of the current phase; false when a breakpoint stopped it.
bool run_phase()
{
    if (M().phase_budget > 0) {
        const int left = z80_run(M().phase_budget);
        if (M().cpu.break_hit) {
            M().phase_budget = left;
            M().stopped_at_breakpoint = true;
            return false;
        }
    }
    return true;
}

}  // namespace

void machine_init(int model, const char* folder)
{
    M().reset_button_pressed = 0;
    M().nmi_allowed = 0;
    M().model = model;
    keyboard_init();
    input_init_joystick();
    memory_set_active_setup(model);
    memory_reset();
    z80_init(2500000);
    serial_set_clock_rate(2500000);
    serial_init();
    M().clock = 2500000;
    drive_reset();
    ptp_place_traps();
    iec_init(folder);
    printer_set_filename(printer_user_folder().c_str());   // the program's folder may not be writable
    z80_reset();
    sound_init();
    beeper_init();
    frame_restart();
}

void machine_reset()
{
    M().reset_button_pressed = 0;
    M().nmi_allowed = 0;
    tape_reset();
    z80_reset();
    sound_reset();
    color_reset();
    serial_init();
    drive_reset();
    input_remove_bas_trap();
    frame_restart();
}

void machine_hard_reset()
{
    memory_reset();
    machine_reset();
}

void machine_change_model(int model)
{
    diskimg_save_all();
    tape_finish_recording();
    machine_set_type(model);
    screen_set_model(model);
    keyboard_change_model(keyboard_layout_of_model(model));
    wd1793_close();
    memory_set_active_setup(model);
    if (model == MODEL_CPM) wd1793_init();
    memory_reset();
    ptp_place_traps();
    z80_reset();
    frame_restart();
}

void machine_set_clock(int hz)
{
    z80_init(static_cast<uint64_t>(hz));
    serial_set_clock_rate(hz);
    serial_init();
    M().clock = hz;
    frame_restart();
}

int machine_get_clock() { return M().clock; }
int machine_get_type() { return M().model; }
void machine_set_type(int model) { M().model = model; }

void machine_run()
{
    M().stopped_at_breakpoint = false;
    begin_frame_if_due();
    for (;;) {
        if (!run_phase()) return;
        const bool frame_ends = M().phase == PHASE_VISIBLE;
        finish_phase();
        if (frame_ends) return;
    }
}

void machine_step()
{
    M().stopped_at_breakpoint = false;
    begin_frame_if_due();
    const int32_t enabled = M().cpu.bp_enabled;
    M().cpu.bp_enabled = 0;
    M().phase_budget += z80_run(0);   // minus the instruction's T-states
    M().cpu.bp_enabled = enabled;
    if (M().phase_budget <= 0) finish_phase();
}

void machine_leave_breakpoint()
{
    M().stopped_at_breakpoint = false;
    M().cpu.bp_reached = M().cpu.pc == M().cpu.bp_address ? 1 : 0;
}

void machine_do_some_frames(int n)
{
    for (int i = 0; i < n; ++i) {
        machine_run();
        UpdateFrame();
        if (M().stopped_at_breakpoint) break;   // the monitor takes over
    }
}

int machine_at_breakpoint() { return M().stopped_at_breakpoint ? 1 : 0; }

void memory_trigger_im1(int level)
{
    M().cpu.int_request = level;
}

void machine_restored() {}
