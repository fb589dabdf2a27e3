// sqz.cpp: normalisation of values to their canonical form.  gZ turns a
// lazy range into the narrowest integer vector that holds it; sqzZ narrows
// an integer vector while its items fit; sqzA packs a list of atoms of one
// kind into their vector; sqz turns a general list into the typed vector or
// table it can be; blw turns any value but a dict into a general list of
// its items.  All consume their argument.
//
// Vectors are counted in u32, so a range of 2^32 items or more cannot be
// materialised and fails with 'limit rather than come out truncated.
#include "core/err.h"
#include "core/sym.h"
#include "eval/each.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"

namespace zk {

namespace {

inline constexpr UJ NMAX = 0xFFFFFFFFull;

// Bitwise OR over the items of (v XOR (v >> 63)): its leading zeros tell
// the narrowest width that holds every item.  Read in blocks, stopping once
// the OR already needs type t, the vector's own: most wide vectors show it
// in their first block, so they are not read to the end for nothing.
template <class T> UJ orz(const T *p, U n, int t) {
  UJ m = 0;
  for (U i = 0; i < n;) {
    U e = n - i > 4096 ? i + 4096 : n;
    for (; i < e; i++) {
      J v = p[i];
      m |= (UJ)(v ^ (v >> 63));
    }
    if (tZ((J)m) >= t) break;
  }
  return m;
}

// A list of dicts whose keys all match the first's becomes a table.  Names
// must be a non-empty symbol vector: anything else has no table form.
V dicts(V l) {
  U n = nx(l);
  V *a = PA(l);
  V k0 = PA(a[0])[0];
  if (tp(k0) != tSYM || !nx(k0)) return l;
  for (U i = 0; i < n; i++)
    if (tp(a[i]) != tDICT || !mtc_(PA(a[i])[0], k0)) return l;
  V cols = e1f(rs0, _r(PA(a[0])[1]));  // one empty column of each value's kind
  if (!cols || !(cols = blw(cols))) return mr(l), (V)0;
  V t = aM(_r(k0), cols);
  for (U i = 0; i < n && t; i++) t = psh(t, _r(a[i]));
  mr(l);
  return t;
}

// A list of int and long atoms: longs when any is boxed, else the
// narrowest width of the int payloads.
V ints(V l) {
  U n = nx(l);
  V *a = PA(l);
  U m = 0;
  bool lng = false;
  for (U i = 0; i < n; i++) {
    V x = a[i];
    int t = tp(x);
    if (t == tLONGA) lng = true;
    else if (t == tINTA) {
      I v = ip(x);
      m |= (U)(v ^ (v >> 31));
    } else
      return l;
  }
  if (lng) return sqzA(l, tLONG);
  V iv = an(n, tINT);
  for (U i = 0; i < n; i++) PI(iv)[i] = ip(a[i]);
  mr(l);
  int t = tZ((J)m);
  if (t == tINT) return iv;
  V r = an(n, t);
  if (t == tBYTE) cGI(P<int8_t>(r), PI(iv), n);
  else cHI(P<int16_t>(r), PI(iv), n);
  mr(iv);
  return r;
}

}  // namespace

V gZ(V r) {
  J a = PL(r)[0], e = PL(r)[1];
  mr(r);
  if (e < a) return ed0();
  UJ d = (UJ)e - (UJ)a;
  if (d > NMAX) return ez0();
  U n = (U)d;
  if (!n) return _r(ce[tBYTE]);
  if (a < 0) {
    V v = an(n, tLONG);
    J *p = PL(v);
    U i = 0;
    for (; i + 1 < n; i += 2) p[i] = a + i, p[i + 1] = a + i + 1;
    if (i < n) p[i] = a + i;
    return sqzZ(v);
  }
  // Lanes of 8-byte words: each word holds 8 >> (7 - t) consecutive items,
  // and the next word adds that lane count to every lane.  Lanes never
  // carry into each other: even the padding past the last item stays below
  // the next power of the width.
  static constexpr UJ step[4] = {0x0101010101010101ull, 0x0001000100010001ull, 0x0000000100000001ull, 1};
  static constexpr UJ pat[4] = {0x0706050403020100ull, 0x0003000200010000ull, 0x0000000100000000ull, 0};
  int t = tZ(a), t1 = tZ(e - 1);
  if (t1 > t) t = t1;
  int w = 7 - t;
  V v = an(n, t);
  UJ s = step[t - tBYTE], cur = pat[t - tBYTE] + (UJ)a * s, inc = s << w;
  J words = ((((J)d - 1) >> w) + 4) & ~(J)3;  // whole 32-byte blocks
  UJ *p = P<UJ>(v);
  for (J i = 0; i < words; i++, cur += inc) p[i] = cur;
  return v;
}

V sqzZ(V v) {
  int t = tp(v);
  if (t < tSHORT || t > tLONG) return v;
  U n = nx(v);
  UJ m = t == tLONG ? orz(PL(v), n, t) : t == tINT ? orz(PI(v), n, t) : orz(P<int16_t>(v), n, t);
  int nt = tZ((J)m);
  return nt < t ? ct(nt, v) : v;
}

V sqzA(V l, int t) {
  U n = nx(l);
  V *a = PA(l);
  V r;
  if (Tw[t] == 6) {
    r = an(n, t);
    for (U i = 0; i < n; i++) PL(r)[i] = heap(a[i]) ? PL(a[i])[0] : (J)ip(a[i]);
    mr(l);
    return r;
  }
  r = an(n, Tw[t] == 5 ? t : tINT);
  for (U i = 0; i < n; i++) PI(r)[i] = ip(a[i]);
  mr(l);
  return ct(t, r);
}

V sqz(V l) {
  if (tp(l) != tLIST) return l;
  U n = nx(l);
  V *a = PA(l);
  int p = tp(a[0]);  // of an empty list: its prototype
  if (p >= tDATEA || p == tFLTA || p == tCHRA || p == tSYMA) {
    for (U i = 0; i < n; i++)
      if (tp(a[i]) != p) return l;
    return sqzA(l, TT[p]);
  }
  if (p == tINTA || p == tLONGA) {
    if (!n) {
      mr(l);
      return _r(ce[tBYTE]);
    }
    return ints(l);
  }
  if (p == tDICT && n) return dicts(l);
  return l;
}

V blw(V x) {
  int t = tp(x);
  if (t == tDICT) return et(x);
  if (t == tLIST) return x;
  if (t >= tINTA) return aA1(x);
  J c = _n(x);
  if (c < 0) return ed(x);
  if ((UJ)c > NMAX) return ez(x);
  U n = (U)c;
  V r = an(n ? n : 1, tLIST);
  if (n)
    for (U i = 0; i < n; i++) PA(r)[i] = ii(x, i);
  else {
    hd(r)->count = 0;
    PA(r)[0] = mkn(ii(x, 0));  // the typed null of x's kind is the prototype
  }
  mr(x);
  return r;
}

}  // namespace zk
