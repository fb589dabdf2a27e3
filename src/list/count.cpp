// count.cpp: the small monadic verbs that measure or reorder a value
// whole: count (len, monadic #), reverse (rev, monadic |), type (typ,
// monadic @), the extreme indexes (imn, imx: the first position of the
// minimum and of the maximum), the null test of one atom (nlt), the
// nesting depth (rnk) and the recursive kind test (fmx).
//
// Counting never materialises ranges, tables or dicts: _n reads the count
// rule (a range end - start, a table its rows, a dict its values).
//
// The extreme indexes work on integer keys whose signed order is the
// order wanted: floats through their order keys (of_), chars as unsigned
// 16-bit codes, and the maximum as the minimum of the bitwise complement
// (inv reverses the order exactly, with no overflow at the width's ends).
// One vectorised pass finds the extreme, a second the first position
// holding it, so ties give the first position.
#include "core/err.h"
#include "core/simd.h"
#include "core/sym.h"
#include "eval/each.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"

namespace zk {

V len(V x) {
  J n = _n(x);
  mr(x);
  return n < 0x80000000ll ? ai((I)n) : al(n);
}

// ---- rank ----

// Lists nested past NDEPTH fail with 'stack (rank -2) instead of running
// the C stack out; d is the nesting level of x.
static I rk(V x, int d) {
  int t = tp(x);
  if (t >= tINTA) return 0;
  if (t != tLIST && t != tTABLE && t != tDICT) return 1;
  if (d >= NDEPTH) return es0(), -2;
  if (t != tLIST) return rk(PA(x)[1], d + 1);
  U n = nx(x);
  // an empty list has the rank of its prototype
  I r = rk(PA(x)[0], d + 1);
  for (U i = 1; r >= 0 && i < n; i++) {
    I s = rk(PA(x)[i], d + 1);
    if (s != r) r = s < -1 ? s : -1;
  }
  return r < 0 ? r : r + 1;
}

I rnk(V x) { return rk(x, 0); }

// ---- kind test ----

// Does the leaf x hold text (flag 0) or numbers (flag 1)?
static bool fmk(int t, I flag) {
  if (!flag) return t == tCHR || t == tCHRA;
  return (t >= tRANGE && t <= tFLT) || (t >= tINTA && t <= tFLTA);
}

// The walk keeps its own stack: it cannot fail, at any depth.
I fmx(V x, I flag) {
  struct Fr {
    V l;
    U i;
  };
  Stk<Fr> s;
  for (;;) {
    int t = tp(x);
    while (t == tTABLE || t == tDICT) x = PA(x)[1], t = tp(x);
    if (t == tLIST) {
      Fr &f = s.push();
      f.l = x, f.i = 0;
    } else if (fmk(t, flag)) {
      return 1;
    }
    for (;;) {
      if (s.empty()) return 0;
      Fr &f = s.top();
      if (f.i < nx(f.l)) {
        x = PA(f.l)[f.i++];
        break;
      }
      s.pop();
    }
  }
}

// ---- reverse ----

// Items of s in reverse order into d, n items.  8-bit items move eight at
// a time: a word read from the far end, its bytes swapped.
static void rvG(const void *s0, void *d0, UJ n) {
  const G *s = (const G *)s0;
  G *d = (G *)d0;
  UJ i = 0;
  for (; i + 8 <= n; i += 8) {
    UJ w;
    memcpy(&w, s + n - i - 8, 8);
    w = __builtin_bswap64(w);
    memcpy(d + i, &w, 8);
  }
  for (; i < n; i++) d[i] = s[n - 1 - i];
}
template <class T> static void rvk(const void *s0, void *d0, UJ n) {
  const T *s = (const T *)s0;
  T *d = (T *)d0;
  for (UJ i = 0; i < n; i++) d[i] = s[n - 1 - i];
}
using Rvk = void (*)(const void *, void *, UJ);
static constexpr Rvk rvw[4] = {rvG, rvk<int16_t>, rvk<int32_t>, rvk<int64_t>};

V rev(V x) {
  int t = tp(x);
  if (t >= tINTA) return x;
  switch (t) {
    case tRANGE: return (x = gZ(x)) ? rev(x) : 0;
    case tBOOL: {
      if (!(x = ct(tBYTE, x)) || !(x = rev(x))) return 0;
      return ct(tBOOL, x);
    }
    case tTABLE: {
      V names = x, cols = kv(&names);
      if (!(cols = e1f(rev, cols))) return mr(names), (V)0;
      return aM(names, cols);
    }
    case tDICT: {
      V k = x, v = kv(&k);
      if (!(k = rev(k))) return mr(v), (V)0;
      if (!(v = rev(v))) return mr(k), (V)0;
      return am(k, v);
    }
  }
  U n = nx(x);
  if (n < 2) return hd(x)->attr ? mut(x) : x;
  if (t == tLIST) {
    x = mut(x);
    V *a = PA(x);
    for (U i = 0, j = n - 1; i < j; i++, j--) {
      V s = a[i];
      a[i] = a[j];
      a[j] = s;
    }
    return x;
  }
  V r = an(n, t);
  rvw[Tw[t] - 3](P(x), P(r), n);
  mr(x);
  return r;
}

// ---- type ----

V typ(V x) {
  int t = tp(x);
  mr(x);
  return as((I)(G)TS[t]);  // a one-letter name is its own symbol id
}

// ---- null test of one atom ----

V nlt(V x) {
  int t = tp(x);
  switch (t) {
    case tINTA: return ai(0);  // 32-bit ints have no null, whatever cn holds
    case tTSTAMPA: case tTSPANA: {
      J v = PL(x)[0];
      mr(x);
      return ai(v == NJ);
    }
    case tDATEA: case tTIMEA: case tMINUTEA: case tSECONDA: case tMONTHA: return ai(ip(x) == NI);
  }
  if (t > tSYMA) return mr(x), ai(x == GNULL);  // functions
  I f = tl.f;
  tl.f = 10;  // = : NaN equals NaN, so the float null tests 1
  V r = ari(cn[t], x);
  tl.f = f;
  return r;
}

// ---- extreme indexes ----

// First position of m in the n items at p (n when absent): whole vectors
// compared at once, the hit's lanes and the tail one by one.
template <class Vt> static UJ fpos(const Lane<Vt> *p, UJ n, Lane<Vt> m) {
  Vt d = vdup<Vt>(m);
  UJ i = 0;
  for (; i + NL<Vt> <= n; i += NL<Vt>)
    if (vany(vld<Vt>(p + i) == d)) break;
  for (; i < n; i++)
    if (p[i] == m) return i;
  return n;
}

// Index of the first minimum of an integer vector x (consumed); an empty
// one gives 0N.
static V imz(V x) {
  UJ n = nx(x);
  if (!n) return mr(x), al(NJ);
  J m = minfZ(WJ, x);
  UJ i;
  switch (Tw[tp(x)]) {
    case 3: i = fpos<i8x16>(P<int8_t>(x), n, (int8_t)m); break;
    case 4: i = fpos<i16x8>(P<int16_t>(x), n, (int16_t)m); break;
    case 5: i = fpos<i32x4>(PI(x), n, (I)m); break;
    default: i = fpos<i64x2>(P<int64_t>(x), n, m);
  }
  mr(x);
  return az((J)i);
}

// x (consumed) as integer keys in the order of its items: floats to their
// order keys, chars to unsigned codes; 0 with the error set on failure.
static V ikey(V x) {
  int t = tp(x);
  if (t == tFLT) return of_(x, 1);
  if (t == tCHR) return ucb(x);
  return x;
}

V imn(V x) {
  int t = tp(x);
  if (t == tRANGE) {
    J n = _n(x);
    mr(x);
    return n > 0 ? ai(0) : al(NJ);
  }
  if (t == tFLT || t == tCHR || (t >= tBYTE && t <= tLONG)) return (x = ikey(x)) ? imz(x) : 0;
  return en(x);  // the grade of the generic path is not built
}

V imx(V x) {
  int t = tp(x);
  if (t == tRANGE) {
    J n = _n(x);
    mr(x);
    return n > 0 ? az(n - 1) : al(NJ);
  }
  if (t == tFLT || t == tCHR || (t >= tBYTE && t <= tLONG))
    return (x = ikey(x)) && (x = inv(x)) ? imz(x) : 0;
  return en(x);  // the grade of the generic path is not built
}

}  // namespace zk
