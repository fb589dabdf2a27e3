// tcast.cpp: a list of texts to longs and the fall-back of `$`.
//
// prsIL reads a general list of texts into a long vector: a char vector
// by the integer grammar of prsI (pil, dollar.cpp), any other item through
// prsI itself.  Bad text gives 0N, never an error.
//
// dlrq is what `$` does with a left argument it does not handle: a
// temporal type name with () gives that type's empty vector, a parser
// letter (P T D M N U V) parses every text of a general list, anything else
// goes to the modules' cast function qcst.  tqnm names the temporal types.
#include <cstring>

#include "core/err.h"
#include "core/sym.h"
#include "eval/each.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/num.h"
#include "table/table.h"

namespace zk {

V prsIL(V x) {
  U n = nx(x);
  V r = an(n, tLONG);
  for (U i = 0; i < n; i++) {
    V a = PA(x)[i];
    if (tp(a) == tCHR) {
      PL(r)[i] = pil(PC(a), nx(a));
      continue;
    }
    V v = prsI(_r(a));
    if (!v) return mr(r), mr(x), (V)0;
    PL(r)[i] = gl(v);
  }
  mr(x);
  return r;
}

static const char *const tqn[7] = {"date", "time", "timestamp", "minute", "second", "month", "timespan"};

I tqnm(V s) {
  const char *t = su(ip(s));
  for (int i = 0; i < 7; i++)
    if (!strcmp(t, tqn[i])) return 33 + i;
  return 0;
}

V dlrq(V x, V y) {
  int tx = tp(x), ty = tp(y);
  if (tx == tSYMA && ty == tLIST && !nx(y)) {
    I a = tqnm(x);
    if (a) return mr(y), _r(ce[TT[a]]);
  }
  if (tx == tCHRA) {
    K1 f = 0;
    switch ((char)ip(x)) {
      case 'P': f = ptP; break;
      case 'T': f = ptT; break;
      case 'D': f = ptD; break;
      case 'M': f = ptM; break;
      case 'N': f = ptN; break;
      case 'U': f = ptU; break;
      case 'V': f = ptV; break;
    }
    if (f) return ty == tLIST ? e1f(f, y) : et(y);
  }
  static V k;
  return k2(&k, "{qcst[x;y]}", x, y);
}

}  // namespace zk
