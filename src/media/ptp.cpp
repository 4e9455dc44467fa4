// PTP images: the reader behind the ROM's load routines, the writer behind
// the A/B ROM's save routines, and the fast loader.
#include "media/ptp.h"

#include <cctype>
#include <cstring>

#include <utility>

#include "core/hooks.h"
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

// Reader state.
file_ptr fp;
std::string fname;
long file_length = 0;
long file_pointer = 0;
long block_position = 0;
long block_length = 0;
uint8_t blocktype = 0;
// One byte more than a block can hold: reads past a block's end return it.
uint8_t block_buffer[BUFFER_SIZE + 1];
int idx = 0;
// Blocks of the attached file whose length field is mended: the file
// offset of the marker and the length the block really has.
std::vector<std::pair<long, long>> mended_lengths;

// Writer state: the file the save routines build (not the attached one).
std::string save_name;
uint8_t block_counter = 0;

std::string at_offset(const char* what, size_t offset)
{
    return std::string(what) + " (" + std::to_string(offset) + ". bájt)";
}

void set_a(uint8_t value) { z80_state.af = static_cast<uint16_t>(value << 8 | (z80_state.af & 0xFF)); }

// The ROM sees the end of the data: every byte it asks for reads 0.
void empty_block()
{
    blocktype = LAST_BLOCK;
    block_length = 0;
    idx = 0;
    block_buffer[0] = 0;
}

bool read_at(long offset, uint8_t* out, size_t count)
{
    return std::fseek(fp.get(), offset, SEEK_SET) == 0 && std::fread(out, 1, count, fp.get()) == count;
}

int trap_read_header(int*)
{
    uint8_t header[3];
    if (!fp || !read_at(file_pointer, header, 3) || header[0] != PROGRAM_MARK || get_le16(header + 1) < 3) {
        file_pointer = 0;
        empty_block();
        return 0;
    }
    block_length = 0;
    blocktype = 0;
    block_position = file_pointer + 3;
    file_pointer += get_le16(header + 1);
    if (file_pointer >= file_length) file_pointer = 0;   // round to the first program
    return 0;
}

int trap_read_block(int*)
{
    if (!fp || blocktype == LAST_BLOCK) {
        empty_block();
        return 0;
    }
    if (block_length != 0) block_position += block_length + 3;
    uint8_t head[3];
    if (!read_at(block_position, head, 3)) {
        empty_block();
        return 0;
    }
    blocktype = head[0];
    block_length = get_le16(head + 1);
    for (const auto& [at, length] : mended_lengths)
        if (at == block_position) block_length = length;
    idx = 0;
    if (block_length > static_cast<long>(BUFFER_SIZE)) {
        empty_block();   // no Primo block is that long
        return 0;
    }
    const size_t got = std::fread(block_buffer, 1, static_cast<size_t>(block_length), fp.get());
    block_length = static_cast<long>(got);
    block_buffer[got] = 0;
    return 0;
}

int trap_read_byte(int*)
{
    set_a(block_buffer[idx]);
    if (idx < block_length) ++idx;
    return 0;
}

void save_report(const char* what)
{
    StatusBarText("%s: %s", what, save_name.c_str());
    std::fprintf(stderr, "%s: %s\n", what, save_name.c_str());
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
    save_name = safe_file_name(name);
    block_counter = 0;
    file_ptr f(std::fopen(save_name.c_str(), "wb"));
    std::vector<uint8_t> content = {mem_read(SAVETYPE), 0x00, static_cast<uint8_t>(name.size())};
    content.insert(content.end(), name.begin(), name.end());
    const uint8_t header[3] = {PROGRAM_MARK, 0, 0};
    if (!f || std::fwrite(header, 1, 3, f.get()) != 3 || !write_block(f.get(), MORE_BLOCKS, content)) {
        save_report("A PTP nem menthető");
        save_name.clear();
        return 0;
    }
    block_counter = 1;
    return 0;
}

int trap_save_data(int*)
{
    if (save_name.empty() || z80_state.hl <= z80_state.de) return 0;
    file_ptr f(std::fopen(save_name.c_str(), "ab"));
    if (!f) return 0;
    const uint8_t type = mem_read(SAVETYPE);
    const bool relative = type == 0xF1 || type == 0xF5 || type == 0xF7;
    const bool addressed = relative || type == 0xF9;
    if (!addressed) std::fprintf(stderr, "Unknown block type %x.\n", type);
    const uint8_t* image = rom_pointer();
    for (uint32_t from = z80_state.de; from < z80_state.hl; from += 256) {
        const uint32_t count = std::min<uint32_t>(256, z80_state.hl - from);
        std::vector<uint8_t> content = {type, conv_to_bcd(block_counter)};
        if (addressed) {
            const uint16_t address = static_cast<uint16_t>(relative ? from - z80_state.de : from);
            content.push_back(static_cast<uint8_t>(address));
            content.push_back(static_cast<uint8_t>(address >> 8));
        }
        content.push_back(static_cast<uint8_t>(count));
        content.insert(content.end(), image + from, image + from + count);
        if (!write_block(f.get(), MORE_BLOCKS, content)) {
            save_report("A PTP nem menthető");
            return 0;
        }
        ++block_counter;
    }
    return 0;
}

int trap_save_end(int*)
{
    if (save_name.empty()) return 0;
    {
        file_ptr f(std::fopen(save_name.c_str(), "ab"));
        const uint8_t number = conv_to_bcd(block_counter);
        if (!f || !write_block(f.get(), LAST_BLOCK, {mem_read(SAVETYPE), number})) {
            save_report("A PTP nem menthető");
            return 0;
        }
    }
    file_ptr f(std::fopen(save_name.c_str(), "r+b"));
    if (!f || std::fseek(f.get(), 0, SEEK_END) != 0) return 0;
    const long size = std::ftell(f.get());
    uint8_t length[2];
    put_le16(length, static_cast<uint16_t>(size > 0xFFFF ? 0xFFFF : size));
    if (std::fseek(f.get(), 1, SEEK_SET) == 0 && std::fwrite(length, 1, 2, f.get()) == 2)
        save_report("PTP mentve");
    return 0;
}

trap_record ttp_traps_c[] = {
    {trap_read_header, 0x0C6B, 5, {0xED, 0x00, 0xC3, 0xCF, 0x0C}, {}},
    {trap_read_block, 0x0D96, 5, {0xED, 0x01, 0xED, 0x02, 0xC9}, {}},
    {trap_read_byte, 0x0DCD, 5, {0xED, 0x02, 0xC3, 0xD4, 0x0D}, {}},
    {nullptr, 0, 0, {}, {}},
};

trap_record ttp_traps_ab[] = {
    {trap_save_name, 0x0092, 3, {0xED, 0x00, 0xC9}, {}},
    {trap_save_data, 0x0095, 3, {0xED, 0x01, 0xC9}, {}},
    {trap_save_end, 0x009B, 3, {0xED, 0x02, 0xC9}, {}},
    {trap_read_header, 0x3B49, 5, {0xED, 0x03, 0xC3, 0xAD, 0x3B}, {}},
    {trap_read_block, 0x3C75, 5, {0xED, 0x04, 0xED, 0x05, 0xC9}, {}},
    {trap_read_byte, 0x3CAC, 5, {0xED, 0x05, 0xC3, 0xB3, 0x3C}, {}},
    {nullptr, 0, 0, {}, {}},
};

void attach(file_ptr file, long position)
{
    fp = std::move(file);
    file_length = 0;
    if (fp && std::fseek(fp.get(), 0, SEEK_END) == 0) file_length = std::ftell(fp.get());
    file_pointer = position;
    block_length = 0;
    blocktype = 0;
    idx = 0;
    block_buffer[0] = 0;
    tape_lamp_changed();
}

// The mended blocks of a parsed image, for the trap reader; the shell hears
// of them once.
void remember_mended(const std::vector<uint8_t>& image, const std::vector<ptp_program>& programs,
                     const char* path)
{
    mended_lengths.clear();
    for (const ptp_program& program : programs)
        for (const ptp_block& block : program)
            if (get_le16(image.data() + block.start - 2) != block.length)
                mended_lengths.emplace_back(static_cast<long>(block.start - 3), static_cast<long>(block.length));
    if (mended_lengths.empty()) return;
    machine_notice notice(notice_kind::ptp_length_mended);
    notice.file = path ? path : "";
    host_notice(notice);
}

int refuse(std::string* error, const std::string& why)
{
    if (error) *error = why;
    return 0;
}

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

// Structure of one program from `pos` up to `end`.
bool parse_blocks(const uint8_t* data, size_t pos, size_t end, ptp_program& blocks, std::string& error,
                  bool& mended)
{
    for (;;) {
        if (end - pos < 3) {
            error = at_offset("a program vége előtt hiányzik az utolsó blokk", pos);
            return false;
        }
        const uint8_t marker = data[pos];
        if (marker != MORE_BLOCKS && marker != LAST_BLOCK) {
            error = at_offset("ismeretlen blokkjelölő", pos);
            return false;
        }
        size_t length = get_le16(data + pos + 1);
        if (marker == MORE_BLOCKS && length <= end - pos - 3) {
            if (const size_t have = mended_length(data, pos, end, length)) {
                length = have;
                mended = true;
            }
        }
        if (length == 0) {
            error = at_offset("üres (0 hosszú) blokk", pos);
            return false;
        }
        if (length > end - pos - 3) {
            error = at_offset("a blokk túlnyúlik a programja végén", pos);
            return false;
        }
        blocks.push_back({pos + 3, length});
        pos += 3 + length;
        if (marker == LAST_BLOCK) return true;
    }
}

int place_program(const uint8_t* data, const ptp_program& blocks, uint16_t* start, std::string* error)
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
    if (data[last.start] == END_WITH_START && last.length < 4)
        return refuse(error, at_offset("a záróblokkból hiányzik a kezdőcím", last.start - 3));
    *start = 0;
    uint8_t* ram = memory_get_ram();
    for (size_t i = 0; i + 1 < blocks.size(); ++i) {
        const uint8_t* c = data + blocks[i].start;
        const int kind = c[0] & 0xF0;
        if (kind == 0x80 && i > 0 && c[1] != 0) return 1;   // a second program begins
        if (kind == 0xB0 || kind == 0xF0) {
            uint16_t address = get_le16(c + 2);
            const size_t count = c[4] ? c[4] : 256;
            if ((c[0] & 0x0F) == 1) {
                address = static_cast<uint16_t>(address + mem_read_word(PROGBASE));
                for (uint16_t p : PROG_END_POINTERS) mem_write_word(p, static_cast<uint16_t>(address + count));
            } else if ((c[0] & 0x0F) == 5) {
                address = static_cast<uint16_t>(address + mem_read_word(RELBASE));
            }
            pri_store(ram, address, c + 5, count);
        }
    }
    if (data[last.start] == END_WITH_START) *start = get_le16(data + last.start + 2);
    return 1;
}

}  // namespace

uint8_t conv_to_bcd(int n)
{
    const int m = ((n % 100) + 100) % 100;
    return static_cast<uint8_t>(m / 10 * 16 + m % 10);
}

int ptp_parse(const uint8_t* data, size_t size, std::vector<ptp_program>& programs, std::string& error,
              bool* mended)
{
    programs.clear();
    bool any_mended = false;
    if (!data || size == 0) {
        error = "üres PTP állomány";
        return 0;
    }
    size_t pos = 0;
    while (pos < size) {
        if (data[pos] != PROGRAM_MARK) {
            error = at_offset("hiányzik a PTP programfej (0xFF)", pos);
            return 0;
        }
        if (size - pos < 3) {
            error = at_offset("csonka programfej", pos);
            return 0;
        }
        const size_t length = get_le16(data + pos + 1);
        if (length < 3) {
            error = at_offset("a program hossza 3-nál kisebb", pos);
            return 0;
        }
        if (length > size - pos) {
            error = at_offset("a program túlnyúlik az állomány végén", pos);
            return 0;
        }
        ptp_program blocks;
        if (!parse_blocks(data, pos + 3, pos + length, blocks, error, any_mended)) return 0;
        programs.push_back(std::move(blocks));
        pos += length;
    }
    if (mended) *mended = any_mended;
    return 1;
}

int ptp_load_image(const uint8_t* data, size_t size, uint16_t* start, std::string* error)
{
    std::vector<ptp_program> programs;
    std::string why;
    uint16_t address = 0;
    if (!ptp_parse(data, size, programs, why)) return refuse(error, why);
    if (!place_program(data, programs.front(), &address, error)) return 0;
    if (start) *start = address;
    return 1;
}

int ptp_load_file(const char* path, uint16_t* start, std::string* error)
{
    std::vector<uint8_t> image;
    std::string why;
    std::vector<ptp_program> programs;
    if (!read_file(path, IMAGE_LIMIT, image, why) || !ptp_parse(image.data(), image.size(), programs, why))
        return refuse(error, why);
    uint16_t address = 0;
    tape_close();
    if (!place_program(image.data(), programs.front(), &address, error)) return 0;
    if (start) *start = address;
    file_ptr f(std::fopen(path, "rb"));
    remember_mended(image, programs, path);
    if (f) {
        fname = path;
        tape_ptp_attach_from(f.release());
        file_pointer = get_le16(image.data() + 1);
        if (file_pointer >= file_length) file_pointer = 0;
    }
    return 1;
}

uint16_t ptp_load(const char* path)
{
    uint16_t start = 0;
    return ptp_load_file(path, &start, nullptr) ? start : 0;
}

int tape_init(const char* path)
{
    std::vector<uint8_t> image;
    std::vector<ptp_program> programs;
    std::string why;
    if (!read_file(path, IMAGE_LIMIT, image, why) || !ptp_parse(image.data(), image.size(), programs, why)) {
        host_message_box("PTP csatolás", ("A(z) \"" + std::string(path ? path : "") + "\" nem csatolható: " + why).c_str());
        return 0;
    }
    tape_close();
    ptp_place_traps();
    fname = path;
    remember_mended(image, programs, path);
    attach(file_ptr(std::fopen(path, "rb")), 0);
    return fp ? 1 : 0;
}

void tape_ptp_attach_from(std::FILE* file)
{
    if (!file) return;
    const long position = std::ftell(file);
    attach(file_ptr(file), position < 0 ? 0 : position);
    ptp_place_traps();
}

int ptp_attached() { return fp ? 1 : 0; }

int ptp_serving()
{
    if (!fp || memory_get_machine_type() == MODEL_CPM) return 0;
    const uint8_t* rom = rom_pointer();
    const uint32_t header = rom[ID_OFFSET] == '9' ? ttp_traps_c[0].offset : ttp_traps_ab[3].offset;
    return rom[header] == 0xED ? 1 : 0;
}

void tape_reset()
{
    ptp_place_traps();
    if (fp) ptp_rewind();
}

void ptp_place_traps()
{
    if (memory_get_machine_type() == MODEL_CPM || tape_wav_open()) return;
    uint8_t* rom = rom_pointer();
    if (rom[ID_OFFSET] == '9')
        traps_set(ttp_traps_c, rom);
    else if (rom[ID_OFFSET] == '4')
        traps_set(ttp_traps_ab, rom);
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
    if (fp) std::fseek(fp.get(), 0, SEEK_SET);
    file_pointer = 0;
    block_length = 0;
    blocktype = 0;
    idx = 0;
}

void ptp_close()
{
    fp.reset();
    tape_lamp_changed();
}
