// PTP tape images: the structure of the files, the ROM loader and saver
// traps that serve them, and the fast loader.
//
// A file is one or more programs: 0xFF, the program's length (16 bits, the
// three header bytes included), then blocks: a marker (0x55, or 0xAA for
// the program's last block), a 16-bit length and that many content bytes,
// exactly as the ROM reads them from tape (type byte first). Checksums are
// the sum of the bytes between the type and the checksum as stored; block
// numbers are BCD, modulo 100.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/device.h"

// The reader's record in the machine: where the ROM's loader stands in the
// attached file and the block it is reading (the file is the host's).
struct ptp_t {
    int32_t file_pointer = 0;    // the next program's header
    int32_t block_position = 0;
    int32_t block_length = 0;
    uint8_t blocktype = 0;
    int32_t idx = 0;
    // One byte more than a block can hold: reads past a block's end return it.
    std::array<uint8_t, 1025> block_buffer{};
};
void ptp_device_reset(reset_kind kind);
void ptp_device_state(state_io& io);

// One block of a parsed image: the offset and length of its content.
struct ptp_block {
    size_t start;
    size_t length;
};
using ptp_program = std::vector<ptp_block>;

// Splits an image into its programs, checking every length. False with the
// reason (naming the offset) in *why. One fault of a widely used converter
// is mended, and then *mended (if given) is set: a last data block whose
// length counts 3 bytes it does not hold (the end block's head) while its
// content, checksum and end block are intact gets its real length.
bool ptp_parse(const uint8_t* data, size_t size, std::vector<ptp_program>& programs, std::string* why,
               bool* mended = nullptr);

uint8_t conv_to_bcd(int n);

// Attaches a PTP file for the ROM traps. False, with the reason in *why,
// when it is not a well-formed image or cannot be read. A mended file
// (ptp_parse) is served with its real lengths after a note to the shell.
bool tape_init(const char* path, std::string* why = nullptr);
void tape_ptp_attach_from(std::FILE* file);
int ptp_attached();
// A PTP file is attached and the ROM's loader reaches it through the traps.
int ptp_serving();
void tape_reset();
void ptp_place_traps();
void tape_remove_traps();
void ptp_rewind();
void ptp_close();

// The fast loader: places the first program of the file in memory through
// the bus and attaches the file behind it. True with *start the start
// address of a 0xB9 end block, or 0; false when the image was refused with
// *why set, and then memory and the tape are as they were.
bool ptp_load_file(const char* path, uint16_t* start, std::string* why);
bool ptp_load_image(const uint8_t* data, size_t size, uint16_t* start, std::string* why);
