// Printer output goes to one text file. The port route translates the
// Primo's national characters to CP1250; the bus route turns the bitmap
// escape into readable marker lines.
#include "devices/printer.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/hooks.h"
#include "core/machine.h"
#include "media/fileio.h"

namespace {

constexpr uint8_t ESC = 0x1B;
constexpr uint8_t BITMAP = 0x4B;   // ESC K: bitmap graphics, two arguments

enum escape_state : uint8_t { TEXT, AFTER_ESC, ARGUMENT_1, ARGUMENT_2 };

// The host's side: the file, written by both routes through one handle so
// that their bytes stay in order.
struct printer_host_t {
    std::string path;            // empty: our own default
    file_ptr out;
    bool held = false;           // opened for the whole run (printer_open)
    bool port_started = false;   // the port route has written its first line feed
    int write_error = 0;         // errno of the first failed write, 0 for none
} printer_host;

std::string& printout_path = printer_host.path;
file_ptr& out = printer_host.out;
bool& held = printer_host.held;
bool& port_started = printer_host.port_started;
int& write_error = printer_host.write_error;
printer_t& job() { return the_machine.printer; }

// The path and the reason, for the notes the shell words.
std::string failure(const std::string& path, int error) { return path + ": " + file_error_text(error); }

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
    if (!out) host_notify(host_note::printer_unopenable, failure(path, errno).c_str());
    return out != nullptr;
}

void check_written(bool ok)
{
    if (ok || write_error) return;
    write_error = errno ? errno : EIO;
    host_notify(host_note::printer_unwritable, failure(current_path(), write_error).c_str());
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
    host_notify(host_note::printing_to, current_path().c_str());
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
    job().job_open = false;
    job().port_after_cr = job().bus_after_cr = false;
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
    if (line_end(value, job().bus_after_cr)) return;
    switch (value) {
    case 0x0C: put('\n'); put('\n'); break;
    case ESC:
        job().escape = AFTER_ESC;
        job().command = ESC;
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

bool printer_open(std::string* why)
{
    if (!open_output()) return refuse(why, file_error_text(errno));
    held = true;
    return true;
}

bool printer_close(std::string* why)
{
    close_output();
    const int error = write_error;
    write_error = 0;
    return error ? refuse(why, file_error_text(error)) : true;
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
            job().port_after_cr = false;
            put(t.cp1250);
            return;
        }
    }
    if (line_end(value, job().port_after_cr) || value == 0x0C) {
        if (value == 0x0C) put('\n');
        flush_output();
        return;
    }
    put(value);
}

void printer_init()
{
    if (!open_output()) return;
    job().job_open = true;
    job().job_announced = false;
    job().bus_after_cr = false;
    job().escape = TEXT;
    job().command = 0;
    put('\n');
}

int printer_job_open() { return job().job_open ? 1 : 0; }

uint8_t printer_send_byte(uint8_t value, int eoi)
{
    printer_t& p = job();
    if (!p.job_open) return 0;
    if (!p.job_announced) {
        announce();
        p.job_announced = true;
    }
    switch (p.escape) {
    case TEXT: printer_text_byte(value); break;
    case AFTER_ESC:
        if (value == BITMAP) {
            p.command = BITMAP;
            put_text("[SYS] 4Bh - Bitmap mode ON.\n");
            p.escape = ARGUMENT_1;
        }
        break;
    case ARGUMENT_1:
        if (p.command == BITMAP) {
            put_argument(1, value);
            p.escape = ARGUMENT_2;
        }
        break;
    case ARGUMENT_2:
        if (p.command == BITMAP) {
            put_argument(2, value);
            p.escape = TEXT;
        }
        break;
    }
    if (!eoi) return 0;
    p.job_open = false;
    if (port_started || held) flush_output();
    else close_file();
    return 0x40;
}

void printer_device_state(state_io& io)
{
    printer_t& p = job();
    io(p.job_open);
    io(p.job_announced);
    io(p.escape);
    io(p.command);
    io(p.port_after_cr);
    io(p.bus_after_cr);
}
