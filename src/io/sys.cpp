// sys.cpp: the small system builtins: argv (qa), env (qe), exit (qx), t
// (qt), fb (qfb), lk (lkT, glob match lkq), qmc (qmcT, the memo cache),
// qes / qeg (qesT / qegT, the per-thread environment slot), nsd (nsdT),
// ewt (ewtT, numeric list classifier), md5 (md5T), hex and unh.  Every one
// consumes its argument and answers a new reference, or 0 with the error
// raised.
#include <sys/time.h>

#include <cstdlib>
#include <cstring>

#include "capi/capi.h"
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "io/hex.h"
#include "io/io.h"
#include "list/list.h"
#include "order/order.h"

namespace zk {

extern const char **zk_argv;

// ---- argv, env, exit, t, fb ----

V qa(V x) {
  V l = emp();
  for (const char **p = zk_argv; p && *p; p++) l = psh(l, aCz(*p));
  V r = _1(l, x);
  mr(l);
  return r;
}

V qe(V x) {
  U n = 0;
  for (const char **p = zk_env; p && *p; p++) n++;
  V k = an(n, tSYM), v = n ? an(n, tLIST) : emp();
  for (U i = 0; i < n; i++) {
    const char *e = zk_env[i], *q = strchr(e, '=');
    PI(k)[i] = q ? usn(e, (UJ)(q - e)) : us(e);
    PA(v)[i] = aCz(q ? q + 1 : "");
  }
  V d = am(k, v);
  if (x == GNULL) return d;
  V r = _1(x, d);
  mr(x);
  return r;
}

V qx(V x) {
  int t = tp(x), s = t == tINTA ? ip(x) : t == tLONGA ? (int)PL(x)[0] : 1;
  exit(s);
}

V qt(V x) {
  mr(x);
  timeval tv;
  gettimeofday(&tv, nullptr);
  return al((J)tv.tv_sec * 1000000 + tv.tv_usec);
}

V qfb(V x) {
  if (tp(x) != tCHR) return et(x);
  if (nx(x) != 8) return el(x);
  UJ b = 0;
  for (int i = 0; i < 8; i++) b = b << 8 | P(x)[i];
  mr(x);
  F f;
  memcpy(&f, &b, 8);
  return af(f);
}

// ---- lk: glob match ----

// Does the class starting at p[0] == '[' hold c?  *e gets the position
// after its ']'.  The first member never closes the class.
static bool lkc(const G *p, U m, U i, G c, U *e) {
  i++;
  bool neg = i < m && p[i] == '^';
  if (neg) i++;
  bool hit = false;
  U s = i;
  for (; i < m && (i == s || p[i] != ']'); i++) {
    if (p[i] == '-' && i > s && i + 1 < m && p[i + 1] != ']') {
      if (c >= p[i - 1] && c <= p[i + 1]) hit = true;
      continue;
    }
    if (p[i] == c) hit = true;
  }
  *e = i + 1;
  return hit != neg;
}

I lkq(const G *t, U n, const G *p, U m) {
  U i = 0, j = 0, si = 0, sj = 0;
  bool star = false;
  while (i < n) {
    if (j < m && p[j] == '*') {
      star = true, sj = ++j, si = i;
      continue;
    }
    if (j < m) {
      U e = j + 1;
      bool ok = p[j] == '?' || (p[j] == '[' ? lkc(p, m, j, t[i], &e) : p[j] == t[i]);
      if (ok) {
        i++, j = e;
        continue;
      }
    }
    if (!star) return 0;
    i = ++si, j = sj;
  }
  while (j < m && p[j] == '*') j++;
  return j == m;
}

// Every '[' needs a ']' from the second character after it (the third
// after "[^").
static bool lkv(const G *p, U m) {
  for (U i = 0; i < m; i++) {
    if (p[i] != '[') continue;
    U s = i + 2 + (i + 1 < m && p[i + 1] == '^');
    while (s < m && p[s] != ']') s++;
    if (s >= m) return false;
    i = s;
  }
  return true;
}

// The text of a char vector or char atom; false for anything else.
static bool lks(V x, const G **s, U *n, G *one) {
  int t = tp(x);
  if (t == tCHR) return *s = P(x), *n = nx(x), true;
  if (t == tCHRA) return *one = (G)ip(x), *s = one, *n = 1, true;
  return false;
}

V lkT(V x) {
  if (tp(x) != tLIST || nx(x) != 2 || tp(PA(x)[1]) != tCHR) return et(x);
  V t = PA(x)[0], pt = PA(x)[1];
  const G *p = P(pt);
  U m = nx(pt);
  if (!lkv(p, m)) return ed(x);
  const G *s;
  U n;
  G one;
  if (lks(t, &s, &n, &one)) {
    I r = lkq(s, n, p, m);
    mr(x);
    return ai(r);
  }
  if (tp(t) != tLIST) return et(x);
  U k = nx(t);
  V r = an(k, tBYTE);
  for (U i = 0; i < k; i++) {
    if (!lks(PA(t)[i], &s, &n, &one)) {
      mr(r);
      return et(x);
    }
    P(r)[i] = (G)lkq(s, n, p, m);
  }
  mr(x);
  return r;
}

// ---- qmc: the process-wide memo cache ----

V qmk[16][64], qmv[16][64];
U qmn[16];

V qmcT(V x) {
  U n = tp(x) == tLIST ? nx(x) : 0;
  if ((n != 2 && n != 3) || tp(PA(x)[0]) != tINTA || (U)ip(PA(x)[0]) > 15) return et(x);
  U s = (U)ip(PA(x)[0]);
  V k = PA(x)[1];
  std::unique_lock<std::recursive_mutex> l(g_parse_mx, std::defer_lock);
  if (shared_mode()) l.lock();
  U i = 0;
  while (i < qmn[s] && !mtc_(qmk[s][i], k)) i++;
  V r;
  if (n == 2) {
    r = i < qmn[s] ? aA1(_r(qmv[s][i])) : emp();
  } else {
    V v = pub(PA(x)[2]);  // the other threads of a job read the table
    pub(k);
    if (i < qmn[s]) {
      mr(qmv[s][i]);
      qmv[s][i] = _r(v);
    } else {
      if (qmn[s] == 64) {
        mrn(64, qmk[s]);
        mrn(64, qmv[s]);
        qmn[s] = 0;
      }
      qmk[s][qmn[s]] = _r(k);
      qmv[s][qmn[s]++] = _r(v);
    }
    r = _r(v);
  }
  if (l.owns_lock()) l.unlock();
  mr(x);
  return r;
}

// ---- qes, qeg, nsd: the per-thread environment slot ----

static thread_local V qenv;

V qesT(V x) {
  V o = qenv ? qenv : GNULL;
  qenv = x == GNULL ? 0 : x;
  return o;
}

V qegT(V x) {
  mr(x);
  return qenv ? _r(qenv) : GNULL;
}

V nsdT(V x) {
  mr(x);
  V ns = as(gd && !tl.groot ? gd : 0);
  if (qenv && tp(qenv) == tDICT) return aA2(ns, _r(PA(qenv)[0]));
  return ns;
}

// ---- ewt: classify a list of numeric vectors ----

V ewtT(V x) {
  I r = 0;
  U n = tp(x) == tLIST ? nx(x) : 0;
  bool flt = false, in = false, lng = false, nul = false;
  for (U i = 0; i < n; i++) {
    V v = PA(x)[i];
    int t = tp(v);
    if (t < tBOOL || t > tFLT || _n(v) < 1) goto done;
    if (t == tFLT) flt = true;
    else in = true;
    if (t == tLONG) {
      lng = true;
      for (U j = 0; j < nx(v) && !nul; j++) nul = PL(v)[j] == NJ;
    }
    if (nx(v) > 2097151) lng = true;
  }
  if (n && !(flt && in)) r = us(flt ? "F" : nul ? "i" : lng ? "I" : "J");
done:
  mr(x);
  return as(r);
}

// ---- md5 (RFC 1321) ----

static const U m5k[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

static inline U rol(U v, int s) { return v << s | v >> (32 - s); }

// One step: a += f + k + w, rotated, plus b.
#define M5(f, a, b, c, d, i, g, s) a = b + rol(a + (f) + m5k[i] + w[g], s)
#define M5F(b, c, d) (d ^ (b & (c ^ d)))
#define M5G(b, c, d) (c ^ (d & (b ^ c)))
#define M5H(b, c, d) (b ^ c ^ d)
#define M5I(b, c, d) (c ^ (b | ~d))

// Four steps of one round: step i reads word g(i) and rotates by the
// round's shift for i mod 4.
template <int R> [[gnu::always_inline]] inline void m5r(U &a, U &b, U &c, U &d, const U *w, int i) {
  constexpr G sh[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
  auto g = [](int j) { return R == 0 ? j : R == 1 ? (5 * j + 1) & 15 : R == 2 ? (3 * j + 5) & 15 : (7 * j) & 15; };
  if constexpr (R == 0) {
    M5(M5F(b, c, d), a, b, c, d, i, g(i), sh[R][0]);
    M5(M5F(a, b, c), d, a, b, c, i + 1, g(i + 1), sh[R][1]);
    M5(M5F(d, a, b), c, d, a, b, i + 2, g(i + 2), sh[R][2]);
    M5(M5F(c, d, a), b, c, d, a, i + 3, g(i + 3), sh[R][3]);
  } else if constexpr (R == 1) {
    M5(M5G(b, c, d), a, b, c, d, i, g(i), sh[R][0]);
    M5(M5G(a, b, c), d, a, b, c, i + 1, g(i + 1), sh[R][1]);
    M5(M5G(d, a, b), c, d, a, b, i + 2, g(i + 2), sh[R][2]);
    M5(M5G(c, d, a), b, c, d, a, i + 3, g(i + 3), sh[R][3]);
  } else if constexpr (R == 2) {
    M5(M5H(b, c, d), a, b, c, d, i, g(i), sh[R][0]);
    M5(M5H(a, b, c), d, a, b, c, i + 1, g(i + 1), sh[R][1]);
    M5(M5H(d, a, b), c, d, a, b, i + 2, g(i + 2), sh[R][2]);
    M5(M5H(c, d, a), b, c, d, a, i + 3, g(i + 3), sh[R][3]);
  } else {
    M5(M5I(b, c, d), a, b, c, d, i, g(i), sh[R][0]);
    M5(M5I(a, b, c), d, a, b, c, i + 1, g(i + 1), sh[R][1]);
    M5(M5I(d, a, b), c, d, a, b, i + 2, g(i + 2), sh[R][2]);
    M5(M5I(c, d, a), b, c, d, a, i + 3, g(i + 3), sh[R][3]);
  }
}

// One 64-byte block into the state h.
static void m5b(U *h, const G *blk) {
  U w[16];
  memcpy(w, blk, 64);  // little-endian words, as the host's
  U a = h[0], b = h[1], c = h[2], d = h[3];
#pragma GCC unroll 4
  for (int i = 0; i < 16; i += 4) m5r<0>(a, b, c, d, w, i);
#pragma GCC unroll 4
  for (int i = 16; i < 32; i += 4) m5r<1>(a, b, c, d, w, i);
#pragma GCC unroll 4
  for (int i = 32; i < 48; i += 4) m5r<2>(a, b, c, d, w, i);
#pragma GCC unroll 4
  for (int i = 48; i < 64; i += 4) m5r<3>(a, b, c, d, w, i);
  h[0] += a, h[1] += b, h[2] += c, h[3] += d;
}

V md5T(V x) {
  if (tp(x) == tCHRA) x = enl(x);
  if (tp(x) != tCHR) return et(x);
  U n = nx(x);
  const G *s = P(x);
  U h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  U i = 0;
  for (; i + 64 <= n; i += 64) m5b(h, s + i);
  G t[128] = {};
  U r = n - i;
  memcpy(t, s + i, r);
  t[r] = 0x80;
  U e = r < 56 ? 64 : 128;
  UJ bits = (UJ)n * 8;
  for (int k = 0; k < 8; k++) t[e - 8 + k] = (G)(bits >> (8 * k));
  m5b(h, t);
  if (e == 128) m5b(h, t + 64);
  mr(x);
  return aCn((const char *)h, 16);
}

// ---- hex and unh ----

// f over the items of a general list, the values of a dict (keys kept)
// or the columns of a table (each column a list of strings, so the rows
// come out as the each over them would give).
static V hmap(V x, V (*f)(V)) {
  int t = tp(x);
  if (t == tDICT || t == tTABLE) {
    V k = x, v = kv(&k);
    if (t == tTABLE)  // a row's items are atoms, which neither function takes
      for (U i = 0; i < nx(v); i++)
        if (tp(PA(v)[i]) != tLIST) return mr(k), et(v);
    V r = f(v);
    if (!r) return mr(k), (V)0;
    return t == tDICT ? am(k, r) : aM(k, r);
  }
  if (!nx(x)) return mr(x), emp();
  return ndeep(f, x);
}

V hex(V x) {
  int t = tp(x);
  if (t == tLIST || t == tDICT || t == tTABLE) return hmap(x, hex);
  if (t != tCHR) return et(x);
  U n = nx(x);
  if ((UJ)n * 2 > 0xFFFFFFFFull) return ez(x);
  static const char dg[] = "0123456789abcdef";
  V r = an(2 * n, tCHR);
  const G *s = P(x);
  char *d = PC(r);
  for (U i = 0; i < n; i++) d[2 * i] = dg[s[i] >> 4], d[2 * i + 1] = dg[s[i] & 15];
  mr(x);
  return r;
}

V unh(V x) {
  int t = tp(x);
  if (t == tLIST || t == tDICT || t == tTABLE) return hmap(x, unh);
  if (t != tCHR) return et(x);
  V r = unhC(x);
  mr(x);
  return r;
}

}  // namespace zk
