// Disk images and the floppy controller: the first bytes give an image size
// (one of the real ones when the top bit of the first byte is set), the
// image holds the input, and the rest is a program of register accesses,
// drive latch writes, waits and disk changes run against it.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/event.h"
#include "core/machine.h"
#include "cpu/cpu.h"
#include "devices/wd1793.h"
#include "media/diskimg.h"

namespace {

// The big image's buffer stays mapped from run to run; filling fresh pages
// would cost more than the run itself.
std::vector<uint8_t> big_image;

constexpr uint32_t real_sizes[] = {163840, 184320, 327680, 368640, 368641, 655360, 737280, 4608, 4096};

// One memory file for the small images, refilled each run.
int image_file(const uint8_t* data, size_t size, uint32_t length)
{
    static const int fd = static_cast<int>(::memfd_create("disk", 0));
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::ftruncate(fd, length) != 0) return -1;
    const size_t n = size < length ? size : length;
    if (n && ::pwrite(fd, data, n, 0) < 0) return -1;
    return fd;
}

// Lays an image into the drive as the loader would.
void insert(int drive, const disk_geometry& g, const uint8_t* data, size_t size, uint32_t length, bool read_only)
{
    disk_image& image = diskimg_drive(drive);
    image = disk_image{};
    image.sides = g.sides;
    image.tracks = g.tracks;
    image.sectors = g.sectors;
    image.sector_size = DISK_SECTOR_SIZE;
    image.length = length;
    if (length > 65536) {
        if (big_image.capacity() < (1u << 20)) big_image.reserve(1u << 20);
        image.data = std::move(big_image);
    }
    const size_t n = size < length ? size : length;
    image.data.assign(data, data + n);
    image.data.resize(length, 0);
    image.read_only = read_only;
    image.path = "fuzz.dsk";
}

// Data register accesses in a row: a sector and a little more when bits 5
// and 6 ask for it, else a few; most programs transfer no sector, and
// idle accesses would take most of the time.
int burst(uint8_t op) { return (op & 0x60) == 0x60 ? 520 : 8; }

// Takes the buffer back before a drive lets its disk go.
void detach(int drive)
{
    disk_image& image = diskimg_drive(drive);
    if (image.data.capacity() >= (1u << 20)) big_image = std::move(image.data);
    diskimg_detach(image, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = false;
    if (!ready) {
        // The attach messages go nowhere; libFuzzer and the sanitizers keep
        // the handle and descriptor they took at start.
        if (std::FILE* quiet = std::fopen("/dev/null", "w")) stderr = quiet;
        event_init();
        ready = true;
    }
    if (size < 3) return 0;
    z80_state.clock = 2500000;
    z80_state.tcount = 0;
    wd1793_init();
    wd1793_reset();

    uint32_t length = static_cast<uint32_t>(data[0] | data[1] << 8 | data[2] << 16) & 0xFFFFF;
    if (data[0] & 0x80) length = real_sizes[data[1] % (sizeof real_sizes / sizeof real_sizes[0])];
    disk_geometry g{};
    diskimg_geometry(length, &g);
    diskimg_geometry((static_cast<uint64_t>(data[2]) << 40) | length, &g);

    // Small images come through the file loader, once a run; a big one, and
    // a small one inserted again, are laid into the drive as the loader
    // would, which spares the search a file of the image's size.
    const int drive = data[2] & 3;
    const bool small = length <= 65536;
    if (small) {
        const int fd = image_file(data, size, length);
        if (fd < 0) return 0;
        char path[64];
        std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
        diskimg_attach(diskimg_drive(drive), path);
    } else if (diskimg_geometry(length, &g)) {
        insert(drive, g, data, size, length, data[1] & 1);
    }
    wd1793_write_select(static_cast<uint8_t>(drive | FDC_SELECT_MOTOR));
    wd1793_reset();

    // Five hundred operations reach every state; longer programs, which the
    // search grows over millions of runs, only slow it.
    const size_t end = size < 1024 ? size : 1024;
    for (size_t i = 3; i + 1 < end; i += 2) {
        const uint8_t op = data[i], arg = data[i + 1];
        switch (op & 7) {
        case 0: wd1793_write_reg((op >> 3) & 3, arg); break;
        case 1: wd1793_read_reg((op >> 3) & 3); break;
        case 2: wd1793_write_select(arg); break;
        case 3: z80_state.tcount += static_cast<int64_t>(arg) << ((op >> 3) & 15); break;
        case 4: for (int k = 0; k < burst(op); ++k) wd1793_read_reg(3); break;
        case 5: for (int k = 0; k < burst(op); ++k) wd1793_write_reg(3, static_cast<uint8_t>(arg + ((op & 0x80) ? k : 0))); break;
        case 6:
            detach(arg & 3);
            if (!(op & 0x08) && small && diskimg_geometry(length, &g)) insert(arg & 3, g, data, size, length, false);
            break;
        default:
            wd1793_read_status(arg & 3);
            wd1793_is_active();
            if (op & 0x08) wd1793_reset();
            break;
        }
    }
    for (int d = 0; d < DISK_DRIVES; ++d) detach(d);
    return 0;
}
