// Our CP/M system (CCP + BDOS, the `cpm_system` image) on the flat test bus
// with a BIOS served here: the 17 jumps at BIOS_VECTOR lead to OUT stubs
// whose port is the BIOS function, and the handler does its work on the
// processor registers. Disks are in-memory images, read and written in
// 128-byte records, with the system on their two reserved tracks: the
// 9-sector, 80-track single-sided geometry (2 KB blocks, 175 of them, so
// one-byte block numbers) or the same two-sided (355 blocks, two-byte block
// numbers).
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace cpm_host {

constexpr int RECORDS_PER_TRACK = 36;
constexpr std::size_t DIR_OFFSET = 2 * RECORDS_PER_TRACK * 128;   // after the reserved tracks
constexpr int DRIVES = 4;
constexpr uint16_t DMA_DEFAULT = 0x0080;

struct geometry {
    const char* diskdef;   // its name in the cpmtools definitions
    int tracks;            // both sides count as tracks of their own
    uint16_t dsm;          // last block
    uint8_t exm;           // extent mask
    std::size_t bytes() const { return std::size_t(tracks) * RECORDS_PER_TRACK * 128; }
};
inline constexpr geometry ONE_SIDE{"brevantest", 80, 174, 1};
inline constexpr geometry TWO_SIDES{"brevantest2", 160, 354, 0};

struct state_t {
    geometry geo = ONE_SIDE;
    std::array<std::vector<uint8_t>, DRIVES> disks;   // empty: no such drive
    std::string console;                             // everything CONOUT wrote
    std::string printer;                             // everything LIST wrote
    std::deque<uint8_t> keys;                        // waiting for CONIN
    int warm_boots = 0;
    bool waiting = false;                            // CONIN found no key
    bool returned = false;                           // a direct BDOS call came back
    int disk = 0, track = 0, sector = 0;
    uint16_t dma = DMA_DEFAULT;
    long bad_record = -1;                            // absolute record of drive A that fails
    std::vector<int> write_types;                    // C of every WRITE
    std::vector<int> first_selects;                  // drives selected with E bit 0 clear
};
inline state_t state;

// A formatted disk: 0xE5 everywhere, the boot sector and the system on the
// reserved tracks.
std::vector<uint8_t> blank_disk();
// Fresh flat machine and host state with a blank disk in A:.
void reset(const geometry& geo = ONE_SIDE);
// The BIOS cold start: loads the system and enters the CCP on drive A:.
void boot();
void type(const std::string& keys);
// Runs until CONIN waits with no key left, a direct call returns, or
// `limit` T-states pass. True unless the limit was reached.
bool run(int64_t limit = 2'000'000'000);
// Types `line` and a RETURN, then runs until the next key is wanted.
void command(const std::string& line);

// Calls the BDOS from a private stack (the system must be loaded); returns
// HL after the call. `done` is false when it did not return (a warm start
// or a key wait).
struct bdos_result {
    uint16_t hl = 0;
    uint8_t a = 0, b = 0;
    bool done = false;
};
bdos_result bdos(uint8_t function, uint16_t de = 0);

// A 36-byte FCB for "NAME.TYP" at `address`, drive code `drive` (0 default).
void put_fcb(uint16_t address, const std::string& name, uint8_t drive = 0);
// Directory entry `n` of a disk image.
const uint8_t* dir_entry(const std::vector<uint8_t>& disk, int n);

// cpmtools run on an image file with a disk definition of this geometry,
// in a scratch folder of its own.
struct cpmtools_dir {
    std::string path;
    std::string format = state.geo.diskdef;
    cpmtools_dir();
    ~cpmtools_dir();
    std::string image() const { return path + "/disk.img"; }
    void save(const std::vector<uint8_t>& disk) const;
    std::vector<uint8_t> load() const;
    // Runs "cd folder && cmd", returns its standard output.
    std::string run(const std::string& cmd, int* status = nullptr) const;
    void put_file(const std::string& name, const std::vector<uint8_t>& bytes) const;
    std::vector<uint8_t> get_file(const std::string& cpm_name) const;
};

}  // namespace cpm_host
