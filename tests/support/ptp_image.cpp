#include "support/ptp_image.h"

#include <fstream>
#include <iterator>

namespace {

uint8_t bcd(int n) { return static_cast<uint8_t>(n % 100 / 10 * 16 + n % 10); }

bytes with_checksum(bytes b)
{
    int sum = 0;
    for (size_t i = 1; i < b.size(); ++i) sum += b[i];
    b.push_back(static_cast<uint8_t>(sum));
    return b;
}

}  // namespace

bytes ptp_name_block(const std::string& name, uint8_t type)
{
    bytes b = {type, 0x00, static_cast<uint8_t>(name.size())};
    b.insert(b.end(), name.begin(), name.end());
    return with_checksum(b);
}

bytes ptp_data_block(uint8_t type, int number, uint16_t address, const bytes& data)
{
    bytes b = {type, bcd(number), static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
               static_cast<uint8_t>(data.size())};
    b.insert(b.end(), data.begin(), data.end());
    return with_checksum(b);
}

bytes ptp_end_block(uint8_t type, int number, uint16_t start)
{
    bytes b = {type, bcd(number)};
    if (type == 0xB9) {
        b.push_back(static_cast<uint8_t>(start));
        b.push_back(static_cast<uint8_t>(start >> 8));
    }
    return with_checksum(b);
}

bytes ptp_image_of(const std::vector<bytes>& blocks)
{
    bytes p = {0xFF, 0, 0};
    for (size_t i = 0; i < blocks.size(); ++i) {
        p.push_back(i + 1 == blocks.size() ? 0xAA : 0x55);
        p.push_back(static_cast<uint8_t>(blocks[i].size()));
        p.push_back(static_cast<uint8_t>(blocks[i].size() >> 8));
        p.insert(p.end(), blocks[i].begin(), blocks[i].end());
    }
    p[1] = static_cast<uint8_t>(p.size());
    p[2] = static_cast<uint8_t>(p.size() >> 8);
    return p;
}

bytes ptp_program_at(const std::string& name, uint16_t address, const bytes& data, uint16_t start)
{
    std::vector<bytes> blocks = {ptp_name_block(name)};
    int number = 1;
    for (size_t at = 0; at < data.size(); at += 256, ++number) {
        const size_t n = std::min<size_t>(256, data.size() - at);
        blocks.push_back(ptp_data_block(0xF9, number, static_cast<uint16_t>(address + at),
                                        bytes(data.begin() + at, data.begin() + at + n)));
    }
    blocks.push_back(start ? ptp_end_block(0xB9, number, start) : ptp_end_block(0xE9, number));
    return ptp_image_of(blocks);
}

bytes concat(std::initializer_list<bytes> pieces)
{
    size_t total = 0;
    for (const bytes& p : pieces) total += p.size();
    bytes out;
    out.reserve(total);
    for (const bytes& p : pieces) out.insert(out.end(), p.begin(), p.end());
    return out;
}

bytes pattern_bytes(size_t n, int seed)
{
    bytes d(n);
    for (size_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>(i * 13 + (i >> 8) * 7 + seed);
    return d;
}

bool write_bytes(const std::string& path, const bytes& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

bytes read_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
