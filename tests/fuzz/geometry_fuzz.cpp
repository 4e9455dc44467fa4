// Disk geometry from a file size, on any size: an accepted size holds, on
// each side (its half rounded down for two), exactly tracks x sectors x
// 512 bytes, in a shape the controller can serve.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "media/diskimg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint64_t length = 0;
    if (size) std::memcpy(&length, data, size < sizeof length ? size : sizeof length);
    // Sizes near the real ones matter most: the low bytes alone, then all.
    for (const uint64_t s : {length & 0xFFFFF, length}) {
        disk_geometry g{};
        if (!diskimg_geometry(s, &g)) continue;
        const bool shape = (g.sides == 1 || g.sides == 2) && (g.sectors == 8 || g.sectors == 9) && g.tracks >= 1 &&
                           g.tracks <= 255;
        if (!shape || static_cast<uint64_t>(g.tracks) * g.sectors * DISK_SECTOR_SIZE != s / g.sides) __builtin_trap();
    }
    return 0;
}
