// inv.cpp: the builtin minv (minvT), the inverse of a square matrix given
// as a general list of n numeric rows of n items, by Gauss-Jordan
// elimination with partial pivoting in place on one working copy of n x n
// doubles plus n pivot indices.  Every product and difference is rounded
// on its own (the build forbids contraction), so the bits are fixed.  A
// singular matrix is no error: every item of the result is NaN.
#include <cmath>
#include <cstdlib>

#include "core/err.h"
#include "list/list.h"
#include "num/num.h"

namespace zk {

namespace {

// Gauss-Jordan on the n x n row-major matrix a; p receives the pivot rows.
// Returns false when the matrix is singular.
bool gj(F *a, I *p, U n) {
  for (U i = 0; i < n; i++) {
    U c = i;
    F big = std::fabs(a[(UJ)i * n + i]);
    for (U r = i + 1; r < n; r++) {
      F v = std::fabs(a[(UJ)r * n + i]);
      if (v > big) big = v, c = r;
    }
    if (!(big > 0)) return false;
    p[i] = (I)c;
    F *ri = a + (UJ)i * n;
    if (c != i) {
      F *rc = a + (UJ)c * n;
      for (U j = 0; j < n; j++) {
        F t = ri[j];
        ri[j] = rc[j], rc[j] = t;
      }
    }
    F g = 1 / ri[i];
    ri[i] = 1;
    for (U j = 0; j < n; j++) ri[j] = ri[j] * g;
    for (U m = 0; m < n; m++) {
      F *rm = a + (UJ)m * n, h = rm[i];
      if (m == i || h == 0) continue;
      rm[i] = 0;
      for (U j = 0; j < n; j++) {
        F q = h * ri[j];
        rm[j] = rm[j] - q;
      }
    }
  }
  for (U h = n; h-- > 0;)
    if ((U)p[h] != h)
      for (U r = 0; r < n; r++) {
        F *rr = a + (UJ)r * n, t = rr[h];
        rr[h] = rr[p[h]], rr[p[h]] = t;
      }
  return true;
}

}  // namespace

V minvT(V x) {
  if (!heap(x) || tp(x) != tLIST) return et(x);
  U n = nx(x);
  if (!n) return x;
  for (U i = 0; i < n; i++) {
    V r = PA(x)[i];
    int t = tp(r);
    if (t < tRANGE || t > tFLT || _n(r) != n) return el(x);
  }
  // n <= 2^32 - 1, so n * n * 8 fits in 64 bits.
  UJ bytes = (UJ)n * n * sizeof(F);
  F *a = (F *)std::malloc(bytes ? bytes : 1);
  I *p = (I *)std::malloc((UJ)n * sizeof(I));
  if (!a || !p) return std::free(a), std::free(p), ez(x);
  for (U i = 0; i < n; i++) {
    V r = ct(tFLT, _r(PA(x)[i]));
    if (!r) return std::free(a), std::free(p), mr(x), (V)0;
    std::memcpy(a + (UJ)i * n, PF(r), (UJ)n * sizeof(F));
    mr(r);
  }
  bool ok = gj(a, p, n);
  V o = an(n, tLIST);
  for (U i = 0; i < n; i++) {
    V r = an(n, tFLT);
    if (ok) std::memcpy(PF(r), a + (UJ)i * n, (UJ)n * sizeof(F));
    else
      for (U j = 0; j < n; j++) PF(r)[j] = NAN;
    PA(o)[i] = r;
  }
  std::free(a), std::free(p);
  mr(x);
  return o;
}

}  // namespace zk
