// PRI/PRG and raw memory files. Every record is checked before the first
// byte is stored, so a refused file leaves memory as it was.
#include "media/pri.h"

#include <algorithm>
#include <vector>

#include "core/bus.h"
#include "core/memory.h"
#include "core/sysvars.h"
#include "cpu/cpu.h"
#include "media/fileio.h"

namespace {

constexpr uint32_t ADDRESS_END = 0x10000;
constexpr size_t FILE_LIMIT = 1 << 20;   // far more than a Primo can hold
constexpr long DISPLAY_PAGE_BYTES = 6144;

constexpr uint8_t PRI_END = 0xC9;
constexpr uint8_t PRI_START = 0xC3;
constexpr uint8_t PRI_RELATIVE = 0xD5;
constexpr uint8_t PRI_BASIC = 0xD1;

std::string at(const char* what, size_t offset)
{
    return std::string(what) + " (" + std::to_string(offset) + ". bájt)";
}

bool absolute(uint8_t type) { return type != PRI_RELATIVE && type != PRI_BASIC; }

// How many of count bytes from address on the processor's writes would keep.
size_t storable(uint32_t address, size_t count)
{
    size_t kept = 0;
    for (uint64_t a = address; a < uint64_t{address} + count && a < ADDRESS_END; ++a)
        if (!mem_write_protected(static_cast<uint16_t>(a))) ++kept;
    return kept;
}

struct walk_result {
    bool ok = true;
    int start = 0;            // from a 0xC3 record, 0 for none
    size_t loaded = 0, dropped = 0;
    long first_address = -1;  // of the first record with data
};

// Walks the records; without `store` it only looks at them.
walk_result walk(const uint8_t* data, size_t size, bool store, std::string* why)
{
    walk_result r;
    size_t pos = 0;
    while (pos < size) {
        const uint8_t type = data[pos];
        if (type == PRI_END) return r;
        if (type == PRI_START) {
            if (size - pos < 3) r.ok = refuse(why, at("a kezdőcím csonka", pos));
            else r.start = get_le16(data + pos + 1);
            return r;
        }
        if (size - pos < 5) {
            r.ok = refuse(why, at("csonka rekordfej", pos));
            return r;
        }
        uint32_t address = get_le16(data + pos + 1);
        const size_t length = get_le16(data + pos + 3);
        if (length > size - pos - 5) {
            r.ok = refuse(why, at("a rekord túlnyúlik az állomány végén", pos));
            return r;
        }
        if (type == PRI_RELATIVE) address = (address + mem_read_word(RELBASE)) & 0xFFFF;
        if (type == PRI_BASIC) address = (address + mem_read_word(PROGBASE)) & 0xFFFF;
        if (!store && !bus_load_allowed(address, length, why)) {
            r.ok = false;
            return r;
        }
        if (length && r.first_address < 0) r.first_address = address;
        const size_t fits = storable(address, length);
        r.loaded += fits;
        r.dropped += length - fits;
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
    return r;
}

uint16_t get_be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

// The records read with their 16-bit fields high byte first fit the file
// exactly, carry data, and land in RAM with a start in RAM: the output of
// a converter that wrote the fields the wrong way round.
bool fits_byte_swapped(const uint8_t* data, size_t size)
{
    bool any = false;
    for (size_t pos = 0; pos < size;) {
        const uint8_t type = data[pos];
        if (type == PRI_END) return any;
        if (type == PRI_START) return any && size - pos >= 3 && get_be16(data + pos + 1) >= RAM_START;
        if (size - pos < 5) return false;
        const uint32_t address = get_be16(data + pos + 1);
        const size_t length = get_be16(data + pos + 3);
        if (length > size - pos - 5) return false;
        if (absolute(type) && (address < RAM_START || address + length > ADDRESS_END)) return false;
        any = any || length > 0;
        pos += 5 + length;
    }
    return any;
}

// Where the first bytes of a program never go: the ROM and the picture.
bool implausible_place(long address)
{
    const long page = memory_get_video_ram_plain() - rom_pointer();
    return address < static_cast<long>(RAM_START) || (address >= page && address < page + DISPLAY_PAGE_BYTES);
}

bool read_then(const char* path, std::string* why, std::vector<uint8_t>& bytes)
{
    std::string reason;
    if (read_file(path, FILE_LIMIT, bytes, reason)) return true;
    return refuse(why, reason);
}

}  // namespace

bool pri_load_pri_data(const uint8_t* data, size_t size, int* start, std::string* why, size_t* dropped)
{
    if (size && !data) return refuse(why, "üres állomány");
    std::string reason;
    const walk_result plan = walk(data, size, false, &reason);
    const bool suspect = !plan.ok || plan.loaded == 0 || implausible_place(plan.first_address) ||
                         (plan.start > 0 && plan.start < static_cast<int>(RAM_START));
    if (suspect && fits_byte_swapped(data, size))
        return refuse(why, "a rekordok címe és hossza fordított bájtsorrendben (magas bájttal elöl) áll: "
                           "egy hibás átalakító kimenete");
    if (!plan.ok) return refuse(why, reason);
    if (plan.loaded == 0)
        return refuse(why, size == 0 ? "üres állomány"
                                     : "nincs benne a memóriába tölthető adat (a rekordjai üresek, vagy a ROM "
                                       "területére esnének)");
    if (dropped) *dropped = plan.dropped;
    const walk_result done = walk(data, size, true, why);
    if (start) *start = done.start;
    return true;
}

bool pri_load_pri_file(const char* path, int* start, std::string* why, size_t* dropped)
{
    std::vector<uint8_t> bytes;
    return read_then(path, why, bytes) && pri_load_pri_data(bytes.data(), bytes.size(), start, why, dropped);
}

bool pri_load_pp_data(const uint8_t* data, size_t size, int* start, std::string* why, size_t* dropped)
{
    if (!data || size < 4) return refuse(why, "rövidebb a 4 bájtos fejénél");
    const uint16_t load = get_le16(data);
    if (storable(load, size - 4) == 0)
        return refuse(why, size == 4 ? "a fején kívül nincs benne adat"
                                     : "egyetlen bájtja sem fér a memóriába: a betöltési cím (" +
                                           std::to_string(load) + ") után a ROM területére vagy 0xFFFF fölé esne");
    if (!bus_load_allowed(load, size - 4, why)) return false;
    bus_store(load, data + 4, size - 4);
    if (dropped) *dropped = size - 4 - storable(load, size - 4);
    if (start) *start = get_le16(data + 2);
    return true;
}

bool ui_load_pp_file(const char* path, int* start, std::string* why, size_t* dropped)
{
    std::vector<uint8_t> bytes;
    return read_then(path, why, bytes) && pri_load_pp_data(bytes.data(), bytes.size(), start, why, dropped);
}
