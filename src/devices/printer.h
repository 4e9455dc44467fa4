// Printer port and serial-bus printer, writing the printer file.
#pragma once
#include <cstdint>
#include <string>

#include "core/device.h"

// The bus printer's record in the machine: the job and the escape sequence
// it is in. The printer file is the host's.
struct printer_t {
    bool job_open = false;        // a bus job runs (from its DATA address to its last byte)
    bool job_announced = false;
    uint8_t escape = 0;           // 0 text, 1 after ESC, 2 and 3 the bitmap arguments
    uint8_t command = 0;
    // The last byte of each route was a CR: an LF right after it ends no
    // second line, so CR LF lines are not double-spaced.
    bool port_after_cr = false;
    bool bus_after_cr = false;
};
void printer_device_state(state_io& io);

// The printer file becomes FOLDER/printer.txt.
void printer_set_filename(const char* folder);
// The printer file by its whole path (the --printer switch); null or empty
// for our own default. Only the default's folder is ever created.
void printer_set_path(const char* path);
std::string printer_get_path();
// Opens the printer file now and keeps it open until printer_close (a
// headless run: a file that cannot be written fails at its start). False
// with the reason in why.
bool printer_open(std::string* why);
// Closes the printer file. False, with the reason in why, when a write
// failed since the file was named or last closed this way.
bool printer_close(std::string* why);
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
