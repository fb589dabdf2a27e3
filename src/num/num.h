// num.h: the numeric kernels' face to the rest of the engine.  Names: ct =
// the universal cast (to vector type t 3..10, or the matching atom type);
// c<to><from> = plain-memory cast kernels, target width first (G 8, H 16,
// I 32, L 64 bits).  Values are consumed unless a line says otherwise; a
// failure returns 0 with the thread's error text set.
#pragma once
#include <atomic>

#include "core/core.h"

namespace zk {

// ---- casts (cast.cpp); every cast consumes x ----
V ct(int t, V x);   // x to vector type t 3..10, or the atom of that kind
V cT(int t, V x);   // a vector of type 3..9 to vector type t
V tqi(V x);         // temporal vector to its int or long vector, attribute kept
V cF(V x);          // ct(8, x): the letter f
V cC(V x);          // ct(9, x): the letter c
V csti(V x);        // the letter i
V cSb(V x);         // the letter s: texts trimmed of blanks to symbols
// The parallel cast job, one record on the caller's stack: its T tasks
// take runs of whole 32-item granules in turn from the counter c (zero at
// the start), so that a task whose thread is held up leaves its share to
// the others.
struct Cj {
  void (*k)(void *dst, const void *src, U n);
  char *d;
  const char *s;
  U n;
  U dw, sw;  // item sizes in bytes, target and source
  int T;
  std::atomic<UJ> c{0};  // granules handed out
};
void cjw(void *job, int k);  // pool task k of a parallel vector cast
// The kernels of cT, c<to><from>: n items from src to dst, in whole groups
// of 16 (byte/short), 8 (short/int, int/byte; int/long on the wider
// registers) or 4 items, which may be read and written past n; cLF, cGB
// and cBG convert exactly n.  cLI, cIL, cFL and cLF run on the widest
// registers the processor has (simd_width), with the same results.
void cHG(void *dst, const void *src, U n);  // byte or char to short
void cGH(void *dst, const void *src, U n);  // short to byte: low 8 bits
void cHI(void *dst, const void *src, U n);  // int to short: low 16 bits
void cIH(void *dst, const void *src, U n);
void cGI(void *dst, const void *src, U n);  // int to byte: low 8 bits
void cIG(void *dst, const void *src, U n);  // byte or char to int
void cHL(void *dst, const void *src, U n);
void cLI(void *dst, const void *src, U n);
void cIL(void *dst, const void *src, U n);
void cGL(void *dst, const void *src, U n);
void cFG(void *dst, const void *src, U n);
void cFH(void *dst, const void *src, U n);
void cFI(void *dst, const void *src, U n);
void cFL(void *dst, const void *src, U n);  // 0N gives NaN
void cLF(void *dst, const void *src, U n);  // truncation; NaN 0N; +-0W beyond the range
void cGB(void *dst, const void *src, U n);  // bits to bytes of 0 and 1
void cBG(void *dst, const void *src, U n);  // the lowest bit of each byte to bits

// ---- arithmetic verbs (ari.cpp): x borrowed, y consumed ----
V sam(V x);       // monadic `:`: x itself
V dex(V x, V y);  // dyadic `:`: y
V add(V x, V y);
V sub(V x, V y);
V mul(V x, V y);
V dvd(V x, V y);
V mnu(V x, V y);  // `&`
V mxu(V x, V y);  // `|`
V ltu(V x, V y);
V gtu(V x, V y);
V eql(V x, V y);

// ---- fused expression runner (fuse.cpp) ----
// i points at byte 1 of a FUSED instruction (skip, constant, local);
// loc is the running frame's locals, k the lambda's constants.  The fused
// result as a new reference, or 0 when the runner declines (never an
// error); nothing is consumed.
V fzop(const G *i, const V *loc, const V *k);
// The runner itself: list the fused constant list (borrowed), loc the
// locals its "l" tokens name.
V fzrun(V list, const V *loc);
// Benchmark hook: nonzero computes integers in 64-bit lanes always.
extern G fzl64;

// ---- fused idiom operators (fidiom.cpp) ----
// The v8 slots 27..29 (args[0] consumed, the rest borrowed; a wrong
// argument count fails 'nyi): fredC (mode; x; y), fmaC (mode; r; s; v),
// fmsC (minus; x; s; y; mask).  fcntC(x) is #'=x, x borrowed.  shiftC
// gives mode 200..399 over neighbouring items of x (borrowed); shslow is
// its general route: verb slot, form 1 for (-1_x) v (1_x), sum for +/.
V fredC(V *args, U n);
V fredB(V *args);  // fredC without the argument-count check (attribute checks)
V fmaC(V *args, U n);
V fmsC(V *args, U n);
V fcntC(V x);
V shiftC(J mode, V x);
V shslow(U verb, bool form, bool sum, V x);

}  // namespace zk

// ---- integer kernels with widening, comparison, % and modulus: num/int.h ----
#include "num/int.h"

// ---- monadic math (math.cpp): x consumed ----
namespace zk {
V neg(V x);   // monadic -
V sqr(V x);   // monadic %: square root
V not_(V x);  // monadic ~
V nul(V x);   // monadic ^: null test
void njw(void *job, int i);  // pool task of the parallel null test
V flr(V x);   // monadic _: floor; lower case for chars and symbols
V kabs(V x);  // builtin abs
V ksin(V x);  // builtins sin cos exp ln tan asin acos atan
V kcos(V x);
V kexp(V x);
V klog(V x);
V ktan(V x);
V kasn(V x);
V kacs(V x);
V katn(V x);
V rndT(V x);  // builtin rnd: nearest integer, halves away from zero
}  // namespace zk

// ---- moving windows (mov.cpp): args consumed ----
namespace zk {
// builtin mw, (code; w; x): the window aggregates, or the shared empty
// general list for what it does not cover (never an error).
V mwC(V args);
// builtin ema, (alpha; x): the exponential moving average as floats.
V emaC(V args);
}  // namespace zk

// ---- statistics builtins (stats.cpp): x consumed ----
namespace zk {
V cvmC(V x);  // cvm (x; y): centred co-moment sums (Sxy; Sxx; Syy; n) as floats
V wsmC(V x);  // wsm (x; y): +/x*y without the product vector
V dltC(V x);  // dlt x: first item, then each item minus the one before
V dlk0(V x);  // dlt's generic form x - (0^0*1#x),-1_x
}  // namespace zk

// ---- the `$` verb and its text casts (dollar.cpp) ----
namespace zk {
V dlr(V x, V y);     // dyadic $: x borrowed, y consumed
V pad(V n, V y);     // n an int or long atom (borrowed): text padded or cut to |n| chars
V prsI(V x);         // consumes: text or char atom to an int or long atom (0N for bad text)
V prsF(V x);         // consumes: text or char atom to a float atom (0n for bad text)
J pil(const char *s, U n);  // the integer text s[0..n), or 0N
}  // namespace zk

// ---- a list of texts to longs and the fall-back of `$` (tcast.cpp) ----
namespace zk {
V prsIL(V x);        // consumes a general list: a long vector, one item per item
I tqnm(V s);         // a symbol atom naming a temporal type: its atom type 33..39, else 0
V dlrq(V x, V y);    // `$` fall-back: x borrowed, y consumed
}  // namespace zk

// ---- matrix inverse (inv.cpp): x consumed ----
namespace zk {
V minvT(V x);  // minv: inverse of a square numeric matrix (list of rows) as float rows
}  // namespace zk

// ---- reductions, over, scan and each-prior: num/red.h ----
#include "num/red.h"

// ---- float kernels and the parallel element-wise runner: num/flt.h ----
#include "num/flt.h"

// ---- arithmetic dispatch, operator codes, mod, mnm, mxm: num/ari.h ----
#include "num/ari.h"

// ---- each-prior kernels (prior.cpp), the entries of prior_k: (verb,
// seed, x), x a vector borrowed, the seed consumed; dexp is the prior of x
// (seed, x[0] .. x[n-2]); p___ is the engine's ___p (+ - * %) ----
namespace zk {
V dexp(V verb, V seed, V x);
V p___(V verb, V seed, V x);
V modp(V verb, V seed, V x);
V mnmp(V verb, V seed, V x);
V mxmp(V verb, V seed, V x);
V cmpp(V verb, V seed, V x);
// Each-prior of + - * % & | (op 1..4, 6, 7) on the float vector x
// (borrowed) with the float seed s: the bits the verb gives on x and its
// prior, in one pass.
V fprp(I op, F s, V x);
// ---- numeric builtins (numb.cpp): the argument consumed ----
V fdvC(V a);  // fdv: (x; n) floor-divided by the positive integer n
V qpri(V x);   // pri: the int vector of the primes below an int or long atom
U sieve(I *dst, J n);  // the primes below n (0..2^31-1) into dst, sized as pri sizes it; their count
V sumnT(V x);  // sumn: sum of a long vector without its 0N
V prnT(V x);   // prn: product of a long vector without its 0N
V hnlT(V x);   // hnl: 1 when a long (float) vector holds a 0N (NaN)
V wtnT(V a);   // wtn: (x; (lo; hi)) as bytes lo <= x <= hi, else the long 0N
V wmulT(V a);  // wmul: (x; y) as (products; NaN seen), else the empty list
void wm1(void *job, int k);  // wmul's pool task

// ---- random numbers (rand.cpp): the calling thread's state only ----
void r4();             // one step of the four lanes
UJ r1();               // one draw: the lane-3 output of a fresh step
void rbk(void *d, UJ b);  // raw bytes: b rounded up to whole 32-byte steps are written
UJ rbp(UJ m);          // one draw as an integer below m < 2^32 (product form)
F r01();               // one draw as a float in [0, 1)
// rfl: n draws as floats in [0, 1), each a fresh step's lane-3 output as
// r01 takes it; 'domain for n < 0, 'limit above 4,294,967,295.  qrf: ?n,
// the same for the int or long atom x (consumed).
V rfl(J n);
V qrf(V x);
V prng(V x);           // prng: x consumed
V rd(J c, J n);        // roll (c >= 0) or deal (c < 0, 0N all) of 0..n-1; n < 0 raw items

}  // namespace zk
