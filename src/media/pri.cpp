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

constexpr uint32_t ADDRESS_END = 0x10000;
constexpr size_t FILE_LIMIT = 1 << 20;   // far more than a Primo can hold

constexpr uint8_t PRI_END = 0xC9;
constexpr uint8_t PRI_START = 0xC3;
constexpr uint8_t PRI_RELATIVE = 0xD5;
constexpr uint8_t PRI_BASIC = 0xD1;

std::string at(const char* what, size_t offset)
{
    return std::string(what) + " (" + std::to_string(offset) + ". bájt)";
}

int refuse(std::string* error, const std::string& why)
{
    if (error) *error = why;
    return -1;
}

// Walks the records; with `ram` null it only checks them. Returns the start
// address, 0 for none, or -1.
int walk(const uint8_t* data, size_t size, uint8_t* ram, std::string* error)
{
    size_t pos = 0;
    while (pos < size) {
        const uint8_t type = data[pos];
        if (type == PRI_END) return 0;
        if (type == PRI_START) {
            if (size - pos < 3) return refuse(error, at("a kezdőcím csonka", pos));
            return get_le16(data + pos + 1);
        }
        if (size - pos < 5) return refuse(error, at("csonka rekordfej", pos));
        uint32_t address = get_le16(data + pos + 1);
        const size_t length = get_le16(data + pos + 3);
        if (length > size - pos - 5) return refuse(error, at("a rekord túlnyúlik az állomány végén", pos));
        if (ram) {
            if (type == PRI_RELATIVE) address = (address + mem_read_word(RELBASE)) & 0xFFFF;
            if (type == PRI_BASIC) {
                address = (address + mem_read_word(PROGBASE)) & 0xFFFF;
                // The high byte is one more than the end's: the pointers as
                // the ROM keeps them.
                const uint32_t end = address + length;
                for (uint16_t p : PROG_END_POINTERS) {
                    mem_write(p, static_cast<uint8_t>(end));
                    mem_write(static_cast<uint16_t>(p + 1), static_cast<uint8_t>((end + 0x100) >> 8));
                }
            }
            pri_store(ram, address, data + pos + 5, length);
        }
        pos += 5 + length;
    }
    return 0;
}

int read_then(const char* path, std::string* error, std::vector<uint8_t>& bytes)
{
    std::string why;
    if (read_file(path, FILE_LIMIT, bytes, why)) return 1;
    if (error) *error = why;
    return 0;
}

}  // namespace

size_t pri_store(uint8_t* ram, uint32_t address, const uint8_t* data, size_t count)
{
    size_t stored = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t a = address + static_cast<uint32_t>(i);
        if (a >= ADDRESS_END) break;
        if (a < RAM_START) continue;
        ram[a - RAM_START] = data[i];
        ++stored;
    }
    return stored;
}

int pri_load_pri_data(const uint8_t* data, size_t size, uint8_t* ram, std::string* error)
{
    if (!ram || (size && !data)) return -1;
    if (walk(data, size, nullptr, error) < 0) return -1;
    return walk(data, size, ram, error);
}

int pri_load_pri_file(const char* path, uint8_t* ram, std::string* error)
{
    std::vector<uint8_t> bytes;
    if (!read_then(path, error, bytes)) return -1;
    return pri_load_pri_data(bytes.data(), bytes.size(), ram, error);
}

int pri_load_pp_data(const uint8_t* data, size_t size, uint8_t* ram, std::string* error)
{
    if (!ram || !data || size < 4) {
        if (error) *error = "rövidebb a 4 bájtos fejénél";
        return -1;
    }
    pri_store(ram, get_le16(data), data + 4, size - 4);
    return get_le16(data + 2);
}

int ui_load_pp_file(const char* path, uint8_t* ram, std::string* error)
{
    std::vector<uint8_t> bytes;
    if (!read_then(path, error, bytes)) return -1;
    return pri_load_pp_data(bytes.data(), bytes.size(), ram, error);
}
