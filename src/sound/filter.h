// One-pole IIR filter on 16-bit samples.
#pragma once
#include <cstdint>

struct filter_t {
    uint32_t sample_rate;
    double gain;
    double decay;
    uint32_t cutoff;
    double state;
    int type;   // 1 low-pass, otherwise high-pass
};

filter_t* filter_iir_create(int type, uint32_t cutoff);
void filter_destroy(filter_t** filter);
void filter_set_cutoff(filter_t* filter, uint32_t cutoff);
int filter_output(filter_t* filter, int x, uint32_t rate);
void filter_buffer_output(filter_t* filter, int n, int16_t* buffer, uint32_t rate);
