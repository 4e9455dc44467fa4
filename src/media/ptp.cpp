// PTP images: the reader behind the ROM's load routines, the writer behind
// the A/B ROM's save routines, and the fast loader.
#include "media/ptp.h"

#include <cctype>
#include <cstring>
#include <utility>

#include "core/bus.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/machine.h"
#include "core/memory.h"
#include "core/sysvars.h"
#include "core/trap.h"
#include "cpu/cpu.h"
#include "devices/tape.h"
#include "media/fileio.h"
#include "media/pri.h"

namespace {

constexpr size_t BUFFER_SIZE = 1024;
constexpr size_t IMAGE_LIMIT = 16 << 20;
constexpr uint8_t PROGRAM_MARK = 0xFF;
constexpr uint8_t MORE_BLOCKS = 0x55;
constexpr uint8_t LAST_BLOCK = 0xAA;
constexpr uint8_t END_WITH_START = 0xB9;
constexpr uint16_t ID_OFFSET = 0x017E;
constexpr size_t TAPE_NAME_MAX = 16;

// The host's side: the attached file, and the file the save routines
// build (not the attached one).
struct ptp_host_t {
    file_ptr fp;
    std::string fname;
    long file_length = 0;
    std::string save_name;
    uint8_t block_counter = 0;
    // Blocks of the attached file whose length field is mended: the file
    // offset of the marker and the length the block really has.
    std::vector<std::pair<long, long>> mended_lengths;
} ptp_host;

ptp_t& P() { return the_machine.ptp; }

std::string at_offset(const char* what, size_t offset)
{
    return std::string(what) + " (" + std::to_string(offset) + ". bájt)";
}

void set_a(uint8_t value) { z80_state.af = static_cast<uint16_t>(value << 8 | (z80_state.af & 0xFF)); }

// The ROM sees the end of the data: every byte it asks for reads 0.
void empty_block()
{
    P().blocktype = LAST_BLOCK;
    P().block_length = 0;
    P().idx = 0;
    P().block_buffer[0] = 0;
}

bool read_at(long offset, uint8_t* out, size_t count)
{
    return std::fseek(ptp_host.fp.get(), offset, SEEK_SET) == 0 && std::fread(out, 1, count, ptp_host.fp.get()) == count;
}

int trap_read_header(int*)
{
    uint8_t header[3];
    if (!ptp_host.fp || !read_at(P().file_pointer, header, 3) || header[0] != PROGRAM_MARK || get_le16(header + 1) < 3) {
        P().file_pointer = 0;
        empty_block();
        return 0;
    }
    P().block_length = 0;
    P().blocktype = 0;
    P().block_position = P().file_pointer + 3;
    P().file_pointer += get_le16(header + 1);
    if (P().file_pointer >= ptp_host.file_length) P().file_pointer = 0;   // round to the first program
    return 0;
}

int trap_read_block(int*)
{
    if (!ptp_host.fp || P().blocktype == LAST_BLOCK) {
        empty_block();
        return 0;
    }
    if (P().block_length != 0) P().block_position += P().block_length + 3;
    uint8_t head[3];
    if (!read_at(P().block_position, head, 3)) {
        empty_block();
        return 0;
    }
    P().blocktype = head[0];
    P().block_length = get_le16(head + 1);
    for (const auto& [at, length] : ptp_host.mended_lengths)
        if (at == P().block_position) P().block_length = length;
    P().idx = 0;
    if (P().block_length > static_cast<long>(BUFFER_SIZE)) {
        empty_block();   // no Primo block is that long
        return 0;
    }
    const size_t got = std::fread(P().block_buffer.data(), 1, static_cast<size_t>(P().block_length), ptp_host.fp.get());
    P().block_length = static_cast<int32_t>(got);
    P().block_buffer[got] = 0;
    return 0;
}

int trap_read_byte(int*)
{
    set_a(P().block_buffer[P().idx]);
    if (P().idx < P().block_length) ++P().idx;
    return 0;
}

void save_report(bool saved)
{
    log_message("%s: %s\n", saved ? "PTP saved" : "PTP not saved", ptp_host.save_name.c_str());
    host_notify(saved ? host_note::ptp_saved : host_note::ptp_not_saved, ptp_host.save_name.c_str());
}

// Sum of the bytes between the type and the checksum, as stored.
uint8_t checksum(const std::vector<uint8_t>& content)
{
    unsigned sum = 0;
    for (size_t i = 1; i < content.size(); ++i) sum += content[i];
    return static_cast<uint8_t>(sum);
}

// Appends one block (marker, length, content, its checksum) to the file.
bool write_block(std::FILE* f, uint8_t marker, std::vector<uint8_t> content)
{
    content.push_back(checksum(content));
    uint8_t head[3] = {marker};
    put_le16(head + 1, static_cast<uint16_t>(content.size()));
    return std::fwrite(head, 1, 3, f) == 3 && std::fwrite(content.data(), 1, content.size(), f) == content.size();
}

// The name as a file name that stays in the current folder.
std::string safe_file_name(const std::string& name)
{
    std::string out;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        out += (u < 0x20 || u >= 0x7F || c == '/' || c == '\\') ? '_' : c;
    }
    return out + ".ptp";
}

int trap_save_name(int*)
{
    std::string text;
    for (uint16_t a = static_cast<uint16_t>(z80_state.de + 1); text.size() <= TAPE_NAME_MAX + 1; ++a) {
        const uint8_t c = mem_read(a);
        if (!c) break;
        text += static_cast<char>(c);
    }
    std::string name = text.size() > 1 ? text.substr(0, std::min(text.size() - 1, TAPE_NAME_MAX)) : "noname";
    ptp_host.save_name = safe_file_name(name);
    ptp_host.block_counter = 0;
    file_ptr f(std::fopen(ptp_host.save_name.c_str(), "wb"));
    std::vector<uint8_t> content = {mem_read(SAVETYPE), 0x00, static_cast<uint8_t>(name.size())};
    content.insert(content.end(), name.begin(), name.end());
    const uint8_t header[3] = {PROGRAM_MARK, 0, 0};
    if (!f || std::fwrite(header, 1, 3, f.get()) != 3 || !write_block(f.get(), MORE_BLOCKS, content)) {
        save_report(false);
        ptp_host.save_name.clear();
        return 0;
    }
    ptp_host.block_counter = 1;
    return 0;
}

int trap_save_data(int*)
{
    if (ptp_host.save_name.empty() || z80_state.hl <= z80_state.de) return 0;
    file_ptr f(std::fopen(ptp_host.save_name.c_str(), "ab"));
    if (!f) return 0;
    const uint8_t type = mem_read(SAVETYPE);
    const bool relative = type == 0xF1 || type == 0xF5 || type == 0xF7;
    const bool addressed = relative || type == 0xF9;
    if (!addressed) log_message("Unknown block type %x.\n", type);
    for (uint32_t from = z80_state.de; from < z80_state.hl; from += 256) {
        const uint32_t count = std::min<uint32_t>(256, z80_state.hl - from);
        std::vector<uint8_t> content = {type, conv_to_bcd(ptp_host.block_counter)};
        if (addressed) {
            const uint16_t address = static_cast<uint16_t>(relative ? from - z80_state.de : from);
            content.push_back(static_cast<uint8_t>(address));
            content.push_back(static_cast<uint8_t>(address >> 8));
        }
        content.push_back(static_cast<uint8_t>(count));
        for (uint32_t a = from; a < from + count; ++a) content.push_back(mem_read(static_cast<uint16_t>(a)));
        if (!write_block(f.get(), MORE_BLOCKS, content)) {
            save_report(false);
            return 0;
        }
        ++ptp_host.block_counter;
    }
    return 0;
}

int trap_save_end(int*)
{
    if (ptp_host.save_name.empty()) return 0;
    {
        file_ptr f(std::fopen(ptp_host.save_name.c_str(), "ab"));
        const uint8_t number = conv_to_bcd(ptp_host.block_counter);
        if (!f || !write_block(f.get(), LAST_BLOCK, {mem_read(SAVETYPE), number})) {
            save_report(false);
            return 0;
        }
    }
    file_ptr f(std::fopen(ptp_host.save_name.c_str(), "r+b"));
    if (!f || std::fseek(f.get(), 0, SEEK_END) != 0) return 0;
    const long size = std::ftell(f.get());
    uint8_t length[2];
    put_le16(length, static_cast<uint16_t>(size > 0xFFFF ? 0xFFFF : size));
    if (std::fseek(f.get(), 1, SEEK_SET) == 0 && std::fwrite(length, 1, 2, f.get()) == 2)
        save_report(true);
    return 0;
}

// The A/B ROM's savers and loaders, then the C64 ROM's loaders.
enum : int { TRAPS_AB, TRAPS_C };
constexpr trap_record ttp_traps[2][7] = {
    {
        {trap_save_name, 0x0092, 3, {0xED, 0x00, 0xC9}, {}},
        {trap_save_data, 0x0095, 3, {0xED, 0x01, 0xC9}, {}},
        {trap_save_end, 0x009B, 3, {0xED, 0x02, 0xC9}, {}},
        {trap_read_header, 0x3B49, 5, {0xED, 0x03, 0xC3, 0xAD, 0x3B}, {}},
        {trap_read_block, 0x3C75, 5, {0xED, 0x04, 0xED, 0x05, 0xC9}, {}},
        {trap_read_byte, 0x3CAC, 5, {0xED, 0x05, 0xC3, 0xB3, 0x3C}, {}},
        {nullptr, 0, 0, {}, {}},
    },
    {
        {trap_read_header, 0x0C6B, 5, {0xED, 0x00, 0xC3, 0xCF, 0x0C}, {}},
        {trap_read_block, 0x0D96, 5, {0xED, 0x01, 0xED, 0x02, 0xC9}, {}},
        {trap_read_byte, 0x0DCD, 5, {0xED, 0x02, 0xC3, 0xD4, 0x0D}, {}},
        {nullptr, 0, 0, {}, {}},
    },
};

void attach(file_ptr file, long position)
{
    ptp_host.fp = std::move(file);
    ptp_host.file_length = 0;
    if (ptp_host.fp && std::fseek(ptp_host.fp.get(), 0, SEEK_END) == 0) ptp_host.file_length = std::ftell(ptp_host.fp.get());
    P().file_pointer = static_cast<int32_t>(position);
    P().block_length = 0;
    P().blocktype = 0;
    P().idx = 0;
    P().block_buffer[0] = 0;
    tape_lamp_changed();
}

// Where a data block's bytes go: relative blocks from the program area's
// base (type x1, which also moves the end pointers) or the data base (x5).
uint16_t block_address(const uint8_t* c)
{
    const uint16_t address = get_le16(c + 2);
    if ((c[0] & 0x0F) == 1) return static_cast<uint16_t>(address + mem_read_word(PROGBASE));
    if ((c[0] & 0x0F) == 5) return static_cast<uint16_t>(address + mem_read_word(RELBASE));
    return address;
}
bool is_second_program(const uint8_t* c, size_t i) { return (c[0] & 0xF0) == 0x80 && i > 0 && c[1] != 0; }

// A known converter fault: the last data block's length counts the 3-byte
// head of the end block after it, while its content (whose own count says
// how long it is), its checksum and the end block are intact. Returns the
// length the block has, or 0 when this is not that fault.
size_t mended_length(const uint8_t* data, size_t pos, size_t end, size_t length)
{
    const uint8_t* c = data + pos + 3;
    if (length < 9 || ((c[0] & 0xF0) != 0xF0 && (c[0] & 0xF0) != 0xB0)) return 0;
    const size_t have = static_cast<size_t>(c[4] ? c[4] : 256) + 6;
    if (length != have + 3 || end - pos - 3 < have + 3) return 0;
    unsigned sum = 0;
    for (size_t i = 1; i + 1 < have; ++i) sum += c[i];
    const size_t last = pos + 3 + have;   // the end block
    if (static_cast<uint8_t>(sum) != c[have - 1] || data[last] != LAST_BLOCK) return 0;
    return last + 3 + get_le16(data + last + 1) == end ? have : 0;
}

// The mended blocks of a parsed image, for the trap reader; the shell hears
// of them once.
void remember_mended(const std::vector<uint8_t>& image, const std::vector<ptp_program>& programs,
                     const char* path)
{
    ptp_host.mended_lengths.clear();
    for (const ptp_program& program : programs)
        for (const ptp_block& block : program)
            if (get_le16(image.data() + block.start - 2) != block.length)
                ptp_host.mended_lengths.emplace_back(static_cast<long>(block.start - 3), static_cast<long>(block.length));
    if (!ptp_host.mended_lengths.empty()) host_notify(host_note::ptp_length_mended, path ? path : "");
}

// Structure of one program from `pos` up to `end`.
bool parse_blocks(const uint8_t* data, size_t pos, size_t end, ptp_program& blocks, std::string* error,
                  bool& mended)
{
    for (;;) {
        if (end - pos < 3) return refuse(error, at_offset("a program vége előtt hiányzik az utolsó blokk", pos));
        const uint8_t marker = data[pos];
        if (marker != MORE_BLOCKS && marker != LAST_BLOCK) return refuse(error, at_offset("ismeretlen blokkjelölő", pos));
        size_t length = get_le16(data + pos + 1);
        if (marker == MORE_BLOCKS && length <= end - pos - 3) {
            if (const size_t have = mended_length(data, pos, end, length)) {
                length = have;
                mended = true;
            }
        }
        if (length == 0) return refuse(error, at_offset("üres (0 hosszú) blokk", pos));
        if (length > end - pos - 3) return refuse(error, at_offset("a blokk túlnyúlik a programja végén", pos));
        blocks.push_back({pos + 3, length});
        pos += 3 + length;
        if (marker == LAST_BLOCK) return true;
    }
}

bool place_program(const uint8_t* data, const ptp_program& blocks, uint16_t* start, std::string* error)
{
    // Contents are checked before the first byte is stored. The last block
    // (marked 0xAA) ends the program; only 0xB9 there carries anything.
    const ptp_block& last = blocks.back();
    for (size_t i = 0; i + 1 < blocks.size(); ++i) {
        const ptp_block& b = blocks[i];
        const uint8_t* c = data + b.start;
        const int kind = c[0] & 0xF0;
        if (kind == 0xB0 || kind == 0xF0) {
            const size_t count = b.length >= 5 ? (c[4] ? c[4] : 256) : 0;
            if (b.length < 5 || b.length < 5 + count)
                return refuse(error, at_offset("az adatblokk rövidebb a tartalmánál", b.start - 3));
        }
    }
    for (size_t i = 0; i + 1 < blocks.size(); ++i) {
        const uint8_t* c = data + blocks[i].start;
        if (is_second_program(c, i)) break;
        if (((c[0] & 0xF0) == 0xB0 || (c[0] & 0xF0) == 0xF0) && !bus_load_allowed(block_address(c), c[4] ? c[4] : 256, error))
            return false;
    }
    if (data[last.start] == END_WITH_START && last.length < 4)
        return refuse(error, at_offset("a záróblokkból hiányzik a kezdőcím", last.start - 3));
    *start = 0;
    for (size_t i = 0; i + 1 < blocks.size(); ++i) {
        const uint8_t* c = data + blocks[i].start;
        const int kind = c[0] & 0xF0;
        if (is_second_program(c, i)) return true;
        if (kind == 0xB0 || kind == 0xF0) {
            const uint16_t address = block_address(c);
            const size_t count = c[4] ? c[4] : 256;
            if ((c[0] & 0x0F) == 1)
                for (uint16_t p : PROG_END_POINTERS) mem_write_word(p, static_cast<uint16_t>(address + count));
            bus_store(address, c + 5, count);
        }
    }
    if (data[last.start] == END_WITH_START) *start = get_le16(data + last.start + 2);
    return true;
}

}  // namespace

uint8_t conv_to_bcd(int n)
{
    const int m = ((n % 100) + 100) % 100;
    return static_cast<uint8_t>(m / 10 * 16 + m % 10);
}

bool ptp_parse(const uint8_t* data, size_t size, std::vector<ptp_program>& programs, std::string* error,
               bool* mended)
{
    programs.clear();
    bool any_mended = false;
    if (!data || size == 0) return refuse(error, "üres PTP állomány");
    size_t pos = 0;
    while (pos < size) {
        if (data[pos] != PROGRAM_MARK) return refuse(error, at_offset("hiányzik a PTP programfej (0xFF)", pos));
        if (size - pos < 3) return refuse(error, at_offset("csonka programfej", pos));
        const size_t length = get_le16(data + pos + 1);
        if (length < 3) return refuse(error, at_offset("a program hossza 3-nál kisebb", pos));
        if (length > size - pos) return refuse(error, at_offset("a program túlnyúlik az állomány végén", pos));
        ptp_program blocks;
        if (!parse_blocks(data, pos + 3, pos + length, blocks, error, any_mended)) return false;
        programs.push_back(std::move(blocks));
        pos += length;
    }
    if (mended) *mended = any_mended;
    return true;
}

bool ptp_load_image(const uint8_t* data, size_t size, uint16_t* start, std::string* error)
{
    std::vector<ptp_program> programs;
    uint16_t address = 0;
    if (!ptp_parse(data, size, programs, error)) return false;
    if (!place_program(data, programs.front(), &address, error)) return false;
    if (start) *start = address;
    return true;
}

// The whole file, read and checked; false with the reason.
bool read_image(const char* path, std::vector<uint8_t>& image, std::vector<ptp_program>& programs, std::string* error)
{
    std::string why;
    if (!read_file(path, IMAGE_LIMIT, image, why)) return refuse(error, why);
    return ptp_parse(image.data(), image.size(), programs, error);
}

bool ptp_load_file(const char* path, uint16_t* start, std::string* error)
{
    std::vector<uint8_t> image;
    std::vector<ptp_program> programs;
    if (!read_image(path, image, programs, error)) return false;
    uint16_t address = 0;
    if (!place_program(image.data(), programs.front(), &address, error)) return false;
    tape_close();
    if (start) *start = address;
    file_ptr f(std::fopen(path, "rb"));
    remember_mended(image, programs, path);
    if (f) {
        ptp_host.fname = path;
        tape_ptp_attach_from(f.release());
        P().file_pointer = get_le16(image.data() + 1);
        if (P().file_pointer >= ptp_host.file_length) P().file_pointer = 0;
    }
    return true;
}

bool tape_init(const char* path, std::string* why)
{
    std::vector<uint8_t> image;
    std::vector<ptp_program> programs;
    if (!read_image(path, image, programs, why)) return false;
    tape_close();
    ptp_place_traps();
    ptp_host.fname = path;
    remember_mended(image, programs, path);
    attach(file_ptr(std::fopen(path, "rb")), 0);
    return ptp_host.fp ? true : refuse(why, "nem nyitható meg");
}

void tape_ptp_attach_from(std::FILE* file)
{
    if (!file) return;
    const long position = std::ftell(file);
    attach(file_ptr(file), position < 0 ? 0 : position);
    ptp_place_traps();
}

int ptp_attached() { return ptp_host.fp ? 1 : 0; }

int ptp_serving()
{
    if (!ptp_host.fp || memory_get_machine_type() == MODEL_CPM) return 0;
    const uint8_t* rom = rom_pointer();
    const uint32_t header = rom[ID_OFFSET] == '9' ? ttp_traps[TRAPS_C][0].offset : ttp_traps[TRAPS_AB][3].offset;
    return rom[header] == 0xED ? 1 : 0;
}

void tape_reset()
{
    ptp_place_traps();
    if (ptp_host.fp) ptp_rewind();
}

void ptp_place_traps()
{
    if (memory_get_machine_type() == MODEL_CPM || tape_wav_open()) return;
    uint8_t* rom = rom_pointer();
    if (rom[ID_OFFSET] == '9')
        traps_set(ttp_traps[TRAPS_C], rom);
    else if (rom[ID_OFFSET] == '4')
        traps_set(ttp_traps[TRAPS_AB], rom);
    tape_lamp_changed();
}

void tape_remove_traps()
{
    if (memory_get_machine_type() == MODEL_CPM) return;   // its boot ROM is smaller and has none
    std::memcpy(rom_pointer(), source_rom_pointer(), 0x4000);
    tape_lamp_changed();
}

void ptp_rewind()
{
    if (ptp_host.fp) std::fseek(ptp_host.fp.get(), 0, SEEK_SET);
    P().file_pointer = 0;
    P().block_length = 0;
    P().blocktype = 0;
    P().idx = 0;
}

void ptp_close()
{
    ptp_host.fp.reset();
    tape_lamp_changed();
}

void ptp_device_reset(reset_kind kind)
{
    if (kind == reset_kind::power_on) ptp_place_traps();
    else if (kind != reset_kind::clock_change) tape_reset();
}

void ptp_device_state(state_io& io)
{
    ptp_t& p = P();
    io(p.file_pointer);
    io(p.block_position);
    io(p.block_length);
    io(p.blocktype);
    io(p.idx);
    if (io.loading()) p.block_length = std::clamp<int32_t>(p.block_length, 0, static_cast<int32_t>(BUFFER_SIZE));
    if (io.loading()) p.idx = std::clamp<int32_t>(p.idx, 0, p.block_length);
    for (int32_t i = 0; i <= p.block_length; ++i) io(p.block_buffer[static_cast<size_t>(i)]);
}
