// Rewind: a ring of whole-machine states, one a second for the last minute,
// for stepping back in time. A state is a copy of the machine record; what
// the host holds (disks, tapes, the drive folder, the printer file) is not
// copied and stays as it is, only the positions in it come back.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/machine.h"

class rewind_ring {
public:
    static constexpr int FRAMES_PER_STATE = 50;   // one second of 50 Hz frames

    // Room for `seconds` states; the memory is taken as states come, and
    // never more than that.
    explicit rewind_ring(int seconds = 60);

    // Counts a frame the machine has run; every FRAMES_PER_STATE frames the
    // machine is kept (only between whole frames: a frame a breakpoint cut
    // short is not kept).
    void frame_done();
    // Puts back the newest state at least half a second older than the
    // machine (the second's mark before it) and forgets those after it;
    // the devices' host parts follow.
    // False, with the machine untouched, when there is none.
    bool step_back();
    // Forgets every state (a new machine, a snapshot loaded).
    void clear();

    size_t states() const { return count_; }
    size_t capacity() const { return capacity_; }
    // The memory the states take now, and at most.
    size_t bytes() const { return ring_.capacity() * sizeof(machine); }
    size_t max_bytes() const { return capacity_ * sizeof(machine); }
    // Frames counted since the start, as the states know them.
    int64_t frame() const { return frame_; }

private:
    struct kept {
        machine state;
        int64_t frame;
    };
    size_t slot(size_t age) const { return (newest_ + ring_.size() - age) % ring_.size(); }

    size_t capacity_;
    std::vector<kept> ring_;
    size_t newest_ = 0;
    size_t count_ = 0;
    int64_t frame_ = 0;
};
