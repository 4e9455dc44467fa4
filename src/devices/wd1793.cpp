// WD1793 floppy controller: registers, the command set the CP/M BIOS uses,
// head positions, the index pulse and busy times on the cycle counter.
// Data moves by polling; the interrupt request is kept but not wired.
#include "devices/wd1793.h"

#include <array>
#include <cstdlib>

#include "core/event.h"
#include "core/hooks.h"
#include "core/machine.h"
#include "core/machine.h"
#include "cpu/cpu.h"
#include "media/diskimg.h"

namespace {

enum : uint8_t {
    ST_NOT_READY = 0x80,
    ST_WRITE_PROTECT = 0x40,
    ST_HEAD_LOADED = 0x20,   // type I
    ST_WRITE_FAULT = 0x20,   // types II and III
    ST_SEEK_ERROR = 0x10,    // type I
    ST_NOT_FOUND = 0x10,     // types II and III
    ST_CRC_ERROR = 0x08,
    ST_TRACK0 = 0x04,        // type I
    ST_LOST_DATA = 0x04,
    ST_INDEX = 0x02,         // type I
    ST_DRQ = 0x02,
    ST_BUSY = 0x01,
};

enum : int {
    PHASE_DONE, PHASE_WAIT, PHASE_TRACK_GAP, PHASE_TRACK_ID, PHASE_TRACK_DATA,
    PHASE_READ_ADDRESS, PHASE_READ_SECTOR,
};

wd1793_t& fdc = the_machine.fdc;

constexpr int SECTOR = DISK_SECTOR_SIZE;
constexpr int LAST_TRACK = 82;
constexpr std::array<int, 4> wd1793_stepper_speed{6, 12, 20, 30};
constexpr std::array<int, 16> cmd_types{1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 3, 4, 3, 3};

int64_t clock_hz() { return static_cast<int64_t>(z80_state.clock); }
int64_t ms(int n) { return static_cast<int64_t>(static_cast<double>(clock_hz()) / 1000.0) * n; }
int64_t step_time() { return ms(wd1793_stepper_speed[static_cast<size_t>(fdc.step_rate & 3)]); }
int64_t sector_time() { return clock_hz() / 34740 * 772; }

int selected_drive()
{
    for (int d = 0; d < DISK_DRIVES; ++d)
        if (fdc.drive_select & (1 << d)) return d;
    return -1;
}

bool is_read_command(uint8_t c) { return (c >= 0x80 && c < 0xA0) || (c & 0xF0) == 0xC0; }
bool is_write_sector(uint8_t c) { return c >= 0xA0 && c < 0xC0; }
bool is_write_track(uint8_t c) { return c >= 0xF0; }

// At every register access: the busy time and the transfer phases advance.
void bring_up_to_date()
{
    const bool time_up = z80_state.tcount >= fdc.next;
    bool moved_on = false;
    if (time_up && fdc.phase == PHASE_WAIT) {
        fdc.phase = fdc.next_phase;
    } else if (fdc.phase >= PHASE_TRACK_GAP && fdc.phase <= PHASE_READ_SECTOR &&
               (time_up || !(fdc.status & ST_DRQ))) {
        fdc.phase = fdc.next_phase;
        moved_on = true;   // completes at a later access
    }
    if (!moved_on && fdc.phase == PHASE_DONE && (fdc.status & ST_BUSY)) {
        fdc.status &= ~ST_BUSY;
        fdc.interrupt_request = 1;
    }
}

void end_not_found()
{
    fdc.status = static_cast<uint8_t>((fdc.status | ST_NOT_FOUND) & ~(ST_BUSY | ST_DRQ));
    fdc.interrupt_request = 1;
    fdc.phase = PHASE_DONE;
}

void end_write_protected()
{
    fdc.status = static_cast<uint8_t>((fdc.status | ST_WRITE_PROTECT) & ~(ST_BUSY | ST_DRQ));
    fdc.interrupt_request = 1;
    fdc.phase = PHASE_DONE;
}

void start_type_one(uint8_t value, int drive)
{
    fdc.command_type = 1;
    fdc.phase = PHASE_WAIT;
    fdc.next_phase = PHASE_DONE;
    // A new positioning command starts without the last one's seek error.
    fdc.status &= ST_NOT_READY | ST_WRITE_PROTECT | ST_CRC_ERROR | ST_BUSY;
    fdc.step_rate = value & 3;
    fdc.head_load = (value >> 3) & 1;
    int& head = fdc.drive_tracks[static_cast<size_t>(drive)];
    const int step = static_cast<int>(value >> 4);

    if (step == 0x0) {   // restore
        if (head != 0) {
            fdc.step_direction = 0;
            fdc.next += head * step_time();
            head = 0;
        }
        fdc.data_register = 0;
        fdc.track = 0;
        return;
    }
    if (step == 0x1) {   // seek to the data register
        const int target = fdc.data_register;
        const int distance = std::abs(target - head);
        if (distance == 0)
            fdc.next = z80_state.tcount + step_time();
        else
            fdc.next += distance * step_time();
        if (target != head) fdc.step_direction = target > head ? 1 : 0;
        if (target <= LAST_TRACK) {
            head = target;
            fdc.track = target;
        } else {
            fdc.status |= ST_SEEK_ERROR;
        }
        return;
    }
    if (step >= 0x4) fdc.step_direction = step < 0x6 ? 1 : 0;   // step in, step out
    if (fdc.step_direction ? head >= LAST_TRACK : head == 0)
        fdc.status |= ST_SEEK_ERROR;
    else
        head += fdc.step_direction ? 1 : -1;
    fdc.next += step_time();
    if (value & 0x10) fdc.track = head;
}

void start_type_two_three(uint8_t value, int drive)
{
    fdc.side_compare_value = (value >> 3) & 1;
    fdc.side_compare_enable = (value >> 1) & 1;
    // The status now speaks of this command only.
    fdc.status &= ST_NOT_READY | ST_BUSY;
    disk_image& image = diskimg_drive(drive);
    const int head = fdc.drive_tracks[static_cast<size_t>(drive)];
    const bool side_ok = !fdc.side_compare_enable || fdc.current_side == fdc.side_compare_value;

    switch (value & 0xF0) {
    case 0x80: case 0x90:   // read sector
        if (!side_ok || !disk_img_read_sector(image, fdc.current_side, head, fdc.sector, fdc.sector_buffer.data())) {
            end_not_found();
            return;
        }
        fdc.buffer_offset = 0;
        fdc.phase = PHASE_READ_SECTOR;
        fdc.next_phase = PHASE_DONE;
        fdc.next += sector_time();
        fdc.status |= ST_DRQ;
        return;
    case 0xA0: case 0xB0:   // write sector
        if (!side_ok || !disk_img_has_sector(image, fdc.current_side, head, fdc.sector)) {
            end_not_found();
            return;
        }
        if (image.read_only) {
            end_write_protected();
            return;
        }
        fdc.phase = PHASE_WAIT;
        fdc.next_phase = PHASE_DONE;
        fdc.buffer_offset = 0;
        fdc.next += sector_time();
        fdc.status |= ST_DRQ;
        return;
    case 0xC0: {   // read address
        if (!diskimg_inserted(image)) {
            end_not_found();
            return;
        }
        const uint8_t id[6] = {static_cast<uint8_t>(head), static_cast<uint8_t>(fdc.current_side),
                               static_cast<uint8_t>(fdc.sector), 2, 0xFF, 0xFF};
        for (int i = 0; i < 6; ++i) fdc.sector_buffer[static_cast<size_t>(SECTOR - 6 + i)] = id[i];
        fdc.buffer_offset = SECTOR - 6;
        fdc.sector = head;
        fdc.phase = PHASE_READ_ADDRESS;
        fdc.next_phase = PHASE_READ_ADDRESS;
        fdc.next += ms(100);
        fdc.status |= ST_DRQ;
        return;
    }
    case 0xE0:   // read track: only the busy time
        fdc.phase = PHASE_WAIT;
        fdc.next_phase = PHASE_DONE;
        return;
    default:   // write track
        if (!diskimg_inserted(image)) {
            fdc.status = static_cast<uint8_t>((fdc.status | ST_NOT_FOUND) & ~(ST_BUSY | ST_DRQ));
            return;
        }
        if (image.read_only) {
            end_write_protected();
            return;
        }
        fdc.status |= ST_DRQ;
        fdc.buffer_offset = 0;
        fdc.nr_sector_written = 0;
        fdc.phase = PHASE_TRACK_GAP;
        fdc.next_phase = PHASE_DONE;
        fdc.next += ms(200);
        return;
    }
}

void write_command(uint8_t value, int drive)
{
    fdc.command = value;
    const int type = cmd_types[value >> 4];
    if (type != 4) fdc.command_type = type;
    if (type == 4) {   // force interrupt
        fdc.phase = PHASE_DONE;
        if (value & 0x0F) fdc.interrupt_request = 1;
        fdc.command_type = 1;
        fdc.buffer_offset = SECTOR;
        return;
    }
    if (fdc.status & ST_BUSY) return;
    fdc.interrupt_request = 0;
    fdc.status |= ST_BUSY;
    fdc.next = z80_state.tcount + ms(value >= 0x80 ? 15 : 1);
    if (type == 1)
        start_type_one(value, drive);
    else
        start_type_two_three(value, drive);
}

uint8_t read_data()
{
    if (is_read_command(fdc.command)) {
        if (fdc.buffer_offset < SECTOR - 1) {
            fdc.data_register = fdc.sector_buffer[static_cast<size_t>(fdc.buffer_offset++)];
        } else if (fdc.buffer_offset == SECTOR - 1) {
            fdc.data_register = fdc.sector_buffer[static_cast<size_t>(fdc.buffer_offset++)];
            fdc.status &= ~(ST_BUSY | ST_DRQ);
            fdc.interrupt_request = 1;
            fdc.phase = PHASE_DONE;
        }
    } else if ((fdc.command & 0xF0) == 0xE0) {
        fdc.data_register = fdc.sector_buffer[static_cast<size_t>(fdc.buffer_offset & 1023)];
        fdc.buffer_offset = (fdc.buffer_offset + 1) & 1023;
    }
    return fdc.data_register;
}

void write_track_byte(uint8_t value, int drive)
{
    disk_image& image = diskimg_drive(drive);
    switch (value) {
    case 0xFB:   // a data field starts
    case 0xFE:   // an ID field starts
        fdc.phase = value == 0xFB ? PHASE_TRACK_DATA : PHASE_TRACK_ID;
        fdc.buffer_offset = 0;
        return;
    case 0xF7:   // the field ends (the chip writes its CRC)
        if (fdc.phase == PHASE_TRACK_ID) {
            fdc.track = fdc.sector_buffer[0];
            fdc.sector = fdc.sector_buffer[2];
        } else if (fdc.phase == PHASE_TRACK_DATA) {
            if (!disk_img_write_sector(image, fdc.current_side, fdc.track, fdc.sector, fdc.sector_buffer.data()))
                fdc.status |= ST_WRITE_FAULT;
            if (++fdc.nr_sector_written >= image.sectors) {
                fdc.status &= ~ST_DRQ;
                fdc.nr_sector_written = 0;
            }
        }
        fdc.phase = PHASE_TRACK_GAP;
        fdc.buffer_offset = 0;
        return;
    default:
        fdc.sector_buffer[static_cast<size_t>(fdc.buffer_offset & 1023)] = value;
        if (++fdc.buffer_offset >= SECTOR) fdc.buffer_offset = 0;
        return;
    }
}

void write_data(uint8_t value, int drive)
{
    fdc.data_register = value;
    if (!(fdc.status & ST_DRQ)) return;
    if (is_write_sector(fdc.command)) {
        if (fdc.buffer_offset >= SECTOR) return;
        fdc.sector_buffer[static_cast<size_t>(fdc.buffer_offset++)] = value;
        if (fdc.buffer_offset < SECTOR) return;
        const int head = fdc.drive_tracks[static_cast<size_t>(drive)];
        if (!disk_img_write_sector(diskimg_drive(drive), fdc.current_side, head, fdc.sector, fdc.sector_buffer.data()))
            fdc.status |= ST_WRITE_FAULT;
        fdc.status &= ~ST_DRQ;
    } else if (is_write_track(fdc.command)) {
        write_track_byte(value, drive);
    }
}

}  // namespace

void wd1793_init()
{
    fdc.drive_tracks.fill(0);
    event_remove_id(EVENT_WD1793);
    event_register(EVENT_WD1793, nullptr);   // a placeholder: the controller is polled
    event_schedule_id(EVENT_WD1793, -1);
}

void wd1793_close()
{
    event_remove_id(EVENT_WD1793);
}

void wd1793_reset()
{
    fdc.command = 0;
    fdc.status = 0;
    fdc.track = 0;
    fdc.sector = 1;
    fdc.drive_tracks.fill(0);
    fdc.phase = PHASE_DONE;
    fdc.nr_sector_written = 0;
}

int wd1793_read_status(int drive)
{
    const disk_image& image = diskimg_drive(drive);
    const bool ready = diskimg_inserted(image) != 0;
    if (ready)
        fdc.status &= ~ST_NOT_READY;
    else
        fdc.status |= ST_NOT_READY;
    if (fdc.command_type == 1 || (fdc.command & 0xF0) == 0xD0) {
        fdc.status &= ST_NOT_READY | ST_SEEK_ERROR | ST_CRC_ERROR | ST_BUSY;
        if (ready && image.read_only) fdc.status |= ST_WRITE_PROTECT;
        const int64_t revolution = clock_hz() / 5;          // 300 rpm
        const int64_t index_hole_in_cycles = clock_hz() / 250;   // 4 ms
        if (!ready || !fdc.motor || revolution <= 0 || z80_state.tcount % revolution < index_hole_in_cycles)
            fdc.status |= ST_INDEX;
        if (fdc.drive_tracks[static_cast<size_t>(drive)] == 0) fdc.status |= ST_TRACK0;
        if (ready && fdc.motor) fdc.status |= ST_HEAD_LOADED;
    } else {
        // Record not found, write fault and write protect stay for the program.
        fdc.status &= ~(ST_LOST_DATA | ST_CRC_ERROR);
    }
    fdc.interrupt_request = 0;
    return fdc.status;
}

int wd1793_read_reg(int reg)
{
    const int drive = selected_drive();
    if (drive < 0) return 0;
    bring_up_to_date();
    switch (reg & 3) {
    case 0: return wd1793_read_status(drive);
    case 1: return fdc.drive_tracks[static_cast<size_t>(drive)];
    case 2: return fdc.sector;
    default: return read_data();
    }
}

void wd1793_write_reg(int reg, uint8_t value)
{
    const int drive = selected_drive();
    if (drive < 0) return;
    bring_up_to_date();
    switch (reg & 3) {
    case 0: write_command(value, drive); break;
    case 1: fdc.track = value; break;
    case 2: fdc.sector = value; break;
    default: write_data(value, drive); break;
    }
}

int wd1793_is_active()
{
    return fdc.motor ? selected_drive() : -1;
}

void wd1793_write_select(uint8_t value)
{
    fdc.motor = value & FDC_SELECT_MOTOR;
    fdc.drive_select = 1 << (value & FDC_SELECT_DRIVE);
    fdc.current_side = (value & FDC_SELECT_SIDE) ? 1 : 0;
}

uint8_t wd1793_read_select()
{
    return fdc.motor ? FDC_SELECT_MOTOR : 0;
}

int wd1793_insert_disk(int drive, const char* path, std::string* why)
{
    if (drive < 0 || drive >= DISK_DRIVES || !path || !*path) {
        if (why) *why = "Unrecognized disk format";
        return 0;
    }
    if (diskimg_drive_holding(path, drive) >= 0) return -2;
    disk_image& image = diskimg_drive(drive);
    if (!diskimg_detach(image, 1, why)) return -1;
    if (!diskimg_attach(image, path, why)) return 0;
    wd1793_reset();
    return 1;
}

bool wd1793_eject_disk(int drive, std::string* why)
{
    if (drive < 0 || drive >= DISK_DRIVES) return false;
    return diskimg_detach(diskimg_drive(drive), 1, why);
}

void wd1793_device_reset(reset_kind kind)
{
    if (kind != reset_kind::power_on && kind != reset_kind::model_change) return;
    wd1793_close();
    if (the_machine.mem.type == MODEL_CPM) wd1793_init();
}

void wd1793_device_state(state_io& io)
{
    io(fdc.command);
    io(fdc.status);
    io(fdc.track);
    io(fdc.sector);
    io(fdc.step_rate);
    io(fdc.head_load);
    io(fdc.side_compare_enable);
    io(fdc.side_compare_value);
    io(fdc.step_direction);
    io(fdc.command_type);
    io(fdc.phase);
    io.array(fdc.drive_tracks);
    io(fdc.interrupt_request);
    io(fdc.current_side);
    io(fdc.next_phase);
    io(fdc.next);
    io(fdc.nr_sector_written);
    io(fdc.buffer_offset);
    io.trimmed(fdc.sector_buffer.data(), fdc.sector_buffer.size());
    io(fdc.drive_select);
    io(fdc.data_register);
    io(fdc.motor);
    if (io.loading()) fdc.buffer_offset &= 1023;
}

void wd1793_device_restored()
{
    if (the_machine.model == MODEL_CPM) led_update(wd1793_is_active());
}
