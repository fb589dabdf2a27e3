// ie.cpp: ie(v, x), the seed a fold or amend of verb v over x starts from
// when there is nothing to fold, and iex(v, y), the identity of v for the
// kind of y.
//
// The identity belongs to a class chosen by the verb's slot: zero (+ -),
// one (* %), top (! & >), bottom (| <), null (everything else, and any
// function that is not a dyadic primitive).  The kind of y then picks the
// value: floats get 0.0 1.0 0w -0w 0n, chars a payload, symbols always the
// empty symbol, every other atom a plain integer (temporals too: the seed
// is a number, not a date), vectors that many copies of the identity of
// their item 0, lists, tables and dicts the identity of each item.
#include <cmath>
#include "core/err.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "list/list.h"

namespace zk {

namespace {

enum { ZERO, ONE, TOP, BOT, NUL };

// Class by dyadic slot 0..9 (slot 5 `!` is top with char 127, see below).
constexpr G CLS[10] = {NUL, ZERO, ZERO, ONE, ONE, TOP, TOP, BOT, BOT, TOP};
constexpr F FV[5] = {0.0, 1.0, INFINITY, -INFINITY, NAN};
constexpr J JV[5] = {0, 1, WJ, -WJ, NJ};
constexpr I CV5[5] = {0, 1, -1, 0, ' '};

}  // namespace

V iex(V v, V y) {
  if (!v) return y;
  int s = tp(v) == tDYAD ? (int)((U)v & 31) : 0;
  if (s > 9) s = 0;
  int c = CLS[s], t = tp(y);
  if (t >= tINTA) {
    mr(y);
    if (t == tFLTA) return af(FV[c]);
    if (t == tCHRA) return imm(tCHRA, (U)(s == 5 ? 127 : CV5[c]));
    if (t == tSYMA) return as(0);
    return az(JV[c]);
  }
  if (t == tLIST || t == tTABLE || t == tDICT) return r2f(iex, v, y);
  J n = _n(y);
  return rsz(n, iex(v, fir(y)));
}

V ie(V v, V x) {
  int t = tp(x);
  if (v == mp2(12)) return _r(ce[t == tRANGE ? tLONG : t >= tBOOL && t <= tTSPAN ? t : t == tDICT ? tDICT : tLIST]);
  return iex(v, io(x, 0));
}

}  // namespace zk
