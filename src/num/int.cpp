// int.cpp: integer + - * & | with overflow widening, the range shift and
// the bitwise complement (see int.h for names and ownership).
//
// Arithmetic is optimistic: the whole vector is computed at the working
// width while one OR-accumulator collects overflow, and only a vector that
// overflowed is computed again one width wider.  When the first pass wrote
// into y, y is restored item by item from the results before the retry, so
// no operand item is lost.  Long arithmetic wraps and 0N in gives 0N out.
//
// One kernel body per operation serves every width and both operand kinds
// (x a vector, or x the broadcast atom: XA); the tables below instantiate
// it.  ark = + - * kernel, rst = undo of an in-place + or -, mmk = min/max,
// arZZ/arzZ = the vector/vector and atom/vector drivers.
#include "num/int.h"

#include <type_traits>

#include "core/err.h"
#include "core/simd.h"
#include "core/sym.h"

namespace zk {

namespace {

// Vector types of each item type: signed, unsigned, and signed at twice
// the lane width (for the products).
template <class T> struct zt;
template <> struct zt<int8_t> { typedef i8x16 S; typedef u8x16 Uv; typedef i16x8 W; };
template <> struct zt<int16_t> { typedef i16x8 S; typedef u16x8 Uv; typedef i32x4 W; };
template <> struct zt<int32_t> { typedef i32x4 S; typedef u32x4 Uv; typedef i64x2 W; };
template <> struct zt<int64_t> { typedef i64x2 S; typedef u64x2 Uv; };

// r[i] = x[i] op y[i] for i < n (x[i] read as a when XA); op 1 +, 2 -, 3 *.
// Returns whether any item overflowed T (never for long, which wraps and
// keeps 0N).  r is y itself or disjoint from both inputs, so the vector
// steps never read an item another step has written.
template <class T, int OP, bool XA>
bool ark(const T *x, T a, const T *y, T *r, UJ n) {
  typedef std::make_unsigned_t<T> TU;
  typedef typename zt<T>::Uv VU;
  typedef typename zt<T>::S VS;
  constexpr UJ L = 16 / sizeof(T);
  UJ i = 0;
  if constexpr (sizeof(T) == 8) {
    const i64x2 nn = vdup<i64x2>(NJ), va = vdup<i64x2>(a);
    for (; i + L <= n; i += L) {
      i64x2 p = XA ? va : vld<i64x2>(x + i), q = vld<i64x2>(y + i);
      VU s = OP == 1 ? (VU)p + (VU)q : OP == 2 ? (VU)p - (VU)q : (VU)p * (VU)q;
      vst(r + i, vsel<i64x2>((p == nn) | (q == nn), nn, (i64x2)s));
    }
    for (; i < n; i++) {
      TU p = (TU)(XA ? a : x[i]), q = (TU)y[i];
      TU s = OP == 1 ? p + q : OP == 2 ? p - q : p * q;
      r[i] = ((T)p == NJ || (T)q == NJ) ? NJ : (T)s;
    }
    return false;
  } else if constexpr (OP != 3) {
    // Overflow of a sum shows in the sign bit of (r^x)&(r^y): the result's
    // sign differs from both operands'.  Of a difference, (x^y)&(x^r).
    const VU va = vdup<VU>((TU)a);
    VU acc = {};
    for (; i + 2 * L <= n; i += 2 * L) {
      VU p0 = XA ? va : vld<VU>(x + i), p1 = XA ? va : vld<VU>(x + i + L);
      VU q0 = vld<VU>(y + i), q1 = vld<VU>(y + i + L);
      VU s0 = OP == 1 ? p0 + q0 : p0 - q0, s1 = OP == 1 ? p1 + q1 : p1 - q1;
      vst(r + i, s0);
      vst(r + i + L, s1);
      acc |= OP == 1 ? ((s0 ^ p0) & (s0 ^ q0)) | ((s1 ^ p1) & (s1 ^ q1))
                     : ((p0 ^ q0) & (p0 ^ s0)) | ((p1 ^ q1) & (p1 ^ s1));
    }
    TU o = 0;
    for (; i < n; i++) {
      TU p = (TU)(XA ? a : x[i]), q = (TU)y[i];
      TU s = (TU)(OP == 1 ? p + q : p - q);
      r[i] = (T)s;
      o |= (TU)(OP == 1 ? (s ^ p) & (s ^ q) : (p ^ q) & (p ^ s));
    }
    const TU sb = (TU)((TU)1 << (8 * sizeof(T) - 1));
    return (o & sb) || vany(acc & vdup<VU>(sb));
  } else {
    // Products at twice the width (which cannot overflow there), narrowed;
    // an item overflowed when its narrowed value widens back to another.
    typedef typename zt<T>::W VW;
    const VS va = vdup<VS>(a);
    VW acc = {};
    for (; i + L <= n; i += L) {
      VS p = XA ? va : vld<VS>(x + i), q = vld<VS>(y + i);
      VW lo = vwlo(p) * vwlo(q), hi = vwhi(p) * vwhi(q);
      VS m = vnarrow(lo, hi);
      vst(r + i, m);
      acc |= (vwlo(m) ^ lo) | (vwhi(m) ^ hi);
    }
    bool o = vany(acc);
    for (; i < n; i++) {
      J p = (J)(XA ? a : x[i]) * (J)y[i];
      r[i] = (T)p;
      o |= p != (J)(T)p;
    }
    return o;
  }
}

// Undo an in-place + or - whose results now sit in y: y[i] = r[i] - x[i]
// for +, x[i] - r[i] for -, modulo the width.
template <class T, int OP, bool XA>
void rst(const T *x, T a, T *y, UJ n) {
  typedef std::make_unsigned_t<T> TU;
  for (UJ i = 0; i < n; i++) {
    TU p = (TU)(XA ? a : x[i]), s = (TU)y[i];
    y[i] = (T)(TU)(OP == 1 ? s - p : p - s);
  }
}

// Minimum (m = 0) or maximum (m = all ones) over whole 32-byte blocks:
// m ^ min(m ^ x, m ^ y), the complement reversing the signed order.
template <class T, bool XA>
void mmk(const T *x, T a, const T *y, T *r, UJ n, bool mx) {
  typedef typename zt<T>::S VS;
  constexpr UJ L = 16 / sizeof(T);
  const VS m = vdup<VS>(mx ? (T)-1 : 0), va = vdup<VS>(a) ^ m;
  UJ e = (n + 2 * L - 1) / (2 * L) * (2 * L);
  for (UJ i = 0; i < e; i += 2 * L) {
    VS p0 = XA ? va : vld<VS>(x + i) ^ m, p1 = XA ? va : vld<VS>(x + i + L) ^ m;
    vst(r + i, m ^ vmin(p0, vld<VS>(y + i) ^ m));
    vst(r + i + L, m ^ vmin(p1, vld<VS>(y + i + L) ^ m));
  }
}

// Type-erased entries, one table row per operation, one column per width.
typedef bool (*arkf)(const void *x, J a, const void *y, void *r, UJ n);
typedef void (*rstf)(const void *x, J a, void *y, UJ n);
typedef void (*mmkf)(const void *x, J a, const void *y, void *r, UJ n, bool mx);

template <class T, int OP, bool XA> bool arkv(const void *x, J a, const void *y, void *r, UJ n) {
  return ark<T, OP, XA>((const T *)x, (T)a, (const T *)y, (T *)r, n);
}
template <class T, int OP, bool XA> void rstv(const void *x, J a, void *y, UJ n) {
  rst<T, OP, XA>((const T *)x, (T)a, (T *)y, n);
}
template <class T, bool XA> void mmkv(const void *x, J a, const void *y, void *r, UJ n, bool mx) {
  mmk<T, XA>((const T *)x, (T)a, (const T *)y, (T *)r, n, mx);
}

#define ZK_W4(F, ...) {F<int8_t, __VA_ARGS__>, F<int16_t, __VA_ARGS__>, F<int32_t, __VA_ARGS__>, F<int64_t, __VA_ARGS__>}
// [op - 1][XA][width class]
const arkf ark_t[3][2][4] = {
    {ZK_W4(arkv, 1, false), ZK_W4(arkv, 1, true)},
    {ZK_W4(arkv, 2, false), ZK_W4(arkv, 2, true)},
    {ZK_W4(arkv, 3, false), ZK_W4(arkv, 3, true)},
};
const rstf rst_t[2][2][4] = {
    {ZK_W4(rstv, 1, false), ZK_W4(rstv, 1, true)},
    {ZK_W4(rstv, 2, false), ZK_W4(rstv, 2, true)},
};
const mmkf mmk_t[2][4] = {ZK_W4(mmkv, false), ZK_W4(mmkv, true)};
#undef ZK_W4

// Conversion of n items between integer widths: sign-extends or keeps the
// low bits.
template <class O, class S> void cvz(void *o, const void *s, UJ n) {
  O *__restrict d = (O *)o;
  const S *__restrict p = (const S *)s;
  for (UJ i = 0; i < n; i++) d[i] = (O)p[i];
}
typedef void (*cvzf)(void *o, const void *s, UJ n);
#define ZK_C4(O) {cvz<O, int8_t>, cvz<O, int16_t>, cvz<O, int32_t>, cvz<O, int64_t>}
const cvzf cvz_t[4][4] = {ZK_C4(int8_t), ZK_C4(int16_t), ZK_C4(int32_t), ZK_C4(int64_t)};
#undef ZK_C4

// The destination of + - & |: y when this caller holds its only reference
// (and it is not also x), else a new vector of y's type.
ZK_INLINE V dst(V x, V y) {
  Hdr *h = hd(y);
  if (h->rc == 1 && y != x) {
    h->attr = 0;
    return y;
  }
  return an(h->count, h->type);
}

V arZZ(V x, V y, int op) {
  int cx = wc(tp(x)), w = cx > wc(tp(y)) ? cx : wc(tp(y));
  if (cx < w) {
    V c = cZ(4 + w, _r(x));
    if (!c) return mr(y), (V)0;
    V r = arZZ(c, y, op);
    mr(c);
    return r;
  }
  if (!(y = cZ(4 + w, y))) return 0;
  UJ n = nx(y);
  V d = op == 3 ? an((U)n, 4 + w) : dst(x, y);
  if (!ark_t[op - 1][0][w](P(x), 0, P(y), P(d), n)) {
    if (d != y) mr(y);
    return d;
  }
  if (d != y) mr(d);
  else rst_t[op - 1][0][w](P(x), 0, P(y), n);
  if (!(y = cZ(5 + w, y))) return 0;
  V c = cZ(5 + w, _r(x));
  if (!c) return mr(y), (V)0;
  V r = arZZ(c, y, op);
  mr(c);
  return r;
}

V arzZ(J a, V y, int op) {
  for (;;) {
    int ca = tZ(a) - 4, cy = wc(tp(y)), w = ca > cy ? ca : cy;
    if (!(y = cZ(4 + w, y))) return 0;
    UJ n = nx(y);
    V d = op == 3 ? an((U)n, 4 + w) : dst(0, y);
    if (!ark_t[op - 1][1][w](nullptr, a, P(y), P(d), n)) {
      if (d != y) mr(y);
      return d;
    }
    if (d != y) mr(d);
    else rst_t[op - 1][1][w](nullptr, a, P(y), n);
    if (!(y = cZ(5 + w, y))) return 0;
  }
}

}  // namespace

V cZ(int t, V x) {
  int s = tp(x);
  if (s == t) return x;
  if (s < tBYTE || s > tSYM || s == tFLT) return et(x);
  U n = nx(x);
  V r;
  if (Tw[s] == Tw[t]) {  // a char vector as bytes, symbol ids as ints
    if (hd(x)->rc == 1) {
      hd(x)->type = (int8_t)t;
      hd(x)->attr = 0;  // chars sort unsigned, bytes signed
      return x;
    }
    r = aV(t, n, P(x));
  } else {
    r = an(n, t);
    cvz_t[t - 4][wc(s)](P(r), P(x), n);
  }
  mr(x);
  return r;
}

V addZZ(V x, V y, I) { return arZZ(x, y, 1); }
V subZZ(V x, V y, I) { return arZZ(x, y, 2); }
V mulZZ(V x, V y, I) { return arZZ(x, y, 3); }
V addzZ(J a, V y, I) { return arzZ(a, y, 1); }
V subzZ(J a, V y, I) { return arzZ(a, y, 2); }
V mulzZ(J a, V y, I) { return arzZ(a, y, 3); }

V mmmZZ(V x, V y, I op) {
  int cx = wc(tp(x)), cy = wc(tp(y));
  if (cx < cy) {
    V c = cZ(4 + cy, _r(x));
    if (!c) return mr(y), (V)0;
    V r = mmmZZ(c, y, op);
    mr(c);
    return r;
  }
  if (!(y = cZ(4 + cx, y))) return 0;
  V d = dst(x, y);
  mmk_t[0][cx](P(x), 0, P(y), P(d), nx(y), op == 7);
  if (d != y) mr(y);
  return d;
}

V mmmzZ(J a, V y, I op) {
  int ca = tZ(a) - 4, cy = wc(tp(y)), w = ca > cy ? ca : cy;
  if (!(y = cZ(4 + w, y))) return 0;
  V d = dst(0, y);
  mmk_t[1][w](nullptr, a, P(y), P(d), nx(y), op == 7);
  if (d != y) mr(y);
  return d;
}

V addzE(J a, V r) {
  J s = PL(r)[0], e = PL(r)[1];
  // A null shift, or a range that starts at 0N, must give nulls as the
  // vector route does; a shift past 64 bits must widen and wrap as it does.
  if (a == NJ || s == NJ || (a > 0 ? e > WJ - a : s < NJ - a)) {
    V v = gZ(r);
    return v ? addzZ(a, v, 1) : 0;
  }
  mr(r);
  return aE(s + a, e + a);
}

V inv(V x) {
  if (!(x = mut(x))) return 0;
  UJ *p = P<UJ>(x), w = (((UJ)nx(x) << Tw[tp(x)]) + 255) / 256 * 4;
  for (UJ i = 0; i < w; i++) p[i] = ~p[i];
  return x;
}

}  // namespace zk
