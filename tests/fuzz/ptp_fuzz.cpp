// The PTP readers on any bytes: the parser, the fast loader, the trap
// reader serving the bytes as an attached tape, and the WAV converter.
#include <cstdio>
#include <string>
#include <vector>

#include "core/trap.h"
#include "cpu/cpu.h"
#include "fuzz_machine.h"
#include "media/ptp.h"
#include "media/ptpwav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_machine_ready();
    std::string error;
    uint16_t start = 0;
    ptp_load_image(data, size, &start, &error);

    std::vector<uint8_t> copy(data, data + size);
    if (size > 0) {
        if (std::FILE* f = fmemopen(copy.data(), copy.size(), "rb")) {
            tape_ptp_attach_from(f);
            for (int program = 0; program < 3; ++program) {
                trap_handle(3);
                for (int block = 0; block < 4; ++block) {
                    trap_handle(4);
                    for (int b = 0; b < 40; ++b) trap_handle(5);
                }
            }
            ptp_close();
        }
    }
    if (size < 512) {
        std::vector<uint8_t> samples;
        ptpwav_convert(data, size, 8000, samples, &error);
    }
    return 0;
}
