// group.cpp: group, the monadic = (grp, with the dispatch by type in
// grq): the dict from each distinct item of x, in order of first
// occurrence, to the ascending indices where it occurs.
//
// Methods: bytes, chars and shorts through bucket tables indexed by the
// unsigned item (two linear passes, no sort); ints and 32-bit temporal
// vectors over a dense range of values through grpI; general lists by
// mapping every item to its representative (the first index holding an
// item equal to it: frT by the grade's mixed-atom keys, frH by hash with
// match confirming) and grouping those; symbols through their distinct
// list and positions in it; everything else through sort-based lambdas.
//
// The bucket tables (65,536 counters, write cursors and distinct values,
// about 900 KB) live in a heap buffer per thread, never on the stack, so a
// host thread with a small stack can group shorts.  The counters are all
// zero between calls: a call clears the ones it used before it returns.
//
// Index lists are int vectors up to grp_wide items and long vectors above
// it (bucket tables), or the fast path declines to a lambda whose grade
// gives wide indices (grpI, frT, frH): no index ever wraps.
#include <cstdlib>
#include <cstring>
#include "core/err.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"
#include "order/radix.h"

namespace zk {

UJ grp_wide = 0x7FFFFFFF;
UJ (*frh_hash)(V x, G *flag) = hA;

namespace {

V lsg, lrg, llg, lfg, leg, lid;
constexpr const char *LSORT = "{$[#x;x[*'g]!g@:<g:(&~x~':x i)_i:<x;x!0#,!0]}";
constexpr const char *LRUN = "{$[x;x[*'g]!g@:<g:(&~(~*s)=':s:x i)_i:<x;x!0#,!0]}";
constexpr const char *LLIST =
    "{$[#x;{b:~x~':x i:<x;i:i@<i+(#x)*-1++\\b;g:(&b)_i;g:g@<g;x[*'g]!g}x;x!0#,!0]}";
constexpr const char *LFLT = "{x[*'g]!g@:<g:(&1,~(1_s)=(-1)_s:y i)_i:<y}";
constexpr const char *LEMP = "{x!0#,!0}";
constexpr const char *LID = "=/:/2#,!:";

ZK_INLINE J gi(V g, UJ k) { return tp(g) == tINT ? PI(g)[k] : PL(g)[k]; }

// ---- bucket tables ----
struct Bk {
  U cnt[65536];
  void *at[65536];  // write cursor of each value's index list
  uint16_t dv[65536];
};
struct BkH {
  Bk *p = nullptr;
  ~BkH() { free(p); }
};
thread_local BkH bkh;

// K the unsigned item type, X the index type; 0 (nothing raised) when the
// thread's buffer cannot be had.
template <class K, class X> V bkt(V x) {
  Bk *b = bkh.p ? bkh.p : (bkh.p = (Bk *)calloc(1, sizeof(Bk)));
  if (!b) return 0;
  const K *s = (const K *)P(x);
  UJ n = nx(x);
  U d = 0;
  for (UJ i = 0; i < n; i++)
    if (!b->cnt[s[i]]++) b->dv[d++] = s[i];
  V k = an(d, tp(x)), v = an(d, tLIST);
  for (U j = 0; j < d; j++) {
    K e = (K)b->dv[j];
    V l = an(b->cnt[e], sizeof(X) == 4 ? tINT : tLONG);
    ((K *)P(k))[j] = e, PA(v)[j] = l, b->at[e] = P(l);
  }
  for (UJ i = 0; i < n; i++) {
    X *&p = (X *&)b->at[s[i]];
    *p++ = (X)i;
  }
  for (U j = 0; j < d; j++) b->cnt[b->dv[j]] = 0;
  return am(k, v);
}

// x consumed: bytes, chars or shorts.
V grpB(V x) {
  int t = tp(x);
  V r;
  if (!nx(x)) {
    V l = an(1, tLIST);
    hd(l)->count = 0, PA(l)[0] = _r(ce[tBYTE]);
    r = am(_r(ce[t]), l);
  } else if (t == tSHORT) r = nx(x) > grp_wide ? bkt<uint16_t, J>(x) : bkt<uint16_t, I>(x);
  else r = nx(x) > grp_wide ? bkt<G, J>(x) : bkt<G, I>(x);
  return r ? (mr(x), r) : k1(&lsg, LSORT, x);
}

// The general list x (consumed, 2 items or more) by representatives.
V grpL(V x) {
  V m = frT(x);
  if (!m) m = frH(x);
  V g = m ? grpI(m) : 0;
  if (m) mr(m);
  if (!g) return k1(&llg, LLIST, x);
  V k = i1(x, _r(PA(g)[0])), r = k ? am(k, _r(PA(g)[1])) : 0;
  mr(g), mr(x);
  return r;
}

V grpS(V x) {
  V u = unq(_r(x));
  if (!u) return mr(x), (V)0;
  V p = fnd(u, x), g = p ? grq(p) : 0;
  if (!g) return mr(u), (V)0;
  V r = am(u, _r(PA(g)[1]));
  mr(g);
  return r;
}

// A dict x (consumed): each distinct value to the keys holding it.
V grpD(V x) {
  V v = kv(&x), g = grp(v);
  if (!g) return mr(x), (V)0;
  V l = PA(g)[1];
  U m = nx(l);
  V o = an(m ? m : 1, tLIST);
  hd(o)->count = m;
  if (!m) PA(o)[0] = _r(PA(l)[0]);
  for (U j = 0; j < m; j++)
    if (!(PA(o)[j] = i1(x, _r(PA(l)[j])))) return lfail(o, j), mr(g), mr(x), (V)0;
  V r = am(_r(PA(g)[0]), o);
  mr(g), mr(x);
  return r;
}

}  // namespace

V grpI(V x) {
  int t = tp(x);
  UJ n = nx(x);
  if (!n || n > grp_wide) return 0;
  const I *s = PI(x);
  bool tm = t != tINT;
  I mn = 0, mx = 0;
  UJ nn = 0;
  bool any = false;
  for (UJ i = 0; i < n; i++) {
    I v = s[i];
    if (tm && v == NI) {
      nn++;
      continue;
    }
    if (!any) mn = mx = v, any = true;
    mn = v < mn ? v : mn, mx = v > mx ? v : mx;
  }
  UJ span1 = (UJ)((J)mx - (J)mn) + 1, nb = span1 + (nn > 0);
  if (nb > 0x400000 || nb > 8 * (n + 128)) return 0;
  RMark mk;
  U *cnt = (U *)arena_alloc(nb * 4), *gno = (U *)arena_alloc(nb * 4);
  I *dv = (I *)arena_alloc((nb < n ? nb : n) * 4);
  if (!cnt || !gno || !dv) return mk.back(), (V)0;
  memset(cnt, 0, nb * 4);
  auto bk = [&](I v) { return tm && v == NI ? nb - 1 : (UJ)((J)v - (J)mn); };
  U g = 0;
  for (UJ i = 0; i < n; i++) {
    UJ b = bk(s[i]);
    if (!cnt[b]++) gno[b] = g, dv[g++] = s[i];
  }
  I **fp = (I **)arena_alloc((UJ)g * sizeof(I *));
  if (!fp) return mk.back(), (V)0;
  V k = an(g, t), v = an(g, tLIST);
  for (U j = 0; j < g; j++) {
    V l = an(cnt[bk(dv[j])], tINT);
    PI(k)[j] = dv[j], PA(v)[j] = l, fp[j] = PI(l);
  }
  for (UJ i = 0; i < n; i++) *fp[gno[bk(s[i])]]++ = (I)i;
  mk.back();
  return am(k, v);
}

V frT(V x) {
  UJ n = nx(x);
  if (n > grp_wide) return 0;
  V k, c;
  I m = kK(x, &k, &c);
  if (!m) return 0;
  V g = kGr(k, c, m);
  if (!g) return mr(k), mr(c), (V)0;
  V r = an((U)n, tINT);
  const J *ky = PL(k);
  const G *cl = P(c);
  J rep = 0, prev = 0;
  for (UJ j = 0; j < n; j++) {
    J i = gi(g, j);
    if (!j || ky[i] != ky[prev] || cl[i] != cl[prev]) rep = i;
    PI(r)[i] = (I)rep, prev = i;
  }
  mr(g), mr(k), mr(c);
  return r;
}

V frH(V x) {
  UJ n = nx(x);
  if (!n || n > grp_wide) return 0;
  int t0 = tp(PA(x)[0]);
  if (t0 != tDICT && t0 != tTABLE) return 0;
  V h = an((U)n, tLONG);
  for (UJ i = 0; i < n; i++) {
    G f = 0;
    UJ v = frh_hash(PA(x)[i], &f);
    if (f) return mr(h), (V)0;
    PL(h)[i] = (J)(U)(v ^ (v >> 32));
  }
  V g = cntgrd(h);
  if (!g) g = rdxg(h);
  if (!g) return mr(h), (V)0;
  V r = an((U)n, tINT);
  const V *a = PA(x);
  const J *hv = PL(h);
  J rp[8];
  int nr = 0;
  for (UJ j = 0; j < n; j++) {
    J i = gi(g, j);
    if (j && hv[i] != hv[gi(g, j - 1)]) nr = 0;
    int q = 0;
    while (q < nr && !mtc_(a[rp[q]], a[i])) q++;
    if (q < nr) {
      PI(r)[i] = (I)rp[q];
      continue;
    }
    // A new representative that the order calls equal to an old one, or a
    // ninth in one run: the sort-based group decides instead.
    bool amb = nr == 8;
    for (int p = 0; p < nr && !amb; p++) amb = !qA(a[rp[p]], a[i]);
    if (amb) return mr(r), mr(g), mr(h), (V)0;
    rp[nr++] = i, PI(r)[i] = (I)i;
  }
  mr(g), mr(h);
  return r;
}

V grq(V x) {
  int t = tp(x);
  switch (t) {
    case tLIST: return nx(x) < 2 ? k1(&llg, LLIST, x) : grpL(x);
    case tRANGE:
    case tLONG:
    case tTSTAMP:
    case tTSPAN:
    case tTABLE: return k1(&lsg, LSORT, x);
    case tBOOL:
      if (!(x = ct(tBYTE, x))) return 0;
      [[fallthrough]];
    case tBYTE:
    case tCHR:
    case tSHORT: return grpB(x);
    case tINT:
    case tDATE:
    case tTIME:
    case tMINUTE:
    case tSECOND:
    case tMONTH: {
      if (!nx(x)) return k1(&leg, LEMP, x);
      V r = grpI(x);
      return r ? (mr(x), r) : k1(&lrg, LRUN, x);
    }
    case tFLT: {
      if (!nx(x)) return k1(&leg, LEMP, x);
      V r = k2(&lfg, LFLT, x, fcan(x));
      mr(x);
      return r;
    }
    case tSYM: return nx(x) ? grpS(x) : k1(&leg, LEMP, x);
    case tDICT: return grpD(x);
    case tINTA:
    case tLONGA: return k1(&lid, LID, x);
    default: return et(x);
  }
}

V grp(V x) {
  int t = tp(x);
  G a = heap(x) && t >= tLIST && t <= tTSPAN && t != tRANGE ? hd(x)->attr : 0;
  V r = grq(x);
  if (!r || !a) return r;
  G e = a == 1 ? 1 : a == 3 ? 0 : 2;
  if (!sole(hd(r))) r = mut(r);
  V k = PA(r)[0];
  if (heap(k) && (hd(k)->attr != e)) {
    if (!sole(hd(k))) PA(r)[0] = k = mut(k);
    hd(k)->attr = e;
  }
  return r;
}

}  // namespace zk
