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
// its text; cwk compress-where; ck8/ck16 the value counts by table.
#include "num/fastid.h"

#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "core/sym.h"

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

V shcmpT(int t, int vb, int fm, bool sum, V x) {
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

}  // namespace zk
