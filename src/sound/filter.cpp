// One-pole recursive filter. The engine runs a 50 Hz high-pass over every
// fragment so that a beeper resting high does not leave a DC offset.
#include "sound/filter.h"

#include <cmath>
#include <new>

namespace {

constexpr double TWO_PI = 6.283185307179586;

void filter_compute_coefficients(filter_t* filter)
{
    filter->decay = std::exp(-TWO_PI * filter->cutoff / filter->sample_rate);
    filter->gain = 1.0 - filter->decay;
}

int filter_step(filter_t* filter, int x, uint32_t rate)
{
    if (rate != filter->sample_rate) {
        filter->sample_rate = rate;
        filter_compute_coefficients(filter);
    }
    filter->state = filter->decay * filter->state + filter->gain * x;
    const int r = static_cast<int>(filter->state + 0.5);
    return filter->type == 1 ? r : x - r;
}

} // namespace

filter_t* filter_iir_create(int type, uint32_t cutoff)
{
    filter_t* filter = new (std::nothrow) filter_t{};
    if (!filter) return nullptr;
    filter->type = type;
    filter->cutoff = cutoff;
    return filter;
}

void filter_destroy(filter_t** filter)
{
    if (!filter) return;
    delete *filter;
    *filter = nullptr;
}

void filter_set_cutoff(filter_t* filter, uint32_t cutoff)
{
    if (!filter) return;
    filter->cutoff = cutoff;
    // A filter never used has no rate yet; its first use computes them.
    if (filter->sample_rate != 0) filter_compute_coefficients(filter);
}

int filter_output(filter_t* filter, int x, uint32_t rate)
{
    if (!filter) return x;
    return filter_step(filter, x, rate);
}

void filter_buffer_output(filter_t* filter, int n, int16_t* buffer, uint32_t rate)
{
    if (!filter) return;
    for (int i = 0; i < n; ++i)
        buffer[i] = static_cast<int16_t>(filter_step(filter, buffer[i], rate));
}
