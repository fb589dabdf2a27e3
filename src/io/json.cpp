// json.cpp: JSON text.  The builtin `j` (js1) writes a value as one char
// vector; j?text (js0, reached through the dyadic ?) reads one back; the
// builtin `js` (qjs) is a placeholder that empties strings.
//
// Writing runs one walk twice: first counting (jnx; nxe for a value
// written as an array), then writing at the cursor (Jx) into a vector of
// exactly the counted size.  Both passes go through the same template, so
// the length is exact by construction; every error is found by the count
// pass, before the one allocation.  Numbers take the engine's text (sl,
// sf); integral floats below 2^63 print as integers, nulls, NaN and
// infinities as null; symbols, temporal atoms and functions as strings
// (jst); a keyed table as the table jkt joins from its two sides.
//
// Reading (jx, one value at the cursor) turns numbers into floats, true
// and false into the ints 1 and 0, null into 0n, strings into char
// vectors (js), arrays into what the push of items makes (typed vectors,
// tables of objects with the same keys) and objects into dicts with symbol
// keys.  Whitespace is bytes 1 to 32 wherever JSON allows it.  Any failure
// stops the walk where it happened; js0 raises 'parse there with a caret.
//
// Names: Jw = the writer's cursor s, count n and error flag jf; Jr = the
// reader's cursor s over the text b, nesting depth d, previous object's
// keys pk; jes = escape costs, jel = escape letters; jq = a JSON string;
// jtx = a temporal atom's JSON text; jit = item i of a vector; jkey = a
// dict key; jrow = a table's rows; jdx = the slow path of numbers.
#include <cmath>
#include <cstring>
#include "core/err.h"
#include "core/sym.h"
#include "io/dec.h"
#include "io/io.h"
#include "io/numtext.h"
#include "list/list.h"

namespace zk {

namespace {

// Extra output bytes of each byte inside a JSON string: 5 for the control
// bytes and 127 (\u00XX), 1 for the eight letter escapes, else 0.
struct Jes {
  G t[256];
};
constexpr Jes mkjes() {
  Jes e{};
  for (int c = 0; c < 32; c++) e.t[c] = 5;
  e.t[127] = 5;
  for (int c : {'\b', '\t', '\n', '\f', '\r', '"', '/', '\\'}) e.t[c] = 1;
  return e;
}
inline constexpr Jes jes = mkjes();
// The escaped character and its letter, pair by pair; the writer reads it
// left to right, the reader right to left.
inline constexpr char jel[2][9] = {"\"\\/\b\f\n\r\t", "\"\\/bfnrt"};
static_assert(jes.t[0] == 5 && jes.t['/'] == 1 && jes.t[0x80] == 0);

// Nesting the reader accepts: deep enough for any real document, shallow
// enough for the C stack of a sanitized build.
inline constexpr int JDEPTH = 1024;

// ---------------------------------------------------------------- writer

struct Jw {
  char *s;  // write pass: the cursor
  UJ n;     // count pass: bytes so far
  int jf;   // an error is raised; stop
};

template <bool W> ZK_INLINE void put(Jw &w, const char *p, UJ k) {
  if (W) memcpy(w.s, p, k), w.s += k;
  else w.n += k;
}
template <bool W> ZK_INLINE void put1(Jw &w, char c) {
  if (W) *w.s++ = c;
  else w.n++;
}

// Room for a number's text: the cursor itself when writing, else a scratch
// buffer whose bytes are only counted.
template <bool W> struct Room {
  char b[32];
  char *at(Jw &w) { return W ? w.s : b; }
  void end(Jw &w, char *e) {
    if (W) w.s = e;
    else w.n += (UJ)(e - b);
  }
};

template <bool W> void jint(Jw &w, J v) {
  Room<W> r;
  r.end(w, sl(r.at(w), v));
}
template <bool W> void jlong(Jw &w, J v) {
  if (v == NJ) return put<W>(w, "null", 4);
  jint<W>(w, v);
}
template <bool W> void jflt(Jw &w, F v) {
  if (!std::isfinite(v)) return put<W>(w, "null", 4);
  // -0.0 goes here too and prints 0.
  if (std::fabs(v) < 0x1p63 && v == std::trunc(v)) return jint<W>(w, (J)v);
  UJ b;
  memcpy(&b, &v, 8);
  Room<W> r;
  r.end(w, sf(r.at(w), b));
}

// A JSON string of the k bytes at p: runs without escapes go in one copy.
template <bool W> void jq(Jw &w, const char *p, UJ k) {
  if (!W) {
    UJ e = 0;
    for (UJ i = 0; i < k; i++) e += jes.t[(G)p[i]];
    w.n += k + e + 2;
    return;
  }
  char *o = w.s;
  *o++ = '"';
  UJ i = 0;
  while (i < k) {
    UJ j = i;
    while (j < k && !jes.t[(G)p[j]]) j++;
    memcpy(o, p + i, j - i);
    o += j - i;
    if (j == k) break;
    G c = (G)p[j];
    *o++ = '\\';
    if (jes.t[c] == 1) *o++ = jel[1][strchr(jel[0], c) - jel[0]];
    else {
      memcpy(o, "u00", 3);
      o[3] = "0123456789abcdef"[c >> 4], o[4] = "0123456789abcdef"[c & 15];
      o += 5;
    }
    i = j + 1;
  }
  *o++ = '"';
  w.s = o;
}

template <bool W> void jsym(Jw &w, I id) {
  const char *p = su(id);
  jq<W>(w, p, strlen(p));
}

// A temporal atom of type t and count v as JSON wants it: dates, months
// and timestamps with "-" between the date's fields and "T" before the
// time of day; the other kinds keep the engine's text; a null is empty.
U jtx(char *b, int t, J v) {
  U n = (U)(tqw(b, t, v, 0) - b);
  if (t == tDATEA || t == tMONTHA || t == tTSTAMPA)
    for (U i = 0; i < n; i++) {
      if (b[i] == 'D') {
        b[i] = 'T';
        break;
      }
      if (b[i] == '.') b[i] = '-';
    }
  return n;
}
template <bool W> void jtmp(Jw &w, int t, J v) {
  char b[48];
  jq<W>(w, b, jtx(b, t, v));
}

void jfail(Jw &w) { w.jf = 1; }

}  // namespace

// The string form of a non-numeric atom: `$`, but temporal atoms as jtx
// writes them.  Borrows x; a char vector, or 0 with the error raised.
V jst(V x) {
  int t = tp(x);
  if (t >= tDATEA && t <= tTSPANA) {
    char b[48];
    return aCn(b, jtx(b, t, t == tTSTAMPA || t == tTSPANA ? PL(x)[0] : ip(x)));
  }
  V r = str(_r(x));
  if (r && tp(r) == tCHRA) {
    char c = (char)r;
    return aCn(&c, 1);
  }
  if (r && tp(r) != tCHR) return et(r);
  return r;
}

// A keyed table as one table: the key columns, then the value columns.
// Consumes kt; 'type when the value side is not a table.
V jkt(V kt) {
  V k = PA(kt)[0], v = PA(kt)[1];
  if (tp(v) != tTABLE) return et(kt);
  V nm = cat(PA(k)[0], _r(PA(v)[0]));
  V cl = nm ? cat(PA(k)[1], _r(PA(v)[1])) : 0;
  mr(kt);
  if (!cl) return mr(nm), (V)0;
  return aM(nm, cl);
}

namespace {

template <bool W> void jw(Jw &w, V x, int d);

// The string of jst, for the atoms that have no faster route.
template <bool W> void jstw(Jw &w, V x) {
  V s = jst(x);
  if (!s) return jfail(w);
  jq<W>(w, PC(s), nx(s));
  mr(s);
}

// Item i of x, which is a vector, a list or a table (a row object).
template <bool W> void jit(Jw &w, V x, U i, int d) {
  switch (tp(x)) {
    case tLIST: return jw<W>(w, PA(x)[i], d);
    case tRANGE: return jint<W>(w, PL(x)[0] + (J)i);
    case tBOOL: return put1<W>(w, (char)('0' + ((P(x)[i >> 3] >> (i & 7)) & 1)));
    case tBYTE: return jint<W>(w, P<int8_t>(x)[i]);
    case tSHORT: return jint<W>(w, P<int16_t>(x)[i]);
    case tINT: return jint<W>(w, PI(x)[i]);
    case tLONG: return jlong<W>(w, PL(x)[i]);
    case tFLT: return jflt<W>(w, PF(x)[i]);
    case tCHR: return jq<W>(w, PC(x) + i, 1);
    case tSYM: return jsym<W>(w, PI(x)[i]);
    case tTSTAMP: case tTSPAN: return jtmp<W>(w, tp(x) + 22, PL(x)[i]);
    case tDATE: case tTIME: case tMINUTE: case tSECOND: case tMONTH:
      return jtmp<W>(w, tp(x) + 22, PI(x)[i]);
    default: {
      V e = ii(x, i);
      jw<W>(w, e, d);
      mr(e);
    }
  }
}

// Items of a vector, list or range as an array.
template <bool W> void jarr(Jw &w, V x, int d) {
  J n = _n(x);
  bool l = tp(x) == tLIST;
  put1<W>(w, '[');
  for (J i = 0; i < n && !w.jf; i++) {
    if (l && i + 16 < n) __builtin_prefetch(PC(PA(x)[i + 16]) - 32);  // as in jrow
    if (i) put1<W>(w, ',');
    jit<W>(w, x, (U)i, d + 1);
  }
  put1<W>(w, ']');
}

// A number key in quotes: f writes the number.
template <bool W, class Fn> void jkq(Jw &w, Fn f) {
  put1<W>(w, '"');
  f();
  put1<W>(w, '"');
}

// Key i of the keys k: strings, symbols and chars as strings, numbers and
// other atoms as their text in quotes; anything else 'type.
template <bool W> void jkey(Jw &w, V k, U i) {
  int t = tp(k);
  if (t == tLIST) {
    V e = PA(k)[i];
    int u = tp(e);
    if (u == tCHR) return jq<W>(w, PC(e), nx(e));
    switch (u) {
      case tINTA: return jkq<W>(w, [&] { jint<W>(w, ip(e)); });
      case tLONGA: return jkq<W>(w, [&] { jlong<W>(w, PL(e)[0]); });
      case tFLTA: return jkq<W>(w, [&] { jflt<W>(w, PF(e)[0]); });
      case tCHRA: {
        char c = (char)e;
        return jq<W>(w, &c, 1);
      }
      case tSYMA: return jsym<W>(w, ip(e));
      case tTSTAMPA: case tTSPANA: return jtmp<W>(w, u, PL(e)[0]);
      case tDATEA: case tTIMEA: case tMINUTEA: case tSECONDA: case tMONTHA:
        return jtmp<W>(w, u, ip(e));
      default: return jfail(w), (void)et0();
    }
  }
  if (t == tCHR || t == tSYM || (t >= tDATE && t <= tTSPAN)) return jit<W>(w, k, i, 0);
  if (t >= tRANGE && t <= tFLT) return jkq<W>(w, [&] { jit<W>(w, k, i, 0); });
  jfail(w), (void)et0();
}

template <bool W> void jdict(Jw &w, V k, V v, int d) {
  J n = _n(k);
  put1<W>(w, '{');
  for (J i = 0; i < n && !w.jf; i++) {
    if (i) put1<W>(w, ',');
    jkey<W>(w, k, (U)i);
    put1<W>(w, ':');
    jit<W>(w, v, (U)i, d + 1);
  }
  put1<W>(w, '}');
}

// The names nm (a symbol vector) as the keys of an object: each name's
// JSON string and a colon, end to end in one char vector; *ko gets the
// offsets where each starts, and the end.
V jkeys(V nm, V *ko) {
  U m = nx(nm);
  Jw kw{nullptr, 0, 0};
  for (U j = 0; j < m; j++) jsym<false>(kw, PI(nm)[j]);
  V kt = an((U)(kw.n + m), tCHR);
  *ko = an(m + 1, tLONG);
  kw.s = PC(kt);
  for (U j = 0; j < m; j++) {
    PL(*ko)[j] = kw.s - PC(kt);
    jsym<true>(kw, PI(nm)[j]);
    *kw.s++ = ':';
  }
  PL(*ko)[m] = kw.s - PC(kt);
  return kt;
}

// A table as an array of row objects, written from its columns; each
// name's text and colon is made once for all rows.
template <bool W> void jrow(Jw &w, V x, int d) {
  V nm = PA(x)[0], cl = PA(x)[1];
  J n = _n(x);
  U m = nx(nm);
  V ko, kt = jkeys(nm, &ko);
  put1<W>(w, '[');
  for (J i = 0; i < n && !w.jf; i++) {
    // The items of list columns are objects of their own, scattered:
    // fetch their headers some rows ahead.
    if (i + 16 < n)
      for (U j = 0; j < m; j++)
        if (tp(PA(cl)[j]) == tLIST) __builtin_prefetch(PC(PA(PA(cl)[j])[i + 16]) - 32);
    if (i) put1<W>(w, ',');
    put1<W>(w, '{');
    for (U j = 0; j < m && !w.jf; j++) {
      if (j) put1<W>(w, ',');
      put<W>(w, PC(kt) + PL(ko)[j], (UJ)(PL(ko)[j + 1] - PL(ko)[j]));
      jit<W>(w, PA(cl)[j], (U)i, d + 2);
    }
    put1<W>(w, '}');
  }
  put1<W>(w, ']');
  mr(kt), mr(ko);
}

template <bool W> void jw(Jw &w, V x, int d) {
  if (w.jf) return;
  if (d > KDEPTH) return jfail(w), (void)es0();
  if (x == GNULL) return put<W>(w, "null", 4);
  int t = tp(x);
  switch (t) {
    case tINTA: return jint<W>(w, ip(x));
    case tLONGA: return jlong<W>(w, PL(x)[0]);
    case tFLTA: return jflt<W>(w, PF(x)[0]);
    case tCHRA: {
      char c = (char)x;
      return jq<W>(w, &c, 1);
    }
    case tCHR: return jq<W>(w, PC(x), nx(x));
    case tSYMA: return jsym<W>(w, ip(x));
    case tTSTAMPA: case tTSPANA: return jtmp<W>(w, t, PL(x)[0]);
    case tDATEA: case tTIMEA: case tMINUTEA: case tSECONDA: case tMONTHA:
      return jtmp<W>(w, t, ip(x));
    case tTABLE: return jrow<W>(w, x, d);
    case tDICT: {
      V k = PA(x)[0];
      if (tp(k) != tTABLE) return jdict<W>(w, k, PA(x)[1], d);
      V r = jkt(_r(x));
      if (!r) return jfail(w);
      jrow<W>(w, r, d);
      mr(r);
      return;
    }
    default:
      if (t >= tLIST && t < tTABLE) return jarr<W>(w, x, d);
      return jstw<W>(w, x);
  }
}

}  // namespace

// Bytes of x's JSON text; 0 with jf set and the error raised when x cannot
// be written.
UJ jnx(V x, int *jf) {
  Jw w{nullptr, 0, 0};
  jw<false>(w, x, 0);
  *jf = w.jf;
  return w.n;
}

// Bytes of x (a vector, list or range) written as an array.
UJ nxe(V x, int *jf) {
  Jw w{nullptr, 0, 0};
  jarr<false>(w, x, 0);
  *jf = w.jf;
  return w.n;
}

// Writes x at *s, which has room for jnx(x) bytes, and advances *s.
int Jx(V x, char **s) {
  Jw w{*s, 0, 0};
  jw<true>(w, x, 0);
  *s = w.s;
  return w.jf;
}

V js1(V x) {
  int jf;
  UJ n = jnx(x, &jf);
  if (jf) return mr(x), (V)0;
  // Counts are 32-bit: a longer text is refused before it is made.
  if (n > 0xFFFFFFFFull) return ez(x);
  V r = an((U)n, tCHR);
  char *s = PC(r);
  jf = Jx(x, &s);
  mr(x);
  if (jf) return mr(r), (V)0;
  return r;
}

// ---------------------------------------------------------------- reader

namespace {

struct Jr {
  const G *b, *s;  // the text (four zero bytes after its end), the cursor
  int d;           // containers open around the cursor
  int e;           // an error other than 'parse is raised already
  V pk;            // the keys of the last object read, or 0
};

ZK_INLINE void ws(Jr &r) {
  while ((U)(r.s[0] - 1) < 32u) r.s++;
}
ZK_INLINE bool dg(G c) { return (U)(c - '0') < 10u; }
ZK_INLINE int hx(G c) {
  if (dg(c)) return c - '0';
  c |= 0x20;
  return (U)(c - 'a') < 6u ? c - 'a' + 10 : -1;
}
// Four hex digits at p, or -1.
int hx4(const G *p) {
  int a = hx(p[0]), b = hx(p[1]), c = hx(p[2]), e = hx(p[3]);
  return (a | b | c | e) < 0 ? -1 : a << 12 | b << 8 | c << 4 | e;
}
char *u8(char *o, U c) {
  if (c < 0x80) *o++ = (char)c;
  else if (c < 0x800) *o++ = (char)(0xC0 | c >> 6), *o++ = (char)(0x80 | (c & 63));
  else if (c < 0x10000)
    *o++ = (char)(0xE0 | c >> 12), *o++ = (char)(0x80 | (c >> 6 & 63)), *o++ = (char)(0x80 | (c & 63));
  else
    *o++ = (char)(0xF0 | c >> 18), *o++ = (char)(0x80 | (c >> 12 & 63)),
    *o++ = (char)(0x80 | (c >> 6 & 63)), *o++ = (char)(0x80 | (c & 63));
  return o;
}
// The code point of the escape \uXXXX at p (after the u), a surrogate pair
// combined; *k gets the source bytes it takes after the u.
U ucp(const G *p, int *k) {
  U c = (U)hx4(p);
  *k = 4;
  if (c - 0xD800u < 0x400u && p[4] == '\\' && p[5] == 'u') {
    int l = hx4(p + 6);
    if (l - 0xDC00 >= 0 && l - 0xDC00 < 0x400) {
      *k = 10;
      return 0x10000 + ((c - 0xD800) << 10) + (U)(l - 0xDC00);
    }
  }
  return c;
}
ZK_INLINE U ulen(U c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

// A string; the cursor is just past the opening quote.  First pass: find
// the closing quote, check every escape and count the decoded bytes; the
// second decodes into a vector of that size.  On failure the cursor is at
// the byte at fault.
V js(Jr &r) {
  const G *p = r.s;
  UJ n = 0;
  bool esc = false;
  for (;;) {
    G c = *p;
    if (c == '"') break;
    if (c < 32) return r.s = p, (V)0;
    if (c != '\\') {
      p++, n++;
      continue;
    }
    esc = true;
    G e = p[1];
    if (e == 'u') {
      if (hx4(p + 2) < 0) return r.s = p, (V)0;
      int k;
      n += ulen(ucp(p + 2, &k));
      p += 2 + k;
    } else if (e && memchr(jel[1], e, 8)) {
      p += 2, n++;
    } else {
      return r.s = p, (V)0;  // not one of JSON's escapes
    }
  }
  if (n > 0xFFFFFFFFull) return r.s = p, r.e = 1, ez0();
  const G *q = r.s;
  r.s = p + 1;
  if (!esc) return aCn((const char *)q, (U)n);
  V v = an((U)n, tCHR);
  char *o = PC(v);
  while (q < p) {
    if (*q != '\\') {
      *o++ = (char)*q++;
      continue;
    }
    if (q[1] == 'u') {
      int k;
      o = u8(o, ucp(q + 2, &k));
      q += 2 + k;
    } else {
      *o++ = jel[0][(const char *)memchr(jel[1], q[1], 8) - jel[1]];
      q += 2;
    }
  }
  return v;
}

// Numbers that the short path cannot take exactly: more than 19
// significant digits or a long exponent.  The text [m, e) is the magnitude.
F jdx(const G *m, const G *e) { return csv_float((const char *)m, (const char *)e); }

// A number; a leading "-", digits, optionally "." and digits (none is
// accepted), optionally an exponent with at least one digit.  The value
// goes to *o; false with the cursor at the fault.
bool jnm(Jr &r, F *o) {
  const G *p = r.s;
  bool ng = *p == '-';
  p += ng;
  const G *m = p;
  if (!dg(*p)) return r.s = p, false;
  UJ w = 0;
  int nd = 0;  // significant digits (from the first nonzero)
  J fd = 0;    // digits after the point
  for (; dg(*p); p++)
    if (nd || *p != '0') {
      if (nd < 19) w = w * 10 + (*p - '0');
      nd++;
    }
  if (*p == '.')
    for (p++; dg(*p); p++, fd++)
      if (nd || *p != '0') {
        if (nd < 19) w = w * 10 + (*p - '0');
        nd++;
      }
  J x = 0;
  int ne = 0;  // exponent digits after its leading zeros
  if ((*p | 0x20) == 'e') {
    p++;
    bool en = *p == '-';
    if (*p == '-' || *p == '+') p++;
    if (!dg(*p)) return r.s = p, false;
    while (*p == '0') p++;
    for (; dg(*p); p++, ne++)
      if (ne < 15) x = x * 10 + (*p - '0');
    if (en) x = -x;
  }
  r.s = p;
  F v;
  J q = x - fd;
  if (nd > 19 || ne > 15) v = jdx(m, p);  // saturates: infinity, or zero
  else if (!w) v = 0;
  else if (w <= (1ull << 53) && q >= -22 && q <= 22) v = q >= 0 ? (F)w * csv_p10[q] : (F)w / csv_p10[-q];
  else v = csv_elf(w, q);
  *o = ng ? -v : v;
  return true;
}

V jxn(Jr &r) {
  F v;
  return jnm(r, &v) ? af(v) : (V)0;
}

V jx(Jr &r);

// The state of an array's rows read straight into a table (jrw): the
// table's names as keys (jkeys, with offsets ko), 0 until the first such
// row; the cells of the row being read, a value each or 0 for a double in
// cf; sc, the short strings read last, by a hash of their bytes.
struct Jt {
  V kt, ko, cv, cf, sc;
};
inline constexpr U JSC = 256;  // slots of sc
inline constexpr U JSL = 32;   // longest string sc holds

// A string value of a row, the cursor on its opening quote.  Columns of
// strings repeat a few values (names, codes, flags): a short one without
// escapes equal to one read lately shares that vector, as values are
// never changed in place while shared.
V jrs(Jr &r, Jt &t) {
  const G *p = r.s + 1, *q = p;
  while (q - p <= (J)JSL && *q >= 32 && *q != '"' && *q != '\\') q++;
  if (*q != '"') return r.s++, js(r);
  U n = (U)(q - p), h = n;
  for (U i = 0; i < n; i++) h = (h ^ p[i]) * 0x01000193u;
  V *e = (V *)PL(t.sc) + (h >> 8 & (JSC - 1));
  r.s = q + 1;
  if (*e && nx(*e) == n && !memcmp(PC(*e), p, n)) return _r(*e);
  if (*e) mr(*e);
  V v = aCn((const char *)p, n);
  *e = _r(v);
  return v;
}

// The key text at p: does it start with the m bytes at k?  k holds no
// zero byte, so the text's terminating zeros stop the scan.
ZK_INLINE bool jkm(const G *p, const char *k, UJ m) {
  for (UJ i = 0; i < m; i++)
    if (p[i] != (G)k[i]) return false;
  return true;
}

// Releases cells i to n of t.
void jtc(Jt &t, U i, U n) {
  for (; i < n; i++)
    if (V v = (V)PL(t.cv)[i]) mr(v);
}

// An object that continues the table l (the items so far), read into its
// columns without a dict between: 1 when read, -1 on failure with the
// error raised (l then holds empty columns where it failed), 0 when the
// object is not taken and the cursor is back where it was.  Taken: keys
// that are l's names in order, each written as the writer writes it
// (another spelling of the same name goes the slow way, which interns
// it), and a first value that is not an object.  Pushing the row's dict
// (prow) pushes each of its values onto its column, which is what this
// does, numbers into float columns as doubles.  The values of a dict whose
// first value is an object start as a one-row table, and prow takes rows
// rebuilt from it; those rows keep the slow way, which defines them.
int jrw(Jr &r, V &l, Jt &t) {
  ws(r);
  if (*r.s != '{' || r.d >= JDEPTH || (UJ)_n(l) + 1 >= 0xFFFFFFFFull) return 0;
  V nm = PA(l)[0];
  U m = nx(nm);
  if (!t.kt) {
    t.kt = jkeys(nm, &t.ko), t.cv = an(m, tLONG), t.cf = an(m, tFLT), t.sc = an(JSC, tLONG);
    memset(P(t.sc), 0, JSC * 8);
  }
  const G *st = r.s;
  V cl = PA(l)[1], *cv = (V *)PL(t.cv);
  F *cf = PF(t.cf);
  const J *ko = PL(t.ko);
  r.s++, r.d++;
  U j = 0;
  for (; j < m; j++) {
    ws(r);
    UJ kn = (UJ)(ko[j + 1] - ko[j]);  // with the colon
    if (!jkm(r.s, PC(t.kt) + ko[j], kn - 1)) goto no;
    r.s += kn - 1;
    ws(r);
    if (*r.s != ':') goto no;
    r.s++;
    ws(r);
    G c = *r.s;
    if (c == '{' && !j) goto no;
    if ((c == '-' || dg(c)) && tp(PA(cl)[j]) == tFLT) {
      if (!jnm(r, cf + j)) goto no;
      cv[j] = 0;
    } else if (!(cv[j] = c == '"' ? jrs(r, t) : jx(r))) {
      goto no;
    }
    ws(r);
    if (*r.s != (j + 1 < m ? ',' : '}')) {
      j++;
      goto no;
    }
    r.s++;
  }
  r.d--;
  l = mut(l);
  cl = PA(l)[1] = mut(PA(l)[1]);
  for (j = 0; j < m; j++) {
    V c = PA(cl)[j];
    if (!cv[j] && tp(c) == tFLT) {
      U n = nx(c);
      c = aa(n + 1, c);
      PF(c)[n] = cf[j];
    } else if (!(c = psh(c, cv[j] ? cv[j] : af(cf[j])))) {
      PA(cl)[j] = _r(ce[tLIST]);  // keep l releasable
      jtc(t, j + 1, m);
      r.e = 1;
      return -1;
    }
    PA(cl)[j] = c;
  }
  return 1;
no:
  jtc(t, 0, j);
  r.s = st, r.d--, r.e = 0;
  return 0;
}

V jxa(Jr &r) {
  if (++r.d > JDEPTH) return (V)0;
  r.s++;
  ws(r);
  V l = _r(ce[tLIST]);
  if (*r.s == ']') return r.s++, r.d--, l;
  Jt t{0, 0, 0, 0, 0};
  for (;;) {
    int k = tp(l) == tTABLE ? jrw(r, l, t) : 0;
    if (k < 0) {
      mr(l), l = 0;
      break;
    }
    if (!k) {
      V v = jx(r);
      if (!v) {
        mr(l), l = 0;
        break;
      }
      if (!(l = psh(l, v))) {
        r.e = 1;
        break;
      }
    }
    ws(r);
    if (*r.s == ']') {
      r.s++, r.d--;
      break;
    }
    if (*r.s != ',') {
      mr(l), l = 0;
      break;
    }
    r.s++;
  }
  if (t.kt) {
    for (U i = 0; i < JSC; i++)
      if (V v = (V)PL(t.sc)[i]) mr(v);
    mr(t.kt), mr(t.ko), mr(t.cv), mr(t.cf), mr(t.sc);
  }
  return l;
}

// An object.  Keys equal to the last object's, in order, take that
// object's key vector, so the rows of an array of records share one (and
// the push that makes them a table compares them at once).
V jxo(Jr &r) {
  if (++r.d > JDEPTH) return (V)0;
  r.s++;
  ws(r);
  if (*r.s == '}') {
    r.s++, r.d--;
    return am(_r(ce[tSYM]), _r(ce[tLIST]));
  }
  // pk is held: objects among the values replace r.pk as they are read.
  V k = 0, vs = _r(ce[tLIST]), pk = r.pk ? _r(r.pk) : 0;
  U i = 0;  // keys so far; while k is 0 they are pk's first i
  for (;;) {
    if (*r.s != '"') goto bad;
    {
      // A key without escapes is interned from the text itself.
      const G *q = ++r.s;
      while (*q >= 32 && *q != '"' && *q != '\\') q++;
      I id;
      if (*q == '"') id = usn((const char *)r.s, (UJ)(q - r.s)), r.s = q + 1;
      else {
        V s = js(r);
        if (!s) goto bad;
        id = usn(PC(s), nx(s));
        mr(s);
      }
      if (!k && pk && i < nx(pk) && PI(pk)[i] == id) i++;
      else {
        if (!k) k = i ? slc(pk, 0, i) : _r(ce[tSYM]);
        if (!(k = psh(k, as(id)))) goto err;
        i++;
      }
    }
    ws(r);
    if (*r.s != ':') goto bad;
    r.s++;
    {
      V v = jx(r);
      if (!v) goto bad;
      if (!(vs = psh(vs, v))) goto err;
    }
    ws(r);
    if (*r.s == '}') break;
    if (*r.s != ',') goto bad;
    r.s++;
    ws(r);
  }
  r.s++, r.d--;
  if (!k) k = i == nx(pk) ? _r(pk) : slc(pk, 0, i);
  if (r.pk) mr(r.pk);
  r.pk = _r(k);
  if (pk) mr(pk);
  return am(k, vs);
err:
  r.e = 1;
bad:
  if (k) mr(k);
  if (vs) mr(vs);
  if (pk) mr(pk);
  return (V)0;
}

V jx(Jr &r) {
  ws(r);
  const G *p = r.s;
  switch (*p) {
    case '"': {
      r.s++;
      V v = js(r);
      return v;
    }
    case '[': return jxa(r);
    case '{': return jxo(r);
    case 't':
      if (memcmp(p, "true", 4)) return (V)0;
      return r.s += 4, ai(1);
    case 'f':
      if (memcmp(p, "false", 5)) return (V)0;
      return r.s += 5, ai(0);
    case 'n':
      if (memcmp(p, "null", 4)) return (V)0;
      return r.s += 4, _r(cn[tFLTA]);
    default: return jxn(r);
  }
}

}  // namespace

V js0(V x) {
  int t = tp(x);
  if (t == tCHRA) x = enl(x), t = tCHR;
  if (t != tCHR) return et(x);
  U n = nx(x);
  // Four zero bytes after the text let the scanners look ahead freely;
  // the count must hold them too.
  if (n > 0xFFFFFFFFu - 4) return ez(x);
  x = aa(n + 4, x);
  memset(PC(x) + n, 0, 4);
  hd(x)->count = n;
  Jr r{P(x), P(x), 0, 0, 0};
  V v = jx(r);
  if (v) ws(r);
  if (r.pk) mr(r.pk);
  if (!v || r.s != r.b + n) {
    if (v) mr(v);
    if (!r.e) {
      ep0();
      eS(x, (U)(r.s - r.b));
    }
    mr(x);
    return 0;
  }
  mr(x);
  return v;
}

V qjs(V x) {
  int t = tp(x);
  if (t == tCHR) return mr(x), _r(ce[tCHR]);
  if (t != tLIST) return et(x);
  U n = nx(x);
  V r = n ? an(n, tLIST) : _r(ce[tLIST]);
  for (U i = 0; i < n; i++) {
    V e = qjs(_r(PA(x)[i]));
    if (!e) {
      hd(r)->count = i;
      return mr(r), mr(x), (V)0;
    }
    PA(r)[i] = e;
  }
  mr(x);
  return r;
}

}  // namespace zk
