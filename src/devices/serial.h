// The Primo's serial (IEC) bus: the devices' side of the handshakes, the
// printer as device 4 and the host-folder drive as device 8.
#pragma once
#include <array>
#include <cstdint>

#include "core/device.h"

// One device on the bus: its side of the handshake.
struct iec_device {
    uint32_t mode;
    uint32_t state;
    uint32_t command;
    uint32_t secondary;
    uint32_t previous_secondary;
    uint8_t number;
    int64_t deadline;
    uint8_t status;
    uint32_t eoi;
    uint32_t clock_output;
    uint32_t data_output;
    uint8_t shift;
    uint32_t bits;
    uint32_t data_channel_open;
};

constexpr int IEC_MAX_NAME = 260;

// The bus's record in the machine: every device's handshake, the lines,
// and the name being received for an OPEN.
struct serial_t {
    std::array<iec_device, 16> devices{};
    uint8_t atnin_line = 0x02;
    uint8_t old_atn_line = 0x02;
    uint8_t machine_lines = 0x30;
    std::array<uint8_t, IEC_MAX_NAME + 1> name_buf{};
    uint32_t name_len = 0;
};
void serial_device_reset(reset_kind kind);
void serial_device_state(state_io& io);

// Lines as passed in and out: 0x20 CLK, 0x10 DATA, 0x02 ATN; a set bit is
// a released (high) line.
void serial_set_clock_rate(int hz);
void serial_init();
void serial_bus_write(uint8_t lines, int64_t now);
uint8_t serial_bus_read(int64_t now);
