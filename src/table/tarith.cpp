// tarith.cpp: temporal arithmetic and comparison for the dispatcher of
// the arithmetic verbs: trk (result type), tmk (atom of a type and count),
// tvo (temporal vectors), tal/tcl (fast paths for lists of temporal
// atoms), tdv (%), tkc (two temporal types compared), tcf (temporal
// against float) and tunit_ns (nanoseconds per unit).
//
// least version: the rules that are settled are built; a pair whose rule
// is not settled yet fails with 'nyi rather than give a value that might
// be wrong.  Not built: + - between a month and another type, between two
// points in time other than date-date, month-month and timestamp-timestamp,
// between two durations neither of which is a timespan, or with a
// duration on the left of -; comparisons of a month with another temporal
// type and of a timestamp with a duration; floats that are not below 2^63
// in magnitude or that lie exactly half-way between two integers; char
// atoms in %.  tvo applies the atom rules item by item, and tal and tcl
// always decline (their callers then go item by item, which gives the
// same values).
//
// Points in time: date, timestamp, month.  Durations: time, minute,
// second, timespan.  A 32-bit temporal count 0x80000000 is the null and is
// read as 0N; nulls order below every other count.
#include <cmath>
#include "core/err.h"
#include "eval/each.h"
#include "list/list.h"
#include "num/ari.h"
#include "table/table.h"

namespace zk {

const J tunit_ns[5] = {86400000000000ll, 1000000ll, 1ll, 60000000000ll, 1000000000ll};

namespace {

ZK_INLINE bool pt(int t) { return t == tDATEA || t == tTSTAMPA; }
ZK_INLINE bool dur(int t) { return t == tTIMEA || t == tMINUTEA || t == tSECONDA || t == tTSPANA; }
ZK_INLINE bool tmp(int t) { return t >= tDATEA; }
ZK_INLINE J tcnt(V x) {
  if (heap(x)) return PL(x)[0];
  I v = ip(x);
  return v == NI ? NJ : v;
}
ZK_INLINE J unit(int t) { return t <= tSECONDA ? tunit_ns[t - tDATEA] : 1; }

}  // namespace

I trk(I tx, I ty, I op) {
  if (op == 6 || op == 7) return tx == ty ? tx : 0;
  if (op != 1 && op != 2) return 0;
  if (tx == tMONTHA || ty == tMONTHA) return op == 2 && tx == ty ? tINTA : -1;
  if (pt(tx) && pt(ty)) {
    if (op == 2 && tx == ty) return tx == tDATEA ? tINTA : tTSPANA;
    return -1;
  }
  if (pt(tx) && dur(ty)) return tTSTAMPA;
  if (dur(tx) && pt(ty)) return op == 1 ? tTSTAMPA : -1;
  if (tx == tTSPANA || ty == tTSPANA) return tTSPANA;
  return -1;
}

V tmk(I t, J v) {
  if (t <= tNATIVE) return az(v);
  if (t == tTSTAMPA || t == tTSPANA) {
    V r = an(1, t);
    PL(r)[0] = v;
    return r;
  }
  if (v == NJ) return cn[t];
  // 0x80000000 is the null: a count that lands on it does not fit either.
  if (v != (J)(I)v || (I)v == NI) return ez0();
  return imm(t, (U)(I)v);
}

// The atom rules item by item: a temporal vector with anything, or a
// temporal atom with a vector; lists, dicts and tables go through the
// atomic extension.
V tvo(V x, V y, I op) {
  int a = tp(x), b = tp(y);
  if (a == tLIST || a == tTABLE || a == tDICT || b == tLIST || b == tTABLE || b == tDICT)
    return e2f(ariv[op], x, y);
  bool vx = a < tINTA, vy = b < tINTA;
  J n = vx ? _n(x) : _n(y);
  if (vx && vy && _n(y) != n) return el(y);
  bool cmp = op >= 8;
  I s = tl.f;
  tl.f = op;
  V r;
  if (!n) {
    V p = io(x, 0), q = io(y, 0);
    mr(y);
    r = ari(p, q);
    mr(p);
    if (r) r = cmp ? (mr(r), _r(ce[tBYTE])) : te0(r);
  } else {
    r = cmp ? an((U)n, tBYTE) : emp();
    for (J i = 0; i < n && r; i++) {
      V p = ii(x, i), v = ari(p, ii(y, i));
      mr(p);
      if (!v) {
        mr(r);
        r = 0;
      } else if (cmp)
        P(r)[i] = (G)ip(v);
      else
        r = psh(r, v);
    }
    mr(y);
  }
  tl.f = s;
  return r;
}

V tal(V, V, I) { return 0; }
V tcl(V, V, I) { return 0; }

V tdv(V x, V y) {
  F q[2];
  V o[2] = {x, y};
  for (int k = 0; k < 2; k++) {
    int t = tp(o[k]);
    if (tmp(t) || t == tINTA || t == tLONGA) {
      J c = tmp(t) ? tcnt(o[k]) : gl_(o[k]);
      q[k] = c == NJ ? NAN : (F)c;
    } else if (t == tFLTA)
      q[k] = PF(o[k])[0];
    else
      return t == tCHRA ? en(y) : et(y);
  }
  mr(y);
  return af(q[0] / q[1]);
}

V tkc(V x, V y, I tx, I ty, I op) {
  if (tx == tMONTHA || ty == tMONTHA) return (dur(tx) || dur(ty)) ? et(y) : en(y);
  if (pt(tx) != pt(ty)) return (tx == tDATEA || ty == tDATEA) ? et(y) : en(y);
  J p = tcnt(x), q = tcnt(y);
  mr(y);
  // Nulls below everything; otherwise both on one scale of nanoseconds.
  __int128 a = p == NJ ? -((__int128)1 << 120) : (__int128)p * unit(tx);
  __int128 b = q == NJ ? -((__int128)1 << 120) : (__int128)q * unit(ty);
  return ai(op == 8 ? a < b : op == 9 ? a > b : a == b);
}

V tcf(V x, V y, I op) {
  bool tx = tmp(tp(x));
  F d = PF(tx ? y : x)[0];
  if (!(std::fabs(d) < 9223372036854775808.0)) return en(y);
  if (d - std::floor(d) == 0.5) return en(y);
  J r = std::llround(d), c = tcnt(tx ? x : y);
  mr(y);
  J p = tx ? c : r, q = tx ? r : c;
  return ai(op == 8 ? p < q : op == 9 ? p > q : p == q);
}

}  // namespace zk
