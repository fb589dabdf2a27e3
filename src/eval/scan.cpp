// scan.cpp: the scan adverb and the sequences behind do and while.  s1_
// scans without a seed, s2 with one, cs keeps every step of a converging
// function, ls2 gives the do (n f\y) and while (c f\y) sequences, ws the
// while sequence itself, nS and wS the do and while recurrences over k
// start values (n f\[a;b] builds on the last k values), eqs the quotient
// steps of encode.  See adverb.h for ownership.
//
// Sequences grow as they are computed: nothing is reserved from a count
// the caller gives, so a huge n costs only what is actually produced, and
// an n whose n+1 values could not fit one vector fails with 'limit first.
#include "core/err.h"
#include "core/sym.h"
#include "eval/adverb.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"

namespace zk {

namespace {

ZK_INLINE I opn(V f) { return tp(f) == tDYAD ? ip(f) : -1; }
ZK_INLINE bool numv(int t) { return t >= tRANGE && t <= tFLT; }

// y, f y, f f y, ...: n+1 values (just y for n <= 0); consumes y.
V dos(V f, J n, V y) {
  if (n > NSEQ) return mr(y), ez0();
  V r = psh(aA0(1), _r(y));
  for (J i = 0; r && i < n; i++) {
    if (!(y = _1(f, y))) return mr(r), (V)0;
    r = psh(r, _r(y));
  }
  mr(y);
  return r;
}

// One quotient step of encode: v by the base b (both borrowed):
// (-b)!v for b > 0, the negation of b!v otherwise.
V qst(V b, V v) {
  J k = gl_(b);
  if (k > 0) {
    V nb = az(-k);
    V q = mod(nb, _r(v));
    mr(nb);
    return q;
  }
  V q = mod(b, _r(v));
  return q ? neg(q) : 0;
}

}  // namespace

// ---- running fold ----

V s1_(V f, V x) {
  if (tp(x) >= tINTA) return x;
  I op = opn(f);
  if (op >= 0 && op <= 10 && tp(x) == tCHR) {
    if (op == 6 || op == 7) {
      if (!nx(x)) return x;
      V u = ucb(x);
      V r = u ? s1_(f, u) : 0;
      return r ? cub(r) : 0;
    }
    if (op == 8 || op == 9) {
      if (!(x = ucb(x))) return 0;
    } else if (op != 0 && op != 5 && !(x = ct(tBYTE, x))) return 0;
  }
  J n = _n(x);
  if (!n) return x;
  int t = tp(x);
  if (t == tDICT) {
    V v = kv(&x);
    V r = s1_(f, v);
    return r ? am(x, r) : (mr(x), (V)0);
  }
  if (op == 12) {
    V r = s2(f, emp(), x);
    mr(x);
    return r;
  }
  if (op >= 0 && op <= 10 && (numv(t) || (t == tCHR && op != 8 && op != 9))) {
    V r = ars(f, 0, x);
    mr(x);
    return r;
  }
  V a = ii(x, 0), r = enl(_r(a));
  for (J i = 1; i < n; i++) {
    V v = _2(f, a, ii(x, i));
    mr(a);
    if (!v) return mr(r), mr(x), (V)0;
    a = v;
    if (!(r = psh(r, _r(a)))) return mr(a), mr(x), (V)0;
  }
  mr(a);
  mr(x);
  return r;
}

V s2(V f, V x, V y) {
  int yt = tp(y);
  if (yt >= tINTA) {
    V r = _2(f, x, _r(y));
    mr(x);
    return r;
  }
  if (yt == tDICT) {
    V r = s2(f, x, PA(y)[1]);
    return r ? am(_r(PA(y)[0]), r) : 0;
  }
  J n = _n(y);
  if (!n) return mr(x), _r(y);
  I op = opn(f);
  bool own = false;
  if (op >= 0 && op <= 10) {
    V r;
    if (srt(true, f, &x, &y, &own, &r)) return r;
  }
  V r = aA0((U)n), a = x;
  for (J i = 0; i < n; i++) {
    V v = _2(f, a, ii(y, i));
    mr(a);
    if (!v) {
      mr(r);
      if (own) mr(y);
      return 0;
    }
    a = v;
    if (!(r = psh(r, _r(a)))) {
      mr(a);
      if (own) mr(y);
      return 0;
    }
  }
  mr(a);
  if (own) mr(y);
  return r;
}

// ---- converge scan ----

V cs(V f, V x) {
  V r = enl(_r(x)), x0 = _r(x), c = x;
  for (;;) {
    V nx_ = _1(f, _r(c));
    if (!nx_) return mr(r), mr(c), mr(x0), (V)0;
    if (mtc_(nx_, c) || mtc_(nx_, x0)) {
      mr(nx_);
      break;
    }
    mr(c);
    c = nx_;
    if (!(r = psh(r, _r(c)))) return mr(c), mr(x0), (V)0;
  }
  mr(c);
  mr(x0);
  return r;
}

// ---- do and while sequences ----

V ls2(V f, V x, V y) {
  int t = tp(x);
  if (t == tINTA || t == tLONGA) return dos(f, gl(x), _r(y));
  if (t < tLAMBDA || t > tNATIVE) return et(x);
  V r = ws(f, x, _r(y));
  mr(x);
  return r;
}

V ws(V f, V c, V y) {
  V r = enl(_r(y));
  for (;;) {
    V k = _1(c, _r(y));
    if (!k) return mr(r), mr(y), (V)0;
    if (!tru(k)) break;
    if (!(y = _1(f, y))) return mr(r), (V)0;
    if (!(r = psh(r, _r(y)))) return mr(y), (V)0;
  }
  mr(y);
  return r;
}

V nS(V f, J n, V *a, U k) {
  if (k == 1) return dos(f, n, a[0]);
  if (n < 0) return ed8(a, k);
  if (n > NSEQ) return ez8(a, k);
  if (n < (J)k) {
    // The start values already hold the n+1 values asked for.
    mrn(k - (U)n - 1, a + n + 1);
    V l = an((U)n + 1, tLIST);
    memcpy(PA(l), a, (UJ)(n + 1) * 8);
    return sqz(l);
  }
  V l = an(k, tLIST);
  memcpy(PA(l), a, (UJ)k * 8);
  V b[8];
  for (J i = 0; i + k <= n; i++) {
    for (U j = 0; j < k; j++) b[j] = _r(PA(l)[i + j]);
    V v = _8(f, b, k);
    if (!v) return mr(l), (V)0;
    U c = nx(l);
    l = aa(c + 1, l);
    PA(l)[c] = v;
  }
  return sqz(l);
}

V wS(V f, V c, V *a, U k) {
  if (k == 1) return ws(f, c, a[0]);
  V l = an(k, tLIST), w[8], b[8];
  for (U j = 0; j < k; j++) PA(l)[j] = _r(w[j] = a[j]);
  V r = sqz(l);
  for (;;) {
    V t = _1(c, las(_r(r)));
    if (!t) break;
    if (!tru(t)) {
      mrn(k, w);
      return r;
    }
    for (U j = 0; j < k; j++) b[j] = _r(w[j]);
    V v = _8(f, b, k);
    if (!v) break;
    mr(w[0]);
    memmove(w, w + 1, (UJ)(k - 1) * 8);
    w[k - 1] = _r(v);
    if (!(r = psh(r, v))) return mrn(k, w), (V)0;
  }
  mr(r);
  mrn(k, w);
  return 0;
}

// ---- quotient steps of encode ----

V eqs(V x, V y) {
  int t = tp(x);
  V r = enl(_r(y));
  if (t >= tRANGE && t <= tLONG) {
    for (J i = _n(x) - 1; i >= 1; i--) {
      V b = ii(x, i), q = qst(b, y);
      mr(b);
      mr(y);
      if (!q) return mr(r), (V)0;
      y = q;
      if (!(r = psh(r, _r(y)))) return mr(y), (V)0;
    }
    mr(y);
    return sqz(r);
  }
  V y0 = _r(y);
  for (;;) {
    V q = qst(x, y);
    if (!q) return mr(r), mr(y), mr(y0), (V)0;
    if (mtc_(q, y) || mtc_(q, y0)) {
      mr(q);
      break;
    }
    mr(y);
    y = q;
    if (!(r = psh(r, _r(y)))) return mr(y), mr(y0), (V)0;
  }
  mr(y);
  mr(y0);
  return sqz(r);
}

}  // namespace zk
