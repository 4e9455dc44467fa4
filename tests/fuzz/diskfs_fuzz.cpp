// The drive's DOS fed any sequence of opens, writes, reads and closes: file
// names and commands of any bytes, on a scratch folder. Nothing outside the
// folder may change.
#include <cstddef>
#include <cstdint>

#include "devices/diskfs.h"
#include "fuzz_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_folder::prepare();
    iec_init(fuzz_folder::disk().c_str());
    size_t at = 0;
    while (at + 2 <= size) {
        const uint8_t op = data[at];
        const int channel = data[at + 1] & 0x0F;
        at += 2;
        switch (op & 3) {
        case 0: {   // OPEN: a length byte, then the name
            const size_t length = at < size ? data[at++] : 0;
            const size_t n = length < size - at ? length : size - at;
            Open(channel, data + at, n);
            at += n;
            break;
        }
        case 1:
            if (at < size) Write(channel, data[at++], op & 4);
            break;
        case 2:
            for (int i = 0; i < (op >> 2) + 1; ++i) {
                uint8_t b = 0;
                if (Read(channel, &b)) break;
            }
            break;
        default: Close(channel); break;
        }
    }
    drive_reset();
    fuzz_folder::check_outside();
    return 0;
}
