// attr.cpp: attributes (sorted, unique, parted, grouped): setting them
// through the take form `s#x and verifying them.  Names: atlist = the
// attribute form of take for a list or vector, atkeys = the sorted
// attribute of a table's rows or of a dict's keys.
//
// least version: both fail with 'nyi until attributes are built; atok
// checks by sorting a copy of the keys.
#include <algorithm>
#include <vector>
#include "core/err.h"
#include "order/order.h"

namespace zk {

namespace {
// Ordered key of item i of a vector of types 4..17: integers as they are,
// floats through their ordered bits with every NaN lowest and -0 equal to 0.
J okey(V x, int t, U i) {
  switch (Tw[t]) {
    case 3: return t == tCHR ? (J)P<G>(x)[i] : (J)P<int8_t>(x)[i];
    case 4: return P<int16_t>(x)[i];
    case 5: return PI(x)[i];
    default:
      if (t != tFLT) return PL(x)[i];
      F d = PF(x)[i];
      if (d != d) return NJ;
      if (d == 0) return 0;
      J b;
      memcpy(&b, &d, 8);
      return b < 0 ? (b ^ WJ) + 1 : b;  // +1 keeps the negatives above NaN's NJ
  }
}
}  // namespace

bool atok(V x, int k) {
  if (k == 4) return true;
  if (k < 1 || k > 3 || !heap(x)) return false;
  int t = tp(x);
  if (t < tBYTE || t > tTSPAN || t == tSYM) return false;
  U n = nx(x);
  if (k == 1) {
    for (U i = 1; i < n; i++)
      if (okey(x, t, i - 1) > okey(x, t, i)) return false;
    return true;
  }
  std::vector<J> v(n);
  for (U i = 0; i < n; i++) v[i] = okey(x, t, i);
  U runs = n ? 1 : 0;
  for (U i = 1; i < n; i++) runs += v[i] != v[i - 1];
  std::sort(v.begin(), v.end());
  U d = (U)(std::unique(v.begin(), v.end()) - v.begin());
  return k == 2 ? d == n : runs == d;
}

V atlist(V, V x) { return en(x); }
V atkeys(V x, I) { return en(x); }

}  // namespace zk
