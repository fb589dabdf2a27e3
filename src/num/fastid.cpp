// fastid.cpp: the fast paths of the idiom operators (see fastid.h; the
// general routes, which define every value, are in fidiom.cpp).
//
// A fast path only runs where it is known to give the general route's
// value and type: the screens (a long null for arithmetic, a NaN or -0.0
// for float comparisons) run over the whole vector before any kernel, so a
// kernel never meets an item the verbs would treat specially.  Apart from
// allocation, which ends the process when it fails, nothing here can fail.
//
// Names: shk the shift-pair kernel (one template over verb, item type,
// result type, form and base), shv/shr its dispatch by verb and form, shw
// the exact width of + - * on 8 to 32 bits; Sy a symbol item compared by
// its text; shcnt the counts by the vector kernels; cwk compress-where; ck8/ck16 the value counts by table.
#include "num/fastid.h"

#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "core/sym.h"
#include "num/cmpcnt.h"

namespace zk {

namespace {

enum : int { vADD = 1, vSUB = 2, vMUL = 3, vDIV = 4, vMIN = 6, vMAX = 7, vLT = 8, vGT = 9, vEQ = 10 };

// A symbol item: `=` by id (a name has one id), `<` by the names' texts as
// unsigned bytes, a proper prefix first (C strcmp), which is the order of
// the verbs on symbols.
struct Sy {
  I i;
};
ZK_INLINE bool operator==(Sy a, Sy b) { return a.i == b.i; }
ZK_INLINE bool operator<(Sy a, Sy b) { return a.i != b.i && strcmp(su(a.i), su(b.i)) < 0; }
ZK_INLINE bool operator>(Sy a, Sy b) { return b < a; }

// a v b.  Integer + - * go through 64-bit unsigned arithmetic: exact for
// items of up to 32 bits, the wrap of the verbs for longs.
template <int Vb, class R, class T> ZK_INLINE R op(T a, T b) {
  if constexpr (Vb == vLT) return (R)(a < b);
  else if constexpr (Vb == vGT) return (R)(a > b);
  else if constexpr (Vb == vEQ) return (R)(a == b);
  else if constexpr (Vb == vMIN) return (R)(a < b ? a : b);
  else if constexpr (Vb == vMAX) return (R)(a > b ? a : b);
  else if constexpr (std::is_floating_point_v<T>) {
    if constexpr (Vb == vADD) return a + b;
    else if constexpr (Vb == vSUB) return a - b;
    else if constexpr (Vb == vMUL) return a * b;
    else return a / b;
  } else {
    UJ x = (UJ)(J)a, y = (UJ)(J)b;
    return (R)(J)(Vb == vADD ? x + y : Vb == vSUB ? x - y : x * y);
  }
}

// Item j of the shape is x[j+1] v x[j] in form 0 and x[j] v x[j+1] in form
// 1.  Base 300 counts the ones and writes nothing.
template <int Vb, class T, class R, int Fm, int Bs> J shk(const T *x, R *o, U m) {
  if constexpr (Bs == 300) {
    J c = 0;
    for (U j = 0; j < m; j++) c += op<Vb, G>(Fm ? x[j] : x[j + 1], Fm ? x[j + 1] : x[j]);
    return c;
  } else {
    for (U j = 0; j < m; j++) o[j] = op<Vb, R>(Fm ? x[j] : x[j + 1], Fm ? x[j + 1] : x[j]);
    return 0;
  }
}

template <int Vb, class T, class R, int Bs> ZK_INLINE J shf(int fm, const T *x, R *o, U m) {
  return fm ? shk<Vb, T, R, 1, Bs>(x, o, m) : shk<Vb, T, R, 0, Bs>(x, o, m);
}

// The comparisons, as a byte vector (base 200) or a count (base 300).
template <class T> V shcmp(int vb, int fm, bool sum, V x) {
  const T *p = (const T *)P(x);
  U m = nx(x) - 1;
  if (sum) {
    J c = vb == vLT ? shf<vLT, T, G, 300>(fm, p, nullptr, m)
          : vb == vGT ? shf<vGT, T, G, 300>(fm, p, nullptr, m)
                      : shf<vEQ, T, G, 300>(fm, p, nullptr, m);
    return az(c);
  }
  V r = an(m, tBYTE);
  G *o = P(r);
  if (vb == vLT) shf<vLT, T, G, 200>(fm, p, o, m);
  else if (vb == vGT) shf<vGT, T, G, 200>(fm, p, o, m);
  else shf<vEQ, T, G, 200>(fm, p, o, m);
  return r;
}

// The arithmetic verbs into a new vector of type rt, items R.
template <class T, class R> V sha(int vb, int fm, V x, int rt) {
  const T *p = (const T *)P(x);
  U m = nx(x) - 1;
  V r = an(m, rt);
  R *o = P<R>(r);
  switch (vb) {
    case vADD: shf<vADD, T, R, 200>(fm, p, o, m); break;
    case vSUB: shf<vSUB, T, R, 200>(fm, p, o, m); break;
    case vMUL: shf<vMUL, T, R, 200>(fm, p, o, m); break;
    case vDIV: shf<vDIV, T, R, 200>(fm, p, o, m); break;
    case vMIN: shf<vMIN, T, R, 200>(fm, p, o, m); break;
    default: shf<vMAX, T, R, 200>(fm, p, o, m); break;
  }
  return r;
}

// + - * on 8 to 32 bits: the exact results' range picks the width (never
// narrower than x's), as the verbs widen the two dropped vectors.
template <class T> V shw(int vb, int fm, V x) {
  const T *p = (const T *)P(x);
  U m = nx(x) - 1;
  J lo = 0, hi = 0;
  for (U j = 0; j < m; j++) {
    T u = fm ? p[j] : p[j + 1], w = fm ? p[j + 1] : p[j];
    J e = vb == vADD ? op<vADD, J>(u, w) : vb == vSUB ? op<vSUB, J>(u, w) : op<vMUL, J>(u, w);
    if (j == 0 || e < lo) lo = e;
    if (j == 0 || e > hi) hi = e;
  }
  int t = tp(x), a = tZ(lo), b = tZ(hi);
  int rt = t > a ? (t > b ? t : b) : (a > b ? a : b);
  switch (rt) {
    case tBYTE: return sha<T, int8_t>(vb, fm, x, rt);
    case tSHORT: return sha<T, int16_t>(vb, fm, x, rt);
    case tINT: return sha<T, int32_t>(vb, fm, x, rt);
    default: return sha<T, int64_t>(vb, fm, x, rt);
  }
}

// Does a float vector hold a NaN or -0.0, items the order treats apart?
bool fodd(const F *p, U n) {
  bool k = false;
  for (U i = 0; i < n; i++) {
    UJ b;
    memcpy(&b, p + i, 8);
    k |= p[i] != p[i] || b == 0x8000000000000000ull;
  }
  return k;
}

bool hasnj(const J *p, U n) {
  bool k = false;
  for (U i = 0; i < n; i++) k |= p[i] == NJ;
  return k;
}

// Counts (base 300) of the comparisons on integer-like items and floats by
// the vector counting kernels: item j+1 against item j in form 0, j against
// j+1 in form 1.  0 for other types, or floats holding a NaN or -0.0.
V shcnt(int t, int vb, int fm, V x) {
  int kt;
  switch (t) {
    case tBYTE: case tSHORT: case tINT: case tLONG: case tCHR: case tFLT: kt = t; break;
    default:
      if (t < tDATE || t > tTSPAN) return 0;
      kt = Tw[t] == 5 ? tINT : tLONG;
  }
  UJ w = (UJ)1 << (Tw[t] - 3), m = nx(x) - 1;
  const G *a = P(x) + (fm ? 0 : w), *b = P(x) + (fm ? w : 0);
  int32_t op = vb == vLT ? 0 : vb == vGT ? 1 : 2;
  if (kt != tFLT) return az((J)simd_cntcmpv(kt, a, b, m, op));
  int32_t f;
  UJ c = simd_cntcmpv_f64((const F *)a, (const F *)b, m, op, &f);
  return f ? 0 : az((J)c);
}

V shcmpT(int t, int vb, int fm, bool sum, V x) {
  if (sum && t != tSYM) return shcnt(t, vb, fm, x);
  switch (t) {
    case tBYTE: return shcmp<int8_t>(vb, fm, sum, x);
    case tSHORT: return shcmp<int16_t>(vb, fm, sum, x);
    case tINT: return shcmp<int32_t>(vb, fm, sum, x);
    case tLONG: return shcmp<int64_t>(vb, fm, sum, x);
    case tCHR: return shcmp<uint8_t>(vb, fm, sum, x);
    case tSYM: return shcmp<Sy>(vb, fm, sum, x);
    case tFLT: return fodd(PF(x), nx(x)) ? 0 : shcmp<F>(vb, fm, sum, x);
    default:
      if (t < tDATE || t > tTSPAN) return 0;
      return Tw[t] == 5 ? shcmp<int32_t>(vb, fm, sum, x) : shcmp<int64_t>(vb, fm, sum, x);
  }
}

V sharT(int t, int vb, int fm, V x) {
  bool pm = vb == vADD || vb == vSUB || vb == vMUL, mm = vb == vMIN || vb == vMAX;
  switch (t) {
    case tBYTE: return pm ? shw<int8_t>(vb, fm, x) : mm ? sha<int8_t, int8_t>(vb, fm, x, t) : 0;
    case tSHORT: return pm ? shw<int16_t>(vb, fm, x) : mm ? sha<int16_t, int16_t>(vb, fm, x, t) : 0;
    case tINT: return pm ? shw<int32_t>(vb, fm, x) : mm ? sha<int32_t, int32_t>(vb, fm, x, t) : 0;
    case tLONG: return (pm || mm) && !hasnj(PL(x), nx(x)) ? sha<int64_t, int64_t>(vb, fm, x, t) : 0;
    case tFLT: return pm || vb == vDIV ? sha<F, F>(vb, fm, x, t) : 0;
    default: return 0;
  }
}

// dst = r + t*v or r - t*v; the product is rounded before the sum (the
// build turns contraction off), two items a step past five.
template <int Mi> void fmk(F *d, const F *r, F t, const F *v, U n) {
  U i = 0;
  if (n > 5)
    for (; i + 2 <= n; i += 2) {
      F p0 = t * v[i], p1 = t * v[i + 1];
      d[i] = Mi ? r[i] - p0 : r[i] + p0;
      d[i + 1] = Mi ? r[i + 1] - p1 : r[i + 1] + p1;
    }
  for (; i < n; i++) {
    F p = t * v[i];
    d[i] = Mi ? r[i] - p : r[i] + p;
  }
}

// r[j] copied to the next free slot, which moves on when l[j] c k: no
// branch on the comparison.
template <class E, int C> U cwk(E *o, const E *r, const int8_t *l, int8_t k, U n) {
  U w = 0;
  for (U j = 0; j < n; j++) {
    o[w] = r[j];
    w += C == vLT ? l[j] < k : C == vGT ? l[j] > k : l[j] == k;
  }
  return w;
}

template <class E> U cwe(U c, E *o, const E *r, const int8_t *l, int8_t k, U n) {
  return c == vLT ? cwk<E, vLT>(o, r, l, k, n) : c == vGT ? cwk<E, vGT>(o, r, l, k, n) : cwk<E, vEQ>(o, r, l, k, n);
}

// Keys in the order of first occurrence, stopping once all d are found,
// and their counts narrowed: the dict of the value counts.
template <class T> V cdict(int t, const T *p, U n, const U *cnt, G *seen, T *dl, U d) {
  U k = 0;
  for (U i = 0; k < d; i++)
    if (!seen[(std::make_unsigned_t<T>)p[i]]) seen[(std::make_unsigned_t<T>)p[i]] = 1, dl[k++] = p[i];
  V keys = an(d, t), c = an(d, tLONG);
  memcpy(P(keys), dl, (size_t)d * sizeof(T));
  for (U j = 0; j < d; j++) PL(c)[j] = cnt[(std::make_unsigned_t<T>)dl[j]];
  return am(keys, sqzZ(c));
}

// Four tables in rotation, so consecutive equal items do not wait on one
// counter; the tables are then added into the first.
template <class T> U ctab(U *c, const T *p, U n) {
  constexpr U K = 1u << (8 * sizeof(T));
  U i = 0;
  for (; i + 4 <= n; i += 4) {
    c[(std::make_unsigned_t<T>)p[i]]++;
    c[K + (std::make_unsigned_t<T>)p[i + 1]]++;
    c[2 * K + (std::make_unsigned_t<T>)p[i + 2]]++;
    c[3 * K + (std::make_unsigned_t<T>)p[i + 3]]++;
  }
  for (; i < n; i++) c[(std::make_unsigned_t<T>)p[i]]++;
  U d = 0;
  for (U j = 0; j < K; j++) {
    c[j] += c[K + j] + c[2 * K + j] + c[3 * K + j];
    d += c[j] != 0;
  }
  return d;
}

V ck8(int t, V x) {
  U c[4 * 256] = {};
  G seen[256] = {};
  uint8_t dl[256];
  const uint8_t *p = P(x);
  U d = ctab(c, p, nx(x));
  return cdict(t, p, nx(x), c, seen, dl, d);
}

V ck16(V x) {
  U *c = (U *)calloc(4 * 65536, sizeof(U));
  uint16_t *dl = (uint16_t *)malloc(65536 * sizeof(uint16_t));
  G *seen = (G *)calloc(65536, 1);
  if (!c || !dl || !seen) {
    free(c), free(dl), free(seen);
    die("OOM");
  }
  const uint16_t *p = P<uint16_t>(x);
  U d = ctab(c, p, nx(x));
  V r = cdict(tSHORT, p, nx(x), c, seen, dl, d);
  free(c), free(dl), free(seen);
  return r;
}

}  // namespace

V shfast(J m, V x) {
  J base = m > 299 ? 300 : 200, b = m - base;
  int vb = (int)(b % 16), fm = b > 15;
  if (!heap(x)) return 0;
  int t = tp(x);
  if (isatom(t) || t < tBYTE || nx(x) < 2) return 0;
  if (b & 8) return vb <= vEQ ? shcmpT(t, vb, fm, base == 300, x) : 0;
  return base == 200 ? sharT(t, vb, fm, x) : 0;
}


V fmafast(J m, V r, V s, V v) {
  if (!heap(r) || !heap(v) || tp(r) != tFLT || tp(v) != tFLT || nx(r) != nx(v)) return 0;
  int ts = tp(s);
  if (ts != tFLTA && ts != tINTA && ts != tLONGA) return 0;
  // a long null converts to NaN, as the arithmetic verbs convert it
  J k = ts == tFLTA ? 0 : gl_(s);
  F t = ts == tFLTA ? PF(s)[0] : k == NJ ? F(__builtin_nan("")) : (F)k;
  V d = sole(hd(v)) ? v : sole(hd(r)) ? r : 0;
  V z = d ? _r(d) : an(nx(r), tFLT);
  (m ? fmk<1> : fmk<0>)(PF(z), PF(r), t, PF(v), nx(r));
  hd(z)->attr = 0;
  return z;
}

V cwfast(U c, V r, V s, V v) {
  if (!heap(r) || !heap(s)) return 0;
  int tr = tp(r), tl_ = tp(s), tv = tp(v);
  if (tr < tBYTE || tr > tSYM || (tl_ != tBYTE && tl_ != tCHR) || nx(s) != nx(r)) return 0;
  J k;
  if (tv == tINTA || tv == tLONGA) k = gl_(v);
  else if (tv == tCHRA && tl_ == tBYTE) k = (int8_t)ip(v);
  else return 0;
  if (k < -128 || k > 127) return 0;
  U n = nx(r);
  V z = an(n, tr);
  const int8_t *l = P<int8_t>(s);
  U w;
  switch (Tw[tr]) {
    case 3: w = cwe(c, P<int8_t>(z), P<int8_t>(r), l, (int8_t)k, n); break;
    case 4: w = cwe(c, P<int16_t>(z), P<int16_t>(r), l, (int8_t)k, n); break;
    case 5: w = cwe(c, PI(z), PI(r), l, (int8_t)k, n); break;
    default: w = cwe(c, PL(z), PL(r), l, (int8_t)k, n); break;
  }
  hd(z)->count = w;
  return z;
}

V cntfast(V x) {
  if (!heap(x)) return 0;
  int t = tp(x);
  if (t != tBYTE && t != tCHR && t != tSHORT) return 0;
  if (!nx(x)) return am(an(0, t), sqzZ(an(0, tLONG)));
  return t == tSHORT ? ck16(x) : ck8(t, x);
}
}  // namespace zk
