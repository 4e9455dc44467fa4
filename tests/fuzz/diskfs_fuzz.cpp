// The drive's DOS fed any sequence of opens, writes, reads and closes: file
// names and commands of any bytes, on a folder in memory. Nothing outside
// the folder may change.
#include <cstddef>
#include <cstdint>

#include "devices/diskfs.h"
#include "fuzz_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_folder::prepare();
    // A few dozen operations reach every state; longer programs only slow
    // the search.
    size_t at = 0;
    for (int ops = 0; ops < 32 && at + 2 <= size; ++ops) {
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
    fuzz_folder::finish();
    return 0;
}
