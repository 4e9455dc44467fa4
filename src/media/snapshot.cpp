// PSS snapshots, taken and restored between frames.
#include "media/snapshot.h"

#include <cstring>
#include <vector>

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
constexpr char EXTRA_MARK[4] = {'B', 'R', 'V', '1'};
constexpr uint8_t PORT_GROUPS[] = {0x00, 0x40, 0x80, 0xC0};
constexpr uint16_t COLOR_BLOCK = 0xE000;

// The 16-bit registers in file order; I and R sit between SP and IX.
uint16_t* const pairs_before_ir[] = {&z80_state.bc, &z80_state.de, &z80_state.hl, &z80_state.af,
                                     &z80_state.bc_alt, &z80_state.de_alt, &z80_state.hl_alt,
                                     &z80_state.af_alt, &z80_state.pc, &z80_state.sp};
uint16_t* const pairs_after_ir[] = {&z80_state.ix, &z80_state.iy};

}  // namespace

int snapshot_save(const char* path, uint8_t* ram, std::string* error)
{
    if (!ram || !path || !*path) return 0;
    std::vector<uint8_t> image(PSS_SIZE, 0);
    std::memcpy(image.data(), "PS01", 4);
    uint8_t* p = image.data() + REGISTERS;
    for (uint16_t* r : pairs_before_ir) {
        put_le16(p, *r);
        p += 2;
    }
    *p++ = z80_state.i;
    *p++ = z80_state.r;
    for (uint16_t* r : pairs_after_ir) {
        put_le16(p, *r);
        p += 2;
    }
    for (size_t i = 0; i < 4; ++i) image[OUT_LATCHES + i] = static_cast<uint8_t>(snapshot_out(PORT_GROUPS[i]));
    for (size_t i = 0; i < 4; ++i) image[IN_VALUES + i] = z80_in(PORT_GROUPS[i]);
    std::memcpy(image.data() + MEMORY, ram, RAM_BYTES);
    uint8_t* extra = image.data() + EXTRA;
    std::memcpy(extra, EXTRA_MARK, 4);
    extra[4] = z80_state.iff1;
    extra[5] = z80_state.iff2;
    extra[6] = z80_state.im;
    extra[7] = z80_state.int_request ? 1 : 0;
    extra[8] = z80_state.nmi_request ? 1 : 0;
    extra[9] = z80_state.nmi_in_service ? 1 : 0;

    return write_whole_file(path, image.data(), image.size(), error) ? 1 : 0;
}

int snapshot_load_data(const uint8_t* data, size_t size, uint8_t* ram, std::string* error)
{
    if (!ram || !data || size != PSS_SIZE) {
        if (error) *error = std::to_string(size) + " bájtos, a PSS pillanatkép " + std::to_string(PSS_SIZE) + " bájtos";
        return 0;
    }
    const uint8_t* p = data + REGISTERS;
    for (uint16_t* r : pairs_before_ir) {
        *r = get_le16(p);
        p += 2;
    }
    z80_state.i = *p++;
    z80_state.r = *p++;
    for (uint16_t* r : pairs_after_ir) {
        *r = get_le16(p);
        p += 2;
    }
    const uint8_t* extra = data + EXTRA;
    if (std::memcmp(extra, EXTRA_MARK, 4) == 0) {
        z80_state.iff1 = extra[4] ? 1 : 0;
        z80_state.iff2 = extra[5] ? 1 : 0;
        z80_state.im = extra[6] <= 2 ? extra[6] : 1;
    }
    const uint8_t control = data[OUT_LATCHES];
    z80_out(0x00, control);
    snapshot_in(0x00, data[IN_VALUES]);
    std::memcpy(ram, data + MEMORY, RAM_BYTES);
    // The lines after the port write, which may have withdrawn the NMI.
    if (std::memcmp(extra, EXTRA_MARK, 4) == 0) {
        z80_state.int_request = extra[7] ? 1 : 0;
        z80_state.nmi_request = extra[8] ? 1 : 0;
        z80_state.nmi_in_service = extra[9] ? 1 : 0;
    }
    // The speaker follows the loaded control register's bit 4.
    sound_update(z80_state.tcount);
    beeper_set_level((control >> 4) & 1);
    if (memory_get_machine_type() == MODEL_C64) {
        uint8_t* block = ram + (COLOR_BLOCK - 0x4000);
        block[1] |= 0x80;
        color_reset();
        do_color_control(block);
    }
    return 1;
}

int snapshot_load(const char* path, uint8_t* ram, std::string* error)
{
    std::vector<uint8_t> image;
    std::string why;
    if (!read_file(path, 1 << 20, image, why)) {
        if (error) *error = why;
        return 0;
    }
    return snapshot_load_data(image.data(), image.size(), ram, error);
}
