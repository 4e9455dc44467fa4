// Printer output goes to one text file. The port route translates the
// Primo's national characters to CP1250; the bus route turns the bitmap
// escape into readable marker lines.
#include "devices/printer.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/hooks.h"
#include "media/fileio.h"

namespace {

constexpr uint8_t ESC = 0x1B;
constexpr uint8_t BITMAP = 0x4B;   // ESC K: bitmap graphics, two arguments

enum escape_state { TEXT, AFTER_ESC, ARGUMENT_1, ARGUMENT_2 };

struct epson_state {
    escape_state state = TEXT;
    uint8_t command = 0;
};

std::string printout_path;   // empty: our own default
// Both routes write through one handle, so that their bytes stay in order.
file_ptr out;
bool held = false;           // opened for the whole run (printer_open)
bool port_started = false;   // the port route has written its first line feed
bool job_open = false;       // a bus job runs (from its DATA address to its last byte)
bool job_announced = false;
int write_error = 0;         // errno of the first failed write, 0 for none
epson_state epson;
// The last byte of each route was a CR: an LF right after it ends no
// second line, so CR LF lines are not double-spaced.
bool port_after_cr = false;
bool bus_after_cr = false;

struct translation { uint8_t primo, cp1250; };
constexpr translation national[] = {
    {0x40, 0xC9}, {0x5B, 0xF3}, {0x5C, 0xD6}, {0x5D, 0xC1}, {0x5E, 0xDC}, {0x5F, 0xFA},
    {0x60, 0xE9}, {0x7B, 0xF5}, {0x7C, 0xF6}, {0x7D, 0xE1}, {0x7E, 0xFC}, {0x7F, 0xFB},
};

std::string default_path() { return printer_user_folder() + "/printer.txt"; }

std::string current_path() { return printout_path.empty() ? default_path() : printout_path; }

// Only our own folder is made: a mistyped --printer makes no folders.
bool open_output()
{
    if (out) return true;
    const std::string path = current_path();
    std::error_code ec;
    if (path == default_path()) std::filesystem::create_directories(printer_user_folder(), ec);
    out.reset(std::fopen(path.c_str(), "ab"));
    if (!out) StatusBarText("A nyomtató állománya nem nyitható meg: %s: %s", path.c_str(), file_error_text(errno).c_str());
    return out != nullptr;
}

void check_written(bool ok)
{
    if (ok || write_error) return;
    write_error = errno ? errno : EIO;
    StatusBarText("A nyomtató állománya nem írható: %s: %s", current_path().c_str(),
                  file_error_text(write_error).c_str());
}

void flush_output()
{
    if (out) check_written(std::fflush(out.get()) == 0);
}

void close_file()
{
    if (out) check_written(std::fclose(out.release()) == 0);
}

void announce()
{
    StatusBarText("Nyomtatás ide: %s", current_path().c_str());
}

void put(uint8_t c)
{
    if (out) check_written(std::fputc(c, out.get()) != EOF);
}

void put_text(const char* text)
{
    if (out) check_written(std::fputs(text, out.get()) >= 0);
}

void put_argument(int number, uint8_t value)
{
    if (out) check_written(std::fprintf(out.get(), "[SYS] %02Xh - Bitmap mode argument #%d\n", value, number) >= 0);
}

void close_output()
{
    close_file();
    held = false;
    port_started = false;
    job_open = false;
    port_after_cr = bus_after_cr = false;
}

// CR, LF and CR LF each end one line: true when the byte was one of them.
bool line_end(uint8_t value, bool& after_cr)
{
    const bool was_after_cr = after_cr;
    after_cr = value == 0x0D;
    if (value == 0x0D || (value == 0x0A && !was_after_cr)) put('\n');
    return value == 0x0D || value == 0x0A;
}

void printer_text_byte(uint8_t value)
{
    if (line_end(value, bus_after_cr)) return;
    switch (value) {
    case 0x0C: put('\n'); put('\n'); break;
    case ESC:
        epson.state = AFTER_ESC;
        epson.command = ESC;
        put_text("[SYS] 1Bh - Command coming.\n");
        put(ESC);
        break;
    default: put(value); break;
    }
}

}  // namespace

std::string printer_user_folder()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return std::string(data) + "/brevan";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/share/brevan";
}

void printer_set_filename(const char* folder)
{
    std::string path = folder && *folder ? folder : ".";
    if (path.back() != '/') path += '/';
    printer_set_path((path + "printer.txt").c_str());
}

void printer_set_path(const char* path)
{
    close_output();
    write_error = 0;
    printout_path = path ? path : "";
}

std::string printer_get_path() { return current_path(); }

int printer_open(std::string* why)
{
    if (!open_output()) {
        if (why) *why = file_error_text(errno);
        return 0;
    }
    held = true;
    return 1;
}

int printer_close(std::string* why)
{
    close_output();
    const int error = write_error;
    write_error = 0;
    if (error && why) *why = file_error_text(error);
    return error ? 0 : 1;
}

void print_byte(uint8_t value)
{
    if (!port_started) {
        if (!open_output()) return;
        port_started = true;
        announce();
        put('\n');
    }
    for (const translation& t : national) {
        if (t.primo == value) {
            port_after_cr = false;
            put(t.cp1250);
            return;
        }
    }
    if (line_end(value, port_after_cr) || value == 0x0C) {
        if (value == 0x0C) put('\n');
        flush_output();
        return;
    }
    put(value);
}

void printer_init()
{
    if (!open_output()) return;
    job_open = true;
    job_announced = false;
    bus_after_cr = false;
    epson = epson_state{};
    put('\n');
}

int printer_job_open() { return job_open ? 1 : 0; }

uint8_t printer_send_byte(uint8_t value, int eoi)
{
    if (!job_open) return 0;
    if (!job_announced) {
        announce();
        job_announced = true;
    }
    switch (epson.state) {
    case TEXT: printer_text_byte(value); break;
    case AFTER_ESC:
        if (value == BITMAP) {
            epson.command = BITMAP;
            put_text("[SYS] 4Bh - Bitmap mode ON.\n");
            epson.state = ARGUMENT_1;
        }
        break;
    case ARGUMENT_1:
        if (epson.command == BITMAP) {
            put_argument(1, value);
            epson.state = ARGUMENT_2;
        }
        break;
    case ARGUMENT_2:
        if (epson.command == BITMAP) {
            put_argument(2, value);
            epson.state = TEXT;
        }
        break;
    }
    if (!eoi) return 0;
    job_open = false;
    if (port_started || held) flush_output();
    else close_file();
    return 0x40;
}
