// compress.cpp: cmprC, the items of x where a 0/1 byte mask holds 1, for
// the compiler's fused x@&mask and the fused idioms.
//
// The fast path never builds the index list: a typed vector of 1 to 8
// bytes an item and a byte mask no longer than it go through the
// word-at-a-time kernel of the mask kernels (cmpk), which also reports a
// byte above 1.  Such a mask means counts, not a selection, and like any
// other shape it takes the general route x@&y, whose answer the fast path
// must equal.
#include "eval/eval.h"
#include "list/list.h"
#include "num/cmpcnt.h"

namespace zk {

namespace {

// Kept items of the first n of x (type t) into r by the width of t; the
// kept count, *flag set for a byte above 1.
UJ cmpw(V x, const G *m, V r, int t, U n, int32_t *flag) {
  switch (Tw[t]) {
    case 3: return cmpk(P<uint8_t>(x), m, P<uint8_t>(r), n, flag);
    case 4: return cmpk(P<uint16_t>(x), m, P<uint16_t>(r), n, flag);
    case 5: return cmpk(P<uint32_t>(x), m, P<uint32_t>(r), n, flag);
    default: return zkb_compress_64_gen(P<uint64_t>(x), m, P<uint64_t>(r), n, flag);
  }
}

}  // namespace

V cmprC(V x, V y) {
  int t = tp(x);
  if (heap(x) && t >= tBYTE && t <= tTSPAN && heap(y) && tp(y) == tBYTE && nx(y) && nx(x) >= nx(y)) {
    U n = nx(y);
    V r = an(n, t);
    int32_t flag;
    UJ k = cmpw(x, P(y), r, t, n, &flag);
    if (!flag) {
      mr(y);
      hd(r)->count = (U)k;
      return r;
    }
    mr(r);
  }
  V w = whr(y);
  return w ? _1(x, w) : 0;
}

}  // namespace zk
