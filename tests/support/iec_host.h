// The Primo's side of the serial bus for tests: drives serial_bus_write and
// serial_bus_read with its own cycle counter, the way the firmware does.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class iec_host {
public:
    // Each call can be recorded as (write?, value, cycles since the last).
    struct access { bool write; uint8_t lines; int64_t delta; };
    std::vector<access>* record = nullptr;

    // False when no device answered in time.
    bool listen(int device, int secondary);
    bool talk(int device, int secondary);
    bool unlisten();
    bool untalk();
    bool send(uint8_t byte, bool last = false);
    bool send_text(const std::string& text, bool last_flagged = false);
    // -1 when the talker stopped; *last tells an EOI.
    int receive(bool* last);
    // Bytes until an EOI (or until the talker stops).
    std::vector<uint8_t> receive_all();
    // Raises ATN at once after the byte's acknowledgement, with no read
    // in between.
    bool atn_right_after_ack = false;
    // Extra cycles before the bits of the next byte under ATN.
    int64_t hold_before_bits = 0;

    int64_t now = 0;

private:
    bool atn_command(uint8_t command);
    void out(uint8_t pulled);
    uint8_t in();
    bool wait(uint8_t mask, uint8_t want, int polls = 4000);
    void settle(int polls);
    uint8_t pulled_ = 0;   // lines the host pulls: 0x20 CLK, 0x10 DATA, 0x02 ATN
};
