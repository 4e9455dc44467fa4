// Host-folder drive. Each channel holds a host file (or a built directory
// listing) with one byte of look-ahead, so that the last byte can be
// flagged; channel 15 takes commands and delivers the error message.
//
// Names from the emulated machine never leave the drive folder: they may
// not hold "/", "\", ".." or NUL, and a symbolic link must resolve inside
// the folder (drive_folder keeps these rules for every kind of folder).
// Names match host files regardless of letter case.
#include "devices/diskfs.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/hooks.h"
#include "core/machine.h"
#include "devices/diskfs_names.h"
#include "devices/drive_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace diskfs_names;

constexpr int CHANNELS = 16;
constexpr int COMMAND_CHANNEL = 15;
constexpr size_t CMD_MAX = DRIVE_CMD_MAX;
constexpr size_t RAM_SIZE = DRIVE_RAM_SIZE;
constexpr size_t LISTED_NAME = 16;
constexpr size_t LINE_TEXT = 27;

enum error_row {
    E_OK, E_SCRATCHED, E_WRITE_ERROR, E_WRITE_PROTECT, E_SYNTAX, E_BAD_NAME,
    E_WRITE_FILE_OPEN, E_FILE_NOT_OPEN, E_NOT_FOUND, E_EXISTS, E_NO_BLOCK,
    E_ILLEGAL_TS, E_NO_CHANNEL, E_DISK_FULL, E_DOS, E_NOT_READY,
};

constexpr char Errors_1541[16][28] = {
    "00, OK", "01,FILES SCRATCHED", "25,WRITE ERROR", "26,WRITE PROTECT ON",
    "30,SYNTAX ERROR", "33,SYNTAX ERROR", "60,WRITE FILE OPEN", "61,FILE NOT OPEN",
    "62,FILE NOT FOUND", "63,FILE EXISTS", "65,NO BLOCK", "67,ILLEGAL TRACK OR SECTOR",
    "70,NO CHANNEL", "72,DISK FULL", "73,CBM DOS V2.6 1541", "74,DRIVE NOT READY",
};


struct channel_t {
    std::unique_ptr<drive_file> file;
    bool is_listing = false;
    std::vector<uint8_t> listing;
    size_t listing_pos = 0;

    bool open() const { return file || is_listing; }
    void close()
    {
        file.reset();
        is_listing = false;
        listing.clear();
        listing_pos = 0;
    }
    int next()
    {
        if (file) return file->get();
        if (is_listing && listing_pos < listing.size()) return listing[listing_pos++];
        return EOF;
    }
};

// The host's side of the drive: the channels' files with their look-ahead,
// and the folder (the host's, or one in memory). "G:." returns to the
// folder the host gave, "G:" stays below it.
struct drive_host_t {
    std::array<channel_t, CHANNELS> file;
    std::array<uint8_t, CHANNELS> read_char{};
    std::unique_ptr<drive_folder> folder = std::make_unique<host_folder>("");
    std::string make_on_use;     // the host's default folder, made at the first access
    std::array<char, LISTED_NAME> dir_title{};
} drive_host;

drive_t& D() { return the_machine.drive; }
auto& file = drive_host.file;
auto& read_char = drive_host.read_char;
auto& folder = drive_host.folder;
auto& dir_title = drive_host.dir_title;
std::string& make_on_use = drive_host.make_on_use;

enum : uint8_t { ERROR_NONE, ERROR_MESSAGE, ERROR_RAM };
const uint8_t* error_base()
{
    return D().error_source == ERROR_RAM ? D().ram.data() : reinterpret_cast<const uint8_t*>(D().current_error.data());
}

void set_error(error_row row, int track = 0)
{
    drive_t& d = D();
    std::snprintf(d.current_error.data(), d.current_error.size(), "%s,%02d,%02d\r", Errors_1541[row], track, 0);
    d.error_source = ERROR_MESSAGE;
    d.error_at = 0;
    d.error_end = static_cast<uint16_t>(std::strlen(d.current_error.data()));
}

void led(bool on)
{
    D().led = on ? 1 : 0;
    ui_set_led(on ? 1 : 0);
}

void empty_command_buffer() { D().cmd_len = 0; }

void close_channels(int count)
{
    for (int i = 0; i < count; ++i) file[static_cast<size_t>(i)].close();
}

// The names in the drive folder, sorted so that listings and wildcard
// opens do not depend on the order the file system keeps.
std::vector<std::string> folder_names()
{
    std::vector<std::string> names = folder->list();
    std::sort(names.begin(), names.end());
    return names;
}

// The host name for a name that differs from it at most in letter case:
// the exact spelling first, then the one whose name before its extension
// is spelt as asked, then the first.
bool find_host_file(const std::string& wanted, std::string* out)
{
    const size_t dot = wanted.rfind('.');
    const std::string_view stem = std::string_view(wanted).substr(0, dot);
    int best = -1;
    for (const std::string& name : folder_names()) {
        if (!iequals(name, wanted)) continue;
        const int score = name == wanted ? 2 : std::string_view(name).substr(0, dot) == stem ? 1 : 0;
        if (score > best) {
            best = score;
            *out = name;
        }
    }
    return best >= 0;
}

void read_ahead(int channel)
{
    const int c = file[static_cast<size_t>(channel)].next();
    read_char[static_cast<size_t>(channel)] = static_cast<uint8_t>(c);
}

uint8_t open_failed(error_row row)
{
    set_error(row);
    led(false);
    return 0x80;
}

bool find_by_pattern(const std::string& pattern, file_type type, std::string* out)
{
    for (const std::string& name : folder_names()) {
        if (has_extension(name, type) && pattern_matches(pattern, base_name(name)) && folder->stat(name).file) {
            *out = name;
            return true;
        }
    }
    return false;
}

uint8_t open_file(int channel, const uint8_t* text, size_t length)
{
    primo_name n = convert_filename(text, length);
    file_type type = n.type;
    char mode = n.mode;
    if (channel == 0 || channel == 1) {
        type = TYPE_PRI;
        mode = channel == 0 ? 'r' : 'w';
    } else {
        if (mode == 0) mode = 'r';
    }
    if (!safe_name(n.name)) return open_failed(E_BAD_NAME);
    std::string path;
    if (n.wildcards) {
        if (mode != 'r') {
            set_error(E_BAD_NAME);
            led(false);
            return 0;
        }
        if (!find_by_pattern(n.name, type == TYPE_NONE ? TYPE_PRI : type, &path)) return open_failed(E_NOT_FOUND);
    } else {
        if (type == TYPE_NONE) type = TYPE_PRG;
        const std::string wanted = n.name + extension_of[type];
        if (!find_host_file(wanted, &path)) path = wanted;   // a new file
    }
    channel_t& ch = file[static_cast<size_t>(channel)];
    ch.file = folder->open(path, mode);
    if (!ch.file) return open_failed(E_NOT_FOUND);
    led(true);
    if (mode == 'r') read_ahead(channel);
    return 0;
}

// The disk title: the folder's own name, converted like the file names.
void set_title()
{
    const std::string name = folder->title();
    dir_title.fill(' ');
    for (size_t i = 0; i < name.size() && i < LISTED_NAME; ++i) {
        const auto c = static_cast<uint8_t>(name[i]);
        dir_title[i] = static_cast<char>(c == '\\' ? '/' : upper(c));
    }
}

void put_line_start(std::vector<uint8_t>& out, uint16_t number)
{
    const uint8_t start[] = {0x01, 0x01, static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8)};
    out.insert(out.end(), std::begin(start), std::end(start));
}

void put_file_line(std::vector<uint8_t>& out, const std::string& name, uint64_t size, file_type type)
{
    const auto blocks = static_cast<uint16_t>((size + 254) / 254);
    put_line_start(out, blocks);
    std::array<char, LINE_TEXT> text;
    text.fill(' ');
    const size_t quote = blocks <= 9 ? 3 : blocks <= 99 ? 2 : 1;
    text[quote] = '"';
    size_t at = quote + 1;
    for (size_t i = 0; i < name.size() && i < LISTED_NAME; ++i) {
        const auto c = static_cast<uint8_t>(name[i]);
        text[at++] = static_cast<char>(c == '\\' ? '/' : upper(c));
    }
    text[at] = '"';
    std::memcpy(&text[quote + 19], extension_of[type] + 1, 3);
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

std::vector<uint8_t> build_listing(const std::string& pattern)
{
    std::vector<uint8_t> out = {0x01, 0x04, 0x01, 0x01, 0x00, 0x00, 0x12, 0x22};
    out.insert(out.end(), dir_title.begin(), dir_title.end());
    for (uint8_t c : {0x22, 0x20, 0x30, 0x30, 0x20, 0x32, 0x41, 0x00}) out.push_back(c);
    const auto names = folder_names();
    for (file_type type : {TYPE_PRI, TYPE_SEQ}) {
        for (const std::string& name : names) {
            if (!has_extension(name, type)) continue;
            const std::string base = base_name(name);
            if (!pattern.empty() && !pattern_matches(pattern, base)) continue;
            const drive_entry entry = folder->stat(name);
            if (entry.file) put_file_line(out, base, entry.size, type);
        }
    }
    put_line_start(out, 0);
    const char footer[] = "BLOCKS FREE.             ";
    out.insert(out.end(), footer, footer + 25);
    out.insert(out.end(), {0x00, 0x00, 0x00});
    return out;
}

uint8_t open_directory(int channel, const uint8_t* text, size_t length)
{
    std::string pattern;
    if (!(length == 1 && text[0] == '0')) pattern = convert_filename(text, length).name;
    if (!folder->available()) {
        set_error(E_NOT_READY);
        led(false);
        return 0;
    }
    channel_t& ch = file[static_cast<size_t>(channel)];
    ch.listing = build_listing(pattern);
    ch.is_listing = true;
    led(true);
    read_ahead(channel);
    return 0;
}

// G: folder. Only folders below the one the host gave can be entered.
void enter_folder(const std::string& name)
{
    close_channels(COMMAND_CHANNEL);
    empty_command_buffer();
    if (name == ".") {
        folder->enter_root();
        set_title();
        return;
    }
    if (!safe_name(name)) {
        set_error(E_SYNTAX);
        return;
    }
    std::string found = name;
    find_host_file(name, &found);   // else the name as given, which the folder refuses
    if (!folder->enter(found)) {
        set_error(E_NOT_READY);
        return;
    }
    set_title();
}

bool is_drive_file(const std::string& name)
{
    return has_extension(name, TYPE_PRI) || has_extension(name, TYPE_SEQ) || has_extension(name, TYPE_PRG);
}

// S:NAME[,NAME...]: removes the matching program and data files.
void scratch(const std::string& names)
{
    int count = 0;
    size_t start = 0;
    while (start <= names.size()) {
        const size_t comma = std::min(names.find(',', start), names.size());
        const std::string pattern = names.substr(start, comma - start);
        if (!safe_name(pattern)) {
            set_error(E_BAD_NAME);
            return;
        }
        for (const std::string& name : folder_names())
            if (is_drive_file(name) && pattern_matches(pattern, base_name(name)) && folder->remove(name)) ++count;
        start = comma + 1;
    }
    set_error(E_SCRATCHED, std::min(count, 99));
}

// R:NEW=OLD: renames a program or data file, keeping its type.
void rename_file(const std::string& text)
{
    const size_t equals = text.find('=');
    if (equals == std::string::npos) {
        set_error(E_SYNTAX);
        return;
    }
    const std::string to = text.substr(0, equals);
    const std::string from = text.substr(equals + 1);
    if (!safe_name(to) || !safe_name(from) || to.find_first_of("?*") != std::string::npos ||
        from.find_first_of("?*") != std::string::npos) {
        set_error(E_BAD_NAME);
        return;
    }
    for (file_type type : {TYPE_PRI, TYPE_SEQ, TYPE_PRG}) {
        std::string old_name;
        if (!find_host_file(from + extension_of[type], &old_name)) continue;
        const std::string new_name = to + old_name.substr(old_name.size() - 4);
        std::string taken;
        if (find_host_file(new_name, &taken)) {
            set_error(E_EXISTS);
            return;
        }
        set_error(folder->rename(old_name, new_name) ? E_OK : E_WRITE_ERROR);
        return;
    }
    set_error(E_NOT_FOUND);
}

// The text after the first ":" of a command, or false without one.
bool command_argument(const std::string& command, std::string* out)
{
    const size_t colon = command.find(':');
    if (colon == std::string::npos) return false;
    *out = command.substr(colon + 1);
    return true;
}

void memory_read(const uint8_t* text, size_t length)
{
    if (length < 5) {
        set_error(E_SYNTAX);
        return;
    }
    D().error_source = ERROR_RAM;
    D().error_at = static_cast<uint16_t>(text[3] + 256 * (text[4] & 7));
    D().error_end = static_cast<uint16_t>(RAM_SIZE);
}

void memory_write(const uint8_t* text, size_t length)
{
    if (length < 6) {
        set_error(E_SYNTAX);
        return;
    }
    const size_t address = text[3] + 256u * text[4];
    const size_t count = std::min<size_t>(text[5], length - 6);
    for (size_t i = 0; i < count; ++i) D().ram[(address + i) % RAM_SIZE] = text[6 + i];
}

void execute_command(const uint8_t* text, size_t length)
{
    // A bare OPEN of the command channel, to read the message, is no command.
    if (length == 0) return;
    const std::string command = primo_text(text, length);
    std::string argument;
    switch (text[0]) {
    case 'I':
        close_channels(COMMAND_CHANNEL);
        empty_command_buffer();
        set_error(E_OK);
        break;
    case 'U':
        if (length >= 2 && (text[1] & 0x0F) == 0x0A) {
            close_channels(COMMAND_CHANNEL);
            empty_command_buffer();
            set_error(E_DOS);
            led(false);
        } else {
            set_error(E_SYNTAX);
        }
        break;
    case 'M':
        if (command.compare(0, 3, "M-R") == 0) memory_read(text, length);
        else if (command.compare(0, 3, "M-W") == 0) memory_write(text, length);
        else set_error(E_SYNTAX);
        break;
    case 'B':
        if (command.compare(0, 3, "B-E") != 0) set_error(E_SYNTAX);
        break;
    case 'G':
        if (length >= 2 && text[1] == ':') enter_folder(command.substr(2));
        else set_error(E_SYNTAX);
        break;
    case 'S':
        if (command_argument(command, &argument)) scratch(argument);
        else set_error(E_SYNTAX);
        break;
    case 'R':
        if (command_argument(command, &argument)) rename_file(argument);
        else set_error(E_SYNTAX);
        break;
    default: set_error(E_SYNTAX); break;
    }
}

}  // namespace

uint8_t Open(int channel, const uint8_t* name, size_t length)
{
    if (channel < 0 || channel >= CHANNELS) return 0x80;
    if (!make_on_use.empty()) {
        std::error_code ec;
        fs::create_directories(make_on_use, ec);
        make_on_use.clear();
        set_title();
    }
    set_error(E_OK);
    led(true);
    if (channel == COMMAND_CHANNEL) {
        execute_command(name, length);
        return 0;
    }
    file[static_cast<size_t>(channel)].close();
    if (length > 0 && name[0] == '$') return open_directory(channel, name + 1, length - 1);
    if (length > 0 && name[0] == '#') {
        set_error(E_NO_CHANNEL);
        return 0;
    }
    return open_file(channel, name, length);
}

uint8_t Close(int channel)
{
    if (channel == COMMAND_CHANNEL) {
        close_all_channels();
        return 0;
    }
    if (channel >= 0 && channel < CHANNELS) file[static_cast<size_t>(channel)].close();
    led(false);
    return 0;
}

uint8_t Read(int channel, uint8_t* out)
{
    if (channel == COMMAND_CHANNEL) {
        drive_t& d = D();
        if (d.error_source == ERROR_NONE) set_error(E_DOS);
        *out = d.error_at < d.error_end ? error_base()[d.error_at] : '\r';
        ++d.error_at;
        if (*out == '\r' || d.error_at >= d.error_end) {
            set_error(E_OK);
            return 0x40;
        }
        return 0;
    }
    if (channel < 0 || channel >= CHANNELS) return 0x80;
    channel_t& ch = file[static_cast<size_t>(channel)];
    if (!ch.open()) return 0x80;
    *out = read_char[static_cast<size_t>(channel)];
    const int c = ch.next();
    read_char[static_cast<size_t>(channel)] = static_cast<uint8_t>(c);
    if (c == EOF) {
        led(false);
        return 0x40;
    }
    return 0;
}

uint8_t Write(int channel, uint8_t value, int eoi)
{
    if (channel == COMMAND_CHANNEL) {
        drive_t& d = D();
        if (d.cmd_len >= CMD_MAX) {
            // A command too long for the buffer is dropped whole at its end,
            // so that the next one finds the buffer empty.
            if (eoi) {
                empty_command_buffer();
                set_error(E_SYNTAX);
            }
            return 0x80;
        }
        d.cmd_buffer[d.cmd_len++] = value;
        if (eoi) {
            const std::vector<uint8_t> command(d.cmd_buffer.begin(), d.cmd_buffer.begin() + static_cast<long>(d.cmd_len));
            empty_command_buffer();
            execute_command(command.data(), command.size());
        }
        return 0;
    }
    if (channel < 0 || channel >= CHANNELS) return 0x80;
    channel_t& ch = file[static_cast<size_t>(channel)];
    if (!ch.file) {
        set_error(ch.is_listing ? E_WRITE_ERROR : E_FILE_NOT_OPEN);
        return 0x80;
    }
    if (!ch.file->put(value)) {
        set_error(E_WRITE_ERROR);
        return 0x80;
    }
    return 0;
}

void close_all_channels()
{
    close_channels(COMMAND_CHANNEL);
    led(false);
    empty_command_buffer();
}

void iec_init(const char* path) { iec_init_folder(std::make_unique<host_folder>(path ? path : "")); }

void iec_init_folder(std::unique_ptr<drive_folder> given)
{
    folder = std::move(given);
    make_on_use.clear();
    if (folder->available()) {
        set_title();
        close_channels(CHANNELS);
        empty_command_buffer();
        led(false);
    }
    set_error(E_DOS);
}

void drive_reset()
{
    close_channels(CHANNELS);
    empty_command_buffer();
    set_error(E_DOS);
    led(false);
}

int change_dir(const char* path)
{
    if (!path || !*path) return 0;
    auto entered = std::make_unique<host_folder>(path);
    if (!entered->available()) return 0;
    folder = std::move(entered);
    make_on_use.clear();
    set_title();
    return 1;
}

void drive_use_default_folder(const char* path)
{
    if (change_dir(path)) return;
    folder = std::make_unique<host_folder>(path ? path : "");
    make_on_use = path ? path : "";
}

std::string get_drive_dir() { return folder->path(); }

void drive_device_reset(reset_kind) { drive_reset(); }

void drive_device_state(state_io& io)
{
    drive_t& d = D();
    for (char& c : d.current_error) io(c);
    io(d.error_source);
    io(d.error_at);
    io(d.error_end);
    io(d.cmd_len);
    if (io.loading()) d.cmd_len = std::min<uint32_t>(d.cmd_len, CMD_MAX);
    for (uint32_t i = 0; i < d.cmd_len; ++i) io(d.cmd_buffer[i]);
    io.trimmed(d.ram.data(), d.ram.size());
    io(d.led);
    if (io.loading()) {
        d.current_error.back() = '\0';
        const uint16_t size = d.error_source == ERROR_RAM ? RAM_SIZE : static_cast<uint16_t>(std::strlen(d.current_error.data()));
        d.error_end = std::min(d.error_end, size);
    }
}

void drive_device_restored() { ui_set_led(D().led); }
