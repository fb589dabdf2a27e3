// fill.cpp: the dyadic ^ (crt): fill, where x supplies values for the
// nulls of y, and except, the items of the list x that do not occur in y.
// Names: fil = fill by the type of y, filI = an integer vector filled from
// a float (cast first), crtL / crtA / crtT = fill position by position of
// vectors, of general lists item by item and of tables column by column,
// exc2 = except.
//
// The shapes pick the meaning: two vectors (or lists, or tables) of one
// count fill position by position, any other list x removes.  Float and
// temporal fills are done here in one pass, in place when y is unshared;
// every other kind goes through the language (amend at where the null
// test holds), so a null is whatever the null test says it is.  Except
// leans on the dyadic ? and keeps two shortcuts of its own: a range minus
// a range stays a range while the result is one run, and items that
// cannot occur in y (numbers against text, text against numbers) are
// never searched for.
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/num.h"

namespace zk {

namespace {

// numbers: ranges, bits, integer and float vectors and atoms; text: chars
ZK_INLINE bool numk(int t) { return (t >= tRANGE && t <= tFLT) || (t >= tINTA && t <= tFLTA); }
ZK_INLINE bool chrk(int t) { return t == tCHR || t == tCHRA; }
ZK_INLINE bool tmpv(int t) { return t >= tDATE && t <= tTSPAN; }
ZK_INLINE bool tmpa(int t) { return t >= tDATEA; }
ZK_INLINE bool typv(int t) { return t >= tRANGE && t <= tSYM; }  // typed vectors 2..10

// Texts of the cached lambdas, one cell each.
V kgen, kcl, kca, kct, kxr, kxf, kxq;

// The float a fill takes from x: a float, an int, or a long with 0N as
// NaN; false for any other x.
bool fval(V x, F *v) {
  int t = tp(x);
  if (t == tFLTA) *v = PF(x)[0];
  else if (t == tINTA) *v = (F)ip(x);
  else if (t == tLONGA) *v = gl_(x) == NJ ? __builtin_nan("") : (F)gl_(x);
  else return false;
  return true;
}

// The NaN items of n floats at s replaced by v into d (d may be s).  Eight
// items a step: a block without NaN is copied (or, in place, left alone).
void nanf(F *d, const F *s, UJ n, F v) {
  UJ i = 0;
  for (; i + 8 <= n; i += 8) {
    bool any = false;
    for (int k = 0; k < 8; k++) any |= s[i + k] != s[i + k];
    if (!any) {
      if (d != s) memcpy(d + i, s + i, 64);
      continue;
    }
    for (int k = 0; k < 8; k++) d[i + k] = s[i + k] != s[i + k] ? v : s[i + k];
  }
  for (; i < n; i++) d[i] = s[i] != s[i] ? v : s[i];
}

// y (a float vector, consumed) with its NaN items replaced by v: in place
// when y is unshared, else written into a new vector in the same pass.
V ffl(V y, F v) {
  U n = nx(y);
  if (sole(hd(y))) {
    hd(y)->attr = 0;
    nanf(PF(y), PF(y), n, v);
    return y;
  }
  V r = an(n, tFLT);
  nanf(PF(r), PF(y), n, v);
  mr(y);
  return r;
}

// Null items of n items at s (null nl) from src (one value when m is 0,
// else item by item) into d.
template <class T> void tfl(T *d, const T *s, UJ n, T nl, const T *src, bool m) {
  for (UJ i = 0; i < n; i++) d[i] = s[i] == nl ? src[m ? i : 0] : s[i];
}

// The generic fill: amend at the null positions.
V gen(V x, V y) { return k2(&kgen, "{@[y;&^y;:;x]}", x, y); }

// Temporal vector y (consumed): nulls from x, a vector of y's type and
// count, or one value of y's type or an integer atom.
V tfil(V x, V y) {
  int tx = tp(x), ty = tp(y);
  bool w = Tw[ty] == 6, vec = tx == ty;
  J v = 0;
  if (vec) {
    if (nx(x) != nx(y)) return el(y);
  } else if (tx == ty + 22 || tx == tINTA || tx == tLONGA) {
    v = gl_(x);
    if (!w && v != (J)(I)v) return et(y);
  } else {
    return gen(x, y);
  }
  U n = nx(y);
  V r = sole(hd(y)) ? (hd(y)->attr = 0, y) : an(n, ty);
  if (w) {
    J one = v;
    tfl(PL(r), PL(y), n, NJ, vec ? PL(x) : &one, vec);
  } else {
    I one = (I)v;
    tfl(PI(r), PI(y), n, NI, vec ? PI(x) : &one, vec);
  }
  if (r != y) mr(y);
  return r;
}

// Long vector y (consumed) filled from an int or long atom: the amend of
// the generic fill gives a long vector too, here in one pass.
V lfil(V x, V y) {
  J v = gl_(x), *s = PL(y);
  U n = nx(y), i = 0;
  while (i < n && s[i] != NJ) i++;
  if (i == n) return y;
  V r = sole(hd(y)) ? (hd(y)->attr = 0, y) : an(n, tLONG);
  tfl(PL(r), s, n, NJ, &v, false);
  if (r != y) mr(y);
  return r;
}

bool nulta(V y) {  // a temporal atom holding its null
  return Tw[tp(y)] == 6 ? gl_(y) == NJ : ip(y) == NI;
}

V crtL(V x, V y) { return k2(&kcl, "{@[y;w;:;x w:&^y]}", x, y); }
V crtA(V x, V y) { return k2(&kca, "{x^'y}", x, y); }
V crtT(V x, V y) { return k2(&kct, "{+(!+x)!(. +x)^'. +y}", x, y); }

// x without the items found in y (step 6 of except); y consumed.
V exf(V x, V y) { return k2(&kxf, "{x@&(#y)=y?x}", x, y); }

// x (a non-empty general list) except the vector y (consumed): items
// that cannot occur in y are hidden behind the empty symbol so that they
// do not disturb the search, and x itself is indexed at what is left.
V exl(V x, V y) {
  int ty = tp(y);
  bool yn = numk(ty), yc = chrk(ty);
  U n = nx(x);
  V c = 0;
  for (U i = 0; i < n && (yn || yc); i++) {
    int t = tp(PA(x)[i]);
    if (!((yn && chrk(t)) || (yc && numk(t)))) continue;
    if (!c) c = mut(_r(x));
    mr(PA(c)[i]);
    PA(c)[i] = as(0);
  }
  if (!c) return exf(x, y);
  V w = k2(&kxq, "{&(#y)=y?x}", c, y);
  mr(c);
  return w ? i1(x, w) : 0;
}

// Except: x a vector or list (types 1..17, borrowed), y consumed.
V exc2(V x, V y) {
  int tx = tp(x), ty = tp(y);
  J n = _n(x);
  if ((!n || typv(tx)) && ((numk(tx) && chrk(ty)) || (tx == tCHR && numk(ty)))) return mr(y), _r(x);
  I ry = rnk(y);
  if (ry < -1) return mr(y), (V)0;
  if (!ry) return (y = enl(y)) ? crt(x, y) : 0;
  I rx = rnk(x);
  if (rx < -1) return mr(y), (V)0;
  if (ry == -1 || rx != ry) return k2(&kxr, "{x@&~(!0),x~\\:y}/", x, y);
  if (tx == tRANGE && ty == tRANGE) {
    J a = PL(x)[0], b = PL(x)[1], c = PL(y)[0], d = PL(y)[1];
    if (a < c && b > d) return exf(x, y);  // y strictly inside: two runs
    mr(y);
    return a < c ? aE(a, b < c ? b : c) : aE(a > d ? a : d, b > d ? b : d);
  }
  if (tx == tLIST && n) return exl(x, y);
  return exf(x, y);
}

}  // namespace

V filI(V x, V y) {
  F v = 0;
  fval(x, &v);
  return (y = cF(y)) ? ffl(y, v) : 0;
}

V fil(V x, V y) {
  int tx = tp(x), ty = tp(y);
  F v;
  if (ty == tLIST || ty == tTABLE || ty == tDICT) return e2f(fil, x, y);
  if (ty == tFLT) return fval(x, &v) ? ffl(y, v) : gen(x, y);
  if (tmpv(ty)) return tfil(x, y);
  if (ty >= tINTA && ty <= tSYMA) {
    V r = (y = enl(y)) ? fil(x, y) : 0;
    if (!r) return 0;
    V a = io(r, 0);
    mr(r);
    return a;
  }
  if (ty >= tLAMBDA && ty <= tNATIVE) return y == GNULL ? _r(x) : y;
  if (tmpa(ty)) {
    if (tx != tINTA && tx != tLONGA && !tmpa(tx)) return et(y);
    if (!nulta(y)) return y;
    mr(y);
    return _r(x);
  }
  if (ty >= tRANGE && ty <= tLONG && tx == tFLTA) return filI(x, y);
  if (ty == tLONG && (tx == tINTA || tx == tLONGA)) return lfil(x, y);
  return gen(x, y);
}

V crt(V x, V y) {
  int tx = tp(x), ty = tp(y);
  if (tx >= tINTA && tx <= tNATIVE) return fil(x, y);
  if (tmpa(tx)) return tmpa(ty) || tmpv(ty) || ty == tLIST ? fil(x, y) : et(y);
  if (tx == tTABLE) return ty == tTABLE ? crtT(x, y) : en(y);
  if (tx == tDICT || tx < tLIST) return en(y);
  J n = _n(x);
  if (n > 0 && _n(y) == n && ty < tINTA) {
    if (tx == tLIST && ty == tLIST) return crtA(x, y);
    if (typv(tx) && typv(ty)) return crtL(x, y);
    if (tmpv(tx) && ty == tx) return fil(x, y);
  }
  return exc2(x, y);
}

}  // namespace zk
