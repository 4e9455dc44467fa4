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
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One block of a parsed image: the offset and length of its content.
struct ptp_block {
    size_t start;
    size_t length;
};
using ptp_program = std::vector<ptp_block>;

// Splits an image into its programs, checking every length. Returns 1, or 0
// with the reason (naming the offset) in `error`. One fault of a widely used
// converter is mended, and then *mended (if given) is set: a last data
// block whose length counts 3 bytes it does not hold (the end block's head)
// while its content, checksum and end block are intact gets its real length.
int ptp_parse(const uint8_t* data, size_t size, std::vector<ptp_program>& programs, std::string& error,
              bool* mended = nullptr);

uint8_t conv_to_bcd(int n);

// Attaches a PTP file for the ROM traps. Returns 1, or 0 after a message
// (the file is refused when it is not a well-formed image). A mended file
// (ptp_parse) is served with its real lengths after a notice.
int tape_init(const char* path);
void tape_ptp_attach_from(std::FILE* file);
int ptp_attached();
// A PTP file is attached and the ROM's loader reaches it through the traps.
int ptp_serving();
void tape_reset();
void ptp_place_traps();
void tape_remove_traps();
void ptp_rewind();
void ptp_close();

// The fast loader: places the first program of the file in memory and
// attaches the file behind it. Returns the start address of a 0xB9 end
// block, or 0 (no start address, or the file was refused).
uint16_t ptp_load(const char* path);
// The same with its reasons: 1 when the program was placed (start: its
// start address or 0), 0 when the image was refused with `error` set, and
// then memory and the tape are as they were.
int ptp_load_file(const char* path, uint16_t* start, std::string* error);
int ptp_load_image(const uint8_t* data, size_t size, uint16_t* start, std::string* error);
