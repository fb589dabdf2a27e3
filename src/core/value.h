// value.h: the value word, the object header, the type tables, the shared
// nulls and empties and the thread-local block.
//
// Value word (64 bits):
//
//   63      56 55                                  0
//  +----------+-------------------------------------+
//  |    0     |  address of a heap object's data    |   heap object
//  +----------+-------------------------------------+
//  |  type t  |  payload                            |   immediate of type t
//  +----------+-------------------------------------+
//
//  0 is "no value": every failing operation returns it after writing the
//  thread's error text.  Immediate payloads: int (20), char (23, the byte
//  sign-extended), symbol (24, the id; parse trees keep a source column in
//  bits 32..39) and the 32-bit temporal atoms (33,34,36,37,38) hold a signed
//  32-bit value in bits 0..31; primitives (29,30) and adverbs (31) hold
//  their slot; a native function (32) holds its arity in bits 48..55 and a
//  48-bit address.  Long, float, timestamp and timespan atoms are heap
//  objects of one 8-byte item.  `::` is 0x1d00000000000000.
//
// Heap object: a power-of-two block whose data starts 64 bytes in (or a
// multiple of 64 further, when coloured); the 32-byte header sits just
// before the data:
//
//   data-32  data-31  data-30  data-24   data-16 -15 -14   -13    -12   data-8 data-4
//  +-------+--------+-------+--------+-------+----+-----+-------+------+------+------+
//  | class | colour | owner |  link  | attr  |col |adv  |valence| type |  rc  |count |
//  |  u8   |  u8    |  u48  |  u64   |  u8   | u8 | u8  |  u8   |  i8  | u32  | u32  |
//  +-------+--------+-------+--------+-------+----+-----+-------+------+------+------+
//
// owner: the parallel-each job thread that made the object (tl.own at
// allocation), 0 for none.  In shared mode a thread changes the counts of
// the objects it owns without atomics: nothing else can reach them until
// the job ends or they are published (pub), which clears the tag.
//
// The data area is a whole multiple of 64 bytes and at least 64, so kernels
// may touch whole 32-byte blocks past the count, and an empty object always
// has room for one 8-byte item (the prototype of an empty list).
#pragma once
#include <cstdint>
#include <cstring>
#include "core/platform.h"

namespace zk {

using V = uint64_t;  // the value word
using I = int32_t;
using J = int64_t;
using U = uint32_t;
using UJ = uint64_t;
using F = double;
using G = uint8_t;

struct Hdr {
  G cls;       // size class k: block of 64<<k bytes; 0 = inside a file-mapped region
  G colour;    // 64-byte steps the data was moved up inside its block
  G own[6];    // owner tag (see above); read and written with the first word
  UJ link;     // next free block of this class while on a free list
  G attr;      // 0 none, 1 sorted, 2 unique, 3 parted, 4 grouped
  G column;    // source column of a name in a parse tree
  G adverb;    // adverb code of a derived verb
  G valence;   // argument count of a function value
  int8_t type; // 1..39
  G pad1[3];
  U rc;        // reference count, 1 at birth
  U count;     // item count (see _N for logical counts)
};
static_assert(sizeof(Hdr) == 32, "object header is 32 bytes");

// ---- type codes: one list, from which the tables below are generated ----
// X(code, letter, log2 item bits, vector type)
#define ZK_TYPES(X)                                                          \
  X(0, '0', 0, 0) X(1, 'A', 6, 1) X(2, 'I', 6, 7) X(3, 'I', 0, 3)             \
  X(4, 'I', 3, 4) X(5, 'I', 4, 5) X(6, 'I', 5, 6) X(7, 'I', 6, 7)             \
  X(8, 'F', 6, 8) X(9, 'C', 3, 9) X(10, 'S', 5, 10) X(11, 'D', 5, 11)         \
  X(12, 'T', 5, 12) X(13, 'N', 6, 13) X(14, 'H', 5, 14) X(15, 'J', 5, 15)     \
  X(16, 'Y', 5, 16) X(17, 'E', 6, 17) X(18, 'M', 6, 18) X(19, 'm', 6, 18)     \
  X(20, 'i', 6, 6) X(21, 'i', 6, 7) X(22, 'f', 6, 8) X(23, 'c', 6, 9)         \
  X(24, 's', 6, 10) X(25, 'o', 6, 1) X(26, 'p', 6, 1) X(27, 'q', 6, 1)        \
  X(28, 'r', 6, 1) X(29, 'u', 6, 1) X(30, 'v', 6, 1) X(31, 'w', 6, 1)         \
  X(32, 'x', 6, 1) X(33, 'd', 5, 11) X(34, 't', 5, 12) X(35, 'n', 6, 13)      \
  X(36, 'h', 5, 14) X(37, 'j', 5, 15) X(38, 'y', 5, 16) X(39, 'e', 6, 17)

enum : int {
  tLIST = 1, tRANGE = 2, tBOOL = 3, tBYTE = 4, tSHORT = 5, tINT = 6, tLONG = 7,
  tFLT = 8, tCHR = 9, tSYM = 10, tDATE = 11, tTIME = 12, tTSTAMP = 13,
  tMINUTE = 14, tSECOND = 15, tMONTH = 16, tTSPAN = 17, tTABLE = 18, tDICT = 19,
  tINTA = 20, tLONGA = 21, tFLTA = 22, tCHRA = 23, tSYMA = 24, tLAMBDA = 25,
  tPROJ = 26, tCOMP = 27, tDERIV = 28, tMONAD = 29, tDYAD = 30, tADV = 31,
  tNATIVE = 32, tDATEA = 33, tTIMEA = 34, tTSTAMPA = 35, tMINUTEA = 36,
  tSECONDA = 37, tMONTHA = 38, tTSPANA = 39,
  NT = 40  // a temporal atom's code is its vector's plus 22
};

#define ZK_X_LETTER(c, l, w, v) l,
#define ZK_X_TW(c, l, w, v) w,
#define ZK_X_TT(c, l, w, v) v,
inline constexpr char TS[NT + 1] = {ZK_TYPES(ZK_X_LETTER) 0};
inline constexpr G Tw[NT] = {ZK_TYPES(ZK_X_TW)};
inline constexpr G TT[NT] = {ZK_TYPES(ZK_X_TT)};
#undef ZK_X_LETTER
#undef ZK_X_TW
#undef ZK_X_TT
static_assert(TS[39] == 'e' && TT[19] == 18 && TT[2] == 7 && Tw[3] == 0);

// Types whose items are value words owned by the object.
inline constexpr U CONTAINERS = 0x1E0C0002u;
static_assert(CONTAINERS == ((1u << 1) | (1u << 18) | (1u << 19) | (1u << 25) | (1u << 26) |
                             (1u << 27) | (1u << 28)));

inline constexpr int minint_t[8] = {7, 7, 7, 7, 6, 6, 5, 4};

inline constexpr V GNULL = 0x1d00000000000000ull;  // `::`
inline constexpr J NJ = INT64_MIN;                  // 0N
inline constexpr J WJ = INT64_MAX;                  // 0W
inline constexpr I NI = INT32_MIN;                  // 32-bit temporal null
inline constexpr UJ NF_BITS = 0x7ff8000000000000ull;
// Nesting depth past which code that walks nested lists on the C stack
// fails with 'stack rather than run the stack out.
inline constexpr int NDEPTH = 2048;

// ---- value word access ----
ZK_INLINE int tag(V x) { return (int)(x >> 56); }
ZK_INLINE bool heap(V x) { return (x >> 56) == 0; }
ZK_INLINE Hdr *hd(V x) { return (Hdr *)(uintptr_t)(x - 32); }
ZK_INLINE int tp(V x) { return heap(x) ? hd(x)->type : tag(x); }
ZK_INLINE U nx(V x) { return hd(x)->count; }
template <class T = G> ZK_INLINE T *P(V x) { return (T *)(uintptr_t)x; }
ZK_INLINE V *PA(V x) { return (V *)(uintptr_t)x; }
ZK_INLINE J *PL(V x) { return (J *)(uintptr_t)x; }
ZK_INLINE F *PF(V x) { return (F *)(uintptr_t)x; }
ZK_INLINE I *PI(V x) { return (I *)(uintptr_t)x; }
ZK_INLINE char *PC(V x) { return (char *)(uintptr_t)x; }
ZK_INLINE bool iscont(int t) { return ((UJ)CONTAINERS >> t) & 1; }  // t may be up to 39
ZK_INLINE bool isatom(int t) { return t >= 20; }

// Immediates.
ZK_INLINE V imm(int t, U payload) { return ((V)t << 56) | payload; }
ZK_INLINE I ip(V x) { return (I)(U)x; }  // 32-bit payload, sign-extended by the cast
ZK_INLINE V ai(I v) { return imm(tINTA, (U)v); }
ZK_INLINE V ac(char c) { return imm(tCHRA, (U)(I)(signed char)c); }
ZK_INLINE V as(I id) { return imm(tSYMA, (U)id); }

// Bytes of data for n items of type t.
ZK_INLINE UJ dbytes(UJ n, int t) { return ((n << Tw[t]) + 7) >> 3; }

// Narrowest integer vector type (4..7) whose signed range holds v.
ZK_INLINE int tZ(J v) {
  UJ u = (UJ)(v ^ (v >> 63));
  return minint_t[(__builtin_clzll(u | 1) - 1) >> 3];
}

// ---- process-wide tables, filled at boot and read-only afterwards ----
extern V ce[NT];  // shared empty of each type
extern V cn[NT];  // null of each type
extern V cns;     // values pinned for the life of the process
extern bool kinit_done;

// ---- thread-local block ----
// Random-number state: four xoshiro256+ lanes stepped together.  s holds
// s0 of lanes 0..3, then s1, s2 and s3 of lanes 0..3; o the outputs of the
// last step by lane; ix the index of the next output to hand out.  Every
// new thread starts from the same default state; the workers of parallel
// each mix their index into it when they start.
struct Rst {
  UJ s[16] = {0xd5a986ae75c9a33bull, 0x9c57a73dcd5e41b7ull, 0x3fe497b4dd1be68dull,
              0x3f57adc392affdefull, 0x1016d8e3483a8f0full, 0xcb0c33c0e78feedeull,
              0x7b5dda788f9f577dull, 0xf1e01f806161118aull, 0x81f9e6260eb8e5dfull,
              0x5943e008d9222efaull, 0x8f514f6e6fb18ba4ull, 0x6dacfe2135f9599eull,
              0xfa9b718d8d0769bfull, 0x4d46d3d50833e8c9ull, 0x696678daaa7b4cc6ull,
              0x3cb5c708d53cc982ull};
  UJ o[4] = {};
  I ix = 0;
};
static_assert(sizeof(Rst) == 168);

// Zero at thread start, but for the random state.  Owners of the fields: the allocator (bkt, acn),
// the arena (a_*), errors (err_*, zktd), diagnostics (zkdiag*), symbols
// (sym_ring*), the C interface (capi_err), the arithmetic dispatch (f),
// parallel each (rc_sync, own, pix), find (fbt).
struct Tl {
  G rc_sync;          // shared mode: atomic counts, locked process tables
  G groot;            // names are not qualified by the current namespace
  G pix;              // a parallel-each worker's byte in owner tags (index + 2), else 0
  I f;                // operator code of the running arithmetic kernel
  UJ own;             // owner tag of this thread's parallel-each job, 0 outside one
  char *a_base;       // scratch arena base block
  void *a_over;       // newest overflow chunk
  UJ a_cap, a_ovf, a_off, a_peak;
  I zkdiagshown, nsq, zkdiagq;
  U sym_ring_i;
  char sym_ring[8][8];
  I err_blocks;
  char *err_end;
  I zktd;
  I cdp;              // nested `run` calls of the VM on this thread
  V *vrg, *vrl;       // VM frame region: first free word, end (0 outside any run)
  V bkt[24];          // free-list heads by size class (data addresses)
  U acn;              // colour counter
  Rst pst;            // random-number state (default state at thread start)
  J fbt[256];         // find's byte table: first position of each byte value, or 0N
  char capi_err[4096];
  char err_text[4096];
};
extern constinit thread_local Tl tl;

ZK_INLINE bool shared_mode() { return tl.rc_sync & 1; }

// The owner tag of the object h heads: the high 48 bits of its first word.
ZK_INLINE UJ owner(const Hdr *h) {
  UJ w;
  memcpy(&w, h, 8);
  return w >> 16;
}
// Sets the owner tag of h, keeping its class and colour.
ZK_INLINE void setown(Hdr *h, UJ own) {
  UJ w;
  memcpy(&w, h, 8);
  w = (w & 0xFFFF) | own << 16;
  memcpy(h, &w, 8);
}
// Whether the thread whose tag is own made h in its current job, so may
// change its count without atomics.  Tag 0 owns nothing: a thread outside
// a job never claims an object.
ZK_INLINE bool mine(const Hdr *h, UJ own) { return own && owner(h) == own; }

// Integer of an immediate or a heap atom; gl releases x, gl_ borrows it.
J gl_(V x);
J gl(V x);

}  // namespace zk
