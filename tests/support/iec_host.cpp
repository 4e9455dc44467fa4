#include "support/iec_host.h"

#include "devices/serial.h"

namespace {
constexpr uint8_t CLK = 0x20, DATA = 0x10, ATN = 0x02;
constexpr int64_t POLL = 40;   // T-states of one poll, as in the firmware's loops
}

void iec_host::out(uint8_t pulled)
{
    pulled_ = pulled;
    now += POLL / 2;
    if (record) record->push_back({true, static_cast<uint8_t>(~pulled), POLL / 2});
    serial_bus_write(static_cast<uint8_t>(~pulled), now);
}

uint8_t iec_host::in()
{
    now += POLL;
    if (record) record->push_back({false, 0, POLL});
    return serial_bus_read(now);
}

bool iec_host::wait(uint8_t mask, uint8_t want, int polls)
{
    for (int i = 0; i < polls; ++i)
        if ((in() & mask) == want) return true;
    return false;
}

void iec_host::settle(int polls)
{
    for (int i = 0; i < polls; ++i) in();
}

bool iec_host::send(uint8_t byte, bool last)
{
    out(pulled_ & ATN);
    if (!wait(DATA, DATA)) return false;
    if (last && !(wait(DATA, 0) && wait(DATA, DATA))) return false;
    if (hold_before_bits) {
        settle(static_cast<int>(hold_before_bits / POLL));
        hold_before_bits = 0;
    }
    for (int bit = 0; bit < 8; ++bit) {
        out(static_cast<uint8_t>((pulled_ & ATN) | CLK | ((byte >> bit) & 1 ? 0 : DATA)));
        in();
        out(static_cast<uint8_t>(pulled_ & ~CLK));
        in();
    }
    out(static_cast<uint8_t>((pulled_ & ATN) | CLK));
    return wait(DATA, 0);
}

bool iec_host::send_text(const std::string& text, bool last_flagged)
{
    for (size_t i = 0; i < text.size(); ++i)
        if (!send(static_cast<uint8_t>(text[i]), last_flagged && i + 1 == text.size())) return false;
    return true;
}

bool iec_host::atn_command(uint8_t command)
{
    out(ATN | CLK);
    out(ATN | CLK);
    if (!wait(DATA, 0, 64)) return false;
    settle(24);
    return send(command);
}

bool iec_host::listen(int device, int secondary)
{
    if (!atn_command(static_cast<uint8_t>(0x20 | device)) || !send(static_cast<uint8_t>(secondary))) return false;
    out(CLK);
    settle(8);
    return true;
}

bool iec_host::talk(int device, int secondary)
{
    if (!atn_command(static_cast<uint8_t>(0x40 | device)) || !send(static_cast<uint8_t>(secondary))) return false;
    out(DATA);
    return wait(CLK, 0);
}

bool iec_host::unlisten()
{
    const bool ok = atn_command(0x3F);
    out(0);
    return ok;
}

bool iec_host::untalk()
{
    const bool ok = atn_command(0x5F);
    out(0);
    return ok;
}

int iec_host::receive(bool* last)
{
    *last = false;
    if (!wait(CLK, CLK, 64)) return -1;
    out(pulled_ & ~DATA);
    if (!wait(CLK, 0, 64)) {
        *last = true;
        out(pulled_ | DATA);
        settle(4);
        out(pulled_ & ~DATA);
    }
    int byte = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (!wait(CLK, 0, 64)) return -1;
        uint8_t lines = 0;
        for (int i = 0; i < 64 && !((lines = in()) & CLK); ++i) {}
        if (!(lines & CLK)) return -1;
        if (lines & DATA) byte |= 1 << bit;
    }
    if (!wait(CLK, 0, 64)) return -1;
    out(pulled_ | DATA);
    if (!atn_right_after_ack) in();
    return byte;
}

std::vector<uint8_t> iec_host::receive_all()
{
    std::vector<uint8_t> bytes;
    bool last = false;
    while (!last) {
        const int b = receive(&last);
        if (b < 0) break;
        bytes.push_back(static_cast<uint8_t>(b));
    }
    return bytes;
}
