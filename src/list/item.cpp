// item.cpp: item access: _n (count), ii (item i), io (item i with null
// fill), iM (row of a table), fir and las (first and last), mkn (the null of
// a value's shape) and mqn (the null prototype: what fills past the end).
//
// Items come out as atoms of the vector's kind: bits and 8/16/32-bit
// integers as int atoms, longs, floats, timestamps and timespans boxed,
// chars, symbols and 32-bit temporals immediate.  Narrow integer storage
// has no null of its own, so the null of an integer item is the long null.
//
// Filling: reading outside a value never fails.  A typed vector fills with
// the null of its items, a general list with the null prototype of its
// item 0 (an empty vector of a vector item's type, the typed null of an
// atom item), an empty list with its stored prototype, a table column by
// column.  Indexes are unsigned: a negative one lies outside.
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "list/list.h"

namespace zk {

J _n(V x) {
  int t = tp(x);
  if (t >= tINTA) return 1;
  switch (t) {
    case tRANGE: return PL(x)[1] - PL(x)[0];
    case tTABLE: {
      V c = PA(x)[1];
      return nx(c) ? _n(PA(c)[0]) : 0;
    }
    case tDICT: return _n(PA(x)[1]);  // a keyed table: the rows of its value table
    default: return nx(x);
  }
}

static V boxed(int t, J v) {
  V x = an(1, t);
  PL(x)[0] = v;
  return x;
}

// Column c's contribution to row i of a table.
static V icol(V c, J i) {
  int t = tp(c);
  if (t >= tINTA) return _r(c);
  if (t == tTABLE) return iM(c, i);
  if (t == tDICT) return io(PA(c)[1], i);
  if (t == tRANGE) return io(c, i);
  J n = _n(c);
  if ((UJ)i < (UJ)n) return ii(c, i);
  if (n) return mqn(ii(c, 0));
  return t == tLIST ? _r(PA(c)[0]) : _r(cn[t]);
}

V iM(V x, J i) {
  V c = PA(x)[1];
  U m = nx(c);
  if (!m)  // no columns: an empty value vector shaped by the column list's prototype
    return am(_r(PA(x)[0]), rs0(enl(io(PA(c)[0], i))));
  V r = an(m, tLIST);
  for (U j = 0; j < m; j++) PA(r)[j] = icol(PA(c)[j], i);
  return am(_r(PA(x)[0]), sqz(r));
}

V ii(V x, J j) {
  int t = tp(x);
  if (t >= tINTA) return _r(x);
  U i = (U)j;  // only the low 32 bits index
  switch (t) {
    case tLIST: return _r(PA(x)[i]);
    case tRANGE: return az(PL(x)[0] + (J)i);
    case tBOOL: return ai((P(x)[i >> 3] >> (i & 7)) & 1);
    case tBYTE: return ai(P<int8_t>(x)[i]);
    case tSHORT: return ai(P<int16_t>(x)[i]);
    case tINT: return ai(PI(x)[i]);
    case tLONG: return al(PL(x)[i]);
    case tFLT: return af(PF(x)[i]);
    case tCHR: return ac(PC(x)[i]);
    case tSYM: return as(PI(x)[i]);
    case tTSTAMP:
    case tTSPAN: return boxed(t + 22, PL(x)[i]);
    case tTABLE: return iM(x, i);
    case tDICT: return ii(PA(x)[1], i);
    default: return imm(t + 22, (U)PI(x)[i]);  // 32-bit temporals
  }
}

V io(V x, J i) {
  int t = tp(x);
  if (t >= tINTA) return _r(x);
  if (t == tDICT) return io(PA(x)[1], i);
  if (t == tTABLE) return iM(x, i);
  J n = _n(x);
  if ((UJ)i < (UJ)n) return ii(x, i);
  switch (t) {
    case tLIST: return n ? mqn(ii(x, 0)) : _r(PA(x)[0]);  // empty: the prototype
    case tRANGE: return _r(cn[tLONGA]);
    default: return _r(cn[t]);
  }
}

V fir(V x) {
  V r = io(x, 0);
  mr(x);
  return r;
}

V las(V x) {
  if (tp(x) >= tINTA) return x;
  V r = io(x, _n(x) - 1);  // an empty x reads index -1: outside, filled as first does
  mr(x);
  return r;
}

// A vector of n copies of the null of type t's items.
static V nulls(int t, U n) {
  if (t <= tLONG) t = tLONG;  // narrow integers and bits have no null
  V r = an(n, t);
  switch (Tw[t]) {
    case 3: memset(P(r), ' ', n); break;
    case 5: {
      I v = t == tSYM ? 0 : NI;
      for (U i = 0; i < n; i++) PI(r)[i] = v;
      break;
    }
    default: {
      J v = t == tFLT ? (J)NF_BITS : NJ;
      for (U i = 0; i < n; i++) PL(r)[i] = v;
    }
  }
  return r;
}

// Walks of nested values that recurse item by item through e1f count their
// levels here: past NDEPTH they fail 'stack rather than run the C stack out.
static thread_local int nqd;
V ndeep(V (*f)(V), V x) {
  if (nqd >= NDEPTH) return mr(x), es0();
  nqd++;
  V r = e1f(f, x);
  nqd--;
  return r;
}

V mkn(V x) {
  int t = tp(x);
  V r;
  if (t >= tINTA) return mr(x), _r(cn[t]);
  switch (t) {
    case tLIST: return ndeep(mkn, x);
    case tRANGE: {
      J n = _n(x);
      if (n < 0 || n > (J)0xFFFFFFFF) return ez(x);
      r = nulls(tLONG, (U)n);
      break;
    }
    case tDICT:
    case tTABLE: {
      V v = mkn(_r(PA(x)[1]));
      if (!v) return mr(x), (V)0;
      r = t == tDICT ? am(_r(PA(x)[0]), v) : aM(_r(PA(x)[0]), v);
      break;
    }
    default: r = nulls(t, nx(x));
  }
  mr(x);
  return r;
}

V mqn(V x) {
  int t = tp(x);
  if (t >= tINTA) return mr(x), _r(cn[t]);
  if (t == tRANGE) return mr(x), _r(ce[tLONG]);
  if (t == tLIST || t == tTABLE || t == tDICT) return ndeep(mqn, x);
  return mr(x), _r(ce[t]);
}

}  // namespace zk
