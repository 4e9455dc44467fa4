// Disk images of the CP/M model's four floppy drives: raw sector files whose
// geometry follows from their size, held whole in memory while inserted.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr int DISK_DRIVES = 4;
constexpr int DISK_SECTOR_SIZE = 512;

struct disk_geometry {
    int sides;
    int tracks;     // per side
    int sectors;    // per track
};

struct disk_image {
    int sides = 0;
    int tracks = 0;
    int sectors = 0;
    int sector_size = 0;
    uint32_t length = 0;         // size of the file
    uint32_t data_offset = 0;
    std::vector<uint8_t> data;   // empty: no disk
    int read_only = 0;
    int dirty = 0;
    std::string path;
    uint64_t device = 0, inode = 0;   // the file's identity, whatever path names it
};

// The record of drive n (0..3, A: to D:).
disk_image& diskimg_drive(int n);

// The geometry of a file of the given size; false when it is no disk.
bool diskimg_geometry(uint64_t size, disk_geometry* out);

// Reads the whole file into the record, dropping what it held unsaved (a
// drive's disk is changed through wd1793_insert_disk). A file that opens
// only for reading, or that nobody may write, is inserted write-protected.
// False leaves the record empty and the reason in *why.
bool diskimg_attach(disk_image& image, const char* path, std::string* why = nullptr);
// Writes a changed image back when save is set, then empties the record.
// False, with the disk still inserted and "path (reason)" in *why, when the
// write-back failed.
bool diskimg_detach(disk_image& image, int save, std::string* why = nullptr);
// Writes a changed image back to its file (a new file in the same folder,
// then renamed over the old one, so the file is always either the old or
// the new image). True when the file holds the image; on failure the image
// stays dirty and *why is "path (reason)".
bool diskimg_save(disk_image& image, std::string* why = nullptr);
// diskimg_save for every drive; false (the first failure in *why) when any
// of them failed.
bool diskimg_save_all(std::string* why = nullptr);
int diskimg_inserted(const disk_image& image);
// The drive (0..3) other than `except` that holds the file at path, by
// another path or link too; -1 when none does.
int diskimg_drive_holding(const char* path, int except);

// One sector (side 0/1, track from 0, sector from 1) to or from buffer.
// 0 when there is no such sector on the disk; a write to a write-protected
// image changes the copy but never marks it for saving.
int disk_img_read_sector(const disk_image& image, int side, int track, int sector, uint8_t* buffer);
int disk_img_write_sector(disk_image& image, int side, int track, int sector, const uint8_t* buffer);
int disk_img_has_sector(const disk_image& image, int side, int track, int sector);

// New bootable CP/M disks: the boot sector, our CCP and BDOS on the
// reserved tracks and SUBMIT.COM as the only file.
struct cpm_disk_format {
    char name[12];               // also the cpmtools disk definition
    disk_geometry geometry;
};
extern const cpm_disk_format cpm_disk_formats[6];   // the first is the default
const cpm_disk_format* cpm_disk_format_by_name(const char* name);
// The image of a new disk of the format.
std::vector<uint8_t> cpm_disk_image(const cpm_disk_format& format);
// Writes it to path; an existing file is replaced only when overwrite is
// set. False with the reason in *why.
bool cpm_disk_make(const char* path, const cpm_disk_format& format, int overwrite, std::string* why = nullptr);
