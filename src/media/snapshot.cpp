// PSS snapshots, taken and restored between frames.
#include "media/snapshot.h"

#include <cstring>
#include <vector>

#include "core/bus.h"
#include "core/device.h"
#include "core/machine.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "devices/beeper.h"
#include "devices/color.h"
#include "media/fileio.h"
#include "sound/sound.h"

namespace {

constexpr size_t REGISTERS = 0x0004;
constexpr size_t OUT_LATCHES = 0x001E;
constexpr size_t IN_VALUES = 0x0022;
constexpr size_t MEMORY = 0x0026;
constexpr size_t RAM_BYTES = 0xC000;
constexpr size_t EXTRA = MEMORY + RAM_BYTES;
constexpr size_t EXTRA_BYTES = PSS_SIZE - EXTRA;
constexpr char EXTRA_MARK[4] = {'B', 'R', 'V', '1'};
constexpr uint8_t PORT_GROUPS[] = {0x00, 0x40, 0x80, 0xC0};
constexpr uint16_t COLOR_BLOCK = 0xE000;
constexpr size_t FILE_LIMIT = 1 << 20;

// The extension block behind the mark. Bytes 4-9 are the interrupt state
// every Brevan file carries; from version 2 on, the records of the whole
// machine follow, packed, here when they fit and after the 49702 bytes when
// they do not (the CP/M model's RAM bank, a sector under way).
enum : size_t {
    X_IFF1 = 4, X_IFF2, X_IM, X_INT, X_NMI, X_NMI_SERVICE,
    X_VERSION = 10, X_MODEL = 11, X_CLOCK = 12, X_LENGTH = 16, X_IN_TAIL = 18, X_DATA = 19,
};
constexpr uint8_t RECORDS_VERSION = 2;
constexpr size_t IN_BLOCK = EXTRA_BYTES - X_DATA;

// The 16-bit registers in file order; I and R sit between SP and IX.
using pair = uint16_t z80_state_t::*;
constexpr pair pairs_before_ir[] = {&z80_state_t::bc, &z80_state_t::de, &z80_state_t::hl, &z80_state_t::af,
                                    &z80_state_t::bc_alt, &z80_state_t::de_alt, &z80_state_t::hl_alt,
                                    &z80_state_t::af_alt, &z80_state_t::pc, &z80_state_t::sp};
constexpr pair pairs_after_ir[] = {&z80_state_t::ix, &z80_state_t::iy};

// Runs of equal bytes, as records mostly are: a count byte c below 128
// takes the next c + 1 bytes as they are, one above 128 repeats the next
// byte 257 - c times.
std::vector<uint8_t> pack(const std::vector<uint8_t>& in)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < in.size();) {
        size_t run = 1;
        while (i + run < in.size() && run < 128 && in[i + run] == in[i]) ++run;
        if (run >= 2) {
            out.push_back(static_cast<uint8_t>(257 - run));
            out.push_back(in[i]);
            i += run;
            continue;
        }
        size_t literal = 1;
        while (i + literal < in.size() && literal < 128 &&
               !(i + literal + 1 < in.size() && in[i + literal] == in[i + literal + 1]))
            ++literal;
        out.push_back(static_cast<uint8_t>(literal - 1));
        out.insert(out.end(), in.begin() + static_cast<long>(i), in.begin() + static_cast<long>(i + literal));
        i += literal;
    }
    return out;
}

bool unpack(const uint8_t* in, size_t size, std::vector<uint8_t>& out)
{
    out.clear();
    for (size_t i = 0; i < size;) {
        const uint8_t c = in[i++];
        if (c < 128) {
            if (size - i < size_t{c} + 1u) return false;
            out.insert(out.end(), in + i, in + i + c + 1);
            i += c + 1u;
        } else if (c > 128) {
            if (i >= size) return false;
            out.insert(out.end(), 257u - c, in[i++]);
        } else {
            return false;
        }
    }
    return true;
}

bool refuse(std::string* why, size_t size)
{
    if (why) *why = std::to_string(size) + " bájtos, a PSS pillanatkép " + std::to_string(PSS_SIZE) + " bájtos";
    return false;
}

// The packed records of the file, when it has them and they belong to the
// running model and clock; false when the file's size does not fit what
// its block says.
bool records_of(const uint8_t* data, size_t size, std::vector<uint8_t>& records)
{
    records.clear();
    const uint8_t* x = data + EXTRA;
    const bool marked = std::memcmp(x, EXTRA_MARK, 4) == 0 && x[X_VERSION] >= RECORDS_VERSION;
    if (!marked) return size == PSS_SIZE;
    const size_t length = get_le16(x + X_LENGTH);
    const bool in_tail = x[X_IN_TAIL] != 0;
    if (in_tail ? size != PSS_SIZE + length : size != PSS_SIZE || length > IN_BLOCK) return false;
    if (x[X_MODEL] != the_machine.mem.type || get_le32(x + X_CLOCK) != static_cast<uint32_t>(the_machine.clock)) return true;
    const uint8_t* packed = in_tail ? data + PSS_SIZE : x + X_DATA;
    if (!unpack(packed, length, records)) records.clear();
    return true;
}

}  // namespace

bool snapshot_save(const char* path, std::string* error)
{
    if (!path || !*path) {
        if (error) *error = "nincs állománynév";
        return false;
    }
    std::vector<uint8_t> image(PSS_SIZE, 0);
    std::memcpy(image.data(), "PS01", 4);
    uint8_t* p = image.data() + REGISTERS;
    for (pair r : pairs_before_ir) {
        put_le16(p, z80_state.*r);
        p += 2;
    }
    *p++ = z80_state.i;
    *p++ = z80_state.r;
    for (pair r : pairs_after_ir) {
        put_le16(p, z80_state.*r);
        p += 2;
    }
    for (size_t i = 0; i < 4; ++i) image[OUT_LATCHES + i] = static_cast<uint8_t>(snapshot_out(PORT_GROUPS[i]));
    for (size_t i = 0; i < 4; ++i) image[IN_VALUES + i] = z80_in(PORT_GROUPS[i]);
    std::memcpy(image.data() + MEMORY, memory_get_ram(), RAM_BYTES);
    uint8_t* x = image.data() + EXTRA;
    std::memcpy(x, EXTRA_MARK, 4);
    x[X_IFF1] = z80_state.iff1;
    x[X_IFF2] = z80_state.iff2;
    x[X_IM] = z80_state.im;
    x[X_INT] = z80_state.int_request ? 1 : 0;
    x[X_NMI] = z80_state.nmi_request ? 1 : 0;
    x[X_NMI_SERVICE] = z80_state.nmi_in_service ? 1 : 0;
    x[X_VERSION] = RECORDS_VERSION;
    x[X_MODEL] = static_cast<uint8_t>(the_machine.mem.type);
    put_le32(x + X_CLOCK, static_cast<uint32_t>(the_machine.clock));
    const std::vector<uint8_t> packed = pack(devices_save());
    put_le16(x + X_LENGTH, static_cast<uint16_t>(packed.size()));
    if (packed.size() <= IN_BLOCK) {
        std::copy(packed.begin(), packed.end(), x + X_DATA);
    } else {
        x[X_IN_TAIL] = 1;
        image.insert(image.end(), packed.begin(), packed.end());
    }
    return write_whole_file(path, image.data(), image.size(), error);
}

bool snapshot_load_data(const uint8_t* data, size_t size, std::string* error)
{
    std::vector<uint8_t> records;
    if (!data || size < PSS_SIZE || !records_of(data, size, records)) return refuse(error, size);
    const uint8_t* p = data + REGISTERS;
    for (pair r : pairs_before_ir) {
        z80_state.*r = get_le16(p);
        p += 2;
    }
    z80_state.i = *p++;
    z80_state.r = *p++;
    for (pair r : pairs_after_ir) {
        z80_state.*r = get_le16(p);
        p += 2;
    }
    const uint8_t* x = data + EXTRA;
    const bool marked = std::memcmp(x, EXTRA_MARK, 4) == 0;
    if (marked) {
        z80_state.iff1 = x[X_IFF1] ? 1 : 0;
        z80_state.iff2 = x[X_IFF2] ? 1 : 0;
        z80_state.im = x[X_IM] <= 2 ? x[X_IM] : 1;
    }
    const uint8_t control = data[OUT_LATCHES];
    z80_out(0x00, control);
    snapshot_in(0x00, data[IN_VALUES]);
    std::memcpy(memory_get_ram(), data + MEMORY, RAM_BYTES);
    // The lines after the port write, which may have withdrawn the NMI.
    if (marked) {
        z80_state.int_request = x[X_INT] ? 1 : 0;
        z80_state.nmi_request = x[X_NMI] ? 1 : 0;
        z80_state.nmi_in_service = x[X_NMI_SERVICE] ? 1 : 0;
    }
    // The speaker follows the loaded control register's bit 4.
    sound_update(z80_state.tcount);
    beeper_set_level((control >> 4) & 1);
    if (!records.empty() && devices_load(records.data(), records.size())) {
        machine_restored();
        return true;
    }
    if (memory_get_machine_type() == MODEL_C64) {
        uint8_t* block = memory_get_ram() + (COLOR_BLOCK - RAM_START);
        block[1] |= 0x80;
        color_reset();
        do_color_control(block);
    }
    return true;
}

bool snapshot_load(const char* path, std::string* error)
{
    std::vector<uint8_t> image;
    std::string why;
    if (!read_file(path, FILE_LIMIT, image, why)) {
        if (error) *error = why;
        return false;
    }
    return snapshot_load_data(image.data(), image.size(), error);
}
