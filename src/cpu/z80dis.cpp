// Z80 disassembler: a table of 256 first-byte entries and six sub-tables
// (CB, DD, ED, FD, DDCB, FDCB), built at compile time from the regular
// octal structure of the instruction set, and the register dump.
#include "cpu/z80dis.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "core/bus.h"
#include "core/memory.h"
#include "cpu/cpu.h"

namespace {

// The type word: operand kind above a signed operand length in the low
// byte, or the sub-table number of a prefix entry.
enum : uint32_t {
    OPS_NONE = 0x000,          // no operands
    OPS_BYTE = 0x001,          // n, port or displacement after the opcode
    OPS_WORD = 0x002,          // nn, printed high byte first
    OPS_PREFIX_ONLY = 0x0FF,   // length -1: only the prefix byte counts
    OPS_INDEX_CB = 0x100,      // DDCB/FDCB: displacement inside the opcode bytes
    OPS_RELATIVE = 0x101,      // jump offset, printed as the target
    OPS_DISP_BYTE = 0x102,     // displacement, then n
};

enum : int { SUB_CB, SUB_DD, SUB_ED, SUB_FD, SUB_DDCB, SUB_FDCB, SUB_COUNT };

constexpr int TEXT = 32;

struct mnemonic {
    std::array<char, TEXT> text{};   // printf format; empty for a prefix
    uint32_t type = 0;
};
using table = std::array<mnemonic, 256>;

// HL and its halves as an index prefix renames them.
struct hl_names {
    int index;   // 0 none, 1 IX, 2 IY
    const char* pair;
    const char* high;
    const char* low;
    const char* memory;
};
constexpr hl_names NO_INDEX{0, "hl", "h", "l", "(hl)"};
constexpr hl_names INDEX_IX{1, "ix", "ixh", "ixl", "(ix+%02xh)"};
constexpr hl_names INDEX_IY{2, "iy", "iyh", "iyl", "(iy+%02xh)"};

constexpr const char* REG[8] = {"b", "c", "d", "e", "h", "l", "(hl)", "a"};
constexpr const char* PAIR_SP[4] = {"bc", "de", "hl", "sp"};
constexpr const char* PAIR_AF[4] = {"bc", "de", "hl", "af"};
constexpr const char* COND[8] = {"nz", "z", "nc", "c", "po", "pe", "p", "m"};
constexpr const char* ALU[8] = {"add a,", "adc a,", "sub ", "sbc a,", "and ", "xor ", "or ", "cp "};
constexpr const char* ROT[8] = {"rlc ", "rrc ", "rl ", "rr ", "sla ", "sra ", "slia ", "srl "};
constexpr const char* BITOP[4] = {"", "bit ", "res ", "set "};
constexpr const char* LOADS_AND_ROTATES[8] = {"rlca", "rrca", "rla", "rra", "daa", "cpl", "scf", "ccf"};
constexpr const char* BLOCK[4][4] = {
    {"ldi", "cpi", "ini", "outi"}, {"ldd", "cpd", "ind", "outd"},
    {"ldir", "cpir", "inir", "otir"}, {"lddr", "cpdr", "indr", "otdr"},
};
// ED 28-3F: services of the emulator this convention comes from; null
// where nothing is named.
constexpr const char* EMULATOR_SERVICES[24] = {
    "emt_system", "emt_mouse", "emt_getdir", "emt_setdir", nullptr, nullptr, nullptr,
    "emt_debug", "emt_open", "emt_close", "emt_read", "emt_write", "emt_lseek",
    "emt_strerror", "emt_time", "emt_opendir", "emt_closedir", "emt_readdir", "emt_chdir",
    "emt_getcwd", "emt_misc", "emt_ftruncate", "emt_opendisk", "emt_closedisk",
};
constexpr const char* UNDOC = "\t\t\t;undoc equiv";

// One entry being put together: its text and what its operands are.
struct builder {
    hl_names hl = NO_INDEX;
    std::array<char, TEXT> text{};
    int length = 0;
    bool displacement = false, immediate = false, word = false, relative = false;
    bool uses_hl = false;   // an index prefix changes this instruction

    constexpr builder& t(const char* s)
    {
        while (*s && length < TEXT - 1) text[length++] = *s++;
        return *this;
    }
    constexpr builder& digit(int d)
    {
        const char s[2] = {static_cast<char>('0' + d), 0};
        return t(s);
    }
    // Register r of the 3-bit field; with keep_hl H and L keep their names
    // (an instruction that already uses (ix+d) means the real H and L).
    constexpr builder& reg(int r, bool keep_hl = false)
    {
        if (r == 6) {
            uses_hl = true;
            displacement = hl.index != 0;
            return t(hl.memory);
        }
        if ((r == 4 || r == 5) && !keep_hl) {
            uses_hl = true;
            return t(r == 4 ? hl.high : hl.low);
        }
        return t(REG[r]);
    }
    constexpr builder& pair(const char* const (&names)[4], int p)
    {
        if (p == 2) return pair_hl();
        return t(names[p]);
    }
    constexpr builder& pair_hl()
    {
        uses_hl = true;
        return t(hl.pair);
    }
    constexpr builder& n()
    {
        immediate = true;
        return t("%02xh");
    }
    constexpr builder& nn()
    {
        word = true;
        return t("%02x%02xh");
    }
    constexpr builder& target()
    {
        relative = true;
        return t("%04xh");
    }
    constexpr mnemonic done() const
    {
        mnemonic m;
        m.text = text;
        if (relative) m.type = OPS_RELATIVE;
        else if (displacement && immediate) m.type = OPS_DISP_BYTE;
        else if (word) m.type = OPS_WORD;
        else if (displacement || immediate) m.type = OPS_BYTE;
        return m;
    }
};

constexpr mnemonic text_entry(const char* s, uint32_t type = OPS_NONE)
{
    builder b;
    b.t(s);
    mnemonic m = b.done();
    m.type = type;
    return m;
}

constexpr mnemonic prefix_entry(int sub_table)
{
    mnemonic m;
    m.type = static_cast<uint32_t>(sub_table);
    return m;
}

constexpr mnemonic UNDEFINED_INDEX = text_entry("undefined", OPS_PREFIX_ONLY);
constexpr mnemonic UNDEFINED_ED = text_entry("undefined", OPS_NONE);

// x = bits 7-6, y = bits 5-3, z = bits 2-0; p = y / 2, q = y % 2.
constexpr void first_byte(builder& b, int op)
{
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7, p = y >> 1, q = y & 1;
    switch (x) {
    case 0:
        switch (z) {
        case 0:
            if (y == 0) b.t("nop");
            else if (y == 1) b.t("ex af,af'");
            else if (y == 2) b.t("djnz ").target();
            else if (y == 3) b.t("jr ").target();
            else b.t("jr ").t(COND[y - 4]).t(",").target();
            break;
        case 1:
            if (q == 0) b.t("ld ").pair(PAIR_SP, p).t(",").nn();
            else b.t("add ").pair_hl().t(",").pair(PAIR_SP, p);
            break;
        case 2: {
            b.t("ld ");
            if (q == 1) {
                if (p == 2) b.pair_hl().t(",(").nn().t(")");
                else if (p == 3) b.t("a,(").nn().t(")");
                else b.t("a,(").t(PAIR_SP[p]).t(")");
            } else {
                if (p == 2) b.t("(").nn().t("),").pair_hl();
                else if (p == 3) b.t("(").nn().t("),a");
                else b.t("(").t(PAIR_SP[p]).t("),a");
            }
            break;
        }
        case 3: b.t(q ? "dec " : "inc ").pair(PAIR_SP, p); break;
        case 4: b.t("inc ").reg(y); break;
        case 5: b.t("dec ").reg(y); break;
        case 6: b.t("ld ").reg(y).t(",").n(); break;
        default: b.t(LOADS_AND_ROTATES[y]); break;
        }
        break;
    case 1:
        if (y == 6 && z == 6) b.t("halt");
        else b.t("ld ").reg(y, z == 6).t(",").reg(z, y == 6);
        break;
    case 2: b.t(ALU[y]).reg(z); break;
    default:
        switch (z) {
        case 0: b.t("ret ").t(COND[y]); break;
        case 1:
            if (q == 0) b.t("pop ").pair(PAIR_AF, p);
            else if (p == 0) b.t("ret");
            else if (p == 1) b.t("exx");
            else if (p == 2) b.t("jp (").pair_hl().t(")");
            else b.t("ld sp,").pair_hl();
            break;
        case 2: b.t("jp ").t(COND[y]).t(",").nn(); break;
        case 3:
            switch (y) {
            case 0: b.t("jp ").nn(); break;
            case 2: b.t("out (").n().t("),a"); break;
            case 3: b.t("in a,(").n().t(")"); break;
            case 4: b.t("ex (sp),").pair_hl(); break;
            case 5: b.t("ex de,hl"); break;   // never renamed by a prefix
            case 6: b.t("di"); break;
            case 7: b.t("ei"); break;
            default: break;                   // CB: a prefix
            }
            break;
        case 4: b.t("call ").t(COND[y]).t(",").nn(); break;
        case 5:
            if (q == 0) b.t("push ").pair(PAIR_AF, p);
            else if (p == 0) b.t("call ").nn();
            break;                            // DD, ED, FD: prefixes
        case 6: b.t(ALU[y]).n(); break;
        default:
            b.t("rst ");
            if (y == 0) b.t("0");
            else if (y == 1) b.t("8");
            else b.digit(y >> 1).t(y & 1 ? "8h" : "0h");
            break;
        }
        break;
    }
}

// The first-byte table, or with an index prefix the DD or FD table.
constexpr table build_first_byte(const hl_names& hl)
{
    table t{};
    const bool indexed = hl.index != 0;
    for (int op = 0; op < 256; ++op) {
        builder b;
        b.hl = hl;
        first_byte(b, op);
        if (op == 0xCB) t[op] = prefix_entry(!indexed ? SUB_CB : hl.index == 1 ? SUB_DDCB : SUB_FDCB);
        else if (!indexed && op == 0xDD) t[op] = prefix_entry(SUB_DD);
        else if (!indexed && op == 0xED) t[op] = prefix_entry(SUB_ED);
        else if (!indexed && op == 0xFD) t[op] = prefix_entry(SUB_FD);
        else if (indexed && !b.uses_hl) t[op] = UNDEFINED_INDEX;   // the prefix is a no-op
        else t[op] = b.done();
    }
    return t;
}

// CB, or with an index prefix the DDCB/FDCB table (indexed by the fourth
// byte, the displacement being the third).
constexpr table build_bit_ops(const hl_names& hl)
{
    table t{};
    const bool indexed = hl.index != 0;
    for (int op = 0; op < 256; ++op) {
        const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
        builder b;
        b.hl = hl;
        const bool copy_to_register = indexed && z != 6 && x != 1;
        if (copy_to_register) b.t("ld ").t(REG[z]).t(",");
        if (x == 0) b.t(ROT[y]);
        else b.t(BITOP[x]).digit(y).t(",");
        b.t(indexed ? hl.memory : REG[z]);
        if (indexed && z != 6 && x == 1) b.t("  ;undoc equiv");
        t[op] = b.done();
        if (indexed) t[op].type = OPS_INDEX_CB;
    }
    return t;
}

constexpr table build_ed()
{
    table t{};
    for (int op = 0; op < 256; ++op) {
        const int x = op >> 6, y = (op >> 3) & 7, z = op & 7, p = y >> 1, q = y & 1;
        builder b;
        bool defined = true;
        if (op <= 0x06) {
            b.t("emulator trap");
        } else if (op >= 0x28 && op <= 0x3F) {
            if (const char* name = EMULATOR_SERVICES[op - 0x28]) b.t(name);
            else defined = false;
        } else if (x == 1) {
            switch (z) {
            case 0:
                if (y == 6) b.t("in (c)");
                else b.t("in ").t(REG[y]).t(",(c)");
                break;
            case 1: b.t("out (c),").t(y == 6 ? "0" : REG[y]); break;
            case 2: b.t(q ? "adc hl," : "sbc hl,").t(PAIR_SP[p]); break;
            case 3:
                if (q) b.t("ld ").t(PAIR_SP[p]).t(",(").nn().t(")");
                else b.t("ld (").nn().t("),").t(PAIR_SP[p]);
                if (p == 2) b.t("\t;undoc equiv");   // the ED copy of ld hl / ld (nn),hl
                break;
            case 4: b.t("neg").t(y ? UNDOC : ""); break;
            case 5:
                if (y == 0) b.t("retn");
                else if (y == 1) b.t("reti");
                else b.t("ret").t(UNDOC);
                break;
            case 6: {
                constexpr int mode[8] = {0, -1, 1, 2, 0, -1, 1, 2};
                if (mode[y] < 0) defined = false;
                else if (y < 4) b.t("im ").digit(mode[y]);
                else b.t("im\t").digit(mode[y]).t("\t\t;undoc equiv");
                break;
            }
            default: {
                constexpr const char* misc[8] = {"ld i,a", "ld r,a", "ld a,i", "ld a,r", "rrd", "rld", nullptr, nullptr};
                if (misc[y]) b.t(misc[y]);
                else defined = false;
                break;
            }
            }
        } else if (x == 2 && z <= 3 && y >= 4) {
            b.t(BLOCK[y - 4][z]);
        } else {
            defined = false;
        }
        t[op] = defined ? b.done() : UNDEFINED_ED;
    }
    return t;
}

constexpr table major = build_first_byte(NO_INDEX);
constexpr std::array<table, SUB_COUNT> minor = {
    build_bit_ops(NO_INDEX), build_first_byte(INDEX_IX), build_ed(),
    build_first_byte(INDEX_IY), build_bit_ops(INDEX_IX), build_bit_ops(INDEX_IY),
};

bool is_prefix(const mnemonic& m) { return m.text[0] == '\0'; }

} // namespace

uint16_t disassemble(uint16_t address, char (&out)[Z80DIS_LINE])
{
    const mnemonic* m = &major[mem_read(address)];
    int opcode_bytes = 1;
    if (is_prefix(*m)) {
        const table& sub = minor[m->type];
        m = &sub[mem_read(static_cast<uint16_t>(address + 1))];
        opcode_bytes = 2;
        if (is_prefix(*m)) {
            m = &minor[m->type][mem_read(static_cast<uint16_t>(address + 3))];
            opcode_bytes = 4;
        }
    }
    const int count = opcode_bytes + static_cast<int8_t>(m->type & 0xFF);
    auto byte_at = [address](int offset) { return mem_read(static_cast<uint16_t>(address + offset)); };

    int pos = std::snprintf(out, sizeof out, " %04X ", address);
    for (int i = 0; i < 4; ++i) {
        if (i < count) pos += std::snprintf(out + pos, sizeof out - pos, "%02X ", byte_at(i));
        else pos += std::snprintf(out + pos, sizeof out - pos, "   ");
    }
    char* text = out + pos;
    const size_t room = sizeof out - pos;
    const char* format = m->text.data();
    const uint8_t first = byte_at(opcode_bytes);
    const uint8_t second = byte_at(opcode_bytes + 1);
    switch (m->type) {
    case OPS_BYTE: std::snprintf(text, room, format, first); break;
    case OPS_WORD: std::snprintf(text, room, format, second, first); break;
    case OPS_INDEX_CB: std::snprintf(text, room, format, byte_at(2)); break;
    case OPS_RELATIVE:
        std::snprintf(text, room, format, static_cast<uint16_t>(address + count + static_cast<int8_t>(first)));
        break;
    case OPS_DISP_BYTE: std::snprintf(text, room, format, first, second); break;
    default: std::snprintf(text, room, "%s", format); break;
    }
    return static_cast<uint16_t>(address + count);
}

int bytetobin(uint8_t value)
{
    int result = 0;
    for (int bit = 7; bit >= 0; --bit)
        result = result * 10 + ((value >> bit) & 1);
    return result;
}

void regdump(char (&out)[Z80DIS_LINE], int line)
{
    const z80_state_t& s = z80_state;
    switch (line) {
    case 0:
        std::snprintf(out, sizeof out, "AF:%04X,BC:%04X,DE:%04X,HL:%04X,IP:%04X,R:%02X|SZ-H-PNC",
                      s.af, s.bc, s.de, s.hl, s.pc, s.r);
        break;
    case 1:
        // SP in four digits like the other pairs, so FL stays under the legend.
        std::snprintf(out, sizeof out, "IX:%04X,IY:%04X,SP:%04X,I:%02X,BP:%04X(%s),FL:%08i",
                      s.ix, s.iy, s.sp, s.i, s.bp_address, s.bp_enabled ? "ON " : "OFF",
                      bytetobin(static_cast<uint8_t>(s.af)));
        break;
    case 2:
        std::snprintf(out, sizeof out, "TCOUNT:%024llu", static_cast<unsigned long long>(s.tcount));
        break;
    default: break;
    }
}
