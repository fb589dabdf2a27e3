// vm.cpp: the stack machine `run`, the truth test `tru`, the stack-effect
// tables the compiler sizes frames with, and the disassembler `dis`.
//
// A run's frame lives on the native stack: the locals first, then the
// operand stack growing down from the frame's end; sp points at the top
// value.  Live words are exactly locals [0, nl) and the stack [sp, end),
// so leaving (END or failure) releases those and nothing else.  A failing
// instruction leaves no value of its own in the frame: what it consumed is
// popped before the failure path runs.  Lambdas called from bytecode run
// in the caller's exec, in frames of a region the outermost run provides.
// Int and long atoms under + - * & | < > = are computed in place, fused
// with the instructions around them, giving exactly what the verbs give;
// everything else goes through the verb tables.  Names: fr frame, sp stack
// top, pc the first byte of the current instruction, sl the running
// lambda's slots (constants from sl + 4), T the thread-local block, z..
// (zi zv zok zop zbox zset zmod) integer atoms computed in place, rt and
// rl retain and release.
#include "eval/vm.h"
#include <array>
#include <cstdarg>
#include <cstdio>
#include "core/err.h"
#include "core/sym.h"
#include "eval/tables.h"
#include "list/amend/ixq.h"
#include "list/list.h"
#include "num/num.h"

namespace zk {

// ---- stack-effect tables ----
namespace {
struct Fx {
  int8_t d[131], k[131], i[131];
};
constexpr Fx mkfx() {
  Fx f{};
  auto set = [&](int a, int b, int d, int k, int i) {
    for (int o = a; o <= b; o++) f.d[o] = (int8_t)d, f.k[o] = (int8_t)k, f.i[o] = (int8_t)i;
  };
  set(0, 30, 0, 0, 0);       // END, MONAD
  set(31, 31, 0, 0, 3);      // FUSED
  set(32, 79, -1, 0, 0);     // DYAD, SETLOC
  set(80, 111, 1, 0, 0);     // GETLOC, DELLOC
  set(112, 113, 1, -1, 1);   // APPLY, PROJECT
  set(114, 119, -1, 0, 3);   // MODASN .. IDXGETG
  set(120, 120, 1, 0, 2);    // GETGLB
  set(121, 121, -1, 0, 2);   // SETGLB
  set(122, 122, 1, -1, 1);   // LIST
  set(123, 123, 0, 1, 1);    // UNLIST
  set(124, 124, -1, 0, 1);   // BRANCH
  set(125, 125, 0, 0, 1);    // JUMP
  set(126, 126, 1, 0, 0);    // RECUR
  set(127, 127, -1, 0, 0);   // POP
  set(128, 129, 0, 0, 2);    // CONSTDYAD, LOOP
  set(130, 130, 1, 0, 0);    // CONST
  return f;
}
constexpr Fx FX = mkfx();
}  // namespace
const int8_t ds[131] = {
#define R(n) FX.d[n],
#define R10(i) R(i) R(i + 1) R(i + 2) R(i + 3) R(i + 4) R(i + 5) R(i + 6) R(i + 7) R(i + 8) R(i + 9)
    R10(0) R10(10) R10(20) R10(30) R10(40) R10(50) R10(60) R10(70) R10(80) R10(90) R10(100)
        R10(110) R10(120) R(130)};
#undef R
#define R(n) FX.k[n],
const int8_t ks[131] = {R10(0) R10(10) R10(20) R10(30) R10(40) R10(50) R10(60) R10(70) R10(80)
                            R10(90) R10(100) R10(110) R10(120) R(130)};
#undef R
#define R(n) FX.i[n],
const int8_t di[131] = {R10(0) R10(10) R10(20) R10(30) R10(40) R10(50) R10(60) R10(70) R10(80)
                            R10(90) R10(100) R10(110) R10(120) R(130)};
#undef R
#undef R10

// ---- truth ----
I tru(V x) {
  if (!heap(x)) {
    int t = tag(x);
    if (t >= tLAMBDA && t <= tNATIVE) return x != GNULL;
    return (U)x != 0;
  }
  int t = hd(x)->type;
  I r;
  if (t >= tLAMBDA && t <= tNATIVE) r = 1;
  else if (t >= tINTA) r = PL(x)[0] != 0;  // boxed atoms: the whole word, so -0.0 and NaN are true
  else if (t == tRANGE) r = PL(x)[0] != PL(x)[1];
  else if (t == tDICT) r = _n(PA(x)[1]) != 0;
  else if (t == tTABLE) r = _n(x) != 0;
  else r = nx(x) != 0;
  mr(x);
  return r;
}

namespace {

// _r and mr (core.h) with the thread block T at hand.  Those two read the
// thread-local block themselves, and in position-independent code every
// such read is, as far as the compiler knows, a call to the TLS resolver:
// the interpreter would spill its registers around each one.  Atomic
// counts (shared mode) and the last reference go through _r and mr out of
// line, which also keeps the interpreter's frame small in sanitizer
// builds (each inlined atomic is a guarded stack temporary there).  In
// shared mode the objects this thread owns (mine) take the plain path.
__attribute__((noinline)) V rt1(V x) { return _r(x); }
__attribute__((noinline)) void rl1(V x) { mr(x); }
ZK_INLINE bool plain(const Hdr *h, Tl *T) { return ZK_LIKELY(!(T->rc_sync & 1)) || mine(h, T->own); }
ZK_INLINE V rt(V x, Tl *T) {
  if (heap(x)) {
    if (ZK_UNLIKELY(!plain(hd(x), T))) return rt1(x);
    hd(x)->rc++;
  }
  return x;
}
ZK_INLINE void rl(V x, Tl *T) {
  if (!heap(x)) return;
  Hdr *h = hd(x);
  if (plain(h, T) && h->rc >= 2) h->rc--;
  else rl1(x);
}
ZK_INLINE void rlz(V x, Tl *T) {
  if (x) rl(x, T);
}
// A heap value: not 0 and not an immediate, in one compare.
ZK_INLINE bool hv(V x) { return x - 1 < ((V)1 << 56) - 1; }
// rlz over the words [p, q).
ZK_INLINE void rlzs(V *p, V *q, Tl *T) {
  if (p < q) do
      if (hv(*p)) rl(*p, T);
    while (++p < q);
}

// ---- integer atoms computed in place ----
// Int and long atoms under + - * & | < > = are computed here, giving
// exactly what the verbs give: an int atom when the value fits 32 bits,
// else a long atom; + - * wrap, and give the long null when either side
// is it; comparisons give the int atom 0 or 1.  Every other pair or dyad
// goes to the verb tables.

// (Values travel by return, never through a pointer: a local whose address
// is taken gets its own guarded stack slot in sanitizer builds, and exec,
// which inlines all of these many times over, would need kilobytes of
// native stack per call.)

// An int or long atom.  x is not 0.
ZK_INLINE bool zi(V x) { return tag(x) == tINTA || (heap(x) && hd(x)->type == tLONGA); }
// The value of an int or long atom.
ZK_INLINE J zv(V x) { return heap(x) ? PL(x)[0] : (J)ip(x); }
// A dyad slot computed here: + - * & | < > =.
ZK_INLINE bool zok(U op) { return op - 1 < 3u || op - 6 < 5u; }

// a op b for a dyad slot that zok accepts.  Plain branches, most frequent
// first: with op a constant they fold away.
ZK_INLINE J zop(U op, J a, J b) {
  if (op == 1 || op == 2 || op == 3)
    return a == NJ || b == NJ ? NJ
           : op == 1          ? (J)((UJ)a + (UJ)b)
           : op == 2          ? (J)((UJ)a - (UJ)b)
                              : (J)((UJ)a * (UJ)b);
  if (op == 8) return a < b;
  if (op == 9) return a > b;
  if (op == 10) return a == b;
  if (op == 6) return a < b ? a : b;
  return a > b ? a : b;
}

// *r = a op b for + - * (op 1 2 3) on two ints, or true when that
// overflows 32 bits (zop then gives the long).
ZK_INLINE bool zov(U op, I a, I b, I *r) {
  return op == 1 ? __builtin_add_overflow(a, b, r)
         : op == 2 ? __builtin_sub_overflow(a, b, r)
                   : __builtin_mul_overflow(a, b, r);
}

// The atom of an integer result.
ZK_INLINE V zbox(J v) {
  if (ZK_LIKELY(v == (J)(I)v)) return ai((I)v);
  V r = an(1, tLONGA);
  PL(r)[0] = v;
  return r;
}

// Local *l = the atom of v.  A long atom that the local alone holds is
// rewritten in place: it would be released at once, and nothing else can
// see it (the count is 1, so no other thread holds it either).
ZK_INLINE void zset(V *l, J v, Tl *T) {
  V o = *l;
  if (v != (J)(I)v && o && heap(o) && hd(o)->type == tLONGA && hd(o)->rc == 1) {
    PL(o)[0] = v;
    return;
  }
  *l = zbox(v);
  rlz(o, T);
}

// x op: y on a local holding an integer atom, y an integer atom (borrowed):
// done in place; false, with nothing changed, for anything else.
ZK_INLINE bool zmod(V *l, V y, U op, Tl *T) {
  V c = *l;
  if (!c || !zok(op) || !zi(c) || !zi(y)) return false;
  zset(l, zop(op, zv(c), zv(y)), T);
  return true;
}

// x op: y where x (the value c) is a numeric vector that only the variable
// holds and y a numeric atom.  The dyads borrow their left operand and
// consume their right one, updating it in place when it is unshared; + and
// * give the same result with the operands swapped, and x-q on floats is
// x+(-q) by definition, so c is handed over as the right operand and
// updated in place instead of copied.  These operand types cannot fail, so
// the variable never loses its value.  0, with nothing consumed, for
// anything else.
__attribute__((noinline)) V dmod(V c, V y, U op) {
  if (op - 1u > 2u || !heap(c) || hd(c)->rc != 1) return 0;
  int t = hd(c)->type, u = tp(y);
  if (t < tBYTE || t > tFLT || (u != tINTA && u != tLONGA && u != tFLTA)) return 0;
  if (op == 2) {
    if (u != tFLTA) return 0;
    V n = af(-PF(y)[0]);
    mr(y);
    y = n;
    op = 1;
  }
  V r = v2[op](y, c);
  mr(y);
  return r;
}

// The start of a loop at t that tests local i against one integer and
// branches out:
//   GETLOC i; CONSTDYAD c <; BRANCH             c<i: a do loop's test
//   GETLOC j or CONST c; GETLOC i; DYAD op; BRANCH     i op y: while[i<n;..]
// with op one of < > = and c an int constant.  The kind: 0 neither, 1 the
// first (c is the constant's value), 8 9 10 the second with op (y the
// word that holds the other side).
struct Lh {
  U k;
  J c;
  const V *y;
};
__attribute__((noinline, cold)) Lh lhd(const G *t, U i, const V *fr, const V *sl) {
  if (t[0] == oGETLOC + i && t[1] == oCONSTDYAD && (t[3] & 31) == 8 && t[4] == oBRANCH) {
    V c = sl[4 + t[2]];
    if (tag(c) == tINTA) return {1, ip(c), nullptr};
  } else if (t[1] == oGETLOC + i && (G)(t[2] - oDYAD - 8) < 3 && t[3] == oBRANCH) {
    G o = t[0];
    U op = t[2] - oDYAD;
    if ((G)(o - oGETLOC) < 16) return {op, 0, fr + (o - oGETLOC)};
    if (o >= oCONST && o != 255 && tag(sl[4 + o - oCONST]) == tINTA)
      return {op, 0, sl + 4 + (o - oCONST)};
  }
  return {0, 0, nullptr};
}

// Opcodes that take an integer result other than by a push: END, BRANCH
// and SETLOC (see SINK in exec).
constexpr auto mksnk() {
  std::array<G, 256> t{};
  t[oEND] = t[oBRANCH] = 1;
  for (int i = 0; i < 16; i++) t[oSETLOC + i] = 1;
  return t;
}
constexpr auto snk = mksnk();

// Is the instruction at q, after any chain of JUMPs, an END?
ZK_INLINE bool tailpos(const G *q) {
  while (*q == oJUMP) q += 2 + q[1];
  return *q == oEND;
}

// Failure of a read of a local that holds nothing: the error is named
// after the local, as a read of an undefined global is.
V unset(V names, U i) {
  const char *s = su(PI(names)[i]);
  return err0(*s ? s : "value");
}

// Registers for exec's busiest state: the running lambda's slots and the
// operands read ahead.  Left to itself the compiler keeps these three in
// memory: every label whose address is taken counts as reachable from
// every dispatch, so the operands look live across every call in exec.
// Pinned to callee-saved registers they stay put (x86-64 with GCC; the
// pinning changes speed only, never meaning).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define ZK_PIN register
#define ZK_IN(r) asm(r)
#else
#define ZK_PIN
#define ZK_IN(r)
#endif

// Frames: a run's frame is carved from the thread's frame region when it
// has room, else it lives in exec's own array (up to FR0 words) or is
// sized exactly on the native stack.  The region is an array on the native
// stack of the outermost run (RGW words); tl.vrg is its first free word
// and tl.vrl its end, both 0 when no run is active.  A lambda that running
// bytecode calls gets its frame there too and runs in the same exec: no
// native call, no prologue.
//
// Every frame fr has a record of RW words just below it: the handler of
// the caller's next instruction (so that a return jumps there without
// decoding it), the caller's pc past its APPLY, sp, fr (0 for the first
// frame of an exec, which returns to its own caller) and running lambda,
// then the frame's own end and the lambda a call or tail call left
// running there (held by the frame; else 0 or kNR, below).  Kept in
// memory, these cost nothing while instructions run, and a call or return
// moves only what the caller needs back.
inline constexpr U FR0 = 40, RGW = 4096, RW = 7;
enum { kRA = -7, kPC = -6, kSP = -5, kFR = -4, kSL = -3, kEND = -2, kTF = -1 };
// kTF of a frame that holds no lambda: 0 only for a lambda's call of
// itself with one argument and no other local, whose return takes the
// short path in exec; kNR (an immediate, never released) for the others.
inline constexpr V kNR = GNULL;

// Two int atoms.  Two compare-and-branch pairs: each fuses into one
// operation, and nothing else has to be kept in a register.
ZK_INLINE bool ints(V x, V y) { return tag(x) == tINTA && tag(y) == tINTA; }

// A u16 operand (little-endian in the bytecode).
ZK_INLINE U u16(const G *p) {
  uint16_t d;
  memcpy(&d, p, 2);
  if constexpr (__BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__) d = __builtin_bswap16(d);
  return d;
}

// A loop whose body is one store x[k;i]:y at a constant key, then a step
// j+:c of a local by an int constant, run to its end (or to the first
// iteration that needs more) in one native loop.  At p, its store:
//   A B K LIST 2 IDXASN(G) s 0     y A, i B (GETLOC or CONST), k K (CONST)
// then CONST c; MODASN j +, then a do loop's count and jump back
//   GETLOC n; CONSTDYAD #d +; SETLOC n; LOOP  to  GETLOC n; CONSTDYAD #z <; BRANCH
// or a while loop's jump back to its test of j (lhd); the test is followed
// by the store.  Entered after the store at p has been made, with the
// global guard list empty and outside shared mode (ixcs made it): nothing
// but this body runs until the loop ends, so the vector x[k] stays the
// one resolved here, and each store still goes by ixqs (the vector's own
// count, type and bounds).  Every instruction that this loop cannot take
// as it is (a step or count off the int atoms, a store ixqs refuses) is
// where it hands back: the pc to go on at, each instruction before it
// done.
__attribute__((noinline)) const G *fdo(const G *p, V *fr, const V *sl) {
  using namespace ixqd;
  const G *s = p + 9, *q = s + 5;  // the step, the count or the jump back
  auto opd = [&](G o) -> const V * {
    if ((G)(o - oGETLOC) < 16) return fr + (o - oGETLOC);
    if (o >= oCONST && o != 255) return sl + 4 + (o - oCONST);
    return nullptr;
  };
  const V *py = opd(p[0]), *pq = opd(p[1]);
  V c = sl[4 + s[0] - oCONST];
  U j = u16(s + 2);
  if (!py || !pq || tag(c) != tINTA || j >= 16) return s;  // lhd reads j < 16
  U k = u16(p + 6);
  V *slot = p[5] == oIDXASNG ? &gv[k] : &fr[k];
  if (p[5] == oIDXASN && k == j) return s;
  V x = *slot ? ixcd(*slot, sl[4 + p[2] - oCONST]) : 0;
  if (!x) return s;
  I ci = ip(c);
  // The step j+:c (r its new value) and the store, as both loops run them.
  auto step = [&](I &r) {
    V a = fr[j];
    if (tag(a) != tINTA || __builtin_add_overflow(ip(a), ci, &r)) return false;
    fr[j] = ai(r);
    return true;
  };
  auto put = [&] {
    V y = *py, i = *pq;
    return y && i && iat(i) && !ixqs(x, ival(i), y, false);
  };
  if (q[0] == oLOOP) {  // while: the test of j, then the store
    const G *t = q + 3 - u16(q + 1);
    Lh h = lhd(t, j, fr, sl);
    if (h.k < 8 || t + 5 != p) return s;
    for (;;) {
      I r;
      if (!step(r)) return s;
      V b = *h.y;
      if (tag(b) != tINTA) return t;
      I e = ip(b);
      if (!(h.k == 8 ? r < e : h.k == 9 ? r > e : r == e)) return t + 5 + t[4];
      if (!put()) return p;
    }
  }
  // do: the count n stepped by d, tested against z
  if ((G)(q[0] - oGETLOC) >= 16 || q[1] != oCONSTDYAD || (q[3] & 31) != 1 ||
      q[4] != oSETLOC + (q[0] - oGETLOC) || q[5] != oLOOP)
    return s;
  U n = q[0] - oGETLOC;
  V d = sl[4 + q[2]];
  const G *t = q + 8 - u16(q + 6);
  Lh h = lhd(t, n, fr, sl);
  if (tag(d) != tINTA || h.k != 1 || t + 6 != p || n == j) return s;
  I di = ip(d), z = (I)h.c;
  for (;;) {
    I r, m;
    if (!step(r)) return s;
    V b = fr[n];
    if (tag(b) != tINTA || __builtin_add_overflow(ip(b), di, &m)) return q;
    fr[n] = ai(m);
    if (!(z < m)) return t + 6 + t[5];
    if (!put()) return p;
  }
}

// The interpreter proper: runs f on the n arguments a (consumed), in its
// own fixed array or, for a larger frame, in big.  The call depth was
// raised by the caller; every exit lowers it.
//
// Dispatch: each handler ends in its own indirect jump, so the branch
// predictor sees one dispatch site per instruction kind; common-code
// merging would fold them into a few shared, badly predicted ones.  Loops
// here copy a handful of words: vectorising them only adds set-up to every
// call.
//
// Operand fusion: GETLOC, DELLOC (of an int) and CONST read their value v
// and, instead of pushing it, jump on the next opcode through xg.  When
// that is a DYAD of a dyad computed in place (v its left operand, the top
// of the stack its right one), a CONSTDYAD (v its right operand) or a
// MODASN with + (v the addend), and both operands are integer atoms, the
// result is made at once and handed to a following BRANCH or SETLOC
// directly (SINK).  Anything else goes to g_push, which pushes v as the
// plain instruction would; from there each instruction runs on its own, so
// a failure still happens at its own column.
//
// Every block starts a cache line: packed together, the blocks and
// dispatch jumps of a hot loop decode and predict worse, by as much as a
// third of the loop's time, varying from build to build.  The price is
// the padding run through wherever a path falls into a join, so the hot
// paths (integer dyads, the short call and return) are written with none:
// each arm ends in its own dispatch.  Clang has no per-function
// optimisation options and builds exec with the file's own.
#if defined(__clang__)
#define ZK_EXECOPT
#else
#define ZK_EXECOPT optimize("O3", "no-gcse", "no-crossjumping", "no-tree-vectorize", "align-labels=64")
#endif
__attribute__((noinline, hot, ZK_EXECOPT))
V exec(V f, V *a, U n, V *big) {  // big: a frame with room for its record below
  // The thread block, read once: see rt.
  Tl *T = &tl;
  asm("" : "+r"(T));
  // The running lambda's slots; its code, constants (sl + 4) and local
  // count are read from them where needed, which keeps the state that
  // every handler carries small.
  ZK_PIN V *sl ZK_IN("r13") = PA(f);
  const G *code = P(sl[1]);
  U nl = nx(sl[3]);
  V fr0[RW + FR0];
  V *fr = big ? big : fr0 + RW;
  // Only the locals need clearing: a stack word is written before it is
  // read, and the exits release exactly the locals and [sp, end).
  for (U i = 0; i < n; i++) fr[i] = a[i];
  for (U i = n; i < nl; i++) fr[i] = 0;
  // The frame keeps its size across tail calls: [fr, end).
  V *sp = fr + code[0] + nl;
  fr[kFR] = 0, fr[kEND] = (V)sp, fr[kTF] = kNR;
  // pc stays on the first byte of an instruction until it completes, so a
  // failure knows its column from pc alone.
  const G *pc = code + 1;
  // Operands read, not yet pushed: w the second, when there is one.
  ZK_PIN V v ZK_IN("r12") = 0;
  ZK_PIN V w ZK_IN("r15") = 0;
  V rv;    // the value being returned
  J z;     // an integer just stored by SETLOC, for s_loop
  // The loop start s_loop looked at last, and what it found there.  The
  // code and frame it points into stay as they are while the running
  // lambda does not change, so every call, return and tail call forgets it.
  const G *lt = nullptr;
  Lh lh{0, 0, nullptr};

#define L2(l) &&l, &&l
#define L4(l) L2(l), L2(l)
#define L8(l) L4(l), L4(l)
#define L16(l) L8(l), L8(l)
#define L32(l) L16(l), L16(l)
#define L64(l) L32(l), L32(l)
#define L128_(l) L64(l), L64(l)
  static const void *const jt[256] = {
      &&l_end,
      L16(l_monad), L8(l_monad), L4(l_monad), L2(l_monad),                        // 1..30
      &&l_fused,                                                                   // 31
      &&l_dyad, &&l_add, &&l_sub, &&l_mul, L2(l_dyad), &&l_min, &&l_max,           // 32..39
      &&l_lt, &&l_gt, &&l_eq, L16(l_dyad), L4(l_dyad), &&l_dyad,                    // 40..63
      L16(l_setloc), L16(l_getloc), L16(l_delloc),                                 // 64..111
      &&l_apply, &&l_project, &&l_modasn, &&l_modasng, &&l_idx, &&l_idx, &&l_idx, &&l_idx,
      &&l_getglb, &&l_setglb, &&l_list, &&l_unlist, &&l_branch, &&l_jump, &&l_recur, &&l_pop,
      &&l_constdyad, &&l_loop,                                                      // 112..129
      L64(l_const), L32(l_const), L16(l_const), L8(l_const), L4(l_const), &&l_const,  // 130..254
      &&l_bad};
  // The opcode after an operand instruction.
  static const void *const xg[256] = {
      &&g_end, L16(g_push), L8(g_push), L4(g_push), L2(g_push), &&g_push,          // 0..31
      &&g_push, &&g_add, &&g_sub, &&g_mul, L2(g_push), &&g_min, &&g_max,           // 32..39
      &&g_lt, &&g_gt, &&g_eq, L16(g_push), L4(g_push), &&g_push,                    // 40..63
      L16(g_push), L16(g_gl2), L16(g_dl2), L2(g_push),                             // 64..113
      &&g_mod, L8(g_push), L2(g_push), &&g_jmp, &&g_push, &&g_push,                // 114..127
      &&g_cd, &&g_push, L64(g_k2), L32(g_k2), L16(g_k2), L8(g_k2), L4(g_k2),       // 128..253
      &&g_k2, &&g_push};                                                           // 254..255
  // The opcode after two operand instructions.
  static const void *const dt[256] = {
      L32(g_push),                                                                 // 0..31
      &&g_push, &&d_add, &&d_sub, &&d_mul, L2(g_push), &&d_min, &&d_max,           // 32..39
      &&d_lt, &&d_gt, &&d_eq, L16(g_push), L4(g_push), &&g_push,                    // 40..63
      L32(g_push), L16(g_push), L8(g_push), L2(g_push), &&d_list,                  // 64..122
      L4(g_push), L2(g_push), &&g_push,                                            // 123..129
      L64(d_k3), L32(d_k3), L16(d_k3), L8(d_k3), L4(d_k3), &&d_k3, &&g_push};      // 130..255
  // The dyad of a CONSTDYAD after an operand instruction.
  static const void *const ct[32] = {
      &&g_push, &&c_add, &&c_sub, &&c_mul, L2(g_push), &&c_min, &&c_max,
      &&c_lt, &&c_gt, &&c_eq, L16(g_push), L4(g_push), &&g_push};
#undef L2
#undef L4
#undef L8
#undef L16
#undef L32
#undef L64
#undef L128_
  static_assert(sizeof jt / sizeof *jt == 256 && sizeof xg / sizeof *xg == 256);
  static_assert(sizeof dt / sizeof *dt == 256);
  static_assert(sizeof ct / sizeof *ct == 32);

#define NEXT goto *jt[*pc]
#define STEP(n) \
  do {          \
    pc += (n);  \
    NEXT;       \
  } while (0)
#define U16(p) u16(p)
#define END_ ((V *)fr[kEND])
// Back to the caller of an inline frame, past its APPLY.
#define POPF()                                           \
  do {                                                   \
    T->vrg = fr - RW;                                    \
    pc = (const G *)fr[kPC], sp = (V *)fr[kSP];          \
    sl = (V *)fr[kSL], fr = (V *)fr[kFR];                \
    lt = nullptr;                                        \
  } while (0)
// rv to the caller of an inline frame, at the handler of its next
// instruction.
#define BACK()                                          \
  do {                                                  \
    const void *ra_ = (const void *)fr[kRA];            \
    POPF();                                             \
    *--sp = rv;                                         \
    goto *ra_;                                          \
  } while (0)
// Hands the integer r of a dyad computed in place to the instruction at
// pc: a BRANCH tests it, a SETLOC stores it (and a LOOP after it may take
// it along, s_loop), an END returns it, anything else finds it pushed.
// The pieces, each ending in a dispatch so that no path runs into a join:
#define SINK_PUSH(r)                               \
  do {                                             \
    if (ZK_LIKELY(r == (J)(I)r)) {                 \
      *--sp = ai((I)r);                            \
      NEXT;                                        \
    }                                              \
    *--sp = zbox(r);                               \
    NEXT;                                          \
  } while (0)
#define SINK_SET(r)                                \
  do {                                             \
    V *l_ = fr + (*pc - oSETLOC);                  \
    if (ZK_LIKELY(r == (J)(I)r) & !hv(*l_)) {      \
      *l_ = ai((I)r); /* nothing to release */     \
      if (pc[1] == oLOOP) {                        \
        z = r;                                     \
        goto s_loop;                               \
      }                                            \
      STEP(1);                                     \
    }                                              \
    zset(l_, r, T);                                \
    if (pc[1] == oLOOP) {                          \
      z = r;                                       \
      goto s_loop;                                 \
    }                                              \
    STEP(1);                                       \
  } while (0)
#define SINK(r)                                    \
  do {                                             \
    if (*pc == oBRANCH) {                          \
      if (r) STEP(2);                              \
      STEP(2 + pc[1]);                             \
    }                                              \
    if ((G)(*pc - oSETLOC) < 16) SINK_SET(r);      \
    if (*pc == oEND) {                             \
      rv = zbox(r);                                \
      goto s_ret;                                  \
    }                                              \
    SINK_PUSH(r);                                  \
  } while (0)
// SINK for an arithmetic result: a comparison's is most often tested by a
// BRANCH, an arithmetic one most often stored by a SETLOC (in loops) or
// pushed, which one table lookup tells.
#define SINKA(r)                                   \
  do {                                             \
    if ((G)(*pc - oSETLOC) < 16) SINK_SET(r);      \
    if (ZK_LIKELY(!snk[*pc])) SINK_PUSH(r);        \
    SINK(r);                                       \
  } while (0)
// x op y on the integer atoms x and y, then `then` and n bytes on to
// SINK; any other pair goes to fail.  Two ints take their own copy of the
// path, so that it has no join (and no alignment padding) to run through.
#define ZDO(o, x, y, then, n, fail)                \
  do {                                             \
    if (ZK_LIKELY(ints(x, y))) {                   \
      if (o <= 3) { /* + - * in 32 bits, unless it overflows */ \
        I i_;                                      \
        if (ZK_LIKELY(!zov(o, ip(x), ip(y), &i_))) { \
          then;                                    \
          pc += (n);                               \
          SINKA((J)i_);                            \
        }                                          \
      }                                            \
      J r_ = zop(o, ip(x), ip(y));                 \
      then;                                        \
      pc += (n);                                   \
      if (o >= 8) SINK(r_);                        \
      SINKA(r_);                                   \
    }                                              \
    if (!zi(x) || !zi(y)) goto fail;               \
    J r_ = zop(o, zv(x), zv(y));                   \
    then;                                          \
    pc += (n);                                     \
    SINK(r_);                                      \
  } while (0)
// DYAD after an operand: v op top; the top is consumed.
#define GD(lab, o)                                       \
  lab : {                                                \
    V y = sp[0];                                         \
    ZDO(o, v, y, (sp++, rl(y, T)), 2, g_push);           \
  }
// DYAD after two operands: w op v.
#define DD(lab, o) \
  lab : ZDO(o, w, v, (void)0, 3, g_push);
// CONSTDYAD after an operand: constant op v.
#define GC(lab, o)                     \
  lab : {                              \
    V x = sl[4 + pc[2]];               \
    ZDO(o, x, v, (void)0, 4, g_push);  \
  }
// DYAD on the stack; what is not two integer atoms goes to the verb.
#define LD(lab, o)                                          \
  lab : {                                                   \
    V x = sp[0], y = sp[1];                                 \
    ZDO(o, x, y, (sp += 2, rl(x, T), rl(y, T)), 1, l_dyad); \
  }

  NEXT;

l_end:
  if (ZK_LIKELY(sp < END_)) {
    rv = *sp++;
    goto s_ret;
  }
  rv = GNULL;
  goto s_ret;
s_ret:  // return rv
  // The common case first, with no join on its path (each join is padded
  // to its own cache line, see exec): a frame whose kTF is 0 (an inline
  // call of the running lambda, one local: see kNR), with nothing left on
  // the stack and no heap value in its local.  One test of the three (all
  // three words are readable in any frame), so nothing jumps into it.
  if (ZK_LIKELY((sp == END_) & (fr[kTF] == 0) & !hv(fr[0]))) {
    T->cdp--;
    BACK();
  }
  {
    V *e = END_;
    rlzs(fr, fr + nx(sl[3]), T);
    for (V *p = sp; p < e; p++) rl(*p, T);
    T->cdp--;
    if (fr[kTF]) rl(fr[kTF], T);
    if (!fr[kFR]) return rv;
    BACK();
  }
l_monad : {
  V r = v1[*pc](*sp);
  if (ZK_UNLIKELY(!r)) {
    sp++;
    goto fail;
  }
  *sp = r;
  STEP(1);
}
l_fused : {
  V r = fzop(pc + 1, fr, sl + 4);
  if (!r) STEP(4);
  *--sp = r;
  STEP(4 + pc[1]);
}
  LD(l_add, 1)
  LD(l_sub, 2)
  LD(l_mul, 3)
  LD(l_min, 6)
  LD(l_max, 7)
  LD(l_lt, 8)
  LD(l_gt, 9)
  LD(l_eq, 10)
l_dyad : {
  V x = sp[0], y = sp[1];
  sp += 2;
  V r = v2[*pc - oDYAD](x, y);
  rl(x, T);
  if (ZK_UNLIKELY(!r)) goto fail;
  *--sp = r;
  STEP(1);
}
l_setloc : {
  V *l = fr + (*pc - oSETLOC);
  V o = *l;
  *l = *sp++;
  rlz(o, T);
  STEP(1);
}
l_getloc:
  v = fr[*pc - oGETLOC];
  if (ZK_UNLIKELY(!v)) {
    unset(sl[3], *pc - oGETLOC);
    goto fail;
  }
  goto *xg[pc[1]];
l_delloc : {
  V *l = fr + (*pc - oDELLOC);
  v = *l;
  if (ZK_UNLIKELY(!v)) {
    unset(sl[3], *pc - oDELLOC);
    goto fail;
  }
  *l = 0;
  if (tag(v) == tINTA) goto *xg[pc[1]];  // nothing to release: on as GETLOC
  *--sp = v;
  STEP(1);
}
l_const:
  v = sl[4 + *pc - oCONST];
  if ((G)(pc[1] - oGETLOC) < 16) {  // the most common pair, on without a dispatch
    w = fr[pc[1] - oGETLOC];
    if (ZK_UNLIKELY(!w)) goto g_push;
    // A local compared (< > =) with a constant and tested by a BRANCH, as
    // a recursion's base case or a conditional's test is: at once (the
    // three tests by hand: zop would try + - * first on this path).
    if ((G)(pc[2] - oDYAD - 8) < 3 && pc[3] == oBRANCH && ints(w, v)) {
      I a = ip(w), b = ip(v);
      if (pc[2] == oDYAD + 8 ? a < b : pc[2] == oDYAD + 9 ? a > b : a == b) STEP(5);
      STEP(5 + pc[4]);
    }
    goto *dt[pc[2]];
  }
  goto *xg[pc[1]];
g_push:
  *--sp = rt(v, T);
  STEP(1);
g_end:  // the operand is the result
  rv = rt(v, T);
  goto s_ret;
g_jmp : {  // the same after jumps to an END
  const G *q = pc + 1;
  q += 2 + q[1];
  if (ZK_LIKELY(*q == oEND)) {
    rv = rt(v, T);
    goto s_ret;
  }
  if (!tailpos(q)) goto g_push;
  rv = rt(v, T);
  goto s_ret;
}
  GD(g_add, 1)
  GD(g_sub, 2)
  GD(g_mul, 3)
  GD(g_min, 6)
  GD(g_max, 7)
  GD(g_lt, 8)
  GD(g_gt, 9)
  GD(g_eq, 10)
g_gl2:  // a second operand: on when a DYAD computed here follows
  w = fr[pc[1] - oGETLOC];
  if (!w) goto g_push;
  goto *dt[pc[2]];
g_dl2:  // only an int, so that nothing stays to release or restore
  w = fr[pc[1] - oDELLOC];
  if (!w || !ints(w, v) || (G)(pc[2] - oDYAD) >= 32 || dt[pc[2]] == &&g_push) goto g_push;
  fr[pc[1] - oDELLOC] = 0;
  goto *dt[pc[2]];
g_k2:
  w = sl[4 + pc[1] - oCONST];
  goto *dt[pc[2]];
  DD(d_add, 1)
  DD(d_sub, 2)
  DD(d_mul, 3)
  DD(d_min, 6)
  DD(d_max, 7)
  DD(d_lt, 8)
  DD(d_gt, 9)
  DD(d_eq, 10)
// A plain x[i]:y or x[i;j]:y whose index items are operands, and its
// value one too or pushed: the store of one item in place (ixcs) with no
// path list made; anything else runs as it is.  Two operands v and w,
// then LIST (the IDXASN after it at pc + 4): y v and the index w, or y
// pushed and the items w and v.
d_list:
  if ((G)(pc[4] - oIDXASN) < 2 && !(pc[7] & 31)) {
    U s = U16(pc + 5);
    V *c = pc[4] == oIDXASNG ? &gv[s] : &fr[s];
    if (pc[3] == 1) {
      V q[1] = {w};
      if (!ixcs(c, q, 1, v, pc[4] == oIDXASNG, T->rc_sync & 1)) STEP(8);
    } else if (pc[3] == 2) {
      V q[2] = {w, v}, y = sp[0];
      if (!ixcs(c, q, 2, y, pc[4] == oIDXASNG, T->rc_sync & 1)) {
        sp++;
        rl(y, T);
        STEP(8);
      }
    }
  }
  goto g_push;
// Three operands, the last a constant, then LIST 2: y v and the items
// the constant and w.
d_k3:
  if (pc[3] == oLIST && pc[4] == 2 && (G)(pc[5] - oIDXASN) < 2 && !(pc[8] & 31)) {
    V q[2] = {sl[4 + pc[2] - oCONST], w};
    U s = U16(pc + 6);
    if (!ixcs(pc[5] == oIDXASNG ? &gv[s] : &fr[s], q, 2, v, pc[5] == oIDXASNG, T->rc_sync & 1)) {
      // A loop's body most often steps its own index next (i+:1): on to
      // that at once, as CONST would go.
      pc += 9;
      if (*pc >= oCONST && *pc != 255 && pc[1] == oMODASN) {
        // When these two are the whole body of a while or do loop, the
        // rest of the loop runs in fdo.  (Each byte read here follows an
        // instruction other than END, so it is inside the code.)
        if ((pc[4] & 31) == 1 &&
            (pc[5] == oLOOP || ((G)(pc[5] - oGETLOC) < 16 && pc[6] == oCONSTDYAD &&
                                (G)(pc[9] - oSETLOC) < 16 && pc[10] == oLOOP))) {
          pc = fdo(pc - 9, fr, sl);
          NEXT;
        }
        v = sl[4 + *pc - oCONST];
        goto g_mod;
      }
      NEXT;
    }
  }
  goto g_push;
g_cd:
  goto *ct[pc[3] & 31];
  GC(c_add, 1)
  GC(c_sub, 2)
  GC(c_mul, 3)
  GC(c_min, 6)
  GC(c_max, 7)
  GC(c_lt, 8)
  GC(c_gt, 9)
  GC(c_eq, 10)
g_mod : {  // x+:v on a local holding an integer atom
  V *l = fr + U16(pc + 2);
  V c = *l;
  if ((pc[4] & 31) != 1) goto g_push;
  if (ZK_LIKELY(ints(c, v))) {  // the old value is an int: nothing to release
    I r;
    if (ZK_LIKELY(!zov(1, ip(c), ip(v), &r))) {  // no join: see exec
      *l = ai(r);
      // A do loop's count follows a step at its body's end: GETLOC then
      // CONSTDYAD, on as GETLOC would go (an empty local goes by GETLOC).
      pc += 5;
      if ((G)(*pc - oGETLOC) < 16 && pc[1] == oCONSTDYAD && (v = fr[*pc - oGETLOC])) goto *ct[pc[3] & 31];
      NEXT;
    }
    *l = zbox((J)ip(c) + ip(v));
    STEP(5);
  }
  if (!c || !zi(c) || !zi(v)) goto g_push;
  zset(l, zop(1, zv(c), zv(v)), T);
  STEP(5);
}
l_apply : {
  U m = pc[1];
  V g = sp[0];
  V *args = sp + 1;
  V r;
  if (heap(g) && hd(g)->type == tLAMBDA && hd(g)->valence == m) {
    V *s2 = PA(g);
    const G *c2 = P(s2[1]);
    U n2 = nx(s2[3]), f2 = c2[0] + n2;
    if (ZK_UNLIKELY(sp + m + 1 == END_) && (pc[2] == oEND || pc[2] == oJUMP) &&
        f2 <= END_ - fr && m <= 8 && tailpos(pc + 2)) {
      // Tail call: reuse this frame; the depth counter stays as it is.
      V tmp[8];
      for (U i = 0; i < m; i++) tmp[i] = args[i];
      rlzs(fr, fr + nx(sl[3]), T);
      if (fr[kTF]) rl(fr[kTF], T);
      fr[kTF] = g;
      sl = s2, lt = nullptr;
      for (U i = 0; i < m; i++) fr[i] = tmp[i];
      for (U i = m; i < n2; i++) fr[i] = 0;
      sp = END_;
      pc = c2 + 1;
      NEXT;
    }
    V *rg = T->vrg;  // the region is set inside every run
    if (ZK_LIKELY(rg + RW + f2 <= T->vrl) && ZK_LIKELY(T->cdp < max_call_depth)) {
      // Inline call: the caller's state goes into the record below the
      // new frame, and the reference to g is the new frame's to release.
      T->cdp++;
      V *nf = rg + RW;
      nf[kPC] = (V)(pc + 2), nf[kSP] = (V)(sp + m + 1), nf[kFR] = (V)fr, nf[kSL] = (V)sl;
      nf[kRA] = (V)jt[pc[2]];
      if (ZK_LIKELY(m == 1)) nf[0] = args[0];  // the common case, without a loop's set-up
      else
        for (U i = 0; i < m; i++) nf[i] = args[i];
      for (U i = m; i < n2; i++) nf[i] = 0;
      fr = nf, sp = nf + f2;
      fr[kEND] = (V)sp, fr[kTF] = g;
      T->vrg = sp;
      sl = s2, lt = nullptr;
      pc = c2 + 1;
      NEXT;
    }
    sp += m + 1;
    r = run(g, args, m);
  } else {
    sp += m + 1;
    r = _8(g, args, m);
  }
  rl(g, T);
  if (ZK_UNLIKELY(!r)) goto fail;
  *--sp = r;
  STEP(2);
}
l_project : {
  U m = pc[1];
  V g = sp[0];
  V *args = sp + 1;
  sp += m + 1;
  V r = prj(g, args, m);
  rl(g, T);
  if (!r) goto fail;
  *--sp = r;
  STEP(2);
}
l_modasn : {
  V *l = fr + U16(pc + 1);
  G d = pc[3] & 31;
  V y = *sp++, c = *l;
  if (!d) {  // x::y on a local: a plain store
    *l = y;
    rlz(c, T);
    STEP(4);
  }
  if (!c) {
    ev(y);
    goto fail;
  }
  if (zmod(l, y, d, T)) {
    rl(y, T);
    STEP(4);
  }
  if (V r = dmod(c, y, d)) {
    *l = r;
    STEP(4);
  }
  V r = v2[d](c, y);
  if (!r) goto fail;
  *l = r;
  rl(c, T);
  STEP(4);
}
l_modasng : {
  U g = U16(pc + 1);
  G d = pc[3] & 31;
  V y = *sp++;
  if (shared_mode()) {
    rl(y, T);
    err0("noupdate");
    goto fail;
  }
  V c = gv[g];
  if (!d) {
    gv[g] = y;
    rlz(c, T);
    STEP(4);
  }
  if (!c) {
    ev(y);
    goto fail;
  }
  if (V r = dmod(c, y, d)) {
    gv[g] = r;
    STEP(4);
  }
  // The verb may run language code that assigns this global again, so the
  // current value is kept alive across the call and the slot re-read.
  rt(c, T);
  V r = v2[d](c, y);
  if (!r) {
    rl(c, T);
    goto fail;
  }
  V o = gv[g];
  gv[g] = r;
  rlz(o, T);
  rl(c, T);
  STEP(4);
}
l_idx : {
  G op = *pc;
  U s = U16(pc + 1);
  I d = pc[3] & 31;
  bool glb = op == oIDXASNG || op == oIDXGETG, get = op >= oIDXGET;
  V ix = sp[0], y = sp[1];
  sp += 2;
  if (glb && shared_mode()) {
    rl(ix, T), rl(y, T);
    err0("noupdate");
    goto fail;
  }
  V *slot = glb ? &gv[s] : &fr[s];
  if (!*slot) {
    rl(ix, T);
    ev(y);
    goto fail;
  }
  I st = ixca(slot, *slot, ix, y, d, glb);
  rl(y, T);
  if (st) {
    rl(ix, T);
    ixer(st);
    goto fail;
  }
  if (!get) {
    rl(ix, T);
    STEP(4);
  }
  V r = dot(*slot, ix);
  if (!r) goto fail;
  *--sp = r;
  STEP(4);
}
l_getglb : {
  V g = gv[U16(pc + 1)];
  if (ZK_UNLIKELY(!g)) {
    err0(su((I)(U)gk[U16(pc + 1)]));
    goto fail;
  }
  if (pc[3] == oAPPLY) {  // a named function called: the common case
    if (ZK_LIKELY(g == (V)sl) && pc[4] == 1 && nx(sl[3]) == 1 && hd(g)->valence == 1 &&
        pc[5] != oEND && pc[5] != oJUMP) {
      // A lambda of one argument and no other local calling itself by
      // name, not from a tail position.  The running lambda stays alive
      // until this call returns (this frame or one of its callers holds
      // it), so the new frame takes no reference (kTF 0, which also
      // marks it for the short return in s_ret).
      V *rg = T->vrg;
      const G *c = P(sl[1]);
      U fs = c[0] + 1;
      if (ZK_LIKELY(rg + RW + fs <= T->vrl) && ZK_LIKELY(T->cdp < max_call_depth)) {
        T->cdp++;
        V *nf = rg + RW;
        nf[kPC] = (V)(pc + 5), nf[kSP] = (V)(sp + 1), nf[kFR] = (V)fr, nf[kSL] = (V)sl;
        nf[kRA] = (V)jt[pc[5]];
        nf[0] = sp[0];
        fr = nf, sp = nf + fs;
        fr[kEND] = (V)sp, fr[kTF] = 0;
        T->vrg = sp;
        lt = nullptr;
        pc = c + 1;
        NEXT;
      }
    }
    *--sp = rt(g, T);
    pc += 3;
    goto l_apply;
  }
  *--sp = rt(g, T);
  STEP(3);
}
l_setglb : {
  U g = U16(pc + 1);
  if (shared_mode()) {
    rl(*sp++, T);
    err0("noupdate");
    goto fail;
  }
  V o = gv[g];
  gv[g] = *sp++;
  rlz(o, T);
  STEP(3);
}
l_list : {
  U m = pc[1];
  // The index path of a plain IDXASN or IDXASNG: a store of one item in
  // place needs no path list (ixcs); anything else makes it.
  if (ZK_UNLIKELY((G)(pc[2] - oIDXASN) < 2) && !(pc[5] & 31)) {
    bool g = pc[2] == oIDXASNG;
    U s = U16(pc + 3);
    if (!ixcs(g ? &gv[s] : &fr[s], sp, m, sp[m], g, T->rc_sync & 1)) {
      for (V *e = sp + m + 1; sp < e; sp++) rl(*sp, T);
      STEP(6);
    }
  }
  V x = aA0(m);
  hd(x)->count = m;
  if (m) {
    rl(PA(x)[0], T);  // an empty list's prototype, replaced by item 0
    memcpy(PA(x), sp, m * sizeof(V));
  }
  sp += m;
  x = sqz(x);
  if (!x) goto fail;
  *--sp = x;
  STEP(2);
}
l_unlist : {
  U m = pc[1];
  V u = *sp;
  if (tp(u) < tINTA) {
    if (_n(u) != (J)m) {
      el0();
      goto fail;
    }
    for (U j = m; j-- > 0;) *--sp = ii(u, j);
  } else
    for (U j = 0; j < m; j++) *--sp = rt(u, T);
  STEP(2);
}
l_branch : {
  V c = *sp++;
  bool t = heap(c) ? tru(c) : tag(c) >= tLAMBDA && tag(c) <= tNATIVE ? c != GNULL : (U)c != 0;
  STEP(t ? 2 : 2 + pc[1]);
}
l_jump:
  STEP(2 + pc[1]);
l_recur:
  *--sp = rt((V)sl, T);
  STEP(1);
l_pop:
  rl(*sp++, T);
  STEP(1);
l_constdyad : {
  V c = sl[4 + pc[1]], y = *sp;
  G d = pc[2] & 31;
  if (zok(d) && zi(c) && zi(y)) {
    J r = zop(d, zv(c), zv(y));
    sp++;
    rl(y, T);
    pc += 3;
    SINK(r);
  }
  V z = v2[d](c, y);
  if (ZK_UNLIKELY(!z)) {
    sp++;
    goto fail;
  }
  *sp = z;
  STEP(3);
}
l_loop:
  pc -= U16(pc + 1) - 3;
  NEXT;
s_loop : {
  // SETLOC i of the integer z, then LOOP.  When the loop starts by testing
  // that local against an int (lhd), the test is made here on z: the step,
  // the jump back and the test are one dispatch.  Any other start, or
  // another side that is not an int now, runs as it is.
  const G *t = pc + 4 - U16(pc + 2);
  if (ZK_UNLIKELY(t != lt)) {  // back to the start, not into a join
    lt = t, lh = lhd(t, *pc - oSETLOC, fr, sl);
    goto s_loop;
  }
  if (lh.k == 1) {
    if (lh.c < z) {
      pc = t + 6;
      NEXT;
    }
    pc = t + 6 + t[5];
    NEXT;
  }
  V y;
  if (!lh.k || tag(y = *lh.y) != tINTA) {
    pc = t;
    NEXT;
  }
  J b = ip(y);
  if (lh.k == 8 ? z < b : lh.k == 9 ? z > b : z == b) {
    pc = t + 5;
    NEXT;
  }
  pc = t + 5 + t[4];
  NEXT;
}
l_bad:
  ec0();  // no compiler writes this byte
  goto fail;

fail : {
  U col = P(sl[2])[pc - P(sl[1])];
  rlzs(fr, fr + nx(sl[3]), T);
  for (V *p = sp, *e = END_; p < e; p++) rl(*p, T);
  T->cdp--;
  // Past the fifth frame the error text takes no more context, and a
  // diagnostic per frame of a deep recursion would flood standard error.
  if (T->err_blocks < 5) eS(sl[0], col);
  if (fr[kTF]) rl(fr[kTF], T);
  if (!fr[kFR]) return 0;
  POPF();
  pc -= 2;  // the caller fails at its APPLY
  goto fail;
}
#undef NEXT
#undef STEP
#undef U16
#undef POPF
#undef BACK
#undef END_
#undef SINK
#undef SINKA
#undef SINK_PUSH
#undef SINK_SET
#undef ZDO
#undef GD
#undef DD
#undef GC
#undef LD
}

__attribute__((noinline)) V runbig(V f, V *a, U n, U fs) {
  V *fr = (V *)__builtin_alloca((RW + fs) * sizeof(V));
  return exec(f, a, n, fr + RW);
}

// A frame of fs words (and its record) from the region, else from exec or
// runbig.
V run1(V f, V *a, U n, U fs) {
  V *rg = tl.vrg;
  if (rg && rg + RW + fs <= tl.vrl) {
    tl.vrg = rg + RW + fs;
    V r = exec(f, a, n, rg + RW);
    tl.vrg = rg;
    return r;
  }
  return fs > FR0 ? runbig(f, a, n, fs) : exec(f, a, n, nullptr);
}

// The outermost run on the thread provides the frame region.  One word
// more than it hands out: the return in exec reads a frame's first word,
// and a statement's frame may have none and end the region.
__attribute__((noinline)) V runr(V f, V *a, U n, U fs) {
  V rg[RGW + 1];
  tl.vrg = rg, tl.vrl = rg + RGW;
  V r = run1(f, a, n, fs);
  tl.vrg = tl.vrl = nullptr;
  return r;
}

}  // namespace

V run(V f, V *a, U n) {
  if (ZK_UNLIKELY(++tl.cdp > max_call_depth)) {
    tl.cdp--;
    mrn(n, a);
    return es0();
  }
  if (ZK_UNLIKELY(n != hd(f)->valence)) {
    tl.cdp--;
    return er8(a, n);
  }
  U fs = P(PA(f)[1])[0] + nx(PA(f)[3]);
  return tl.vrl ? run1(f, a, n, fs) : runr(f, a, n, fs);
}

// ---- disassembler ----
namespace {

void app(std::string &o, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void app(std::string &o, const char *fmt, ...) {
  char buf[256];
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  if (n > 0) o.append(buf, (size_t)n < sizeof buf ? (size_t)n : sizeof buf - 1);
}

// A short form of a constant for listings when no source-form printer is
// given: atoms and small vectors in full, other values by type and count.
void kshort(V x, std::string &o) {
  int t = tp(x);
  if (t == tINTA) return app(o, "%d", ip(x));
  if (t == tLONGA) return PL(x)[0] == NJ ? app(o, "0N") : app(o, "%lld", (long long)PL(x)[0]);
  if (t == tFLTA) return app(o, "%.17g", PF(x)[0]);
  if (t == tCHRA) return app(o, "\"%c\"", (char)ip(x));
  if (t == tSYMA) return app(o, "`%s", su(ip(x)));
  if (t == tMONAD) return x == GNULL ? app(o, "::") : app(o, "%s:", vn1[(U)x & 31]);
  if (t == tDYAD) return (U)x < 23 ? app(o, "%s", vn2[(U)x]) : app(o, "(dyad %u)", (U)x & 31);
  if (t == tADV) return app(o, "%s", (U)x < 6 ? adg[(U)x] : "?");
  if (t == tCHR) {
    o += '"';
    o.append(PC(x), nx(x));
    o += '"';
    return;
  }
  if (t >= tBYTE && t <= tLONG && nx(x) && nx(x) <= 16) {
    if (nx(x) == 1) o += ',';
    for (U i = 0; i < nx(x); i++) {
      J v = t == tBYTE ? P<int8_t>(x)[i] : t == tSHORT ? P<int16_t>(x)[i] : t == tINT ? PI(x)[i] : PL(x)[i];
      app(o, i ? " %lld" : "%lld", (long long)v);
    }
    return;
  }
  if (t == tSYM && nx(x) && nx(x) <= 16) {
    if (nx(x) == 1) o += ',';
    for (U i = 0; i < nx(x); i++) app(o, "`%s", su(PI(x)[i]));
    return;
  }
  if (t == tLAMBDA) {
    o.append(PC(PA(x)[0]), nx(PA(x)[0]));
    return;
  }
  app(o, "<%c %u>", TS[t], heap(x) ? nx(x) : 1u);
}

}  // namespace

U dis1(const G *b, U n, U p, std::string &o) {
  G op = b[p];
  auto need = [&](U k) { return p + k <= n; };
  auto trunc = [&](const char *nm) {
    app(o, "%5u  %-8s <truncated>\n", p, nm);
    return 0u;
  };
  if (op >= oMONAD && op < oFUSED) {
    app(o, "%5u  %-8s %u\n", p, "MONAD", op);
    return p + 1;
  }
  if (op >= oDYAD && op < oSETLOC) {
    app(o, "%5u  %-8s %u\n", p, "DYAD", op - 32u);
    return p + 1;
  }
  if (op >= oSETLOC && op < oAPPLY) {
    static const char *nm[3] = {"SETLOC", "GETLOC", "DELLOC"};
    app(o, "%5u  %-8s %u\n", p, nm[(op - 64) / 16], (op - 64u) % 16);
    return p + 1;
  }
  if (op >= oCONST && op < 255) {
    app(o, "%5u  %-8s #%u\n", p, "CONST", op - 130u);
    return p + 1;
  }
  switch (op) {
    case oEND: app(o, "%5u  %-8s\n", p, "END"); return p + 1;
    case oFUSED:
      if (!need(4)) return trunc("FUSED");
      app(o, "%5u  %-8s skip=%u const#%u local=%u\n", p, "FUSED", b[p + 1], b[p + 2], b[p + 3]);
      return p + 4;
    case oAPPLY: case oPROJECT: case oLIST: case oUNLIST: {
      const char *nm = op == oAPPLY ? "APPLY" : op == oPROJECT ? "PROJECT" : op == oLIST ? "LIST" : "UNLIST";
      if (!need(2)) return trunc(nm);
      app(o, "%5u  %-8s n=%u\n", p, nm, b[p + 1]);
      return p + 2;
    }
    case oMODASN: case oMODASNG: case oIDXASN: case oIDXASNG: case oIDXGET: case oIDXGETG: {
      static const char *nm[6] = {"MODASN", "MODASNG", "IDXASN", "IDXASNG", "IDXGET", "IDXGETG"};
      if (!need(4)) return trunc(nm[op - oMODASN]);
      app(o, "%5u  %-8s idx=%u dyad=%u\n", p, nm[op - oMODASN], b[p + 1] | b[p + 2] << 8, b[p + 3]);
      return p + 4;
    }
    case oGETGLB: case oSETGLB: {
      const char *nm = op == oGETGLB ? "GETGLB" : "SETGLB";
      if (!need(3)) return trunc(nm);
      app(o, "%5u  %-8s idx=%u\n", p, nm, b[p + 1] | b[p + 2] << 8);
      return p + 3;
    }
    case oBRANCH: case oJUMP: {
      const char *nm = op == oBRANCH ? "BRANCH" : "JUMP";
      if (!need(2)) return trunc(nm);
      app(o, "%5u  %-8s +%u -> %u\n", p, nm, b[p + 1], p + 2 + b[p + 1]);
      return p + 2;
    }
    case oRECUR: app(o, "%5u  %-8s\n", p, "RECUR"); return p + 1;
    case oPOP: app(o, "%5u  %-8s\n", p, "POP"); return p + 1;
    case oCONSTDYAD:
      if (!need(3)) return trunc("CONSTDYAD");
      app(o, "%5u  %-8s const#%u dyad=%u\n", p, "CONSTDYAD", b[p + 1], b[p + 2]);
      return p + 3;
    case oLOOP:
      if (!need(3)) return trunc("LOOP");
      app(o, "%5u  %-8s -%u -> %u\n", p, "LOOP", b[p + 1] | b[p + 2] << 8, p + 3 - (b[p + 1] | b[p + 2] << 8));
      return p + 3;
    default: app(o, "%5u  %-8s %u\n", p, "?", op); return p + 1;
  }
}

int dis(V f, std::string &o, Kfmt kf) {
  V *sl = PA(f);
  U c = nx(f);
  V nm = c > 3 ? sl[3] : 0;
  U nl = nm && heap(nm) && tp(nm) == tSYM ? nx(nm) : 0;
  app(o, "locals (%u):", nl);
  for (U i = 0; i < nl; i++) {
    const char *s = su(PI(nm)[i]);
    app(o, " %u:", i);
    for (; *s; s++) (G)*s < 32 ? app(o, "\\%o", (G)*s) : (void)(o += *s);
  }
  o += '\n';
  U nk = c > 4 ? c - 4 : 0;
  app(o, "constants (%u):\n", nk);
  for (U i = 0; i < nk; i++) {
    app(o, "  #%u  ", i);
    (kf ? kf : kshort)(sl[4 + i], o);
    o += '\n';
  }
  V bc = c > 1 ? sl[1] : 0;
  U n = bc && heap(bc) ? nx(bc) : 0;
  app(o, "bytecode (%u bytes):\n", n);
  const G *b = n ? P(bc) : nullptr;
  U p = 1;
  while (p < n) {
    U q = dis1(b, n, p, o);
    if (!q) return 0;
    p = q;
  }
  return p == n || n == 0;
}

}  // namespace zk
