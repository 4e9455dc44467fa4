// The WAV tape reader on any bytes: the chunk list, then the samples as
// the tape event plays them, two hundred changes of the input at most.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/event.h"
#include "devices/tape.h"
#include "fuzz_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_machine_ready();
    if (size == 0) return 0;
    // The chunk list and every way of reading samples are met within the
    // first kilobytes; more samples only repeat them.
    constexpr size_t MOST = 8192;
    std::vector<uint8_t> copy(data, data + std::min(size, MOST));
    std::FILE* f = fmemopen(copy.data(), copy.size(), "rb");
    if (!f) return 0;
    tape_set_remote_enable(1);
    tape_set_play_key(1);
    if (tape_open_wav_stream(f)) {
        int64_t now = 0;
        for (int i = 0; i < 200; ++i) do_tape_event(&now);
        tape_rewind();
        do_tape_event(&now);
    }
    tape_close();
    return 0;
}
