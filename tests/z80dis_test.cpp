// The disassembler: every table entry decodes, the listing agrees with
// Debian's z80dasm, and the line and register-dump formats.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/bus.h"
#include "core/memory.h"
#include "core/machine.h"
#include "cpu/cpu.h"
#include "cpu/z80dis.h"
#include "support/test_machine.h"

namespace {

constexpr uint16_t BASE = 0x4000;
constexpr int SLOT = 8;   // each instruction in its own slot, padded with NOP
// Operand bytes after the opcode: a negative displacement or jump, and
// the low byte of nn, then its high byte.
constexpr uint8_t OPERAND1 = 0xF6;
constexpr uint8_t OPERAND2 = 0x12;

// The seven tables by the bytes that lead to them.
struct table_prefix {
    const char* name;
    std::vector<uint8_t> bytes;
    bool index_cb;   // DD CB d op: the opcode comes after the displacement
};
const table_prefix tables[] = {
    {"first byte", {}, false}, {"CB", {0xCB}, false}, {"DD", {0xDD}, false}, {"ED", {0xED}, false},
    {"FD", {0xFD}, false},     {"DDCB", {0xDD, 0xCB}, true}, {"FDCB", {0xFD, 0xCB}, true},
};

std::vector<uint8_t> instruction_bytes(const table_prefix& t, int op)
{
    std::vector<uint8_t> bytes = t.bytes;
    if (t.index_cb) bytes.push_back(OPERAND1);
    bytes.push_back(static_cast<uint8_t>(op));
    if (!t.index_cb) {
        bytes.push_back(OPERAND1);
        bytes.push_back(OPERAND2);
    }
    return bytes;
}

struct listed {
    std::string text;   // the mnemonic part of the line
    int length;
};

// Puts every entry of every table into its slot and lists it.
std::vector<listed> list_all_tables(std::vector<uint8_t>& image)
{
    std::vector<listed> result;
    uint16_t at = BASE;
    for (const table_prefix& t : tables) {
        for (int op = 0; op < 256; ++op, at = static_cast<uint16_t>(at + SLOT)) {
            std::vector<uint8_t> bytes = instruction_bytes(t, op);
            bytes.resize(SLOT, 0x00);
            for (int i = 0; i < SLOT; ++i) mem_write(static_cast<uint16_t>(at + i), bytes[static_cast<size_t>(i)]);
            image.insert(image.end(), bytes.begin(), bytes.end());
            char line[Z80DIS_LINE];
            const uint16_t next = disassemble(at, line);
            result.push_back({std::string(line).substr(18), next - at});
        }
    }
    return result;
}

class Z80Dis : public ::testing::Test {
protected:
    void SetUp() override { test_machine_select(MODEL_A64); }
};

TEST_F(Z80Dis, EveryTableEntryListsItsOwnBytesAndAFilledInText)
{
    std::vector<uint8_t> image;
    const std::vector<listed> all = list_all_tables(image);
    ASSERT_EQ(all.size(), 7u * 256u);
    uint16_t at = BASE;
    for (const listed& l : all) {
        SCOPED_TRACE(l.text);
        ASSERT_GE(l.length, 1);
        ASSERT_LE(l.length, 4);
        char line[Z80DIS_LINE];
        disassemble(at, line);
        char columns[32] = "";
        for (int i = 0; i < 4; ++i)
            std::snprintf(columns + 3 * i, 4, i < l.length ? "%02X " : "   ", mem_read(static_cast<uint16_t>(at + i)));
        char head[8];
        std::snprintf(head, sizeof head, " %04X ", at);
        EXPECT_EQ(std::string(line, 18), std::string(head) + columns);
        EXPECT_FALSE(l.text.empty());
        EXPECT_EQ(l.text.find('%'), std::string::npos);
        at = static_cast<uint16_t>(at + SLOT);
    }
}

// Both listings spelled alike. The rules:
//  1. lower case; comments (";...") dropped; runs of blanks and tabs become
//     one blank; no blank after a comma;
//  2. numbers (hex with a trailing h, with or without a leading 0) become
//     their value in one spelling;
//  3. z80dasm's relative targets "$+n" / "$-n" (n decimal, from the
//     instruction's own address) become the target address;
//  4. z80dasm's signed displacement "(ix-n)" becomes the unsigned byte
//     "(ix+100h-n)" that our listing shows;
//  5. z80dasm's "sli" is our "slia", its "in f,(c)" our "in (c)";
//  6. z80dasm's undocumented DDCB/FDCB form "op (ix+d) & ld r,(ix+d)" is
//     our "ld r,op (ix+d)";
//  7. a z80dasm "defb" line and our "undefined" both mean no instruction.
std::string normalise(std::string s, unsigned address)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (const auto semi = s.find(';'); semi != std::string::npos) s.erase(semi);
    s = std::regex_replace(s, std::regex("[ \t]+"), " ");
    s = std::regex_replace(s, std::regex("^ | $"), "");
    s = std::regex_replace(s, std::regex(", "), ",");
    if (s.rfind("defb", 0) == 0) return "undefined";

    std::smatch m;
    std::string out;
    const std::regex number("\\$([+-][0-9]+)|\\((i[xy])-([0-9a-f]+)h\\)|\\b([0-9a-f]+)h\\b");
    auto from = s.cbegin();
    while (std::regex_search(from, s.cend(), m, number)) {
        out.append(from, m[0].first);
        char text[32];
        if (m[1].matched) {
            std::snprintf(text, sizeof text, "#%x", (address + static_cast<unsigned>(std::stoi(m[1]))) & 0xFFFF);
        } else if (m[2].matched) {
            std::snprintf(text, sizeof text, "(%s+#%x)", m[2].str().c_str(),
                          0x100 - static_cast<unsigned>(std::stoul(m[3], nullptr, 16)));
        } else {
            std::snprintf(text, sizeof text, "#%lx", std::stoul(m[4], nullptr, 16));
        }
        out += text;
        from = m[0].second;
    }
    out.append(from, s.cend());

    out = std::regex_replace(out, std::regex("^sli "), "slia ");
    out = std::regex_replace(out, std::regex("^in f,\\(c\\)$"), "in (c)");
    out = std::regex_replace(out, std::regex("^(.*) & ld ([a-z]),\\(i[xy]\\+#[0-9a-f]+\\)$"), "ld $2,$1");
    return out;
}

// Rows where the two listings differ on purpose: the table name, the
// opcode, and why.
struct exception_row {
    int table;     // index into tables
    int first, last;
    const char* why;
    bool register_field_only = false;   // only the opcodes whose register field is not 6
};
const exception_row exceptions[] = {
    // The trap opcodes and the emulator-service names are this machine's own.
    {3, 0x00, 0x06, "ED 00-06: the trap opcodes list as \"emulator trap\""},
    {3, 0x28, 0x2B, "ED 28-2B: emulator service names"},
    {3, 0x2F, 0x3F, "ED 2F-3F: emulator service names"},
    // z80dasm does not decode the ED mirrors the processor executes; we
    // list them as what they do (the NEG, RETN and IM copies, and the ED
    // forms of ld (nn),hl and ld hl,(nn)).
    {3, 0x4C, 0x4C, "neg mirror"}, {3, 0x54, 0x55, "neg, ret mirrors"}, {3, 0x5C, 0x5D, "neg, ret mirrors"},
    {3, 0x63, 0x66, "ld (nn),hl, neg, ret, im 0 mirrors"}, {3, 0x6B, 0x6D, "ld hl,(nn), neg, ret mirrors"},
    {3, 0x74, 0x76, "neg, ret, im 1 mirrors"}, {3, 0x7C, 0x7E, "neg, ret, im 2 mirrors"},
    // z80dasm lists DDCB/FDCB BIT with a register field other than 6 as
    // also loading the register; BIT only reads, so our listing shows the
    // test alone (with its comment).
    {5, 0x40, 0x7F, "BIT (ix+d) copies", true}, {6, 0x40, 0x7F, "BIT (iy+d) copies", true},
};

const exception_row* exception_for(int table, int op)
{
    for (const exception_row& e : exceptions)
        if (e.table == table && op >= e.first && op <= e.last && !(e.register_field_only && (op & 7) == 6))
            return &e;
    return nullptr;
}

TEST_F(Z80Dis, AgreesWithZ80dasmOnEveryDecodedOpcode)
{
    const std::string dir = std::filesystem::temp_directory_path() / ("brevan_z80dis_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string bin = dir + "/all.bin";
    std::vector<uint8_t> image;
    const std::vector<listed> ours = list_all_tables(image);
    std::ofstream(bin, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                               static_cast<std::streamsize>(image.size()));

    char origin[8];
    std::snprintf(origin, sizeof origin, "0x%04X", BASE);
    const std::string command = std::string("z80dasm -u -a -g ") + origin + " '" + bin + "' 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::map<unsigned, std::string> theirs;   // by address
    char buffer[512];
    const std::regex listed_line("^\t(.*)\t+;([0-9a-f]{4})$");
    while (std::fgets(buffer, sizeof buffer, pipe)) {
        std::string line(buffer);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        std::smatch m;
        if (std::regex_match(line, m, listed_line)) theirs[static_cast<unsigned>(std::stoul(m[2], nullptr, 16))] = m[1];
    }
    const int status = pclose(pipe);
    std::filesystem::remove_all(dir);
    ASSERT_TRUE(status == 0 && !theirs.empty()) << "z80dasm is needed (Debian package z80dasm; make deps installs it)";

    int compared = 0;
    for (size_t k = 0; k < ours.size(); ++k) {
        const int table = static_cast<int>(k / 256), op = static_cast<int>(k % 256);
        const unsigned at = BASE + static_cast<unsigned>(k) * SLOT;
        SCOPED_TRACE(std::string(tables[table].name) + " " + std::to_string(op) + ": " + ours[k].text);
        ASSERT_EQ(theirs.count(at), 1u);
        if (exception_for(table, op)) continue;
        const std::string mine = normalise(ours[k].text, at);
        EXPECT_EQ(mine, normalise(theirs[at], at));
        if (mine == "undefined") continue;
        // Their next line (an instruction or the first padding NOP) is where ours ends.
        const auto next = theirs.upper_bound(at);
        ASSERT_NE(next, theirs.end());
        EXPECT_EQ(static_cast<int>(next->first - at), ours[k].length);
        ++compared;
    }
    EXPECT_EQ(compared, 1139);
}

TEST_F(Z80Dis, LinesShowAddressBytesAndOperandsByTheRules)
{
    struct row {
        uint16_t at;
        std::vector<uint8_t> bytes;
        const char* line;
        uint16_t next;
    };
    const row rows[] = {
        {0x4000, {0x01, 0x34, 0x12}, " 4000 01 34 12    ld bc,1234h", 0x4003},
        {0x8000, {0xDD, 0x76}, " 8000 DD          undefined", 0x8001},
        {0x8000, {0xDD, 0xCB, 0xFE, 0x06}, " 8000 DD CB FE 06 rlc (ix+feh)", 0x8004},
        {0x8000, {0xFD, 0x36, 0xFE, 0x42}, " 8000 FD 36 FE 42 ld (iy+feh),42h", 0x8004},
        {0x8000, {0xED, 0x77}, " 8000 ED 77       undefined", 0x8002},
        {0x8000, {0xED, 0x00}, " 8000 ED 00       emulator trap", 0x8002},
        {0x8000, {0xED, 0x4C}, " 8000 ED 4C       neg\t\t\t;undoc equiv", 0x8002},
        {0x8000, {0xFD, 0xCB, 0x01, 0x47}, " 8000 FD CB 01 47 bit 0,(iy+01h)  ;undoc equiv", 0x8004},
        {0x8000, {0xDD, 0xCB, 0x01, 0xFF}, " 8000 DD CB 01 FF ld a,set 7,(ix+01h)", 0x8004},
        {0x8000, {0xCB, 0x36}, " 8000 CB 36       slia (hl)", 0x8002},
        {0xFFFE, {0x18, 0x05}, " FFFE 18 05       jr 0005h", 0x0000},   // target and next wrap
        {0x8000, {0x10, 0xFE}, " 8000 10 FE       djnz 8000h", 0x8002},
        {0x8000, {0xCF}, " 8000 CF          rst 8", 0x8001},
        {0x8000, {0xFF}, " 8000 FF          rst 38h", 0x8001},
        {0x8000, {0xDB, 0x40}, " 8000 DB 40       in a,(40h)", 0x8002},
    };
    for (const row& r : rows) {
        for (size_t i = 0; i < r.bytes.size(); ++i) mem_write(static_cast<uint16_t>(r.at + i), r.bytes[i]);
        char line[Z80DIS_LINE];
        EXPECT_EQ(disassemble(r.at, line), r.next) << r.line;
        EXPECT_STREQ(line, r.line);
    }
}

TEST_F(Z80Dis, RegisterDumpLines)
{
    z80_state.af = 0x1245;   // F 0x45: FL 01000101
    z80_state.bc = 0xBC01;
    z80_state.de = 0xDE02;
    z80_state.hl = 0xA1B2;
    z80_state.pc = 0x4321;
    z80_state.r = 0x7F;
    z80_state.ix = 0x1111;
    z80_state.iy = 0x2222;
    z80_state.sp = 0xFFF0;
    z80_state.i = 0x3F;
    z80_state.bp_address = 0x8000;
    z80_state.bp_enabled = 1;
    const int64_t saved_tcount = z80_state.tcount;
    z80_state.tcount = 123456789;
    char line[Z80DIS_LINE];
    regdump(line, 0);
    EXPECT_STREQ(line, "AF:1245,BC:BC01,DE:DE02,HL:A1B2,IP:4321,R:7F|SZ-H-PNC");
    regdump(line, 1);
    EXPECT_STREQ(line, "IX:1111,IY:2222,SP:FFF0,I:3F,BP:8000(ON ),FL:01000101");
    z80_state.bp_enabled = 0;
    z80_state.sp = 0x0100;   // four digits still: FL stays under the legend
    regdump(line, 1);
    EXPECT_STREQ(line, "IX:1111,IY:2222,SP:0100,I:3F,BP:8000(OFF),FL:01000101");
    regdump(line, 2);
    EXPECT_STREQ(line, "TCOUNT:000000000000000123456789");
    std::strcpy(line, "kept");
    regdump(line, 3);
    EXPECT_STREQ(line, "kept");
    z80_state.tcount = saved_tcount;
}

} // namespace
