// Printer port and serial-bus printer, writing the printer file.
#pragma once
#include <cstdint>
#include <string>

// The printer file becomes FOLDER/printer.txt.
void printer_set_filename(const char* folder);
// The printer file by its whole path (the --printer switch); null or empty
// for our own default. Only the default's folder is ever created.
void printer_set_path(const char* path);
std::string printer_get_path();
// Opens the printer file now and keeps it open until printer_close (a
// headless run: a file that cannot be written fails at its start). Returns
// 1, or 0 with the reason in why.
int printer_open(std::string* why);
// Closes the printer file. Returns 0, with the reason in why, when a write
// failed since the file was named or last closed this way.
int printer_close(std::string* why);
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
