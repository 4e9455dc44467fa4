// Printer port and serial-bus printer, writing the printer file.
#pragma once
#include <cstdint>

void printer_set_filename(const char* folder);
void print_byte(uint8_t value);
