// The PRI/PRG and raw memory loaders on any bytes.
#include <string>

#include "core/memory.h"
#include "fuzz_machine.h"
#include "media/pri.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_machine_ready();
    std::string error;
    int start = 0;
    pri_load_pri_data(data, size, &start, &error);
    pri_load_pp_data(data, size, &start, &error);
    return 0;
}
