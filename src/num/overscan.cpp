// overscan.cpp: over (arf) and scan (ars) of the eleven primitive dyadic
// verbs on whole vectors, the kernel tables over_k and scan_k, and the
// generic fold f___ and scan s___ that apply the verb item by item
// wherever no typed route exists.  See red.h for names and ownership.
//
// Scans run item by item in order (a running float sum is the same double
// the fold computes one step at a time).  Integer scans write at x's width
// and, when a running value leaves the width, start again one width wider
// (byte, short, int, long; long wraps), so the result has the narrowest
// width that holds every running value.  A long null seed makes every
// running value of + * - the long null, as the fold itself does.
#include <cmath>

#include "core/sym.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/num.h"

namespace zk {

namespace {

ZK_INLINE I slot(V verb) { return ip(verb); }
ZK_INLINE bool intv(int t) { return t >= tBYTE && t <= tLONG; }
ZK_INLINE bool iseed(V s) { return s && (tp(s) == tINTA || tp(s) == tLONGA); }
ZK_INLINE bool fops(I op) { return op == 1 || op == 2 || op == 3 || op == 6 || op == 7; }

constexpr J LO[4] = {INT8_MIN, INT16_MIN, INT32_MIN, INT64_MIN};
constexpr J HI[4] = {INT8_MAX, INT16_MAX, INT32_MAX, INT64_MAX};

// n copies of v in a vector of type t.
V fillv(int t, U n, J v) {
  V r = an(n, t);
  for (U i = 0; i < n; i++)
    if (t == tLONG) PL(r)[i] = v;
    else PI(r)[i] = (I)v;
  return r;
}

// ---- running + and * at one width; false when a running value leaves it ----
template <class T, bool MUL> bool rsk(const void *p, void *o, UJ n, J s) {
  const T *x = (const T *)p;
  T *r = (T *)o;
  if constexpr (sizeof(T) == 8) {
    UJ a = (UJ)s;
    for (UJ i = 0; i < n; i++) r[i] = (J)(a = MUL ? a * (UJ)x[i] : a + (UJ)x[i]);
    return true;
  } else {
    J a = s;
    for (UJ i = 0; i < n; i++) {
      J v;
      if (MUL ? __builtin_mul_overflow(a, (J)x[i], &v) : __builtin_add_overflow(a, (J)x[i], &v))
        return false;
      if (v != (J)(T)v) return false;
      r[i] = (T)(a = v);
    }
    return true;
  }
}
typedef bool (*rskf)(const void *, void *, UJ, J);
const rskf rsk_t[2][4] = {
    {rsk<int8_t, false>, rsk<int16_t, false>, rsk<int32_t, false>, rsk<int64_t, false>},
    {rsk<int8_t, true>, rsk<int16_t, true>, rsk<int32_t, true>, rsk<int64_t, true>}};

// Running sum (mul false) or product of the integer vector y from s;
// consumes y.
V rscan(bool mul, J s, V y) {
  for (;;) {
    int t = tp(y);
    U n = nx(y);
    V r = an(n, t);
    if (rsk_t[mul][t - tBYTE](P(y), P(r), n, s)) {
      mr(y);
      return r;
    }
    mr(r);
    if (!(y = cZ(t + 1, y))) return 0;
  }
}

// ---- running maximum (MX) or minimum from a start value ----
template <class T, bool MX> void rmk(const void *p, void *o, UJ n, J s) {
  const T *x = (const T *)p;
  T *r = (T *)o, a = (T)s;
  for (UJ i = 0; i < n; i++) r[i] = a = MX ? (x[i] > a ? x[i] : a) : (x[i] < a ? x[i] : a);
}
typedef void (*rmkf)(const void *, void *, UJ, J);
const rmkf rmk_t[2][4] = {
    {rmk<int8_t, false>, rmk<int16_t, false>, rmk<int32_t, false>, rmk<int64_t, false>},
    {rmk<int8_t, true>, rmk<int16_t, true>, rmk<int32_t, true>, rmk<int64_t, true>}};

// Running `=`: v = (v = x[i]) as 0 or 1, from v.
template <class T> void rek(const void *p, G *o, UJ n, J v, UJ i0) {
  const T *x = (const T *)p;
  for (UJ i = i0; i < n; i++) o[i] = (G)(v = v == (J)x[i]);
}
typedef void (*rekf)(const void *, G *, UJ, J, UJ);
const rekf rek_t[4] = {rek<int8_t>, rek<int16_t>, rek<int32_t>, rek<int64_t>};

// Float scans of + - * & | on the float vector y (borrowed); the seed
// (consumed) is an int, long or float atom, or 0.
V fscan(I op, V seed, V y) {
  bool sd = seed != 0;
  F s = sd ? fseed(seed) : 0;
  UJ n = nx(y);
  const F *x = PF(y);
  V r = an((U)n, tFLT);
  F *o = PF(r);
  switch (op) {
    case 1: {
      F a = sd ? s : 0.0;
      for (UJ i = 0; i < n; i++) o[i] = a = a + x[i];
      break;
    }
    case 3: {
      F a = sd ? s : 1.0;
      for (UJ i = 0; i < n; i++) o[i] = a = a * x[i];
      break;
    }
    case 2: {
      UJ i = 0;
      F a = s;
      if (!sd && n) o[0] = a = x[i++];
      for (; i < n; i++) o[i] = a = a - x[i];
      break;
    }
    default: {  // & |: on order keys, NaN below every other float
      bool mx = op == 7;
      J a = sd ? fk(s) : mx ? NJ : WJ;
      for (UJ i = 0; i < n; i++) {
        J k = fk(x[i]);
        if (mx ? k > a : k < a) a = k;
        o[i] = kf(a);
      }
    }
  }
  return r;
}

// Running + or * of a long vector holding nulls: a null item repeats the
// running value.
V nscan(bool mul, J s, V x) {
  UJ n = nx(x);
  const J *p = PL(x);
  V r = an((U)n, tLONG);
  J *o = PL(r);
  UJ a = (UJ)s;
  for (UJ i = 0; i < n; i++) {
    if (p[i] != NJ) a = mul ? a * (UJ)p[i] : a + (UJ)p[i];
    o[i] = (J)a;
  }
  return r;
}

// Runs f on a temporary made from x (a range or a bool vector), then
// releases it; the seed passes to f.
V viatmp(ovk f, V verb, V seed, V x) {
  return ontmp(f, verb, seed, tp(x) == tRANGE ? gZ(_r(x)) : ct(tBYTE, _r(x)));
}

}  // namespace

V ontmp(ovk f, V verb, V seed, V y) {
  if (!y) {
    if (seed) mr(seed);
    return 0;
  }
  V r = f(verb, seed, y);
  mr(y);
  return r;
}

// ---- over ----

V dexf(V verb, V seed, V x) {
  if (seed) mr(seed);
  return las(_r(x));
}

V f___(V verb, V seed, V x) {
  J n = _n(x), i = 0;
  V a = seed ? seed : io(x, i++);
  for (; i < n; i++) {
    V r = _2(verb, a, ii(x, i));
    mr(a);
    if (!r) return 0;
    a = r;
  }
  return a;
}

const ovk over_k[11] = {dexf, admf, subf, admf, f___, f___, mmmf, mmmf, f___, f___, f___};

V arf(V verb, V seed, V x) {
  I op = slot(verb);
  int t = tp(x);
  if (t == tRANGE) {
    if (op == 1 && !seed) {  // closed form, no pass over the items
      UJ b = (UJ)PL(x)[0], c = (UJ)PL(x)[1], n = c - b;
      return az((J)(n & 1 ? (b + (n - 1) / 2) * n : (n / 2) * (b + c - 1)));
    }
    return viatmp(arf, verb, seed, x);
  }
  if (t == tBOOL) return viatmp(arf, verb, seed, x);
  if (op < 0 || op > 10) return f___(verb, seed, x);
  return over_k[op](verb, seed, x);
}

// ---- scan ----

V dexs(V verb, V seed, V x) {
  if (seed) mr(seed);
  return _r(x);
}

V s___(V verb, V seed, V x) {
  J n = _n(x), i = 0;
  V a, r;
  if (seed) {
    if (!n) return mr(seed), rs0(_r(x));
    a = seed, r = emp();
  } else {
    if (!n) return _r(x);
    a = ii(x, i++);
    r = enl(_r(a));
  }
  for (; i < n; i++) {
    V v = _2(verb, a, ii(x, i));
    mr(a);
    if (!v) return mr(r), (V)0;
    a = v;
    if (!(r = psh(r, _r(a)))) return mr(a), (V)0;
  }
  mr(a);
  return r;
}

V adms(V verb, V seed, V x) {
  int t = tp(x);
  if (!(intv(t) || t == tCHR) || (seed && !iseed(seed))) return s___(verb, seed, x);
  bool mul = slot(verb) == 3;
  J s = mul ? 1 : 0;
  if (seed && (s = gl(seed)) == NJ) return fillv(tLONG, nx(x), NJ);
  V y = t == tCHR ? cZ(tBYTE, _r(x)) : _r(x);
  return y ? rscan(mul, s, y) : 0;
}

V subs(V verb, V seed, V x) {
  int t = tp(x);
  if (!(intv(t) || t == tCHR) || (seed && !iseed(seed))) return s___(verb, seed, x);
  U n = nx(x);
  UJ s;
  if (seed) {
    J v = gl(seed);
    if (v == NJ) return fillv(tLONG, n, NJ);
    s = 0 - (UJ)v;
  } else {
    if (!n) return _r(x);
    s = (UJ)-2 * (UJ)iat(x, 0);
  }
  // s - x0 - .. - xi is the negation of the running sum from -s.
  V y = t == tCHR ? cZ(tBYTE, _r(x)) : _r(x);
  if (!y || !(y = rscan(false, (J)s, y))) return 0;
  return neg(y);
}

// Running maximum (mx) or minimum with the seed's three cases: beyond the
// far end of the width every item is the seed (a vector of the seed's
// type); beyond the near end the seed cannot win and the scan runs as
// without one.
static V mms(bool mx, V verb, V seed, V x) {
  int t = tp(x);
  if (!intv(t) || (seed && !iseed(seed))) return s___(verb, seed, x);
  int c = t - tBYTE;
  U n = nx(x);
  J a = mx ? LO[c] : HI[c];
  if (seed) {
    int st = tp(seed);
    J s = gl(seed);
    if (mx ? s >= HI[c] : s <= LO[c]) return fillv(st == tINTA ? tINT : tLONG, n, s);
    if (mx ? s > LO[c] : s < HI[c]) a = s;
  }
  V r = an(n, t);
  rmk_t[mx][c](P(x), P(r), n, a);
  return r;
}
V mxms(V verb, V seed, V x) { return mms(true, verb, seed, x); }
V mnms(V verb, V seed, V x) { return mms(false, verb, seed, x); }

V eqls(V verb, V seed, V x) {
  int t = tp(x);
  if (!intv(t) || (seed && !iseed(seed))) return s___(verb, seed, x);
  U n = nx(x);
  int c = t - tBYTE;
  V r = an(n, tBYTE);
  if (seed) {
    rek_t[c](P(x), P(r), n, gl(seed), 0);
    return r;
  }
  if (!n) return r;
  J x0 = iat(x, 0);
  rek_t[c](P(x), P(r), n, x0, 1);
  // Item 0 is x[0] itself: the byte vector widens when x[0] needs it.
  int w = tZ(x0);
  if (w > tBYTE && !(r = cZ(w, r))) return 0;
  switch (w) {
    case tBYTE: P<int8_t>(r)[0] = (int8_t)x0; break;
    case tSHORT: P<int16_t>(r)[0] = (int16_t)x0; break;
    case tINT: PI(r)[0] = (I)x0; break;
    default: PL(r)[0] = x0;
  }
  return r;
}

const ovk scan_k[11] = {dexs, adms, subs, adms, s___, s___, mnms, mxms, s___, s___, eqls};

V ars(V verb, V seed, V x) {
  I op = slot(verb);
  int t = tp(x);
  if (t == tRANGE || t == tBOOL) return viatmp(ars, verb, seed, x);
  if (op < 0 || op > 10) return s___(verb, seed, x);
  bool fs = seed && tp(seed) == tFLTA;
  if (t == tFLT && (!seed || fs || iseed(seed))) {
    if (fops(op)) return fscan(op, seed, x);
    return op == 10 ? s___(verb, seed, x) : scan_k[op](verb, seed, x);
  }
  if (fs) {
    if (op == 10) return s___(verb, seed, x);
    if (!fops(op)) return scan_k[op](verb, seed, x);
    V y = ct(tFLT, _r(x));
    if (!y) return mr(seed), (V)0;
    V r = fscan(op, seed, y);
    mr(y);
    return r;
  }
  if (t == tLONG && (op == 1 || op == 3) && (!seed || iseed(seed))) {
    const J *p = PL(x);
    U n = nx(x), i = 0;
    while (i < n && p[i] != NJ) i++;
    if (i < n) {
      J s = op == 3 ? 1 : 0;
      if (seed && (s = gl(seed)) == NJ) return fillv(tLONG, n, NJ);
      return nscan(op == 3, s, x);
    }
  }
  return scan_k[op](verb, seed, x);
}

}  // namespace zk
