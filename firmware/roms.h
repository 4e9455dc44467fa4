// The built-in ROM images, assembled from this folder at build time.
#pragma once
#include <cstddef>
#include <cstdint>

extern const uint8_t rom_a64[16384];       // A models
extern const uint8_t rom_c64[16384];       // C64
extern const uint8_t pr_2732[4096];        // CP/M boot ROM
extern const uint8_t pr_2716_e000[2048];   // CP/M BIOS, mapped at 0xE000
extern const uint8_t cpm_system[5632];     // CCP + BDOS for the reserved tracks
extern const uint8_t cpm_submit[];         // SUBMIT.COM
extern const size_t cpm_submit_size;
// B models: rom_a64 plus these entries of (offset lo, offset hi, value, 0).
extern const uint8_t b64rom_patch[];
extern const size_t b64rom_patch_count;
