// red.h: reductions by element width, the over/scan/each-prior dispatchers
// of the primitive dyadic verbs, and the parallel integer min/max drivers
// (red.cpp, overscan.cpp).
//
// Names: the kernels of the four width tables end in the item width, G H I
// L = 8 16 32 64 bits (addf = sum, mulf = product, minf/maxf = extremes);
// addfZ..maxfZ fold a seed into such a reduction of an integer vector.
// Over (f) and scan (s) entries of a verb: admf `+` `*` over, subf `-`
// over, mmmf `&` `|` over, dexf/dexs `:`, adms `+` `*` scan, subs `-`
// scan, mnms/mxms `&`/`|` scan, eqls `=` scan; f___ and s___ are the
// generic fold and scan that apply the verb item by item.  arf/ars/arp
// dispatch over, scan and each-prior (arp and prior_k live in prior.cpp).
// gmmP/gmm1 = parallel integer min and max, maxfU = largest unsigned
// 32-bit value.  fk/kf map doubles to order keys and back.
//
// Over/scan/prior entries take (verb, seed, x): verb the dyadic primitive
// value (its slot 0..10 indexes the tables), seed consumed (0 = none, else
// an int, long or float atom), x borrowed; a new reference or 0 with the
// error text set.
#pragma once
#include "core/core.h"

namespace zk {

// ---- kernels by width: (data, n) -> signed 64-bit; n = 0 gives the
// identity (0, 1, the width's largest, the width's smallest) ----
typedef J (*redk)(const void *p, UJ n);
J addfG(const void *p, UJ n);
J addfH(const void *p, UJ n);
J addfI(const void *p, UJ n);
J addfL(const void *p, UJ n);
J mulfG(const void *p, UJ n);
J mulfH(const void *p, UJ n);
J mulfI(const void *p, UJ n);
J mulfL(const void *p, UJ n);
J minfG(const void *p, UJ n);
J minfH(const void *p, UJ n);
J minfI(const void *p, UJ n);
J minfL(const void *p, UJ n);
J maxfG(const void *p, UJ n);
J maxfH(const void *p, UJ n);
J maxfI(const void *p, UJ n);
J maxfL(const void *p, UJ n);
// Indexed by Tw[type] - 3.
extern const redk sum_w[4], prd_w[4], min_w[4], max_w[4];

// Seed s folded into the reduction of the integer vector x (borrowed; byte,
// short, int, long, or char as bytes).  Sums and products wrap mod 2^64.
// Large vectors are split over the pool; the result never depends on it.
J addfZ(J s, V x);
J mulfZ(J s, V x);
J minfZ(J s, V x);
J maxfZ(J s, V x);

// ---- over and scan ----
typedef V (*ovk)(V verb, V seed, V x);
V admf(V verb, V seed, V x);
V subf(V verb, V seed, V x);
V mmmf(V verb, V seed, V x);
V dexf(V verb, V seed, V x);
V f___(V verb, V seed, V x);  // the engine's ___f
V dexs(V verb, V seed, V x);
V adms(V verb, V seed, V x);
V subs(V verb, V seed, V x);
V mnms(V verb, V seed, V x);
V mxms(V verb, V seed, V x);
V eqls(V verb, V seed, V x);
V s___(V verb, V seed, V x);  // the engine's ___s
// By verb slot 0..10: : + - * % ! & | < > =
extern const ovk over_k[11], scan_k[11], prior_k[11];
V arf(V verb, V seed, V x);
V ars(V verb, V seed, V x);
V arp(V verb, V seed, V x);

// ---- shared by the over, scan and prior entries ----
// A seed atom (int, long or float) as a double, a long null as NaN;
// releases it.
F fseed(V s);
// f run on y, a temporary copy of an argument in a form f has a route for
// (0 when making it failed: the seed is then released and 0 returned);
// the seed passes to f and y is released afterwards.
V ontmp(ovk f, V verb, V seed, V y);
// Item i of an integer vector (byte, short, int or long; chars as bytes),
// widened.
ZK_INLINE J iat(V x, UJ i) {
  switch (Tw[tp(x)]) {
    case 3: return P<int8_t>(x)[i];
    case 4: return P<int16_t>(x)[i];
    case 5: return PI(x)[i];
    default: return PL(x)[i];
  }
}

// Workers of an element-wise job over n items: 1 up to 1,048,575 items,
// else min(T, n / 262,144, 64) with T read afresh (ZELKO_THREADS).
int pwk(UJ n);

// ---- parallel integer extremes and the unsigned maximum ----
// Minimum and maximum of n signed integers of width code w (0 byte .. 3
// long) over min(tasks, 64) pool tasks; n = 0 gives 0W and 0N.
void gmmP(const void *data, int w, UJ n, int tasks, J *mn, J *mx);
void gmm1(void *job, int k);  // its pool task
U maxfU(const U *v, UJ n);    // 0 for n = 0

// ---- float order keys: signed order of the keys is the float order, every
// NaN one key (0N) below all others, -0.0 and 0.0 one key (0) ----
ZK_INLINE J fk(F d) {
  if (d != d) return NJ;
  if (d == 0) return 0;
  J b;
  memcpy(&b, &d, 8);
  return b ^ ((b >> 63) & WJ);
}
ZK_INLINE F kf(J k) {
  if (k == NJ) {
    F n;
    UJ b = NF_BITS;
    memcpy(&n, &b, 8);
    return n;
  }
  J b = k ^ ((k >> 63) & WJ);
  F d;
  memcpy(&d, &b, 8);
  return d;
}

}  // namespace zk
