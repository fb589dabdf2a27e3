// over.cpp: the derived-verb dispatch and the over adverb.  w1/w2/w8
// apply a derived verb to one, two and n arguments; f1 folds without a
// seed, f2 with one, cf converges, lf2 repeats (do) or iterates while a
// condition holds, f8 folds in lock step over several lists, raz razes.
// See adverb.h for ownership (the adverb entries consume x and borrow y).
//
// Primitive folds over typed vectors never loop over applications: the
// routing here converts chars once (signed bytes for arithmetic, unsigned
// codes for the orderings) and hands the whole vector to the over kernels
// (arf).  Char and temporal extremes and the duration sums are computed
// here in one pass because no kernel knows those types.
#include "eval/adverb.h"

#include <cstring>

#include "core/err.h"
#include "core/simd.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"

namespace zk {

namespace {

ZK_INLINE bool fnt(int t) { return t >= tLAMBDA && t <= tNATIVE; }
ZK_INLINE I opn(V f) { return tp(f) == tDYAD ? ip(f) : -1; }
ZK_INLINE bool numv(int t) { return t >= tRANGE && t <= tFLT; }
ZK_INLINE bool katom(int t) { return t == tINTA || t == tLONGA || t == tFLTA || t == tCHRA; }

// Operand of f/ and f\ taking two or more arguments: those fold; the rest
// repeat (do, while, converge).
bool dyo(V f) {
  int t = tp(f);
  switch (t) {
    case tLIST: {
      I r = _K(f);
      return r != 0 && r != 1;
    }
    case tLAMBDA: case tPROJ: case tCOMP: case tDERIV: return hd(f)->valence >= 2;
    case tDYAD: return true;
    case tNATIVE: return _K(f) >= 2;
    default: return false;
  }
}

// Operand of ': taking one argument: with a left argument it cuts windows.
bool mono(V f) {
  int t = tp(f);
  switch (t) {
    case tLIST: return _K(f) == 1;
    case tLAMBDA: case tPROJ: case tCOMP: case tDERIV: return hd(f)->valence == 1;
    case tMONAD: case tADV: return true;
    case tNATIVE: return _K(f) == 1;
    default: return false;
  }
}

// The atom of temporal vector type t holding v.
V tatom(int t, J v) {
  if (Tw[t] == 6) {
    V r = an(1, t + 22);
    PL(r)[0] = v;
    return r;
  }
  return imm(t + 22, (U)v);
}

// &/ and |/ of a char vector: the unsigned extreme of the bytes, 16 at a
// time; empty gives 0xFF for & and 0x00 for |.  Consumes x.
V chx(bool mx, V x) {
  const G *p = P(x);
  U n = nx(x), i = 0;
  u8x16 a = vdup<u8x16>(mx ? 0 : 0xFF);
  for (; i + 16 <= n; i += 16) {
    u8x16 v = vld<u8x16>(p + i);
    a = mx ? vmax(v, a) : vmin(v, a);
  }
  G m = mx ? 0 : 0xFF;
  for (int k = 0; k < 16; k++) m = mx ? (a[k] > m ? a[k] : m) : (a[k] < m ? a[k] : m);
  for (; i < n; i++) m = mx ? (p[i] > m ? p[i] : m) : (p[i] < m ? p[i] : m);
  mr(x);
  return ac((char)m);
}

// +/ of a non-empty time, minute, second or timespan vector.  Consumes x.
V dsum(V x) {
  int t = tp(x);
  U n = nx(x);
  if (t == tTSPAN) {
    const J *p = PL(x);
    UJ s = 0;
    bool nul = false;
    for (U i = 0; i < n; i++) nul |= p[i] == NJ, s += (UJ)p[i];
    mr(x);
    return tatom(t, nul ? NJ : (J)s);
  }
  const I *p = PI(x);
  J s = 0;
  bool nul = false;
  for (U i = 0; i < n; i++) nul |= p[i] == NI, s += p[i];
  mr(x);
  if (nul) return tatom(t, NI);
  if (s != (J)(I)s) return ez0();
  return tatom(t, s);
}

V kc_each = 0, kc_fill = 0, kc_dec = 0, kc_enc0 = 0, kc_encv = 0, kc_enca = 0;

// A cached lambda applied to g (borrowed) and y (consumed; 0 passes a
// failure through).
V k2g(V *slot, const char *text, V g, V y) { return y ? k2(slot, text, g, y) : 0; }

// ---- application of a derived verb to one argument, by adverb ----

V over1(V g, V x) {
  int gt = tp(g);
  if (gt == tCHR) return jC(PC(g), nx(g), x);
  if (gt == tCHRA) return jc((char)ip(g), x);
  if (numv(gt) || gt == tINTA || gt == tLONGA || gt == tFLTA) {
    if (!_n(x)) return k1(&kc_fill, "0^*:", x);
    return k2(&kc_dec, "0{z+x*y}/", g, x);
  }
  I k = _K(g);
  if (k < -1) return mr(x), (V)0;  // a list nested too deep
  return k >= 2 ? f1(g, x) : cf(g, x);
}

V scan1(V g, V x) {
  int gt = tp(g);
  if (gt == tCHR || gt == tCHRA) {
    if (tp(x) != tCHR) return et(x);
    if (gt == tCHR && !nx(g)) return el(x);
    return gt == tCHR ? scn(PC(g), nx(g), x, false) : sc((char)ip(g), x);
  }
  if (gt >= tRANGE && gt <= tLONG) {
    if (!_n(g)) return k2(&kc_enc0, "{$[2>`c`C?@y;`err\"type\";0#(,10)\\y]}", g, x);
    return k2g(&kc_encv, "{(x|-x)!'|y}", g, eqs(g, x));
  }
  if (gt == tINTA || gt == tLONGA) return k2g(&kc_enca, "{$[&/~*x:(x|-x)!|y;1_x;@[x;0;-:0<]]}", g, eqs(g, x));
  if (gt == tFLT || gt == tFLTA) return en(x);
  I k = _K(g);
  if (k < -1) return mr(x), (V)0;
  return k >= 2 ? s1_(g, x) : cs(g, x);
}

V prior1(V g, V x) {
  int gt = tp(g), xt = tp(x);
  V r;
  if (gt == tINTA || gt == tLONGA) r = stn(GNULL, gl_(g), x);
  else if ((opn(g) == 6 || opn(g) == 7) && xt <= tTABLE && _n(x) > 0) r = p2(g, ii(x, 0), x);
  else {
    V s = ie(g, x);
    r = s ? p2(g, s, x) : 0;
  }
  mr(x);
  return r;
}

}  // namespace

V w1(V d, V x) {
  V g = PA(d)[0];
  switch (hd(d)->adverb) {
    case 0:
      // Data used with each is searched: x' y is x bin y.
      if (tp(g) < tINTA) return bin(g, x);
      return e1(g, x);
    case 1: return over1(g, x);
    case 2: return scan1(g, x);
    case 3: return prior1(g, x);
    case 4: return er(x);
    default: return e1(g, x);
  }
}

V w2(U code, V f, V x, V y) {
  // the valence of a list operand is its depth, which may fail
  if (code - 1u < 3u && tp(f) == tLIST && _K(f) < -1) return mr(x), (V)0;
  switch (code) {
    case 0: {
      int t = tp(f);
      if (t >= tRANGE && t <= tLONG) return k2(&kc_each, "{(++y)[x]@'!#x}", f, aA2(x, _r(y)));
      V r = e2(f, x, _r(y));
      mr(x);
      return r;
    }
    case 1: return dyo(f) ? f2(f, x, y) : lf2(f, x, y);
    case 2: return dyo(f) ? s2(f, x, y) : ls2(f, x, y);
    case 3: return mono(f) ? ste(f, x, y) : p2(f, x, y);
    case 4: {
      V r = r2(f, x, _r(y));
      mr(x);
      return r;
    }
    case 5: {
      V r = l2(f, x, _r(y));
      mr(x);
      return r;
    }
    default: return en(x);
  }
}

V w8(V d, V *a, U n) {
  V g = PA(d)[0];
  U code = hd(d)->adverb;
  switch (code) {
    case 0: {
      int t = tp(g);
      if (t >= tRANGE && t <= tLONG) {
        V l = an(n, tLIST);
        memcpy(PA(l), a, (UJ)n * 8);
        return k2(&kc_each, "{(++y)[x]@'!#x}", g, l);
      }
      return e8(g, a, n);
    }
    case 1:
    case 2: {
      // Folds in lock step when the arguments are the operand's; one more
      // argument than that is a count or a condition (do and while).
      I k = _K(g);
      if (k < -1) return mrn(n, a), (V)0;  // a list nested too deep
      if (k >= 2 && (J)n - k != 1) {
        if (code == 1) return f8(g, a, n);
        // Scan in lock step: every accumulator is kept.
        J m = cfm(a + 1, n - 1);
        if (m == -2) return el8(a, n);
        if (m == -1) m = 1;
        V r = aA0((U)m), acc = a[0];
        V b[8];
        for (J i = 0; i < m; i++) {
          b[0] = acc;
          for (U j = 1; j < n; j++) b[j] = tp(a[j]) >= tINTA ? _r(a[j]) : ii(a[j], i);
          acc = _8(g, b, n);
          if (!acc) return mr(r), mrn(n - 1, a + 1), (V)0;
          if (!(r = psh(r, _r(acc)))) return mr(acc), mrn(n - 1, a + 1), (V)0;
        }
        mr(acc);
        mrn(n - 1, a + 1);
        return r;
      }
      V c = a[0];
      int ty = tp(c);
      V r;
      if (fnt(ty)) {
        r = wS(g, c, a + 1, n - 1);
        mr(c);
      } else if (ty == tINTA || ty == tLONGA) {
        r = nS(g, gl(c), a + 1, n - 1);
      } else return et8(a, n);
      return r && code == 1 ? las(r) : r;
    }
    case 5: {
      V b[8];
      b[0] = GAP;
      memcpy(b + 1, a + 1, (UJ)(n - 1) * 8);
      V p = prj(g, b, n);
      if (!p) return mr(a[0]), (V)0;
      V r = e1(p, a[0]);
      mr(p);
      return r;
    }
    default: return er8(a, n);
  }
}

// ---- fold without seed ----

V f1(V f, V x) {
  if (tp(x) >= tINTA) return x;
  I op = opn(f);
  if (op >= 0) {
    for (;;) {
      int t = tp(x);
      J n = _n(x);
      if ((op == 6 || op == 7) && t == tCHR) return chx(op == 7, x);
      if ((op == 6 || op == 7) && t >= tDATE && t <= tTSPAN && n) {
        J v = op == 6 ? minfZ(WJ, x) : maxfZ(NJ, x);
        mr(x);
        return tatom(t, v);
      }
      if (op == 1 && (t == tTIME || t == tMINUTE || t == tSECOND || t == tTSPAN) && n) return dsum(x);
      if (t == tCHR && (op == 8 || op == 9)) {
        if (!(x = ucb(x))) return 0;
        continue;
      }
      if (t == tCHR && ((op >= 1 && op <= 3 && n <= 1) || op == 4 || op == 10)) {
        if (!(x = ct(tBYTE, x))) return 0;
        continue;
      }
      if (op <= 10 && (numv(t) || t == tCHR)) {
        V r = arf(f, 0, x);
        mr(x);
        return r;
      }
      if (op == 12) return raz(x);
      break;
    }
  }
  J n = _n(x);
  if (!n) {
    V r = ie(f, x);
    mr(x);
    return r;
  }
  V a = ii(x, 0);
  for (J i = 1; i < n; i++) {
    V r = _2(f, a, ii(x, i));
    mr(a);
    if (!r) return mr(x), (V)0;
    a = r;
  }
  mr(x);
  return a;
}

// ---- converge ----

V cf(V f, V x) {
  V x0 = _r(x), c = x;
  for (;;) {
    V nx_ = _1(f, _r(c));
    if (!nx_) return mr(c), mr(x0), (V)0;
    if (mtc_(nx_, c) || mtc_(nx_, x0)) {
      mr(nx_);
      mr(x0);
      return c;
    }
    mr(c);
    c = nx_;
  }
}

// ---- seeded routing of the primitives with kernels (also for scan) ----

// The conversions make the kernel's answer the one the verb itself gives:
// & | < > compare two chars as unsigned codes, arithmetic and = read chars
// as signed bytes.
int srt(bool scan, V f, V *px, V *py, bool *own, V *r) {
  I op = ip(f);
  V x = *px, y = *py;
  int xt = tp(x), yt = tp(y);
  bool xc = xt == tCHRA || xt == tCHR;
  *own = false;
  if (op == 6 || op == 7) {
    if (yt == tCHR && xc) {
      // Both sides chars: unsigned codes through the fold, chars again after.
      V a = ucb(x), b = ucb(_r(y));
      if (!a || !b) {
        if (a) mr(a);
        if (b) mr(b);
        return *r = 0, 1;
      }
      V s = scan ? s2(f, a, b) : f2(f, a, b);
      mr(b);
      *r = s ? cub(s) : 0;
      return 1;
    }
    if (yt == tCHR && !xc && xt != tDICT && xt != tLIST) {
      if (!(y = ct(tBYTE, _r(y)))) return mr(x), *r = 0, 1;
      *own = true;
    }
  } else if ((op >= 1 && op <= 4) || op == 10) {
    if (yt == tCHR) {
      if (!(y = ct(tBYTE, _r(y)))) return mr(x), *r = 0, 1;
      *own = true;
    }
    if (xt == tCHRA) x = ai(ip(x));
    else if (xt == tCHR && !(x = ct(tBYTE, x))) return *own ? mr(y) : (void)0, *r = 0, 1;
  } else if ((op == 8 || op == 9) && !scan) {
    if (xt == tCHR && !(x = ucb(x))) return *r = 0, 1;
    else if (xt == tCHRA && !_n(y)) x = ai((G)ip(x));
  }
  xt = tp(x), yt = tp(y);
  bool kern = katom(xt) && (numv(yt) || yt == tCHR);
  if ((op == 8 || op == 9) && (xt == tCHRA || yt == tCHR)) kern = false;
  if (!scan && (op == 6 || op == 7) && xt == tCHRA) kern = false;
  if (kern) {
    *r = scan ? ars(f, x, y) : arf(f, x, y);
    if (*own) mr(y);
    return 1;
  }
  *px = x, *py = y;
  return 0;
}

// ---- fold with a seed ----

V f2(V f, V x, V y) {
  if (tp(y) >= tINTA) {
    V r = _2(f, x, _r(y));
    mr(x);
    return r;
  }
  I op = opn(f);
  bool own = false;
  if (op >= 0 && op <= 10) {
    V r;
    if (srt(false, f, &x, &y, &own, &r)) return r;
  } else if (op == 12) {
    V l = enl(x);
    if (l) l = cat10(l, y);
    return l ? raz(l) : 0;
  }
  J n = _n(y);
  int ft = tp(f);
  bool eight = ft == tLAMBDA || ft == tPROJ;
  V a = x;
  for (J i = 0; i < n; i++) {
    V r;
    if (eight) {
      V b[2] = {a, ii(y, i)};
      r = _8(f, b, 2);
    } else {
      r = _2(f, a, ii(y, i));
      mr(a);
    }
    if (!r) {
      if (own) mr(y);
      return 0;
    }
    a = r;
  }
  if (own) mr(y);
  return a;
}

// ---- do and while ----

V lf2(V f, V x, V y) {
  int t = tp(x);
  if (t == tINTA || t == tLONGA) {
    J n = gl(x);
    V c = _r(y);
    for (J i = 0; i < n; i++)
      if (!(c = _1(f, c))) return 0;
    return c;
  }
  if (!fnt(t)) return et(x);
  V c = _r(y);
  for (;;) {
    V k = _1(x, _r(c));
    if (!k) return mr(c), mr(x), (V)0;
    if (!tru(k)) break;
    if (!(c = _1(f, c))) return mr(x), (V)0;
  }
  mr(x);
  return c;
}

// ---- n-adic fold ----

V f8(V f, V *a, U n) {
  J m = cfm(a + 1, n - 1);
  if (m == -2) return a[0] ? el8(a, n) : el8(a + 1, n - 1);
  V acc = a[0];
  J i = 0;
  if (m == -1) {
    if (acc) return _8(f, a, n);
    // No seed and nothing to fold: the one atom there is.
    acc = _r(a[1]);
    mrn(n - 1, a + 1);
    return acc;
  }
  if (!acc) {
    if (!m) {
      V r = ie(f, a[1]);
      mrn(n - 1, a + 1);
      return r;
    }
    acc = ii(a[1], 0);
    i = 1;
  }
  V b[8];
  for (; i < m; i++) {
    b[0] = acc;
    for (U j = 1; j < n; j++) b[j] = tp(a[j]) >= tINTA ? _r(a[j]) : ii(a[j], i);
    if (!(acc = _8(f, b, n))) break;
  }
  mrn(n - 1, a + 1);
  return acc;
}

// ---- raze ----

V raz(V x) {
  int t = tp(x);
  if (t == tDICT) return raz(val(x));
  if (t != tLIST) return x;
  U n = nx(x);
  if (!n) return x;
  V a0 = PA(x)[0];
  int t0 = tp(a0);
  if (n == 1 && t0 <= tTSPAN) {
    V r = _r(a0);
    mr(x);
    return r;
  }
  UJ tot = 0;
  for (U i = 0; i < n; i++) tot += (UJ)_n(PA(x)[i]);
  U cap = tot > 0xFFFFFFFFull ? 0xFFFFFFFFu : (U)tot;
  V r;
  if (t0 == tDICT) r = tp(PA(a0)[0]) == tTABLE ? rs0(_r(a0)) : am(_r(ce[tSYM]), emp());
  else {
    int vt = t0 == tRANGE ? tBYTE : t0 >= tINTA ? TT[t0] : t0;
    if (vt == tLIST || vt == tTABLE || vt == tDICT) r = aA0(cap);
    else {
      r = an(cap, vt);
      hd(r)->count = 0;
    }
  }
  for (U i = 0; i < n; i++)
    if (!(r = cat10(r, PA(x)[i]))) return mr(x), (V)0;
  mr(x);
  return r;
}

}  // namespace zk
