// take.cpp: rs0 (0#x, the empty value of x's kind), rsz (n#x), slc
// (a slice) and drp (drop n items from the front, or -n from the back).
//
// least version: covers what the runtime core and item access need (rsz
// repeats an atom; any other take fails with 'nyi); the list primitives'
// owner completes take, reshape and the rest.
//
// A dropped general list is squeezed (its remaining items may all be atoms
// of one kind), whether it was shortened in place or copied, so the result
// never depends on how many owners the argument had.
#include "core/err.h"
#include "core/sym.h"
#include "list/list.h"

namespace zk {

// Each item of the general list l (borrowed) through f (consuming), into a
// new general list.
static V each(V l, V (*f)(V)) {
  U m = nx(l);
  V r = m ? an(m, tLIST) : aA0(0);
  for (U j = 0; j < m; j++) PA(r)[j] = f(_r(PA(l)[j]));
  return r;
}

V rs0(V x) {
  int t = tp(x);
  V r;
  if (t >= tINTA) r = _r(ce[TT[t]]);
  else if (t == tRANGE) r = _r(ce[tBYTE]);
  else if (t == tTABLE) r = aM(_r(PA(x)[0]), each(PA(x)[1], rs0));
  else if (t == tDICT) r = am(rs0(_r(PA(x)[0])), rs0(_r(PA(x)[1])));
  else if (!nx(x)) return x;
  else if (t == tLIST) r = aA0(0);
  else r = _r(ce[t]);
  mr(x);
  return r;
}

V rsz(J n, V x) {
  if (!n) return rs0(x);
  int t = tp(x);
  if (t < tINTA || n < 0) return en(x);
  if (n > 0xFFFFFFFFll) return ez(x);
  V r = enl(x);
  if (tp(r) == tLIST) {
    V a = PA(r)[0];
    r = aa((U)n, r);
    for (J i = 1; i < n; i++) PA(r)[i] = _r(a);
    hd(r)->count = (U)n;
    return r;
  }
  r = aa((U)n, r);
  UJ w = (UJ)1 << Tw[tp(r)] >> 3;  // bytes per item
  for (J i = 1; i < n; i++) memcpy(P(r) + i * w, P(r), w);
  hd(r)->count = (U)n;
  return r;
}

V slc(V x, U a, U b) {
  int t = tp(x);
  U k = b - a;
  if (t == tBOOL) {
    V r = an(k, tBOOL);
    memset(P(r), 0, (k + 7) >> 3);
    for (U i = 0; i < k; i++) {
      U j = a + i;
      P(r)[i >> 3] |= (G)(((P(x)[j >> 3] >> (j & 7)) & 1) << (i & 7));
    }
    return r;
  }
  if (t != tLIST) return aV(t, k, P(x) + ((UJ)a << Tw[t] >> 3));
  if (!k) {  // an empty slice keeps the shape of x's first item, in nulls
    V r = aA0(0);
    mr(PA(r)[0]);
    PA(r)[0] = nx(x) ? mkn(ii(x, 0)) : _r(PA(x)[0]);
    return r;
  }
  V r = an(k, tLIST);
  for (U i = 0; i < k; i++) PA(r)[i] = _r(PA(x)[a + i]);
  return sqz(r);
}

V drp(J n, V x) {
  if (!n) return x;
  int t = tp(x);
  if (t >= tINTA) {
    x = enl(x);
    t = tp(x);
  }
  if (t == tDICT || t == tTABLE) {
    V a = PA(x)[0], b = PA(x)[1];
    V r;
    if (t == tDICT) r = am(drp(n, _r(a)), drp(n, _r(b)));
    else {
      U m = nx(b);
      V c = m ? an(m, tLIST) : aA0(0);
      for (U j = 0; j < m; j++) PA(c)[j] = drp(n, _r(PA(b)[j]));
      r = aM(_r(a), c);
    }
    mr(x);
    return r;
  }
  J c = _n(x);
  UJ a = n < 0 ? -(UJ)n : (UJ)n;
  if (a >= (UJ)c) return rs0(x);
  U k = (U)(c - (J)a), off = n > 0 ? (U)a : 0;
  if (t == tRANGE) {
    J s = PL(x)[0], e = PL(x)[1];
    mr(x);
    return n > 0 ? aE(s + n, e) : aE(s, e + n);
  }
  Hdr *h = hd(x);
  if (t == tLIST) {
    V r;
    if (h->rc == 1) {
      V *p = PA(x);
      for (U i = 0; i < (U)a; i++) mr(p[n > 0 ? i : k + i]);
      memmove(p, p + off, (UJ)k * 8);
      h->count = k;
      h->attr = 0;
      r = x;
    } else {
      r = an(k, tLIST);
      for (U i = 0; i < k; i++) PA(r)[i] = _r(PA(x)[off + i]);
      mr(x);
    }
    return sqz(r);
  }
  if (t == tBOOL) {
    V r = an(k, tBOOL);
    memset(P(r), 0, (k + 7) >> 3);
    for (U i = 0; i < k; i++) {
      U j = off + i;
      P(r)[i >> 3] |= (G)(((P(x)[j >> 3] >> (j & 7)) & 1) << (i & 7));
    }
    mr(x);
    return r;
  }
  UJ w = (UJ)1 << Tw[t] >> 3;  // bytes per item
  if (h->rc == 1 && h->cls) {
    if (off) memmove(P(x), P(x) + off * w, k * w);
    h->count = k;
    h->attr = 0;
    return x;
  }
  V r = aV(t, k, P(x) + off * w);
  mr(x);
  return r;
}

}  // namespace zk
