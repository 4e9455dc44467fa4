// Serial bus. Every device runs a small state machine that moves on when
// the Primo reads or writes the bus port, timed against the cycle counter.
// Bytes under ATN are bus commands; the others go to the printer (4) or
// the drive (8), and the drive's bytes are sent back.
#include "devices/serial.h"

#include <algorithm>
#include <array>

#include "core/machine.h"
#include "devices/diskfs.h"
#include "devices/printer.h"

namespace {

constexpr uint8_t CLK = 0x20;
constexpr uint8_t DATA = 0x10;
constexpr uint8_t ATN = 0x02;

enum : uint32_t { MODE_ATN = 1, MODE_TALKER = 2, MODE_LISTENER = 4 };

constexpr uint32_t UNLISTEN = 0x3F;
constexpr uint32_t UNTALK = 0x5F;
constexpr int PRINTER = 4;
constexpr int DRIVE = 8;
constexpr int MAX_NAME = IEC_MAX_NAME;

// Fixed times in T-states, the same at either clock rate.
constexpr int64_t ATN_SETTLE = 250;
constexpr int64_t EOI_WAIT = 500;
constexpr int64_t EOI_PULSE = 150;
constexpr int64_t TURNAROUND = 200;
constexpr int64_t BIT_TIME = 150;
constexpr int64_t ACK_WAIT = 2500;

serial_t& bus() { return the_machine.serial; }

uint8_t device_lines(const iec_device& d)
{
    return static_cast<uint8_t>(d.clock_output | d.data_output);
}

uint8_t bus_level()
{
    return device_lines(bus().devices[PRINTER]) & device_lines(bus().devices[DRIVE]) & bus().machine_lines;
}

bool clk_high() { return bus_level() & CLK; }
bool data_high() { return bus_level() & DATA; }

void release_lines(iec_device& d)
{
    d.clock_output = CLK;
    d.data_output = DATA;
}

void stop_talking(iec_device& d) { d.mode &= ~MODE_TALKER; }

void interpret_iec_byte(iec_device& d)
{
    const bool untalk = (d.command & 0x70) == 0x50;
    switch (d.command & 0x70) {
    case 0x20:
        d.state = 2;
        d.data_output = 0;
        d.clock_output = CLK;
        d.mode = (d.mode | MODE_LISTENER) & ~MODE_TALKER;
        break;
    case 0x40:
        d.state = 1;
        d.data_output = 0;
        d.clock_output = CLK;
        d.eoi = 0;
        // An end of data the listener acknowledged only by raising ATN
        // must not end the next talk after its first byte.
        d.status = 0;
        d.mode = (d.mode | MODE_TALKER) & ~MODE_LISTENER;
        break;
    case 0x30:
        if (d.mode & MODE_LISTENER) {
            if ((d.previous_secondary & 0xF0) == 0xF0 && d.number > 7) {
                bus().name_buf[bus().name_len] = 0;
                d.status = Open(static_cast<int>(d.previous_secondary & 0x0F), bus().name_buf.data(), bus().name_len);
            }
            d.mode &= ~MODE_LISTENER;
        }
        break;
    case 0x50:
        stop_talking(d);
        d.data_channel_open = 0;
        break;
    default: break;
    }
    const bool channel_busy = !untalk && d.data_channel_open;
    switch (d.secondary & 0xF0) {
    case 0xE0:
        if (d.number > 7) Close(static_cast<int>(d.secondary & 0x0F));
        d.data_channel_open = 0;
        break;
    case 0xF0:
        if (!channel_busy || !printer_job_open()) {
            if (d.number > 7) bus().name_len = 0;
            d.status = 0;
        }
        break;
    case 0x60:
        // A job that ended with its last byte starts again at the next DATA
        // address, even though the channel is still marked open.
        if (d.number == PRINTER && (!channel_busy || !printer_job_open())) printer_init();
        d.data_channel_open = 1;
        break;
    default: break;
    }
}

void complete_byte(iec_device& d)
{
    if (d.mode & MODE_ATN) {
        if (d.command == 0) d.command = d.shift;
        else if (d.secondary == 0) d.secondary = d.shift;
        if ((d.command & 0x10) || (d.command & 0x0F) == d.number) {
            d.data_output = 0;
            d.state = 3;
        } else {
            release_lines(d);
            d.state = 0;
        }
        return;
    }
    if (!(d.mode & MODE_LISTENER)) return;
    d.data_output = 0;
    d.state = 3;
    if (d.data_channel_open) {
        if (d.number == 4 || d.number == 5)
            d.status = printer_send_byte(d.shift, static_cast<int>(d.eoi));
        else if (d.number == 8 || d.number == 9)
            d.status = Write(static_cast<int>(d.secondary & 0x0F), d.shift, static_cast<int>(d.eoi));
    } else if (d.number > 7 && bus().name_len <= MAX_NAME - 1) {
        bus().name_buf[bus().name_len++] = d.shift;
    }
    d.eoi = 0;
}

void receive_step(iec_device& d, int64_t now)
{
    switch (d.state) {
    case 1:
        if (now >= d.deadline) d.state = 2;
        break;
    case 2:
        if (!clk_high()) d.state = 3;
        break;
    case 3:
        if (clk_high()) {
            d.data_output = DATA;
            d.deadline = now + EOI_WAIT;
            d.state = 4;
        }
        break;
    case 4:
        if (!clk_high()) {
            d.bits = 0;
            d.shift = 0;
            d.state = 7;
        } else if (now >= d.deadline && bus().atnin_line) {
            d.data_output = 0;
            d.eoi = 1;
            d.deadline = now + EOI_PULSE;
            d.state = 5;
        }
        break;
    case 5:
        if (now >= d.deadline) {
            d.data_output = DATA;
            d.state = 6;
        }
        break;
    case 6:
    case 8:
        if (!clk_high()) d.state = 7;
        break;
    case 7:
        if (clk_high()) {
            d.shift = static_cast<uint8_t>((data_high() ? 0x80 : 0) | (d.shift >> 1));
            if (++d.bits == 8) {
                d.bits = 0;
                d.state = 9;
            } else {
                d.state = 8;
            }
        }
        break;
    case 9:
        if (!clk_high()) complete_byte(d);
        break;
    default: break;
    }
}

void fetch_byte(iec_device& d, int64_t now)
{
    d.bits = 0;
    if (!d.data_channel_open || d.number <= 7) {
        d.status = 0x80;
        stop_talking(d);
        return;
    }
    const uint8_t result = Read(static_cast<int>(d.secondary & 0x0F), &d.shift);
    if (result == 0) {
        d.deadline = now;
        d.state = 7;
    } else if (result == 0x40) {
        d.eoi = 1;
        d.state = 5;
    } else {
        stop_talking(d);
    }
}

void send_step(iec_device& d, int64_t now)
{
    switch (d.state) {
    case 1:
        if (clk_high()) {
            d.clock_output = 0;
            d.data_output = DATA;
            d.deadline = now + TURNAROUND;
            d.state = 2;
        }
        break;
    case 2:
        if (now >= d.deadline) {
            d.clock_output = CLK;
            d.state = 3;
        }
        break;
    case 3:
        if (data_high()) fetch_byte(d, now);
        break;
    case 5:
        if (!data_high()) {
            d.eoi = 1;
            d.status = 0x40;
            d.state = 6;
        }
        break;
    case 6:
        if (data_high()) {
            d.deadline = now;
            d.state = 7;
        }
        break;
    case 7:
        if (now >= d.deadline) {
            d.clock_output = 0;
            d.data_output = (d.shift >> d.bits) & 1 ? DATA : 0;
            ++d.bits;
            d.deadline = now + BIT_TIME;
            d.state = 8;
        }
        break;
    case 8:
        if (now >= d.deadline) {
            d.clock_output = CLK;
            d.data_output = data_high() ? DATA : 0;
            d.deadline = now + BIT_TIME;
            d.state = d.bits < 8 ? 7 : 9;
        }
        break;
    case 9:
        if (now >= d.deadline) {
            d.clock_output = 0;
            d.data_output = DATA;
            d.deadline = now + ACK_WAIT;
            d.state = 10;
        }
        break;
    case 10:
        if (!data_high()) {
            if (d.status == 0x40) {
                d.eoi = 1;
                d.status = 0;
                stop_talking(d);
                release_lines(d);
            } else {
                d.deadline = now;
                d.state = 2;
            }
        } else if (now >= d.deadline) {
            release_lines(d);
            d.state = 3;
        }
        break;
    default: break;
    }
}

void advance(iec_device& d, int64_t now)
{
    if (bus().atnin_line == 0 && (bus().old_atn_line & ATN)) {
        d.mode |= MODE_ATN;
        d.data_output = 0;
        d.clock_output = CLK;
        d.previous_secondary = d.secondary;
        d.command = 0;
        d.secondary = 0;
        d.state = 1;
        d.deadline = now + ATN_SETTLE;
        return;
    }
    if (bus().atnin_line && (d.mode & MODE_ATN)) {
        d.mode &= ~MODE_ATN;
        d.eoi = 0;
        if (d.command == 0x20u + d.number || d.command == 0x40u + d.number) {
            interpret_iec_byte(d);
        } else if (d.command == UNLISTEN || d.command == UNTALK) {
            interpret_iec_byte(d);
            if (!(d.mode & (MODE_TALKER | MODE_LISTENER))) release_lines(d);
        }
        return;
    }
    if (d.mode & (MODE_ATN | MODE_LISTENER)) receive_step(d, now);
    else if (d.mode & MODE_TALKER) send_step(d, now);
}

void advance_devices(int64_t now)
{
    advance(bus().devices[PRINTER], now);
    advance(bus().devices[DRIVE], now);
}

}  // namespace

void serial_set_clock_rate(int) {}

void serial_init()
{
    for (size_t i = 0; i < bus().devices.size(); ++i) {
        iec_device& d = bus().devices[i];
        d = iec_device{};
        d.number = static_cast<uint8_t>(i);
        release_lines(d);
    }
    bus().name_len = 0;
    // A reset releases the Primo's own lines too, so that a transfer cut
    // by it leaves no ATN standing.
    bus().atnin_line = bus().old_atn_line = ATN;
    bus().machine_lines = CLK | DATA;
}

void serial_bus_write(uint8_t lines, int64_t now)
{
    bus().old_atn_line = bus().atnin_line;
    bus().atnin_line = lines & ATN;
    advance_devices(now);
    bus().machine_lines = lines & (CLK | DATA);
}

uint8_t serial_bus_read(int64_t now)
{
    advance_devices(now);
    return bus_level() | bus().atnin_line;
}

void serial_device_reset(reset_kind kind)
{
    if (kind == reset_kind::power_on || kind == reset_kind::clock_change) serial_set_clock_rate(the_machine.clock);
    serial_init();
}

void serial_device_state(state_io& io)
{
    serial_t& b = bus();
    for (int n : {PRINTER, DRIVE}) {   // the others never move
        iec_device& d = b.devices[static_cast<size_t>(n)];
        io(d.mode);
        io(d.state);
        io(d.command);
        io(d.secondary);
        io(d.previous_secondary);
        io(d.deadline);
        io(d.status);
        io(d.eoi);
        io(d.clock_output);
        io(d.data_output);
        io(d.shift);
        io(d.bits);
        io(d.data_channel_open);
        if (io.loading()) d.bits = std::min<uint32_t>(d.bits, 8);
    }
    io(b.atnin_line);
    io(b.old_atn_line);
    io(b.machine_lines);
    io(b.name_len);
    if (io.loading()) b.name_len = std::min<uint32_t>(b.name_len, MAX_NAME);
    for (uint32_t i = 0; i < b.name_len; ++i) io(b.name_buf[i]);
}
