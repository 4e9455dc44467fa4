#include "core/machine.h"
#include "support/cpm_host.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "roms.h"
#include "support/flat_bus.h"

namespace cpm_host {

namespace {

constexpr uint16_t CCP = 0xB000;
constexpr uint16_t BDOS_ENTRY = 0xB806;
constexpr uint16_t BIOS_VECTOR = 0xC600;
constexpr int BIOS_ENTRIES = 17;
constexpr uint16_t STUBS = 0xFF80;        // OUT (function),A / RET each
constexpr uint16_t RETURN_STUB = 0xFFC0;  // OUT (RETURN_PORT),A / HALT
constexpr uint8_t RETURN_PORT = 0x20;
constexpr uint16_t CALL_STACK = 0xF800;
constexpr uint16_t DPB = 0xFC00;
constexpr uint16_t DIRBUF = 0xFC80;
constexpr uint16_t DPH = 0xFD00;          // 16 bytes a drive
constexpr uint16_t CSV = 0xFD40;          // 32 bytes a drive
constexpr uint16_t ALV = 0xFE00;          // 64 bytes a drive
constexpr std::size_t SYSTEM_OFFSET = 512;

enum bios_fn {
    BOOT, WBOOT, CONST, CONIN, CONOUT, LIST, PUNCH, READER, HOME, SELDSK,
    SETTRK, SETSEC, SETDMA, READ, WRITE, LISTST, SECTRAN,
};

uint8_t& mem(uint16_t a) { return flat_bus_state::memory[a]; }
void set_a(uint8_t v) { z80_state.af = static_cast<uint16_t>((v << 8) | (z80_state.af & 0xFF)); }
void set_hl(uint16_t v) { z80_state.hl = v; }
uint8_t reg_c() { return static_cast<uint8_t>(z80_state.bc); }

void put_word(uint16_t a, uint16_t v)
{
    mem(a) = static_cast<uint8_t>(v);
    mem(static_cast<uint16_t>(a + 1)) = static_cast<uint8_t>(v >> 8);
}

void jump(uint16_t at, uint16_t to)
{
    mem(at) = 0xC3;
    put_word(static_cast<uint16_t>(at + 1), to);
}

// Loads the system from the reserved tracks of A:, as the BIOS does at every
// start, and enters the CCP with the drive and user of page zero.
void load_system()
{
    const auto& a = state.disks[0];
    for (std::size_t i = 0; i < 0x1600; ++i)
        mem(static_cast<uint16_t>(CCP + i)) = a[SYSTEM_OFFSET + i];
    for (int i = 0; i < BIOS_ENTRIES; ++i)
        jump(static_cast<uint16_t>(BIOS_VECTOR + 3 * i), static_cast<uint16_t>(STUBS + 3 * i));
    jump(0x0000, BIOS_VECTOR + 3);
    jump(0x0005, BDOS_ENTRY);
    if ((mem(4) & 0x0F) >= DRIVES)      // as the BIOS: drives it has not got
        mem(4) = 0;
    state.dma = DMA_DEFAULT;
    z80_state.bc = mem(4);
    z80_state.sp = CALL_STACK;
    z80_state.pc = CCP;
}

uint8_t* record_at(int disk)
{
    if (disk >= DRIVES || state.disks[disk].empty()) return nullptr;
    if (state.track >= state.geo.tracks || state.sector >= RECORDS_PER_TRACK) return nullptr;
    const long record = static_cast<long>(state.track) * RECORDS_PER_TRACK + state.sector;
    if (disk == 0 && record == state.bad_record) return nullptr;
    return &state.disks[disk][static_cast<std::size_t>(record) * 128];
}

void bios_call(uint8_t fn)
{
    switch (fn) {
    case BOOT:
        mem(3) = 0;
        mem(4) = 0;
        load_system();
        break;
    case WBOOT:
        ++state.warm_boots;
        load_system();
        break;
    case CONST: set_a(state.keys.empty() ? 0 : 0xFF); break;
    case CONIN:
        if (state.keys.empty()) {
            state.waiting = true;
            z80_state.pc = static_cast<uint16_t>(z80_state.pc - 2);   // ask again
        } else {
            set_a(state.keys.front());
            state.keys.pop_front();
        }
        break;
    case CONOUT: state.console.push_back(static_cast<char>(reg_c())); break;
    case LIST: state.printer.push_back(static_cast<char>(reg_c())); break;
    case PUNCH: break;
    case READER: set_a(0x1A); break;
    case LISTST: set_a(0xFF); break;
    case HOME: state.track = 0; break;
    case SELDSK: {
        const int d = reg_c();
        if (d >= DRIVES || state.disks[d].empty()) {
            set_hl(0);
            break;
        }
        state.disk = d;
        if (!(z80_state.de & 1)) state.first_selects.push_back(d);
        set_hl(static_cast<uint16_t>(DPH + 16 * d));
        break;
    }
    case SETTRK: state.track = z80_state.bc; break;
    case SETSEC: state.sector = z80_state.bc; break;
    case SETDMA: state.dma = z80_state.bc; break;
    case READ: {
        const uint8_t* r = record_at(state.disk);
        if (r) flat_load(state.dma, r, 128);
        set_a(r ? 0 : 1);
        break;
    }
    case WRITE: {
        uint8_t* r = record_at(state.disk);
        state.write_types.push_back(reg_c());
        for (int i = 0; r && i < 128; ++i) r[i] = mem(static_cast<uint16_t>(state.dma + i));
        set_a(r ? 0 : 1);
        break;
    }
    case SECTRAN:
        set_hl(z80_state.de ? mem(static_cast<uint16_t>(z80_state.de + z80_state.bc)) : z80_state.bc);
        break;
    default: break;
    }
}

void port_out(uint8_t port, uint8_t)
{
    if (port < BIOS_ENTRIES)
        bios_call(port);
    else if (port == RETURN_PORT)
        state.returned = true;
}

}  // namespace

std::vector<uint8_t> blank_disk()
{
    std::vector<uint8_t> d(state.geo.bytes(), 0xE5);
    d[0] = 0xC3; d[1] = 0x00; d[2] = 0xE0;            // JP to the BIOS cold start
    d[509] = 'G'; d[510] = 80; d[511] = 9;            // the geometry mark
    std::copy(std::begin(cpm_system), std::end(cpm_system), d.begin() + SYSTEM_OFFSET);
    return d;
}

void reset(const geometry& geo)
{
    flat_machine_reset();
    state = state_t{};
    state.geo = geo;
    state.disks[0] = blank_disk();
    flat_bus_state::out_handler = port_out;
    for (int i = 0; i < BIOS_ENTRIES; ++i) {
        const uint16_t at = static_cast<uint16_t>(STUBS + 3 * i);
        mem(at) = 0xD3;                                // OUT (i),A
        mem(static_cast<uint16_t>(at + 1)) = static_cast<uint8_t>(i);
        mem(static_cast<uint16_t>(at + 2)) = 0xC9;     // RET
    }
    mem(RETURN_STUB) = 0xD3;
    mem(RETURN_STUB + 1) = RETURN_PORT;
    mem(RETURN_STUB + 2) = 0x76;                      // HALT
    // 36 records a track, 2 KB blocks, 128 directory entries in blocks 0
    // and 1 (32 records checked), two system tracks.
    const uint8_t dpb[15] = {36, 0, 4, 15, geo.exm, static_cast<uint8_t>(geo.dsm),
                             static_cast<uint8_t>(geo.dsm >> 8), 127, 0, 0xC0, 0, 32, 0, 2, 0};
    flat_load(DPB, dpb, sizeof dpb);
    for (int d = 0; d < DRIVES; ++d) {
        const uint16_t h = static_cast<uint16_t>(DPH + 16 * d);
        put_word(static_cast<uint16_t>(h + 8), DIRBUF);
        put_word(static_cast<uint16_t>(h + 10), DPB);
        put_word(static_cast<uint16_t>(h + 12), static_cast<uint16_t>(CSV + 32 * d));
        put_word(static_cast<uint16_t>(h + 14), static_cast<uint16_t>(ALV + 64 * d));
    }
}

void boot()
{
    z80_state.pc = STUBS + 3 * BOOT;
    z80_state.sp = CALL_STACK;
}

void type(const std::string& keys)
{
    for (char c : keys) state.keys.push_back(static_cast<uint8_t>(c));
}

bool run(int64_t limit)
{
    const int64_t start = z80_state.tcount;
    while (z80_state.tcount - start < limit) {
        state.waiting = false;
        z80_run_flat(50'000);
        if (state.returned || (state.waiting && state.keys.empty())) return true;
    }
    return false;
}

void command(const std::string& line)
{
    type(line + "\r");
    run();
}

bdos_result bdos(uint8_t function, uint16_t de)
{
    z80_state.sp = CALL_STACK - 2;
    put_word(z80_state.sp, RETURN_STUB);
    z80_state.pc = 0x0005;
    z80_state.bc = function;
    z80_state.de = de;
    state.returned = false;
    run();
    bdos_result r;
    r.done = state.returned;
    r.hl = z80_state.hl;
    r.a = static_cast<uint8_t>(z80_state.af >> 8);
    r.b = static_cast<uint8_t>(z80_state.bc >> 8);
    state.returned = false;
    return r;
}

void put_fcb(uint16_t address, const std::string& name, uint8_t drive)
{
    uint8_t fcb[36] = {};
    fcb[0] = drive;
    std::fill(fcb + 1, fcb + 12, ' ');
    const auto dot = name.find('.');
    const std::string base = name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    std::copy(base.begin(), base.begin() + std::min<std::size_t>(base.size(), 8), fcb + 1);
    std::copy(ext.begin(), ext.begin() + std::min<std::size_t>(ext.size(), 3), fcb + 9);
    flat_load(address, fcb, sizeof fcb);
}

const uint8_t* dir_entry(const std::vector<uint8_t>& disk, int n)
{
    return &disk[DIR_OFFSET + 32 * static_cast<std::size_t>(n)];
}

// ---------------------------------------------------------------- cpmtools

cpmtools_dir::cpmtools_dir()
{
    char name[] = "/tmp/brevan-cpm-XXXXXX";
    path = mkdtemp(name) ? name : "/tmp";
    std::ofstream defs(path + "/diskdefs");
    for (const geometry& g : {ONE_SIDE, TWO_SIDES})
        defs << "diskdef " << g.diskdef << "\n  seclen 512\n  tracks " << g.tracks
             << "\n  sectrk 9\n  blocksize 2048\n  maxdir 128\n  skew 0\n  boottrk 2\n"
                "  os 2.2\nend\n";
}

cpmtools_dir::~cpmtools_dir()
{
    std::error_code ec;
    if (path != "/tmp") std::filesystem::remove_all(path, ec);
}

void cpmtools_dir::save(const std::vector<uint8_t>& disk) const
{
    std::ofstream(image(), std::ios::binary)
        .write(reinterpret_cast<const char*>(disk.data()), static_cast<std::streamsize>(disk.size()));
}

static std::vector<uint8_t> read_file(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> cpmtools_dir::load() const { return read_file(image()); }

std::string cpmtools_dir::run(const std::string& cmd, int* status) const
{
    std::string out;
    if (std::FILE* p = popen(("cd " + path + " && " + cmd + " 2>&1").c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        const int rc = pclose(p);
        if (status) *status = rc;
    }
    return out;
}

void cpmtools_dir::put_file(const std::string& name, const std::vector<uint8_t>& bytes) const
{
    std::ofstream(path + "/host.tmp", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    run("cpmcp -f " + format + " disk.img host.tmp 0:" + name);
}

std::vector<uint8_t> cpmtools_dir::get_file(const std::string& cpm_name) const
{
    std::filesystem::remove(path + "/out.tmp");
    run("cpmcp -f " + format + " disk.img 0:" + cpm_name + " out.tmp");
    return read_file(path + "/out.tmp");
}

}  // namespace cpm_host
