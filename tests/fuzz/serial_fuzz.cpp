// The serial bus fed any line changes at any times: pairs of (lines, delay).
// Bit 0 of the first byte chooses a write of the lines or a read; the
// second is the delay in units of 8 T-states. The printer and the drive
// answer as they would (the printer into /dev/null); nothing outside the
// drive folder may change.
#include <cstddef>
#include <cstdint>

#include "devices/diskfs.h"
#include "devices/printer.h"
#include "devices/serial.h"
#include "fuzz_folder.h"

constexpr size_t MAX_ACCESSES = 1024;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_folder::prepare();
    printer_set_path("/dev/null");
    serial_init();
    // A load or a save takes a few hundred accesses; longer programs only
    // slow the search.
    const size_t end = size < 2 * MAX_ACCESSES ? size : 2 * MAX_ACCESSES;
    int64_t now = 0;
    for (size_t at = 0; at + 2 <= end; at += 2) {
        now += data[at + 1] * 8;
        if (data[at] & 1) serial_bus_write(data[at], now);
        else serial_bus_read(now);
    }
    printer_set_path(nullptr);
    fuzz_folder::finish();
    return 0;
}
