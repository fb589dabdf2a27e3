// make.cpp: constructors, copy-on-write (mut), growth (aa), splitting a
// dict or table (kv), and kinit, the one-time boot of the runtime core
// that makes the shared empties `ce`, the nulls `cn` and the pin list `cns`.
//
// A value whose count is 1 belongs to its caller alone and may change in
// place; it then loses its attribute.  A shared value is copied first.
#include <unistd.h>
#include "core/core.h"

namespace zk {

V ce[NT];
V cn[NT];
V cns;
bool kinit_done;
constinit thread_local Tl tl{};

J gl_(V x) { return heap(x) ? PL(x)[0] : (J)ip(x); }
J gl(V x) {
  J v = gl_(x);
  mr(x);
  return v;
}

V aV(int t, U n, const void *src) {
  V x = an(n, t);
  if (n) memcpy(P(x), src, dbytes(n, t));
  return x;
}

V al(J v) {
  V x = an(1, tLONGA);
  PL(x)[0] = v;
  return x;
}

V af(F d) {
  V x = an(1, tFLTA);
  PF(x)[0] = d;
  return x;
}

V az(J v) { return v == (J)(I)v ? ai((I)v) : al(v); }

V aCn(const char *s, U n) { return aV(tCHR, n, s); }
V aCz(const char *s) { return aCn(s, (U)strlen(s)); }
V aL(U n) { return an(n, tLONG); }

V aA0(U n) {
  V x = an(n ? n : 1, tLIST);
  hd(x)->count = 0;
  PA(x)[0] = _r(ce[tCHR]);
  return x;
}

V aA1(V x) {
  V r = an(1, tLIST);
  PA(r)[0] = x;
  return r;
}

V aA2(V x, V y) {
  V r = an(2, tLIST);
  PA(r)[0] = x;
  PA(r)[1] = y;
  return r;
}

static V pair(int t, V a, V b) {
  V r = an(2, t);
  PA(r)[0] = a;
  PA(r)[1] = b;
  return r;
}
V aM(V names, V cols) { return pair(tTABLE, names, cols); }
V am(V keys, V vals) { return pair(tDICT, keys, vals); }

V aE(J start, J end) {
  if (start == end) return _r(ce[tBYTE]);
  V r = an(2, tRANGE);
  PL(r)[0] = start;
  PL(r)[1] = end;
  return r;
}

V emp() { return _r(ce[tLIST]); }

V mut(V x) {
  if (!heap(x)) return x;
  Hdr *h = hd(x);
  if (sole(h)) {  // sole owner: no other thread can reach it
    h->attr = 0;
    return x;
  }
  int t = h->type;
  U c = h->count, c1 = (!c && t == tLIST) ? 1 : c;
  V y = an(c1, t);
  memcpy(P(y), P(x), dbytes(c1, t));
  hd(y)->count = c;
  hd(y)->column = h->column;
  hd(y)->adverb = h->adverb;
  hd(y)->valence = h->valence;
  if (iscont(t))
    for (U i = 0; i < c1; i++) _r(PA(y)[i]);
  mr(x);
  return y;
}

// A mapped object (class 0) grows in place while its region has room: the
// region is private, so the file never sees the bytes written there.
V aa(U n, V x) {
  Hdr *h = hd(x);
  int t = h->type;
  if (sole(h) && (h->cls ? (64ull << h->cls) - 64 : mroom(x)) >= dbytes(n, t)) {
    h->attr = 0;
    h->count = n;
    return x;
  }
  V y = an0(n, t);
  memcpy(P(y), P(x), dbytes(h->count, t));
  if (iscont(t)) {
    if (sole(h)) h->type = tBYTE;  // the items now belong to y
    else
      for (U i = 0, c = h->count; i < c; i++) _r(PA(x)[i]);
  }
  mr(x);
  return y;
}

V kv(V *px) {
  V x = *px;
  V a = PA(x)[0], b = PA(x)[1];
  if (sole(hd(x))) {
    hd(x)->type = tBYTE;  // hand the two parts over without touching counts
    mr(x);
  } else {
    _r(a), _r(b);
    mr(x);
  }
  *px = a;
  return b;
}

static V boxed(int t, J v) {
  V x = an(1, t);
  PL(x)[0] = v;
  return x;
}

void kinit() {
  kinit_done = true;
  long p = sysconf(_SC_PAGESIZE);
  pg = p > 0 ? (size_t)p : 4096;
  for (int t = 1; t <= 17; t++) ce[t] = an(0, t);
  ce[tDICT] = am(_r(ce[tSYM]), _r(ce[tLIST]));
  PA(ce[tLIST])[0] = _r(ce[tCHR]);
  ce[tTABLE] = ce[tLIST];
  for (int t = 20; t < NT; t++) ce[t] = ce[tLIST];

  V nl = boxed(tLONGA, NJ), nf = boxed(tFLTA, (J)NF_BITS), nts = boxed(tTSTAMPA, NJ),
    nsp = boxed(tTSPANA, NJ);
  cn[tLIST] = ce[tCHR];
  for (int t = 2; t <= 7; t++) cn[t] = nl;
  cn[tINTA] = cn[tLONGA] = nl;
  cn[tFLT] = cn[tFLTA] = nf;
  cn[tCHR] = cn[tCHRA] = ac(' ');
  cn[tSYM] = cn[tSYMA] = as(0);
  for (int t = tLAMBDA; t <= tNATIVE; t++) cn[t] = GNULL;
  for (int t : {tDATEA, tTIMEA, tMINUTEA, tSECONDA, tMONTHA}) cn[t] = imm(t, 0x80000000u);
  cn[tTSTAMPA] = nts;
  cn[tTSPANA] = nsp;
  for (int t = tDATE; t <= tMONTH; t++) cn[t] = cn[t + 22];
  cn[tTSPAN] = cn[tTSPANA];

  V l = an(22, tLIST);
  for (int t = 1; t <= 17; t++) PA(l)[t - 1] = ce[t];
  PA(l)[17] = ce[tDICT];
  PA(l)[18] = nl;
  PA(l)[19] = nf;
  PA(l)[20] = nts;
  PA(l)[21] = nsp;
  cns = l;
  arena_boot();
}

}  // namespace zk
