// tparse.cpp: temporal text.  Literals at the parser's cursor (pTmp, pTng,
// pTy) with the scanner flags tbad and tng, and the text casts of `$`
// (ptT ptD ptP ptN ptU ptV ptM) on the shared sub-scanners tdx (a date),
// ttx (a time of day) and ptuv (the body of ptU and ptV).
//
// Digit runs are read by `dgr` into 64-bit counters that stop growing past
// 999,999,999,999,999, so an over-long field fails its range test instead
// of wrapping.  Values that combine several fields are summed in 128 bits
// and then tested against the target range.
//
// The casts work on a NUL-terminated copy of the text; a NUL inside the
// text ends the scan early, and what remains then is not blanks, so such a
// text gives the null like any other unparsable text.
#include "table/table.h"

#include <cstdlib>
#include <cstring>
#include "core/err.h"
#include "eval/lit.h"

namespace zk {

G tbad;
G tng;

namespace {

constexpr J CAP = 999999999999999ll;
constexpr J NSD = 86400000000000ll;  // nanoseconds in a day
typedef __int128 Q;

// A run of digits at *c: its value (saturating above CAP), the count of
// digits and of digits after the leading zeros.
struct Run {
  J v;
  int n, sig;
};
ZK_INLINE Run dgr(const char **c) {
  const char *p = *c;
  Run r = {0, 0, 0};
  for (; isdg(*p); p++, r.n++) {
    if (r.v <= CAP) r.v = r.v * 10 + (*p - '0');
    if (r.sig || *p != '0') r.sig++;
  }
  *c = p;
  return r;
}

// Up to nine fraction digits as nanoseconds (further digits skipped).
ZK_INLINE J frac(const char **c) {
  const char *p = *c;
  J f = 0;
  int k = 0;
  for (; isdg(*p); p++)
    if (k < 9) f = f * 10 + (*p - '0'), k++;
  for (; k < 9; k++) f *= 10;
  *c = p;
  return f;
}

ZK_INLINE V bad(G b) {
  tbad = b;
  return 0;
}

ZK_INLINE V box(int t, J v) {
  V r = an(1, t);
  PL(r)[0] = v;
  return r;
}

// The null atom of the type whose literal letter is c, or 0.
int nlt(char c) {
  switch (c) {
    case 'd': return tDATEA;
    case 't': return tTIMEA;
    case 'p': return tTSTAMPA;
    case 'n': return tTSPANA;
    case 'u': return tMINUTEA;
    case 'v': return tSECONDA;
    case 'm': return tMONTHA;
    default: return 0;
  }
}

// h : [m] [: [s]] [. f] after a timespan's D or a timestamp's D, at *c on
// the hours (which may be empty when emp): nanoseconds in *ns.  Answers 0
// (not temporal: no colon), 1 (done) or -1 with tbad 1 (a field past 59).
int hms(const char **c, bool emp, Q *ns) {
  const char *p = *c;
  Run h = dgr(&p);
  if ((!emp && !h.n) || *p != ':') return 0;
  p++;
  Run m = dgr(&p), s = {0, 0, 0};
  if (*p == ':') p++, s = dgr(&p);
  J f = 0;
  if (*p == '.' && isdg(p[1])) p++, f = frac(&p);
  if (m.v > 59 || s.v > 59) return bad(1), -1;
  *ns = (Q)h.v * 3600000000000ll + (Q)m.v * 60000000000ll + (Q)s.v * 1000000000ll + f;
  *c = p;
  return 1;
}

// Y D h:m:s.f, Y the digit run already read and p on the D.
V span(const char *p, Run y) {
  const char *q = p + 1;
  if (!isdg(*q)) return 0;
  Q ns;
  int k = hms(&q, false, &ns);
  if (k <= 0) return 0;
  Q lim = ((Q)1 << 63) - !tng;
  if (y.n > 19 || y.v > 106751) return bad(2);
  ns += (Q)y.v * NSD;
  if (ns > lim) return bad(2);
  pz.s = q;
  return box(tTSPANA, (J)(UJ)ns);
}

// Y : [m] [: [s] [. f]]: minute, second or time; p on the colon.
V clock(const char *p, Run y) {
  const char *q = p + 1;
  Run m = dgr(&q);
  bool sec = *q == ':', ms = false;
  Run s = {0, 0, 0};
  J f = 0;
  if (sec) {
    q++;
    s = dgr(&q);
    if (*q == '.' && isdg(q[1])) {
      q++;
      ms = true;
      f = frac(&q) / 1000000;
    }
  }
  if (m.v > 59 || s.v > 59) return bad(1);
  J lim = 2147483647ll + tng;
  J h = y.v;
  if (y.sig > 19) return bad(2);
  J v;
  int t;
  if (!sec) {
    if (h > 35791394) return bad(2);
    v = h * 60 + m.v, t = tMINUTEA;
  } else if (!ms) {
    if (h >= 596524) return bad(2);
    v = h * 3600 + m.v * 60 + s.v, t = tSECONDA;
  } else {
    if (h > 596) return bad(2);
    v = h * 3600000 + m.v * 60000 + s.v * 1000 + f, t = tTIMEA;
  }
  if (v > lim) return bad(2);
  pz.s = q;
  return imm(t, (U)v);
}

// Y . M m (month) or Y . M . D [D h:m:s.f] (date, timestamp); p on the
// first full stop.
V yMD(const char *p, Run y) {
  const char *q = p + 1;
  if (!isdg(*q)) return 0;
  Run m = dgr(&q);
  if (*q == 'm') {
    if (nmc((unsigned char)q[1])) return 0;
    if (m.v < 1 || m.v > 12) return bad(1);
    if (y.v > 178958970) return bad(2);
    J c = (y.v - 2000) * 12 + m.v - 1;
    if (c != (I)c) return bad(2);
    pz.s = q + 1;
    return imm(tMONTHA, (U)c);
  }
  if (*q != '.' || !isdg(q[1])) return 0;
  q++;
  Run d = dgr(&q);
  if (m.v < 1 || m.v > 12 || d.v < 1) return bad(1);
  if (y.sig > 19 || y.v >= 10000000) return bad(2);
  if (d.v > mlen(y.v, (int)m.v)) return bad(1);
  J dc = dcv(y.v, (int)m.v, (int)d.v);
  if (*q == 'D') {
    const char *r = q + 1;
    Q ns;
    int k = hms(&r, true, &ns);
    if (k <= 0) return 0;
    ns += (Q)dc * NSD;
    if (ns != (J)ns) return bad(2);
    pz.s = r;
    return box(tTSTAMPA, (J)ns);
  }
  if (dc != (I)dc) return bad(2);
  pz.s = q;
  return imm(tDATEA, (U)dc);
}

}  // namespace

V pTmp() {
  const char *p = pz.s;
  if (!isdg(*p)) return 0;
  if (p[0] == '0' && p[1] == 'N') {  // typed nulls 0Nd 0Nt 0Np 0Nn 0Nu 0Nv 0Nm
    int t = p[2] ? nlt(p[2]) : 0;
    if (!t || nmc((unsigned char)p[3])) return 0;
    pz.s = p + 3;
    return _r(cn[t]);
  }
  const char *q = p;
  Run y = dgr(&q);
  switch (*q) {
    case 'D': return span(q, y);
    case ':': return clock(q, y);
    case '.': return yMD(q, y);
    default: return 0;
  }
}

V pTng() {
  const char *p = pz.s;
  if (*p != '-' || !isdg(p[1])) return 0;
  const char *q = p + 1;
  while (isdg(*q)) q++;
  if (*q != ':' && *q != 'D') return 0;
  pz.s = p + 1;
  tng = 1;
  V a = pTmp();
  tng = 0;
  if (!a) {
    pz.s = p;
    return 0;
  }
  if (heap(a)) {  // timespan: a fresh boxed atom
    V r = an(1, hd(a)->type);
    PL(r)[0] = (J)(0 - (UJ)PL(a)[0]);
    mr(a);
    return r;
  }
  return imm(tag(a), 0 - (U)a);
}

int pTy(const char *t, I *out) {
  if (!isdg(*t)) return 0;
  J y = dgr(&t).v;
  if (t[0] != '.' || !isdg(t[1]) || !isdg(t[2])) return 0;
  unsigned char e = t[3];
  if (nmc(e) || e == ':' || e == '.') return 0;
  J mo = (t[1] - '0') * 10 + (t[2] - '0');
  if (mo < 1 || mo > 12 || y > 178958970) return 0;
  J c = (y - 2000) * 12 + mo - 1;
  if (c != (I)c) return 0;
  *out = (I)c;
  return 1;
}

// ---- text casts ----

int ttx(const char **c, J *h, J *m, J *s, J *ns) {
  const char *p = *c;
  Run a = dgr(&p), b = {0, 1, 0}, d = {0, 1, 0};
  if (!a.n) return 1;
  if (*p == ':') {
    p++;
    b = dgr(&p);
    if (*p == ':') p++, d = dgr(&p);
  }
  if (!b.n || !d.n || b.v > 59 || d.v > 59) return 1;
  J f = 0;
  if (*p == '.') p++, f = frac(&p);
  *h = a.v, *m = b.v, *s = d.v, *ns = f;
  *c = p;
  return 0;
}

int tdx(const char **c, J *days) {
  const char *p = *c;
  bool neg = *p == '-';
  p += neg;
  Run y = dgr(&p);
  if (!y.n || *p++ != '.') return 1;
  Run m = dgr(&p);
  if (!m.n || *p++ != '.') return 1;
  Run d = dgr(&p);
  if (!d.n) return 1;
  J yr = neg ? -y.v : y.v;
  if (m.v < 1 || m.v > 12 || d.v < 1 || d.v > mlen(yr, (int)m.v)) return 1;
  *days = dcv(yr, (int)m.v, (int)d.v);
  *c = p;
  return 0;
}

namespace {

// The cast's working copy: the text and a NUL, on the stack when short.
struct Txt {
  char sb[96];
  char *p;
  U n;
};
ZK_INLINE bool topen(Txt *t, V x) {
  U n = nx(x);
  t->n = n;
  t->p = n < sizeof t->sb ? t->sb : (char *)std::malloc((size_t)n + 1);
  if (!t->p) die("OOM");
  memcpy(t->p, PC(x), n);
  t->p[n] = 0;
  return true;
}
ZK_INLINE void tclose(Txt *t) {
  if (t->p != t->sb) std::free(t->p);
}
ZK_INLINE const char *skb(const char *p) {
  while (isbl(*p)) p++;
  return p;
}
// Only blanks from p to the end of the text (a NUL before it is not).
ZK_INLINE bool rest(const Txt *t, const char *p) { return skb(p) == t->p + t->n; }

// The body of every cast: checks the argument, makes the copy, runs the
// scanner sc on it and releases both.  sc answers 0 with the atom in *r,
// 1 for the null, 2 for 'limit.
typedef int (*Sc)(const Txt *, const char *, V *);
V cast(V x, int t, Sc sc) {
  if (tp(x) != tCHR) return et(x);
  Txt w;
  topen(&w, x);
  mr(x);
  V r = 0;
  int k = sc(&w, skb(w.p), &r);
  tclose(&w);
  if (k == 1) return _r(cn[t]);
  if (k == 2) return ez0();
  return r;
}

int scT(const Txt *w, const char *p, V *r) {
  bool neg = *p == '-';
  p += neg;
  J h, m, s, ns;
  if (ttx(&p, &h, &m, &s, &ns) || !rest(w, p)) return 1;
  if (h > 596) return 2;
  J v = h * 3600000 + m * 60000 + s * 1000 + ns / 1000000;
  if (v > 2147483647ll + neg) return 2;
  *r = imm(tTIMEA, (U)(neg ? -v : v));
  return 0;
}

int scD(const Txt *w, const char *p, V *r) {
  J d;
  if (tdx(&p, &d) || !rest(w, p)) return 1;
  // The count 0x80000000 fits 32 bits but is the null's pattern.
  if (d != (I)d || d == NI) return 2;
  *r = imm(tDATEA, (U)d);
  return 0;
}

int scP(const Txt *w, const char *p, V *r) {
  J d, h = 0, m = 0, s = 0, ns = 0;
  if (tdx(&p, &d)) return 1;
  if (*p == 'D') {
    p++;
    const char *e = skb(p);
    if (e != w->p + w->n) {
      if (ttx(&p, &h, &m, &s, &ns) || !rest(w, p)) return 1;
    } else
      p = e;
  }
  if (!rest(w, p)) return 1;
  Q v = (Q)d * NSD + (Q)h * 3600000000000ll + (Q)m * 60000000000ll + (Q)s * 1000000000ll + ns;
  if (v != (J)v) return 2;
  *r = box(tTSTAMPA, (J)v);
  return 0;
}

int scN(const Txt *w, const char *p, V *r) {
  bool neg = *p == '-';
  p += neg;
  Run d = {0, 0, 0};
  const char *q = p;
  while (isdg(*q)) q++;
  if (q > p && *q == 'D') {
    d = dgr(&p);
    p++;
  }
  J h, m, s, ns;
  if (ttx(&p, &h, &m, &s, &ns) || !rest(w, p)) return 1;
  Q v = (Q)d.v * NSD + (Q)h * 3600000000000ll + (Q)m * 60000000000ll + (Q)s * 1000000000ll + ns;
  if (v >= ((Q)1 << 63)) return 2;
  *r = box(tTSPANA, neg ? -(J)v : (J)v);
  return 0;
}

int scM(const Txt *w, const char *p, V *r) {
  bool neg = *p == '-';
  p += neg;
  Run y = dgr(&p);
  if (!y.n || *p++ != '.') return 1;
  Run m = dgr(&p);
  if (!m.n) return 1;
  if (*p == '.') {  // a day, read and skipped
    p++;
    if (!dgr(&p).n) return 1;
  }
  if (!rest(w, p) || m.v < 1 || m.v > 12) return 1;
  if (y.v > CAP) return 2;
  J c = ((neg ? -y.v : y.v) - 2000) * 12 + m.v - 1;
  if (c != (I)c || c == NI) return 2;
  *r = imm(tMONTHA, (U)c);
  return 0;
}

template <int K> int scUV(const Txt *w, const char *p, V *r) {
  bool neg = *p == '-';
  p += neg;
  J h, m, s, ns;
  if (ttx(&p, &h, &m, &s, &ns) || !rest(w, p)) return 1;
  if (h > CAP) return 2;
  J v = K ? h * 3600 + m * 60 + s : h * 60 + m;
  if (v > 2147483647) return 2;
  *r = imm(K ? tSECONDA : tMINUTEA, (U)(neg ? -v : v));
  return 0;
}

}  // namespace

V ptT(V x) { return cast(x, tTIMEA, scT); }
V ptD(V x) { return cast(x, tDATEA, scD); }
V ptP(V x) { return cast(x, tTSTAMPA, scP); }
V ptN(V x) { return cast(x, tTSPANA, scN); }
V ptM(V x) { return cast(x, tMONTHA, scM); }
V ptuv(V x, int k) { return k ? cast(x, tSECONDA, scUV<1>) : cast(x, tMINUTEA, scUV<0>); }
V ptU(V x) { return ptuv(x, 0); }
V ptV(V x) { return ptuv(x, 1); }

}  // namespace zk
