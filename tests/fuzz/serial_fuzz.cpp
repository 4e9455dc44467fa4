// The serial bus fed any line changes at any times: pairs of (lines, delay).
// Bit 0 of the first byte chooses a write of the lines or a read; the
// second is the delay in units of 8 T-states. The printer and the drive
// answer as they would; nothing outside the drive folder may change.
#include <cstddef>
#include <cstdint>

#include "devices/diskfs.h"
#include "devices/printer.h"
#include "devices/serial.h"
#include "fuzz_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_folder::prepare();
    const auto printout = fuzz_folder::base() / "disk" / "printer.txt";
    printer_set_path(printout.c_str());
    iec_init(fuzz_folder::disk().c_str());
    serial_init();
    int64_t now = 0;
    for (size_t at = 0; at + 2 <= size; at += 2) {
        now += data[at + 1] * 8;
        if (data[at] & 1) serial_bus_write(data[at], now);
        else serial_bus_read(now);
    }
    drive_reset();
    printer_set_path(nullptr);
    std::error_code ec;
    std::filesystem::remove(printout, ec);
    fuzz_folder::check_outside();
    return 0;
}
