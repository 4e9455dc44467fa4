// The port table: which device answers each IN and OUT on each model, and
// the machine's own two ports (the keyboard input and the control register,
// whose bits fan out to the devices).
#include <array>

#include "core/bus.h"
#include "devices/beeper.h"
#include "devices/input.h"
#include "devices/printer.h"
#include "devices/serial.h"
#include "devices/tape.h"
#include "devices/wd1793.h"
#include "sound/sound.h"

namespace {

using port_reader = uint8_t (*)(uint8_t port);
using port_writer = void (*)(uint8_t port, uint8_t value);

// An entry answers the ports with (port AND mask) = value on the models of
// its bit set; the first entry that matches and has a reader (a writer)
// takes the access. Ports nobody answers read 0xFF and drop writes.
struct port_entry {
    uint8_t mask;
    uint8_t value;
    uint8_t models;
    port_reader read;
    port_writer write;
};

constexpr uint8_t ALL_MODELS = 0xFF;
constexpr uint8_t CPM_ONLY = 1 << MODEL_CPM;
constexpr uint8_t NOT_CPM = ALL_MODELS & ~CPM_ONLY;

// Bit 0 the key at (port AND 0x3F), 1 = pressed; bit 1 the reset button;
// bit 2 the tape input; bit 5 vertical blanking.
uint8_t keyboard_port_read(uint8_t port)
{
    uint8_t value = input_get_key_state(port & 0x3F) ? 0x01 : 0x00;
    if (the_machine.reset_button_pressed) value |= 0x02;
    value |= the_machine.tape.read_in & 0x04;
    if (the_machine.vblank) value |= 0x20;
    return value;
}

void control_port_write(uint8_t, uint8_t value)
{
    memory_t& m = the_machine.mem;
    const uint8_t previous = m.port_0;
    const uint8_t changes = control_register_changes(previous, value);
    const int64_t now = the_machine.cpu.tcount;

    the_machine.nmi_allowed = value & 0x80;
    if (changes & CTRL_NMI_WITHDRAW) {
        the_machine.cpu.nmi_request = 0;
        the_machine.cpu.nmi_in_service = 0;
    }
    if (changes & CTRL_JOY_STEP) input_set_joy_stepper(now);
    if (changes & CTRL_TAPE_REMOTE) tape_remote_control((value & 0x04) ? 0 : 4);
    if (changes & CTRL_BEEPER) {
        sound_update(now);
        beeper_set_level((value >> 4) & 1);
    }
    m.page = memory_page_of(value);
    // The WAV writer gets the output level that has just ended.
    if (changes & CTRL_TAPE_OUT) tape_save_wav(now, previous & 0x03);
    m.port_0 = value;
}

// The serial bus lines with the two joystick data lines pulled onto bits 0
// and 2.
uint8_t bus_port_read(uint8_t)
{
    return static_cast<uint8_t>((serial_bus_read(the_machine.cpu.tcount) | 0x05) & ~input_get_joy_bits());
}

void printer_port_write(uint8_t, uint8_t value) { print_byte(value); }

// Bus outputs are bits 1, 2, 4 and 5, inverted; the rest read 1.
void serial_port_write(uint8_t, uint8_t value)
{
    serial_bus_write(static_cast<uint8_t>(~(value & 0x36)), the_machine.cpu.tcount);
}

uint8_t fdc_register_read(uint8_t port) { return static_cast<uint8_t>(wd1793_read_reg(port & 3) & 0xFF); }
void fdc_register_write(uint8_t port, uint8_t value) { wd1793_write_reg(port & 3, value); }
uint8_t fdc_select_read(uint8_t) { return wd1793_read_select(); }
void fdc_select_write(uint8_t, uint8_t value) { wd1793_write_select(value); }

void bank_port_write(uint8_t, uint8_t value)
{
    memory_t& m = the_machine.mem;
    if (m.rom_banking) m.bank_nr = value & 3;
}

constexpr port_entry port_table[] = {
    {0xC0, 0x00, ALL_MODELS, keyboard_port_read, control_port_write},
    {0xC0, 0x40, ALL_MODELS, bus_port_read, printer_port_write},
    {0xF4, 0xB0, CPM_ONLY, fdc_register_read, fdc_register_write},   // B0-B3, B8-BB
    {0xFF, 0xB7, CPM_ONLY, fdc_select_read, fdc_select_write},
    {0xC0, 0x80, NOT_CPM, nullptr, serial_port_write},
    {0xC2, 0xC0, ALL_MODELS, nullptr, bank_port_write},              // port bit 1 clear
};
constexpr uint8_t NO_ENTRY = 0xFF;

// Per model and port, the index of the entry that reads (writes) it: the
// table decoded once, at compile time.
using port_index = std::array<std::array<uint8_t, 256>, MODEL_COUNT>;
template <bool Reads>
constexpr port_index decode()
{
    port_index index{};
    for (int model = 0; model < MODEL_COUNT; ++model) {
        for (int port = 0; port < 256; ++port) {
            uint8_t found = NO_ENTRY;
            for (size_t e = 0; e < std::size(port_table) && found == NO_ENTRY; ++e) {
                const port_entry& p = port_table[e];
                const bool serves = Reads ? p.read != nullptr : p.write != nullptr;
                if (serves && (p.models >> model & 1) && (port & p.mask) == p.value) found = static_cast<uint8_t>(e);
            }
            index[static_cast<size_t>(model)][static_cast<size_t>(port)] = found;
        }
    }
    return index;
}
constexpr port_index readers = decode<true>();
constexpr port_index writers = decode<false>();

}  // namespace

uint8_t control_register_changes(uint8_t previous, uint8_t value)
{
    const uint8_t changed = previous ^ value;
    uint8_t calls = 0;
    if (!(value & 0x80)) calls |= CTRL_NMI_WITHDRAW;
    if ((changed & 0x40) && (value & 0x40)) calls |= CTRL_JOY_STEP;
    if (changed & 0x24) calls |= CTRL_TAPE_REMOTE;
    if (changed & 0x10) calls |= CTRL_BEEPER;
    if (changed & 0x03) calls |= CTRL_TAPE_OUT;
    return calls;
}

void z80_out(uint8_t port, uint8_t value)
{
    const uint8_t e = writers[static_cast<size_t>(the_machine.mem.type)][port];
    if (e != NO_ENTRY) port_table[e].write(port, value);
}

uint8_t z80_in(uint8_t port)
{
    const uint8_t e = readers[static_cast<size_t>(the_machine.mem.type)][port];
    return e != NO_ENTRY ? port_table[e].read(port) : 0xFF;
}

int snapshot_out(int port)
{
    return port < 0x40 ? the_machine.mem.port_0 : -1;
}

void snapshot_in(int port, int value)
{
    if (port >= 0x40) return;
    the_machine.reset_button_pressed = (value >> 1) & 1;
    the_machine.vblank = (value >> 5) & 1;
}
