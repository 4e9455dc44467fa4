// The device table's walks: resets in order, and the records as tagged
// chunks.
#include "core/device.h"

#include <cstring>

void state_io::bytes(uint8_t* data, size_t count)
{
    for (size_t i = 0; i < count; ++i) (*this)(data[i]);
}

void state_io::trimmed(uint8_t* data, size_t count)
{
    uint32_t used = 0;
    if (!loading())
        for (size_t i = count; i > 0 && used == 0; --i)
            if (data[i - 1]) used = static_cast<uint32_t>(i);
    (*this)(used);
    if (used > count) used = static_cast<uint32_t>(count);
    bytes(data, used);
    if (loading()) std::memset(data + used, 0, count - used);
}

uint8_t state_io::next()
{
    if (at_ < size_) return in_[at_++];
    short_ = true;
    return 0;
}

void devices_reset(reset_kind kind)
{
    for (size_t i = 0; i < machine_device_count; ++i)
        if (machine_devices[i].reset) machine_devices[i].reset(kind);
}

std::vector<uint8_t> devices_save()
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < machine_device_count; ++i) {
        const device_t& d = machine_devices[i];
        if (!d.state) continue;
        std::vector<uint8_t> fields;
        state_io io(fields);
        d.state(io);
        out.insert(out.end(), d.tag, d.tag + 4);
        out.push_back(static_cast<uint8_t>(fields.size()));
        out.push_back(static_cast<uint8_t>(fields.size() >> 8));
        out.insert(out.end(), fields.begin(), fields.end());
    }
    return out;
}

bool devices_load(const uint8_t* data, size_t size)
{
    // The chunks are checked whole before any record changes.
    for (size_t at = 0; at < size;) {
        if (size - at < 6) return false;
        const size_t length = data[at + 4] | (data[at + 5] << 8);
        if (size - at - 6 < length) return false;
        at += 6 + length;
    }
    for (size_t at = 0; at < size;) {
        const size_t length = data[at + 4] | (data[at + 5] << 8);
        for (size_t i = 0; i < machine_device_count; ++i) {
            const device_t& d = machine_devices[i];
            if (d.state && std::memcmp(d.tag, data + at, 4) == 0) {
                state_io io(data + at + 6, length);
                d.state(io);
            }
        }
        at += 6 + length;
    }
    return true;
}
