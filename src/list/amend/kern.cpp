// kern.cpp: the typed in-place kernels of @[x; i; f; y] for an integer or
// char vector x, an integer index vector i and f one of : + - * & |, and
// `sup`, the unification of two integer-like values to one storage width.
//
// Names: TX = unification class by type code (0: the value decides by its
// magnitude); sup = unify two values; ara = the dispatcher (normalises the
// operands, checks every index and y's count once, before any write);
// dexa = store, adma = add or multiply, suba = subtract, mmma = minimum or
// maximum.  Each kernel is one template over the index width and the item
// width, instantiated into a small table: one loop, no per-item values, no
// allocation and no call into the evaluator.
//
// Nulls: adma and suba work on 64-bit items and give 0N whenever an operand
// is 0N, as the verbs + - * do on the same items (the general fold of @
// would give that value); otherwise they wrap as 64-bit two's complement.
// & and | order 0N below every other long, as the verbs do.
//
// Ownership: ara and the kernels consume x and borrow i and y (any copy of
// them they make is their own); sup consumes both values and replaces them
// through its pointers.
#include "core/err.h"
#include "core/sym.h"
#include "list/list.h"
#include "num/num.h"

namespace zk {

// The class each type code unifies to; 0 for int and long atoms and the
// temporal types, which are measured by their value instead.
const G TX[NT] = {0, 4, 4, 4, 4, 5, 6, 7, 8, 4, 6, 0, 0, 0, 0, 0, 0, 0, 4, 4,
                  0, 0, 8, 4, 6, 4, 4, 4, 4, 4, 4, 4, 4, 0, 0, 0, 0, 0, 0, 0};

namespace {

int cls(V x) {
  int c = TX[tp(x)];
  if (c) return c;
  return tZ(heap(x) ? PL(x)[0] : (J)ip(x));
}

// Index width of an index vector (byte and char 0, short 1, int 2, long 3).
ZK_INLINE int iw(V i) { return Tw[tp(i)] - 3; }

// Every index below n as unsigned, so a negative one fails too.
template <class X> bool inb(const X *p, U m, UJ n) {
  UJ bad = 0;
  for (U k = 0; k < m; k++) bad |= (UJ)((UJ)(J)p[k] >= n);
  return !bad;
}

// The voucher of ixpv; released when the thread ends.
struct Pv {
  V i = 0;
  UJ c = 0;
  ~Pv() {
    if (i) mr(i);
  }
};
thread_local Pv pv;

bool inbounds(V i, UJ n) {
  U m = nx(i);
  switch (iw(i)) {
    case 0: return inb(P<int8_t>(i), m, n);
    case 1: return inb(P<int16_t>(i), m, n);
    case 2: return inb(PI(i), m, n);
    default: return inb(PL(i), m, n);
  }
}

// ---- store: x[i[k]] = y[k] or the atom a; the last of repeated indexes wins ----
template <class T, class X> void stK(void *x, const void *i, U m, const void *y, J a) {
  T *d = (T *)x;
  const X *p = (const X *)i;
  if (y) {
    const T *s = (const T *)y;
    // Random stores into a large vector wait on memory: announcing the
    // line a few dozen stores ahead keeps more misses in flight.
    U k = 0;
    constexpr U A = 32;
    for (; k + A < m; k++) {
      __builtin_prefetch(&d[p[k + A]], 1);
      d[p[k]] = s[k];
    }
    for (; k < m; k++) d[p[k]] = s[k];
  } else {
    T v = (T)a;
    for (U k = 0; k < m; k++) d[p[k]] = v;
  }
}

// ---- add or multiply on 64-bit items, 0N in gives 0N out ----
template <class X, int OP> void adK(J *d, const void *i, U m, const J *y, J a) {
  const X *p = (const X *)i;
  for (U k = 0; k < m; k++) {
    J v = y ? y[k] : a, o = d[p[k]];
    if (OP == 2) v = (J)(0 - (UJ)v);  // -0N is 0N: still null below
    J r = OP == 3 ? (J)((UJ)o * (UJ)v) : (J)((UJ)o + (UJ)v);
    d[p[k]] = ((o == NJ) | (v == NJ)) ? NJ : r;
  }
}

// ---- minimum (OP 6) or maximum (OP 7), signed, at x's item width ----
template <class T, class X, int OP> void mmK(void *x, const void *i, U m, const void *y, J a) {
  T *d = (T *)x;
  const X *p = (const X *)i;
  const T *s = (const T *)y;
  for (U k = 0; k < m; k++) {
    T v = s ? s[k] : (T)a, o = d[p[k]];
    d[p[k]] = OP == 6 ? (v < o ? v : o) : (v > o ? v : o);
  }
}

using Kst = void (*)(void *, const void *, U, const void *, J);
using Kad = void (*)(J *, const void *, U, const J *, J);

#define ZK_IX4(K, T) {K<T, int8_t>, K<T, int16_t>, K<T, I>, K<T, J>}
const Kst stT[4][4] = {ZK_IX4(stK, int8_t), ZK_IX4(stK, int16_t), ZK_IX4(stK, I), ZK_IX4(stK, J)};
#undef ZK_IX4
#define ZK_IX4(T, O) {mmK<T, int8_t, O>, mmK<T, int16_t, O>, mmK<T, I, O>, mmK<T, J, O>}
const Kst mmT[2][4][4] = {{ZK_IX4(int8_t, 6), ZK_IX4(int16_t, 6), ZK_IX4(I, 6), ZK_IX4(J, 6)},
                          {ZK_IX4(int8_t, 7), ZK_IX4(int16_t, 7), ZK_IX4(I, 7), ZK_IX4(J, 7)}};
#undef ZK_IX4
#define ZK_IX4(O) {adK<int8_t, O>, adK<int16_t, O>, adK<I, O>, adK<J, O>}
const Kad adT[3][4] = {ZK_IX4(1), ZK_IX4(2), ZK_IX4(3)};
#undef ZK_IX4

// Item width of an integer vector: byte 0, short 1, int 2, long 3.
ZK_INLINE int xw(V x) { return Tw[tp(x)] - 3; }

// y's items, or 0 for an atom (whose value is then *a).
ZK_INLINE const void *yv(V y, J *a) {
  if (tp(y) >= tINTA) return *a = gl_(y), nullptr;
  return (const void *)P(y);
}

V dexa(V x, V i, V f, V y) {
  J a = 0;
  if (tp(x) == tCHR) {  // chars into chars: the bytes as they are
    x = mut(x);
    const void *s = yv(y, &a);
    stT[0][iw(i)](P(x), P(i), nx(i), s, a);
    return x;
  }
  V c = _r(y);
  if (!sup(&x, &c)) return 0;
  x = mut(x);
  const void *s = yv(c, &a);
  stT[xw(x)][iw(i)](P(x), P(i), nx(i), s, a);
  mr(c);
  return x;
}

V adm(V x, V i, int op, V y) {
  if (!(x = ct(tLONG, x))) return 0;
  x = mut(x);
  J a = 0;
  V c = tp(y) >= tINTA ? _r(y) : ct(tLONG, _r(y));
  if (!c) return mr(x), (V)0;
  const J *s = (const J *)yv(c, &a);
  adT[op - 1][iw(i)](PL(x), P(i), nx(i), s, a);
  mr(c);
  return x;
}

V adma(V x, V i, V f, V y) { return adm(x, i, ip(f) == 3 ? 3 : 1, y); }
// x - y is x + -y in 64-bit two's complement, so the negation is done
// item by item in the kernel instead of on a negated copy of y.
V suba(V x, V i, V f, V y) { return adm(x, i, 2, y); }

V mmma(V x, V i, V f, V y) {
  // An atom counts by its type, not its value: |[bytes; 5] gives ints.
  bool at = tp(y) >= tINTA;
  V c = at ? enl(_r(y)) : _r(y);
  if (!sup(&x, &c)) return 0;
  x = mut(x);
  J a = 0;
  const void *s = P(c);
  if (at) a = iti(c, tp(c), 0), s = nullptr;
  mmT[ip(f) == 7][xw(x)][iw(i)](P(x), P(i), nx(i), s, a);
  mr(c);
  return x;
}

using Kam = V (*)(V, V, V, V);
// By the slot of f; % and ! are never dispatched (the caller's mask).
const Kam akt[8] = {dexa, adma, suba, adma, nullptr, nullptr, mmma, mmma};

}  // namespace

I sup(V *px, V *py) {
  int a = cls(*px), b = cls(*py), c = a > b ? a : b;
  V x = *px, y = *py;
  // Atoms that are measured by their value already fit c; only vectors
  // and atoms of another kind are cast.
  if (tp(x) < tINTA || TX[tp(x)]) x = ct(c, x);
  if (!x) return mr(y), 0;
  if (tp(y) < tINTA || TX[tp(y)]) y = ct(c, y);
  if (!y) return mr(x), 0;
  *px = x, *py = y;
  return c;
}

void ixpv(V i, UJ c) {
  V o = pv.i;
  pv.i = i ? _r(i) : 0, pv.c = c;
  if (o) mr(o);
}

V ara(V x, V i, V f, V y) {
  for (int t; (t = tp(x)) == tRANGE || t == tBOOL;)
    if (!(x = t == tRANGE ? gZ(x) : ct(tBYTE, x))) return 0;
  int it = tp(i), yt = tp(y);
  if (it == tRANGE || it == tBOOL || yt == tRANGE || yt == tBOOL) {
    V c = it == tRANGE ? gZ(_r(i)) : it == tBOOL ? ct(tBYTE, _r(i)) : _r(i);
    if (!c) return mr(x), (V)0;
    V d = yt == tRANGE ? gZ(_r(y)) : yt == tBOOL ? ct(tBYTE, _r(y)) : _r(y);
    if (!d) return mr(c), mr(x), (V)0;
    V r = ara(x, c, f, d);
    mr(c), mr(d);
    return r;
  }
  bool vouched = i == pv.i && nx(x) >= pv.c;
  if (pv.i) ixpv(0, 0);
  if (yt < tINTA && nx(y) != nx(i)) return el(x);
  if (!vouched && !inbounds(i, nx(x))) return ei(x);
  return akt[ip(f)](x, i, f, y);
}

}  // namespace zk
