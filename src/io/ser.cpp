// ser.cpp: the engine's own binary form of a value (builtins `ser` and
// `des`): "ZKB", version 1, then one value keeping its storage exactly:
// integer widths, bit-packed booleans, ranges, an empty list's prototype,
// primitives and attributes.  Type bytes are the public type codes.
//
// Layouts after the type byte: immediate (u32, the low half of the value
// word), name (u32 length and bytes), raw (attribute, u64 count, items as
// stored) and container (attribute, u64 count, max(count, 1) children).
// Version 1 is frozen: the Python binding pickles through it.
#include "core/err.h"
#include "core/sym.h"
#include "io/io.h"
#include "list/list.h"
#include "order/order.h"

namespace zk {

namespace {

ZK_INLINE int pub(int t) { return t >= 18 ? t - 7 : (t >= 11 && t <= 17) ? t + 22 : t; }

// Internal type of public code c, 0 when refused.
ZK_INLINE int inty(int c) {
  if (c >= 1 && c <= 10) return c;
  if (c >= 11 && c <= 17) return c + 7;
  if (c >= 22 && c <= 32 && c != 25) return c + 7;
  if (c >= 33 && c <= 39) return c - 22;
  return 0;
}

void sname(Qw &w, const char *s) {
  U n = (U)strlen(s);
  qput(w, &n, 4);
  qput(w, s, n);
}

void enc(Qw &w, V x, int d) {
  if (w.st) return;
  int t = tp(x);
  if (t >= tLAMBDA && t <= tNATIVE && t != tMONAD && t != tDYAD && t != tADV) return void(w.st = 2);
  G c = (G)pub(t);
  qput(w, &c, 1);
  if (t == tSYMA) return sname(w, su(ip(x)));
  if (!heap(x)) {
    U u = (U)x;
    return qput(w, &u, 4);
  }
  U n = nx(x);
  G h[9] = {hd(x)->attr};
  UJ n8 = n;
  memcpy(h + 1, &n8, 8);
  qput(w, h, 9);
  if (iscont(t)) {
    if (d >= 256) return void(w.st = 2);
    U m = n ? n : 1;
    for (U i = 0; i < m && !w.st; i++) enc(w, PA(x)[i], d + 1);
    return;
  }
  if (t == tSYM) {
    for (U i = 0; i < n; i++) sname(w, su(PI(x)[i]));
    return;
  }
  UJ b = dbytes(n, t);
  if (t == tBOOL && (n & 7)) {
    qput(w, P(x), b - 1);
    G l = P(x)[b - 1] & (G)((1u << (n & 7)) - 1);
    return qput(w, &l, 1);
  }
  qput(w, P(x), b);
}

struct Rd {
  const G *b;
  UJ n, i;
  bool bad;
};

ZK_INLINE bool need(Rd &r, UJ k) {
  if (r.n - r.i >= k) return true;
  r.bad = true;
  return false;
}
template <class T> ZK_INLINE T get(Rd &r) {
  T v;
  memcpy(&v, r.b + r.i, sizeof v);
  r.i += sizeof v;
  return v;
}

// A name: u32 length and bytes, interned where they lie.
bool rsym(Rd &r, I *s) {
  if (!need(r, 4)) return false;
  U k = get<U>(r);
  if (!need(r, k)) return false;
  *s = usn((const char *)r.b + r.i, k);
  r.i += k;
  return true;
}

V fail(Rd &r) {
  r.bad = true;
  return 0;
}

// The shapes a container must have to be what its type says: a table of
// a symbol vector of names and a list of as many columns of one count; a
// dict of keys and values of one count.
bool shape(V x, int t) {
  if (t == tLIST) return true;
  if (nx(x) != 2) return false;
  V a = PA(x)[0], b = PA(x)[1];
  int ta = tp(a), tb = tp(b);
  if (t == tDICT) return ta >= 1 && ta <= 18 && tb >= 1 && tb <= 18 && _n(a) == _n(b);
  if (ta != tSYM || tb != tLIST || nx(a) != nx(b) || !nx(a)) return false;
  for (U i = 0; i < nx(b); i++) {
    int c = tp(PA(b)[i]);
    if (c < 1 || c > 17 || _n(PA(b)[i]) != _n(PA(b)[0])) return false;
  }
  return true;
}

// The attribute a container read with byte a may keep: a list as atok
// says, a dict sorted only on sorted keys, a table none (its row order is
// not checked here).
G cattr(V x, int t, G a) {
  if (!a) return 0;
  if (t == tLIST) return atok(x, a) ? a : 0;
  if (t == tDICT) return a == 1 && atok(PA(x)[0], 1) ? 1 : 0;
  return 0;
}

V dec(Rd &r, int d) {
  if (d > 256 || r.bad || !need(r, 1)) return fail(r);
  int t = inty(r.b[r.i++]);
  if (!t) return fail(r);
  if (t == tSYMA) {
    I s;
    return rsym(r, &s) ? as(s) : 0;
  }
  if (t == tINTA || t == tCHRA || t == tMONAD || t == tDYAD || t == tADV ||
      (t >= tDATEA && t <= tTSPANA && t != tTSTAMPA && t != tTSPANA)) {
    if (!need(r, 4)) return 0;
    U u = get<U>(r);
    if ((t == tMONAD || t == tDYAD) && u >= 32) return fail(r);
    if (t == tADV && u > 5) return fail(r);
    return t == tCHRA ? ac((char)u) : imm(t, u);
  }
  if (!need(r, 9)) return 0;
  G a = r.b[r.i++];
  UJ n = get<UJ>(r);
  if (n > 0xFFFFFFFFull) return fail(r);
  if (iscont(t)) {
    UJ m = n ? n : 1;
    if (m > r.n - r.i) return fail(r);
    if (t != tLIST && n != 2) return fail(r);
    V x = an((U)m, t);
    for (U i = 0; i < m; i++) {
      V v = dec(r, d + 1);
      if (!v) {
        hd(x)->count = i;
        mr(x);
        return 0;
      }
      PA(x)[i] = v;
    }
    hd(x)->count = (U)n;
    if (!shape(x, t)) return mr(x), fail(r);
    hd(x)->attr = cattr(x, t, a);
    return x;
  }
  if (t == tSYM) {
    if (n > r.n - r.i) return fail(r);
    V x = an((U)n, tSYM);
    for (U i = 0; i < n; i++)
      if (!rsym(r, PI(x) + i)) return mr(x), (V)0;
    if (a && atok(x, a)) hd(x)->attr = a;
    return x;
  }
  // Raw: atoms of one 8-byte item, ranges of two bounds, vectors.
  bool atom = t >= tINTA;
  if ((atom && n != 1) || (t == tRANGE && n != 2)) return fail(r);
  UJ b = dbytes(n, t);
  if (b > r.n - r.i) return fail(r);
  if (t == tRANGE) {
    J s0, s1;
    memcpy(&s0, r.b + r.i, 8);
    memcpy(&s1, r.b + r.i + 8, 8);
    if (s0 >= s1 || (UJ)s1 - (UJ)s0 > 0xFFFFFFFFull) return fail(r);
  }
  V x = an((U)n, t);
  memcpy(P(x), r.b + r.i, b);
  r.i += b;
  if (t == tBOOL && (n & 7)) P(x)[b - 1] &= (G)((1u << (n & 7)) - 1);
  if (!atom && a && atok(x, a)) hd(x)->attr = a;
  return x;
}

}  // namespace

V ser8(V x) {
  Qw w;
  UJ h = qhint(x, false, 0) + 4;
  qw0(w, h < 256 ? 256 : h > qlim ? (U)qlim : (U)h);
  qput(w, "ZKB\1", 4);
  enc(w, x, 0);
  mr(x);
  return qwend(w);
}

V des9(V x) {
  if (tp(x) != tCHR) return et(x);
  U n = nx(x);
  if (n < 4 || memcmp(P(x), "ZKB\1", 4)) return ed(x);
  Rd r{P(x), n, 4, false};
  V v = dec(r, 0);
  if (!v || r.i != r.n) {
    if (v) mr(v);
    return ed(x);
  }
  mr(x);
  return v;
}

}  // namespace zk
