// Printer; filled in by the printer work.
#include "printer.h"

void printer_set_filename(const char*) {}
void print_byte(uint8_t) {}
