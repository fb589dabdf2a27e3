// srcform.cpp: the source form of values (kst, the builtin `k`), string
// quoting (kss_), the parenthesising rules (kp, kl), the one-item form
// (kT1), the temporal-list test (tqh) and the result printer (out).
//
// Every form is written into one growing char vector (Tb) by a walker that
// borrows the value, so a nested value costs one buffer, not one string per
// level.  The parenthesising rules are decided from the type letter (TS)
// and the item count alone, before anything is written.
//
// Names: Tb = text buffer, need = room for k more bytes, put = append
// bytes, w = write the source form, wp = w parenthesised by kp's rule, wl
// = kl's rule, w1 = the one-item form, wq = quote, wsym = symbol atom,
// wtv = temporal vector, wproj = projection.
#include "io/io.h"

#include <unistd.h>
#include <string>
#include "core/err.h"
#include "core/sym.h"
#include "eval/lit.h"
#include "eval/tables.h"
#include "io/numtext.h"
#include "list/list.h"
#include "shell/ring.h"

namespace zk {

namespace {

inline constexpr UJ TMAX = 0xFFFFFFFFull;  // item counts are 32-bit

// A char vector growing by doubling; its header count is the capacity
// while building.  err: 1 the text passed TMAX bytes, 2 nesting too deep.
struct Tb {
  V v;
  UJ n, cap;
  G err;
};

void tb0(Tb &b) {
  b.v = an(64, tCHR);
  b.n = 0;
  b.cap = 64;
  b.err = 0;
}

char *need(Tb &b, UJ k) {
  if (b.err) return nullptr;
  if (b.n + k > b.cap) {
    if (b.n + k > TMAX) {
      b.err = 1;
      return nullptr;
    }
    UJ c = b.cap * 2;
    if (c < b.n + k) c = b.n + k;
    if (c > TMAX) c = TMAX;
    hd(b.v)->count = (U)b.n;  // aa copies only what was written
    b.v = aa((U)c, b.v);
    b.cap = c;
  }
  return PC(b.v) + b.n;
}

void put(Tb &b, const char *s, UJ k) {
  char *d = need(b, k);
  if (!d) return;
  memcpy(d, s, k);
  b.n += k;
}
void putz(Tb &b, const char *s) { put(b, s, strlen(s)); }
ZK_INLINE void putc_(Tb &b, char c) {
  if (ZK_LIKELY(b.n < b.cap)) PC(b.v)[b.n++] = c;
  else put(b, &c, 1);
}

V tbend(Tb &b) {
  if (b.err) {
    mr(b.v);
    return b.err == 1 ? ez0() : es0();
  }
  hd(b.v)->count = (U)b.n;
  return b.v;
}

// ---- tables of texts ----
// Escape letter of a byte, 0 for none.
ZK_INLINE char esc(unsigned char c) {
  switch (c) {
    case 0: return '0';
    case '\t': return 't';
    case '\n': return 'n';
    case '\r': return 'r';
    case '"': return '"';
    case '\\': return '\\';
    default: return 0;
  }
}

inline constexpr const char *ttn[7] = {"date", "time", "timestamp", "minute", "second", "month", "timespan"};

// Text of a dyadic primitive's slot.  Slots 27..29 have no glyph and
// nothing reads them back: they print as a value without a source form.
const char *dtx(U s, char *buf) {
  if (s < 20) {
    buf[0] = vc[s], buf[1] = 0;
    return buf;
  }
  if (s < 26) {
    buf[0] = vc[s], buf[1] = ':', buf[2] = 0;
    return buf;
  }
  switch (s) {
    case 26: return "";  // `gap`: an elided argument shows as nothing
    case 30: return "insert";
    case 31: return "each";
    default: return "???";
  }
}

const char *adtx(U code) {
  if (code < 6) return adg[code];
  if (code == 30) return "do";
  if (code == 31) return "while";
  return "???";
}

// ---- parenthesising ----
ZK_INLINE bool in(const char *set, char c) {
  for (; *set; set++)
    if (*set == c) return true;
  return false;
}

// Item count as the parenthesising rules read it: 1 for atoms and
// functions, rows for a table, values for a dict, else the stored count.
J kn(V x) {
  int t = tp(x);
  if (t >= tINTA) return 1;
  if (t == tRANGE || t == tTABLE) return _n(x);
  if (t == tDICT) return _n(PA(x)[1]);
  return nx(x);
}

bool wrap(V x, const char *one, const char *few, const char *all) {
  char c = TS[tp(x)];
  if (in(all, c)) return true;
  J n = kn(x);
  return (n == 1 && in(one, c)) || (n < 2 && in(few, c));
}

// An empty general list whose form is "()": its prototype is the empty
// string.
ZK_INLINE bool elp(V x) {
  V p = PA(x)[0];
  return heap(p) && hd(p)->type == tCHR && !nx(p);
}

void w(Tb &b, V x, int d);

void wp(Tb &b, V x, const char *one, const char *few, const char *all, int d) {
  bool p = wrap(x, one, few, all);
  if (p) putc_(b, '(');
  w(b, x, d);
  if (p) putc_(b, ')');
}

void wl(Tb &b, V x, int d) {
  if (tp(x) == tLIST && !nx(x)) {
    bool p = !elp(x);
    if (p) putc_(b, '(');
    w(b, x, d);
    if (p) putc_(b, ')');
    return;
  }
  wp(b, x, "AC", "IFSDTNHJYE", "Mmqruvw", d);
}

void w1(Tb &b, V x, int d) {
  putc_(b, ',');
  V i = ii(x, 0);
  wp(b, i, "", "", "qruvw", d + 1);
  mr(i);
}

// ---- quoting ----
// String mode: a string holding a byte of 127 or above, or a control byte
// without an escape, is written as 0x and the hex digits of every byte,
// which the parser reads back as the same chars; inside quotes such bytes
// would reach a terminal raw.  Symbol mode copies them as they are.
void wq(Tb &b, const char *s, UJ n, int mode) {
  UJ e = 0;
  bool hex = false;
  for (UJ i = 0; i < n; i++) {
    unsigned char c = (unsigned char)s[i];
    if (esc(c)) e++;
    else if (!mode && (c < 32 || c >= 127)) hex = true;
  }
  if (hex) {
    static constexpr char hx[] = "0123456789abcdef";
    putz(b, "0x");
    char *d = need(b, 2 * n);
    if (!d) return;
    for (UJ i = 0; i < n; i++) {
      unsigned char c = (unsigned char)s[i];
      d[2 * i] = hx[c >> 4], d[2 * i + 1] = hx[c & 15];
    }
    b.n += 2 * n;
    return;
  }
  char *d = need(b, n + e + 2);
  if (!d) return;
  char *p = d;
  *p++ = '"';
  for (UJ i = 0; i < n; i++) {
    char c = s[i], k = esc((unsigned char)c);
    if (k) *p++ = '\\', *p++ = k;
    else *p++ = c;
  }
  *p++ = '"';
  b.n += (UJ)(p - d);
}

// A name the parser reads back as one bare symbol: a letter, then letters
// and digits; a Cyrillic letter is a lead byte 0xD0 or 0xD1 with its
// continuation byte, as the parser's name scanner takes it.
bool bare(const unsigned char *s) {
  if (!*s) return false;
  for (const unsigned char *p = s; *p;) {
    if (isal(*p) || (p > s && isdg(*p))) p++;
    else if ((*p == 0xD0 || *p == 0xD1) && (p[1] & 0xC0) == 0x80) p += 2;
    else return false;
  }
  return true;
}

void wsym(Tb &b, I id) {
  const char *s = su(id);
  putc_(b, '`');
  if (!*s || bare((const unsigned char *)s)) putz(b, s);
  else wq(b, s, strlen(s), 1);
}

// ---- numbers and temporal values ----
// Written in place while the buffer has room for the longest text, else
// through a scratch copy, so growth is only ever by what is written.
ZK_INLINE void wnum(Tb &b, J v) {
  if (ZK_LIKELY(b.n + 20 <= b.cap)) {
    b.n = (UJ)(sl(PC(b.v) + b.n, v) - PC(b.v));
    return;
  }
  char t[24];
  put(b, t, (UJ)(sl(t, v) - t));
}
ZK_INLINE void wflt(Tb &b, UJ bits) {
  if (ZK_LIKELY(b.n + 24 <= b.cap)) {
    b.n = (UJ)(sf(PC(b.v) + b.n, bits) - PC(b.v));
    return;
  }
  char t[32];
  put(b, t, (UJ)(sf(t, bits) - t));
}
ZK_INLINE void wtmp(Tb &b, int at, J v, int flags) {
  if (ZK_LIKELY(b.n + 40 <= b.cap)) {
    b.n = (UJ)(tqw(PC(b.v) + b.n, at, v, flags) - PC(b.v));
    return;
  }
  char t[48];
  put(b, t, (UJ)(tqw(t, at, v, flags) - t));
}

void wint(Tb &b, V x, int t) {
  J n = _n(x);
  if (!n) return putz(b, "!0");
  if ((UJ)n > TMAX / 2) {  // a long range: its text cannot fit, so do not start it
    b.err = 1;
    return;
  }
  if (n == 1) putc_(b, ',');
  for (J i = 0; i < n && !b.err; i++) {
    if (i) putc_(b, ' ');
    wnum(b, iti(x, t, (UJ)i));
  }
}

void wflv(Tb &b, V x) {
  U n = nx(x);
  if (!n) return putz(b, "0#0n");
  if (n == 1) putc_(b, ',');
  const UJ *p = P<UJ>(x);
  for (U i = 0; i < n && !b.err; i++) {
    if (i) putc_(b, ' ');
    wflt(b, p[i]);
  }
}

// A temporal vector of two or more items: nulls as 0N, months without
// their suffix, then the type's letter once when the items alone would not
// fix the type (a month run, or nothing but nulls).
void wtv(Tb &b, V x, int t) {
  U n = nx(x);
  int at = t + 22;
  if (!n) {
    putc_(b, '`');
    putz(b, ttn[t - tDATE]);
    return putz(b, "$()");
  }
  bool wide = t == tTSTAMP || t == tTSPAN, alln = true;
  if (n == 1) {
    putc_(b, ',');
    return wtmp(b, at, wide ? PL(x)[0] : PI(x)[0], 1);
  }
  for (U i = 0; i < n && !b.err; i++) {
    if (i) putc_(b, ' ');
    J v = wide ? PL(x)[i] : PI(x)[i];
    if (v == (wide ? NJ : (J)NI)) putz(b, "0N");
    else alln = false, wtmp(b, at, v, 0);
  }
  if (t == tMONTH || alln) putc_(b, tnul[t - tDATE]);
}

void wdict(Tb &b, V k, V v, int d) {
  wl(b, k, d + 1);
  putc_(b, '!');
  wp(b, v, "", "", "qruvw", d + 1);
}

ZK_INLINE bool alnum(char c) { return isal((unsigned char)c) || isdg((unsigned char)c); }

// Projection (f; a1; ...; an).  A dyadic verb with its left argument only
// reads as "2+"; when that would fuse into one token ("2-" a negative
// number, "`t" and "insert" one name) it is written f[a;] instead.
void wproj(Tb &b, V x, int d) {
  U n = nx(x);
  V f = PA(x)[0];
  int ft = tp(f);
  bool shortf = n == 3 && ((ft == tDYAD && (U)f != 0) || ft == tDERIV) && PA(x)[1] != GAP && PA(x)[2] == GAP;
  if (shortf) {
    UJ p0 = b.n;
    wl(b, PA(x)[1], d + 1);
    UJ p1 = b.n;
    w(b, f, d + 1);
    if (b.err) return;
    const char *s = PC(b.v);
    if (p1 > p0 && b.n > p1 && alnum(s[p1 - 1]) && (alnum(s[p1]) || s[p1] == ':' || s[p1] == '-')) {
      std::string l(s + p0, p1 - p0), fn(s + p1, b.n - p1);
      b.n = p0;
      put(b, fn.data(), fn.size());
      putc_(b, '[');
      put(b, l.data(), l.size());
      putz(b, ";]");
    }
    return;
  }
  w(b, f, d + 1);
  putc_(b, '[');
  for (U i = 1; i < n; i++) {
    if (i > 1) putc_(b, ';');
    w(b, PA(x)[i], d + 1);
  }
  putc_(b, ']');
}

void wlist(Tb &b, V x, int d) {
  U n = nx(x);
  if (!n) {
    V p = PA(x)[0];
    if (elp(x)) return putz(b, "()");
    if (p == GNULL) return putz(b, "0#,(::)");
    putz(b, "0#,");
    return wp(b, p, "", "", "qruvw", d + 1);
  }
  if (n == 1) return w1(b, x, d);
  bool tl1 = tqh(x);
  if (!tl1) putc_(b, '(');
  for (U i = 0; i < n && !b.err; i++) {
    if (i) putc_(b, tl1 ? ' ' : ';');
    w(b, PA(x)[i], d + 1);
  }
  if (!tl1) putc_(b, ')');
}

void w(Tb &b, V x, int d) {
  if (b.err) return;
  if (d > KDEPTH) {
    b.err = 2;
    return;
  }
  int t = tp(x);
  char g[4];
  switch (t) {
    case tLIST: return wlist(b, x, d);
    case tRANGE: case tBOOL: case tBYTE: case tSHORT: case tINT: case tLONG: return wint(b, x, t);
    case tFLT: return wflv(b, x);
    case tCHR:
      if (nx(x) == 1) return w1(b, x, d);
      return wq(b, PC(x), nx(x), 0);
    case tSYM: {
      U n = nx(x);
      if (!n) return putz(b, "0#`");
      if (n == 1) putc_(b, ',');
      for (U i = 0; i < n && !b.err; i++) wsym(b, PI(x)[i]);
      return;
    }
    case tDATE: case tTIME: case tTSTAMP: case tMINUTE: case tSECOND: case tMONTH: case tTSPAN:
      return wtv(b, x, t);
    case tTABLE: putc_(b, '+'); return wdict(b, PA(x)[0], PA(x)[1], d);
    case tDICT: return wdict(b, PA(x)[0], PA(x)[1], d);
    case tINTA: return wnum(b, ip(x));
    case tLONGA: return wnum(b, PL(x)[0]);
    case tFLTA: return wflt(b, P<UJ>(x)[0]);
    case tCHRA: {
      char c = (char)x;
      return wq(b, &c, 1, 0);
    }
    case tSYMA: return wsym(b, ip(x));
    case tLAMBDA: {
      V s = PA(x)[0];
      return put(b, PC(s), nx(s));
    }
    case tPROJ: return wproj(b, x, d);
    case tCOMP:
      for (U i = 0, n = nx(x); i < n; i++) w(b, PA(x)[i], d + 1);
      return;
    case tDERIV:
      wp(b, PA(x)[0], "AC", "IFSDTNHJYE", "Mmpqw", d + 1);
      return putz(b, adtx(hd(x)->adverb));
    case tMONAD: {
      U s = (U)x;
      if (s >= 26) return putz(b, "???");  // no glyph reads back as these slots
      putz(b, dtx(s, g));
      return putc_(b, ':');
    }
    case tDYAD: return putz(b, dtx((U)x & 0xFFFFFFFF, g));
    case tADV: return putz(b, adtx((U)x));
    case tDATEA: case tTIMEA: case tMINUTEA: case tSECONDA: case tMONTHA: return wtmp(b, t, ip(x), 1);
    case tTSTAMPA: case tTSPANA: return wtmp(b, t, PL(x)[0], 1);
    default: return putz(b, "???");
  }
}

}  // namespace

V kst(V x) {
  Tb b;
  tb0(b);
  w(b, x, 0);
  mr(x);
  return tbend(b);
}

V kss_(V s, int mode) {
  Tb b;
  tb0(b);
  wq(b, PC(s), nx(s), mode);
  mr(s);
  return tbend(b);
}

V kp(V x, const char *one, const char *few, const char *all) {
  Tb b;
  tb0(b);
  wp(b, x, one, few, all, 0);
  mr(x);
  return tbend(b);
}

V kl(V x) {
  Tb b;
  tb0(b);
  wl(b, x, 0);
  mr(x);
  return tbend(b);
}

V kT1(V x) {
  Tb b;
  tb0(b);
  w1(b, x, 0);
  mr(x);
  return tbend(b);
}

bool tqh(V x) {
  if (tp(x) != tLIST || nx(x) < 2) return false;
  int t = tp(PA(x)[0]);
  if (t < tDATEA) return false;
  for (U i = 1, n = nx(x); i < n; i++)
    if (tp(PA(x)[i]) != t) return false;
  return true;
}

V out(V x) {
  if (x == GNULL) return x;
  Tb b;
  tb0(b);
  if (tp(x) == tLIST && nx(x) >= 2 && !tqh(x)) {
    putc_(b, '(');
    for (U i = 0, n = nx(x); i < n && !b.err; i++) {
      if (i) put(b, "\n ", 2);
      w(b, PA(x)[i], 1);
    }
    putc_(b, ')');
  } else
    w(b, x, 0);
  putc_(b, '\n');
  V s = tbend(b);
  if (!s || !fws(1, PC(s), nx(s))) epr();
  if (s) mr(s);
  return x;
}

}  // namespace zk
