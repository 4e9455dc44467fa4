// Machine-wide state, initialisation and resets, and the frame driver.
#include "core/machine.h"

#include "core/hooks.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "devices/beeper.h"
#include "devices/color.h"
#include "devices/diskfs.h"
#include "devices/input.h"
#include "devices/printer.h"
#include "devices/screen.h"
#include "devices/serial.h"
#include "devices/tape.h"
#include "devices/typing.h"
#include "devices/wd1793.h"
#include "media/diskimg.h"
#include "media/ptp.h"
#include "sound/sound.h"

int machine_model = MODEL_A64;
int machine_clock = 2500000;
int vblank = 0;
int nmi_allowed = 0;
int reset_button_pressed = 0;
uint8_t* screenptr = nullptr;

namespace {

constexpr int LINES_PER_SECOND = 15625;
constexpr int BLANK_LINES = 24;
constexpr int VISIBLE_LINES = 288;

// Where the frame stands. A breakpoint stops the processor inside a phase;
// the next machine_run carries on with what that phase had left.
enum frame_phase { PHASE_START, PHASE_BLANKING, PHASE_VISIBLE };
frame_phase phase = PHASE_START;
int phase_budget = 0;
bool stopped_at_breakpoint = false;

int line_cycles() { return static_cast<int>(z80_state.clock / LINES_PER_SECOND); }

// Resets, clock and model changes begin a clean frame: nothing is left of
// one a breakpoint interrupted.
void frame_restart()
{
    phase = PHASE_START;
    phase_budget = 0;
    stopped_at_breakpoint = false;
}

void end_blanking()
{
    z80_state.nmi_request = 0;
    z80_state.nmi_in_service = 0;
    vblank = 0;
}

void end_visible_part()
{
    vblank = 1;
    if (nmi_allowed) z80_state.nmi_request = 1;
    if (machine_model == MODEL_CPM) led_update(wd1793_is_active());
}

void begin_frame_if_due()
{
    if (phase != PHASE_START) return;
    phase = PHASE_BLANKING;
    phase_budget = line_cycles() * BLANK_LINES;
}

// The current phase has run its budget: what happens at its end.
void finish_phase()
{
    if (phase == PHASE_BLANKING) {
        end_blanking();
        phase = PHASE_VISIBLE;
        phase_budget = line_cycles() * VISIBLE_LINES;
    } else {
        end_visible_part();
        phase = PHASE_START;
        phase_budget = 0;
    }
}

// Runs what is left of the current phase; false when a breakpoint stopped it.
bool run_phase()
{
    if (phase_budget > 0) {
        const int left = z80_run(phase_budget);
        if (z80_break_hit) {
            phase_budget = left;
            stopped_at_breakpoint = true;
            return false;
        }
    }
    return true;
}

}  // namespace

void machine_init(void* window, int model, const char* folder)
{
    reset_button_pressed = 0;
    nmi_allowed = 0;
    machine_model = model;
    keyboard_init();
    input_init_joystick(window);
    memory_set_active_setup(model);
    memory_get_video_ram(&screenptr);
    memory_reset();
    z80_init(2500000);
    serial_set_clock_rate(2500000);
    serial_init();
    machine_clock = 2500000;
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
    reset_button_pressed = 0;
    nmi_allowed = 0;
    tape_reset();
    z80_reset();
    sound_reset();
    color_reset();
    serial_init();
    drive_reset();
    typing_stop();   // a reset ends a paste or a typed autostart
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
    typing_stop();
    machine_set_type(model);
    screen_set_model(model);
    keyboard_change_model(keyboard_layout_of_model(model));
    memory_set_active_setup(model);
    memory_get_video_ram(&screenptr);
    memory_reset();
    ptp_place_traps();
    z80_reset();
    frame_restart();
}

void machine_set_clock(int hz)
{
    z80_init(hz);
    serial_set_clock_rate(hz);
    serial_init();
    machine_clock = hz;
    frame_restart();
}

int machine_get_clock() { return machine_clock; }
int machine_get_type() { return machine_model; }
void machine_set_type(int model) { machine_model = model; }

void machine_run()
{
    stopped_at_breakpoint = false;
    begin_frame_if_due();
    for (;;) {
        if (!run_phase()) return;
        const bool frame_ends = phase == PHASE_VISIBLE;
        finish_phase();
        if (frame_ends) return;
    }
}

void machine_step()
{
    stopped_at_breakpoint = false;
    begin_frame_if_due();
    const int32_t enabled = z80_state.bp_enabled;
    z80_state.bp_enabled = 0;
    phase_budget += z80_run(0);   // minus the instruction's T-states
    z80_state.bp_enabled = enabled;
    if (phase_budget <= 0) finish_phase();
}

void machine_leave_breakpoint()
{
    stopped_at_breakpoint = false;
    z80_state.bp_reached = z80_state.pc == z80_state.bp_address ? 1 : 0;
}

void machine_do_some_frames(int n)
{
    for (int i = 0; i < n; ++i) {
        machine_run();
        UpdateFrame();
        if (stopped_at_breakpoint) break;   // the monitor takes over
    }
}

int machine_at_breakpoint() { return stopped_at_breakpoint ? 1 : 0; }

void memory_trigger_im1(int level)
{
    z80_state.int_request = level;
}
