// where.cpp: where (whr, monadic &): the ascending positions of the 1s of
// a byte mask, or each position i repeated by the count at i.
//
// Two routes for a byte vector.  The mask path assumes 0 and 1 and writes
// positions unconditionally at the current output slot, moving the slot
// on by one per nonzero byte, so it needs no branch per byte; the OR of all bytes tells afterwards whether the
// assumption held, and a byte above 1 hands the vector to the count path,
// which reads the bytes as counts.  Both give the same result on 0/1 data.
//
// Index results have the narrowest width that holds n-1 (n the input's
// count); a count vector of more than 2^31 items is refused ('limit)
// rather than given 64-bit repeats.  Bit-packed input gives 32-bit
// indices, 64-bit ones above 2^31 bits.
//
// Names: whr = the verb; whm = the mask path, whn = the count path, whb =
// bit-packed input; pwhr = the parallel mask path, whc / whw its two pool
// passes (count and OR of a chunk, then the chunk's positions); wz = the
// mask writer shared by the serial path and pass 2.
//
// The parallel where runs above 1,048,575 bytes in k = min(T, n / 262,144)
// chunks: pass 1 counts each chunk, the caller turns the counts into
// offsets, pass 2 writes each chunk from its offset.  Tasks read the mask
// and write disjoint slots; they allocate and raise nothing.
#include "core/err.h"
#include "core/pool.h"
#include "core/simd.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/red.h"
#include "order/order.h"

namespace zk {

namespace {

constexpr UJ ONES = 0x0101010101010101ull;

// Positions b..e-1 of the mask m whose byte is nonzero, written from o
// (room for e-b items); returns how many, and writes nothing past them.
// The bytes are ORed into *acc.
template <class T> UJ wz(const G *m, UJ b, UJ e, T *o, UJ *acc) {
  UJ c = 0, a = 0, i = b;
  for (; i + 8 <= e; i += 8) {
    UJ w;
    memcpy(&w, m + i, 8);
    a |= w;
    if (!w) continue;
    if (w == ONES) {
      for (int j = 0; j < 8; j++) o[c + j] = (T)(i + j);
      c += 8;
      continue;
    }
    // Every slot written and moved on by nonzero bytes, up to the word's
    // last nonzero byte: no write lands past the count, so parallel
    // chunks writing side by side never touch each other's slots.
    int hb = (63 - __builtin_clzll(w)) >> 3;
    for (int j = 0; j <= hb; j++) {
      o[c] = (T)(i + j);
      c += ((w >> (8 * j)) & 0xFF) != 0;
    }
  }
  for (; i < e; i++) {
    a |= m[i];
    if (m[i]) o[c++] = (T)i;
  }
  *acc |= a;
  return c;
}

// The OR of the eight bytes of a word.
ZK_INLINE G orb(UJ a) {
  a |= a >> 32, a |= a >> 16, a |= a >> 8;
  return (G)a;
}

// The parallel-where job, one per pwhr call, on the caller's stack.
struct Wj {
  const G *m;    // mask
  void *o;       // output data
  U n;           // mask bytes
  I k;           // chunks, 2..64
  G w;           // 1: 16-bit indices, 2: 32-bit
  UJ off[65];    // pass 1: count of chunk i in slot i+1; then offsets
  G fl[64];      // pass 1: OR of chunk i's bytes
};

ZK_INLINE UJ clo(const Wj *j, int i) { return (UJ)j->n * (UJ)i / (UJ)j->k; }

}  // namespace

void whc(void *job, int i) {
  Wj *j = (Wj *)job;
  UJ b = clo(j, i), e = clo(j, i + 1), c = 0;
  u8x16 a = vzero<u8x16>(), z = vzero<u8x16>();
  UJ p = b;
  for (; p + 16 <= e; p += 16) {
    u8x16 v = vld<u8x16>(j->m + p);
    a |= v;
    c += 16 - __builtin_popcount((U)vbits(v == z));
  }
  G f = 0;
  for (int q = 0; q < 16; q++) f |= a[q];
  for (; p < e; p++) f |= j->m[p], c += j->m[p] != 0;
  j->off[i + 1] = c;
  j->fl[i] = f;
}

void whw(void *job, int i) {
  Wj *j = (Wj *)job;
  UJ b = clo(j, i), e = clo(j, i + 1), a = 0;
  if (j->w == 1) wz(j->m, b, e, P<uint16_t>((V)(uintptr_t)j->o) + j->off[i], &a);
  else wz(j->m, b, e, P<U>((V)(uintptr_t)j->o) + j->off[i], &a);
}

UJ pwhr(const G *mask, void *out, U n, G w, I k, G *flag) {
  Wj j;
  j.m = mask, j.o = out, j.n = n, j.k = k, j.w = w;
  j.off[0] = 0;
  par_run(k, whc, &j);
  G f = 0;
  for (int i = 0; i < k; i++) f |= j.fl[i];
  if (f > 1) return *flag = 1, 0;
  for (int i = 0; i < k; i++) j.off[i + 1] += j.off[i];
  par_run(k, whw, &j);
  return j.off[k];
}

namespace {

// c copies of each position i, c the count at i (all validated).
template <class S, class T> void rep(const S *s, UJ n, T *o) {
  for (UJ i = 0; i < n; i++) {
    UJ c = (UJ)s[i];
    if constexpr (sizeof(T) == 1) {
      memset(o, (int)i, c);
    } else {
      typedef std::conditional_t<sizeof(T) == 2, u16x8, u32x4> Vt;
      Vt d = vdup<Vt>((T)i);
      UJ q = 0;
      for (; q + NL<Vt> <= c; q += NL<Vt>) vst(o + q, d);
      for (; q < c; q++) o[q] = (T)i;
    }
    o += c;
  }
}

template <class S> void repS(const S *s, UJ n, V r) {
  switch (tp(r)) {
    case tBYTE: return rep(s, n, P<uint8_t>(r));
    case tSHORT: return rep(s, n, P<uint16_t>(r));
    default: return rep(s, n, P<U>(r));
  }
}

// The count path: x an integer vector of counts, consumed.
V whn(V x) {
  int t = tp(x), c = Tw[t] - 3;
  UJ n = nx(x);
  J tot = sum_w[c](P(x), n), mn = min_w[c](P(x), n), mx = max_w[c](P(x), n);
  if (mn < 0) return ed(x);
  if (tot < (mx > 0 ? mx : 0) || (UJ)tot > 0xFFFFFFFFull) return ez(x);  // wrapped or too many
  int it = tZ(n ? (J)n - 1 : 0);
  if (it == tLONG) return ez(x);
  V r = an((U)tot, it);
  switch (c) {
    case 0: repS(P<int8_t>(x), n, r); break;
    case 1: repS(P<int16_t>(x), n, r); break;
    case 2: repS(PI(x), n, r); break;
    default: repS(PL(x), n, r);
  }
  mr(x);
  return r;
}

// The mask path: x a byte vector of n >= 1 items, consumed.
V whm(V x) {
  U n = nx(x);
  int t = tZ((J)n - 1);
  V r = an(n, t);
  UJ c, a = 0;
  if (n > 0xFFFFF) {
    UJ k = (UJ)par_thread_count(), q = n / 262144;
    if (q < k) k = q;
    if (k >= 2 && (t == tSHORT || t == tINT)) {
      G f = 0;
      c = pwhr(P(x), P(r), n, t == tSHORT ? 1 : 2, (I)k, &f);
      if (f) return mr(r), whn(x);
      hd(r)->count = (U)c;
      return mr(x), r;
    }
  }
  switch (t) {
    case tBYTE: c = wz(P(x), 0, n, P<uint8_t>(r), &a); break;
    case tSHORT: c = wz(P(x), 0, n, P<uint16_t>(r), &a); break;
    case tINT: c = wz(P(x), 0, n, P<U>(r), &a); break;
    default: c = wz(P(x), 0, n, P<UJ>(r), &a);
  }
  if (orb(a) > 1) return mr(r), whn(x);  // not a mask: the bytes are counts
  hd(r)->count = (U)c;
  mr(x);
  return r;
}

template <class T> UJ wbits(const UJ *w, UJ n, T *o) {
  UJ c = 0, nw = (n + 63) / 64;
  for (UJ q = 0; q < nw; q++) {
    UJ v = w[q];
    if (q == nw - 1 && (n & 63)) v &= (1ull << (n & 63)) - 1;
    for (; v; v &= v - 1) o[c++] = (T)(64 * q + (UJ)__builtin_ctzll(v));
  }
  return c;
}

// Bit-packed input, n bits: 32-bit positions, 64-bit ones past 2^31 bits.
V whb(V x) {
  UJ n = nx(x), nw = (n + 63) / 64, tot = 0;
  const UJ *w = P<UJ>(x);
  for (UJ q = 0; q < nw; q++) {
    UJ v = w[q];
    if (q == nw - 1 && (n & 63)) v &= (1ull << (n & 63)) - 1;
    tot += (UJ)__builtin_popcountll(v);
  }
  bool wide = n > 0x80000000ull;
  V r = an((U)tot, wide ? tLONG : tINT);
  if (wide) wbits(w, n, P<UJ>(r));
  else wbits(w, n, P<U>(r));
  mr(x);
  return r;
}

V kc_dw;  // the deep where
constexpr char DW[] = "{$[`A~@x;(,&#'*'x),,'/x@\\:!0|/#'x:o'x;,&x]}";

}  // namespace

V whr(V x) {
  int t = tp(x);
  switch (t) {
    case tLIST:
      if (!nx(x)) return mr(x), _r(ce[tINT]);
      return k1(&kc_dw, DW, x);
    case tRANGE: return (x = gZ(x)) ? whr(x) : 0;
    case tBOOL: return whb(x);
    case tBYTE: return nx(x) ? whm(x) : whn(x);
    case tSHORT: case tINT: case tLONG: return whn(x);
    case tDICT: return kby(x, whr);
    case tINTA: case tLONGA: return whr(enl(x));
    default: return et(x);
  }
}

}  // namespace zk
