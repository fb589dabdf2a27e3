// cast.cpp: the universal cast ct(t, x) and the plain-memory cast kernels
// c<to><from> (cGI: int to byte, cHI: int to short).
//
// least version: integer-like vectors and atoms (bits, the four integer
// widths, chars as signed bytes, temporals through their underlying
// integers) to bits, integers, floats and chars; char vectors to symbols.
// Every other cast fails with 'nyi until the numeric kernels' owner
// completes it.
//
// Narrowing keeps the low bits and widening sign-extends, so an integer
// vector whose items all fit a narrower type keeps its values.  The long
// null becomes NaN in a float cast; narrower storage has no null.
#include <cmath>
#include "core/err.h"
#include "core/sym.h"
#include "num/num.h"

namespace zk {

namespace {

template <class D, class S> void cv(D *o, const S *s, U n) {
  for (U i = 0; i < n; i++) o[i] = (D)s[i];
}
template <class S> void cvf(F *o, const S *s, U n) {
  for (U i = 0; i < n; i++) o[i] = sizeof(S) == 8 && s[i] == (S)NJ ? NAN : (F)s[i];
}
template <class S> void cvb(G *o, const S *s, U n) {  // the lowest bit of each item
  memset(o, 0, ((UJ)n + 63) / 64 * 8);
  for (U i = 0; i < n; i++) o[i >> 3] |= (G)(((G)s[i] & 1) << (i & 7));
}
template <class D> void frombits(D *o, const G *s, U n) {
  for (U i = 0; i < n; i++) o[i] = (D)((s[i >> 3] >> (i & 7)) & 1);
}

// Items of x (integer-like, width Tw[xt]) into the vector r of type t.
template <class S> void conv(V r, int t, const S *s, U n) {
  switch (t) {
    case tBOOL: cvb(P(r), s, n); break;
    case tBYTE:
    case tCHR: cv(P<int8_t>(r), s, n); break;
    case tSHORT: cv(P<int16_t>(r), s, n); break;
    case tINT: cv(PI(r), s, n); break;
    case tLONG: cv(PL(r), s, n); break;
    default: cvf(PF(r), s, n);
  }
}

// Vector types whose items are integers of width Tw[t].
ZK_INLINE bool intlike(int t) { return (t >= tBOOL && t <= tLONG) || t == tCHR || (t >= tDATE && t <= tTSPAN); }

V castv(int t, V x) {
  int xt = tp(x);
  if (!intlike(xt) || t > tCHR || (t == tFLT && xt > tLONG)) return en(x);  // least version
  if (t == tCHR && !(xt >= tBOOL && xt <= tLONG)) return en(x);
  U n = nx(x);
  V r = an(n, t);
  if (xt == tBOOL) {
    if (t == tFLT) frombits(PF(r), P(x), n);
    else if (t == tBOOL) memcpy(P(r), P(x), dbytes(n, tBOOL));
    else if (t == tBYTE || t == tCHR) frombits(P<int8_t>(r), P(x), n);
    else if (t == tSHORT) frombits(P<int16_t>(r), P(x), n);
    else if (t == tINT) frombits(PI(r), P(x), n);
    else frombits(PL(r), P(x), n);
  } else
    switch (Tw[xt]) {
      case 3: conv(r, t, P<int8_t>(x), n); break;
      case 4: conv(r, t, P<int16_t>(x), n); break;
      case 5: conv(r, t, PI(x), n); break;
      default: conv(r, t, PL(x), n);
    }
  mr(x);
  return r;
}

// An int or long atom (or a char atom, as its signed byte) to type t's atom.
V casta(int t, V x) {
  int xt = tp(x);
  if (xt != tINTA && xt != tLONGA && xt != tCHRA) return en(x);  // least version
  J v = gl(x);
  switch (t) {
    case tBOOL: return ai((I)(v & 1));
    case tBYTE: return ai((int8_t)v);
    case tSHORT: return ai((int16_t)v);
    case tINT: return ai((I)v);
    case tLONG: return al(v);
    case tFLT: return af(xt == tLONGA && v == NJ ? (F)NAN : (F)v);
    case tCHR: return ac((char)v);
    default: return en0();
  }
}

}  // namespace

V ct(int t, V x) {
  int xt = tp(x);
  if (xt == t) return x;
  if (xt >= tINTA) return TT[xt] == t ? x : casta(t, x);
  if (xt == tRANGE) {
    if (!(x = gZ(x))) return 0;
    if ((xt = tp(x)) == t) return x;
  }
  if (t == tSYM) {
    if (xt != tCHR) return en(x);  // least version
    V r = as(usn(PC(x), nx(x)));
    mr(x);
    return r;
  }
  if (t < tBOOL || t > tSYM) return en(x);
  return castv(t, x);
}

void cGI(int8_t *out, const int32_t *in, U n) { cv(out, in, n); }
void cHI(int16_t *out, const int32_t *in, U n) { cv(out, in, n); }

}  // namespace zk
