// Original ROM files found at start, kept for the whole run and handed to the
// memory map in place of the built-in firmware.
#include "core/romfiles.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "core/memory.h"
#include "roms.h"

namespace fs = std::filesystem;

namespace {

struct rom_file {
    char name[16];
    size_t size;
    char models[24];   // the models that run it
};

// In the order of the memory map's ROM sources.
constexpr std::array<rom_file, ROM_SOURCE_COUNT> rom_files{{
    {"a64.rom", 16384, "Primo A32, A48, A64"},
    {"b64.rom", 16384, "Primo B32, B48, B64"},
    {"c64.rom", 16384, "Primo C64"},
    {"cpm-boot.rom", 4096, "Primo CP/M"},
    {"cpm-bios.rom", 2048, "Primo CP/M"},
}};
constexpr char BUILT_IN[] = "beépített firmware";
constexpr char INSTEAD[] = "; a beépített firmware fut helyette.";

constexpr char model_names[MODEL_COUNT][12] = {
    "Primo A32", "Primo A48", "Primo A64", "Primo B32",
    "Primo B48", "Primo B64", "Primo C64", "Primo CP/M",
};

// The built-in B image, for when only an original A image was supplied: the
// B patch list describes the built-in images and must not be laid over an
// original A.
std::vector<uint8_t> builtin_b64()
{
    std::vector<uint8_t> image(std::begin(rom_a64), std::end(rom_a64));
    for (size_t i = 0; i < b64rom_patch_count; ++i) {
        const uint8_t* entry = b64rom_patch + 4 * i;
        const unsigned offset = entry[0] | (entry[1] << 8);
        if (offset < image.size()) image[offset] = entry[2];
    }
    return image;
}

void refuse(const fs::path& path, const std::string& why, romfiles_report* report)
{
    if (report) report->refused += path.string() + ": " + why + INSTEAD + "\n";
}

// Reads the file whole into `into` when it has exactly `size` bytes.
bool read_exact(const fs::path& path, size_t size, uint8_t* into, romfiles_report* report)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        refuse(path, "nem közönséges fájl", report);
        return false;
    }
    const uintmax_t actual = fs::file_size(path, ec);
    if (ec) {
        refuse(path, "nem olvasható", report);
        return false;
    }
    if (actual != size) {
        refuse(path, "a fájl " + std::to_string(actual) + " bájtos, de " + std::to_string(size) +
                         " bájtosnak kell lennie", report);
        return false;
    }
    std::vector<char> data(size);
    std::ifstream file(path, std::ios::binary);
    if (!file.read(data.data(), static_cast<std::streamsize>(size)) || file.gcount() != static_cast<std::streamsize>(size)) {
        refuse(path, "nem olvasható", report);
        return false;
    }
    std::copy(data.begin(), data.end(), into);
    return true;
}

// The first folder that holds the name decides; nothing found: empty path.
fs::path find_first(const std::vector<fs::path>& folders, const char* name)
{
    for (const fs::path& folder : folders) {
        if (folder.empty()) continue;
        std::error_code ec;
        const fs::path candidate = folder / name;
        if (fs::exists(candidate, ec)) return candidate;
    }
    return {};
}

// Path of the accepted file; empty means the built-in image.
const std::string& source_text(int rom) { return memory_rom_source_name(rom); }

}  // namespace

std::vector<fs::path> romfiles_default_folders(const char* exe_dir)
{
    std::vector<fs::path> folders;
    // A relative XDG_DATA_HOME is invalid and ignored, as the base directory
    // rules ask.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (xdg && *xdg && fs::path(xdg).is_absolute())
        folders.push_back(fs::path(xdg) / "brevan" / "roms");
    else if (home && *home)
        folders.push_back(fs::path(home) / ".local" / "share" / "brevan" / "roms");
    if (exe_dir && *exe_dir) folders.push_back(fs::path(exe_dir) / "roms");
    return folders;
}

void romfiles_forget()
{
    for (int rom = 0; rom < ROM_SOURCE_COUNT; ++rom) memory_set_rom_source(rom, nullptr);
}

int romfiles_load(const std::vector<fs::path>& folders, romfiles_report* report)
{
    romfiles_forget();
    int taken = 0;
    for (int rom = 0; rom < ROM_SOURCE_COUNT; ++rom) {
        const fs::path path = find_first(folders, rom_files[rom].name);
        if (path.empty()) continue;
        std::vector<uint8_t> data(rom_files[rom].size);
        if (!read_exact(path, rom_files[rom].size, data.data(), report)) continue;
        memory_set_rom_source(rom, data.data(), path.string());
        if (report) report->used += "Eredeti ROM: " + path.string() + " (" + rom_files[rom].models + ")\n";
        ++taken;
    }
    if (!source_text(ROM_A64).empty() && source_text(ROM_B64).empty())
        memory_set_rom_source(ROM_B64, builtin_b64().data());
    return taken;
}

romfiles_report romfiles_load_at_start(const char* exe_dir)
{
    romfiles_report report;
    romfiles_load(romfiles_default_folders(exe_dir), &report);
    return report;
}

std::string romfiles_model_source(int model)
{
    if (model < 0 || model >= MODEL_COUNT) return {};
    std::string text = std::string(model_names[model]) + ": ";
    if (model == MODEL_CPM) {
        const std::string boot = source_text(ROM_CPM_BOOT), bios = source_text(ROM_CPM_BIOS);
        if (boot.empty() && bios.empty()) return text + BUILT_IN;
        return text + (boot.empty() ? "beépített indító ROM" : boot) + ", " + (bios.empty() ? "beépített BIOS" : bios);
    }
    const int rom = model == MODEL_C64 ? ROM_C64 : (model >= MODEL_B32 ? ROM_B64 : ROM_A64);
    const std::string path = source_text(rom);
    return text + (path.empty() ? BUILT_IN : path);
}
