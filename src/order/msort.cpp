// msort.cpp: the multi-column sort, the builtin xs (xsC), and the order key
// of one column (xskey).
//
// Each column becomes one unsigned 64-bit key per row whose unsigned order
// is the column's order, and a width (the low bytes that can differ):
// integers with the sign bit flipped, chars by code, floats as their
// truncated values rebased on the minimum when they are all integral and
// span less than 2^32, else by their order key, symbols by the rank of
// their text among the column's distinct symbols.  Descending inverts
// every key.  Keys are rebased on their minimum (zknorm8) so narrow ranges
// cost few byte passes.  When the reduced widths of all columns fit in 8
// bytes, one packed key per row (first column highest) is sorted in one
// radix run; otherwise stable passes run from the last column to the
// first.  General-list columns of dates, times and timestamps mixed with
// numbers are rewritten into their class and key columns first.
//
// Anything not handled (shape, unequal counts, more than 32 columns, a
// column type without a key, more rows than 32-bit indexes hold, no
// scratch) answers the shared empty list; nothing is raised and all
// scratch lives in the thread's arena.
#include <cstring>
#include <type_traits>

#include "core/sym.h"
#include "eval/eval.h"
#include "list/list.h"
#include "order/order.h"
#include "order/radix.h"

namespace zk {

namespace {

constexpr UJ SB = 0x8000000000000000ull;

V no(V x) {
  if (x) mr(x);
  return emp();
}

int wdt(UJ m) { return m <= 0xFF ? 1 : m <= 0xFFFF ? 2 : m <= 0xFFFFFF ? 3 : 4; }

// Symbol ranks by text: each distinct id numbered in first-occurrence
// order through a direct table over the id span or, for wide spans, an
// open-addressing table; the distinct ids graded by text give the ranks.
I symk(V col, const I *perm, UJ *keys, UJ n, int *w) {
  const I *s = PI(col);
  I lo = s[perm[0]], hi = lo;
  for (UJ j = 1; j < n; j++) {
    I v = s[perm[j]];
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
  }
  UJ span = (UJ)((J)hi - lo) + 1, g = 1;
  bool dir = span <= 0x400000;
  if (!dir) {
    g = 8;
    while (g < 2 * n) g <<= 1;
  }
  UJ m = dir ? span : g;
  I *tab = (I *)arena_alloc(m * sizeof(I)), *ids = (I *)arena_alloc(n * sizeof(I));
  UJ *hk = dir ? nullptr : (UJ *)arena_alloc(m * sizeof(UJ));
  if (!tab || !ids || (!dir && !hk)) return 0;
  memset(tab, 0xFF, m * sizeof(I));
  I d = 0;
  for (UJ j = 0; j < n; j++) {
    I v = s[perm[j]];
    I *slot;
    if (dir) slot = tab + ((UJ)((J)v - lo));
    else {
      UJ h = ((UJ)(U)v * 0x9E3779B97F4A7C15ull >> 40) & (g - 1);
      while (tab[h] >= 0 && ids[tab[h]] != v) h = (h + 1) & (g - 1);
      slot = tab + h;
    }
    if (*slot < 0) {
      ids[d] = v;
      *slot = d++;
    }
    keys[j] = (UJ)*slot;
  }
  V u = aV(tSYM, (U)d, ids), gr = asc(u);
  if (!gr) return 0;
  I *rk = (I *)arena_alloc((UJ)d * sizeof(I));
  if (!rk) return mr(gr), 0;
  int gt = tp(gr);
  for (I k = 0; k < d; k++) {
    J i = gt == tBYTE ? P<int8_t>(gr)[k] : gt == tSHORT ? P<int16_t>(gr)[k] : gt == tINT ? PI(gr)[k] : PL(gr)[k];
    rk[i] = k;
  }
  mr(gr);
  for (UJ j = 0; j < n; j++) keys[j] = (UJ)rk[keys[j]];
  *w = d <= 256 ? 1 : d <= 65536 ? 2 : 4;
  return 1;
}

template <class T> void ik(const T *s, const I *perm, UJ *keys, UJ n, UJ flip) {
  typedef std::make_unsigned_t<T> Ut;
  for (UJ j = 0; j < n; j++) keys[j] = (UJ)(Ut)s[perm[j]] ^ flip;
}

I fltk(V col, const I *perm, UJ *keys, UJ n, int *w) {
  const F *s = PF(col);
  J lo = INT64_MAX, hi = INT64_MIN;
  bool in = true;
  for (UJ j = 0; j < n && in; j++) {
    F v = s[perm[j]];
    UJ b;
    memcpy(&b, &v, 8);
    in = b != SB && v >= -9007199254740992.0 && v <= 9007199254740992.0 && (F)(J)v == v;
    if (in) {
      J t = (J)v;
      lo = t < lo ? t : lo;
      hi = t > hi ? t : hi;
    }
  }
  if (in && (UJ)(hi - lo) < 0x100000000ull) {
    for (UJ j = 0; j < n; j++) keys[j] = (UJ)((J)s[perm[j]] - lo);
    *w = wdt((UJ)(hi - lo));
    return 1;
  }
  // The ordered float key: every NaN lowest, the two zeros one key.
  for (UJ j = 0; j < n; j++) {
    UJ b, k;
    memcpy(&b, s + perm[j], 8);
    UJ t = b << 1;
    if (!t) k = 0x000FFFFFFFFFFFFEull;
    else if (t > 0xFFE0000000000000ull) k = 0x8007FFFFFFFFFFFEull;
    else k = (b ^ (b >> 63 ? 0x7FFFFFFFFFFFFFFFull : 0)) + 0x000FFFFFFFFFFFFEull;
    keys[j] = k ^ SB;
  }
  *w = 8;
  return 1;
}

// List columns rewritten into typed ones; 0 when one cannot be.
V rewr(V cols, UJ n) {
  V r = aA0(0);
  for (UJ c = 0; c < nx(cols); c++) {
    V col = PA(cols)[c];
    if (tp(col) != tLIST) {
      r = psh(r, _r(col));
      continue;
    }
    V k, cl;
    I m = nx(col) ? kK(col, &k, &cl) : 0;
    if (!m || nx(col) != n) return mr(r), (V)0;
    if (m & (m - 1)) r = psh(r, cl);
    else mr(cl);
    r = psh(r, k);
  }
  if (nx(r) > 32) return mr(r), (V)0;
  return r;
}

}  // namespace

I xskey(V col, const I *perm, UJ *keys, UJ n, int *w, I desc) {
  int t = tp(col);
  switch (t) {
    case tBYTE: ik(P<int8_t>(col), perm, keys, n, 0x80), *w = 1; break;
    case tSHORT: ik(P<int16_t>(col), perm, keys, n, 0x8000), *w = 2; break;
    case tINT: ik(PI(col), perm, keys, n, 0x80000000u), *w = 4; break;
    case tLONG: ik(PL(col), perm, keys, n, SB), *w = 8; break;
    case tCHR: ik(P<G>(col), perm, keys, n, 0), *w = 1; break;
    case tFLT: fltk(col, perm, keys, n, w); break;
    case tSYM:
      if (!symk(col, perm, keys, n, w)) return 0;
      break;
    default: return 0;
  }
  if (desc) {
    for (UJ j = 0; j < n; j++) keys[j] = ~keys[j];
    *w = 8;
  }
  return 1;
}

V xsC(V x) {
  if (tp(x) != tLIST || nx(x) != 2) return no(x);
  V cols = PA(x)[0];
  if (tp(cols) != tLIST || !nx(cols) || nx(cols) > 32) return no(x);
  U nc = nx(cols);
  V c0 = PA(cols)[0];
  if (!heap(c0) || tp(c0) > tDICT || tp(c0) == tTABLE || tp(c0) == tDICT) return no(x);
  J n0 = _n(c0);
  if (n0 <= 0 || (UJ)n0 > rdx_wide) return no(x);
  UJ n = (UJ)n0;
  bool lst = false;
  for (U c = 0; c < nc; c++) {
    V col = PA(cols)[c];
    int t = tp(col);
    if (!heap(col) || t >= tTABLE || t == tRANGE || _n(col) != n0) return no(x);
    lst |= t == tLIST;
  }
  if (lst) {
    V r = rewr(cols, n);
    if (!r) return no(x);
    V y = aA2(r, _r(PA(x)[1]));
    mr(x);
    return xsC(y);
  }
  I desc = tru(_r(PA(x)[1])) ? 1 : 0;
  RMark mk;
  I *p = (I *)arena_alloc(n * 4), *p2 = (I *)arena_alloc(n * 4);
  UJ *k = (UJ *)arena_alloc(n * 8), *k2 = (UJ *)arena_alloc(n * 8);
  if (!p || !p2 || !k || !k2) return mk.back(), no(x);
  for (UJ j = 0; j < n; j++) p[j] = (I)j;
  bool done = false;
  if (nc >= 2 && n * nc * 8 <= 0x10000000) {
    RMark m2;
    UJ *ks[32];
    int ws[32], tot = 0;
    for (U c = 0; c < nc; c++) {
      if (!(ks[c] = (UJ *)arena_alloc(n * 8)) || !xskey(PA(cols)[c], p, ks[c], n, ws + c, desc))
        return mk.back(), no(x);
      ws[c] = zknorm8(ks[c], n, ws[c]);
      tot += ws[c];
    }
    if (tot <= 8) {
      memset(k, 0, n * 8);
      int sh = 0;
      for (int c = (int)nc - 1; c >= 0; c--) {
        if (!ws[c]) continue;
        UJ m = ws[c] == 8 ? ~0ull : (1ull << (8 * ws[c])) - 1;
        for (UJ j = 0; j < n; j++) k[j] |= (ks[c][j] & m) << sh;
        sh += 8 * ws[c];
      }
      if (tot && n > 1) p = zkrdx8(k, p, k2, p2, n, tot);
      done = true;
    } else m2.back();
  }
  if (!done) {
    for (int c = (int)nc - 1; c >= 0; c--) {
      RMark m3;
      int w;
      if (!xskey(PA(cols)[c], p, k, n, &w, desc)) return mk.back(), no(x);
      int b = zknorm8(k, n, w);
      if (b && n > 1) {
        I *q = zkrdx8(k, p, k2, p2, n, b);
        if (q == p2) p2 = p;
        p = q;
      }
      m3.back();
    }
  }
  V r = aV(tINT, (U)n, p);
  mk.back();
  mr(x);
  int t = tZ((J)n - 1);
  if (t != tINT) {
    V s = an((U)n, t);
    for (UJ j = 0; j < n; j++) {
      I v = PI(r)[j];
      if (t == tBYTE) P<int8_t>(s)[j] = (int8_t)v;
      else P<int16_t>(s)[j] = (int16_t)v;
    }
    mr(r);
    r = s;
  }
  return r;
}

}  // namespace zk
