// CP/M disks for whole-program runs: made by `brevan --make-cpm-disk`,
// filled and read back by Debian's cpmtools with our disk definitions.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "headless_run.h"

class cpm_disks {
public:
    cpm_disks() : folder(std::filesystem::temp_directory_path() / ("brevan_cpm_" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(folder);
    }
    ~cpm_disks() { std::filesystem::remove_all(folder); }

    std::string path(const std::string& name) const { return (folder / name).string(); }

    // A blank bootable disk; true when the program made it.
    bool make(const std::string& disk) const { return headless_run({"--make-cpm-disk", path(disk)}) == 0; }

    // cpmtools run beside the definitions; returns what they print.
    static std::string cpmtools(const std::string& command)
    {
        const std::string line = "cd '" BREVAN_SOURCE_DIR "/firmware/cpm' && " + command + " 2>&1";
        std::string out;
        if (FILE* p = popen(line.c_str(), "r")) {
            char buffer[256];
            while (size_t n = std::fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
            pclose(p);
        }
        return out;
    }
    void put(const std::string& disk, const std::string& host_file, const std::string& cpm_name) const
    {
        cpmtools("cpmcp -f brevan '" + path(disk) + "' '" + host_file + "' 0:" + cpm_name);
    }
    std::vector<uint8_t> get(const std::string& disk, const std::string& cpm_name) const
    {
        const std::string out = path("got.tmp");
        std::filesystem::remove(out);
        cpmtools("cpmcp -f brevan '" + path(disk) + "' 0:" + cpm_name + " '" + out + "'");
        return read(out);
    }
    std::string list(const std::string& disk) const { return cpmtools("cpmls -f brevan '" + path(disk) + "'"); }

    static std::vector<uint8_t> read(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path(name);
    }

    std::filesystem::path folder;
};
