// fold.cpp: the tree rewrites the compiler applies: constant folding (cf),
// shift-pair idioms (shp, with shv and shpair) and fusion recognition (fzc,
// with fzt and fzp).
//
// cf is one pass over the tree: a node is folded from its folded children
// and never looked at again, so 1+2*3 becomes 1+6, not 7.  Only work that
// cannot differ from run time is done: integer + - * on literals of at
// most 100 items, list literals of constants, and derived verbs of
// constant operands (+/).  Source text never ends the process: a fold
// that fails anywhere is a compile failure with the evaluation's text.
//
// A one-item general list is a quote node (a constant that would read as
// an expression); the compiler pushes its item as it is, so folding never
// looks inside it.
#include "eval/b.h"
#include <cstring>
#include "core/sym.h"
#include "eval/tables.h"
#include "eval/vm.h"
#include "list/list.h"
#include "order/order.h"

namespace zk {

namespace {

ZK_INLINE bool islist(V x) { return heap(x) && hd(x)->type == tLIST; }
ZK_INLINE bool isname(V x) { return heap(x) && hd(x)->type == tSYM && nx(x) > 0; }
ZK_INLINE V it(V x, U i) { return PA(x)[i]; }
// Not a constant of the tree: a name, an expression, or an elided item.
ZK_INLINE bool expr(V x) { return isname(x) || islist(x) || x == GAP; }
ZK_INLINE bool islit(V x) { return islist(x) && nx(x) > 1 && it(x, 0) == MKL; }

// A value that would read as an expression or a name goes into a quote.
V quote(V v) {
  if (!v || !(islist(v) || (heap(v) && hd(v)->type == tSYM))) return v;
  V q = an(1, tLIST);
  PA(q)[0] = v;
  return q;
}

// The items of a list literal of constants as their value: the head
// dropped, atoms of one kind squeezed into a vector.  A symbol atom of the
// tree carries its source column in its upper payload: strip it.
V lit(V x) {
  U n = nx(x);
  V y = an(n, tLIST);
  for (U i = 0; i < n; i++) {
    V e = it(x, i);
    PA(y)[i] = !heap(e) && tag(e) == tSYMA ? as(ip(e)) : _r(e);
  }
  mr(x);
  return quote(drp(1, y));
}

bool allk(V x) {
  for (U i = 0; i < nx(x); i++)
    if (expr(it(x, i))) return false;
  return true;
}

// Integer literal of rule 4: an int or long atom, or an integer vector.
ZK_INLINE bool intk(V x) {
  int t = tp(x);
  return t == tINTA || t == tLONGA || (heap(x) && t >= tRANGE && t <= tLONG);
}
ZK_INLINE U kn(V x) { return heap(x) && hd(x)->type < tTABLE ? nx(x) : 1; }

bool arith(V x) {
  if (nx(x) != 3) return false;
  V h = it(x, 0), a = it(x, 1), b = it(x, 2);
  if (!(h == mp2(1) || h == mp2(2) || h == mp2(3)) || !intk(a) || !intk(b)) return false;
  bool va = tp(a) < tINTA, vb = tp(b) < tINTA;
  if (va && vb && nx(a) != nx(b)) return false;
  return (kn(a) > kn(b) ? kn(a) : kn(b)) <= 100;
}

// (adverb; operand) with a constant operand: the derived verb itself.
ZK_INLINE bool derived(V x) {
  if (nx(x) != 2 || heap(it(x, 0)) || tag(it(x, 0)) != tADV || (U)it(x, 0) >= 6) return false;
  V f = it(x, 1);
  return !expr(f) && !(!heap(f) && tag(f) == tSYMA);
}

// A child's fold failed at item i of the new node y: release both nodes.
V fail(V y, U i, V x) {
  PA(y)[i] = GNULL;
  mr(y), mr(x);
  return 0;
}

// Folds each non-empty list literal among the items; the others stay.
V litlits(V x) {
  U n = nx(x);
  V y = an(n, tLIST);
  for (U i = 0; i < n; i++) PA(y)[i] = GNULL;
  hd(y)->column = hd(x)->column;
  for (U i = 0; i < n; i++) {
    V e = it(x, i);
    if (!(PA(y)[i] = islit(e) ? cf(_r(e)) : _r(e))) return fail(y, i, x);
  }
  mr(x);
  return allk(y) ? lit(y) : y;
}

}  // namespace

V cf(V x) {
  if (!islist(x) || nx(x) <= 1) return x;
  U n = nx(x);
  if (it(x, 0) == MKL) {
    if (allk(x)) return lit(x);
    for (U i = 1; i < n; i++)
      if (islit(it(x, i))) return litlits(x);
    return x;
  }
  if (derived(x) || arith(x)) return quote(val(x));
  V y = an(n, tLIST);
  for (U i = 0; i < n; i++) PA(y)[i] = GNULL;
  hd(y)->column = hd(x)->column;
  for (U i = 0; i < n; i++)
    if (!(PA(y)[i] = cf(_r(it(x, i))))) return fail(y, i, x);
  mr(x);
  return y;
}

// ---- shift pairs ----
// The name v of the node (`_`; n; v), or 0.
V shv(V x, J n) {
  if (!islist(x) || nx(x) != 3 || it(x, 0) != mp2(15) || !isname(it(x, 2))) return 0;
  int t = tp(it(x, 1));
  if (!(t == tINTA || t == tLONGA) || gl_(it(x, 1)) != n) return 0;
  return it(x, 2);
}

// 0 for (1_v) op (-1_v), 1 for (-1_v) op (1_v), -1 otherwise.
I shpair(V x, V y) {
  V v, w;
  if ((v = shv(x, 1)) && (w = shv(y, -1)) && mtc_(v, w)) return 0;
  if ((v = shv(x, -1)) && (w = shv(y, 1)) && mtc_(v, w)) return 1;
  return -1;
}

namespace {

// fredC (mode; v; ::), v the name of the shifted pair.
I shcall(V e, I form, U base, G c, I want) {
  V op = it(e, 0), v = shv(it(e, 1), form ? -1 : 1);
  cc(GNULL, c);
  I r = cr(v, 1);
  if (r != -1) return r;
  cc(ai((I)(base + (U)op + 16 * (U)form)), c);
  cc(mp2(27), c);
  ob(oAPPLY, c);
  ob(3, c);
  if (!want) ob(oPOP, c);
  return -1;
}

}  // namespace

I shp(V x, G c, I want) {
  U n = nx(x);
  I form;
  if (n == 3 && dyn(x, {1, 2, 3, 4, 6, 7, 8, 9, 10}) && (form = shpair(it(x, 1), it(x, 2))) >= 0)
    return shcall(x, form, 200, c, want);
  if (n != 2 || !plusover(it(x, 0))) return -2;
  V e = it(x, 1);
  if (dyn(e, {8, 9, 10}) && (form = shpair(it(e, 1), it(e, 2))) >= 0)
    return shcall(e, form, 300, c, want);
  return -2;
}
// ---- fusion ----
// Walks the expression: names count names, operators count operators;
// a comparison may stand only at the root.
bool fzt(V x, I &ops, I &names, I root) {
  for (;;) {
    if (heap(x) && hd(x)->type == tSYM) return nx(x) == 1 && ++names;
    int t = tp(x);
    if (t == tINTA || t == tLONGA || t == tFLTA) return true;
    if (!(root ? dyn(x, {1, 2, 3, 4, 6, 7, 8, 9, 10}) : dyn(x, {1, 2, 3, 4, 6, 7}))) return false;
    if (++ops > 15 || !fzt(it(x, 1), ops, names, 0)) return false;
    x = it(x, 2);
    root = 0;
  }
}

// Appends x's tokens at p; constants go to the list k, the last local
// written to last.
bool fzp(V x, G *b, I &p, V &k, G &last) {
  if (p > 60) return false;
  if (heap(x) && hd(x)->type == tSYM) {
    I id = PI(x)[0];
    for (I i = 0; i < cs.nl; i++)
      if (cs.l[i] == id) {
        b[p++] = 'l', b[p++] = (G)i, last = (G)i;
        return true;
      }
    if (id == 'o') return false;  // the running lambda itself
    U g = gi(x);
    b[p++] = 'g', b[p++] = (G)g, b[p++] = (G)(g >> 8);
    return true;
  }
  if (!islist(x)) {
    U n = nx(k);
    if (n > 250) return false;
    b[p++] = 'k', b[p++] = (G)n;
    k = aa(n + 1, k);
    PA(k)[n] = _r(x);
    return true;
  }
  if (!fzp(it(x, 1), b, p, k, last) || !fzp(it(x, 2), b, p, k, last)) return false;
  b[p++] = (G)vc[(U)it(x, 0)];
  return true;
}

G fzoff;

I fzc(V x, G c) {
  bool sum = nx(x) == 2 && plusover(it(x, 0));
  V e = sum ? it(x, 1) : x;
  I ops = 0, names = 0;
  if (!fzt(e, ops, names, 1) || !names || ops < (sum ? 1 : 2)) return -2;
  G b[64], last = 255;
  I p = 1;
  b[0] = sum;
  V k = an(1, tLIST);
  PA(k)[0] = GNULL;
  if (!fzp(e, b, p, k, last)) {
    mr(k);
    return -2;
  }
  PA(k)[0] = aCn((const char *)b, (U)p);
  U ki = ck(k);
  mr(k);
  if (ki > 255) return -2;
  I at = cs.nb, nl = cs.nl, lu[16];
  G lim = cs.lim;
  memcpy(lu, cs.lu, sizeof lu);
  ob(oFUSED, c), ob(0, c), ob((G)ki, c), ob(last, c);
  cs.fzno = 1;
  I r = cr(x, 1);
  cs.fzno = 0;
  if (r != -1) {
    if (!cs.lim) return r;
    // The fallback hit a size limit: compile the node plainly instead.
    cs.nb = at, cs.nl = nl, cs.lim = lim;
    memcpy(cs.lu, lu, sizeof lu);
    return -2;
  }
  I skip = cs.nb - (at + 4);
  if (skip <= 255) {
    cs.b[at + 1] = (G)skip;
    cs.fzu = 1;
    return -1;
  }
  // Too long to skip: drop the instruction, move the fallback down.
  memmove(cs.b + at, cs.b + at + 4, (size_t)skip);
  memmove(cs.m + at, cs.m + at + 4, (size_t)skip);
  cs.nb -= 4;
  for (I &u : cs.lu)
    if (u >= at + 4) u -= 4;
  return -1;
}

}  // namespace zk
