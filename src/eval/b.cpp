// b.cpp: the bytecode compiler: a parse tree (with its source text) to a
// compiled lambda (type 25, layout in vm.h).
//
// cpl_ folds the tree (cf), compiles it with cpl1, and on success packs the
// code, the column map and the local names into the lambda.  cr compiles
// one node, cl the store into an assignment target, cc a constant.  After
// code generation the last read of each local becomes a move (DELLOC), the
// deepest operand stack is computed (mxs) and the size limits are checked.
// Limits: 8 parameters, 14 locals (16 while compiling), 125 constants,
// 2,046 bytes of code, operand stack 255, forward jumps 255 bytes, LOOP
// 65,535 bytes, 8 arguments of an APPLY, 255 items of a list literal.
//
// A statement (no parameters) keeps plain assignments global even after a
// `do` loop has given it a hidden local counter: "top level" is decided by
// the parameter count, not by the presence of locals.
#include "eval/b.h"
#include <algorithm>
#include <initializer_list>
#include <utility>
#include "core/err.h"
#include "core/sym.h"
#include "eval/tables.h"
#include "eval/vm.h"
#include "order/order.h"

namespace zk {

Cs cs;

namespace {

// Writes the offset byte of the branch or jump at p.  Positions are taken
// from cs.nb, which saturates at 2047 once the code is too long (the
// compile then fails with 'limit), so the byte after p may lie past the
// buffer: such a patch is dropped.
void patch(I p, I d) {
  if (p + 1 < (I)sizeof cs.b) cs.b[p + 1] = (G)d;
}

// ---- node shapes ----
ZK_INLINE bool islist(V x) { return heap(x) && hd(x)->type == tLIST; }
ZK_INLINE bool isname(V x) { return heap(x) && hd(x)->type == tSYM && nx(x) > 0; }
ZK_INLINE bool name1(V x) { return isname(x) && nx(x) == 1; }
ZK_INLINE bool isimm(V x, int t) { return !heap(x) && tag(x) == t; }
ZK_INLINE bool ismonad(V x) { return isimm(x, tMONAD); }
ZK_INLINE bool isdyad(V x) { return isimm(x, tDYAD); }
ZK_INLINE U slot(V x) { return (U)x; }
ZK_INLINE bool isnum(V x) { int t = tp(x); return t == tINTA || t == tLONGA || t == tFLTA; }
ZK_INLINE U cnt(V x) { return islist(x) ? nx(x) : 0; }
ZK_INLINE V it(V x, U i) { return PA(x)[i]; }

// A node known at compile time to be a function value: a constant of a
// function type, or a derived-verb node (adverb; operand).
bool fnode(V x) {
  int t = tp(x);
  if (t >= tLAMBDA && t <= tNATIVE) return true;
  return cnt(x) == 2 && isimm(it(x, 0), tADV) && slot(it(x, 0)) < 6;
}
// Operand of an idiom: not elided and not a function.
ZK_INLINE bool opd(V x) { return x != GAP && !fnode(x); }

// One-part name whose text ends in ":" (a Unicode operator used as a
// modified assignment).
bool colname(V x) {
  if (!name1(x)) return false;
  const char *s = su(PI(x)[0]);
  size_t n = strlen(s);
  return n > 1 && s[n - 1] == ':';
}
ZK_INLINE bool asghead(V h) { return ismonad(h) || h == mp2(0) || colname(h); }

}  // namespace

// +/ as a parse node (over; +) or as the folded derived verb.
bool plusover(V h) {
  if (cnt(h) == 2) return it(h, 0) == imm(tADV, 1) && it(h, 1) == mp2(1);
  return heap(h) && hd(h)->type == tDERIV && hd(h)->adverb == 1 && nx(h) >= 1 && it(h, 0) == mp2(1);
}
// #' (count each) as a parse node or as the folded derived verb.
bool counteach(V h) {
  if (cnt(h) == 2) return it(h, 0) == imm(tADV, 0) && it(h, 1) == mp1(14);
  return heap(h) && hd(h)->type == tDERIV && hd(h)->adverb == 0 && nx(h) >= 1 && it(h, 0) == mp1(14);
}
// (c; a; b) with c one of the dyadic primitives whose slots are in set.
bool dyn(V x, std::initializer_list<U> set) {
  if (cnt(x) != 3 || !isdyad(it(x, 0))) return false;
  for (U s : set)
    if (slot(it(x, 0)) == s) return true;
  return false;
}

namespace {

ZK_INLINE I lf(I id) {
  for (I i = 0; i < cs.nl; i++)
    if (cs.l[i] == id) return i;
  return -1;
}

// New local; -1 (and lim) past 16.
I lnew(I id) {
  if (cs.nl >= 16) {
    cs.lim = 1;
    return -1;
  }
  cs.lu[cs.nl] = -1;
  cs.l[cs.nl] = id;
  return cs.nl++;
}

void o16(U v, G c) {
  ob((G)v, c);
  ob((G)(v >> 8), c);
}

// CONST of an int atom.
ZK_INLINE void ci(I v, G c) { cc(ai(v), c); }

// CONSTDYAD with a constant left argument.
void cdy(V k, U s, G c) {
  U i = ck(k);
  ob(oCONSTDYAD, c);
  ob((G)i, c);
  ob((G)s, c);
}

// Compile nodes in the order given, each for its value.
I crs(std::initializer_list<V> xs) {
  for (V x : xs) {
    I r = cr(x, 1);
    if (r != -1) return r;
  }
  return -1;
}

// A call of an n-adic verb-table slot: CONST of the primitive, APPLY n.
I vcall(U s, U n, G c, I want) {
  cc(mp2(s), c);
  ob(oAPPLY, c);
  ob((G)n, c);
  if (!want) ob(oPOP, c);
  return -1;
}

// ---- names ----
I cname(V x, G c, I want) {
  if (nx(x) == 1) {
    I id = PI(x)[0], i = li(id);
    if (i >= 0) ob((G)(oGETLOC + i), c);
    else if (id == 'o') ob(oRECUR, c);
    else goto glb;
    if (!want) ob(oPOP, c);
    return -1;
  }
glb:
  ob(oGETGLB, c);
  o16(gi(x), c);
  if (!want) ob(oPOP, c);  // still read, so an undefined name still fails
  return -1;
}

// ---- assignment: the value is on the stack ----
I cl(V t, V h, G c, I want) {
  bool plain = h == mp2(0);
  G d = plain ? 0 : (G)(slot(h) & 31);
  if (name1(t) && !plain) {
    I i = li(PI(t)[0]);
    if (i >= 0) {
      ob(oMODASN, c);
      o16((U)i, c);
      ob(d, c);
      if (want) ob((G)(oGETLOC + li(PI(t)[0])), c);
      return -1;
    }
  }
  if (name1(t) && plain && cs.np) {
    I i = lf(PI(t)[0]);
    if (i < 0 && (i = lnew(PI(t)[0])) < 0) return col(t);
    ob((G)(oSETLOC + i), c);
    if (want) ob((G)(oGETLOC + li(PI(t)[0])), c);
    return -1;
  }
  if (isname(t)) {  // a global: top-level plain, dotted, or not a local
    U s = gi(t);
    if (d) {
      ob(oMODASNG, c);
      o16(s, c);
      ob(d, c);
    } else {
      ob(oSETGLB, c);
      o16(s, c);
    }
    if (want) {
      ob(oGETGLB, c);
      o16(s, c);
    }
    return -1;
  }
  U n = cnt(t);
  if (n >= 2 && it(t, 0) == MKL) {  // (a;b;...):value
    U k = n - 1;
    if (want && !plain) return col(t);
    if (k > 255) {
      cs.lim = 1;
      return col(t);
    }
    ob(oUNLIST, c);
    ob((G)k, c);
    for (U j = 1; j <= k; j++) {
      I r = cl(it(t, j), h, c, 0);
      if (r != -1) return r;
    }
    if (!want) ob(oPOP, c);
    return -1;
  }
  if (n >= 2 && isname(it(t, 0))) {  // x[i;...]:value
    U k = n - 1;
    if (k > 8) {
      cs.lim = 1;
      return col(t);
    }
    for (U j = k; j >= 1; j--) {
      I r = cr(it(t, j), 1);
      if (r != -1) return r;
    }
    ob(oLIST, c);
    ob((G)k, c);
    V nm = it(t, 0);
    I i = name1(nm) ? li(PI(nm)[0]) : -1;
    if (i >= 0) {
      ob(want ? oIDXGET : oIDXASN, c);
      o16((U)i, c);
    } else {
      ob(want ? oIDXGETG : oIDXASNG, c);
      o16(gi(nm), c);
    }
    ob(d, c);
    return -1;
  }
  return heap(t) && hd(t)->column ? hd(t)->column : c;
}

// x:v, x op:v, x::v, and the Unicode-operator form x f: v.
I casn(V x, G c, I want) {
  V h = it(x, 0), t = it(x, 1);
  I r = cr(it(x, 2), 1);
  if (r != -1) return r;
  if (!colname(h)) return cl(t, h, c, want);
  if ((r = cr(t, 1)) != -1) return r;
  const char *s = su(PI(h)[0]);
  I id = usn(s, strlen(s) - 1);
  V f = aV(tSYM, 1, &id);
  hd(f)->column = col(h);
  r = cname(f, col(h), 1);
  mr(f);
  if (r != -1) return r;
  ob(oAPPLY, c);
  ob(2, c);
  return cl(t, GNULL, c, want);
}

// ---- blocks, conditionals, loops ----
I cblock(V x, I want) {
  U n = nx(x);
  if (n == 1) {
    if (want) cc(GNULL, col(x));
    return -1;
  }
  for (U i = 1; i < n; i++) {
    I r = cr(it(x, i), want && i == n - 1);
    if (r != -1) return r;
  }
  return -1;
}

I ccond(V x, G c, I want) {
  U k = nx(x) - 1, pairs = k / 2;
  I br[128], jp[128];
  if (pairs > 128) {  // cannot fit: every pair costs at least 6 bytes
    cs.lim = 1;
    return c;
  }
  for (U j = 1; j <= 2 * pairs; j++) {
    I r = cr(it(x, j), 1);
    if (r != -1) return r;
    (j & 1 ? br : jp)[(j - 1) / 2] = cs.nb;
    ob(j & 1 ? oBRANCH : oJUMP, c);
    ob(0, c);
  }
  if (k & 1) {
    I r = cr(it(x, k), 1);
    if (r != -1) return r;
  } else
    cc(GNULL, c);
  I e = cs.nb;
  for (U i = 0; i < pairs; i++) {
    I d = jp[i] + 2 - (br[i] + 2);
    if (d > 255) {
      cs.lim = 1;
      return c;
    }
    patch(br[i], d);
  }
  for (U i = 0; i < pairs; i++) {
    I from = jp[i] + 2, d = e - from;
    if (d > 255) {  // chain through the farthest later JUMP within reach
      d = -1;
      for (U q = pairs; q-- > i + 1;)
        if (jp[q] - from <= 255) {
          d = jp[q] - from;
          break;
        }
      if (d < 0) {
        cs.lim = 1;
        return c;
      }
    }
    patch(jp[i], d);
  }
  if (!want) ob(oPOP, c);
  return -1;
}

I cloop(V x, G c, I want) {
  bool isdo = slot(it(x, 0)) == 30;
  U n = nx(x);
  I d = -1, start, r = -1;
  if (isdo) {
    I id = 0x01 | 'd' << 8 | ('0' + cs.cdo) << 16;
    d = lf(id);
    if (d < 0 && (d = lnew(id)) < 0) return c;
    if ((r = cr(it(x, 1), 1)) != -1) return r;
    ob((G)(oSETLOC + d), c);
    start = cs.nb;
    ob((G)(oGETLOC + d), c);
    cdy(ai(0), 8, c);  // 0<d
  } else {
    start = cs.nb;
    if ((r = cr(it(x, 1), 1)) != -1) return r;
  }
  I bp = cs.nb;
  ob(oBRANCH, c);
  ob(0, c);
  if (isdo) cs.cdo++;
  for (U i = 2; i < n; i++)
    if ((r = cr(it(x, i), 0)) != -1) break;
  if (isdo) cs.cdo--;
  if (r != -1) return r;
  if (isdo) {
    ob((G)(oGETLOC + d), c);
    cdy(ai(-1), 1, c);  // -1+d
    ob((G)(oSETLOC + d), c);
  }
  ob(oLOOP, c);
  I back = cs.nb + 2 - start;
  if (back > 65535) {
    cs.lim = 1;
    return c;
  }
  o16((U)back, c);
  I fwd = cs.nb - (bp + 2);
  if (fwd > 255) {
    cs.lim = 1;
    return c;
  }
  patch(bp, fwd);
  // A value read inside the loop is read again on the next pass.
  for (I i = 0; i < 16; i++)
    if (cs.lu[i] >= start) cs.lu[i] = -1;
  if (d >= 0) cs.lu[d] = -1;
  if (want) cc(GNULL, c);
  return -1;
}

// ---- idioms ----
// x@y forms (rule 8); -2 when none applies.
I cat_idiom(V x, G c, I want) {
  V a = it(x, 1), y = it(x, 2);
  V f = it(y, 0), z = it(y, 1);
  I r;
  if (f == mp1(6)) {
    if (dyn(z, {8, 9, 10}) && opd(a) && opd(it(z, 1)) && opd(it(z, 2))) {  // x@&p c q
      if ((r = crs({it(z, 2), it(z, 1), a})) != -1) return r;
      ci(100 + (I)slot(it(z, 0)), c);
      return vcall(28, 4, c, want);
    }
    if (opd(a) && opd(z)) {  // x@&y: compress
      if ((r = crs({z, a})) != -1) return r;
      ob(oDYAD + 27, c);
      if (!want) ob(oPOP, c);
      return -1;
    }
  }
  if ((f == mp1(8) || f == mp1(9)) && isname(a) && isname(z) && mtc_(a, z)) {  // x@<x, x@>x
    if ((r = cr(a, 1)) != -1) return r;
    ob(f == mp1(8) ? 27 : 28, c);
    if (!want) ob(oPOP, c);
    return -1;
  }
  return -2;
}

// x+s*v, x-s*v, x+v*s, x-v*s (rule 9, idiom 3); -2 when not.
I fma_idiom(V x, G c, I want) {
  V h = it(x, 0), a = it(x, 1), y = it(x, 2);
  if (!(h == mp2(1) || h == mp2(2)) || !dyn(y, {3})) return -2;
  V s = it(y, 1), v = it(y, 2);
  if (!isnum(s)) std::swap(s, v);
  if (!isnum(s) || isnum(v) || !opd(a) || !opd(v)) return -2;
  I r = crs({v, s, a});
  if (r != -1) return r;
  ci(h == mp2(1) ? 0 : 1, c);
  return vcall(28, 4, c, want);
}

// Two-item forms (rule 11, idioms 4..9); -2 when none applies.
I mono_idiom(V x, G c, I want) {
  V h = it(x, 0), y = it(x, 1);
  I r;
  if (h == mp1(3) && cnt(y) == 2) {  // *|y *<y *>y
    V g = it(y, 0);
    G op = g == mp1(7) ? 23 : g == mp1(8) ? 24 : g == mp1(9) ? 25 : 0;
    if (op) {
      if ((r = cr(it(y, 1), 1)) != -1) return r;
      ob(op, c);
      if (!want) ob(oPOP, c);
      return -1;
    }
  }
  if (plusover(h)) {
    if (dyn(y, {3, 10, 8, 9}) && opd(it(y, 1)) && opd(it(y, 2))) {  // +/a*b, a=b, a<b, a>b
      if ((r = crs({it(y, 2), it(y, 1)})) != -1) return r;
      ci((I)slot(it(y, 0)), c);
      return vcall(27, 3, c, want);
    }
    if (cnt(y) == 3 && it(y, 0) == mp2(18) && cnt(it(y, 2)) == 2 && it(it(y, 2), 0) == mp1(6)) {
      V e = it(y, 1), msk = it(it(y, 2), 1);
      if (dyn(e, {1, 2}) && dyn(it(e, 2), {3})) {  // +/(r+s*v)@&m
        V rr = it(e, 1), s = it(it(e, 2), 1), v = it(it(e, 2), 2);
        if (isnum(s) && !isnum(v) && opd(rr) && opd(v) && opd(msk)) {
          if ((r = crs({msk, v, s, rr})) != -1) return r;
          ci(it(e, 0) == mp2(1) ? 0 : 1, c);
          return vcall(29, 5, c, want);
        }
      }
      if (opd(e) && opd(msk)) {  // +/x@&m
        if ((r = crs({msk, e})) != -1) return r;
        ci(18, c);
        return vcall(27, 3, c, want);
      }
    }
  }
  if (counteach(h) && cnt(y) == 2 && it(y, 0) == mp1(10) && opd(it(y, 1))) {  // #'=y
    cc(GNULL, c);
    if ((r = cr(it(y, 1), 1)) != -1) return r;
    ci(19, c);
    return vcall(27, 3, c, want);
  }
  if (h == mp1(15) && dyn(y, {4}) && opd(it(y, 1)) && opd(it(y, 2))) {  // _a%b
    if ((r = crs({it(y, 2), it(y, 1)})) != -1) return r;
    ci(40, c);
    return vcall(27, 3, c, want);
  }
  if (h == mp1(6) && dyn(y, {8, 9, 10}) && opd(it(y, 1)) && opd(it(y, 2))) {  // &a c b
    if ((r = crs({it(y, 2), it(y, 1)})) != -1) return r;
    ci(100 + (I)slot(it(y, 0)), c);
    return vcall(27, 3, c, want);
  }
  return -2;
}

// ---- ordinary application (f; a1; ...; an) ----
I capp(V x, G c, I want) {
  U n = nx(x), m = n - 1;
  V h = it(x, 0);
  bool gap = false;
  for (U i = 1; i < n; i++) gap |= it(x, i) == GAP;
  if (m > (gap || h == MKL ? 255u : 8u)) {
    cs.lim = 1;
    return c;
  }
  for (U i = m; i >= 1; i--) {
    if (it(x, i) == GAP) {
      cc(GAP, c);
      continue;
    }
    I r = cr(it(x, i), 1);
    if (r != -1) return r;
  }
  I r;
  if (gap) {
    if ((r = cr(h, 1)) != -1) return r;
    ob(oPROJECT, c);
    ob((G)m, c);
  } else if (h == MKL) {
    ob(oLIST, c);
    ob((G)m, c);
  } else if (m == 1 && ismonad(h) && slot(h) < 31) {
    ob((G)slot(h), c);  // slot 0 (:x) is END: return x at once
  } else if (m == 2 && isdyad(h) && slot(h) < 32) {
    V a = it(x, 1);
    if (isname(a) || islist(a) || cs.b[cs.nb - 1] < oCONST || cs.nb >= 2047) {
      ob((G)(oDYAD + slot(h)), c);
    } else {  // the left argument is the CONST just emitted
      G kb = cs.b[--cs.nb];
      ob(oCONSTDYAD, c);
      ob((G)(kb - oCONST), c);
      ob((G)slot(h), c);
    }
  } else {
    if ((r = cr(h, 1)) != -1) return r;
    ob(oAPPLY, c);
    ob((G)m, c);
  }
  if (!want) ob(oPOP, c);
  return -1;
}

// ---- stack depth ----
I vis[2048];  // deepest entry depth already walked from each position

I mxs(I p, I d) {
  I mx = d;
  while (p < 2047) {
    G op = cs.b[p];
    if (op == oEND || vis[p] >= d) break;
    vis[p] = d;
    int o = orow(op);
    I nd = d + ds[o] + ks[o] * cs.b[p + 1];
    if (op == oBRANCH) mx = std::max(mx, mxs(p + 2 + cs.b[p + 1], nd));
    d = nd;
    mx = std::max(mx, d);
    p += 1 + di[o];
    if (op == oJUMP) p += cs.b[p - 1];
  }
  return mx;
}

// ---- driver ----
I cpl1(V tree, bool alast, U np, const I *pids) {
  for (I &x : cs.lu) x = -1;
  cs.nb = 1;
  for (U i = 0; i < np; i++) cs.l[i] = pids[i];
  cs.nl = (I)np;
  cs.np = (I)np;
  cs.cdo = 0;
  cs.fzu = 0;
  I r = cr(tree, !alast);
  if (r != -1) return r;
  if (gfull) return -3;
  if (alast) cc(GNULL, 0);
  if (nx(cs.u) > 255 || cs.nb > 2046 || cs.nl > 14) return -2;
  ob(oEND, 0);
  if (cs.nb - 1 >= 2046 || nx(cs.u) > 129) return -2;
  for (I i = 0; i < cs.nl; i++) {
    I p = cs.lu[i];
    if (p >= 1 && cs.b[p] == oGETLOC + i) cs.b[p] = (G)(oDELLOC + i);
  }
  for (I &x : vis) x = -1;
  I mx = mxs(1, 0);
  if (mx >= 256) return -2;
  cs.b[0] = (G)mx;
  cs.m[0] = 255;
  return -1;
}

V mku(V text) {
  V u = an(4, tLIST);
  PA(u)[0] = _r(text);
  PA(u)[1] = PA(u)[2] = PA(u)[3] = GNULL;
  return u;
}

}  // namespace

// ---- shared routines ----
void ob(G x, G c) {
  cs.b[cs.nb] = x;
  cs.m[cs.nb] = c;
  if (cs.nb < 2047) cs.nb++;
}

G col(V x) {
  if (heap(x)) return hd(x)->column;
  if (tag(x) == tSYMA) return (G)(x >> 32);
  return 0;
}

I li(I id) {
  I i = lf(id);
  if (i >= 0) cs.lu[i] = cs.nb;
  return i;
}

bool cid(V a, V b) {
  if (a == b) return true;
  if (heap(a) != heap(b)) return false;
  if (!heap(a)) return false;  // immediates are identical only as equal words
  int t = hd(a)->type;
  if (t != hd(b)->type) return false;
  if (t == tFLT || t == tFLTA)
    return nx(a) == nx(b) && !memcmp(P(a), P(b), dbytes(nx(a), t));
  if (t == tLIST || t == tDICT || t == tTABLE) {
    if (nx(a) != nx(b)) return false;
    for (U i = 0; i < nx(a); i++)
      if (!cid(PA(a)[i], PA(b)[i])) return false;
    return true;
  }
  return mtc_(a, b);
}

U ck(V k) {
  V u = cs.u;
  U n = nx(u);
  for (U j = 4; j < n; j++)
    if (cid(PA(u)[j], k)) return j - 4;
  if (n >= 256) {  // far past the limit already: stop growing
    cs.lim = 1;
    return 125;
  }
  u = aa(n + 1, u);
  PA(u)[n] = _r(k);
  cs.u = u;
  return n - 4;
}

U cc(V k, G c) {
  U i = ck(k);
  ob(i < 125 ? (G)(oCONST + i) : 255, c);
  return (U)cs.nb - 1;
}

I cr(V x, I want) {
  G c = col(x);
  if (!islist(x)) {
    if (isname(x)) return cname(x, c, want);
    if (want) cc(x == GAP ? GNULL : tag(x) == tSYMA && !heap(x) ? as(ip(x)) : x, c);
    return -1;
  }
  U n = nx(x);
  if (!n) {
    if (want) cc(x, c);
    return -1;
  }
  V h = it(x, 0);
  if (h == GAP) return cblock(x, want);
  if (isimm(h, tADV) && (slot(h) == 30 || slot(h) == 31) && n >= 2) return cloop(x, c, want);
  if (n == 1) {
    if (want) cc(h, c);
    return -1;
  }
  I r;
  if (n == 3 && asghead(h)) {
    V t = it(x, 1);
    if (isname(t) || islist(t) || isimm(t, tSYMA)) return casn(x, c, want);
    if (!colname(h)) return c;  // assignment to a constant
  }
  if (n == 3 && h == mp2(18) && cnt(it(x, 2)) == 2 && (r = cat_idiom(x, c, want)) != -2) return r;
  if (n == 3 && isdyad(h)) {
    if ((r = shp(x, c, want)) != -2) return r;
    if ((r = fma_idiom(x, c, want)) != -2) return r;
  }
  if (n > 3 && (h == mp2(0) || h == mp2(16))) return ccond(x, c, want);
  if (n == 2) {
    if ((r = shp(x, c, want)) != -2) return r;
    if ((r = mono_idiom(x, c, want)) != -2) return r;
  }
  if (!cs.fzno && want && (r = fzc(x, c)) != -2) return r;
  return capp(x, c, want);
}

V cpl_(V text, V tree, V params) {
  I pids[8];
  U np = 0;
  if (params) {
    np = nx(params) < 8 ? nx(params) : 8;
    for (U i = 0; i < np; i++) pids[i] = PI(params)[i];
    mr(params);
  }
  tree = cf(tree);
  if (!tree) {
    mr(text);
    return 0;
  }
  V s = tree;
  while (islist(s) && nx(s) > 1 && it(s, 0) == GAP) s = it(s, nx(s) - 1);
  bool alast = cnt(s) == 3 && asghead(it(s, 0)) && (isname(it(s, 1)) || islist(it(s, 1)));
  cs.fzno = fzoff;
  cs.lim = 0;
  cs.u = mku(text);
  I r = cpl1(tree, alast, np, pids);
  if (r != -1 && cs.fzu && (r == -2 || cs.lim)) {
    cs.lim = 0;
    cs.fzno = 1;
    mr(cs.u);
    cs.u = mku(text);
    r = cpl1(tree, alast, np, pids);
    cs.fzno = fzoff;
  }
  V u = cs.u;
  cs.u = 0;
  if (r == -1) {
    V *a = PA(u);
    a[1] = aCn((const char *)cs.b, (U)cs.nb);
    a[2] = aCn((const char *)cs.m, (U)cs.nb);
    a[3] = aV(tSYM, (U)cs.nl, cs.l);
    hd(u)->valence = (G)np;
    hd(u)->type = tLAMBDA;
    mr(tree);
    mr(text);
    return u;
  }
  bool lm = r == -2 || gfull || cs.lim;
  I c = r < 0 ? 0 : r;
  gfull = 0;
  cs.lim = 0;
  lm ? ez0() : ec0();
  mr(u);
  mr(tree);
  eS(text, (U)c);
  mr(text);
  return 0;
}

}  // namespace zk
