// PRI/PRG and raw memory files. Every record is checked before the first
// byte is stored, so a refused file leaves memory as it was.
#include "media/pri.h"

#include <vector>

#include "core/bus.h"
#include "core/memory.h"
#include "core/sysvars.h"
#include "cpu/cpu.h"
#include "media/fileio.h"

namespace {

constexpr size_t FILE_LIMIT = 1 << 20;   // far more than a Primo can hold

constexpr uint8_t PRI_END = 0xC9;
constexpr uint8_t PRI_START = 0xC3;
constexpr uint8_t PRI_RELATIVE = 0xD5;
constexpr uint8_t PRI_BASIC = 0xD1;

std::string at(const char* what, size_t offset)
{
    return std::string(what) + " (" + std::to_string(offset) + ". bájt)";
}

// Walks the records; without `store` it only checks them. The start address
// (0 for none) goes to *start.
bool walk(const uint8_t* data, size_t size, bool store, int* start, std::string* why)
{
    *start = 0;
    size_t pos = 0;
    while (pos < size) {
        const uint8_t type = data[pos];
        if (type == PRI_END) return true;
        if (type == PRI_START) {
            if (size - pos < 3) return refuse(why, at("a kezdőcím csonka", pos));
            *start = get_le16(data + pos + 1);
            return true;
        }
        if (size - pos < 5) return refuse(why, at("csonka rekordfej", pos));
        uint32_t address = get_le16(data + pos + 1);
        const size_t length = get_le16(data + pos + 3);
        if (length > size - pos - 5) return refuse(why, at("a rekord túlnyúlik az állomány végén", pos));
        if (type == PRI_RELATIVE) address = (address + mem_read_word(RELBASE)) & 0xFFFF;
        if (type == PRI_BASIC) address = (address + mem_read_word(PROGBASE)) & 0xFFFF;
        if (!store && !bus_load_allowed(address, length, why)) return false;
        if (store) {
            if (type == PRI_BASIC) {
                // The high byte is one more than the end's: the pointers as
                // the ROM keeps them.
                const uint32_t end = address + length;
                for (uint16_t p : PROG_END_POINTERS) {
                    mem_write(p, static_cast<uint8_t>(end));
                    mem_write(static_cast<uint16_t>(p + 1), static_cast<uint8_t>((end + 0x100) >> 8));
                }
            }
            bus_store(address, data + pos + 5, length);
        }
        pos += 5 + length;
    }
    return true;
}

bool read_then(const char* path, std::string* why, std::vector<uint8_t>& bytes)
{
    std::string reason;
    if (read_file(path, FILE_LIMIT, bytes, reason)) return true;
    return refuse(why, reason);
}

}  // namespace

bool pri_load_pri_data(const uint8_t* data, size_t size, int* start, std::string* why)
{
    int ignored = 0;
    if (!start) start = &ignored;
    if (size && !data) return refuse(why, "üres állomány");
    return walk(data, size, false, start, why) && walk(data, size, true, start, why);
}

bool pri_load_pri_file(const char* path, int* start, std::string* why)
{
    std::vector<uint8_t> bytes;
    return read_then(path, why, bytes) && pri_load_pri_data(bytes.data(), bytes.size(), start, why);
}

bool pri_load_pp_data(const uint8_t* data, size_t size, int* start, std::string* why)
{
    if (!data || size < 4) return refuse(why, "rövidebb a 4 bájtos fejénél");
    if (!bus_load_allowed(get_le16(data), size - 4, why)) return false;
    bus_store(get_le16(data), data + 4, size - 4);
    if (start) *start = get_le16(data + 2);
    return true;
}

bool ui_load_pp_file(const char* path, int* start, std::string* why)
{
    std::vector<uint8_t> bytes;
    return read_then(path, why, bytes) && pri_load_pp_data(bytes.data(), bytes.size(), start, why);
}
