// The rewind ring: copies of the machine taken between frames.
#include "core/rewind.h"

rewind_ring::rewind_ring(int seconds) : capacity_(seconds > 0 ? static_cast<size_t>(seconds) : 1)
{
    ring_.reserve(capacity_);
}

void rewind_ring::frame_done()
{
    ++frame_;
    if (frame_ % FRAMES_PER_STATE != 0) return;
    if (the_machine.phase != PHASE_START || the_machine.stopped_at_breakpoint) return;
    // Until the ring is full its oldest state is the first; after a step
    // back the slots past the newest hold the forgotten future.
    if (count_ == ring_.size() && ring_.size() < capacity_) {
        ring_.push_back({the_machine, frame_});
        newest_ = ring_.size() - 1;
    } else {
        newest_ = (newest_ + 1) % ring_.size();
        ring_[newest_] = {the_machine, frame_};
    }
    if (count_ < capacity_) ++count_;
}

bool rewind_ring::step_back()
{
    for (size_t age = 0; age < count_; ++age) {
        const kept& k = ring_[slot(age)];
        if (k.frame > frame_ - FRAMES_PER_STATE / 2) continue;
        the_machine = k.state;
        frame_ = k.frame;
        newest_ = slot(age);
        count_ -= age;
        machine_restored();
        return true;
    }
    return false;
}

void rewind_ring::clear()
{
    ring_.clear();
    ring_.shrink_to_fit();
    ring_.reserve(capacity_);
    newest_ = count_ = 0;
}
