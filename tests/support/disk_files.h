// Scratch disk images for the floppy tests: a folder of their own that
// goes away with the test, and the drives emptied without writing back.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class scratch_disks {
public:
    scratch_disks();
    ~scratch_disks();
    // Writes the bytes as a file of the folder; returns its path.
    std::string file(const std::string& name, const std::vector<uint8_t>& bytes) const;
    std::string path(const std::string& name) const;
    static std::vector<uint8_t> read(const std::string& path);
    std::filesystem::path folder;
};

// A raw image whose bytes count up by sector: byte i of sector n (from 0)
// is (n * 7 + i) & 0xFF, so a sector in the wrong place shows.
std::vector<uint8_t> patterned_image(size_t bytes);
// Takes every disk out of the drives; nothing is written back.
void drives_empty();
