// bang.cpp: the dyadic `!` verb (exc): dicts from keys and values, the
// modulo for an integer on the left, and the gate to the system functions
// chosen by a negative integer.  x is borrowed, y consumed.
//
// least version: keyed tables (exck) fail with 'nyi until their subsystem
// exists; the dict, modulo, message and log replay paths are complete.
#include "core/err.h"
#include "io/io.h"
#include "list/list.h"
#include "core/sym.h"
#include "num/num.h"

namespace zk {

namespace {
// y repeated to n items: a vector of its atom, or a list of the value.
V rep(V y, J n) {
  if (n > 0xFFFFFFFFll) return ez(y);
  V l = an((U)n ? (U)n : 1, tLIST);
  hd(l)->count = (U)n;
  if (!n) PA(l)[0] = _r(ce[tCHR]);
  for (J i = 0; i < n; i++) PA(l)[i] = _r(y);
  mr(y);
  return n ? sqz(l) : l;
}
}  // namespace

V exc(V x, V y) {
  int tx = tp(x), ty = tp(y);
  if (tx == tCHRA) return mod(x, y);
  if (tx == tSYMA) {
    V k = rep(_r(x), _n(y));
    if (!k) return mr(y), (V)0;
    V r = exc(k, y);
    mr(k);
    return r;
  }
  if (tx == tINTA || tx == tLONGA) {
    J n = gl_(x);
    if (n == -3) return kst(y);
    if (n == -8) {
      V r = qser(y, 0);
      mr(y);
      return r;
    }
    if (n == -9) return qdes(y);
    if (n == -11) return qrpl(y);
    if (ty == tTABLE || (ty == tDICT && tp(PA(y)[0]) == tTABLE)) return en(y);  // keyed tables
    return mod(x, y);
  }
  if (tx >= tLIST && tx <= tTABLE) {
    if (ty == tDICT) return el(y);
    if (ty >= 20) {
      y = rep(y, _n(x));
      if (!y) return 0;
    }
    if (_n(x) != _n(y)) return el(y);
    return am(_r(x), y);
  }
  return et(y);
}

}  // namespace zk
