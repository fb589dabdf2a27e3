// fill.cpp: the dyadic ^ (crt) and its fill (fil: x supplies values for
// the nulls of y).  Least version: an int or long atom x fills the long
// nulls of an integer atom or vector y, which is what the key search of
// tables needs; every other form fails with 'nyi until fill and except are
// built here.
#include "core/err.h"
#include "list/list.h"

namespace zk {

V fil(V x, V y) {
  int tx = tp(x), ty = tp(y);
  if ((tx != tINTA && tx != tLONGA) || ty < tRANGE || (ty > tLONG && ty != tINTA && ty != tLONGA))
    return en(y);
  J v = gl_(x);
  if (ty == tLONGA) return gl_(y) == NJ ? (mr(y), az(v)) : y;
  if (ty != tLONG) return y;
  U n = nx(y), i = 0;
  while (i < n && PL(y)[i] != NJ) i++;
  if (i == n) return y;
  y = mut(y);
  for (; i < n; i++)
    if (PL(y)[i] == NJ) PL(y)[i] = v;
  return y;
}

V crt(V x, V y) {
  int tx = tp(x);
  if (tx == tINTA || tx == tLONGA) return fil(x, y);
  return en(y);
}

}  // namespace zk
