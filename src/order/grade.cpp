// grade.cpp: the grade verbs (asc <, dsc >), the sort verbs (srtC, srtdC,
// qsrt), the keying of general lists of mixed numeric and temporal atoms
// (kK, kGr), the byte-wise fallback grade (ascB, ascZ) and the ranking of
// symbol texts (srnk, srm, sgS).
//
// Method per kind, first that answers: bytes and chars by counting over
// 256 buckets; fixed-width vectors by the sorted attribute, the counting
// grade, the radix grade, then ascB; symbols by text (ranks of the
// distinct texts from 32 items on); general lists by the mixed-atom keys,
// else a stable merge sort by the total order; tables by stable passes
// from the last column; dicts by their values.  Every grade is stable, and
// descending grades keep ties in index order by grading the reversed
// argument and mapping the positions back.
//
// Grades of fixed-width and long symbol vectors come back in the narrowest
// integer type that holds n-1; general lists, short symbol vectors and
// booleans give int vectors.  Permutations are 32-bit up to rdx_wide items
// and 64-bit above, so no index ever wraps; the general-list merge sort,
// which keeps 32-bit indexes, fails 'limit beyond that.
#include <cstring>

#include "core/err.h"
#include "eval/eval.h"
#include "io/io.h"
#include "list/list.h"
#include "num/ari.h"
#include "num/num.h"
#include "order/order.h"
#include "order/radix.h"

namespace zk {

namespace {

// Item k of an int or long permutation.
ZK_INLINE J gi(V g, UJ k) { return tp(g) == tINT ? PI(g)[k] : PL(g)[k]; }

// A grade of n items (consumed) in the narrowest integer type for n-1; the
// shared empty byte vector for none.
V nrw(V r, UJ n) {
  if (!r) return 0;
  if (!n) {
    mr(r);
    return _r(ce[tBYTE]);
  }
  int t = tZ((J)n - 1);
  return t == tp(r) ? r : ct(t, r);
}

// 0 .. n-1 as an int vector (long above rdx_wide).
V iot(UJ n) {
  bool w = n > rdx_wide;
  V r = an((U)n, w ? tLONG : tINT);
  for (UJ i = 0; i < n; i++) w ? (void)(PL(r)[i] = (J)i) : (void)(PI(r)[i] = (I)i);
  return r;
}

// Counting grade of bytes (signed, off 128) or chars (unsigned, off 0).
template <class Pl> V cg8(const G *s, UJ n, G off, int rt) {
  UJ c[257] = {};
  for (UJ i = 0; i < n; i++) c[(G)(s[i] ^ off) + 1]++;
  for (int v = 1; v < 257; v++) c[v] += c[v - 1];
  V r = an((U)n, rt);
  Pl *o = P<Pl>(r);
  for (UJ i = 0; i < n; i++) o[c[(G)(s[i] ^ off)]++] = (Pl)i;
  return r;
}

V ascC(V x, G off) {
  UJ n = nx(x);
  V r = n > rdx_wide ? cg8<J>(P(x), n, off, tLONG) : cg8<I>(P(x), n, off, tINT);
  mr(x);
  return nrw(r, n);
}

// Fixed-width vectors of 16 to 64 bits, floats and temporals.
V ascN(V x) {
  UJ n = nx(x);
  V r;
  if (hd(x)->attr == 1) r = iot(n);
  else if (!(r = cntgrd(x)) && !(r = rdxg(x)) && !(r = ascB(x))) return mr(x), (V)0;
  mr(x);
  return nrw(r, n);
}

// General lists: the mixed-atom keys, else a merge sort by the total order.
V ascL(V x) {
  UJ n = nx(x);
  if (n < 2) return mr(x), iot(n);
  V k, c;
  if (I m = kK(x, &k, &c)) {
    V r = kGr(k, c, m);
    mr(k), mr(c);
    if (r) return mr(x), r;
  }
  if (n > rdx_wide) return ez(x);
  V s = iot(n), r = an((U)n, tINT);
  if (n <= 16) cis(x, PI(s), (U)n, PI(r));
  else cms(x, PI(s), (U)n, PI(r));
  mr(s), mr(x);
  return r;
}

// Tables: stable passes from the last column to the first.
V ascT(V x) {
  UJ r = (UJ)_n(x);
  V cols = PA(x)[1];
  V p = 0;
  for (J c = (J)nx(cols) - 1; c >= 0; c--) {
    V col = PA(cols)[c];
    V v = p ? i1(col, _r(p)) : _r(col);
    V g = v ? asc(v) : 0;
    V q = g ? (p ? i1(p, g) : g) : 0;
    if (p) mr(p);
    if (!(p = q)) return mr(x), (V)0;
  }
  mr(x);
  return p ? p : nrw(iot(r), r);
}


// The symbol-text prefix key: the first 8 bytes, most significant first,
// top bit flipped so signed order is the unsigned order of the prefixes.
ZK_INLINE J pfk(const G *s, UJ l) {
  UJ k = 0;
  for (UJ i = 0; i < 8; i++) k = k << 8 | (i < l ? s[i] : 0);
  return (J)(k ^ 0x8000000000000000ull);
}

ZK_INLINE bool lt8(const char *const *t, const I *l, I a, I b) {
  I m = l[a] < l[b] ? l[a] : l[b];
  int c = memcmp(t[a] + 8, t[b] + 8, (size_t)(m - 8));
  return c ? c < 0 : l[a] < l[b];
}

}  // namespace

// Dicts: the keys indexed by f of their values (a grade, or where).
V kby(V x, V (*f)(V)) {
  V k = x, v = kv(&k);
  V g = f(v);
  if (!g) return mr(k), (V)0;
  V r = _1(k, g);
  mr(k);
  return r;
}

void srm(const char *const *t, const I *l, I *p, UJ n, I *tmp) {
  if (n < 2) return;
  UJ h = n / 2;
  srm(t, l, p, h, tmp);
  srm(t, l, p + h, n - h, tmp);
  UJ i = 0, j = h, k = 0;
  while (i < h && j < n) tmp[k++] = lt8(t, l, p[j], p[i]) ? p[j++] : p[i++];
  while (i < h) tmp[k++] = p[i++];
  while (j < n) tmp[k++] = p[j++];
  memcpy(p, tmp, n * sizeof(I));
}

V srnk(V texts) {
  UJ n = nx(texts);
  const V *a = PA(texts);
  for (UJ i = 0; i < n; i++)
    if (tp(a[i]) != tCHR) return 0;
  V k = an((U)n, tLONG), l = an((U)n, tINT), ta = an((U)n, tLONG);
  const char **t = (const char **)PL(ta);
  for (UJ i = 0; i < n; i++) {
    t[i] = PC(a[i]);
    PI(l)[i] = (I)nx(a[i]);
    PL(k)[i] = pfk(P(a[i]), nx(a[i]));
  }
  V g = rdxg(k), r = 0;
  if (g && tp(g) == tINT) {
    I *p = PI(g), *L = PI(l);
    V tmp = 0;
    for (UJ j = 0; j < n;) {
      UJ e = j + 1;
      if (L[p[j]] >= 8)
        while (e < n && L[p[e]] >= 8 && PL(k)[p[e]] == PL(k)[p[j]]) e++;
      if (e - j > 1) {
        if (!tmp) tmp = an((U)n, tINT);
        srm(t, L, p + j, e - j, PI(tmp));
      }
      j = e;
    }
    if (tmp) mr(tmp);
    r = an((U)n, tINT);
    for (UJ i = 0; i < n; i++) PI(r)[p[i]] = (I)i;
  }
  if (g) mr(g);
  mr(k), mr(l), mr(ta);
  return r;
}

V sgS(V x) {
  V u = unq(_r(x));
  if (!u) return mr(x), (V)0;
  V t = str(_r(u));
  if (!t) return mr(u), mr(x), (V)0;
  V r = srnk(t);
  mr(t);
  if (!r) {
    mr(u);
    V s = str(x);
    return s ? asc(s) : 0;
  }
  V p = fnd(u, x);
  mr(u);
  if (!p) return mr(r), (V)0;
  V q = i1(r, p);
  mr(r);
  return q ? asc(q) : 0;
}

I kK(V list, V *keys, V *cls) {
  UJ n = nx(list);
  const V *a = PA(list);
  bool tm = false;
  for (UJ i = 0; i < n && !tm; i++) {
    switch (tp(a[i])) {
      case tDATEA: case tTSTAMPA: case tTIMEA: tm = true; break;
      case tFLTA: case tINTA: case tLONGA: break;
      default: return 0;
    }
  }
  if (!tm) return 0;
  V k = an((U)n, tLONG), c = an((U)n, tBYTE);
  I m = 0;
  for (UJ i = 0; i < n; i++) {
    V v = a[i];
    G cl;
    J key;
    switch (tp(v)) {
      case tDATEA: cl = 0, key = ip(v); break;
      case tFLTA: {
        J b[4] = {PL(v)[0]};
        of1LL(b, b, 1);
        cl = 1, key = b[0];
        break;
      }
      case tINTA: cl = 2, key = ip(v); break;
      case tLONGA: cl = 2, key = PL(v)[0]; break;
      case tTSTAMPA: cl = 3, key = PL(v)[0]; break;
      case tTIMEA: cl = 4, key = ip(v); break;
      default: return mr(k), mr(c), 0;
    }
    PL(k)[i] = key;
    P(c)[i] = cl;
    m |= 1 << cl;
  }
  *keys = k;
  *cls = c;
  return m;
}

V kGr(V keys, V cls, I mask) {
  auto g1 = [](V k) {
    V g = cntgrd(k);
    return g ? g : rdxg(k);
  };
  if (!(mask & (mask - 1))) return g1(keys);
  UJ n = nx(keys), st[6] = {};
  const G *c = P(cls);
  for (UJ i = 0; i < n; i++) st[c[i] + 1]++;
  for (int v = 1; v < 6; v++) st[v] += st[v - 1];
  bool w = n > rdx_wide;
  V pk = an((U)n, tLONG), pi = an((U)n, tLONG), r = an((U)n, w ? tLONG : tINT);
  UJ at[5];
  memcpy(at, st, sizeof at);
  for (UJ i = 0; i < n; i++) {
    UJ d = at[c[i]]++;
    PL(pk)[d] = PL(keys)[i];
    PL(pi)[d] = (J)i;
  }
  for (int v = 0; v < 5; v++) {
    UJ b = st[v], e = st[v + 1];
    if (b == e) continue;
    V s = aV(tLONG, (U)(e - b), PL(pk) + b), g = e - b > 1 ? g1(s) : iot(1);
    mr(s);
    if (!g) return mr(pk), mr(pi), mr(r), (V)0;
    for (UJ k = 0; k < e - b; k++) {
      J ix = PL(pi)[b + (UJ)gi(g, k)];
      w ? (void)(PL(r)[b + k] = ix) : (void)(PI(r)[b + k] = (I)ix);
    }
    mr(g);
  }
  mr(pk), mr(pi);
  return r;
}

I *ascZ(const G *v, G *buf, I *p, I *q, UJ n, int w) {
  for (UJ i = 0; i < n; i++) p[i] = (I)i;
  for (int b = 0; b < w; b++) {
    UJ c[256] = {};
    for (UJ i = 0; i < n; i++) c[buf[i] = v[(UJ)p[i] * w + b]]++;
    if (c[buf[0]] == n) continue;
    UJ run = 0;
    for (int k = 0; k < 256; k++) {
      UJ t = c[k];
      c[k] = run;
      run += t;
    }
    for (UJ i = 0; i < n; i++) q[c[buf[i]]++] = p[i];
    I *s = p;
    p = q, q = s;
  }
  return p;
}

V ascB(V x) {
  if (tp(x) == tFLT) return asc(of_(_r(x), 1));
  static V lam;
  V f = ki(&lam, "{x-&/x}");
  V v = f ? _1(f, _r(x)) : 0;
  if (!v) return 0;
  UJ n = nx(x);
  if (!n) return mr(v), an(0, tINT);
  if (n > rdx_wide) return mr(v), ez0();
  int vt = tp(v), w = vt >= tBYTE && vt <= tLONG ? 1 << (Tw[vt] - 3) : 0;
  if (!w || nx(v) != n) return mr(v), et0();
  V r = an((U)n, tINT), q = an((U)n, tINT), b = an((U)n, tBYTE);
  I *o = ascZ(P(v), P(b), PI(r), PI(q), n, w);
  if (o != PI(r)) memcpy(PI(r), o, n * sizeof(I));
  mr(v), mr(q), mr(b);
  return r;
}

V asc(V x) {
  int t = tp(x);
  switch (t) {
    case tLIST: return ascL(x);
    case tRANGE: {
      J n = PL(x)[1] - PL(x)[0];
      mr(x);
      return aE(0, n);
    }
    case tBOOL: {
      V r = ascB(x);
      mr(x);
      return r;
    }
    case tBYTE: return ascC(x, 0x80);
    case tCHR: return ascC(x, 0);
    case tSYM:
      if (nx(x) > 31) return sgS(x);
      if (!(x = str(x))) return 0;
      return ascL(x);
    case tTABLE: return ascT(x);
    case tDICT: return kby(x, asc);
    case tINTA: case tLONGA: return x;
  }
  if (t > tDICT) {
    I h = o(x, 0x42);
    mr(x);
    return h >= 0 ? ai(h) : 0;
  }
  if (t == 0) return et(x);
  return ascN(x);
}

V dsc(V x) {
  int t = tp(x);
  if (t == tDICT) return kby(x, dsc);
  if (t == tINTA || t == tLONGA) {
    J h = gl(x);
    if (h != (I)h || (h >= 0 && h <= 2)) return ed0();
    if (hcl((I)h)) return eo0();
    return GNULL;
  }
  if (t > tDICT || t == 0) return et(x);
  J n = _n(x);
  V p = (x = rev(x)) ? asc(x) : 0;
  if (!p || !n) return p;
  V r = rev(p);
  if (!r) return 0;
  I f = tl.f;
  tl.f = 2;
  V a = n - 1 == (I)(n - 1) ? ai((I)(n - 1)) : al(n - 1);
  V d = ari(a, r);
  tl.f = f;
  mr(a);
  return d;
}

V srtC(V x) {
  int t = tp(x);
  if (t >= tBYTE && t <= tTSPAN) {
    if (hd(x)->attr == 1) return x;
    if (t == tCHR) return srtUC(x, 0);
    V r = cntsrt(x);
    if (r || (r = rdxsrt(x))) return mr(x), r;
  }
  V g = asc(_r(x));
  V r = g ? i1(x, g) : 0;
  mr(x);
  if (!r || !heap(r) || t >= tINTA) return r;
  int u = tp(r);
  if (u == tLIST && !sole(hd(r))) r = mut(r);
  if ((u >= tBYTE && u <= tTSPAN) || u == tLIST) hd(r)->attr = 1;
  return r;
}

V srtdC(V x) {
  int t = tp(x);
  if (t == tCHR) return srtUC(x, 1);
  if (t >= tBYTE && t <= tTSPAN) {
    V r = cntsrt(x);
    if (r || (r = rdxsrt(x))) {
      mr(x);
      if (!(r = rev(r))) return 0;
      if (heap(r) && sole(hd(r))) hd(r)->attr = 0;
      return r;
    }
  }
  V g = dsc(_r(x));
  V r = g ? i1(x, g) : 0;
  mr(x);
  return r;
}

V qsrt(V x) {
  if (tp(x) != tDICT) return srtC(x);
  V k = x, v = kv(&k);
  V g = asc(_r(v));
  if (!g) return mr(k), mr(v), (V)0;
  V a = i1(k, _r(g)), b = i1(v, g);
  mr(k), mr(v);
  if (!a || !b) {
    if (a) mr(a);
    if (b) mr(b);
    return 0;
  }
  return am(a, b);
}

}  // namespace zk
