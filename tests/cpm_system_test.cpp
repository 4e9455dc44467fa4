// Our CCP and BDOS on the flat test bus with a BIOS served by the test:
// the built-in commands as cpmtools sees their results, programs and their
// command lines, and the BDOS calls whose CP/M 2.2 rules programs rely on
// (extents, random records, user numbers, read-only files and drives, a
// full disk, a changed disk, line input, the result registers).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "roms.h"
#include "support/cpm_host.h"
#include "support/flat_bus.h"

using namespace cpm_host;

namespace {

constexpr uint16_t FCB = 0x9000;
constexpr uint16_t FCB2 = 0x9040;
constexpr uint16_t DMA = 0x9100;
constexpr uint16_t LINE = 0x9200;
constexpr uint16_t ALLOC_A = 0xFE00;   // where the test BIOS keeps A:'s vector
constexpr uint16_t DPB_A = 0xFC00;
constexpr geometry GEOMETRIES[] = {ONE_SIDE, TWO_SIDES};

uint8_t& mem(uint16_t a) { return flat_bus_state::memory[a]; }

std::vector<uint8_t> pattern(std::size_t n, unsigned seed)
{
    std::vector<uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        v[i] = static_cast<uint8_t>(seed >> 16);
    }
    return v;
}

std::vector<uint8_t> read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The console output since the last call.
std::string fresh_output()
{
    static std::size_t seen = 0;
    if (seen > state.console.size()) seen = 0;
    std::string s = state.console.substr(seen);
    seen = state.console.size();
    return s;
}

// Boots to the prompt with the files put on A: by cpmtools.
void boot_with(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files,
               const geometry& geo = ONE_SIDE)
{
    reset(geo);
    if (!files.empty()) {
        cpmtools_dir dir;
        dir.save(state.disks[0]);
        for (const auto& [name, bytes] : files) dir.put_file(name, bytes);
        state.disks[0] = dir.load();
    }
    boot();
    ASSERT_TRUE(run());
    fresh_output();
}

// A BDOS call that must come back; returns A.
uint8_t call(uint8_t fn, uint16_t de = 0)
{
    const bdos_result r = bdos(fn, de);
    EXPECT_TRUE(r.done) << "function " << int(fn) << " did not return: " << state.console;
    return r.a;
}

void set_random(uint16_t fcb, uint32_t record)
{
    mem(fcb + 33) = static_cast<uint8_t>(record);
    mem(fcb + 34) = static_cast<uint8_t>(record >> 8);
    mem(fcb + 35) = static_cast<uint8_t>(record >> 16);
}

uint32_t random_field(uint16_t fcb) { return mem(fcb + 33) | mem(fcb + 34) << 8 | mem(fcb + 35) << 16; }

void fill_record(uint8_t value) { std::memset(&mem(DMA), value, 128); }

// Makes NAME on the current drive and user and writes `records` records,
// record n filled with n & 0xFF. Returns the result of the last write.
uint8_t write_file(const std::string& name, int records)
{
    put_fcb(FCB, name);
    call(19, FCB);
    EXPECT_NE(call(22, FCB), 0xFF);
    call(26, DMA);
    uint8_t rc = 0;
    for (int n = 0; n < records && rc == 0; ++n) {
        fill_record(static_cast<uint8_t>(n));
        rc = call(21, FCB);
    }
    EXPECT_NE(call(16, FCB), 0xFF);
    return rc;
}

// ---------------------------------------------------------------- the CCP

TEST(CpmCcp, BuiltInCommandsChangeTheDirectoryAsCpmtoolsSeesIt)
{
    const std::string text = "Hello, CP/M\r\nsecond line\r\n\x1Anot shown";
    boot_with({{"HELLO.TXT", std::vector<uint8_t>(text.begin(), text.end())}});
    const std::vector<uint8_t> tpa = pattern(130 * 256, 7);
    flat_load(0x0100, tpa.data(), tpa.size());
    cpmtools_dir dir;

    struct step { const char* line; const char* shows; };
    const step steps[] = {
        {"SAVE 3 ONE.COM", ""},
        {"save 130 big.dat", ""},
        {"REN TWO.COM=ONE.COM", ""},
        {"REN TWO.COM=BIG.DAT", "FILE EXISTS"},
        {"REN X.COM=NONE.COM", "NO FILE"},
        {"DIR", "A: HELLO    TXT : TWO      COM\r\nA: BIG      DAT"},
        {"DIR *.COM", "A: TWO      COM\r\nA>"},
        {"DIR X*.*", "NO FILE"},
        {"TYPE HELLO.TXT", "Hello, CP/M\r\nsecond line\r\n\r\nA>"},
        {"ERA *.*", "ALL (Y/N)?"},
        {"N", ""},
        {"ERA BIG.DAT", ""},
        {"ERA BIG.DAT", "NO FILE"},
        {"TYPE NONE.TXT", "NONE.TXT?"},
        {"FROB", "FROB?"},
        {"DIR A B", "B?"},
    };
    bool big_checked = false;
    for (const step& s : steps) {
        if (std::string(s.line) == "ERA BIG.DAT" && !big_checked) {
            big_checked = true;
            dir.save(state.disks[0]);
            EXPECT_EQ(dir.get_file("BIG.DAT"), tpa) << "SAVE across extents";
        }
        command(s.line);
        const std::string out = fresh_output();
        EXPECT_NE(out.find(s.shows), std::string::npos) << s.line << " showed:\n" << out;
        EXPECT_EQ(state.warm_boots, 0) << s.line;
    }
    dir.save(state.disks[0]);
    EXPECT_EQ(dir.run("cpmls -f brevantest disk.img"), "0:\nhello.txt\ntwo.com\n");
    EXPECT_EQ(dir.get_file("TWO.COM"), std::vector<uint8_t>(tpa.begin(), tpa.begin() + 768));

    command("ERA *.*");
    command("Y");
    command("DIR");
    EXPECT_NE(fresh_output().find("NO FILE"), std::string::npos);
    dir.save(state.disks[0]);
    EXPECT_EQ(dir.run("cpmls -f brevantest disk.img"), "");
}

TEST(CpmCcp, DrivesAndUserAreasKeepTheirOwnFiles)
{
    reset();
    state.disks[1] = blank_disk();
    boot();
    ASSERT_TRUE(run());
    const struct { const char* line; const char* shows; } steps[] = {
        {"B:", "B>"},
        {"SAVE 1 ON.B", "B>"},
        {"A:", "A>"},
        {"SAVE 1 ON.A", ""},
        {"DIR B:", "B: ON       B"},
        {"USER 3", ""},
        {"SAVE 1 USER3.A", ""},
        {"DIR", "A: USER3    A  \r\nA>"},
        {"USER 0", ""},
        {"DIR", "A: ON       A  \r\nA>"},
        {"ERA B:ON.B", ""},
        {"DIR B:", "NO FILE"},
        {"USER 16", "16?"},
        {"C:", "Bdos Err On C: Select"},
    };
    for (const auto& s : steps) {
        command(s.line);
        const std::string out = fresh_output();
        EXPECT_NE(out.find(s.shows), std::string::npos) << s.line << " showed:\n" << out;
    }
    type("x");
    run();
    EXPECT_EQ(state.warm_boots, 1);
    EXPECT_NE(fresh_output().find("A>"), std::string::npos) << "back on the drive that works";

    // A warm start onto a drive that stopped answering falls back to A:.
    command("B:");
    state.disks[1].clear();
    bdos(0);
    EXPECT_NE(fresh_output().find("Bdos Err On B: Select"), std::string::npos);
    type("x");
    run();
    EXPECT_EQ(state.warm_boots, 3);
    EXPECT_NE(fresh_output().find("A>"), std::string::npos);
}

// A program that only returns: the CCP left its command line for it.
TEST(CpmCcp, ProgramsGetTheirCommandTailAndDefaultFcbs)
{
    boot_with({{"SHOW.COM", {0xC9}}});
    const struct { const char* line; const char* fcb1; const char* fcb2; const char* tail; } cases[] = {
        {"SHOW", "\0           ", "\0           ", ""},
        {"show b:foo.txt *.c", "\2FOO     TXT", "\0????????C  ", " B:FOO.TXT *.C"},
        {"SHOW  LONGFILENAME.TEXT,X", "\0LONGFILETEX", "\0           ", "  LONGFILENAME.TEXT,X"},
        {"SHOW AB*.?Z C:X", "\0AB???????Z ", "\3X          ", " AB*.?Z C:X"},
    };
    for (const auto& c : cases) {
        command(c.line);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&mem(0x5C)), 12), std::string(c.fcb1, 12)) << c.line;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&mem(0x6C)), 12), std::string(c.fcb2, 12)) << c.line;
        EXPECT_EQ(mem(0x5C + 12) | mem(0x5C + 32), 0) << c.line;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&mem(0x81)), mem(0x80)), c.tail) << c.line;
        EXPECT_EQ(mem(0x81 + mem(0x80)), 0) << c.line;
    }
    EXPECT_EQ(state.warm_boots, 0) << "a program that returns comes back to the prompt";
    command("SHOW.COM");
    EXPECT_NE(fresh_output().find("SHOW.COM?"), std::string::npos);
}

TEST(CpmCcp, ControlCAtThePromptWarmStarts)
{
    boot_with({});
    type("\x03");
    run();
    EXPECT_EQ(state.warm_boots, 1);
    EXPECT_NE(fresh_output().find("A>"), std::string::npos);
}

// ---------------------------------------------------------------- SUBMIT

using disk_file = std::pair<std::string, std::vector<uint8_t>>;

std::vector<uint8_t> bytes_of(const std::string& s) { return {s.begin(), s.end()}; }

// SUBMIT.COM, a program that warm starts and one that waits for a key, and
// T.SUB when its text is given.
std::vector<disk_file> batch_files(const std::string& sub)
{
    std::vector<disk_file> files = {
        {"SUBMIT.COM", std::vector<uint8_t>(cpm_submit, cpm_submit + cpm_submit_size)},
        {"QUIT.COM", {0xC3, 0x00, 0x00}},                     // JP 0
        {"WAIT.COM", {0x0E, 0x01, 0xCD, 0x05, 0x00, 0xC9}},   // console input, RET
    };
    if (!sub.empty()) files.push_back({"T.SUB", bytes_of(sub + "\x1A")});
    return files;
}

std::string listing()
{
    cpmtools_dir dir;
    dir.save(state.disks[0]);
    return dir.run("cpmls -f " + dir.format + " disk.img");
}

TEST(CpmSubmit, BatchRunsEveryLineInOrderWithItsParametersAcrossWarmStarts)
{
    boot_with(batch_files("SAVE 1 $1.COM\r\nQUIT\r\nren b$$.com=$1.com\r\n"));
    command("SUBMIT T ARG");
    const std::string out = fresh_output();
    const size_t save = out.find("A>SAVE 1 ARG.COM"), quit = out.find("A>QUIT"), ren = out.find("A>ren b$.com=ARG.com");
    ASSERT_NE(ren, std::string::npos) << out;
    EXPECT_LT(save, quit) << out;
    EXPECT_LT(quit, ren) << out;
    EXPECT_EQ(out.substr(out.size() - 4), "\r\nA>") << "back at the keyboard: " << out;
    EXPECT_EQ(state.warm_boots, 2) << "SUBMIT's own, and QUIT's in the middle";
    EXPECT_EQ(listing(), "0:\nb$.com\nquit.com\nsubmit.com\nt.sub\nwait.com\n") << "$$$.SUB is gone";
}

// While WAIT runs, the two lines after it are in A:$$$.SUB, last first, one
// record each; a key pressed when the next comes up ends the batch.
TEST(CpmSubmit, BatchFileHoldsOneRecordALineAndAKeyAbandonsIt)
{
    boot_with(batch_files("WAIT\r\nSAVE 1 $1.COM\nx ^c$2$$\r\n"));
    command("SUBMIT T ARG");
    ASSERT_TRUE(state.waiting);
    cpmtools_dir dir;
    dir.save(state.disks[0]);
    std::vector<uint8_t> records(256, 0);
    const std::string last = "\x04x \x03$", first = "\x0ESAVE 1 ARG.COM";
    std::copy(last.begin(), last.end(), records.begin());
    std::copy(first.begin(), first.end(), records.begin() + 128);
    EXPECT_EQ(dir.get_file("'$$$.SUB'"), records);

    type("x\x03");
    run();
    EXPECT_EQ(listing(), "0:\nquit.com\nsubmit.com\nt.sub\nwait.com\n") << "no ARG.COM, no $$$.SUB";
    command("DIR T.SUB");
    EXPECT_NE(fresh_output().find("A: T        SUB"), std::string::npos) << "the keyboard again";
}

TEST(CpmSubmit, FaultyBatchesAreReportedAndNothingRuns)
{
    std::string too_many;
    for (int i = 0; i < 129; ++i) too_many += "WAIT\r\n";
    const struct { std::string sub; const char* message; } cases[] = {
        {"", "No 'SUB' File Present"},
        {"DIR\r\nX $0\r\n", "Error On Line 2: Parameter Error"},
        {"^1\r\n", "Error On Line 1: Invalid Control Character"},
        {std::string(127, 'A') + "\r\n", "Error On Line 1: Command Too Long"},
        {too_many, "Error On Line 129: Command Buffer Overflow"},
    };
    for (const auto& c : cases) {
        boot_with(batch_files(c.sub));
        command("SUBMIT T");
        EXPECT_NE(fresh_output().find(c.message), std::string::npos) << state.console;
        EXPECT_EQ(state.console.find("A>WAIT"), std::string::npos) << c.message;
        EXPECT_EQ(listing().find("$$$"), std::string::npos) << c.message;
    }
}

TEST(CpmCcp, ControlPEchoesTheConsoleToTheListDevice)
{
    boot_with({{"HELLO.TXT", bytes_of("hi\x1A")}});
    command("\x10" "DIR");
    command("\x10" "DIR");
    EXPECT_EQ(state.printer, "DIR\r\r\nA: HELLO    TXT\r\nA>") << "on from the first ^P to the second";
}

TEST(CpmCcp, RandomRecordProgramCopiesAFileExactly)
{
    const std::vector<uint8_t> in = pattern(400 * 128, 11);
    for (const geometry& geo : GEOMETRIES) {
        boot_with({{"RANDCOPY.COM", read_file(BREVAN_CPM_PROGRAMS "/randcopy.bin")}, {"IN.DAT", in}}, geo);
        command("RANDCOPY IN.DAT OUT.DAT");
        EXPECT_NE(fresh_output().find("COPIED"), std::string::npos) << geo.diskdef << state.console;
        cpmtools_dir dir;
        dir.save(state.disks[0]);
        EXPECT_EQ(dir.get_file("OUT.DAT"), in) << geo.diskdef;
    }
}

// ---------------------------------------------------------------- BDOS files

// Record n of the file holds n & 0xFF in every byte.
bool record_is(int n) { return mem(DMA) == static_cast<uint8_t>(n) && mem(DMA + 127) == static_cast<uint8_t>(n); }

TEST(CpmBdos, FilesAcrossExtentsReadBackSequentiallyAndByRandomRecord)
{
    boot_with({});
    ASSERT_EQ(write_file("LONG.DAT", 300), 0);
    // Two logical extents of 16 KB an entry (EXM 1): ext 1 full, then ext 2 with 44.
    const uint8_t* e0 = dir_entry(state.disks[0], 0);
    const uint8_t* e1 = dir_entry(state.disks[0], 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(e0), 12), std::string("\0LONG    DAT", 12));
    EXPECT_EQ(e0[12], 1); EXPECT_EQ(e0[15], 128); EXPECT_EQ(e0[14], 0);
    EXPECT_EQ(e1[12], 2); EXPECT_EQ(e1[15], 44);
    EXPECT_NE(e0[31], 0); EXPECT_NE(e1[18], 0); EXPECT_EQ(e1[19], 0);

    put_fcb(FCB, "LONG.DAT");
    ASSERT_EQ(call(15, FCB), 0);
    EXPECT_EQ(mem(FCB + 15), 128) << "extent 0 lies before the entry's last one";
    int n = 0;
    while (call(20, FCB) == 0) {
        EXPECT_TRUE(record_is(n)) << n;
        ++n;
    }
    EXPECT_EQ(n, 300);
    call(36, FCB);
    EXPECT_EQ(random_field(FCB), 300u);
    call(35, FCB);
    EXPECT_EQ(random_field(FCB), 300u);

    const struct { uint32_t record; uint8_t result; } random[] = {
        {299, 0}, {5, 0}, {128, 0}, {300, 1}, {383, 1}, {1000, 4}, {0x10000, 6}, {200, 0},
    };
    for (const auto& r : random) {
        set_random(FCB, r.record);
        fill_record(0xEE);
        EXPECT_EQ(call(33, FCB), r.result) << r.record;
        if (r.result == 0) {
            EXPECT_TRUE(record_is(static_cast<int>(r.record))) << r.record;
        }
    }
    // A random read leaves the sequential position on the record it read.
    EXPECT_EQ(call(20, FCB), 0);
    EXPECT_TRUE(record_is(200));
}

// Rewriting a file that fills its entry exactly opens the next extent ahead
// of time; the new entry gets a plain module number.
TEST(CpmBdos, RewritingAFullEntryMakesAPlainNextEntry)
{
    boot_with({{"EVEN.DAT", pattern(256 * 128, 3)}});
    put_fcb(FCB, "EVEN.DAT");
    ASSERT_EQ(call(15, FCB), 0);
    call(26, DMA);
    for (int n = 0; n < 256; ++n) ASSERT_EQ(call(21, FCB), 0);
    call(16, FCB);
    EXPECT_EQ(dir_entry(state.disks[0], 1)[12], 2);
    EXPECT_EQ(dir_entry(state.disks[0], 1)[14], 0);
}

TEST(CpmBdos, WriteRandomWithZeroFillClearsTheNewBlock)
{
    boot_with({});
    put_fcb(FCB, "SPARSE.DAT");
    ASSERT_NE(call(22, FCB), 0xFF);
    call(26, DMA);
    fill_record(0x77);
    set_random(FCB, 20);
    ASSERT_EQ(call(40, FCB), 0);
    ASSERT_EQ(call(16, FCB), 0);
    call(35, FCB);
    EXPECT_EQ(random_field(FCB), 21u);
    set_random(FCB, 17);
    EXPECT_EQ(call(33, FCB), 0);
    EXPECT_EQ(mem(DMA) | mem(DMA + 127), 0);
    set_random(FCB, 20);
    EXPECT_EQ(call(33, FCB), 0);
    EXPECT_EQ(mem(DMA + 64), 0x77);
    set_random(FCB, 5);
    EXPECT_EQ(call(33, FCB), 1) << "no block holds records 0-15";
}

TEST(CpmBdos, UserNumbersKeepFilesApart)
{
    boot_with({});
    write_file("SAME.DAT", 1);
    call(32, 3);
    write_file("SAME.DAT", 2);
    write_file("OTHER.DAT", 1);
    EXPECT_EQ(call(32, 0xFF), 3);

    put_fcb(FCB, "????????.???");
    call(26, DMA);
    int found = 0;
    for (uint8_t r = call(17, FCB); r != 0xFF; r = call(18, FCB)) {
        EXPECT_EQ(mem(DMA + 32 * r), 3);
        ++found;
    }
    EXPECT_EQ(found, 2);
    put_fcb(FCB, "SAME.DAT");
    ASSERT_NE(call(15, FCB), 0xFF);
    EXPECT_EQ(mem(FCB + 15), 2) << "user 3's file, not user 0's";
    EXPECT_EQ(mem(FCB), 0) << "the drive byte is given back";

    call(32, 5);
    put_fcb(FCB, "SAME.DAT");
    EXPECT_EQ(call(15, FCB), 0xFF);
    call(32, 3);
    EXPECT_NE(call(19, FCB), 0xFF);
    call(32, 0);
    put_fcb(FCB, "SAME.DAT");
    EXPECT_NE(call(15, FCB), 0xFF) << "user 0's file survives";

    // '?' as the drive byte returns every entry up to the last one in use,
    // free ones included: user 0's SAME, the erased one, OTHER.
    mem(FCB) = '?';
    int entries = 0, free_entries = 0;
    for (uint8_t r = call(17, FCB); r != 0xFF; r = call(18, FCB)) {
        ++entries;
        free_entries += mem(DMA + 32 * r) == 0xE5;
    }
    EXPECT_EQ(entries, 3);
    EXPECT_EQ(free_entries, 1);
}

// Each case sets something up and makes a call that must stop with a BDOS
// error; a key then warm starts (or, after Bad Sector, lets the call go on).
TEST(CpmBdos, ErrorsStopWithTheirMessageAndAKeyWarmStarts)
{
    struct error_case {
        const char* name;
        void (*setup)();
        uint8_t fn;
        const char* message;
    };
    const error_case cases[] = {
        {"write to a read-only file",
         [] {
             write_file("RO.DAT", 1);
             put_fcb(FCB, "RO.DAT");
             mem(FCB + 9) |= 0x80;
             ASSERT_NE(call(30, FCB), 0xFF);
             put_fcb(FCB, "RO.DAT");
             ASSERT_EQ(call(15, FCB), 0);
             ASSERT_EQ(call(20, FCB), 0) << "reading it is fine";
         },
         21, "Bdos Err On A: File R/O"},
        {"erase a read-only file",
         [] {
             write_file("RO.DAT", 1);
             put_fcb(FCB, "RO.DAT");
             mem(FCB + 9) |= 0x80;
             call(30, FCB);
         },
         19, "Bdos Err On A: File R/O"},
        {"make on a write-protected drive", [] { call(28); put_fcb(FCB, "NEW.DAT"); }, 22,
         "Bdos Err On A: R/O"},
        {"select a missing drive", [] { put_fcb(FCB, "X.DAT", 4); }, 15, "Bdos Err On D: Select"},
        {"unreadable directory", [] { state.bad_record = 2 * 36; put_fcb(FCB, "X.DAT"); }, 15,
         "Bdos Err On A: Bad Sector"},
    };
    for (const error_case& c : cases) {
        SCOPED_TRACE(c.name);
        boot_with({});
        c.setup();
        const bdos_result r = bdos(c.fn, FCB);
        EXPECT_FALSE(r.done);
        EXPECT_TRUE(state.waiting);
        EXPECT_NE(fresh_output().find(c.message), std::string::npos) << state.console;
        state.bad_record = -1;
        type("\x03");
        run();
        EXPECT_EQ(state.warm_boots, 1);
        EXPECT_EQ(call(29), 0) << "the warm start makes every drive writable again";
    }

    boot_with({});
    state.bad_record = 2 * 36;
    put_fcb(FCB, "X.DAT");
    bdos(15, FCB);
    type("x");
    run();
    EXPECT_TRUE(state.returned) << "any key but ^C goes on after Bad Sector";
    EXPECT_EQ(state.warm_boots, 0);
}

TEST(CpmBdos, AnotherDiskInTheDriveIsReadOnlyUntilAWarmStart)
{
    boot_with({});
    write_file("FIRST.DAT", 1);
    put_fcb(FCB, "FIRST.DAT");
    ASSERT_EQ(call(15, FCB), 0);
    std::vector<uint8_t> other = blank_disk();
    std::memcpy(&other[DIR_OFFSET], "\0OTHER   DAT\0\0\0\1\2", 17);
    state.disks[0] = other;
    put_fcb(FCB, "FIRST.DAT");
    EXPECT_EQ(call(15, FCB), 0xFF);
    EXPECT_EQ(call(29), 1) << "the directory checksum no longer matches";
    put_fcb(FCB, "NEW.DAT");
    EXPECT_FALSE(bdos(22, FCB).done);
    EXPECT_NE(fresh_output().find("Bdos Err On A: R/O"), std::string::npos);
    EXPECT_EQ(dir_entry(state.disks[0], 1)[0], 0xE5) << "nothing was written over the other disk";
    type("\x03");
    run();
    put_fcb(FCB, "NEW.DAT");
    EXPECT_EQ(call(22, FCB), 1) << "after the warm start the new disk is logged in";
}

TEST(CpmBdos, FullDiskAndFullDirectoryAsCpm22Reports)
{
    for (const geometry& geo : GEOMETRIES) {
        SCOPED_TRACE(geo.diskdef);
        boot_with({}, geo);
        // All blocks but the two of the directory, 16 records each.
        const int room = (geo.dsm + 1 - 2) * 16;
        EXPECT_EQ(write_file("FILL.DAT", room + 5), 2) << "disk full";
        put_fcb(FCB, "FILL.DAT");
        call(35, FCB);
        EXPECT_EQ(random_field(FCB), static_cast<uint32_t>(room));
        const uint16_t alloc = bdos(27).hl;
        EXPECT_EQ(alloc, ALLOC_A);
        for (int block = 0; block <= geo.dsm; ++block)
            ASSERT_TRUE(mem(alloc + block / 8) & (0x80 >> (block % 8))) << block;
        cpmtools_dir dir;
        dir.save(state.disks[0]);
        EXPECT_NE(dir.run("cpmls -f " + dir.format + " -l disk.img").find(std::to_string(room * 128)),
                  std::string::npos);
        put_fcb(FCB, "FILL.DAT");
        call(19, FCB);
        EXPECT_EQ(mem(alloc), 0xC0) << "erasing frees the blocks";
        EXPECT_EQ(mem(alloc + 1), 0);

        // 127 small files and one more leave no entry for its next extent group.
        const int per_entry = 128 * (geo.exm + 1);
        for (int i = 0; i < 127; ++i) write_file(std::to_string(i) + ".DAT", 1);
        EXPECT_EQ(write_file("BIG.DAT", per_entry + 1), 1) << "directory full after one entry";
        put_fcb(FCB, "BIG.DAT");
        call(35, FCB);
        EXPECT_EQ(random_field(FCB), static_cast<uint32_t>(per_entry));
        put_fcb(FCB, "MORE.DAT");
        EXPECT_EQ(call(22, FCB), 0xFF);
    }
}

// ---------------------------------------------------------------- console and registers

// The prompt "A>" leaves the column at 2, where the input starts.
TEST(CpmBdos, LineInputEditsAsCpm22)
{
    const struct { const char* keys; const char* line; const char* echo; } cases[] = {
        {"abc\r", "abc", "abc\r"},
        {"abd\bc\r", "abc", "abd\b \bc\r"},
        {"abd\x7F" "c\r", "abc", "abddc\r"},
        {"a\x01\b\r", "a", "a^A\b \b\b \b\r"},
        {"xyz\x18" "abc\r", "abc", "xyz\b \b\b \b\b \babc\r"},
        {"xyz\x15" "abc\r", "abc", "xyz#\r\n  abc\r"},
        {"ab\x12" "c\r", "abc", "ab#\r\n  abc\r"},
        {"a\x05" "b\n", "ab", "a\r\nb\r"},
        {"\tx\r", "\tx", "      x\r"},
        {"abcdefgh", "abcdef", "abcdef\r"},
        {"a\x03\r", "a\x03", "a^C\r"},
    };
    for (const auto& c : cases) {
        boot_with({});
        mem(LINE) = 6;
        type(c.keys);
        EXPECT_TRUE(bdos(10, LINE).done) << c.keys;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&mem(LINE + 2)), mem(LINE + 1)), c.line) << c.keys;
        EXPECT_EQ(fresh_output(), c.echo) << c.keys;
    }
    boot_with({});
    mem(LINE) = 6;
    type("\x03");
    EXPECT_FALSE(bdos(10, LINE).done);
    EXPECT_EQ(state.warm_boots, 1) << "^C first warm starts";
}

TEST(CpmBdos, ConsoleCallsStatusAndOutputStop)
{
    boot_with({});
    EXPECT_EQ(call(11), 0);
    EXPECT_EQ(call(6, 0xFF), 0);
    type("q");
    EXPECT_EQ(call(11), 1);
    EXPECT_EQ(call(6, 0xFF), 0) << "direct input does not see the key the status took";
    EXPECT_EQ(call(1), 'q');
    type("z");
    EXPECT_EQ(call(6, 0xFF), 'z');
    call(2, '\t');
    call(6, 'y');
    std::memcpy(&mem(LINE), "ok$", 3);
    call(9, LINE);
    EXPECT_EQ(fresh_output(), "q     yok");
    type("\x13" "\x03");
    std::memcpy(&mem(LINE), "stopped$", 8);
    EXPECT_FALSE(bdos(9, LINE).done);
    EXPECT_EQ(state.warm_boots, 1) << "^S then ^C during output warm starts";
}

TEST(CpmBdos, ResultsComeBackInAAndHlAsCpm22Returns)
{
    boot_with({});
    state.disks[1] = blank_disk();
    put_fcb(FCB2, "X.DAT", 2);
    call(22, FCB2);
    const struct { uint8_t fn; uint16_t de; uint16_t hl; } cases[] = {
        {12, 0, 0x0022}, {24, 0, 0x0003}, {25, 0, 0}, {27, 0, ALLOC_A}, {29, 0, 0},
        {31, 0, DPB_A}, {32, 0xFF, 0}, {15, FCB, 0x00FF}, {41, 0, 0}, {200, 0, 0},
    };
    put_fcb(FCB, "NONE.DAT");
    for (const auto& c : cases) {
        const bdos_result r = bdos(c.fn, c.de);
        EXPECT_TRUE(r.done);
        EXPECT_EQ(r.hl, c.hl) << int(c.fn);
        EXPECT_EQ(r.a, r.hl & 0xFF) << int(c.fn);
        EXPECT_EQ(r.b, r.hl >> 8) << int(c.fn);
    }
    EXPECT_EQ(mem(FCB2), 2) << "the FCB's drive byte is given back";
    call(37, 0x0001);
    EXPECT_EQ(bdos(24).hl, 0x0002) << "reset drive logs A: out";
    put_fcb(FCB, "NONE.DAT");
    call(15, FCB);
    EXPECT_EQ(bdos(24).hl, 0x0003) << "and the next file call logs it in again";
    EXPECT_EQ(state.first_selects, (std::vector<int>{0, 1, 0})) << "SELDSK is told a drive is new";
}

}  // namespace
