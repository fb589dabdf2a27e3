// red.cpp: reductions by element width (the sum_w prd_w min_w max_w
// kernels), the seed folds addfZ..maxfZ, the over reductions of + - * & |
// (admf, subf, mmmf), the parallel integer extremes gmmP and the unsigned
// maximum maxfU.  See red.h for names and ownership.
//
// Integer sums and products wrap modulo 2^64, so any split of the items
// gives the same answer; vectors above 1,048,575 items are split over the
// pool in 65,536-item blocks.  Float sums use the fixed accumulation order of
// simd_sum_f64, and pbs for large vectors, whose blocks are combined in
// block order, so float results never depend on the thread count.
//
// A long null among the items of +/ and */ is skipped; a long null seed
// gives the long null (the fold's own answer: 0N + anything is 0N).
#include <atomic>
#include <cmath>
#include <limits>

#include "core/pool.h"
#include "core/simd.h"
#include "num/num.h"
#include "num/simdf.h"

namespace zk {

namespace {

template <class T> struct zv;
template <> struct zv<int8_t> { typedef i8x16 S; };
template <> struct zv<int16_t> { typedef i16x8 S; };
template <> struct zv<int32_t> { typedef i32x4 S; };
template <> struct zv<int64_t> { typedef i64x2 S; };

// ---- sums ----
// Bytes: biased to unsigned and summed eight at a time into 64-bit lanes
// (psadbw), so no lane can ever overflow.
J sumG(const void *p, UJ n) {
  const G *x = (const G *)p;
  const __m128i b = _mm_set1_epi8((char)0x80), z = _mm_setzero_si128();
  __m128i a0 = z, a1 = z;
  UJ i = 0;
  for (; i + 32 <= n; i += 32) {
    a0 = _mm_add_epi64(a0, _mm_sad_epu8(_mm_xor_si128(vld<__m128i>(x + i), b), z));
    a1 = _mm_add_epi64(a1, _mm_sad_epu8(_mm_xor_si128(vld<__m128i>(x + i + 16), b), z));
  }
  for (; i + 16 <= n; i += 16)
    a0 = _mm_add_epi64(a0, _mm_sad_epu8(_mm_xor_si128(vld<__m128i>(x + i), b), z));
  a0 = _mm_add_epi64(a0, a1);
  UJ s = (UJ)_mm_cvtsi128_si64(a0) + (UJ)_mm_extract_epi64(a0, 1) - 128 * i;
  for (; i < n; i++) s += (UJ)(J)(int8_t)x[i];
  return (J)s;
}

// Shorts: pairs summed into 32-bit lanes (pmaddwd), 8,192 items at a time
// (at most 2^26 per lane), each chunk then added into 64-bit lanes.
J sumH(const void *p, UJ n) {
  const int16_t *x = (const int16_t *)p;
  const __m128i one = _mm_set1_epi16(1);
  u64x2 t = {};
  UJ i = 0, e8 = n & ~(UJ)7;
  while (i < e8) {
    UJ e = e8 - i > 8192 ? i + 8192 : e8;
    i32x4 a0 = {}, a1 = {};
    for (; i + 16 <= e; i += 16) {
      a0 += (i32x4)_mm_madd_epi16(vld<__m128i>(x + i), one);
      a1 += (i32x4)_mm_madd_epi16(vld<__m128i>(x + i + 8), one);
    }
    for (; i < e; i += 8) a0 += (i32x4)_mm_madd_epi16(vld<__m128i>(x + i), one);
    a0 += a1;
    t += (u64x2)vwlo(a0) + (u64x2)vwhi(a0);
  }
  UJ s = t[0] + t[1];
  for (; i < n; i++) s += (UJ)(J)x[i];
  return (J)s;
}

// Ints: every item sign-extended into 64-bit lanes.
J sumI(const void *p, UJ n) {
  const I *x = (const I *)p;
  u64x2 a0 = {}, a1 = {}, a2 = {}, a3 = {};
  UJ i = 0;
  for (; i + 8 <= n; i += 8) {
    i32x4 v0 = vld<i32x4>(x + i), v1 = vld<i32x4>(x + i + 4);
    a0 += (u64x2)vwlo(v0);
    a1 += (u64x2)vwhi(v0);
    a2 += (u64x2)vwlo(v1);
    a3 += (u64x2)vwhi(v1);
  }
  u64x2 a = (a0 + a1) + (a2 + a3);
  UJ s = a[0] + a[1];
  for (; i < n; i++) s += (UJ)(J)x[i];
  return (J)s;
}

// Longs with every 0N counted as 0 (the +/ of a long vector).
J sumN(const void *p, UJ n) {
  const J *x = (const J *)p;
  const i64x2 nn = vdup<i64x2>(NJ);
  u64x2 a0 = {}, a1 = {}, a2 = {}, a3 = {};
  UJ i = 0;
  for (; i + 8 <= n; i += 8) {
    i64x2 v0 = vld<i64x2>(x + i), v1 = vld<i64x2>(x + i + 2), v2 = vld<i64x2>(x + i + 4),
          v3 = vld<i64x2>(x + i + 6);
    a0 += (u64x2)vandn(v0, v0 == nn);
    a1 += (u64x2)vandn(v1, v1 == nn);
    a2 += (u64x2)vandn(v2, v2 == nn);
    a3 += (u64x2)vandn(v3, v3 == nn);
  }
  u64x2 a = (a0 + a1) + (a2 + a3);
  UJ s = a[0] + a[1];
  for (; i < n; i++) s += x[i] == NJ ? 0 : (UJ)x[i];
  return (J)s;
}

// ---- products: four partial products over items 4k .. 4k+3 ----
template <class T, bool SKIPN> J prdw(const void *p, UJ n) {
  const T *x = (const T *)p;
  auto it = [&](UJ i) -> UJ { return SKIPN && (J)x[i] == NJ ? 1 : (UJ)(J)x[i]; };
  UJ a = 1, b = 1, c = 1, d = 1, i = 0;
  for (; i + 4 <= n; i += 4) a *= it(i), b *= it(i + 1), c *= it(i + 2), d *= it(i + 3);
  UJ r = a * b * c * d;
  for (; i < n; i++) r *= it(i);
  return (J)r;
}

// ---- minimum and maximum: signed lane compares, four registers ----
template <class T, bool MX> J mmw(const void *p, UJ n) {
  typedef typename zv<T>::S VS;
  constexpr UJ L = 16 / sizeof(T);
  const T *x = (const T *)p;
  T r = MX ? std::numeric_limits<T>::min() : std::numeric_limits<T>::max();
  UJ i = 0;
  if (n >= 4 * L) {
    VS a0 = vdup<VS>(r), a1 = a0, a2 = a0, a3 = a0;
    for (; i + 4 * L <= n; i += 4 * L) {
      VS v0 = vld<VS>(x + i), v1 = vld<VS>(x + i + L), v2 = vld<VS>(x + i + 2 * L),
         v3 = vld<VS>(x + i + 3 * L);
      if (MX) a0 = vmax(a0, v0), a1 = vmax(a1, v1), a2 = vmax(a2, v2), a3 = vmax(a3, v3);
      else a0 = vmin(a0, v0), a1 = vmin(a1, v1), a2 = vmin(a2, v2), a3 = vmin(a3, v3);
    }
    a0 = MX ? vmax(vmax(a0, a1), vmax(a2, a3)) : vmin(vmin(a0, a1), vmin(a2, a3));
    r = MX ? vhmax(a0) : vhmin(a0);
  }
  for (; i < n; i++)
    if (MX ? x[i] > r : x[i] < r) r = x[i];
  return r;
}

// ---- parallel driver: the kernel over blocks of 65,536 items, claimed by
// the tasks in turn (a slow thread takes fewer), each task combining its
// own blocks; every combination is exact, so the split never shows ----
enum { RSUM, RPRD, RMIN, RMAX };
constexpr UJ RBLK = 65536;

J comb(int op, J a, J b) {
  switch (op) {
    case RSUM: return (J)((UJ)a + (UJ)b);
    case RPRD: return (J)((UJ)a * (UJ)b);
    case RMIN: return b < a ? b : a;
    default: return b > a ? b : a;
  }
}

struct Rj {
  redk k;
  const G *p;
  UJ n, nb;
  int sh, op;
  std::atomic<UJ> next;
  J out[PL_MAX];
  G any[PL_MAX];
};

void rj_task(void *c, int i) {
  Rj *j = (Rj *)c;
  J a = 0;
  G any = 0;
  for (UJ b; (b = j->next.fetch_add(1, std::memory_order_relaxed)) < j->nb;) {
    UJ lo = b * RBLK, m = j->n - lo < RBLK ? j->n - lo : RBLK;
    J v = j->k(j->p + (lo << j->sh), m);
    a = any ? comb(j->op, a, v) : v;
    any = 1;
  }
  j->out[i] = a;
  j->any[i] = any;
}

// k over the n items of width class c at p, split when large.
J pred(redk k, int op, int c, const void *p, UJ n) {
  int w = pwk(n);
  if (w <= 1) return k(p, n);
  Rj j{k, (const G *)p, n, (n + RBLK - 1) / RBLK, c, op, {0}, {}, {}};
  par_run(w, rj_task, &j);
  J r = k(p, 0);  // the identity
  for (int i = 0; i < w; i++)
    if (j.any[i]) r = comb(op, r, j.out[i]);
  return r;
}

// Width class of an integer vector, chars counting as bytes.
ZK_INLINE int wcz(V x) { return Tw[tp(x)] - 3; }
ZK_INLINE bool intv(int t) { return t >= tBYTE && t <= tLONG; }
ZK_INLINE bool iseed(int st) { return st == tINTA || st == tLONGA; }
ZK_INLINE I slot(V verb) { return ip(verb); }

bool hasnull(V x) {
  const J *p = PL(x);
  UJ n = nx(x);
  for (UJ i = 0; i < n; i++)
    if (p[i] == NJ) return true;
  return false;
}

// The float sum of n doubles: one pass below the parallel threshold.
F fsum(const F *p, UJ n) { return n <= 0xFFFFF ? simd_sum_f64(p, n) : pbs(p, nullptr, n); }

}  // namespace

F fseed(V s) {
  if (tp(s) == tFLTA) {
    F d = PF(s)[0];
    mr(s);
    return d;
  }
  J v = gl(s);
  return v == NJ ? NAN : (F)v;
}

int pwk(UJ n) {
  if (n <= 0xFFFFF) return 1;
  UJ t = (UJ)par_thread_count(), q = n >> 18;
  if (q < t) t = q;
  return (int)(t < (UJ)PL_MAX ? t : (UJ)PL_MAX);
}

J addfG(const void *p, UJ n) { return sumG(p, n); }
J addfH(const void *p, UJ n) { return sumH(p, n); }
J addfI(const void *p, UJ n) { return sumI(p, n); }
J addfL(const void *p, UJ n) { return simd_sum_i64((const J *)p, n); }
J mulfG(const void *p, UJ n) { return prdw<int8_t, false>(p, n); }
J mulfH(const void *p, UJ n) { return prdw<int16_t, false>(p, n); }
J mulfI(const void *p, UJ n) { return prdw<int32_t, false>(p, n); }
J mulfL(const void *p, UJ n) { return prdw<int64_t, false>(p, n); }
J minfG(const void *p, UJ n) { return mmw<int8_t, false>(p, n); }
J minfH(const void *p, UJ n) { return mmw<int16_t, false>(p, n); }
J minfI(const void *p, UJ n) { return mmw<int32_t, false>(p, n); }
J minfL(const void *p, UJ n) { return mmw<int64_t, false>(p, n); }
J maxfG(const void *p, UJ n) { return mmw<int8_t, true>(p, n); }
J maxfH(const void *p, UJ n) { return mmw<int16_t, true>(p, n); }
J maxfI(const void *p, UJ n) { return mmw<int32_t, true>(p, n); }
J maxfL(const void *p, UJ n) { return mmw<int64_t, true>(p, n); }

const redk sum_w[4] = {addfG, addfH, addfI, addfL};
const redk prd_w[4] = {mulfG, mulfH, mulfI, mulfL};
const redk min_w[4] = {minfG, minfH, minfI, minfL};
const redk max_w[4] = {maxfG, maxfH, maxfI, maxfL};

J addfZ(J s, V x) {
  int c = wcz(x);
  return (J)((UJ)s + (UJ)pred(sum_w[c], RSUM, c, P(x), nx(x)));
}
J mulfZ(J s, V x) {
  int c = wcz(x);
  return (J)((UJ)s * (UJ)pred(prd_w[c], RPRD, c, P(x), nx(x)));
}
// An empty x leaves the seed as it is.
J minfZ(J s, V x) {
  int c = wcz(x);
  UJ n = nx(x);
  if (!n) return s;
  J m = pred(min_w[c], RMIN, c, P(x), n);
  return m < s ? m : s;
}
J maxfZ(J s, V x) {
  int c = wcz(x);
  UJ n = nx(x);
  if (!n) return s;
  J m = pred(max_w[c], RMAX, c, P(x), n);
  return m > s ? m : s;
}

// ---- over reductions ----

V admf(V verb, V seed, V x) {
  I op = slot(verb);
  int t = tp(x), st = seed ? tp(seed) : 0;
  if (seed && !iseed(st) && st != tFLTA) return f___(verb, seed, x);
  if (t == tFLT || st == tFLTA) {
    if (!intv(t) && t != tFLT) return f___(verb, seed, x);
    F s = seed ? fseed(seed) : op == 1 ? 0.0 : 1.0;
    V y = ct(tFLT, _r(x));
    if (!y) return 0;
    const F *p = PF(y);
    UJ n = nx(y);
    if (op == 3)
      for (UJ i = 0; i < n; i++) s *= p[i];
    else s = s + fsum(p, n);
    mr(y);
    return af(s);
  }
  if (!intv(t) && t != tCHR) return f___(verb, seed, x);
  J s = op == 1 ? 0 : 1;
  if (seed) {
    s = gl(seed);
    if (s == NJ) return al(NJ);
  }
  UJ n = nx(x);
  if (t == tLONG)
    return az(op == 1 ? (J)((UJ)s + (UJ)pred(sumN, RSUM, 3, P(x), n))
                      : (J)((UJ)s * (UJ)pred(prdw<int64_t, true>, RPRD, 3, P(x), n)));
  return az(op == 1 ? addfZ(s, x) : mulfZ(s, x));
}

V subf(V verb, V seed, V x) {
  int t = tp(x), st = seed ? tp(seed) : 0;
  if (t == tLONG && hasnull(x)) {
    if (seed) mr(seed);
    return al(NJ);
  }
  if (seed && !iseed(st) && st != tFLTA) return f___(verb, seed, x);
  if (t == tFLT || st == tFLTA) {
    if (!intv(t) && t != tFLT) return f___(verb, seed, x);
    bool sd = seed != 0;
    F s = sd ? fseed(seed) : 0.0;
    V y = ct(tFLT, _r(x));
    if (!y) return 0;
    const F *p = PF(y);
    UJ n = nx(y), i = 0;
    if (!sd && n) s = p[i++];
    for (; i < n; i++) s -= p[i];
    mr(y);
    return af(s);
  }
  if (!intv(t) && t != tCHR) return f___(verb, seed, x);
  UJ n = nx(x);
  if (seed) {
    J s = gl(seed);
    if (s == NJ) return al(NJ);
    return az((J)((UJ)s - (UJ)addfZ(0, x)));
  }
  if (!n) return ai(0);
  return az((J)(2 * (UJ)iat(x, 0) - (UJ)addfZ(0, x)));  // x[0] minus the rest
}

V mmmf(V verb, V seed, V x) {
  bool mx = slot(verb) == 7;
  int t = tp(x), st = seed ? tp(seed) : 0;
  if (seed && !iseed(st) && st != tFLTA) return f___(verb, seed, x);
  if (t == tFLT || st == tFLTA) {
    if (!intv(t) && t != tFLT) return f___(verb, seed, x);
    UJ n;
    if (!seed) {  // a float vector
      const F *p = PF(x);
      n = nx(x);
      if (!n) return af(mx ? -INFINITY : INFINITY);
      int32_t nan = 0;
      F r = par_mm_f64(p, n, mx, &nan);
      if (!nan) return af(r == 0 ? 0.0 : r);
      if (!mx) return _r(cn[tFLTA]);
      J k = NJ;  // NaN lies below every key: the largest other item
      for (UJ i = 0; i < n; i++) {
        J q = fk(p[i]);
        if (q > k) k = q;
      }
      return af(kf(k));
    }
    J k = fk(fseed(seed));
    V y = ct(tFLT, _r(x));
    if (!y) return 0;
    const F *p = PF(y);
    n = nx(y);
    for (UJ i = 0; i < n; i++) {
      J q = fk(p[i]);
      if (mx ? q > k : q < k) k = q;
    }
    mr(y);
    return af(kf(k));
  }
  if (!intv(t)) return f___(verb, seed, x);  // chars order unsigned: the verb decides
  if (seed) {
    J s = gl(seed);
    return az(mx ? maxfZ(s, x) : minfZ(s, x));
  }
  if (mx) return az(nx(x) ? maxfZ(NJ, x) : NJ + 1);
  return az(minfZ(WJ, x));
}

// ---- parallel integer extremes ----

namespace {
struct Gmm {
  const G *p;
  int w;
  UJ n;
  int t;
  J mn[PL_MAX], mx[PL_MAX];
};
}  // namespace

void gmm1(void *job, int k) {
  Gmm *j = (Gmm *)job;
  UJ b = (UJ)((unsigned __int128)j->n * (unsigned)k / (unsigned)j->t);
  UJ e = (UJ)((unsigned __int128)j->n * (unsigned)(k + 1) / (unsigned)j->t);
  const G *p = j->p + (b << j->w);
  if (e <= b) {  // b < n: a real item that cannot change the answer
    J v = j->w == 0 ? *(const int8_t *)p : j->w == 1 ? *(const int16_t *)p
          : j->w == 2 ? *(const I *)p : *(const J *)p;
    j->mn[k] = j->mx[k] = v;
    return;
  }
  j->mn[k] = min_w[j->w](p, e - b);
  j->mx[k] = max_w[j->w](p, e - b);
}

void gmmP(const void *data, int w, UJ n, int tasks, J *mn, J *mx) {
  if (!n) {
    *mn = WJ, *mx = NJ;
    return;
  }
  int t = tasks < 1 ? 1 : tasks > PL_MAX ? PL_MAX : tasks;
  Gmm j{(const G *)data, w, n, t, {}, {}};
  par_run(t, gmm1, &j);
  J a = j.mn[0], b = j.mx[0];
  for (int k = 1; k < t; k++) {
    if (j.mn[k] < a) a = j.mn[k];
    if (j.mx[k] > b) b = j.mx[k];
  }
  *mn = a, *mx = b;
}

U maxfU(const U *v, UJ n) {
  __m128i a = _mm_setzero_si128();
  UJ i = 0;
  for (; i + 4 <= n; i += 4) a = _mm_max_epu32(a, vld<__m128i>(v + i));
  u32x4 l = (u32x4)a;
  U r = 0;
  for (int k = 0; k < 4; k++) r = l[k] > r ? l[k] : r;
  for (; i < n; i++) r = v[i] > r ? v[i] : r;
  return r;
}

}  // namespace zk
