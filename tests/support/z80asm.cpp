#include "support/z80asm.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;

std::vector<uint8_t> z80asm_assemble(const std::string& source)
{
    static int serial = 0;
    const fs::path dir = fs::temp_directory_path() / ("brevan_z80asm_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path in = dir / (std::to_string(++serial) + ".asm");
    const fs::path out = dir / (std::to_string(serial) + ".bin");
    const fs::path err = dir / (std::to_string(serial) + ".err");
    std::ofstream(in) << source << "\n";
    const std::string command = std::string("'") + BREVAN_Z80ASM + "' -i '" + in.string() + "' -o '" +
                                out.string() + "' 2> '" + err.string() + "'";
    const int status = std::system(command.c_str());
    std::ifstream complaint(err);
    const std::string said((std::istreambuf_iterator<char>(complaint)), {});
    std::ifstream bin(out, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(bin)), {});
    fs::remove_all(dir);
    if (status != 0 || said.find("error") != std::string::npos || bytes.empty()) {
        ADD_FAILURE() << "z80asm: " << said << "\n" << source;
        return {};
    }
    return bytes;
}
