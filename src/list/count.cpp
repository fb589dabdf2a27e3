// count.cpp: count (len, monadic #) and rank (rnk, the nesting depth).
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

}  // namespace zk
