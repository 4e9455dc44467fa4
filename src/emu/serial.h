// The Primo's serial (IEC) bus.
#pragma once
#include <cstdint>

void serial_set_clock_rate(int hz);
void serial_init();
void serial_bus_write(uint8_t lines, int64_t now);
uint8_t serial_bus_read(int64_t now);
