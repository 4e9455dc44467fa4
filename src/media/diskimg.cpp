// Disk images: the geometry from the file size, the in-memory copy, sector
// access, and writing the copy back so that a crash never leaves half an
// image behind.
#include "media/diskimg.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "core/log.h"
#include "media/fileio.h"
#include "roms.h"

namespace {

// The four drives' disks: the host's, never part of the machine's record.
std::array<disk_image, DISK_DRIVES> drives;

constexpr uint64_t ONE_SIDE_LIMIT = 368640;
// The head never gets past track 82; bigger files are no floppy images and
// are not read into memory.
constexpr int MAX_TRACKS = 255;


// The sector's place in the copy, or -1 when the disk has no such sector.
long sector_offset(const disk_image& image, int side, int track, int sector)
{
    if (image.data.empty() || sector < 1 || sector > image.sectors || side < 0 || side >= image.sides ||
        track < 0 || track >= image.tracks)
        return -1;
    const long at = static_cast<long>(image.data_offset) +
                    static_cast<long>(image.sector_size) *
                        (static_cast<long>(image.sectors) * (static_cast<long>(track) * image.sides + side) + sector - 1);
    if (at + image.sector_size > static_cast<long>(image.data.size())) return -1;
    return at;
}

}  // namespace

disk_image& diskimg_drive(int n)
{
    return drives[static_cast<size_t>(n & (DISK_DRIVES - 1))];
}

bool diskimg_geometry(uint64_t size, disk_geometry* out)
{
    disk_geometry g{};
    g.sides = size <= ONE_SIDE_LIMIT ? 1 : 2;
    const uint64_t per_side = size / static_cast<uint64_t>(g.sides);
    if (per_side == 0 || per_side % DISK_SECTOR_SIZE != 0) return false;
    uint64_t tracks = 0;
    if (per_side % (9 * DISK_SECTOR_SIZE) == 0) {
        g.sectors = 9;
        tracks = per_side / (9 * DISK_SECTOR_SIZE);
    } else if (per_side % (8 * DISK_SECTOR_SIZE) == 0) {
        g.sectors = 8;
        tracks = per_side / (8 * DISK_SECTOR_SIZE);
    } else {
        return false;
    }
    if (tracks > MAX_TRACKS) return false;
    g.tracks = static_cast<int>(tracks);
    if (out) *out = g;
    return true;
}

bool diskimg_attach(disk_image& image, const char* path, std::string* why)
{
    image = disk_image{};
    if (!path || !*path) return refuse(why, "nincs megadva lemezkép");
    int read_only = 0;
    file_ptr file(std::fopen(path, "r+b"));
    if (!file) {
        file.reset(std::fopen(path, "rb"));
        read_only = 1;
    }
    if (!file) return refuse(why, system_error(path));
    struct stat info {};
    if (::fstat(::fileno(file.get()), &info) != 0) return refuse(why, system_error(path));
    if (!S_ISREG(info.st_mode)) {
        errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return refuse(why, system_error(path));
    }
    // A file nobody may write is a protected disk, also for the superuser.
    if ((info.st_mode & 0222) == 0) read_only = 1;
    disk_geometry g{};
    if (!diskimg_geometry(static_cast<uint64_t>(info.st_size), &g))
        return refuse(why, std::string(path) + ": ismeretlen lemezformátum: " + std::to_string(info.st_size) +
                               " bájtos, ekkora lemez nincs (1 vagy 2 oldal, sávonként 8 vagy 9 szektor, 512 bájtos szektorok)");

    std::vector<uint8_t> data(static_cast<size_t>(info.st_size));
    const size_t got = std::fread(data.data(), 1, data.size(), file.get());
    // A file that another program is changing is not taken half-read.
    if (got != data.size() || std::fgetc(file.get()) != EOF) {
        if (std::ferror(file.get())) return refuse(why, system_error(path));
        return refuse(why, std::string(path) + " (az állomány olvasás közben megváltozott)");
    }

    image.sides = g.sides;
    image.tracks = g.tracks;
    image.sectors = g.sectors;
    image.sector_size = DISK_SECTOR_SIZE;
    image.length = static_cast<uint32_t>(data.size());
    image.data = std::move(data);
    image.read_only = read_only;
    image.dirty = 0;
    image.path = path;
    image.device = static_cast<uint64_t>(info.st_dev);
    image.inode = static_cast<uint64_t>(info.st_ino);
    log_message("Image %s attached successfully.\n", path);
    return true;
}

bool diskimg_save(disk_image& image, std::string* why)
{
    if (image.data.empty() || !image.dirty) return true;
    std::string error;
    if (!write_whole_file(image.path, image.data.data(), image.length, &error)) {
        log_message("Image %s not saved: %s\n", image.path.c_str(), error.c_str());
        return refuse(why, image.path + ": " + error);
    }
    image.dirty = 0;
    log_message("Image data (%u) saved as %s.\n", image.length, image.path.c_str());
    return true;
}

bool diskimg_save_all(std::string* why)
{
    bool ok = true;
    for (disk_image& image : drives)
        if (!diskimg_save(image, ok ? why : nullptr)) ok = false;
    return ok;
}

bool diskimg_detach(disk_image& image, int save, std::string* why)
{
    if (save && !diskimg_save(image, why)) return false;
    image = disk_image{};
    return true;
}

int diskimg_inserted(const disk_image& image) { return image.data.empty() ? 0 : 1; }

int diskimg_drive_holding(const char* path, int except)
{
    struct stat info {};
    if (!path || ::stat(path, &info) != 0) return -1;
    for (int n = 0; n < DISK_DRIVES; ++n) {
        const disk_image& image = drives[static_cast<size_t>(n)];
        if (n != except && diskimg_inserted(image) && image.device == static_cast<uint64_t>(info.st_dev) &&
            image.inode == static_cast<uint64_t>(info.st_ino))
            return n;
    }
    return -1;
}


int disk_img_read_sector(const disk_image& image, int side, int track, int sector, uint8_t* buffer)
{
    const long at = sector_offset(image, side, track, sector);
    if (at < 0) return 0;
    std::memcpy(buffer, image.data.data() + at, static_cast<size_t>(image.sector_size));
    return 1;
}

int disk_img_write_sector(disk_image& image, int side, int track, int sector, const uint8_t* buffer)
{
    const long at = sector_offset(image, side, track, sector);
    if (at < 0) return 0;
    std::memcpy(image.data.data() + at, buffer, static_cast<size_t>(image.sector_size));
    if (!image.read_only) image.dirty = 1;
    return 1;
}

int disk_img_has_sector(const disk_image& image, int side, int track, int sector)
{
    return sector_offset(image, side, track, sector) >= 0 ? 1 : 0;
}

// ------------------------------------------------------------ CP/M disks

const cpm_disk_format cpm_disk_formats[6] = {
    {"brevan", {2, 80, 9}},    {"brevan640", {2, 80, 8}}, {"brevan360", {1, 80, 9}},
    {"brevan320", {1, 80, 8}}, {"brevan180", {1, 40, 9}}, {"brevan160", {1, 40, 8}},
};

const cpm_disk_format* cpm_disk_format_by_name(const char* name)
{
    if (!name) return &cpm_disk_formats[0];
    for (const cpm_disk_format& f : cpm_disk_formats)
        if (std::strcmp(f.name, name) == 0) return &f;
    return nullptr;
}

namespace {

// Puts a file of user 0 into the first directory entry and the first data
// blocks of a blank disk. The layout follows the BIOS's parameter blocks:
// 2 KB blocks after the two reserved tracks, 64 directory entries (one
// block) per 40 tracks a side, two-byte block numbers on two-sided disks.
void cpm_disk_put_first_file(std::vector<uint8_t>& image, const disk_geometry& g, const char (&name)[12],
                             const uint8_t* bytes, size_t size)
{
    constexpr size_t BLOCK = 2048, RECORD = 128;
    const size_t directory = 2 * static_cast<size_t>(g.sectors) * DISK_SECTOR_SIZE;
    const int directory_blocks = g.sides * g.tracks / 40;
    const bool wide = g.sides == 2;
    const size_t blocks = (size + BLOCK - 1) / BLOCK;
    uint8_t* entry = &image[directory];
    entry[0] = 0;
    std::copy(name, name + 11, entry + 1);
    std::fill(entry + 12, entry + 32, 0);
    entry[15] = static_cast<uint8_t>((size + RECORD - 1) / RECORD);
    for (size_t b = 0; b < blocks; ++b) {
        const size_t block = static_cast<size_t>(directory_blocks) + b;
        if (wide) {
            entry[16 + 2 * b] = static_cast<uint8_t>(block);
            entry[17 + 2 * b] = static_cast<uint8_t>(block >> 8);
        } else {
            entry[16 + b] = static_cast<uint8_t>(block);
        }
    }
    std::copy(bytes, bytes + size, image.begin() + static_cast<long>(directory + directory_blocks * BLOCK));
}

}  // namespace

std::vector<uint8_t> cpm_disk_image(const cpm_disk_format& format)
{
    const disk_geometry& g = format.geometry;
    std::vector<uint8_t> image(static_cast<size_t>(g.sides) * g.tracks * g.sectors * DISK_SECTOR_SIZE, 0xE5);
    // The boot sector enters the BIOS cold start and carries the format
    // mark the BIOS reads: 'G', tracks per side, sectors per track.
    std::fill(image.begin(), image.begin() + DISK_SECTOR_SIZE, 0);
    image[0] = 0xC3;
    image[1] = 0x00;
    image[2] = 0xE0;
    image[509] = 'G';
    image[510] = static_cast<uint8_t>(g.tracks);
    image[511] = static_cast<uint8_t>(g.sectors);
    // CCP and BDOS follow sector by sector, across the track end.
    std::copy(std::begin(cpm_system), std::end(cpm_system), image.begin() + DISK_SECTOR_SIZE);
    cpm_disk_put_first_file(image, g, "SUBMIT  COM", cpm_submit, cpm_submit_size);
    return image;
}

bool cpm_disk_make(const char* path, const cpm_disk_format& format, int overwrite, std::string* why)
{
    if (!path || !*path) return refuse(why, "nincs állománynév");
    std::error_code ec;
    if (!overwrite && std::filesystem::exists(path, ec)) {
        errno = EEXIST;
        return refuse(why, system_error(path));
    }
    const std::vector<uint8_t> image = cpm_disk_image(format);
    std::string error;
    if (!write_whole_file(path, image.data(), image.size(), &error)) return refuse(why, std::string(path) + ": " + error);
    return true;
}
