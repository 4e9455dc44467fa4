// Small helpers shared by the modules that write binary files: C files
// closed by RAII, little-endian fields, and the header of a mono PCM WAV.
#pragma once
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <memory>

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

inline void put_le16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void put_le32(uint8_t* p, uint32_t v)
{
    put_le16(p, static_cast<uint16_t>(v));
    put_le16(p + 2, static_cast<uint16_t>(v >> 16));
}

constexpr int WAV_HEADER_BYTES = 44;

// Fills the 44-byte header of a mono PCM file holding data_bytes of
// samples of the given width (8 or 16 bits).
inline void wav_header(uint8_t* out, uint32_t rate, int bits, uint32_t data_bytes)
{
    const uint16_t frame = static_cast<uint16_t>(bits / 8);
    std::copy_n("RIFF", 4, out);
    put_le32(out + 4, data_bytes + 36);
    std::copy_n("WAVE", 4, out + 8);
    std::copy_n("fmt ", 4, out + 12);
    put_le32(out + 16, 16);
    put_le16(out + 20, 1);              // PCM
    put_le16(out + 22, 1);              // mono
    put_le32(out + 24, rate);
    put_le32(out + 28, rate * frame);
    put_le16(out + 32, frame);
    put_le16(out + 34, static_cast<uint16_t>(bits));
    std::copy_n("data", 4, out + 36);
    put_le32(out + 40, data_bytes);
}
