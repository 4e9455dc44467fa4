// The machine record, its device table, initialisation and resets, and
// the frame driver.
#include "core/machine.h"

#include <algorithm>
#include <string>

#include "core/device.h"
#include "core/hooks.h"
#include "core/romcall.h"
#include "devices/screen.h"
#include "media/diskimg.h"

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

// ---- the machine's own parts as devices

void frame_device_reset(reset_kind kind)
{
    if (kind != reset_kind::clock_change) {
        M().reset_button_pressed = 0;
        M().nmi_allowed = 0;
    }
    frame_restart();
}

void frame_device_state(state_io& io)
{
    io(M().vblank);
    io(M().nmi_allowed);
    io(M().reset_button_pressed);
    io(M().phase);
    io(M().phase_budget);
    io(M().stopped_at_breakpoint);
    io(M().rom_gap.address);
    io(M().rom_gap.caller);
    if (io.loading() && (M().phase < PHASE_START || M().phase > PHASE_VISIBLE)) frame_restart();
}

void cpu_device_reset(reset_kind kind)
{
    if (kind == reset_kind::power_on || kind == reset_kind::clock_change)
        z80_init(static_cast<uint64_t>(M().clock));
    else
        z80_reset();
}

// What the snapshot's register part leaves out.
void cpu_device_state(state_io& io)
{
    z80_state_t& c = M().cpu;
    io(c.iff1);
    io(c.iff2);
    io(c.im);
    io(c.int_request);
    io(c.nmi_request);
    io(c.nmi_in_service);
    io(c.tcount);
    io(c.bp_address);
    io(c.bp_enabled);
    io(c.bp_reached);
    io(c.r);
    io(c.i);
    if (io.loading() && c.im > 2) c.im = 1;
}

void memory_device_reset(reset_kind kind)
{
    if (kind == reset_kind::power_on || kind == reset_kind::model_change) memory_set_active_setup(M().model);
    if (kind == reset_kind::power_on || kind == reset_kind::model_change || kind == reset_kind::cold) memory_reset();
}

// The bank selection and the RAM bank; the main RAM is the snapshot's body.
void memory_device_state(state_io& io)
{
    memory_t& m = M().mem;
    io(m.bank_nr);
    io(m.page);
    io.trimmed(m.ext_ram.data(), m.ext_ram.size());
    if (io.loading()) {
        m.bank_nr &= 3;
        m.page = std::min<uint32_t>(m.page, 0x10000 - 0x1800);
    }
}

}  // namespace

// In the order of initialisation. Chunk tags name the records in snapshots.
const device_t machine_devices[] = {
    {"KEYB", keyboard_device_reset, keyboard_device_state, nullptr},
    {"JOYS", joystick_device_reset, joystick_device_state, nullptr},
    {"MEMO", memory_device_reset, memory_device_state, nullptr},
    {"Z80 ", cpu_device_reset, cpu_device_state, nullptr},
    {"EVNT", nullptr, event_device_state, nullptr},
    {"IEC ", serial_device_reset, serial_device_state, nullptr},
    {"DRV8", drive_device_reset, drive_device_state, drive_device_restored},
    {"TAPE", tape_device_reset, tape_device_state, tape_device_restored},
    {"PTP ", ptp_device_reset, ptp_device_state, nullptr},
    {"PRNT", nullptr, printer_device_state, nullptr},
    {"SND ", sound_device_reset, sound_device_state, nullptr},
    {"BEEP", beeper_device_reset, beeper_device_state, nullptr},
    {"COLR", color_device_reset, color_device_state, nullptr},
    {"TYPS", typing_device_reset, typing_device_state, typing_device_restored},
    {"FDC ", wd1793_device_reset, wd1793_device_state, wd1793_device_restored},
    {"MACH", frame_device_reset, frame_device_state, nullptr},
};
const size_t machine_device_count = std::size(machine_devices);

void machine_init(int model, const char* folder)
{
    the_machine = machine{};
    M().model = model;
    devices_reset(reset_kind::power_on);
    romcall_init();
    iec_init(folder);
    printer_set_filename(printer_user_folder().c_str());   // the program's folder may not be writable
    machine_restored();   // media the host still holds meet the fresh machine
}

void machine_reset() { devices_reset(reset_kind::warm); }

void machine_hard_reset() { devices_reset(reset_kind::cold); }

void machine_change_model(int model)
{
    if (std::string why; !diskimg_save_all(&why)) host_notify(host_note::disk_not_saved, why.c_str());
    machine_set_type(model);
    screen_set_model(model);
    devices_reset(reset_kind::model_change);
}

void machine_set_clock(int hz)
{
    M().clock = hz;
    devices_reset(reset_kind::clock_change);
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

void machine_restored()
{
    for (const device_t& d : machine_devices)
        if (d.restored) d.restored();
}
