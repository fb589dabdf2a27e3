// hex.cpp: hexadecimal text to bytes (unhC; see hex.h).
#include "io/hex.h"

#include "core/err.h"

namespace zk {

// Value of a hex digit, or 16 for anything else.
static inline unsigned hexv(unsigned char c) {
  if ((unsigned)(c - '0') < 10u) return c - '0';
  c |= 0x20;
  if ((unsigned)(c - 'a') < 6u) return c - 'a' + 10;
  return 16;
}

V unhC(V x) {
  U n = nx(x);
  if (n & 1) return el0();
  const unsigned char *s = P(x);
  V r = an(n / 2, tCHR);
  G *d = P(r);
  for (U i = 0; i < n; i += 2) {
    unsigned h = hexv(s[i]), l = hexv(s[i + 1]);
    if ((h | l) > 15) {
      mr(r);
      return ed0();
    }
    d[i / 2] = (G)(h << 4 | l);
  }
  return r;
}

}  // namespace zk
