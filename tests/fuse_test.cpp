// Per-instruction vectors: initial registers and memory, expected registers,
// memory and T-states after running. Every register field is compared except
// MEMPTR, which this processor does not keep. Where this processor's rules
// deliberately differ from the machine the vectors were recorded on, the
// table below relaxes only the affected fields for the affected vectors.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <deque>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/machine.h"
#include "core/event.h"
#include "support/flat_bus.h"
#include "support/paths.h"

namespace {

struct mem_block {
    unsigned address;
    std::vector<uint8_t> bytes;
};

struct vector_state {
    unsigned regs[13] = {};   // AF BC DE HL AF' BC' DE' HL' IX IY SP PC MEMPTR
    unsigned i = 0, r = 0, iff1 = 0, iff2 = 0, im = 0, halted = 0;
    long tstates = 0;
    std::vector<mem_block> memory;
};

struct fuse_vector {
    std::string name;
    vector_state in;
    vector_state out;
    std::vector<uint8_t> port_reads;   // values of the PR events, in order
};

// Fields that may differ, per vector.
enum relax : unsigned {
    RELAX_NONE = 0,
    RELAX_F53 = 1u << 0,          // flag bits 5 and 3
    RELAX_TSTATES = 1u << 1,
    RELAX_BLOCK_IO_F = 1u << 2,   // all of F but Z
    RELAX_R = 1u << 3,
    RELAX_IFF1 = 1u << 4,
    RELAX_IM = 1u << 5,
    RELAX_CPIR_ROUND = 1u << 6,   // F, BC, HL, PC, R and T-states
    RELAX_F = 1u << 7,            // all of F
};

// The rules of this processor behind each relaxation.
const char* const SCF_CCF = "SCF and CCF take flag bits 5 and 3 from A alone";
const char* const BIT_HL = "BIT n,(HL) leaves flag bits 5 and 3 at 0";
const char* const BIT_INDEX =
    "BIT n,(IX+d) takes bits 5 and 3 from the operand byte (0 for the documented encoding), "
    "not from the address";
const char* const IN_N = "IN A,(n) takes 10 T-states";
const char* const IN_C = "IN r,(C) takes 11 T-states and keeps flag bits 5 and 3";
const char* const DD_AGAIN =
    "an undefined byte after DD/FD is fetched again as an opcode, so R counts it twice";
const char* const ED4E = "ED 4E is an undefined no-operation and leaves the interrupt mode";
const char* const RETI = "only ED 45 copies IFF2 to IFF1; ED 55, 5D, 65, 6D, 75 and 7D act as RETI";
const char* const BLOCK_IO = "INI/IND/OUTI/OUTD and their repeats set Z and N only and keep the other flags";
const char* const BLOCK_REPEAT_F =
    "a repeating block instruction leaves F untouched until its last round";
const char* const CPIR_R = "CPIR/CPDR repeat inside one execution, so R counts the instruction once";
const char* const CPIR_ROUND =
    "CPIR/CPDR repeat inside one execution and cannot stop after a single round";

struct exclusion {
    const char* name;
    unsigned fields;
    const char* rule;
};

const exclusion exclusions[] = {
    {"37_1", RELAX_F53, SCF_CCF},
    {"3f", RELAX_F53, SCF_CCF},
    {"cb46_2", RELAX_F53, BIT_HL},
    {"cb46_3", RELAX_F53, BIT_HL},
    {"cb46_4", RELAX_F53, BIT_HL},
    {"cb46_5", RELAX_F53, BIT_HL},
    {"db_1", RELAX_TSTATES, IN_N},
    {"db_2", RELAX_TSTATES, IN_N},
    {"db_3", RELAX_TSTATES, IN_N},
    {"db", RELAX_TSTATES, IN_N},
    {"dd00", RELAX_R, DD_AGAIN},
    {"ddcb40", RELAX_F53, BIT_INDEX},
    {"ddcb41", RELAX_F53, BIT_INDEX},
    {"ddcb42", RELAX_F53, BIT_INDEX},
    {"ddcb44", RELAX_F53, BIT_INDEX},
    {"ddcb45", RELAX_F53, BIT_INDEX},
    {"ddcb46", RELAX_F53, BIT_INDEX},
    {"ddcb47", RELAX_F53, BIT_INDEX},
    {"ddcb48", RELAX_F53, BIT_INDEX},
    {"ddcb49", RELAX_F53, BIT_INDEX},
    {"ddcb4a", RELAX_F53, BIT_INDEX},
    {"ddcb4b", RELAX_F53, BIT_INDEX},
    {"ddcb4c", RELAX_F53, BIT_INDEX},
    {"ddcb4d", RELAX_F53, BIT_INDEX},
    {"ddcb4e", RELAX_F53, BIT_INDEX},
    {"ddcb50", RELAX_F53, BIT_INDEX},
    {"ddcb51", RELAX_F53, BIT_INDEX},
    {"ddcb52", RELAX_F53, BIT_INDEX},
    {"ddcb53", RELAX_F53, BIT_INDEX},
    {"ddcb54", RELAX_F53, BIT_INDEX},
    {"ddcb55", RELAX_F53, BIT_INDEX},
    {"ddcb56", RELAX_F53, BIT_INDEX},
    {"ddcb58", RELAX_F53, BIT_INDEX},
    {"ddcb5a", RELAX_F53, BIT_INDEX},
    {"ddcb5d", RELAX_F53, BIT_INDEX},
    {"ddcb5e", RELAX_F53, BIT_INDEX},
    {"ddcb60", RELAX_F53, BIT_INDEX},
    {"ddcb61", RELAX_F53, BIT_INDEX},
    {"ddcb62", RELAX_F53, BIT_INDEX},
    {"ddcb63", RELAX_F53, BIT_INDEX},
    {"ddcb64", RELAX_F53, BIT_INDEX},
    {"ddcb66", RELAX_F53, BIT_INDEX},
    {"ddcb67", RELAX_F53, BIT_INDEX},
    {"ddcb68", RELAX_F53, BIT_INDEX},
    {"ddcb69", RELAX_F53, BIT_INDEX},
    {"ddcb6a", RELAX_F53, BIT_INDEX},
    {"ddcb6b", RELAX_F53, BIT_INDEX},
    {"ddcb6d", RELAX_F53, BIT_INDEX},
    {"ddcb6e", RELAX_F53, BIT_INDEX},
    {"ddcb6f", RELAX_F53, BIT_INDEX},
    {"ddcb70", RELAX_F53, BIT_INDEX},
    {"ddcb73", RELAX_F53, BIT_INDEX},
    {"ddcb75", RELAX_F53, BIT_INDEX},
    {"ddcb76", RELAX_F53, BIT_INDEX},
    {"ddcb78", RELAX_F53, BIT_INDEX},
    {"ddcb79", RELAX_F53, BIT_INDEX},
    {"ddcb7a", RELAX_F53, BIT_INDEX},
    {"ddcb7b", RELAX_F53, BIT_INDEX},
    {"ddcb7d", RELAX_F53, BIT_INDEX},
    {"ddcb7e", RELAX_F53, BIT_INDEX},
    {"ddcb7f", RELAX_F53, BIT_INDEX},
    {"ddfd00", RELAX_R, DD_AGAIN},
    {"ed40", RELAX_TSTATES, IN_C},
    {"ed48", RELAX_F53 | RELAX_TSTATES, IN_C},
    {"ed4e", RELAX_IM, ED4E},
    {"ed50", RELAX_TSTATES, IN_C},
    {"ed55", RELAX_IFF1, RETI},
    {"ed58", RELAX_F53 | RELAX_TSTATES, IN_C},
    {"ed60", RELAX_TSTATES, IN_C},
    {"ed65", RELAX_IFF1, RETI},
    {"ed68", RELAX_F53 | RELAX_TSTATES, IN_C},
    {"ed70", RELAX_TSTATES, IN_C},
    {"ed78", RELAX_F53 | RELAX_TSTATES, IN_C},
    {"ed7d", RELAX_IFF1, RETI},
    {"eda2", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"eda2_01", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"eda2_02", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"eda2_03", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"eda3", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"eda3_01", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"eda3_02", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"eda3_03", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"eda3_04", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"eda3_05", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"eda3_06", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"eda3_07", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"eda3_08", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"eda3_09", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"eda3_10", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"eda3_11", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"edaa", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"edaa_01", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"edaa_02", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"edaa_03", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"edab", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"edab_01", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"edab_02", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"edb1", RELAX_R, CPIR_R},
    {"edb1_1", RELAX_R, CPIR_R},
    {"edb1_2", RELAX_CPIR_ROUND, CPIR_ROUND},
    {"edb2", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"edb2_1", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"edb3", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"edb3_1", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"edb9", RELAX_R, CPIR_R},
    {"edb9_1", RELAX_R, CPIR_R},
    {"edb9_2", RELAX_CPIR_ROUND, CPIR_ROUND},
    {"edba", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"edba_1", RELAX_F, BLOCK_REPEAT_F},
    {"edbb", RELAX_BLOCK_IO_F, BLOCK_IO},
    {"edbb_1", RELAX_F, BLOCK_REPEAT_F},
    {"fdcb40", RELAX_F53, BIT_INDEX},
    {"fdcb41", RELAX_F53, BIT_INDEX},
    {"fdcb42", RELAX_F53, BIT_INDEX},
    {"fdcb43", RELAX_F53, BIT_INDEX},
    {"fdcb44", RELAX_F53, BIT_INDEX},
    {"fdcb45", RELAX_F53, BIT_INDEX},
    {"fdcb46", RELAX_F53, BIT_INDEX},
    {"fdcb47", RELAX_F53, BIT_INDEX},
    {"fdcb48", RELAX_F53, BIT_INDEX},
    {"fdcb4a", RELAX_F53, BIT_INDEX},
    {"fdcb4c", RELAX_F53, BIT_INDEX},
    {"fdcb4d", RELAX_F53, BIT_INDEX},
    {"fdcb4e", RELAX_F53, BIT_INDEX},
    {"fdcb50", RELAX_F53, BIT_INDEX},
    {"fdcb51", RELAX_F53, BIT_INDEX},
    {"fdcb52", RELAX_F53, BIT_INDEX},
    {"fdcb53", RELAX_F53, BIT_INDEX},
    {"fdcb54", RELAX_F53, BIT_INDEX},
    {"fdcb55", RELAX_F53, BIT_INDEX},
    {"fdcb56", RELAX_F53, BIT_INDEX},
    {"fdcb57", RELAX_F53, BIT_INDEX},
    {"fdcb58", RELAX_F53, BIT_INDEX},
    {"fdcb5c", RELAX_F53, BIT_INDEX},
    {"fdcb5e", RELAX_F53, BIT_INDEX},
    {"fdcb60", RELAX_F53, BIT_INDEX},
    {"fdcb61", RELAX_F53, BIT_INDEX},
    {"fdcb62", RELAX_F53, BIT_INDEX},
    {"fdcb63", RELAX_F53, BIT_INDEX},
    {"fdcb64", RELAX_F53, BIT_INDEX},
    {"fdcb66", RELAX_F53, BIT_INDEX},
    {"fdcb67", RELAX_F53, BIT_INDEX},
    {"fdcb69", RELAX_F53, BIT_INDEX},
    {"fdcb6a", RELAX_F53, BIT_INDEX},
    {"fdcb6c", RELAX_F53, BIT_INDEX},
    {"fdcb6f", RELAX_F53, BIT_INDEX},
    {"fdcb70", RELAX_F53, BIT_INDEX},
    {"fdcb71", RELAX_F53, BIT_INDEX},
    {"fdcb72", RELAX_F53, BIT_INDEX},
    {"fdcb74", RELAX_F53, BIT_INDEX},
    {"fdcb76", RELAX_F53, BIT_INDEX},
    {"fdcb79", RELAX_F53, BIT_INDEX},
    {"fdcb7a", RELAX_F53, BIT_INDEX},
    {"fdcb7b", RELAX_F53, BIT_INDEX},
    {"fdcb7c", RELAX_F53, BIT_INDEX},
    {"fdcb7d", RELAX_F53, BIT_INDEX},
    {"fdcb7f", RELAX_F53, BIT_INDEX},
};

std::vector<std::string> split_lines(const std::string& path)
{
    std::ifstream f(path);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(f, line))
        lines.push_back(line);
    return lines;
}

bool blank(const std::string& s) { return s.find_first_not_of(" \t\r") == std::string::npos; }

void parse_regs(const std::string& l1, const std::string& l2, vector_state& st, bool with_halted)
{
    std::istringstream a(l1);
    for (unsigned& r : st.regs)
        a >> std::hex >> r;
    std::istringstream b(l2);
    b >> std::hex >> st.i >> st.r >> std::dec >> st.iff1 >> st.iff2 >> st.im;
    if (with_halted)
        b >> st.halted;
    b >> st.tstates;
}

// "addr b1 b2 ... -1" lines up to a lone "-1" (input) or a blank line (output).
std::size_t parse_memory(const std::vector<std::string>& lines, std::size_t at, vector_state& st)
{
    while (at < lines.size() && !blank(lines[at])) {
        std::istringstream s(lines[at]);
        std::string tok;
        s >> tok;
        if (tok == "-1") {
            ++at;
            break;
        }
        mem_block block{static_cast<unsigned>(std::stoul(tok, nullptr, 16)), {}};
        while (s >> tok && tok != "-1")
            block.bytes.push_back(static_cast<uint8_t>(std::stoul(tok, nullptr, 16)));
        st.memory.push_back(block);
        ++at;
    }
    return at;
}

std::vector<fuse_vector> load_vectors()
{
    std::vector<fuse_vector> out;
    const auto in = split_lines(testdata_path("z80/fuse/tests.in"));
    std::size_t at = 0;
    while (at < in.size()) {
        if (blank(in[at])) {
            ++at;
            continue;
        }
        fuse_vector v;
        v.name = in[at];
        parse_regs(in[at + 1], in[at + 2], v.in, true);
        at = parse_memory(in, at + 3, v.in);
        out.push_back(v);
    }
    const auto ex = split_lines(testdata_path("z80/fuse/tests.expected"));
    at = 0;
    std::size_t n = 0;
    while (at < ex.size() && n < out.size()) {
        if (blank(ex[at])) {
            ++at;
            continue;
        }
        fuse_vector& v = out[n++];
        EXPECT_EQ(ex[at], v.name);
        ++at;
        while (at < ex.size() && !ex[at].empty() && (ex[at][0] == ' ' || ex[at][0] == '\t')) {
            std::istringstream s(ex[at]);
            long time;
            std::string type;
            unsigned address, data;
            s >> time >> type >> std::hex >> address;
            if (type == "PR" && (s >> data))
                v.port_reads.push_back(static_cast<uint8_t>(data));
            ++at;
        }
        parse_regs(ex[at], ex[at + 1], v.out, true);
        at = parse_memory(ex, at + 2, v.out);
    }
    return out;
}

std::deque<uint8_t> g_port_reads;

uint8_t feed_port(uint8_t)
{
    if (g_port_reads.empty())
        return 0xFF;
    const uint8_t v = g_port_reads.front();
    g_port_reads.pop_front();
    return v;
}

void fill_pattern(std::array<uint8_t, 0x10000>& m)
{
    static const uint8_t pattern[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    for (std::size_t a = 0; a < m.size(); ++a)
        m[a] = pattern[a & 3];
}

void apply(std::array<uint8_t, 0x10000>& m, const std::vector<mem_block>& blocks)
{
    for (const auto& b : blocks)
        for (std::size_t k = 0; k < b.bytes.size(); ++k)
            m[(b.address + k) & 0xFFFF] = b.bytes[k];
}

// Runs one vector and returns the list of differing fields, after relaxing.
std::vector<std::string> run_vector(const fuse_vector& v, unsigned relaxed)
{
    event_init();
    fill_pattern(flat_bus_state::memory);
    apply(flat_bus_state::memory, v.in.memory);
    g_port_reads.assign(v.port_reads.begin(), v.port_reads.end());
    flat_bus_state::in_handler = feed_port;
    flat_bus_state::out_handler = nullptr;

    z80_state_t& s = z80_state;
    s = z80_state_t{};
    const unsigned* r = v.in.regs;
    s.af = r[0]; s.bc = r[1]; s.de = r[2]; s.hl = r[3];
    s.af_alt = r[4]; s.bc_alt = r[5]; s.de_alt = r[6]; s.hl_alt = r[7];
    s.ix = r[8]; s.iy = r[9]; s.sp = r[10]; s.pc = r[11];
    s.i = v.in.i; s.r = v.in.r; s.iff1 = v.in.iff1; s.iff2 = v.in.iff2; s.im = v.in.im;
    s.tcount = 0;
    s.bp_address = 0xFFFF;

    z80_run_flat(static_cast<int>(v.in.tstates));
    flat_bus_state::in_handler = nullptr;

    std::vector<std::string> diffs;
    auto check = [&](const char* field, unsigned got, unsigned want) {
        if (got != want) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "%s got %04x want %04x", field, got, want);
            diffs.push_back(buf);
        }
    };
    const unsigned* e = v.out.regs;
    unsigned f_mask = 0xFF;
    if (relaxed & RELAX_F53)
        f_mask &= ~0x28u;
    if (relaxed & RELAX_BLOCK_IO_F)
        f_mask &= FLAG_Z;
    const bool round = relaxed & RELAX_CPIR_ROUND;
    if (round || (relaxed & RELAX_F))
        f_mask = 0;
    check("A", s.af >> 8, e[0] >> 8);
    check("F", s.af & f_mask, e[0] & f_mask);
    if (!round)
        check("BC", s.bc, e[1]);
    check("DE", s.de, e[2]);
    if (!round)
        check("HL", s.hl, e[3]);
    check("AF'", s.af_alt, e[4]);
    check("BC'", s.bc_alt, e[5]);
    check("DE'", s.de_alt, e[6]);
    check("HL'", s.hl_alt, e[7]);
    check("IX", s.ix, e[8]);
    check("IY", s.iy, e[9]);
    check("SP", s.sp, e[10]);
    if (!round)
        check("PC", s.pc, e[11]);
    check("I", s.i, v.out.i);
    if (!(relaxed & RELAX_R) && !round)
        check("R", s.r, v.out.r);
    if (!(relaxed & RELAX_IFF1))
        check("IFF1", s.iff1, v.out.iff1);
    check("IFF2", s.iff2, v.out.iff2);
    if (!(relaxed & RELAX_IM))
        check("IM", s.im, v.out.im);
    check("halted", flat_bus_state::memory[s.pc] == 0x76 ? 1u : 0u, v.out.halted);
    if (!(relaxed & RELAX_TSTATES) && !round)
        check("T", static_cast<unsigned>(s.tcount), static_cast<unsigned>(v.out.tstates));

    std::array<uint8_t, 0x10000> want;
    fill_pattern(want);
    apply(want, v.in.memory);
    apply(want, v.out.memory);
    for (std::size_t a = 0; a < want.size(); ++a) {
        if (want[a] != flat_bus_state::memory[a]) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "mem[%04zx] got %02x want %02x", a,
                          flat_bus_state::memory[a], want[a]);
            diffs.push_back(buf);
            break;
        }
    }
    return diffs;
}

unsigned relaxation_for(const std::string& name)
{
    for (const auto& x : exclusions)
        if (name == x.name)
            return x.fields;
    return RELAX_NONE;
}

std::string joined(const std::vector<std::string>& v)
{
    std::string s;
    for (const auto& x : v)
        s += (s.empty() ? "" : ", ") + x;
    return s;
}

class FuseVectors : public ::testing::Test {
protected:
    static void SetUpTestSuite() { vectors = new std::vector<fuse_vector>(load_vectors()); }
    static void TearDownTestSuite() { delete vectors; }
    static std::vector<fuse_vector>* vectors;
};

std::vector<fuse_vector>* FuseVectors::vectors = nullptr;

TEST_F(FuseVectors, AllVectorsLoad)
{
    ASSERT_GT(vectors->size(), 1300u);
    for (const auto& v : *vectors)
        EXPECT_GT(v.out.tstates, 0) << v.name;
}

TEST_F(FuseVectors, EveryVectorMatchesOutsideItsDocumentedDifferences)
{
    int failures = 0;
    for (const auto& v : *vectors) {
        const auto diffs = run_vector(v, relaxation_for(v.name));
        if (!diffs.empty()) {
            ++failures;
            ADD_FAILURE() << v.name << ": " << joined(diffs);
        }
    }
    EXPECT_EQ(failures, 0);
}

// Keeps the table honest: every entry names a vector that exists and really
// differs when nothing is relaxed.
TEST_F(FuseVectors, EveryExclusionIsNeeded)
{
    for (const auto& x : exclusions) {
        const fuse_vector* found = nullptr;
        for (const auto& v : *vectors)
            if (v.name == x.name)
                found = &v;
        ASSERT_NE(found, nullptr) << x.name;
        EXPECT_FALSE(run_vector(*found, RELAX_NONE).empty()) << x.name << " (" << x.rule << ")";
    }
}

}  // namespace
