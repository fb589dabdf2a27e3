// icmp.cpp: integer < > = into byte vectors, % into floats, and the
// modulus (see int.h for names and ownership).
//
// Comparisons and % are element-wise and split over the persistent pool
// above 1,048,575 items by the shared element-wise runner (flt.h), each
// worker taking one run of whole 32-item granules; every item is computed
// the same way whichever worker gets it, so results never depend on the
// thread count.  cmk = compare kernel over 32-byte blocks, dvk = divide
// kernel (dva with the numerator one double), mdk/fdk = modulus and
// floor-division kernels.
#include <algorithm>
#include <cmath>
#include <type_traits>

#include "core/simd.h"
#include "num/flt.h"
#include "num/int.h"

namespace zk {

namespace {

// ---- compare kernels ----
template <class T> struct cv;
template <> struct cv<int8_t> { typedef i8x16 S; };
template <> struct cv<int16_t> { typedef i16x8 S; };
template <> struct cv<int32_t> { typedef i32x4 S; };
template <> struct cv<int64_t> { typedef i64x2 S; };

// Lane masks of one 32-byte block (two registers) as 0/1 bytes: one byte per
// item, so 32, 16, 8 or 4 bytes.
ZK_INLINE void mb8(G *o, i8x16 a, i8x16 b) {
  vst(o, a & 1);
  vst(o + 16, b & 1);
}
ZK_INLINE void mb8(G *o, i16x8 a, i16x8 b) { vst(o, vnarrow(a, b) & 1); }
ZK_INLINE void mb8(G *o, i32x4 a, i32x4 b) {
  i16x8 h = vnarrow(a, b);
  i8x16 c = vnarrow(h, h) & 1;
  __builtin_memcpy(o, &c, 8);
}
ZK_INLINE void mb8(G *o, i64x2 a, i64x2 b) {
  i32x4 s = vnarrow(a, b);
  i16x8 h = vnarrow(s, s);
  i8x16 c = vnarrow(h, h) & 1;
  __builtin_memcpy(o, &c, 4);
}

// out[i] = l[i] < r[i] (K 0), l[i] = r[i] (K 1) or l[i] > r[i] (K 2), with
// the atom a standing for every l[i] when XA.  Whole blocks, no branch per
// item.
template <class T, int K, bool XA>
void cmk(const T *l, T a, const T *r, G *out, UJ n) {
  typedef typename cv<T>::S VS;
  constexpr UJ L = 16 / sizeof(T);
  const VS va = vdup<VS>(a);
  for (UJ i = 0; i < n; i += 2 * L, out += 2 * L) {
    VS p0 = XA ? va : vld<VS>(l + i), p1 = XA ? va : vld<VS>(l + i + L);
    VS q0 = vld<VS>(r + i), q1 = vld<VS>(r + i + L);
    if constexpr (K == 0) mb8(out, p0 < q0, p1 < q1);
    else if constexpr (K == 1) mb8(out, p0 == q0, p1 == q1);
    else mb8(out, p0 > q0, p1 > q1);
  }
}

template <class T, int K> void cmkv(const void *l, const void *r, G *out, UJ n) {
  cmk<T, K, false>((const T *)l, 0, (const T *)r, out, n);
}
template <class T, int K> void cmka(J a, const void *v, G *out, UJ n) {
  cmk<T, K, true>(nullptr, (T)a, (const T *)v, out, n);
}

// ---- division ----
template <class T> ZK_INLINE F fl(T v) {
  if constexpr (sizeof(T) == 8) return v == NJ ? NAN : (F)v;
  else return (F)v;
}

// o[i] = x[i] / y[i] in doubles, x[i] read as the one double *x when XA
// (the runner gives it item size 0); long nulls read as NaN.  o may be y
// itself (same item size): each item is read before its own slot is
// written.
template <class TX, class TY, bool XA> void dvk(const void *x, const void *y, void *o, UJ m) {
  const TX *p = (const TX *)x;
  const TY *q = (const TY *)y;
  F *d = (F *)o, num = XA ? *(const F *)x : 0;
  for (UJ i = 0; i < m; i++) d[i] = (XA ? num : fl(p[i])) / fl(q[i]);
}

#define ZK_D4(X, A) {dvk<X, int8_t, A>, dvk<X, int16_t, A>, dvk<X, int32_t, A>, dvk<X, int64_t, A>}
const k3f dvk_t[4][4] = {ZK_D4(int8_t, false), ZK_D4(int16_t, false), ZK_D4(int32_t, false),
                         ZK_D4(int64_t, false)};
const k3f dva_t[4] = ZK_D4(int8_t, true);
#undef ZK_D4

// The float destination of y's quotients: y itself when unshared and of
// 8-byte items (it is retyped once the kernel has read it), else new.
ZK_INLINE V fdst(V x, V y) {
  Hdr *h = hd(y);
  if (h->rc == 1 && Tw[h->type] == 6 && y != x) return y;
  return an(h->count, tFLT);
}

ZK_INLINE V fdone(V d, V y) {
  if (d == y) {
    hd(y)->type = tFLT;
    hd(y)->attr = 0;
  } else mr(y);
  return d;
}

// ---- modulus ----
// r[i] = y[i] mod a in [0, a), a > 0: in 32 bits when both fit, else 64.
template <class TO, class TI> void mdk(void *r, const void *y, J a, UJ n) {
  TO *o = (TO *)r;
  const TI *v = (const TI *)y;
  if (sizeof(TI) <= 4 && a <= INT32_MAX) {
    I m = (I)a;
    for (UJ i = 0; i < n; i++) {
      I q = (I)v[i] % m;
      o[i] = (TO)(q < 0 ? q + m : q);
    }
  } else {
    for (UJ i = 0; i < n; i++) {
      J q = (J)v[i] % a;
      o[i] = (TO)(q < 0 ? q + a : q);
    }
  }
}
typedef void (*mdkf)(void *r, const void *y, J a, UJ n);
#define ZK_M4(O) {mdk<O, int8_t>, mdk<O, int16_t>, mdk<O, int32_t>, mdk<O, int64_t>}
const mdkf mdk_t[4][4] = {ZK_M4(int8_t), ZK_M4(int16_t), ZK_M4(int32_t), ZK_M4(int64_t)};
#undef ZK_M4

// r[i] = floor(y[i] / g), g > 0: an arithmetic shift for a power of two
// (k = log2 g), else truncating division of v, or the complement of that of
// ~v for negative v.
template <class T> void fdk(void *r, const void *y, UJ g, UJ n) {
  T *o = (T *)r;
  const T *v = (const T *)y;
  if (!(g & (g - 1))) {
    int k = __builtin_ctzll(g);
    for (UJ i = 0; i < n; i++) o[i] = (T)((J)v[i] >> k);
  } else if (sizeof(T) <= 4 && g <= INT32_MAX) {
    I d = (I)g;
    for (UJ i = 0; i < n; i++) {
      I w = v[i];
      o[i] = (T)(w >= 0 ? w / d : ~(~w / d));
    }
  } else {
    for (UJ i = 0; i < n; i++) {
      J w = v[i];
      o[i] = (T)(w >= 0 ? (J)((UJ)w / g) : ~(J)((UJ)~w / g));
    }
  }
}
typedef void (*fdkf)(void *r, const void *y, UJ g, UJ n);
const fdkf fdk_t[4] = {fdk<int8_t>, fdk<int16_t>, fdk<int32_t>, fdk<int64_t>};

// The mask repeated across a 64-bit word, per width class.
constexpr UJ REP[4] = {0x0101010101010101ull, 0x0001000100010001ull, 0x0000000100000001ull, 1};

}  // namespace

// ---- the twenty compare kernels and their tables ----
void ltnG(const void *l, const void *r, G *o, UJ n) { cmkv<int8_t, 0>(l, r, o, n); }
void ltnH(const void *l, const void *r, G *o, UJ n) { cmkv<int16_t, 0>(l, r, o, n); }
void ltnI(const void *l, const void *r, G *o, UJ n) { cmkv<int32_t, 0>(l, r, o, n); }
void ltnL(const void *l, const void *r, G *o, UJ n) { cmkv<int64_t, 0>(l, r, o, n); }
void eqlG(const void *l, const void *r, G *o, UJ n) { cmkv<int8_t, 1>(l, r, o, n); }
void eqlH(const void *l, const void *r, G *o, UJ n) { cmkv<int16_t, 1>(l, r, o, n); }
void eqlI(const void *l, const void *r, G *o, UJ n) { cmkv<int32_t, 1>(l, r, o, n); }
void eqlL(const void *l, const void *r, G *o, UJ n) { cmkv<int64_t, 1>(l, r, o, n); }
void ltng(J a, const void *v, G *o, UJ n) { cmka<int8_t, 0>(a, v, o, n); }
void ltnh(J a, const void *v, G *o, UJ n) { cmka<int16_t, 0>(a, v, o, n); }
void ltni(J a, const void *v, G *o, UJ n) { cmka<int32_t, 0>(a, v, o, n); }
void ltnl(J a, const void *v, G *o, UJ n) { cmka<int64_t, 0>(a, v, o, n); }
void gtng(J a, const void *v, G *o, UJ n) { cmka<int8_t, 2>(a, v, o, n); }
void gtnh(J a, const void *v, G *o, UJ n) { cmka<int16_t, 2>(a, v, o, n); }
void gtni(J a, const void *v, G *o, UJ n) { cmka<int32_t, 2>(a, v, o, n); }
void gtnl(J a, const void *v, G *o, UJ n) { cmka<int64_t, 2>(a, v, o, n); }
void eqlg(J a, const void *v, G *o, UJ n) { cmka<int8_t, 1>(a, v, o, n); }
void eqlh(J a, const void *v, G *o, UJ n) { cmka<int16_t, 1>(a, v, o, n); }
void eqli(J a, const void *v, G *o, UJ n) { cmka<int32_t, 1>(a, v, o, n); }
void eqll(J a, const void *v, G *o, UJ n) { cmka<int64_t, 1>(a, v, o, n); }

const cmpvk cmp_vv[8] = {ltnG, ltnH, ltnI, ltnL, eqlG, eqlH, eqlI, eqlL};
const cmpak cmp_av[12] = {ltng, ltnh, ltni, ltnl, gtng, gtnh, gtni, gtnl, eqlg, eqlh, eqli, eqll};

V cmpZZ(V x, V y, I op) {
  int cx = wc(tp(x)), cy = wc(tp(y));
  if (cx < cy) {
    V c = cZ(4 + cy, _r(x));
    if (!c) return mr(y), (V)0;
    V r = cmpZZ(c, y, op);
    mr(c);
    return r;
  }
  if (cy < cx && !(y = cZ(4 + cx, y))) return 0;
  U n = nx(x), s = 1u << cx;
  V o = an(n, tBYTE);
  // x > y is y < x.
  pk3(cmp_vv[cx + (op == 10 ? 4 : 0)], P(op == 9 ? y : x), P(op == 9 ? x : y), P(o), n, 32, s, s,
      1, n);
  mr(y);
  return o;
}

V cmpzZ(J a, V y, I op) {
  int cy = wc(tp(y));
  U n = nx(y);
  V o = an(n, tBYTE);
  if (tZ(a) - 4 > cy) {
    // a lies outside every item's range: one answer for all.
    memset(P(o), op == 8 ? a < 0 : op == 9 ? a > 0 : 0, n);
  } else pk1(cmp_av[cy + 4 * (op - 8)], a, P(y), P(o), n, 1u << cy);
  mr(y);
  return o;
}

V dvdZZ(V x, V y, I) {
  V d = fdst(x, y);
  U n = nx(y), cx = wc(tp(x)), cy = wc(tp(y));
  pk3(dvk_t[cx][cy], P(x), P(y), PF(d), n, 32, 1u << cx, 1u << cy, 8, n);
  return fdone(d, y);
}

V dvdzZ(J a, V y, I) {
  V d = fdst(0, y);
  U n = nx(y), cy = wc(tp(y));
  F num = fl(a);
  pk3(dva_t[cy], &num, P(y), PF(d), n, 32, 0, 1u << cy, 8, n);
  return fdone(d, y);
}

V modzQ(J a, V y, I) {
  if (a == NJ) {
    U n = nx(y);
    mr(y);
    V r = an(n, tLONG);
    std::fill_n(PL(r), n, NJ);
    return r;
  }
  if (!a) return cZ(tp(y) == tCHR ? tBYTE : tp(y), y);
  if (tp(y) == tLONG) {
    const J *v = PL(y);
    U n = nx(y), i = 0;
    while (i < n && v[i] != NJ) i++;
    if (i < n) {  // nulls survive: the result is a long vector
      V r = modzZ(a, _r(y));
      if (r) r = cZ(tLONG, r);
      if (r) r = mut(r);
      if (!r) return mr(y), (V)0;
      for (J *p = PL(r); i < n; i++)
        if (v[i] == NJ) p[i] = NJ;
      mr(y);
      return r;
    }
  }
  return modzZ(a, y);
}

V modzZ(J a, V y) {
  if (tp(y) == tCHR && !(y = cZ(tBYTE, y))) return 0;
  int ty = tp(y), cy = wc(ty);
  U n = nx(y);
  if (a < 0) {
    V r = an(n, ty);
    fdk_t[cy](P(r), P(y), -(UJ)a, n);
    mr(y);
    return r;
  }
  if (a & (a - 1)) {
    // Remainders lie in [0, a): the narrowest type holding a holds them all.
    int t = tZ(a);
    V r = t == ty && hd(y)->rc == 1 ? y : an(n, t);
    hd(r)->attr = 0;
    mdk_t[t - 4][cy](P(r), P(y), a, n);
    if (r != y) mr(y);
    return r;
  }
  // A power of two: the low bits, one AND per word.
  J m = a - 1;
  int t = tZ(m);
  UJ w = (((UJ)n << Tw[t]) + 255) / 256 * 4, k = (UJ)m * REP[t - 4];
  if (t == ty && hd(y)->rc > 1) {
    V r = an(n, t);
    const UJ *s = P<UJ>(y);
    UJ *p = P<UJ>(r);
    for (UJ i = 0; i < w; i++) p[i] = s[i] & k;
    mr(y);
    return r;
  }
  if (!(y = cZ(t, y)) || !(y = mut(y))) return 0;
  UJ *p = P<UJ>(y);
  for (UJ i = 0; i < w; i++) p[i] &= k;
  return y;
}

}  // namespace zk
