// ipc.cpp: the message codec: a value becomes an 8-byte header and one
// self-describing encoded value (qser, qenc, qencv), and back (qdes, qdec);
// compressed messages from a peer are expanded by qunz.  Integer widths
// travel as 64-bit items and come back at the narrowest width.
//
// The writer grows one char vector by doubling (aa), so a payload is
// copied once; the reader keeps the first failure it meets in its state.
#include <cmath>
#include "core/diag.h"
#include "core/err.h"
#include "core/sym.h"
#include "eval/parse.h"
#include "io/io.h"
#include "list/list.h"
#include "order/order.h"

namespace zk {

UJ qlim = 0xFFFFFFFFull;

// ---- the growable buffer ----
void qw0(Qw &w, U cap) {
  w.b = an(cap, tCHR);
  w.n = 0;
  w.st = 0;
}

void qput(Qw &w, const void *s, UJ n) {
  if (w.st) return;
  UJ e = w.n + n;
  if (e > qlim) {
    w.st = 3;
    return;
  }
  UJ c = nx(w.b);
  if (e > c) {
    while (c < e) c *= 2;
    if (c > 0xFFFFFFFFull) c = 0xFFFFFFFFull;
    w.b = aa((U)c, w.b);
  }
  memcpy(P(w.b) + w.n, s, n);
  w.n = e;
}

// Room for n more bytes, written by the caller at the returned address.
G *qroom(Qw &w, UJ n) {
  UJ o = w.n;
  if (w.st) return 0;
  UJ e = o + n, c = nx(w.b);
  if (e > qlim) return w.st = 3, (G *)0;
  if (e > c) {
    while (c < e) c *= 2;
    if (c > 0xFFFFFFFFull) c = 0xFFFFFFFFull;
    w.b = aa((U)c, w.b);
  }
  w.n = e;
  return P(w.b) + o;
}

// A guess at the encoded size of x from its fixed-width vectors, two
// levels down (the columns of a table), so that a large table's buffer is
// allocated once rather than doubled through every column.  wire: integer
// items travel as 8 bytes.
UJ qhint(V x, bool wire, int d) {
  if (!heap(x)) return 8;
  int t = tp(x);
  U n = nx(x);
  if (t == tLIST || t == tTABLE || t == tDICT) {
    UJ s = 16;
    if (d < 2)
      for (U i = 0; i < n; i++) s += qhint(PA(x)[i], wire, d + 1);
    return s;
  }
  if (t >= tBOOL && t <= tTSPAN && t != tSYM)
    return 16 + (wire && t <= tLONG ? (UJ)n * (t == tBOOL ? 1 : 8) : dbytes(n, t));
  return 16;
}

V qwend(Qw &w) {
  if (w.st) {
    mr(w.b);
    return w.st == 3 ? ez0() : w.st == 2 ? et0() : eo0();
  }
  hd(w.b)->count = (U)w.n;
  return w.b;
}

namespace {

ZK_INLINE void pb(Qw &w, G c) { qput(w, &c, 1); }
ZK_INLINE void p4(Qw &w, U v) { qput(w, &v, 4); }
ZK_INLINE void p8(Qw &w, UJ v) { qput(w, &v, 8); }

constexpr UJ QNAN = 0xFFF8000000000000ull;
ZK_INLINE UJ fbits(F d) {
  UJ b;
  memcpy(&b, &d, 8);
  return d != d ? QNAN : b;
}

// Wire vector type of engine vector types 8..17.
constexpr int8_t wv[18] = {0, 0, 0, 1, 7, 7, 7, 7, 9, 10, 11, 14, 19, 12, 17, 18, 13, 16};
// Engine vector type of wire vector types 0..19 (0: none; integers 7).
constexpr int8_t wev[20] = {tLIST, tBOOL, 0, 0, tLONG, tLONG, tLONG, tLONG, tFLT, tFLT,
                           tCHR,  tSYM,  tTSTAMP, tMONTH, tDATE, tTSTAMP, tTSPAN, tMINUTE,
                           tSECOND, tTIME};
// Item bytes on the wire of types 0..19.
constexpr G ww[20] = {0, 1, 0, 0, 1, 2, 4, 8, 4, 8, 1, 0, 8, 4, 4, 8, 8, 4, 4, 4};

// Items widened to 8 bytes; the buffer is not aligned, so stores go
// through memcpy.
template <class T> void sxw(G *o, const T *s, U n) {
  for (U i = 0; i < n; i++) {
    J v = s[i];
    memcpy(o + (UJ)i * 8, &v, 8);
  }
}

void sxt(Qw &w, V x, int t, U n) {
  G *o = qroom(w, (UJ)n * 8);
  if (!o) return;
  switch (t) {
    case tBYTE: return sxw(o, P<int8_t>(x), n);
    case tSHORT: return sxw(o, P<int16_t>(x), n);
    case tINT: return sxw(o, PI(x), n);
    default: memcpy(o, P(x), (UJ)n * 8);
  }
}

}  // namespace

void qencv(Qw &w, V x, int d) {
  int t = tp(x);
  U n = nx(x);
  if (t == tRANGE) {
    V v = gZ(_r(x));
    if (!v) return void(w.st = 1);
    qencv(w, v, d);
    return mr(v);
  }
  G a = hd(x)->attr;
  G h[6] = {(G)(t == tLIST ? 0 : wv[t]), a};
  memcpy(h + 2, &n, 4);
  qput(w, h, 6);
  switch (t) {
    case tLIST:
      for (U i = 0; i < n && !w.st; i++) qenc(w, PA(x)[i], d + 1);
      return;
    case tBOOL: {
      G *o = qroom(w, n);
      if (o)
        for (U i = 0; i < n; i++) o[i] = (P(x)[i >> 3] >> (i & 7)) & 1;
      return;
    }
    case tBYTE: case tSHORT: case tINT: case tLONG: return sxt(w, x, t, n);
    case tFLT: {
      G *o = qroom(w, (UJ)n * 8);
      if (o)
        for (U i = 0; i < n; i++) {
          UJ b = fbits(PF(x)[i]);
          memcpy(o + (UJ)i * 8, &b, 8);
        }
      return;
    }
    case tSYM:
      for (U i = 0; i < n; i++) {
        const char *s = su(PI(x)[i]);
        qput(w, s, strlen(s) + 1);
      }
      return;
    default: return qput(w, P(x), dbytes(n, t));
  }
}

void qenc(Qw &w, V x, int d) {
  if (w.st) return;
  if (d > 256) return void(w.st = 2);
  int t = tp(x);
  if (x == GNULL) return qput(w, "\x65\0", 2);
  if (t < tTABLE) return qencv(w, x, d);
  switch (t) {
    case tINTA: pb(w, (G)-7); return p8(w, (UJ)(J)ip(x));
    case tLONGA: pb(w, (G)-7); return p8(w, (UJ)PL(x)[0]);
    case tFLTA: pb(w, (G)-9); return p8(w, fbits(PF(x)[0]));
    case tCHRA: pb(w, (G)-10); return pb(w, (G)x);
    case tSYMA: {
      const char *s = su(ip(x));
      pb(w, (G)-11);
      return qput(w, s, strlen(s) + 1);
    }
    case tDICT:
      pb(w, hd(x)->attr == 1 ? 127 : 99);
      qenc(w, PA(x)[0], d + 1);
      return qenc(w, PA(x)[1], d + 1);
    case tTABLE:
      qput(w, "\x62\0\x63", 3);
      qenc(w, PA(x)[0], d + 1);
      return qenc(w, PA(x)[1], d + 1);
    case tLAMBDA: {
      V s = kst(_r(x));
      if (!s || tp(s) != tCHR) {
        if (s) mr(s);
        eclr();
        return void(w.st = 1);
      }
      qput(w, "\x64\0", 2);
      qencv(w, s, d);
      return mr(s);
    }
    case tTSTAMPA: case tTSPANA: pb(w, (G)-wv[t - 22]); return p8(w, (UJ)PL(x)[0]);
    case tDATEA: case tTIMEA: case tMINUTEA: case tSECONDA: case tMONTHA:
      pb(w, (G)-wv[t - 22]);
      return p4(w, (U)x);
  }
  w.st = 2;
}

V qser(V x, int type) {
  Qw w;
  UJ h = qhint(x, true, 0) + 8;
  qw0(w, h < 256 ? 256 : h > qlim ? (U)qlim : (U)h);
  G hb[8] = {1, (G)type, 0, 0, 0, 0, 0, 0};
  qput(w, hb, 8);
  qenc(w, x, 0);
  if (!w.st) {
    U n = (U)w.n;
    memcpy(P(w.b) + 4, &n, 4);
  }
  return qwend(w);
}

// ---- decoding ----
namespace {

ZK_INLINE bool need(Qr &r, UJ k) {
  if (r.n - r.i >= k) return true;
  if (!r.st) r.st = 1;
  return false;
}
ZK_INLINE V bad(Qr &r, int s) {
  if (!r.st) r.st = s;
  return 0;
}
template <class T> ZK_INLINE T rd(Qr &r) {
  T v;
  memcpy(&v, r.b + r.i, sizeof v);
  r.i += sizeof v;
  return v;
}

// Days since 2000.01.01 to nanoseconds, rounded half away from zero; NaN
// is the null; infinities and values past the 64-bit range fail.
bool dayns(F d, J *o) {
  if (d != d) return *o = NJ, true;
  F v = d * 86400000000000.0;
  if (!(std::fabs(v) < 9223372036854775808.0)) return false;
  *o = (J)std::round(v);
  return true;
}

// The columns of a table, or the keys and values of a dict: lists or
// vectors (tables as keys and values too, when tbl) of one count.
bool shaped(V a, V b, bool tbl) {
  int ta = tp(a), tb = tp(b);
  if (ta < 1 || ta > (tbl ? 18 : 17) || tb < 1 || tb > (tbl ? 18 : 17)) return false;
  return _n(a) == _n(b);
}

V dvec(Qr &r, int wt, int d) {
  if (!need(r, 5)) return 0;
  G a = r.b[r.i++];
  U n = rd<U>(r);
  if ((I)n < 0 || n > r.n - r.i) return bad(r, 1);
  if (wt == 0) {
    if (!n) return aA0(0);
    V l = an(n, tLIST);
    for (U i = 0; i < n; i++) {
      V v = qdec(r, d + 1);
      if (!v) {
        hd(l)->count = i;
        mr(l);
        return 0;
      }
      PA(l)[i] = v;
    }
    return l;
  }
  int t = wev[wt];
  V x;
  if (wt == 11) {
    x = an(n, tSYM);
    for (U i = 0; i < n; i++) {
      I s;
      if (!qrs(r, &s)) return mr(x), (V)0;
      PI(x)[i] = s;
    }
  } else {
    if (!need(r, (UJ)n * ww[wt])) return 0;
    const G *s = r.b + r.i;
    r.i += (UJ)n * ww[wt];
    x = an(n, t);
    switch (wt) {
      case 1:
        memset(P(x), 0, dbytes(n, t));
        for (U i = 0; i < n; i++) P(x)[i >> 3] |= (G)((s[i] != 0) << (i & 7));
        break;
      case 4: for (U i = 0; i < n; i++) PL(x)[i] = s[i]; break;
      case 5:
        for (U i = 0; i < n; i++) {
          int16_t v;
          memcpy(&v, s + 2 * (UJ)i, 2);
          PL(x)[i] = v == INT16_MIN ? NJ : v;
        }
        break;
      case 6:
        for (U i = 0; i < n; i++) {
          I v;
          memcpy(&v, s + 4 * (UJ)i, 4);
          PL(x)[i] = v == NI ? NJ : v;
        }
        break;
      case 8:
        for (U i = 0; i < n; i++) {
          float v;
          memcpy(&v, s + 4 * (UJ)i, 4);
          PF(x)[i] = v;
        }
        break;
      case 15:
        for (U i = 0; i < n; i++) {
          F v;
          memcpy(&v, s + 8 * (UJ)i, 8);
          if (!dayns(v, PL(x) + i)) return mr(x), bad(r, 1);
        }
        break;
      default: memcpy(P(x), s, (UJ)n * ww[wt]);
    }
    if (t == tLONG) x = sqzZ(x);
  }
  if (a >= 1 && a <= 4 && atok(x, a)) hd(x)->attr = a;
  return x;
}

}  // namespace

bool qrs(Qr &r, I *s) {
  const G *p = r.i < r.n ? (const G *)memchr(r.b + r.i, 0, r.n - r.i) : 0;
  if (!p) return bad(r, 1), false;
  UJ k = (UJ)(p - (r.b + r.i));
  *s = usn((const char *)r.b + r.i, k);
  r.i += k + 1;
  return true;
}

// A received lambda: only a text that reads as exactly one lambda literal,
// compiled; anything else (statements, several expressions) is refused
// unevaluated.
static V qlam(V s) {
  U n = nx(s);
  char *t = (char *)malloc((UJ)n + 1);
  if (!t) return mr(s), (V)0;
  memcpy(t, P(s), n);
  t[n] = 0;
  mr(s);
  if (strlen(t) != n) return free(t), (V)0;
  I q = tl.zkdiagq;
  tl.zkdiagq = 1;
  const char *c = t;
  V f = pk_(&c, 0);
  tl.zkdiagq = q;
  free(t);
  if (!f) return eclr(), (V)0;
  if (tp(f) != tLAMBDA) return mr(f), (V)0;
  return f;
}

V qdec(Qr &r, int d) {
  if (d > 256 || r.st || r.i >= r.n) return bad(r, 1);
  int8_t t = (int8_t)r.b[r.i++];
  if (t < 0) {
    static constexpr G aw[20] = {0, 1, 0, 0, 1, 2, 4, 8, 4, 8, 1, 0, 8, 4, 4, 8, 8, 4, 4, 4};
    if (t == -128 || t == -11) {
      I s;
      if (!qrs(r, &s)) return 0;
      if (t == -11) return as(s);
      r.st = 4;
      return err0(su(s));
    }
    int k = -t;
    if (k >= 20 || !aw[k]) return bad(r, 3);
    if (!need(r, aw[k])) return 0;
    const G *p = r.b + r.i;
    r.i += aw[k];
    J v;
    switch (k) {
      case 1: return ai(*p != 0);
      case 4: return ai(*p);
      case 5: { int16_t h; memcpy(&h, p, 2); return h == INT16_MIN ? al(NJ) : ai(h); }
      case 6: { I i; memcpy(&i, p, 4); return i == NI ? al(NJ) : ai(i); }
      case 7: memcpy(&v, p, 8); return az(v);
      case 8: { float f; memcpy(&f, p, 4); return af(f); }
      case 9: { F f; memcpy(&f, p, 8); return af(f); }
      case 10: return ac((char)*p);
      case 15: {
        F f;
        memcpy(&f, p, 8);
        if (!dayns(f, &v)) return bad(r, 1);
        V x = an(1, tTSTAMPA);
        PL(x)[0] = v;
        return x;
      }
      case 12: case 16: {
        V x = an(1, wev[k] + 22);
        memcpy(P(x), p, 8);
        return x;
      }
      default: { U u; memcpy(&u, p, 4); return imm(wev[k] + 22, u); }
    }
  }
  if (t < 20) {
    if (t == 2 || t == 3) return bad(r, 3);
    return dvec(r, t, d);
  }
  switch (t) {
    case 98: {
      if (!need(r, 2)) return 0;
      if (r.b[r.i + 1] != 99) return bad(r, 1);
      r.i += 2;
      V a = qdec(r, d + 1);
      if (!a) return 0;
      V b = qdec(r, d + 1);
      if (!b) return mr(a), (V)0;
      bool ok = tp(a) == tSYM && tp(b) == tLIST && nx(a) == nx(b) && nx(a);
      for (U i = 0; ok && i < nx(b); i++) {
        int c = tp(PA(b)[i]);
        ok = c >= 1 && c <= 17 && _n(PA(b)[i]) == _n(PA(b)[0]);
      }
      if (!ok) return mr(a), mr(b), bad(r, 1);
      return aM(a, b);
    }
    case 99: case 127: {
      V a = qdec(r, d + 1);
      if (!a) return 0;
      V b = qdec(r, d + 1);
      if (!b) return mr(a), (V)0;
      if (!shaped(a, b, true)) return mr(a), mr(b), bad(r, 1);
      V x = am(a, b);
      if (t == 127 && atok(a, 1)) hd(x)->attr = 1;
      return x;
    }
    case 100: {
      const G *p = r.i < r.n ? (const G *)memchr(r.b + r.i, 0, r.n - r.i) : 0;
      if (!p) return bad(r, 1);
      r.i = (UJ)(p - r.b) + 1;
      V x = qdec(r, d + 1);
      if (!x) return 0;
      if (tp(x) != tCHR) return mr(x), bad(r, 1);
      V f = qlam(x);
      return f ? f : bad(r, 1);
    }
    case 101:
      if (!need(r, 1)) return 0;
      return r.b[r.i++] ? bad(r, 3) : GNULL;
  }
  return bad(r, 3);
}

// Expands a compressed message of n bytes.  Back-references name the
// latest position of a pair of output bytes by the XOR of the pair.
V qunz(const G *m, UJ n) {
  if (n < 12) return ed0();
  U u;
  memcpy(&u, m + 8, 4);
  if (u < 8 || u > (1u << 30)) return ed0();
  // Each step takes at least one byte and gives at most 257 (a copy of
  // two bytes), so no valid body expands past 129 bytes a byte: a larger
  // U fails here, before a peer's 12 bytes can make us map a gigabyte.
  if (u - 8 > 129 * ((UJ)n - 12)) return ed0();
  V o = an(u, tCHR);
  G *D = P(o);
  memcpy(D, m, 8);
  D[2] = 0;
  U H[256] = {};
  UJ s = 8, p = 8, d = 12;
  G f = 0, i = 0;
  while (s < u) {
    if (!i) {
      if (d >= n) return mr(o), ed0();
      f = m[d++];
      i = 1;
    }
    if (f & i) {
      if (d + 1 >= n) return mr(o), ed0();
      UJ q = H[m[d]];
      if (q + 1 >= s) return mr(o), ed0();
      UJ k = m[d + 1];
      if (s + 2 + k > u) return mr(o), ed0();
      D[s] = D[q];
      D[s + 1] = D[q + 1];
      for (UJ j = 0; j < k; j++) D[s + 2 + j] = D[q + 2 + j];
      for (UJ z = p; z <= s; z++) H[D[z] ^ D[z + 1]] = (U)z;
      s = p = s + 2 + k;
      d += 2;
    } else {
      if (d >= n) return mr(o), ed0();
      D[s] = m[d++];
      if (p < s) {
        for (UJ z = p; z < s; z++) H[D[z] ^ D[z + 1]] = (U)z;
        p = s;
      }
      s++;
    }
    i = (G)(i * 2);
  }
  return o;
}

V qdesb(const G *m, U n) {
  U l;
  if (n < 9 || m[0] != 1 || (memcpy(&l, m + 4, 4), l != n)) return ed0();
  V z = 0;
  if (m[2]) {
    z = qunz(m, n);
    if (!z) return 0;
    m = P(z), n = nx(z);
  }
  Qr r{m, n, 8, 0};
  V v = qdec(r, 0);
  if (z) mr(z);
  if (r.st == 4) return 0;
  if (v && !r.st && r.i == r.n) return v;
  if (v) mr(v);
  return r.st == 3 ? en0() : ed0();
}

V qdes(V x) {
  if (tp(x) != tCHR) return et(x);
  V v = qdesb(P(x), nx(x));
  mr(x);
  return v;
}

}  // namespace zk
