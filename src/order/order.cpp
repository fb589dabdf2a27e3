// order.cpp: the order keys of floats (of_), the total order of two
// values (qA), distinct (unq) and find (fnd).
//
// least version: of_ is complete; qA orders symbol atoms by their text,
// numbers by value (floats by their order keys) and any other pair by type
// code alone; unq and fnd hash the items of vectors, lists and tables
// (equality is match, mtc_) without the attribute shortcuts of the real
// search.  The ordering owner completes them.
//
// Order keys: a non-negative double's bits are already in order as a
// signed integer; a negative double's key is minus its magnitude bits, so
// both zeros get key 0; every NaN gets the one key just below -0w's.
#include "order/order.h"

#include <bit>
#include <cstring>
#include <vector>
#include "core/err.h"
#include "core/sym.h"
#include "list/list.h"

namespace zk {

namespace {

constexpr J NINF_KEY = -(J)0x7FF0000000000000ll;  // key of -0w
constexpr J NAN_KEY = NINF_KEY - 1;

ZK_INLINE J fkey(F d) {
  if (d != d) return NAN_KEY;
  if (d == 0) return 0;
  UJ b = std::bit_cast<UJ>(d);
  return b >> 63 ? -(J)(b & 0x7FFFFFFFFFFFFFFFull) : (J)b;
}
ZK_INLINE F fval(J k) {
  if (k < NINF_KEY) return std::bit_cast<F>(NF_BITS);
  return k >= 0 ? std::bit_cast<F>((UJ)k) : std::bit_cast<F>((UJ)-k | 0x8000000000000000ull);
}

ZK_INLINE bool intc(int t) { return t >= tRANGE && t <= tLONG; }

// Item i of a flat vector as a 64-bit key: integers by value (every width
// one class, as match has it), floats by bits with one NaN, the rest by
// their stored item.
J geti(V x, int t, UJ i) {
  switch (t) {
    case tRANGE: return PL(x)[0] + (J)i;
    case tBOOL: return (P(x)[i >> 3] >> (i & 7)) & 1;
    case tBYTE: case tCHR: return P<int8_t>(x)[i];
    case tSHORT: return P<int16_t>(x)[i];
    case tFLT: {
      UJ b = P<UJ>(x)[i];
      F d = std::bit_cast<F>(b);
      return d != d ? (J)NF_BITS : (J)b;
    }
    default: return Tw[t] == 5 ? PI(x)[i] : PL(x)[i];
  }
}

// The class whose items compare as flat keys, or -1.
ZK_INLINE int flat(int t) {
  if (intc(t)) return tLONG;
  return t >= tFLT && t <= tTSPAN ? t : -1;
}

ZK_INLINE UJ mix(UJ h, UJ v) {
  h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
  return h * 0xFF51AFD7ED558CCDull;
}

// A hash that agrees with match: equal values hash equal.
UJ hv(V x) {
  int t = tp(x);
  if (t == tINTA || t == tLONGA) return mix(1, (UJ)gl_(x));
  if (t == tFLTA) return mix(2, (UJ)geti(x, tFLT, 0));
  if (t >= tINTA && t != tTSTAMPA && t != tTSPANA) return mix(t, heap(x) ? 0 : (U)x);
  if (t >= tINTA) return mix(t, (UJ)PL(x)[0]);
  J n = _n(x);
  UJ h = mix(intc(t) ? 3 : t, (UJ)n);
  if (t == tLIST || t == tDICT || t == tTABLE) {
    U m = t == tLIST ? (U)n : 2;
    for (U i = 0; i < m; i++) h = mix(h, hv(PA(x)[i]));
    return h;
  }
  for (J i = 0; i < n; i++) h = mix(h, (UJ)geti(x, t, (UJ)i));
  return h;
}

// Open-addressed table of item positions of x (first occurrences).
struct Tab {
  std::vector<U> s;  // position + 1, 0 empty
  UJ m;
};

ZK_INLINE UJ h64(UJ v) { return mix(0x51ED27, v); }

// Positions in x of the items of y (0N when absent); x borrowed, y
// borrowed; n items of y.
void look(V x, V y, J *out) {
  int tx = tp(x), ty = tp(y);
  J nx_ = _n(x), ny = _n(y);
  Tab T;
  T.m = 16;
  while (T.m < 2 * (UJ)nx_) T.m <<= 1;
  T.s.assign(T.m, 0);
  int fx = flat(tx);
  bool fl = fx >= 0 && fx == flat(ty);
  std::vector<V> xi;
  if (!fl) {
    xi.resize(nx_);
    for (J i = 0; i < nx_; i++) xi[i] = ii(x, i);
  }
  auto key = [&](V v, int t, J i, V item) { return fl ? h64((UJ)geti(v, t, (UJ)i)) : hv(item); };
  for (J i = 0; i < nx_; i++) {
    UJ h = key(x, tx, i, fl ? 0 : xi[i]) & (T.m - 1);
    for (;; h = (h + 1) & (T.m - 1)) {
      U p = T.s[h];
      if (!p) {
        T.s[h] = (U)i + 1;
        break;
      }
      if (fl ? geti(x, tx, p - 1) == geti(x, tx, (UJ)i) : mtc_(xi[p - 1], xi[i])) break;
    }
  }
  for (J j = 0; j < ny; j++) {
    V it = fl ? 0 : ii(y, j);
    UJ h = key(y, ty, j, it) & (T.m - 1);
    J r = NJ;
    for (;; h = (h + 1) & (T.m - 1)) {
      U p = T.s[h];
      if (!p) break;
      if (fl ? geti(x, tx, p - 1) == geti(y, ty, (UJ)j) : mtc_(xi[p - 1], it)) {
        r = p - 1;
        break;
      }
    }
    out[j] = r;
    if (it) mr(it);
  }
  for (V v : xi) mr(v);
}

}  // namespace

V of_(V x, I keys) {
  int t = tp(x);
  int want = keys ? (t == tFLTA ? tFLTA : tFLT) : (t == tLONGA ? tLONGA : tLONG);
  if (t != want) return et(x);
  U n = nx(x);
  x = mut(x);
  hd(x)->type = (int8_t)(keys ? (t == tFLTA ? tLONGA : tLONG) : (t == tLONGA ? tFLTA : tFLT));
  if (keys)
    for (U i = 0; i < n; i++) PL(x)[i] = fkey(PF(x)[i]);
  else
    for (U i = 0; i < n; i++) PF(x)[i] = fval(PL(x)[i]);
  return x;
}

I qA(V x, V y) {
  int a = tp(x), b = tp(y);
  if (a == tSYMA && b == tSYMA) {
    if (ip(x) == ip(y)) return 0;
    // Short names come from a ring of slots: copy before the next call.
    char s[8] = {};
    const char *p = su(ip(x));
    if (ip(x) >= 0) {
      memcpy(s, p, strnlen(p, 7));
      p = s;
    }
    int c = strcmp(p, su(ip(y)));
    return c < 0 ? -1 : c > 0;
  }
  auto num = [](int t) { return t == tINTA || t == tLONGA || t == tFLTA; };
  if (num(a) && num(b)) {
    if (a == tFLTA || b == tFLTA) {
      J p = fkey(a == tFLTA ? PF(x)[0] : (F)gl_(x)), q = fkey(b == tFLTA ? PF(y)[0] : (F)gl_(y));
      return p < q ? -1 : p > q;
    }
    J p = gl_(x), q = gl_(y);
    return p < q ? -1 : p > q;
  }
  return a < b ? -1 : a > b;
}

V fnd(V x, V y) {
  int tx = tp(x);
  if (tx >= tINTA || tx == tDICT) return en(y);
  bool one = tp(y) >= tINTA;
  if (one) y = enl(y);
  J n = _n(y);
  V r = an((U)n, tLONG);
  look(x, y, PL(r));
  mr(y);
  if (one) {
    J v = PL(r)[0];
    mr(r);
    return al(v);
  }
  return r;
}

V unq(V x) {
  int t = tp(x);
  if (t >= tINTA) return x;
  if (t == tDICT) return en(x);
  J n = _n(x);
  V p = an((U)n, tLONG);
  look(x, x, PL(p));
  // Keep item i when its first occurrence is i itself.
  U k = 0;
  for (J i = 0; i < n; i++)
    if (PL(p)[i] == i) PL(p)[k++] = i;
  if (k == (U)n) {
    mr(p);
    return x;
  }
  hd(p)->count = k;
  V r = i1(x, p);
  mr(x);
  return r;
}

}  // namespace zk
