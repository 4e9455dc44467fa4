#include "support/disk_files.h"

#include <unistd.h>

#include <fstream>
#include <iterator>

#include "media/diskimg.h"

namespace fs = std::filesystem;

scratch_disks::scratch_disks()
{
    static int serial = 0;
    folder = fs::temp_directory_path() / ("brevan_disks_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
    fs::create_directories(folder);
}

scratch_disks::~scratch_disks()
{
    drives_empty();
    std::error_code ec;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(folder, ec);
}

std::string scratch_disks::path(const std::string& name) const { return (folder / name).string(); }

std::string scratch_disks::file(const std::string& name, const std::vector<uint8_t>& bytes) const
{
    const std::string p = path(name);
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return p;
}

std::vector<uint8_t> scratch_disks::read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<uint8_t> patterned_image(size_t bytes)
{
    std::vector<uint8_t> image(bytes);
    for (size_t i = 0; i < bytes; ++i) image[i] = static_cast<uint8_t>((i / 512) * 7 + i % 512);
    return image;
}

void drives_empty()
{
    for (int d = 0; d < DISK_DRIVES; ++d) diskimg_detach(diskimg_drive(d), 0);
}
