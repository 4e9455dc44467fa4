// Turns a binary file into a C++ source defining a constant byte array.
// usage: bin2cpp INPUT OUTPUT.cpp SYMBOL [SIZE]
// With SIZE the array has exactly that many bytes (padded with 0xFF, or an
// error when the input is larger).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: bin2cpp INPUT OUTPUT SYMBOL [SIZE]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "bin2cpp: cannot read %s\n", argv[1]);
        return 1;
    }
    std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), {});
    if (argc > 4) {
        size_t size = std::strtoul(argv[4], nullptr, 0);
        if (data.size() > size) {
            std::fprintf(stderr, "bin2cpp: %s is %zu bytes, more than %zu\n", argv[1], data.size(), size);
            return 1;
        }
        data.resize(size, 0xFF);
    }
    std::ofstream out(argv[2]);
    out << "// Generated from " << argv[1] << " - do not edit.\n#include <cstddef>\n#include <cstdint>\n";
    out << "extern const uint8_t " << argv[3] << "[" << data.size() << "];\n";
    out << "const uint8_t " << argv[3] << "[" << data.size() << "] = {";
    for (size_t i = 0; i < data.size(); ++i) {
        if (i % 16 == 0) out << "\n   ";
        out << " 0x" << "0123456789abcdef"[data[i] >> 4] << "0123456789abcdef"[data[i] & 15] << ",";
    }
    out << "\n};\n";
    out << "extern const size_t " << argv[3] << "_size;\nconst size_t " << argv[3] << "_size = " << data.size() << ";\n";
    return out ? 0 : 1;
}
