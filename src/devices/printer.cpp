// Printer output goes to one text file. The port route translates the
// Primo's national characters to CP1250; the bus route turns the bitmap
// escape into readable marker lines.
#include "devices/printer.h"

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
    std::string path;
    file_ptr out;
    bool port_started = false;   // the port route has written its first line feed
} printer_host;

std::string& printout_path = printer_host.path;
file_ptr& out = printer_host.out;
bool& port_started = printer_host.port_started;
printer_t& job() { return the_machine.printer; }

struct translation { uint8_t primo, cp1250; };
constexpr translation national[] = {
    {0x40, 0xC9}, {0x5B, 0xF3}, {0x5C, 0xD6}, {0x5D, 0xC1}, {0x5E, 0xDC}, {0x5F, 0xFA},
    {0x60, 0xE9}, {0x7B, 0xF5}, {0x7C, 0xF6}, {0x7D, 0xE1}, {0x7E, 0xFC}, {0x7F, 0xFB},
};

const std::string& current_path()
{
    if (printout_path.empty()) printout_path = printer_user_folder() + "/printer.txt";
    return printout_path;
}

bool open_output()
{
    if (out) return true;
    const std::filesystem::path path(current_path());
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    out.reset(std::fopen(path.c_str(), "ab"));
    if (!out) host_notify(host_note::printer_unopenable, path.c_str());
    return out != nullptr;
}

void announce()
{
    host_notify(host_note::printing_to, current_path().c_str());
}

void put(uint8_t c)
{
    if (out) std::fputc(c, out.get());
}

void put_text(const char* text)
{
    if (out) std::fputs(text, out.get());
}

void put_argument(int number, uint8_t value)
{
    if (out) std::fprintf(out.get(), "[SYS] %02Xh - Bitmap mode argument #%d\n", value, number);
}

void close_output()
{
    out.reset();
    port_started = false;
    job().job_open = false;
}

void printer_text_byte(uint8_t value)
{
    switch (value) {
    case 0x0D: put('\n'); break;
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
    printout_path = path ? path : "";
}

const char* printer_get_path() { return current_path().c_str(); }

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
            put(t.cp1250);
            return;
        }
    }
    if (value == 0x0C || value == 0x0D) {
        put('\n');
        std::fflush(out.get());
        return;
    }
    put(value);
}

void printer_init()
{
    if (!open_output()) return;
    job().job_open = true;
    job().job_announced = false;
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
    if (port_started) std::fflush(out.get());
    else out.reset();
    return 0x40;
}

void printer_device_state(state_io& io)
{
    printer_t& p = job();
    io(p.job_open);
    io(p.job_announced);
    io(p.escape);
    io(p.command);
}
