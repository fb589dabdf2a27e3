// order.cpp: the total order of values (qA, with its forms qV and qD),
// the stable sorts of index arrays by it (cis, cms), the order keys of
// floats (of_, of1LL, of0LL).
//
// The order ranks kinds by their type letters first: every vector and
// table before every atom, dict and function, all integer widths,
// booleans and ranges one kind, int and long atoms one kind.  Within a
// kind: vectors item by item then the shorter first (chars as unsigned
// bytes, an empty list by its prototype), dicts and tables by their first
// part then their second, numbers by value, floats by their order keys,
// symbols by text, functions by their source text, everything else by the
// value word.  Same-typed vectors are scanned as raw memory and only the
// items that differ there are compared by the rules, so a long equal
// prefix costs a memory compare and allocates nothing.
//
// Order key of a float (a signed integer whose order is the float order):
// the zeros key to 0x000FFFFFFFFFFFFE, every NaN to 0x8007FFFFFFFFFFFE
// (below -0w), any other bit pattern b to (b XOR m) + 0x000FFFFFFFFFFFFE,
// m all but the sign bit when b is negative.  The NaN key is what the quiet
// NaN's bits would give, so the inverse turns it back into that NaN.
#include "order/order.h"

#include <cstring>
#include "core/err.h"
#include "core/simd.h"
#include "core/sym.h"
#include "io/io.h"
#include "list/list.h"
#include "num/num.h"

namespace zk {

namespace {

constexpr UJ FZ = 0x000FFFFFFFFFFFFEull;  // key of both zeros
constexpr UJ FN = 0x8007FFFFFFFFFFFEull;  // key of every NaN
constexpr UJ FM = 0x7FFFFFFFFFFFFFFFull;

ZK_INLINE J fkey(UJ b) {
  UJ s = b << 1;
  if (!s) return (J)FZ;
  if (s > 0xFFE0000000000000ull) return (J)FN;
  return (J)((b ^ (b >> 63 ? FM : 0)) + FZ);
}

ZK_INLINE I sg(J a, J b) { return (a > b) - (a < b); }
ZK_INLINE int letter(int t) { return (unsigned)t < NT ? TS[t] : '0'; }
ZK_INLINE J cnt(V x, int t) { return t == tRANGE ? (J)((UJ)PL(x)[1] - (UJ)PL(x)[0]) : (J)nx(x); }

// Offset of the first byte where p and q differ, or n.
UJ fdb(const G *p, const G *q, UJ n) {
  UJ i = 0;
  for (; i + 32 <= n; i += 32)
    if (memcmp(p + i, q + i, 32)) break;
  for (; i + 8 <= n; i += 8) {
    UJ u, v;
    memcpy(&u, p + i, 8);
    memcpy(&v, q + i, 8);
    if (u != v) return i + (__builtin_ctzll(u ^ v) >> 3);
  }
  for (; i < n; i++)
    if (p[i] != q[i]) return i;
  return n;
}

// Symbol ids by text: unsigned bytes, a proper prefix first.  A packed
// name's text sits in a ring slot that the next su may reuse: copy it.
I qsym(I i, I j) {
  if (i == j) return 0;
  char s[8] = {};
  const char *p = su(i);
  if (i >= 0) {
    memcpy(s, p, strnlen(p, 7));
    p = s;
  }
  int c = strcmp(p, su(j));
  return (c > 0) - (c < 0);
}

// Same-typed items of the first n of two vectors: the first pair that
// differs as stored and that cmp does not call equal decides.
template <class T, class C> I scan(const T *p, const T *q, UJ n, C cmp) {
  for (UJ i = 0; i < n; i++) {
    i = fdb((const G *)(p + i), (const G *)(q + i), (n - i) * sizeof(T)) / sizeof(T) + i;
    if (i == n) break;
    if (I r = cmp(p[i], q[i])) return r;
  }
  return 0;
}

// The first n items of two same-typed vectors (no general lists).
I qsame(V x, V y, int t, UJ n) {
  auto num = [](auto a, auto b) { return sg(a, b); };
  switch (t) {
    case tRANGE: return sg(PL(x)[0], PL(y)[0]);
    case tBOOL: {
      UJ k = fdb(P(x), P(y), n >> 3);
      if (k == n >> 3 && !(n & 7)) return 0;
      U d = (P(x)[k] ^ P(y)[k]) & (k < n >> 3 ? 0xFF : (1u << (n & 7)) - 1);
      if (!d) return 0;
      return (P(x)[k] >> __builtin_ctz(d) & 1) ? 1 : -1;
    }
    case tCHR: {
      int c = memcmp(P(x), P(y), n);
      return (c > 0) - (c < 0);
    }
    case tFLT: return scan(P<UJ>(x), P<UJ>(y), n, [](UJ a, UJ b) { return sg(fkey(a), fkey(b)); });
    case tSYM: return scan(PI(x), PI(y), n, qsym);
    case tBYTE: return scan(P<int8_t>(x), P<int8_t>(y), n, num);
    case tSHORT: return scan(P<int16_t>(x), P<int16_t>(y), n, num);
    default: return Tw[t] == 5 ? scan(PI(x), PI(y), n, num) : scan(PL(x), PL(y), n, num);
  }
}

// Functions by their source text; one whose text cannot be made comes
// first.  Making a text may raise: the thread's error text is put back,
// for the order raises nothing.
[[gnu::noinline]] I qfn(V x, V y) {
  U el = elen();
  I eb = tl.err_blocks, es = tl.zkdiagshown;
  char *ee = tl.err_end, keep[sizeof tl.err_text];
  memcpy(keep, tl.err_text, el);
  V s = str(_r(x)), u = str(_r(y));
  I r = s && u ? qA(s, u) : (s != 0) - (u != 0);
  if (!s || !u) {
    memcpy(tl.err_text, keep, el);
    tl.err_end = ee;
    tl.err_blocks = eb, tl.zkdiagshown = es;
  }
  if (s) mr(s);
  if (u) mr(u);
  return r;
}

// A frame of the walk: pairs of item words a[i], b[i] for i below n, the
// first that differs deciding; tie when all of them are equal.
struct QF {
  const V *a, *b;
  U i, n;
  I tie;
};

// One pair: the answer, or a frame in *f (f->n nonzero) when items of
// theirs must be compared first.
I q1(V x, V y, QF *f) {
  if (x == y) return 0;
  int a = tp(x), b = tp(y), la = letter(a), lb = letter(b);
  if (la != lb) return la - lb;
  if (a <= tTSPAN) {
    J cx = cnt(x, a), cy = cnt(y, b), n = cx < cy ? cx : cy;
    I tie = sg(cx, cy);
    if (a == tLIST) {
      if (!cx && !cy) *f = {PA(x), PA(y), 0, 1, 0};  // the prototypes
      else if (n) *f = {PA(x), PA(y), 0, (U)n, tie};
      return tie;
    }
    if (n <= 0) return tie;
    I r;
    if (a == b) r = qsame(x, y, a, (UJ)n);
    else {  // integers stored two ways: by value
      r = 0;
      for (J i = 0; i < n && !r; i++) r = sg(iti(x, a, (UJ)i), iti(y, b, (UJ)i));
    }
    return r ? r : tie;
  }
  switch (a) {
    case tTABLE: case tDICT: *f = {PA(x), PA(y), 0, 2, 0}; return 0;
    case tINTA: case tLONGA: return sg(gl_(x), gl_(y));
    case tFLTA: return sg(fkey(P<UJ>(x)[0]), fkey(P<UJ>(y)[0]));
    case tSYMA: return qsym(ip(x), ip(y));
    case tLAMBDA: case tPROJ: case tCOMP: case tDERIV: return qfn(x, y);
    case tDATEA: case tTIMEA: case tMINUTEA: case tSECONDA: case tMONTHA: return sg(ip(x), ip(y));
    case tTSTAMPA: case tTSPANA: return sg(PL(x)[0], PL(y)[0]);
    default: return sg((J)x, (J)y);
  }
}

// Any answer other than 0 at any depth is the answer of the whole: each
// level's answer is the first nonzero one of its items.
[[gnu::noinline]] I qdeep(const QF &f0) {
  Stk<QF> st;
  st.push() = f0;
  for (;;) {
    QF &f = st.top();
    if (f.i == f.n) {
      I t = f.tie;
      st.pop();
      if (t || st.empty()) return t;
      continue;
    }
    V p = f.a[f.i], q = f.b[f.i];
    f.i++;
    QF g;
    g.n = 0;
    I r = q1(p, q, &g);
    if (g.n) st.push() = g;
    else if (r) return r;
  }
}

}  // namespace

I qA(V x, V y) {
  QF f;
  f.n = 0;
  I r = q1(x, y, &f);
  return f.n ? qdeep(f) : r;
}
I qV(V x, V y) { return qA(x, y); }
I qD(V x, V y) { return qA(x, y); }

void cis(V list, I *src, U n, I *dst) {
  const V *a = PA(list);
  for (U i = 0; i < n; i++) {
    I v = src[i];
    U lo = 0, hi = i;
    while (lo < hi) {
      U mid = (lo + hi) / 2;
      if (qA(a[v], a[dst[mid]]) < 0) hi = mid;
      else lo = mid + 1;
    }
    memmove(dst + lo + 1, dst + lo, (i - lo) * sizeof(I));
    dst[lo] = v;
  }
}

// The upper half sorts into its place in dst, the lower half into the
// slots of src that the upper half has been read from; the merge then
// fills dst from the front, never overtaking the upper half's unread
// items.  Recursion is by halves: depth log2(n).
void cms(V list, I *src, U n, I *dst) {
  const V *a = PA(list);
  U b = n / 2;
  if (n - b <= 16) cis(list, src + b, n - b, dst + b);
  else cms(list, src + b, n - b, dst + b);
  if (n < 34) cis(list, src, b, src + b);
  else cms(list, src, b, src + b);
  I *lo = src + b, *le = src + 2 * b, *up = dst + b, *ue = dst + n, *o = dst;
  while (lo < le && up < ue) *o++ = qA(a[*lo], a[*up]) > 0 ? *up++ : *lo++;
  while (lo < le) *o++ = *lo++;
}

// Two 64-bit lanes at a time over whole 32-byte blocks.
void of1LL(const J *s, J *d, UJ n) {
  const u64x2 z = vdup<u64x2>(FZ), nk = vdup<u64x2>(FN), m = vdup<u64x2>(FM);
  // b << 1 above 0xFFE0... unsigned, as a signed compare of both sides
  // with the top bit flipped.
  const i64x2 top = vdup<i64x2>((J)0x7FE0000000000000ll), sb = vdup<i64x2>(INT64_MIN);
  for (UJ i = 0, e = (n + 3) & ~(UJ)3; i < e; i += 2) {
    u64x2 b = vld<u64x2>(s + i), t = b << 1;
    u64x2 k = (b ^ ((vzero<u64x2>() - (b >> 63)) & m)) + z;
    k = vsel<u64x2>((i64x2)(t ^ (u64x2)sb) > top, nk, k);
    k = vsel<u64x2>((i64x2)t == vzero<i64x2>(), z, k);
    vst(d + i, k);
  }
}
void of0LL(const J *s, J *d, UJ n) {
  const u64x2 z = vdup<u64x2>(FZ), m = vdup<u64x2>(FM);
  for (UJ i = 0, e = (n + 3) & ~(UJ)3; i < e; i += 2) {
    u64x2 u = vld<u64x2>(s + i) - z;
    vst(d + i, u ^ ((u64x2)((i64x2)u < vzero<i64x2>()) & m));
  }
}

V of_(V x, I f) {
  int t = tp(x), from = f ? (t == tFLTA ? tFLTA : tFLT) : (t == tLONGA ? tLONGA : tLONG);
  if (t != from || !heap(x)) return et(x);
  int to = f ? from - 1 : from + 1;
  U n = nx(x);
  V r = x;
  if (hd(x)->rc == 1) {
    hd(x)->type = (int8_t)to;
    hd(x)->attr = 0;
  } else r = an(n, to);
  (f ? of1LL : of0LL)(PL(x), PL(r), n);
  if (r != x) mr(x);
  return r;
}

}  // namespace zk
