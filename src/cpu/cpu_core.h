// The Z80 interpreter, written once for any bus. A Bus supplies static
// read(address), write(address, value), in(port) and out(port, value); the
// machine instantiates it with machine_bus, tests and benchmarks with a flat
// 64 KB array.
//
// The registers and the T-state counter live in locals while the loop runs:
// every store through a byte array may alias a global, so a core working on
// z80_state directly would reload it after each memory write. The locals are
// written back before anything that may look at z80_state (port access,
// trap handlers, due events, returning) and reloaded afterwards.
#pragma once
#include <climits>
#include <cstdint>

#include "core/event.h"
#include "core/machine.h"
#include "core/trap.h"
#include "cpu/cpu.h"

#define Z80_INLINE inline __attribute__((always_inline))
#define Z80_LIKELY(x) __builtin_expect(!!(x), 1)
#define Z80_UNLIKELY(x) __builtin_expect(!!(x), 0)

namespace z80_tables {

constexpr uint8_t half_carry_table[8] = {0, 0, 16, 0, 16, 0, 16, 16};
constexpr uint8_t sign_carry_overflow_table[8] = {0x00, 0x84, 0x01, 0x80, 0x01, 0x80, 0x05, 0x81};
constexpr uint8_t subtract_half_carry_table[8] = {0, 16, 16, 16, 0, 0, 0, 16};
constexpr uint8_t subtract_sign_carry_overflow_table[8] = {0x00, 0x81, 0x01, 0x85,
                                                           0x04, 0x80, 0x00, 0x81};

struct byte_tables {
    uint8_t parity[256];   // 1 for an even number of set bits
    uint8_t sz53[256];     // S, Z, bits 5 and 3 of a result
    uint8_t sz53p[256];    // the same plus P/V as parity
};

constexpr byte_tables make_byte_tables()
{
    byte_tables t{};
    for (int v = 0; v < 256; ++v) {
        int bits = 0;
        for (int b = 0; b < 8; ++b)
            bits += (v >> b) & 1;
        t.parity[v] = (bits & 1) ? 0 : 1;
        t.sz53[v] = static_cast<uint8_t>((v & (FLAG_S | FLAG_5 | FLAG_3)) | (v == 0 ? FLAG_Z : 0));
        t.sz53p[v] = static_cast<uint8_t>(t.sz53[v] | (t.parity[v] ? FLAG_PV : 0));
    }
    return t;
}

inline constexpr byte_tables bytes = make_byte_tables();
inline constexpr const uint8_t (&parity_table)[256] = bytes.parity;

}  // namespace z80_tables

namespace z80_ops {

using namespace z80_tables;

// Bits 3 and 7 of the two operands and the result packed so that the low
// three bits index the half-carry tables and bits 4-6 the sign/carry/
// overflow tables: first operand x4, second x2, result x1.
Z80_INLINE unsigned lookup8(unsigned a, unsigned v, unsigned res)
{
    return ((a & 0x88) >> 1) | ((v & 0x88) >> 2) | ((res & 0x88) >> 3);
}

Z80_INLINE unsigned lookup16(unsigned a, unsigned v, unsigned res)
{
    return ((a & 0x8800) >> 9) | ((v & 0x8800) >> 10) | ((res & 0x8800) >> 11);
}

Z80_INLINE uint8_t do_sub_flags(uint8_t a, uint8_t operand, uint8_t result)
{
    const unsigned l = lookup8(a, operand, result);
    return static_cast<uint8_t>(subtract_half_carry_table[l & 7] |
                                subtract_sign_carry_overflow_table[l >> 4] | FLAG_N |
                                (result & (FLAG_5 | FLAG_3)) | (result ? 0 : FLAG_Z));
}

enum alu_kind { ALU_ADD, ALU_ADC, ALU_SUB, ALU_SBC, ALU_AND, ALU_XOR, ALU_OR, ALU_CP };

template <int K>
Z80_INLINE void alu(uint8_t& A, uint8_t& F, uint8_t v)
{
    if constexpr (K == ALU_ADD || K == ALU_ADC) {
        const unsigned res = A + v + (K == ALU_ADC ? (F & FLAG_C) : 0);
        const unsigned l = lookup8(A, v, res);
        A = static_cast<uint8_t>(res);
        F = static_cast<uint8_t>(half_carry_table[l & 7] | sign_carry_overflow_table[l >> 4] |
                                 (A & (FLAG_5 | FLAG_3)) | (A ? 0 : FLAG_Z));
    } else if constexpr (K == ALU_SUB || K == ALU_SBC || K == ALU_CP) {
        const unsigned res = A - v - (K == ALU_SBC ? (F & FLAG_C) : 0);
        const uint8_t r8 = static_cast<uint8_t>(res);
        const unsigned l = lookup8(A, v, res);
        const uint8_t f = static_cast<uint8_t>(subtract_half_carry_table[l & 7] |
                                               subtract_sign_carry_overflow_table[l >> 4] |
                                               FLAG_N | (r8 ? 0 : FLAG_Z));
        if constexpr (K == ALU_CP) {
            F = static_cast<uint8_t>(f | (v & (FLAG_5 | FLAG_3)));
        } else {
            F = static_cast<uint8_t>(f | (r8 & (FLAG_5 | FLAG_3)));
            A = r8;
        }
    } else if constexpr (K == ALU_AND) {
        A &= v;
        F = static_cast<uint8_t>(FLAG_H | bytes.sz53p[A]);
    } else if constexpr (K == ALU_XOR) {
        A ^= v;
        F = bytes.sz53p[A];
    } else {
        A |= v;
        F = bytes.sz53p[A];
    }
}

Z80_INLINE uint8_t inc8(uint8_t& F, uint8_t v)
{
    ++v;
    F = static_cast<uint8_t>((F & FLAG_C) | (v == 0x80 ? FLAG_PV : 0) |
                             ((v & 0x0F) == 0 ? FLAG_H : 0) | bytes.sz53[v]);
    return v;
}

Z80_INLINE uint8_t dec8(uint8_t& F, uint8_t v)
{
    --v;
    F = static_cast<uint8_t>((F & FLAG_C) | FLAG_N | (v == 0x7F ? FLAG_PV : 0) |
                             ((v & 0x0F) == 0x0F ? FLAG_H : 0) | bytes.sz53[v]);
    return v;
}

Z80_INLINE uint16_t add16(uint8_t& F, uint16_t a, uint16_t v)
{
    const unsigned res = static_cast<unsigned>(a) + v;
    const unsigned l = lookup16(a, v, res);
    F = static_cast<uint8_t>((F & (FLAG_S | FLAG_Z | FLAG_PV)) |
                             (sign_carry_overflow_table[l >> 4] & FLAG_C) | half_carry_table[l & 7] |
                             ((res >> 8) & (FLAG_5 | FLAG_3)));
    return static_cast<uint16_t>(res);
}

Z80_INLINE uint16_t adc16(uint8_t& F, uint16_t a, uint16_t v)
{
    const unsigned res = static_cast<unsigned>(a) + v + (F & FLAG_C);
    const unsigned l = lookup16(a, v, res);
    const uint16_t r16 = static_cast<uint16_t>(res);
    F = static_cast<uint8_t>(sign_carry_overflow_table[l >> 4] | half_carry_table[l & 7] |
                             ((r16 >> 8) & (FLAG_5 | FLAG_3)) | (r16 ? 0 : FLAG_Z));
    return r16;
}

Z80_INLINE uint16_t sbc16(uint8_t& F, uint16_t a, uint16_t v)
{
    const unsigned res = static_cast<unsigned>(a) - v - (F & FLAG_C);
    const unsigned l = lookup16(a, v, res);
    const uint16_t r16 = static_cast<uint16_t>(res);
    F = static_cast<uint8_t>(subtract_sign_carry_overflow_table[l >> 4] |
                             subtract_half_carry_table[l & 7] | FLAG_N |
                             ((r16 >> 8) & (FLAG_5 | FLAG_3)) | (r16 ? 0 : FLAG_Z));
    return r16;
}

// CB-group rotates and shifts, selected by bits 3-5 of the opcode.
Z80_INLINE uint8_t shift_rotate(int kind, uint8_t& F, uint8_t v)
{
    uint8_t r;
    uint8_t c;
    switch (kind & 7) {
    case 0: c = v >> 7; r = static_cast<uint8_t>((v << 1) | c); break;             // RLC
    case 1: c = v & 1; r = static_cast<uint8_t>((v >> 1) | (c << 7)); break;        // RRC
    case 2: c = v >> 7; r = static_cast<uint8_t>((v << 1) | (F & FLAG_C)); break;   // RL
    case 3: c = v & 1; r = static_cast<uint8_t>((v >> 1) | ((F & FLAG_C) << 7)); break;  // RR
    case 4: c = v >> 7; r = static_cast<uint8_t>(v << 1); break;                   // SLA
    case 5: c = v & 1; r = static_cast<uint8_t>((v & 0x80) | (v >> 1)); break;      // SRA
    case 6: c = v >> 7; r = static_cast<uint8_t>((v << 1) | 1); break;             // SLL
    default: c = v & 1; r = static_cast<uint8_t>(v >> 1); break;                    // SRL
    }
    F = static_cast<uint8_t>(c | bytes.sz53p[r]);
    return r;
}

// BIT b: bits 5 and 3 come from `undoc`, the value the encoding exposes.
Z80_INLINE void bit_test(uint8_t& F, int b, uint8_t v, uint8_t undoc)
{
    const uint8_t tested = static_cast<uint8_t>(v & (1u << b));
    F = static_cast<uint8_t>((F & FLAG_C) | FLAG_H | (undoc & (FLAG_5 | FLAG_3)) |
                             (tested ? 0 : (FLAG_Z | FLAG_PV)) | (tested & FLAG_S));
}

Z80_INLINE void daa(uint8_t& A, uint8_t& F)
{
    const unsigned low = A & 0x0F;
    unsigned c = F & FLAG_C;
    unsigned h = F & FLAG_H;
    unsigned a = A;
    if (F & FLAG_N) {
        unsigned h2 = 0;
        if (h || low > 9) {
            h2 = (low <= 5) ? h : 0;
            a = (a - 6) & 0xFF;
        }
        if (A > 0x99 || c) {
            a = (a - 0x60) & 0xFF;
            c = FLAG_C;
        }
        h = h2;
    } else {
        if (h || low > 9) {
            h = low > 9 ? FLAG_H : 0;
            a += 6;
        }
        if (c || ((a >> 4) & 0x1F) > 9) {
            a += 0x60;
            if (a & 0x100)
                c = FLAG_C;
        } else {
            c |= (a >> 8) & 1;
        }
        a &= 0xFF;
    }
    A = static_cast<uint8_t>(a);
    F = static_cast<uint8_t>(h | c | (F & FLAG_N) | bytes.sz53p[A]);
}

}  // namespace z80_ops

template <class Bus, bool Breakpoints>
int z80_execute_loop(int cycles)
{
    using namespace z80_ops;
    using z80_tables::bytes;

    uint8_t A, F, B, C, D, E, H, L;
    uint16_t IX, IY, SP, PC;
    uint8_t rc;   // low seven bits of R count; bit 7 stays in z80_state.r
    int64_t tc, next_due, limit;
    uint8_t op = 0;

#define Z80_SYNC_OUT()                                                              \
    do {                                                                            \
        z80_state.af = static_cast<uint16_t>((A << 8) | F);                         \
        z80_state.bc = static_cast<uint16_t>((B << 8) | C);                         \
        z80_state.de = static_cast<uint16_t>((D << 8) | E);                         \
        z80_state.hl = static_cast<uint16_t>((H << 8) | L);                         \
        z80_state.ix = IX;                                                          \
        z80_state.iy = IY;                                                          \
        z80_state.sp = SP;                                                          \
        z80_state.pc = PC;                                                          \
        z80_state.r = static_cast<uint8_t>((z80_state.r & 0x80) | (rc & 0x7F));     \
        z80_state.tcount = tc;                                                      \
    } while (0)
#define Z80_SYNC_IN()                                                               \
    do {                                                                            \
        A = static_cast<uint8_t>(z80_state.af >> 8);                                \
        F = static_cast<uint8_t>(z80_state.af);                                     \
        B = static_cast<uint8_t>(z80_state.bc >> 8);                                \
        C = static_cast<uint8_t>(z80_state.bc);                                     \
        D = static_cast<uint8_t>(z80_state.de >> 8);                                \
        E = static_cast<uint8_t>(z80_state.de);                                     \
        H = static_cast<uint8_t>(z80_state.hl >> 8);                                \
        L = static_cast<uint8_t>(z80_state.hl);                                     \
        IX = z80_state.ix;                                                          \
        IY = z80_state.iy;                                                          \
        SP = z80_state.sp;                                                          \
        PC = z80_state.pc;                                                          \
        rc = z80_state.r;                                                           \
        tc = z80_state.tcount;                                                      \
        next_due = the_machine.events.next_due;                                                  \
        limit = INT64_MIN;                                                          \
    } while (0)
// The event pass after an addition to tcount.
#define Z80_PASS()                                                                  \
    do {                                                                            \
        if (Z80_UNLIKELY(tc >= next_due)) {                                         \
            Z80_SYNC_OUT();                                                         \
            event_run_due();                                                        \
            Z80_SYNC_IN();                                                          \
        }                                                                           \
    } while (0)
#define RD(a) Bus::read(static_cast<uint16_t>(a))
#define WR(a, v) Bus::write(static_cast<uint16_t>(a), static_cast<uint8_t>(v))
#define FETCH() RD(PC++)
#define FETCH16(dst)                                                                \
    do {                                                                            \
        const uint8_t lo_ = FETCH();                                                \
        const uint8_t hi_ = FETCH();                                                \
        dst = static_cast<uint16_t>(lo_ | (hi_ << 8));                              \
    } while (0)
#define BC16 static_cast<uint16_t>((B << 8) | C)
#define DE16 static_cast<uint16_t>((D << 8) | E)
#define HL16 static_cast<uint16_t>((H << 8) | L)
#define SET_BC(v) do { const uint16_t v_ = (v); B = v_ >> 8; C = static_cast<uint8_t>(v_); } while (0)
#define SET_DE(v) do { const uint16_t v_ = (v); D = v_ >> 8; E = static_cast<uint8_t>(v_); } while (0)
#define SET_HL(v) do { const uint16_t v_ = (v); H = v_ >> 8; L = static_cast<uint8_t>(v_); } while (0)
#define PUSH16(v)                                                                   \
    do {                                                                            \
        const uint16_t pv_ = (v);                                                   \
        SP -= 2;                                                                    \
        WR(SP, pv_ & 0xFF);                                                         \
        WR(SP + 1, pv_ >> 8);                                                       \
    } while (0)
#define POP16(dst)                                                                  \
    do {                                                                            \
        const uint8_t lo_ = RD(SP);                                                 \
        dst = static_cast<uint16_t>(lo_ | (RD(SP + 1) << 8));                       \
        SP += 2;                                                                    \
    } while (0)
#define ADD_T(n) tc += (n)
#define DONE(n)                                                                     \
    do {                                                                            \
        tc += (n);                                                                  \
        goto done;                                                                  \
    } while (0)

    Z80_SYNC_IN();
    const int64_t t_entry = tc;
    const uint32_t start32 = static_cast<uint32_t>(tc);
    const int64_t end = t_entry + cycles;

    goto recompute;

next:
    if constexpr (Breakpoints) {
        if (PC == z80_state.bp_address) {
            if (!z80_state.bp_reached) {
                z80_state.bp_reached = 1;
                z80_break_hit = 1;
                goto leave;
            }
        } else {
            z80_state.bp_reached = 0;
        }
    }
    op = FETCH();
    ++rc;
    switch (op) {
    // ---- 0x00-0x3F ------------------------------------------------------
    case 0x00: DONE(4);                                              // NOP
    case 0x01: { uint16_t v; FETCH16(v); SET_BC(v); DONE(10); }      // LD BC,nn
    case 0x11: { uint16_t v; FETCH16(v); SET_DE(v); DONE(10); }
    case 0x21: { uint16_t v; FETCH16(v); SET_HL(v); DONE(10); }
    case 0x31: FETCH16(SP); DONE(10);
    case 0x02: WR(BC16, A); DONE(7);                                 // LD (BC),A
    case 0x12: WR(DE16, A); DONE(7);
    case 0x0A: A = RD(BC16); DONE(7);                                // LD A,(BC)
    case 0x1A: A = RD(DE16); DONE(7);
    case 0x22: { uint16_t a; FETCH16(a); WR(a, L); WR(a + 1, H); DONE(16); }
    case 0x2A: { uint16_t a; FETCH16(a); L = RD(a); H = RD(a + 1); DONE(16); }
    case 0x32: { uint16_t a; FETCH16(a); WR(a, A); DONE(13); }
    case 0x3A: { uint16_t a; FETCH16(a); A = RD(a); DONE(13); }
    case 0x03: SET_BC(BC16 + 1); DONE(6);                            // INC rr
    case 0x13: SET_DE(DE16 + 1); DONE(6);
    case 0x23: SET_HL(HL16 + 1); DONE(6);
    case 0x33: ++SP; DONE(6);
    case 0x0B: SET_BC(BC16 - 1); DONE(6);                            // DEC rr
    case 0x1B: SET_DE(DE16 - 1); DONE(6);
    case 0x2B: SET_HL(HL16 - 1); DONE(6);
    case 0x3B: --SP; DONE(6);
    case 0x09: SET_HL(add16(F, HL16, BC16)); DONE(11);               // ADD HL,rr
    case 0x19: SET_HL(add16(F, HL16, DE16)); DONE(11);
    case 0x29: SET_HL(add16(F, HL16, HL16)); DONE(11);
    case 0x39: SET_HL(add16(F, HL16, SP)); DONE(11);
    case 0x04: B = inc8(F, B); DONE(4);
    case 0x0C: C = inc8(F, C); DONE(4);
    case 0x14: D = inc8(F, D); DONE(4);
    case 0x1C: E = inc8(F, E); DONE(4);
    case 0x24: H = inc8(F, H); DONE(4);
    case 0x2C: L = inc8(F, L); DONE(4);
    case 0x34: { const uint16_t a = HL16; WR(a, inc8(F, RD(a))); DONE(11); }
    case 0x3C: A = inc8(F, A); DONE(4);
    case 0x05: B = dec8(F, B); DONE(4);
    case 0x0D: C = dec8(F, C); DONE(4);
    case 0x15: D = dec8(F, D); DONE(4);
    case 0x1D: E = dec8(F, E); DONE(4);
    case 0x25: H = dec8(F, H); DONE(4);
    case 0x2D: L = dec8(F, L); DONE(4);
    case 0x35: { const uint16_t a = HL16; WR(a, dec8(F, RD(a))); DONE(11); }
    case 0x3D: A = dec8(F, A); DONE(4);
    case 0x06: B = FETCH(); DONE(7);                                 // LD r,n
    case 0x0E: C = FETCH(); DONE(7);
    case 0x16: D = FETCH(); DONE(7);
    case 0x1E: E = FETCH(); DONE(7);
    case 0x26: H = FETCH(); DONE(7);
    case 0x2E: L = FETCH(); DONE(7);
    case 0x36: { const uint8_t n = FETCH(); WR(HL16, n); DONE(10); }
    case 0x3E: A = FETCH(); DONE(7);
    case 0x07:                                                       // RLCA
        A = static_cast<uint8_t>((A << 1) | (A >> 7));
        F = static_cast<uint8_t>((F & (FLAG_S | FLAG_Z | FLAG_PV)) | (A & (FLAG_5 | FLAG_3 | FLAG_C)));
        DONE(4);
    case 0x0F:                                                       // RRCA
        F = static_cast<uint8_t>((F & (FLAG_S | FLAG_Z | FLAG_PV)) | (A & FLAG_C));
        A = static_cast<uint8_t>((A >> 1) | (A << 7));
        F |= A & (FLAG_5 | FLAG_3);
        DONE(4);
    case 0x17: {                                                     // RLA
        const uint8_t r = static_cast<uint8_t>((A << 1) | (F & FLAG_C));
        F = static_cast<uint8_t>((F & (FLAG_S | FLAG_Z | FLAG_PV)) | (A >> 7) | (r & (FLAG_5 | FLAG_3)));
        A = r;
        DONE(4);
    }
    case 0x1F: {                                                     // RRA
        const uint8_t r = static_cast<uint8_t>((A >> 1) | ((F & FLAG_C) << 7));
        F = static_cast<uint8_t>((F & (FLAG_S | FLAG_Z | FLAG_PV)) | (A & FLAG_C) | (r & (FLAG_5 | FLAG_3)));
        A = r;
        DONE(4);
    }
    case 0x27: daa(A, F); DONE(4);
    case 0x2F:                                                       // CPL
        A = static_cast<uint8_t>(~A);
        F = static_cast<uint8_t>((F & (FLAG_S | FLAG_Z | FLAG_PV | FLAG_C)) | FLAG_H | FLAG_N |
                                 (A & (FLAG_5 | FLAG_3)));
        DONE(4);
    case 0x37:                                                       // SCF
        F = static_cast<uint8_t>((F & 0xC4) | (A & 0x28) | FLAG_C);
        DONE(4);
    case 0x3F:                                                       // CCF
        F = static_cast<uint8_t>((F & 0xC4) | (A & 0x28) | ((F & FLAG_C) ? FLAG_H : FLAG_C));
        DONE(4);
    case 0x08: {                                                     // EX AF,AF'
        const uint16_t t = z80_state.af_alt;
        z80_state.af_alt = static_cast<uint16_t>((A << 8) | F);
        A = static_cast<uint8_t>(t >> 8);
        F = static_cast<uint8_t>(t);
        DONE(4);
    }
    case 0x10: {                                                     // DJNZ
        const int8_t d = static_cast<int8_t>(FETCH());
        if (--B) {
            PC = static_cast<uint16_t>(PC + d);
            DONE(13);
        }
        DONE(8);
    }
    case 0x18: { const int8_t d = static_cast<int8_t>(FETCH()); PC = static_cast<uint16_t>(PC + d); DONE(12); }
#define JR_CC(code, cond)                                                           \
    case code: {                                                                    \
        const int8_t d = static_cast<int8_t>(FETCH());                              \
        if (cond) {                                                                 \
            PC = static_cast<uint16_t>(PC + d);                                     \
            DONE(12);                                                               \
        }                                                                           \
        DONE(7);                                                                    \
    }
    JR_CC(0x20, !(F & FLAG_Z))
    JR_CC(0x28, F & FLAG_Z)
    JR_CC(0x30, !(F & FLAG_C))
    JR_CC(0x38, F & FLAG_C)
#undef JR_CC

    // ---- 0x40-0x7F: LD r,r' and HALT ----------------------------------------
#define LD_ROW(base, DST)                                                           \
    case base + 0: DST = B; DONE(4);                                                \
    case base + 1: DST = C; DONE(4);                                                \
    case base + 2: DST = D; DONE(4);                                                \
    case base + 3: DST = E; DONE(4);                                                \
    case base + 4: DST = H; DONE(4);                                                \
    case base + 5: DST = L; DONE(4);                                                \
    case base + 6: DST = RD(HL16); DONE(7);                                         \
    case base + 7: DST = A; DONE(4);
    LD_ROW(0x40, B)
    LD_ROW(0x48, C)
    LD_ROW(0x50, D)
    LD_ROW(0x58, E)
    LD_ROW(0x60, H)
    LD_ROW(0x68, L)
    LD_ROW(0x78, A)
#undef LD_ROW
    case 0x70: WR(HL16, B); DONE(7);
    case 0x71: WR(HL16, C); DONE(7);
    case 0x72: WR(HL16, D); DONE(7);
    case 0x73: WR(HL16, E); DONE(7);
    case 0x74: WR(HL16, H); DONE(7);
    case 0x75: WR(HL16, L); DONE(7);
    case 0x77: WR(HL16, A); DONE(7);
    case 0x76: --PC; DONE(4);                                        // HALT

    // ---- 0x80-0xBF: ALU A,r ------------------------------------------------
#define ALU_ROW(base, K)                                                            \
    case base + 0: alu<K>(A, F, B); DONE(4);                                        \
    case base + 1: alu<K>(A, F, C); DONE(4);                                        \
    case base + 2: alu<K>(A, F, D); DONE(4);                                        \
    case base + 3: alu<K>(A, F, E); DONE(4);                                        \
    case base + 4: alu<K>(A, F, H); DONE(4);                                        \
    case base + 5: alu<K>(A, F, L); DONE(4);                                        \
    case base + 6: alu<K>(A, F, RD(HL16)); DONE(7);                                 \
    case base + 7: alu<K>(A, F, A); DONE(4);
    ALU_ROW(0x80, ALU_ADD)
    ALU_ROW(0x88, ALU_ADC)
    ALU_ROW(0x90, ALU_SUB)
    ALU_ROW(0x98, ALU_SBC)
    ALU_ROW(0xA0, ALU_AND)
    ALU_ROW(0xA8, ALU_XOR)
    ALU_ROW(0xB0, ALU_OR)
    ALU_ROW(0xB8, ALU_CP)
#undef ALU_ROW
    case 0xC6: alu<ALU_ADD>(A, F, FETCH()); DONE(7);
    case 0xCE: alu<ALU_ADC>(A, F, FETCH()); DONE(7);
    case 0xD6: alu<ALU_SUB>(A, F, FETCH()); DONE(7);
    case 0xDE: alu<ALU_SBC>(A, F, FETCH()); DONE(7);
    case 0xE6: alu<ALU_AND>(A, F, FETCH()); DONE(7);
    case 0xEE: alu<ALU_XOR>(A, F, FETCH()); DONE(7);
    case 0xF6: alu<ALU_OR>(A, F, FETCH()); DONE(7);
    case 0xFE: alu<ALU_CP>(A, F, FETCH()); DONE(7);

    // ---- 0xC0-0xFF: jumps, calls, stack ----------------------------------------
#define COND_CASES(base, X)                                                         \
    X(base + 0x00, !(F & FLAG_Z))                                                   \
    X(base + 0x08, F & FLAG_Z)                                                      \
    X(base + 0x10, !(F & FLAG_C))                                                   \
    X(base + 0x18, F & FLAG_C)                                                      \
    X(base + 0x20, !(F & FLAG_PV))                                                  \
    X(base + 0x28, F & FLAG_PV)                                                     \
    X(base + 0x30, !(F & FLAG_S))                                                   \
    X(base + 0x38, F & FLAG_S)
#define RET_CC(code, cond)                                                          \
    case code:                                                                      \
        if (cond) {                                                                 \
            POP16(PC);                                                              \
            DONE(11);                                                               \
        }                                                                           \
        DONE(5);
#define JP_CC(code, cond)                                                           \
    case code: {                                                                    \
        uint16_t a;                                                                 \
        FETCH16(a);                                                                 \
        if (cond)                                                                   \
            PC = a;                                                                 \
        DONE(10);                                                                   \
    }
#define CALL_CC(code, cond)                                                         \
    case code: {                                                                    \
        uint16_t a;                                                                 \
        FETCH16(a);                                                                 \
        if (cond) {                                                                 \
            PUSH16(PC);                                                             \
            PC = a;                                                                 \
            DONE(17);                                                               \
        }                                                                           \
        DONE(10);                                                               \
    }
    COND_CASES(0xC0, RET_CC)
    COND_CASES(0xC2, JP_CC)
    COND_CASES(0xC4, CALL_CC)
#undef RET_CC
#undef JP_CC
#undef CALL_CC
#undef COND_CASES
    case 0xC7: case 0xCF: case 0xD7: case 0xDF:                      // RST n
    case 0xE7: case 0xEF: case 0xF7: case 0xFF:
        PUSH16(PC);
        PC = op & 0x38;
        DONE(11);
    case 0xC1: { uint16_t v; POP16(v); SET_BC(v); DONE(10); }
    case 0xD1: { uint16_t v; POP16(v); SET_DE(v); DONE(10); }
    case 0xE1: { uint16_t v; POP16(v); SET_HL(v); DONE(10); }
    case 0xF1: { uint16_t v; POP16(v); A = static_cast<uint8_t>(v >> 8); F = static_cast<uint8_t>(v); DONE(10); }
    case 0xC5: PUSH16(BC16); DONE(11);
    case 0xD5: PUSH16(DE16); DONE(11);
    case 0xE5: PUSH16(HL16); DONE(11);
    case 0xF5: PUSH16(static_cast<uint16_t>((A << 8) | F)); DONE(11);
    case 0xC3: FETCH16(PC); DONE(10);
    case 0xC9: POP16(PC); DONE(10);
    case 0xCD: { uint16_t a; FETCH16(a); PUSH16(PC); PC = a; DONE(17); }
    case 0xD3: {                                                     // OUT (n),A
        const uint8_t n = FETCH();
        Z80_SYNC_OUT();
        Bus::out(n, A);
        Z80_SYNC_IN();
        DONE(11);
    }
    case 0xDB: {                                                     // IN A,(n)
        const uint8_t n = FETCH();
        Z80_SYNC_OUT();
        const uint8_t v = Bus::in(n);
        Z80_SYNC_IN();
        A = v;
        DONE(10);
    }
    case 0xD9: {                                                     // EXX
        uint16_t t = z80_state.bc_alt;
        z80_state.bc_alt = BC16;
        SET_BC(t);
        t = z80_state.de_alt;
        z80_state.de_alt = DE16;
        SET_DE(t);
        t = z80_state.hl_alt;
        z80_state.hl_alt = HL16;
        SET_HL(t);
        DONE(4);
    }
    case 0xE3: {                                                     // EX (SP),HL
        const uint8_t lo = RD(SP);
        const uint8_t hi = RD(SP + 1);
        WR(SP, L);
        WR(SP + 1, H);
        L = lo;
        H = hi;
        DONE(19);
    }
    case 0xE9: PC = HL16; DONE(4);
    case 0xEB: { uint8_t t = D; D = H; H = t; t = E; E = L; L = t; DONE(4); }
    case 0xF3: z80_state.iff1 = z80_state.iff2 = 0; DONE(4);
    case 0xFB: z80_state.iff1 = z80_state.iff2 = 1; limit = INT64_MIN; DONE(4);
    case 0xF9: SP = HL16; DONE(6);

    case 0xCB: goto cb_group;
    case 0xED: goto ed_group;
    case 0xDD: case 0xFD: goto index_group;
    }
    goto done;   // every opcode is handled above

    // ---- CB: rotates, shifts, BIT, RES, SET ------------------------------------
cb_group: {
    const uint8_t op2 = FETCH();
    ++rc;
    const int reg = op2 & 7;
    const int y = (op2 >> 3) & 7;
    uint8_t v;
    switch (reg) {
    case 0: v = B; break;
    case 1: v = C; break;
    case 2: v = D; break;
    case 3: v = E; break;
    case 4: v = H; break;
    case 5: v = L; break;
    case 6: v = RD(HL16); break;
    default: v = A; break;
    }
    switch (op2 >> 6) {
    case 0: v = shift_rotate(y, F, v); break;
    case 1:
        // BIT b,(HL) exposes no value in bits 5 and 3.
        bit_test(F, y, v, reg == 6 ? 0 : v);
        DONE(reg == 6 ? 12 : 8);
    case 2: v = static_cast<uint8_t>(v & ~(1u << y)); break;
    default: v = static_cast<uint8_t>(v | (1u << y)); break;
    }
    switch (reg) {
    case 0: B = v; break;
    case 1: C = v; break;
    case 2: D = v; break;
    case 3: E = v; break;
    case 4: H = v; break;
    case 5: L = v; break;
    case 6: WR(HL16, v); DONE(15);
    default: A = v; break;
    }
    DONE(8);
}

    // ---- DD / FD: IX and IY ------------------------------------------------------
index_group: {
    uint16_t xy = (op == 0xDD) ? IX : IY;
    const uint8_t op2 = FETCH();
    ++rc;
    int cost;
#define XH static_cast<uint8_t>(xy >> 8)
#define XL static_cast<uint8_t>(xy)
#define SET_XH(v) xy = static_cast<uint16_t>((xy & 0x00FF) | (static_cast<uint8_t>(v) << 8))
#define SET_XL(v) xy = static_cast<uint16_t>((xy & 0xFF00) | static_cast<uint8_t>(v))
#define XADDR() static_cast<uint16_t>(xy + static_cast<int8_t>(FETCH()))
    switch (op2) {
    case 0x09: xy = add16(F, xy, BC16); cost = 15; break;
    case 0x19: xy = add16(F, xy, DE16); cost = 15; break;
    case 0x29: xy = add16(F, xy, xy); cost = 15; break;
    case 0x39: xy = add16(F, xy, SP); cost = 15; break;
    case 0x21: FETCH16(xy); cost = 14; break;
    case 0x22: { uint16_t a; FETCH16(a); WR(a, XL); WR(a + 1, XH); cost = 20; break; }
    case 0x2A: { uint16_t a; FETCH16(a); const uint8_t lo = RD(a); xy = static_cast<uint16_t>(lo | (RD(a + 1) << 8)); cost = 20; break; }
    case 0x23: ++xy; cost = 10; break;
    case 0x2B: --xy; cost = 10; break;
    case 0x24: SET_XH(inc8(F, XH)); cost = 8; break;
    case 0x25: SET_XH(dec8(F, XH)); cost = 8; break;
    case 0x26: SET_XH(FETCH()); cost = 11; break;
    case 0x2C: SET_XL(inc8(F, XL)); cost = 8; break;
    case 0x2D: SET_XL(dec8(F, XL)); cost = 8; break;
    case 0x2E: SET_XL(FETCH()); cost = 11; break;
    case 0x34: { const uint16_t a = XADDR(); WR(a, inc8(F, RD(a))); cost = 23; break; }
    case 0x35: { const uint16_t a = XADDR(); WR(a, dec8(F, RD(a))); cost = 23; break; }
    case 0x36: { const uint16_t a = XADDR(); const uint8_t n = FETCH(); WR(a, n); cost = 19; break; }
    // LD r,IXH / LD r,IXL
    case 0x44: B = XH; cost = 8; break;
    case 0x45: B = XL; cost = 8; break;
    case 0x4C: C = XH; cost = 8; break;
    case 0x4D: C = XL; cost = 8; break;
    case 0x54: D = XH; cost = 8; break;
    case 0x55: D = XL; cost = 8; break;
    case 0x5C: E = XH; cost = 8; break;
    case 0x5D: E = XL; cost = 8; break;
    case 0x7C: A = XH; cost = 8; break;
    case 0x7D: A = XL; cost = 8; break;
    case 0x60: SET_XH(B); cost = 8; break;
    case 0x61: SET_XH(C); cost = 8; break;
    case 0x62: SET_XH(D); cost = 8; break;
    case 0x63: SET_XH(E); cost = 8; break;
    case 0x64: cost = 8; break;
    case 0x65: SET_XH(XL); cost = 8; break;
    case 0x67: SET_XH(A); cost = 8; break;
    case 0x68: SET_XL(B); cost = 8; break;
    case 0x69: SET_XL(C); cost = 8; break;
    case 0x6A: SET_XL(D); cost = 8; break;
    case 0x6B: SET_XL(E); cost = 8; break;
    case 0x6C: SET_XL(XH); cost = 8; break;
    case 0x6D: cost = 8; break;
    case 0x6F: SET_XL(A); cost = 8; break;
    // LD r,(IX+d): the real H and L
    case 0x46: B = RD(XADDR()); cost = 19; break;
    case 0x4E: C = RD(XADDR()); cost = 19; break;
    case 0x56: D = RD(XADDR()); cost = 19; break;
    case 0x5E: E = RD(XADDR()); cost = 19; break;
    case 0x66: H = RD(XADDR()); cost = 19; break;
    case 0x6E: L = RD(XADDR()); cost = 19; break;
    case 0x7E: A = RD(XADDR()); cost = 19; break;
    case 0x70: WR(XADDR(), B); cost = 19; break;
    case 0x71: WR(XADDR(), C); cost = 19; break;
    case 0x72: WR(XADDR(), D); cost = 19; break;
    case 0x73: WR(XADDR(), E); cost = 19; break;
    case 0x74: WR(XADDR(), H); cost = 19; break;
    case 0x75: WR(XADDR(), L); cost = 19; break;
    case 0x77: WR(XADDR(), A); cost = 19; break;
#define XALU(base, K)                                                               \
    case base + 4: alu<K>(A, F, XH); cost = 8; break;                               \
    case base + 5: alu<K>(A, F, XL); cost = 8; break;                               \
    case base + 6: alu<K>(A, F, RD(XADDR())); cost = 19; break;
    XALU(0x80, ALU_ADD)
    XALU(0x88, ALU_ADC)
    XALU(0x90, ALU_SUB)
    XALU(0x98, ALU_SBC)
    XALU(0xA0, ALU_AND)
    XALU(0xA8, ALU_XOR)
    XALU(0xB0, ALU_OR)
    XALU(0xB8, ALU_CP)
#undef XALU
    case 0xE1: POP16(xy); cost = 14; break;
    case 0xE5: PUSH16(xy); cost = 15; break;
    case 0xE3: {
        const uint8_t lo = RD(SP);
        const uint8_t hi = RD(SP + 1);
        WR(SP, XL);
        WR(SP + 1, XH);
        xy = static_cast<uint16_t>(lo | (hi << 8));
        cost = 23;
        break;
    }
    case 0xE9: PC = xy; cost = 8; break;
    case 0xF9: SP = xy; cost = 10; break;
    case 0xCB: {
        // DD CB d op: d and op are operands, not counted by R.
        const uint16_t a = XADDR();
        const uint8_t op3 = FETCH();
        const int reg = op3 & 7;
        const int y = (op3 >> 3) & 7;
        uint8_t v = RD(a);
        switch (op3 >> 6) {
        case 0: v = shift_rotate(y, F, v); break;
        case 1:
            bit_test(F, y, v, reg == 6 ? 0 : v);
            cost = 20;
            goto index_done;
        case 2: v = static_cast<uint8_t>(v & ~(1u << y)); break;
        default: v = static_cast<uint8_t>(v | (1u << y)); break;
        }
        WR(a, v);
        switch (reg) {
        case 0: B = v; break;
        case 1: C = v; break;
        case 2: D = v; break;
        case 3: E = v; break;
        case 4: H = v; break;
        case 5: L = v; break;
        case 7: A = v; break;
        default: break;
        }
        cost = 23;
        break;
    }
    default:
        // Not an H/L instruction: the prefix alone is a 4 T-state no-op and
        // the byte runs again as an ordinary opcode.
        --PC;
        cost = 4;
        break;
    }
#undef XH
#undef XL
#undef SET_XH
#undef SET_XL
#undef XADDR
index_done:
    if (op == 0xDD)
        IX = xy;
    else
        IY = xy;
    DONE(cost);
}

    // ---- ED ------------------------------------------------------------------
ed_group: {
    const uint8_t op2 = FETCH();
    ++rc;
    switch (op2) {
    case 0x00: case 0x01: case 0x02: case 0x03: case 0x04:
    case 0x05: case 0x06: case 0x07: case 0x08: case 0x09:
        if (!trap_has_handler(op2))
            DONE(8);
        Z80_SYNC_OUT();
        trap_handle(op2);
        Z80_SYNC_IN();
        if (Z80_UNLIKELY(z80_stop_request)) {
            z80_stop_request = 0;
            z80_break_hit = 1;
            goto leave;
        }
        goto epilogue;   // no T-states added, so no event pass
    case 0x40: case 0x48: case 0x50: case 0x58:                      // IN r,(C)
    case 0x60: case 0x68: case 0x70: case 0x78: {
        Z80_SYNC_OUT();
        const uint8_t v = Bus::in(C);
        Z80_SYNC_IN();
        F = static_cast<uint8_t>((F & (FLAG_C | FLAG_5 | FLAG_3)) |
                                 (bytes.sz53p[v] & (FLAG_S | FLAG_Z | FLAG_PV)));
        switch ((op2 >> 3) & 7) {
        case 0: B = v; break;
        case 1: C = v; break;
        case 2: D = v; break;
        case 3: E = v; break;
        case 4: H = v; break;
        case 5: L = v; break;
        case 6: break;
        default: A = v; break;
        }
        DONE(11);
    }
    case 0x41: case 0x49: case 0x51: case 0x59:                      // OUT (C),r
    case 0x61: case 0x69: case 0x71: case 0x79: {
        uint8_t v;
        switch ((op2 >> 3) & 7) {
        case 0: v = B; break;
        case 1: v = C; break;
        case 2: v = D; break;
        case 3: v = E; break;
        case 4: v = H; break;
        case 5: v = L; break;
        case 6: v = 0; break;
        default: v = A; break;
        }
        Z80_SYNC_OUT();
        Bus::out(C, v);
        Z80_SYNC_IN();
        DONE(12);
    }
    case 0x42: SET_HL(sbc16(F, HL16, BC16)); DONE(15);
    case 0x52: SET_HL(sbc16(F, HL16, DE16)); DONE(15);
    case 0x62: SET_HL(sbc16(F, HL16, HL16)); DONE(15);
    case 0x72: SET_HL(sbc16(F, HL16, SP)); DONE(15);
    case 0x4A: SET_HL(adc16(F, HL16, BC16)); DONE(15);
    case 0x5A: SET_HL(adc16(F, HL16, DE16)); DONE(15);
    case 0x6A: SET_HL(adc16(F, HL16, HL16)); DONE(15);
    case 0x7A: SET_HL(adc16(F, HL16, SP)); DONE(15);
    case 0x43: { uint16_t a; FETCH16(a); WR(a, C); WR(a + 1, B); DONE(20); }
    case 0x53: { uint16_t a; FETCH16(a); WR(a, E); WR(a + 1, D); DONE(20); }
    case 0x63: { uint16_t a; FETCH16(a); WR(a, L); WR(a + 1, H); DONE(20); }
    case 0x73: { uint16_t a; FETCH16(a); WR(a, SP & 0xFF); WR(a + 1, SP >> 8); DONE(20); }
    case 0x4B: { uint16_t a; FETCH16(a); C = RD(a); B = RD(a + 1); DONE(20); }
    case 0x5B: { uint16_t a; FETCH16(a); E = RD(a); D = RD(a + 1); DONE(20); }
    case 0x6B: { uint16_t a; FETCH16(a); L = RD(a); H = RD(a + 1); DONE(20); }
    case 0x7B: { uint16_t a; FETCH16(a); const uint8_t lo = RD(a); SP = static_cast<uint16_t>(lo | (RD(a + 1) << 8)); DONE(20); }
    case 0x44: case 0x4C: case 0x54: case 0x5C:                      // NEG
    case 0x64: case 0x6C: case 0x74: case 0x7C: {
        const uint8_t old = A;
        A = static_cast<uint8_t>(0 - old);
        F = do_sub_flags(0, old, A);
        DONE(8);
    }
    case 0x45:                                                       // RETN
        POP16(PC);
        z80_state.iff1 = z80_state.iff2;
        limit = INT64_MIN;
        DONE(14);
    case 0x4D: case 0x55: case 0x5D: case 0x65:                      // RETI
    case 0x6D: case 0x75: case 0x7D:
        POP16(PC);
        DONE(14);
    case 0x46: case 0x66: z80_state.im = 0; DONE(8);
    case 0x56: case 0x76: z80_state.im = 1; DONE(8);
    case 0x5E: case 0x7E: z80_state.im = 2; DONE(8);
    case 0x47: z80_state.i = A; DONE(9);
    case 0x4F: z80_state.r = A; rc = A; DONE(9);
    case 0x57:
        A = z80_state.i;
        F = static_cast<uint8_t>((F & FLAG_C) | bytes.sz53[A] | (z80_state.iff2 ? FLAG_PV : 0));
        DONE(9);
    case 0x5F:
        A = static_cast<uint8_t>((z80_state.r & 0x80) | (rc & 0x7F));
        F = static_cast<uint8_t>((F & FLAG_C) | bytes.sz53[A] | (z80_state.iff2 ? FLAG_PV : 0));
        DONE(9);
    case 0x67: {                                                     // RRD
        const uint16_t a = HL16;
        const uint8_t v = RD(a);
        WR(a, (A << 4) | (v >> 4));
        A = static_cast<uint8_t>((A & 0xF0) | (v & 0x0F));
        F = static_cast<uint8_t>((F & FLAG_C) | bytes.sz53p[A]);
        DONE(18);
    }
    case 0x6F: {                                                     // RLD
        const uint16_t a = HL16;
        const uint8_t v = RD(a);
        WR(a, (v << 4) | (A & 0x0F));
        A = static_cast<uint8_t>((A & 0xF0) | (v >> 4));
        F = static_cast<uint8_t>((F & FLAG_C) | bytes.sz53p[A]);
        DONE(18);
    }
    case 0xA0: case 0xA8: case 0xB0: case 0xB8: {                    // LDI LDD LDIR LDDR
        const uint8_t v = RD(HL16);
        WR(DE16, v);
        const uint16_t step = (op2 & 0x08) ? 0xFFFF : 1;
        SET_HL(HL16 + step);
        SET_DE(DE16 + step);
        SET_BC(BC16 - 1);
        const bool more = (B | C) != 0;
        if ((op2 & 0x10) && more) {
            PC -= 2;
            DONE(21);
        }
        const uint8_t n = static_cast<uint8_t>(A + v);
        F = static_cast<uint8_t>((F & (FLAG_S | FLAG_Z | FLAG_C)) | (n & FLAG_3) | ((n & 0x02) << 4) |
                                 (more ? FLAG_PV : 0));
        DONE(16);
    }
    case 0xA1: case 0xA9: case 0xB1: case 0xB9: {                    // CPI CPD CPIR CPDR
        const uint16_t step = (op2 & 0x08) ? 0xFFFF : 1;
        uint8_t v;
        if (op2 & 0x10) {
            // The repeating compare loops here: no interrupt between rounds.
            for (;;) {
                v = RD(HL16);
                SET_HL(HL16 + step);
                SET_BC(BC16 - 1);
                ADD_T(21);
                Z80_PASS();
                if ((B | C) == 0 || v == A)
                    break;
            }
            ADD_T(-5);
        } else {
            v = RD(HL16);
            SET_HL(HL16 + step);
            SET_BC(BC16 - 1);
            ADD_T(16);
        }
        const uint8_t res = static_cast<uint8_t>(A - v);
        const uint8_t f = do_sub_flags(A, v, res);
        const uint8_t n = static_cast<uint8_t>(res - ((f & FLAG_H) ? 1 : 0));
        F = static_cast<uint8_t>((F & FLAG_C) | (f & (FLAG_S | FLAG_Z | FLAG_H | FLAG_N)) |
                                 ((B | C) ? FLAG_PV : 0) | (n & FLAG_3) | ((n & 0x02) << 4));
        if (op2 & 0x10)
            goto epilogue;   // its event passes ran round by round
        goto done;
    }
    case 0xA2: case 0xAA: case 0xB2: case 0xBA: {                    // INI IND INIR INDR
        Z80_SYNC_OUT();
        const uint8_t v = Bus::in(C);
        Z80_SYNC_IN();
        WR(HL16, v);
        SET_HL(HL16 + ((op2 & 0x08) ? 0xFFFF : 1));
        --B;
        if ((op2 & 0x10) && B) {
            PC -= 2;
            DONE(21);
        }
        F = static_cast<uint8_t>((F & ~FLAG_Z) | FLAG_N | (B ? 0 : FLAG_Z));
        DONE(16);
    }
    case 0xA3: case 0xAB: case 0xB3: case 0xBB: {                    // OUTI OUTD OTIR OTDR
        const uint8_t v = RD(HL16);
        Z80_SYNC_OUT();
        Bus::out(C, v);
        Z80_SYNC_IN();
        SET_HL(HL16 + ((op2 & 0x08) ? 0xFFFF : 1));
        --B;
        if ((op2 & 0x10) && B) {
            PC -= 2;
            DONE(21);
        }
        F = static_cast<uint8_t>((F & ~FLAG_Z) | FLAG_N | (B ? 0 : FLAG_Z));
        DONE(16);
    }
    default:
        DONE(8);   // undefined: a no-op that still moves time on
    }
}

done:
    if (Z80_LIKELY(tc < limit))
        goto next;
    Z80_PASS();
epilogue:
    if (z80_state.nmi_request && !z80_state.nmi_in_service) {
        if (op == 0x76)
            ++PC;
        ++rc;
        PUSH16(PC);
        PC = 0x0066;
        z80_state.iff1 = 0;
        ADD_T(11);
        Z80_PASS();
        z80_state.nmi_in_service = 1;
    } else if (z80_state.int_request && z80_state.iff1 && op != 0xFB) {
        if (op == 0x76)
            ++PC;
        ++rc;
        --SP;
        z80_state.iff1 = z80_state.iff2 = 0;
        // A bus whose interrupt source is a latch clears it on the acknowledge cycle.
        if constexpr (requires { Bus::acknowledge_interrupt(); })
            Bus::acknowledge_interrupt();
        ADD_T(7);
        Z80_PASS();
        WR(SP, PC >> 8);
        --SP;
        ADD_T(3);
        Z80_PASS();
        WR(SP, PC & 0xFF);
        if (z80_state.im == 2) {
            const uint16_t vec = static_cast<uint16_t>((z80_state.i << 8) | 0xFF);
            const uint8_t lo = RD(vec);
            PC = static_cast<uint16_t>(lo | (RD(vec + 1) << 8));
            ADD_T(9);
        } else {
            PC = 0x0038;
            ADD_T(3);
        }
        Z80_PASS();
    }
    if (tc - t_entry >= cycles)
        goto leave;
recompute:
    limit = next_due < end ? next_due : end;
    if ((z80_state.nmi_request && !z80_state.nmi_in_service) ||
        (z80_state.int_request && z80_state.iff1))
        limit = INT64_MIN;
    goto next;

leave:
    Z80_SYNC_OUT();
    return cycles - static_cast<int>(static_cast<uint32_t>(tc) - start32);

#undef Z80_SYNC_OUT
#undef Z80_SYNC_IN
#undef Z80_PASS
#undef RD
#undef WR
#undef FETCH
#undef FETCH16
#undef BC16
#undef DE16
#undef HL16
#undef SET_BC
#undef SET_DE
#undef SET_HL
#undef PUSH16
#undef POP16
#undef ADD_T
#undef DONE
}

// Runs whole instructions until at least `cycles` T-states have elapsed.
template <class Bus>
int z80_execute(int cycles)
{
    z80_break_hit = 0;
    if (z80_state.bp_enabled)
        return z80_execute_loop<Bus, true>(cycles);
    return z80_execute_loop<Bus, false>(cycles);
}
