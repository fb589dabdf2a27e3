// lit.cpp: the literal scanners (numbers, runs, strings, names, symbol
// lists) and the parser's process-wide state `pz`.
//
// Runs are gathered 512 items (symbols: 256) at a time in a stack buffer
// and appended to one growing vector, so one allocation serves a chunk.
// Floats: up to 19 significant digits with a decimal exponent within
// +-22 take Clinger's exact path (one IEEE multiply or divide); everything
// else goes to `pfs`, which brackets the first 19 digits with Eisel-Lemire
// and only falls back to a full text conversion when the bracket is
// ambiguous.
#include "eval/lit.h"

#include <bit>
#include "core/err.h"
#include "core/sym.h"
#include "io/dec.h"

namespace zk {

Pz pz;
PzLoc pzl[max_parse_locals];

namespace {

constexpr UJ P53 = 1ull << 53;
constexpr UJ P18 = 1000000000000000000ull;
constexpr UJ P19 = 10000000000000000000ull;
constexpr UJ INF_BITS = 0x7ff0000000000000ull;
constexpr UJ SIGN = 1ull << 63;

ZK_INLINE UJ fbits(double d) { return std::bit_cast<UJ>(d); }

// Eight bytes as a little-endian word, and the value of eight digits.
ZK_INLINE UJ ld8(const char *p) {
  UJ v;
  memcpy(&v, p, 8);
  return v;
}
ZK_INLINE UJ val8(UJ v) {
  v -= 0x3030303030303030ull;
  v = v * 10 + (v >> 8);
  return ((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32)) +
          ((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32))) >> 32;
}

// Exact m * 10^e for m <= 2^53 and |e| <= 22.
ZK_INLINE double clinger(UJ m, J e) {
  double d = (double)m;
  return e < 0 ? d / csv_p10[-e] : d * csv_p10[e];
}

// The first 19 digits at p as one integer.
UJ rd19(const char *p) {
  UJ m = 0;
  for (int i = 0; i < 16; i += 8) m = m * 100000000 + val8(ld8(p + i));
  for (int i = 16; i < 19; i++) m = m * 10 + (UJ)(p[i] - '0');
  return m;
}

// Appends the n items of type t at buf to the run x (0 before the first chunk).
V chunk(V x, int t, U n, const void *buf) {
  if (!x) return aV(t, n, buf);
  U c = nx(x);
  x = aa(c + n, x);
  memcpy(P(x) + dbytes(c, t), buf, dbytes(n, t));
  return x;
}

}  // namespace

// End of the name characters from p (a Cyrillic letter is two bytes).
static const char *nmend(const char *p) {
  for (;;) {
    unsigned char c = *p;
    if (isal(c) || isdg(c)) p++;
    else if (iscy(c) && (p[1] & 0xC0) == 0x80) p += 2;
    else return p;
  }
}

// ---- integer token ----
J plN(const char **c) {
  const char *p = *c;
  bool neg = *p == '-';
  if (neg) p++;
  if (!isdg(*p)) {
    *c = p;
    return NJ;
  }
  while (*p == '0') p++;
  const char *d = p;
  UJ v = 0;
  while (isdg(*p)) v = v * 10 + (UJ)(*p++ - '0');
  long n = p - d;
  if (n > 19 || (n == 19 && memcmp(d, "9223372036854775807", 19) > 0)) pz.ovf = 1;
  J r = neg ? (J)(0 - v) : (J)v;
  if (v == 0 && *p == 'N') p++, r = NJ;
  else if (v == 0 && *p == 'W') p++, r = neg ? -WJ : WJ;
  if ((*p == 'h' || *p == 'i' || *p == 'j') && !nmc(p[1])) p++;
  *c = p;
  return r;
}
UJ plNu(const char **c) { return (UJ)plN(c); }

// ---- float token ----
UJ pf(const char **c) {
  const char *p = *c;
  UJ sign = 0;
  if (*p == '-') sign = SIGN, p++;
  const char *t0 = p;  // the magnitude's text, for the slow path
  bool dig = isdg(*p);
  while (*p == '0') p++;
  // One pass over the digits; the significand may wrap past 19 digits,
  // which the rare recount below repairs.  ip/ni: the integer digits from
  // the first non-zero one; fp/nf: the fraction's significant digits; fz:
  // the fraction's leading zeros when there is no integer digit.
  const char *ip = p;
  UJ m = 0;
  while (isdg(*p)) m = m * 10 + (UJ)(*p++ - '0');
  J ni = p - ip, nf = 0, fz = 0;
  const char *fp = p;
  if (*p == 'w') {
    *c = p + 1;
    return sign | INF_BITS;
  }
  if (*p == 'n') {  // a NaN; digits before it ride in its low payload bits
    p++;
    if (*p == 'f') p++;
    *c = p;
    return NF_BITS | ((ni > 19 ? rd19(ip) : m) & ((1ull << 51) - 1));
  }
  if (dig && ni == 0 && (*p == 'N' || *p == 'W')) {  // 0N and 0W inside a float run
    *c = p + 1;
    return *p == 'N' ? NF_BITS : sign | INF_BITS;
  }
  if (*p == '.') {
    p++;
    if (!ni)
      while (*p == '0') p++, fz++;
    fp = p;
    while (isdg(*p)) m = m * 10 + (UJ)(*p++ - '0');
    nf = p - fp;
  }
  J nd = ni + nf, e = -(fz + nf);
  if (nd > 19) {  // keep the first 19 significant digits
    if (ni >= 19) {
      m = rd19(ip);
      e = ni - 19;
    } else {
      m = 0;
      for (const char *q = ip; q < ip + ni; q++) m = m * 10 + (UJ)(*q - '0');
      for (const char *q = fp; q < fp + (19 - ni); q++) m = m * 10 + (UJ)(*q - '0');
      e = -(fz + 19 - ni);
    }
  }
  const char *te = p;
  if (*p == 'e') {
    p++;
    bool en = *p == '-';
    if (en) p++;
    J x = 0;
    for (int k = 0; isdg(*p); p++, k++)
      if (k < 15) x = x * 10 + (*p - '0');
    e += en ? -x : x;
    te = p;
  }
  if (*p == 'f') p++;
  *c = p;
  if (nd < 20 && m <= P53) {
    if (e == 0) return sign | fbits((double)m);
    if (e >= -22 && e <= 22) return sign | fbits(clinger(m, e));
  }
  return pfs(t0, te, m, e, sign, nd > 20 ? 20 : (I)nd);
}

UJ pfs(const char *text, const char *end, UJ m, J e, UJ sign, I nd) {
  double d;
  if (m == 0) d = 0.0;
  else if (nd < 20) {
    d = (m <= P53 && e >= -22 && e <= 22) ? clinger(m, e) : csv_elf(m, e);
  } else {
    // The value lies in [m, m+1) * 10^e; rounding is monotone, so equal
    // roundings of the two ends are the answer.
    double lo = csv_elf(m, e);
    double hi = m + 1 == P19 ? csv_elf(P18, e + 1) : csv_elf(m + 1, e);
    d = fbits(lo) == fbits(hi) ? lo : csv_float(text, end);
  }
  return sign | fbits(d);
}

// ---- runs ----
namespace {
template <class F> V run(int t, F f) {
  UJ buf[512];
  U n = 0;
  V x = 0;
  auto put = [&](UJ v) {
    if (n == 512) x = chunk(x, t, n, buf), n = 0;
    buf[n++] = v;
  };
  for (;;) {
    const char *p = pz.s, *q = p;
    while (*q == '0' || *q == '1') q++;
    if (q > p && *q == 'b' && !nmc(q[1]) && q[1] != '.') {
      for (; p < q; p++) put(t == tFLT ? (*p == '1' ? fbits(1.0) : 0) : (UJ)(*p - '0'));
      pz.s = q + 1;
    } else {
      put(f(&pz.s));
    }
    const char *s = pz.s;
    if (!isbl(*s)) break;
    while (isbl(*s)) s++;
    if (!(isdg(*s) || (*s == '-' && isdg(s[1])))) break;
    pz.s = s;
  }
  return chunk(x, t, n, buf);
}
}  // namespace

V pV(int t, Scn f) {
  if (f == pf) return run(t, pf);
  if (f == plNu) return run(t, plNu);
  return run(t, f);
}

V pZ() {
  const char *p = pz.s, *q = p;
  while (*q == '0' || *q == '1') q++;
  if (q > p && (*q == 'B' || *q == 'b') && !nmc(q[1]) && q[1] != '.') {
    U n = (U)(q - p);
    V x;
    if (*q == 'B') {
      x = an(n, tBOOL);
      memset(P(x), 0, dbytes(n, tBOOL));
      for (U i = 0; i < n; i++) P(x)[i >> 3] |= (G)((p[i] - '0') << (i & 7));
    } else {
      x = an(n, tBYTE);
      for (U i = 0; i < n; i++) P(x)[i] = (G)(p[i] - '0');
    }
    pz.s = q + 1;
    return x;
  }
  pz.ovf = 0;
  V x = run(tLONG, plNu);
  if (pz.ovf) {
    pz.ovf = 0;
    mr(x);
    return ez0();
  }
  return sqzZ(x);
}

// ---- strings ----
V pC() {
  const char *p = pz.s + 1;
  char buf[512];
  U n = 0;
  V x = 0;
  for (;;) {
    char c = *p;
    if (c == '"') break;
    if (!c) goto open;
    if (c == '\\') {
      c = p[1];
      if (!c) goto open;
      p += 2;
      c = c == '0' ? 0 : c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    } else {
      p++;
    }
    if (n == 512) x = chunk(x, tCHR, n, buf), n = 0;
    buf[n++] = c;
  }
  pz.s = p + 1;
  if (!x && !n) return _r(ce[tCHR]);
  return chunk(x, tCHR, n, buf);
open:  // the cursor stays on the opening quote, where the caret belongs
  if (x) mr(x);
  return ep0();
}

// ---- names and symbols ----
// End of the token `ps` reads at p.
static const char *tok(const char *p) {
  unsigned char c = *p;
  if (isal(c) || (iscy(c) && (p[1] & 0xC0) == 0x80)) return nmend(p);
  if (isdg(c)) {
    const char *q = nmend(p);
    return *q == ':' ? p : q;
  }
  if (c >= 0x80) {  // a Unicode operator name, with a trailing ':' if any
    const char *q = p + 1;
    while ((*q & 0xC0) == 0x80) q++;
    return *q == ':' ? q + 1 : q;
  }
  if (c == ':') {  // path-like: `:dir/file.csv
    const char *q = p + 1;
    while (isal(*q) || isdg(*q) || *q == '-' || *q == '.' || *q == '/' || *q == ':' || *q == '_') q++;
    return q;
  }
  return p;
}

V ps() {
  const char *p = pz.s, *q = tok(p);
  pz.s = q;
  return aCn(p, (U)(q - p));
}

ZK_INLINE bool nmsp(const char *p) {
  return isal(*p) || (iscy(*p) && (p[1] & 0xC0) == 0x80);
}

V pP() {
  I ids[max_path_parts];
  int n = 0;
  for (;;) {
    if (n == max_path_parts) return ez0();
    const char *p = pz.s, *q = tok(p);
    ids[n++] = usn(p, (UJ)(q - p));
    pz.s = q;
    if (*q == '.' && nmsp(q + 1)) pz.s = q + 1;
    else break;
  }
  return aV(tSYM, (U)n, ids);
}

V pSw(char sep, bool skipb) {
  I buf[256];
  U n = 0;
  V x = 0;
  for (;;) {
    pz.s++;
    if (skipb)
      while (isbl(*pz.s)) pz.s++;
    I id;
    if (*pz.s == '"') {
      V t = pC();
      if (!t) {
        if (x) mr(x);
        return 0;
      }
      id = usn(PC(t), nx(t));
      mr(t);
    } else {
      // A dotted path, or a name after a leading '.', is one symbol with
      // its dots; anything else is one token.
      const char *p = pz.s, *q = p + (*p == '.');
      if (nmsp(q)) {
        q = nmend(q);
        while (*q == '.' && nmsp(q + 1)) q = nmend(q + 1);
      } else {
        q = tok(p);
      }
      id = usn(p, (UJ)(q - p));
      pz.s = q;
    }
    if (n == 256) x = chunk(x, tSYM, n, buf), n = 0;
    buf[n++] = id;
    const char *s = pz.s;
    while (isbl(*s)) s++;
    if (*s != sep) break;
    pz.s = s;
  }
  return chunk(x, tSYM, n, buf);
}

}  // namespace zk
