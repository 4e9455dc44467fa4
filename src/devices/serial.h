// The Primo's serial (IEC) bus: the devices' side of the handshakes, the
// printer as device 4 and the host-folder drive as device 8.
#pragma once
#include <cstdint>

// Lines as passed in and out: 0x20 CLK, 0x10 DATA, 0x02 ATN; a set bit is
// a released (high) line.
void serial_set_clock_rate(int hz);
void serial_init();
void serial_bus_write(uint8_t lines, int64_t now);
uint8_t serial_bus_read(int64_t now);
