// The PSS loader on any bytes, as they are and filled out to a snapshot's
// size, on the A64 and the C64 (whose colour unit follows the memory).
#include <algorithm>
#include <string>
#include <vector>

#include "core/memory.h"
#include "fuzz_machine.h"
#include "media/snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_machine_ready();
    std::string error;
    snapshot_load_data(data, size, &error);
    std::vector<uint8_t> padded(PSS_SIZE, 0);
    std::copy_n(data, std::min(size, PSS_SIZE), padded.begin());
    memory_set_active_setup(size % 2 ? MODEL_C64 : MODEL_A64);
    snapshot_load_data(padded.data(), padded.size(), &error);
    return 0;
}
