// match.cpp: match (mtc_, the verb mtc) and the structural hash (hA).
//
// Match is a relation of its own, not equality under the total order: the
// same kind, shape and items, where the kinds the language stores in
// several ways meet by value (int and long atoms, booleans and integer
// vectors of every width, ranges against their items), floats meet as
// numbers (-0.0 matches 0.0) or as NaNs, and the attribute, a function's
// valence and bits of a boolean vector past its count are not part of the
// value.  An empty general list compares its prototype; natives match only
// as the same word.
//
// The hash agrees with match wherever match crosses storage: every integer
// width, booleans and ranges share one seed and their items by value, int
// and long atoms one formula, and the floats' zeros and NaNs are made one
// before they are mixed.  It does not look at prototypes, so empty lists
// that do not match may still hash alike.
//
// Ranges are never materialised: a range matches and hashes by arithmetic
// on its start and count, so !4000000000 costs no memory.
//
// Nested values are walked with frames of Stk, never the C stack, so a
// value nested a million deep matches and hashes like a flat one.
#include "order/order.h"

#include <cstring>
#include "list/list.h"

namespace zk {

namespace {

ZK_INLINE bool intv(int t) { return t >= tBOOL && t <= tLONG; }

// Count of a range: its end minus its start.
ZK_INLINE J rcnt(V r) { return (J)((UJ)PL(r)[1] - (UJ)PL(r)[0]); }

// ---- match ----

enum { NO, YES, DEEP };

// Float items equal as numbers, or both NaN.
bool feqv(const F *a, const F *b, U n) {
  for (U i = 0; i < n; i++)
    if (!(a[i] == b[i] || (a[i] != a[i] && b[i] != b[i]))) return false;
  return true;
}

// Integer items of two vectors of different widths, by value.
bool ints(V x, int tx, V y, int ty) {
  U n = nx(x);
  if (n != nx(y)) return false;
  for (U i = 0; i < n; i++)
    if (iti(x, tx, i) != iti(y, ty, i)) return false;
  return true;
}

template <class T> bool seq(const T *p, J a, U n) {
  for (U i = 0; i < n; i++)
    if ((J)p[i] != a + (J)i) return false;
  return true;
}

// Range r against y of type ty: another range by start and count, an
// integer vector by its items a, a+1, ...
bool rng(V r, V y, int ty) {
  J a = PL(r)[0], n = rcnt(r);
  if (ty == tRANGE) return n == rcnt(y) && (!n || a == PL(y)[0]);
  if (!intv(ty) || n < 0 || n != (J)nx(y)) return false;
  U c = (U)n;
  switch (ty) {
    case tBYTE: return seq(P<int8_t>(y), a, c);
    case tSHORT: return seq(P<int16_t>(y), a, c);
    case tINT: return seq(PI(y), a, c);
    case tLONG: return seq(PL(y), a, c);
    default:
      for (U i = 0; i < c; i++)
        if (iti(y, tBOOL, i) != a + (J)i) return false;
      return true;
  }
}

// One pair: NO, YES, or DEEP when they agree so far and their first *n
// item words must match too.
int m1(V x, V y, U *n) {
  if (x == y) return YES;
  int a = tp(x), b = tp(y);
  if (a == b) switch (a) {
      // A symbol from a parse tree keeps its source column above bit 31.
      case tINTA: case tCHRA: case tSYMA: case tMONAD: case tDYAD: case tADV: return (U)x == (U)y;
    }
  if ((a == tINTA || a == tLONGA) && (b == tINTA || b == tLONGA)) return gl_(x) == gl_(y);
  if (a == tRANGE) return rng(x, y, b);
  if (b == tRANGE) return rng(y, x, a);
  if (a != b) return intv(a) && intv(b) && ints(x, a, y, b);
  if (!heap(x) || !heap(y)) return NO;  // other immediates, natives: the same word only
  Hdr *hx = hd(x), *hy = hd(y);
  if (a == tDERIV && hx->adverb != hy->adverb) return NO;
  U c = hx->count;
  if (c != hy->count) return NO;
  if (iscont(a)) {
    *n = c ? c : 1;  // an empty list compares its prototype
    return DEEP;
  }
  if (a == tBOOL) {
    U k = c >> 3;
    if (memcmp(P(x), P(y), k)) return NO;
    return !(c & 7) || !((P(x)[k] ^ P(y)[k]) & ((1u << (c & 7)) - 1));
  }
  if (!memcmp(P(x), P(y), dbytes(c, a))) return YES;
  return (a == tFLT || a == tFLTA) && feqv(PF(x), PF(y), c);
}

struct MF {
  const V *a, *b;
  U i, n;
};

[[gnu::noinline]] bool mdeep(V x, V y, U n) {
  Stk<MF> st;
  st.push() = {PA(x), PA(y), 0, n};
  while (!st.empty()) {
    MF &f = st.top();
    if (f.i == f.n) {
      st.pop();
      continue;
    }
    V p = f.a[f.i], q = f.b[f.i];
    f.i++;
    int r = m1(p, q, &n);
    if (r == NO) return false;
    if (r == DEEP) st.push() = {PA(p), PA(q), 0, n};
  }
  return true;
}

// ---- hash ----

constexpr UJ SINT = 0x49;  // seed of booleans and every integer width
constexpr UJ XINT = 0x69;  // int and long atoms
constexpr UJ XFLT = 0x16;  // float atoms

// Float bits with both zeros as 0 and every NaN as the quiet NaN.
ZK_INLINE UJ fcan(UJ b) {
  UJ s = b << 1;
  return !s ? 0 : s > 0xFFE0000000000000ull ? NF_BITS : b;
}

template <class T> UJ hv(const T *p, U n, UJ h) {
  for (U i = 0; i < n; i++) h = hmix(h ^ (UJ)(J)p[i]);
  return h;
}

UJ hbool(const G *p, U n, UJ h) {
  for (U i = 0; i < n; i++) h = hmix(h ^ ((p[i >> 3] >> (i & 7)) & 1));
  return h;
}

UJ hflt(const UJ *p, U n, UJ h) {
  for (U i = 0; i < n; i++) h = hmix(h ^ fcan(p[i]));
  return h;
}

// A range hashes as its items would; one too long for any vector to match
// it hashes by start and count alone.
UJ hrng(V r) {
  J a = PL(r)[0], n = rcnt(r);
  UJ h = hmix(SINT ^ (UJ)n);
  if (n < 0 || n > (J)0xFFFFFFFF) return hmix(h ^ (UJ)a);
  for (J i = 0; i < n; i++) h = hmix(h ^ (UJ)(a + i));
  return h;
}

// The hash of a value that has no items to walk.
UJ h1(V x, int t, G *flag) {
  if (!heap(x)) return t == tINTA ? hmix((UJ)(J)ip(x) ^ XINT) : hmix((UJ)(U)x ^ (UJ)t);
  U n = nx(x);
  switch (t) {
    case tINTA: case tLONGA: return hmix((UJ)gl_(x) ^ XINT);
    case tFLTA: return hmix(fcan(P<UJ>(x)[0]) ^ XFLT);
    case tTSTAMPA: case tTSPANA: return hmix((UJ)PL(x)[0] ^ (UJ)t);
    case tRANGE: return hrng(x);
    case tLIST: return hmix((UJ)t ^ n);  // empty: the prototype is not hashed
    case tBOOL: return hbool(P(x), n, hmix(SINT ^ n));
    case tBYTE: return hv(P<int8_t>(x), n, hmix(SINT ^ n));
    case tSHORT: return hv(P<int16_t>(x), n, hmix(SINT ^ n));
    case tINT: return hv(PI(x), n, hmix(SINT ^ n));
    case tLONG: return hv(PL(x), n, hmix(SINT ^ n));
    case tFLT: return hflt(P<UJ>(x), n, hmix((UJ)t ^ n));
    case tCHR: return hv(P<int8_t>(x), n, hmix((UJ)t ^ n));
    case tSYM: return hv(PI(x), n, hmix((UJ)t ^ n));
    default: *flag = 1; return 0;
  }
}

// A list's frame folds its items' hashes in order; a dict's or table's
// (d set) folds the first part with the type code and the second part
// with that.
struct HF {
  const V *a;
  U i, n;
  UJ h;
  I t;
  G d;
};

}  // namespace

bool mtc_(V x, V y) {
  U n;
  int r = m1(x, y, &n);
  return r == DEEP ? mdeep(x, y, n) : r;
}

V mtc(V x, V y) {
  bool r = mtc_(x, y);
  mr(y);
  return ai(r);
}

UJ hA(V x, G *flag) {
  Stk<HF> st;
  for (;;) {
    int t = tp(x);
    bool d = t == tDICT || t == tTABLE;
    if (d || (t == tLIST && nx(x))) {
      U n = d ? 2 : nx(x);
      st.push() = {PA(x), 0, n, hmix((UJ)t ^ n), t, d};
      x = PA(x)[0];
      continue;
    }
    UJ h = h1(x, t, flag);
    for (;;) {
      if (st.empty()) return h;
      HF &f = st.top();
      f.h = f.d ? hmix(h ^ (f.i ? f.h : (UJ)f.t)) : hmix(f.h ^ h);
      if (++f.i < f.n) {
        x = f.a[f.i];
        break;
      }
      h = f.h;
      st.pop();
    }
  }
}

}  // namespace zk
