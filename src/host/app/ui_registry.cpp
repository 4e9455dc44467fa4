// The settings store: named numbers and strings in a per-user INI file,
// Emulators/Brevan.ini in the user's configuration folder. Qt reads the
// file; we write it, as a whole, through a temporary file renamed into
// place. A damaged file is kept aside as Brevan.ini.bak, what could be
// read of it is kept, and a clean file replaces it at the next save.
#include "host/app/ui_registry.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "media/fileio.h"

namespace {

constexpr size_t FILE_LIMIT = 1 << 20;   // far more than fourteen settings need

bool usable = false;
bool dirty = false;         // the values differ from the file's
bool keep_file = false;     // damaged, and its copy could not be made: never overwritten
std::string file_path;
std::string notice;         // about a damaged file, for the user, once
// All values of the file and of the run, by their name as Qt gives it
// ("Name" in [General], "Group/Name" in other groups).
std::map<QString, QVariant> values;
std::string override_file;  // set by tests: a file of their own
std::string program_name = "Brevan";

std::string store_path()
{
    if (!override_file.empty()) return override_file;
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Emulators", QString::fromStdString(program_name))
        .fileName()
        .toStdString();
}

// The folder is there (made if need be) and takes new files.
bool folder_writable(const std::string& path)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::string probe = (folder / ".brevan-probe.XXXXXX").string();
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

bool valid_utf8(const std::vector<uint8_t>& bytes)
{
    for (size_t i = 0; i < bytes.size();) {
        const uint8_t c = bytes[i];
        const int more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (more < 0 || i + static_cast<size_t>(more) >= bytes.size()) return false;
        for (int k = 1; k <= more; ++k)
            if ((bytes[i + static_cast<size_t>(k)] & 0xC0) != 0x80) return false;
        i += static_cast<size_t>(more) + 1;
    }
    return true;
}

// Text, and every line empty, a comment, a [group] or a name=value pair.
bool well_formed(const std::vector<uint8_t>& bytes)
{
    if (std::find(bytes.begin(), bytes.end(), 0) != bytes.end() || !valid_utf8(bytes)) return false;
    const QStringList lines = QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<qsizetype>(bytes.size()))
                                  .split('\n');
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#')) continue;
        if (line.startsWith('[') ? !line.endsWith(']') : !line.contains('=')) return false;
    }
    return true;
}

// A name worth keeping from a damaged file.
bool plain_name(const QString& name)
{
    if (name.isEmpty()) return false;
    for (const QChar c : name)
        if (c.unicode() < 0x21 || c.unicode() > 0x7E) return false;
    return true;
}

void read_file_values(bool damaged)
{
    QSettings file(QString::fromStdString(file_path), QSettings::IniFormat);
    for (const QString& name : file.allKeys())
        if (!damaged || plain_name(name)) values[name] = file.value(name);
}

void look_at_file()
{
    std::error_code ec;
    if (!std::filesystem::exists(file_path, ec)) return;
    std::vector<uint8_t> bytes;
    std::string why;
    const bool damaged = !read_file(file_path.c_str(), FILE_LIMIT, bytes, why) || !well_formed(bytes);
    read_file_values(damaged);
    if (!damaged) return;
    dirty = true;
    const std::string backup = file_path + ".bak";
    if (why.empty() && write_whole_file(backup, bytes.data(), bytes.size(), &why)) {
        notice = "A beállítások állománya sérült volt: " + file_path +
                 "\n\nAmit el lehetett olvasni belőle, megmaradt; a sérült állomány másolata: " + backup +
                 "\nKilépéskor az emulátor ép állományt ír a helyére.";
        return;
    }
    keep_file = true;
    notice = "A beállítások állománya sérült: " + file_path + "\n\nMásolat nem készíthető róla (" + backup + ": " +
             why + "), ezért az emulátor nem írja felül; amit el lehetett olvasni belőle, azt használja.";
}

QVariant value_of(const char* name)
{
    const auto it = values.find(QString::fromUtf8(name));
    return it != values.end() ? it->second : QVariant();
}

void put(const char* name, const QVariant& value)
{
    QVariant& slot = values[QString::fromUtf8(name)];
    if (slot.isValid() && slot.toString() == value.toString()) return;
    slot = value;
    dirty = true;
}

// A stored number in any spelling that fits 32 bits: decimal, 0x hex, or a
// negative 32-bit value.
bool parse_number(const QVariant& value, uint32_t* out)
{
    const QString text = value.toString().trimmed();
    bool ok = false;
    const qulonglong u = text.toULongLong(&ok, 0);
    if (ok && u <= 0xFFFFFFFFull) {
        *out = static_cast<uint32_t>(u);
        return true;
    }
    const qlonglong s = text.toLongLong(&ok, 0);
    if (ok && s >= INT32_MIN && s < 0) {
        *out = static_cast<uint32_t>(static_cast<int32_t>(s));
        return true;
    }
    return false;
}

// One value as Qt's INI reader takes it back: escapes for backslashes,
// quotes and control characters, quotes around text that holds a
// separator or ends in a space, a doubled leading @.
std::string ini_text(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    std::string out = text.startsWith('@') ? "@" : "";
    bool quote = !out.empty() || text.startsWith(' ') || text.endsWith(' ');
    bool after_hex_escape = false;
    for (const char byte : utf8) {
        const auto c = static_cast<unsigned char>(byte);
        const bool hex_digit = std::isxdigit(c) != 0;
        if (c == ';' || c == ',' || c == '=') quote = true;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += byte;
        } else if (c < 0x20 || c == 0x7F || (after_hex_escape && hex_digit)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%x", c);
            out += escape;
            after_hex_escape = true;
            continue;
        } else {
            out += byte;
        }
        after_hex_escape = false;
    }
    return quote ? "\"" + out + "\"" : out;
}

std::string ini_value(const QVariant& value)
{
    if (value.typeId() != QMetaType::QStringList) return ini_text(value.toString());
    std::string out;
    for (const QString& item : value.toStringList()) out += (out.empty() ? "" : ", ") + ini_text(item);
    return out;
}

std::string file_contents()
{
    std::map<QString, std::string> groups;   // group name to its lines
    for (const auto& [name, value] : values) {
        const qsizetype slash = name.lastIndexOf('/');
        const QString group = slash < 0 ? QStringLiteral("General") : name.left(slash);
        groups[group] += name.mid(slash + 1).toStdString() + "=" + ini_value(value) + "\n";
    }
    std::string text;
    if (const auto general = groups.find(QStringLiteral("General")); general != groups.end())
        text = "[General]\n" + general->second;
    for (const auto& [group, lines] : groups)
        if (group != QStringLiteral("General")) text += (text.empty() ? "[" : "\n[") + group.toStdString() + "]\n" + lines;
    return text;
}

} // namespace

void prefs_set_file(const char* path)
{
    override_file = path ? path : "";
    usable = false;
    values.clear();
}

int prefs_init(const char* name)
{
    if (name && *name) program_name.assign(name, strnlen(name, 128));
    values.clear();
    notice.clear();
    dirty = keep_file = false;
    file_path = store_path();
    usable = folder_writable(file_path);
    if (!usable) return 0;
    look_at_file();
    return 1;
}

const std::string& prefs_damage_notice() { return notice; }

int GetValueDword(const char* name, uint32_t* value)
{
    if (!name || !value || !usable) return 0;
    const QVariant stored = value_of(name);
    if (stored.isValid() && parse_number(stored, value)) return 1;
    // Missing or unreadable: the caller's default becomes the stored value.
    put(name, static_cast<qulonglong>(*value));
    return 0;
}

int GetValueStr(const char* name, std::string& out)
{
    if (!name || !usable) return 0;
    const QVariant stored = value_of(name);
    if (!stored.isValid()) return 0;
    out = stored.toString().toStdString();
    return 1;
}

int SetValueDword(const char* name, const uint32_t* value)
{
    if (!name || !value || !usable) return 0;
    put(name, static_cast<qulonglong>(*value));
    return 1;
}

int SetValueStr(const char* name, const char* text)
{
    if (!name || !usable) return 0;
    put(name, QString::fromUtf8(text ? text : ""));
    return text ? 1 : 0;
}

int prefs_save()
{
    if (!usable || keep_file) return 0;
    if (!dirty) return 1;
    const std::string text = file_contents();
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(file_path).parent_path(), ec);
    if (!write_whole_file(file_path, text.data(), text.size())) return 0;
    dirty = false;
    return 1;
}

int prefs_done()
{
    if (!usable) return 0;
    const int ok = prefs_save();
    usable = false;
    values.clear();
    return ok;
}
