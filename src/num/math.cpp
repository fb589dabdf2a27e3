// math.cpp: the numeric monadic verbs and the math builtins: neg (monadic
// -), sqr (monadic %, square root), not_ (monadic ~), nul (monadic ^, the
// null test, with its pool task njw), flr (monadic _, floor; lower case
// for text), kabs (abs), ksin kcos kexp klog ktan kasn kacs katn (sin cos
// exp ln tan asin acos atan) and rndT (rnd, nearest integer).
//
// Every function consumes its argument.  Vector results are written into
// the argument itself when this caller holds its only reference (its
// attribute is then cleared); a shared argument is never changed.  Loops
// run over whole 32-byte blocks past the count: every data area is a
// multiple of 64 bytes.
//
// Narrow integers widen one step before - and abs when they hold the
// smallest value of their width, whose negation would not fit; longs wrap,
// so 0N stays 0N.  rnd rounds halves away from zero exactly: the fraction
// is found by exact subtraction from the truncation, never by adding 0.5
// (which rounds 0.49999999999999994 up and odd integers above 2^52 to the
// next even one).
#include <cmath>
#include <type_traits>

#include "core/err.h"
#include "core/pool.h"
#include "core/simd.h"
#include "core/sym.h"
#include "eval/each.h"
#include "list/list.h"
#include "num/ari.h"
#include "num/num.h"

namespace zk {

namespace {

constexpr J LO[4] = {INT8_MIN, INT16_MIN, INT32_MIN, INT64_MIN};

ZK_INLINE bool isfn(int t) { return t >= tLAMBDA && t <= tNATIVE; }
ZK_INLINE bool nest(int t) { return t == tLIST || t == tDICT || t == tTABLE; }

// Where a result of x's type and count goes: x itself when unshared.
V dst(V x) {
  Hdr *h = hd(x);
  if (h->rc == 1) {
    h->attr = 0;
    return x;
  }
  return an(h->count, h->type);
}
ZK_INLINE V done(V x, V d) {
  if (d != x) mr(x);
  return d;
}

// Items of n items of width 2^sh bytes, raised to whole 32-byte blocks.
ZK_INLINE UJ blk(UJ n, int sh) { return (((n << sh) + 31) >> 5) << (5 - sh); }

// x widened one step when it holds the smallest value of its width.
V wmin(V x) {
  int t = tp(x), c = t - tBYTE;
  if (c < 3 && nx(x) && minfZ(WJ, x) == LO[c]) return cZ(t + 1, x);
  return x;
}

// ---- negate and absolute value over whole blocks ----
template <class T> void negk(const void *s, void *d, UJ n) {
  typedef std::make_unsigned_t<T> TU;
  const TU *p = (const TU *)s;
  TU *o = (TU *)d;
  for (UJ i = 0, m = blk(n, __builtin_ctz(sizeof(T))); i < m; i++) o[i] = (TU)(0 - p[i]);
}
template <class T> void absk(const void *s, void *d, UJ n) {
  typedef std::make_unsigned_t<T> TU;
  const T *p = (const T *)s;
  TU *o = (TU *)d;
  for (UJ i = 0, m = blk(n, __builtin_ctz(sizeof(T))); i < m; i++)
    o[i] = p[i] < 0 ? (TU)(0 - (TU)p[i]) : (TU)p[i];
}
void fnegk(const void *s, void *d, UJ n) {
  const UJ *p = (const UJ *)s;
  UJ *o = (UJ *)d;
  for (UJ i = 0, m = blk(n, 3); i < m; i++) o[i] = p[i] ^ 0x8000000000000000ull;
}
// Items below zero lose their sign; -0.0 and NaN stay as they are.
void fabsk(const void *s, void *d, UJ n) {
  const F *p = (const F *)s;
  F *o = (F *)d;
  for (UJ i = 0, m = blk(n, 3); i < m; i++) o[i] = p[i] < 0 ? -p[i] : p[i];
}
typedef void (*unk)(const void *, void *, UJ);
const unk neg_t[4] = {negk<int8_t>, negk<int16_t>, negk<int32_t>, negk<int64_t>};
const unk abs_t[4] = {absk<int8_t>, absk<int16_t>, absk<int32_t>, absk<int64_t>};

V un(unk k, V x) {
  V d = dst(x);
  k(P(x), P(d), nx(x));
  return done(x, d);
}
// Always into a new vector (temporals).
V unn(unk k, V x) {
  V d = an(nx(x), tp(x));
  k(P(x), P(d), nx(x));
  mr(x);
  return d;
}

V boxed(int t, J v) {
  V x = an(1, t);
  PL(x)[0] = v;
  return x;
}

// ---- square root and the math library over doubles ----
typedef void (*fk4)(const F *, F *, UJ);  // n a multiple of 4
void sqrk(const F *s, F *d, UJ n) {
  for (UJ i = 0; i < n; i += 2) vst(d + i, (f64x2)_mm_sqrt_pd((__m128d)vld<f64x2>(s + i)));
}
template <F (*fn)(F)> void lmk(const F *s, F *d, UJ n) {
  for (UJ i = 0; i < n; i++) d[i] = fn(s[i]);
}
F lsin(F a) { return std::sin(a); }
F lcos(F a) { return std::cos(a); }
F lexp(F a) { return std::exp(a); }
F llog(F a) { return std::log(a); }
F ltan(F a) { return std::tan(a); }
F lasn(F a) { return std::asin(a); }
F lacs(F a) { return std::acos(a); }
F latn(F a) { return std::atan(a); }

V fmath(K1 self, fk4 k, V x) {
  int t = tp(x);
  if (nest(t)) return e1f(self, x);
  if (t != tFLT && t != tFLTA) {
    if (!(x = ct(tFLT, x))) return 0;
    t = tp(x);
    if (t != tFLT && t != tFLTA) return et(x);
  }
  V d = dst(x);
  UJ n = t == tFLTA ? 1 : nx(x);
  k(PF(x), PF(d), (n + 3) & ~(UJ)3);
  return done(x, d);
}

// ---- null test ----
struct Nj {
  const F *s;
  G *d;
  U n;
  I w;
};

void nank(const F *s, G *d, UJ n) {
  UJ i = 0;
  for (; i + 16 <= n; i += 16) {
    i64x2 m[8];
    for (int j = 0; j < 8; j++) m[j] = visnan(vld<f64x2>(s + i + 2 * j));
    vstb(d + i, m);
  }
  for (; i < n; i++) d[i] = s[i] != s[i];
}

// Null test of values that are not floats, bools, functions or lists:
// each item against the null of its type (narrow integers have none).
V nlq(V x) {
  int t = tp(x);
  if (t >= tINTA) return nlt(x);
  if (t == tRANGE && !(x = gZ(x))) return 0;
  t = tp(x);
  J v;
  switch (t) {
    case tCHR: v = ' '; break;
    case tSYM: v = 0; break;
    case tDATE: case tTIME: case tMINUTE: case tSECOND: case tMONTH: v = NI; break;
    case tBYTE: case tSHORT: case tINT: case tLONG: case tTSTAMP: case tTSPAN: v = NJ; break;
    default: return et(x);
  }
  return cmpzZ(v, x, 10);
}

// ---- floor and nearest integer of one double ----
constexpr F P63 = 9223372036854775808.0;
ZK_INLINE J fl1(F d) { return std::fabs(d) < P63 ? (J)std::floor(d) : d > 0 ? WJ : NJ; }
ZK_INLINE J rn1(F d) {
  if (!(std::fabs(d) < P63)) return d != d ? NJ : d > 0 ? WJ : NJ + 1;
  F t = std::trunc(d), f = d - t;  // exact: t and d share their exponent range
  return (J)t + (f >= 0.5) - (f <= -0.5);
}
// A long vector of g over the float vector x; x consumed.
template <J (*g)(F)> V f2j(V x) {
  U n = nx(x);
  V r = an(n, tLONG);
  const F *p = PF(x);
  J *o = PL(r);
  for (U i = 0; i < n; i++) o[i] = g(p[i]);
  mr(x);
  return r;
}

// ---- lower case ----
ZK_INLINE char lc(char c) { return c >= 'A' && c <= 'Z' ? (char)(c + 32) : c; }
I lsym(I id) {
  const char *s = su(id);
  UJ n = strlen(s), i = 0;
  while (i < n && lc(s[i]) == s[i]) i++;
  if (i == n) return id;
  char buf[256];
  char *b = n < sizeof buf ? buf : (char *)malloc(n + 1);
  if (!b) die("out of memory lowering a symbol");
  for (UJ k = 0; k < n; k++) b[k] = lc(s[k]);
  I r = usn(b, n);
  if (b != buf) free(b);
  return r;
}

// abs of any other value: x times its sign, through the verbs.
V absl(V x) {
  V a = gtu(x, ai(0));
  if (!a) return mr(x), (V)0;
  V b = ltu(x, ai(0));
  if (!b) return mr(a), mr(x), (V)0;
  V c = sub(a, b);
  mr(a);
  if (!c) return mr(x), (V)0;
  V r = mul(x, c);
  mr(x);
  return r;
}

}  // namespace

V neg(V x) {
  int t = tp(x);
  switch (t) {
    case tLIST: case tDICT: case tTABLE: return e1f(neg, x);
    case tRANGE: return (x = gZ(x)) ? neg(x) : 0;
    case tBOOL: return (x = ct(tBYTE, x)) ? neg(x) : 0;
    case tCHR: return (x = cZ(tBYTE, x)) ? neg(x) : 0;
    case tBYTE: case tSHORT: case tINT:
      if (!(x = wmin(x))) return 0;
      return un(neg_t[tp(x) - tBYTE], x);
    case tLONG: return un(neg_t[3], x);
    case tFLT: return un(fnegk, x);
    case tTIME: case tMINUTE: case tSECOND: return unn(neg_t[2], x);
    case tTSPAN: return unn(neg_t[3], x);
    case tINTA: case tLONGA: case tCHRA: return az((J)(0 - (UJ)gl(x)));
    case tFLTA: {
      F d = PF(x)[0];
      mr(x);
      return af(-d);
    }
    case tTIMEA: case tMINUTEA: case tSECONDA: return imm(t, 0 - (U)x);
    case tTSPANA: return boxed(tTSPANA, (J)(0 - (UJ)gl(x)));
    default: return et(x);  // dates, timestamps, months, symbols, functions
  }
}

V sqr(V x) { return fmath(sqr, sqrk, x); }
V ksin(V x) { return fmath(ksin, lmk<lsin>, x); }
V kcos(V x) { return fmath(kcos, lmk<lcos>, x); }
V kexp(V x) { return fmath(kexp, lmk<lexp>, x); }
V klog(V x) { return fmath(klog, lmk<llog>, x); }
V ktan(V x) { return fmath(ktan, lmk<ltan>, x); }
V kasn(V x) { return fmath(kasn, lmk<lasn>, x); }
V kacs(V x) { return fmath(kacs, lmk<lacs>, x); }
V katn(V x) { return fmath(katn, lmk<latn>, x); }

V not_(V x) {
  if (x == GNULL) return ai(1);
  int t = tp(x);
  if (isfn(t)) return mr(x), ai(0);
  switch (t) {
    case tBOOL: {
      if (!(x = mut(x))) return 0;
      U n = nx(x);
      UJ *p = P<UJ>(x), w = ((UJ)n + 255) / 256 * 4;
      for (UJ i = 0; i < w; i++) p[i] = ~p[i];
      // Bits past the count stay clear.
      G *b = P(x);
      if (n & 7) b[n >> 3] &= (G)((1u << (n & 7)) - 1);
      memset(b + (n + 7) / 8, 0, w * 8 - (n + 7) / 8);
      return x;
    }
    case tINTA: case tCHRA: case tSYMA: return ai(ip(x) == 0);
    case tLONGA: return ai(gl(x) == 0);
    case tFLTA: {
      F d = PF(x)[0];
      mr(x);
      return ai(d == 0);
    }
    case tRANGE:
      if (!(x = gZ(x))) return 0;
      return cmpzZ(0, x, 10);
    case tBYTE: case tSHORT: case tINT: case tLONG: case tCHR: case tSYM: return cmpzZ(0, x, 10);
    case tFLT: {
      U n = nx(x);
      V r = an(n, tBYTE);
      const F *p = PF(x);
      for (U i = 0; i < n; i++) P(r)[i] = p[i] == 0;
      mr(x);
      return r;
    }
    default: {  // temporals, lists, dicts, tables: 0 = x by the comparison's rules
      I f = tl.f;
      tl.f = 10;
      V r = ari(ai(0), x);
      tl.f = f;
      return r;
    }
  }
}

void njw(void *job, int i) {
  Nj *j = (Nj *)job;
  UJ b = (UJ)j->n * (UJ)i / (UJ)j->w, e = (UJ)j->n * (UJ)(i + 1) / (UJ)j->w;
  nank(j->s + b, j->d + b, e - b);
}

V nul(V x) {
  if (x == GNULL) return ai(1);
  int t = tp(x);
  if (isfn(t)) return mr(x), ai(0);
  switch (t) {
    case tLIST: case tDICT: case tTABLE: return e1f(nul, x);
    case tFLT: {
      U n = nx(x);
      V r = an(n, tBYTE);
      int w = pwk(n);
      if (w <= 1) nank(PF(x), P(r), n);
      else {
        Nj j{PF(x), P(r), n, w};
        par_run(w, njw, &j);
      }
      mr(x);
      return r;
    }
    case tFLTA: {
      F d = PF(x)[0];
      mr(x);
      return ai(d != d);
    }
    case tBOOL: {
      U n = nx(x);
      V r = an(n, tBYTE);
      memset(P(r), 0, n);
      mr(x);
      return r;
    }
    default: return nlq(x);
  }
}

V flr(V x) {
  int t = tp(x);
  switch (t) {
    case tRANGE: case tBOOL: case tBYTE: case tSHORT: case tINT: case tLONG:
    case tINTA: case tLONGA:
      return x;
    case tLIST: case tDICT: case tTABLE: return e1f(flr, x);
    case tFLT: return f2j<fl1>(x);
    case tFLTA: {
      F d = PF(x)[0];
      mr(x);
      return al(fl1(d));
    }
    case tCHR: {
      if (!(x = mut(x))) return 0;
      char *p = PC(x);
      for (U i = 0, n = nx(x); i < n; i++) p[i] = lc(p[i]);
      return x;
    }
    case tCHRA: return ac(lc((char)ip(x)));
    case tSYMA: return as(lsym(ip(x)));
    case tSYM: {
      V d = dst(x);
      for (U i = 0, n = nx(x); i < n; i++) PI(d)[i] = lsym(PI(x)[i]);
      return done(x, d);
    }
    default: return et(x);
  }
}

V kabs(V x) {
  int t = tp(x);
  switch (t) {
    case tBYTE: case tSHORT: case tINT:
      if (!(x = wmin(x))) return 0;
      return un(abs_t[tp(x) - tBYTE], x);
    case tLONG: return un(abs_t[3], x);
    case tFLT: return un(fabsk, x);
    case tINTA: case tLONGA: case tCHRA: {
      J v = gl(x);
      return az(v < 0 ? (J)(0 - (UJ)v) : v);
    }
    case tFLTA: {
      F d = PF(x)[0];
      mr(x);
      return af(d < 0 ? -d : d);
    }
    case tBOOL: return ct(tBYTE, x);
    case tRANGE: return (x = gZ(x)) ? kabs(x) : 0;
    case tCHR: return (x = cZ(tBYTE, x)) ? kabs(x) : 0;
    case tLIST: case tDICT: case tTABLE: return e1f(kabs, x);
    default: return absl(x);
  }
}

V rndT(V x) {
  int t = tp(x);
  switch (t) {
    case tFLT: return f2j<rn1>(x);
    case tFLTA: {
      F d = PF(x)[0];
      mr(x);
      return az(rn1(d));
    }
    // Lists take the nearest integer item by item, not the cast's truncation.
    case tLIST: case tDICT: case tTABLE: return e1f(rndT, x);
    default: return ct(tLONG, x);
  }
}

}  // namespace zk
