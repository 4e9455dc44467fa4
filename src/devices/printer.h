// Printer port and serial-bus printer, writing the printer file.
#pragma once
#include <cstdint>
#include <string>

// The printer file becomes FOLDER/printer.txt.
void printer_set_filename(const char* folder);
// The printer file by its whole path (the --printer switch).
void printer_set_path(const char* path);
const char* printer_get_path();
// $XDG_DATA_HOME/brevan, else ~/.local/share/brevan: where the printer
// file lives unless one is named.
std::string printer_user_folder();

// Port route: every byte written to port group 0x40.
void print_byte(uint8_t value);
// Serial route (device 4): a DATA secondary address starts a job, a byte
// flagged as last ends it and gives 0x40.
void printer_init();
uint8_t printer_send_byte(uint8_t value, int eoi);
int printer_job_open();
