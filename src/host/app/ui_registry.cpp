// The settings store: named numbers and strings in a per-user INI file,
// Emulators/Brevan.ini in the user's configuration folder.
#include "host/app/ui_registry.h"

#include <QSettings>
#include <QString>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace {

std::unique_ptr<QSettings> store;   // open for the whole run, like a registry key
// Values set during the run: the file is written once, at prefs_save, and
// not at every get and set (QSettings would rewrite a large file each time).
std::map<QString, QVariant> pending;
std::string override_file;          // set by tests: a file of their own
std::string program_name = "Brevan";

QSettings* open_store()
{
    if (!override_file.empty())
        return new QSettings(QString::fromStdString(override_file), QSettings::IniFormat);
    return new QSettings(QSettings::IniFormat, QSettings::UserScope, "Emulators",
                         QString::fromStdString(program_name));
}

bool store_usable()
{
    return store && store->status() == QSettings::NoError;
}

QVariant value_of(const char* name)
{
    const auto it = pending.find(QString::fromUtf8(name));
    return it != pending.end() ? it->second : store->value(name);
}

void put(const char* name, const QVariant& value)
{
    pending[QString::fromUtf8(name)] = value;
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

} // namespace

void prefs_set_file(const char* path)
{
    override_file = path ? path : "";
    store.reset();
    pending.clear();
}

int prefs_init(const char* name)
{
    if (name && *name) program_name.assign(name, strnlen(name, 128));
    pending.clear();
    store.reset(open_store());
    if (!store->isWritable() || store->status() != QSettings::NoError) {
        store.reset();
        return 0;
    }
    return 1;
}

int GetValueDword(const char* name, uint32_t* value)
{
    if (!name || !value || !store_usable()) return 0;
    const QVariant stored = value_of(name);
    if (stored.isValid() && parse_number(stored, value)) return 1;
    // Missing or unreadable: the caller's default becomes the stored value.
    put(name, static_cast<qulonglong>(*value));
    return 0;
}

int GetValueStr(const char* name, std::string& out)
{
    if (!name || !store_usable()) return 0;
    const QVariant stored = value_of(name);
    if (!stored.isValid()) return 0;
    out = stored.toString().toStdString();
    return 1;
}

int SetValueDword(const char* name, const uint32_t* value)
{
    if (!name || !value || !store_usable()) return 0;
    put(name, static_cast<qulonglong>(*value));
    return 1;
}

int SetValueStr(const char* name, const char* text)
{
    if (!name || !store_usable()) return 0;
    put(name, QString::fromUtf8(text ? text : ""));
    return text ? 1 : 0;
}

int prefs_save()
{
    if (!store) return 0;
    for (const auto& [name, value] : pending) store->setValue(name, value);
    pending.clear();
    store->sync();
    return store->status() == QSettings::NoError ? 1 : 0;
}

int prefs_done()
{
    if (!store) return 0;
    const int ok = prefs_save();
    store.reset();
    return ok;
}
