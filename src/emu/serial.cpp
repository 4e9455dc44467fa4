// Serial bus; filled in by the disk work. Until then the lines float high.
#include "serial.h"

void serial_set_clock_rate(int) {}
void serial_init() {}
void serial_bus_write(uint8_t, int64_t) {}
uint8_t serial_bus_read(int64_t) { return 0xFF; }
