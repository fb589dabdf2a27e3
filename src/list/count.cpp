// count.cpp: count (len, monadic #), rank (rnk, the nesting depth) and
// the kind test fmx (text or numbers at any depth).
// Counting never materialises ranges, tables or dicts: _n reads the count
// rule (a range end - start, a table its rows, a dict its values).
#include "list/list.h"

namespace zk {

V len(V x) {
  J n = _n(x);
  mr(x);
  return n < 0x80000000ll ? ai((I)n) : al(n);
}

I rnk(V x) {
  int t = tp(x);
  if (t >= tINTA) return 0;
  if (t == tTABLE || t == tDICT) return rnk(PA(x)[1]);
  if (t != tLIST) return 1;
  U n = nx(x);
  // an empty list has the rank of its prototype
  I r = rnk(PA(x)[0]);
  for (U i = 1; r >= 0 && i < n; i++)
    if (rnk(PA(x)[i]) != r) r = -1;
  return r < 0 ? -1 : r + 1;
}

I fmx(V x, I f) {
  int t = tp(x);
  while (t == tTABLE || t == tDICT) t = tp(x = PA(x)[1]);
  if (t == tLIST) {
    for (U i = 0, n = nx(x); i < n; i++)
      if (I r = fmx(PA(x)[i], f); r & 1) return r;
    return 0;
  }
  if (!f) return t == tCHR || t == tCHRA;
  return (t >= tRANGE && t <= tFLT) || (t >= tINTA && t <= tFLTA);
}

}  // namespace zk
