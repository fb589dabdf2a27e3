// chart.h: the drawing pieces shared by the quick charts (chart.cpp) and
// the chart-specification renderer (pspec.cpp).
//
// Names: BRA dot bit of each dot in a braille cell; bres line drawing;
// nicen nice number; axcalc axis range and tick step; fmtax axis label;
// axclock time of day; chf cast to a float vector; tsz terminal size;
// Ob an output cursor into a char vector sized up front.
//
// Canvas: W x H cells, each 2 dots wide and 4 high, so dot (x, y) with
// 0 <= x < 2W, 0 <= y < 4H lies in cell (x >> 1) + W * (y >> 2).  A cell
// keeps a dot byte (braille bits) and a colour byte (the series that drew
// last into it).  Both live in the scratch arena for one call.
#pragma once
#include "core/core.h"

namespace zk {

// Axis kinds: what the numbers on an axis count.
enum : int { AXN = 0, AXMS = 1, AXDAY = 2, AXNS = 3, AXSEC = 4 };

extern const G BRA[8];
void bres(G *dots, G *cols, J W, J H, J x0, J y0, J x1, J y1, G colour);
F nicen(F x);
void axcalc(int ticks, F *lo, F *hi, F *step, F a, F b);
int fmtax(char *buf, int size, int kind, F v, F step, F span);
int axclock(char *buf, int size, J ns, F step);

// Consumes x; a float vector of its items (an atom gives one item), or 0
// with the error set.
V chf(V x);
// Columns and rows of the window on descriptor 1; false when unknown.
bool tsz(int *cols, int *rows);

// Output cursor: the caller sizes the char vector for the most it can
// write, then lowers its count to what was written.
struct Ob {
  char *p;
};
ZK_INLINE void put(Ob &o, const char *s, UJ n) {
  memcpy(o.p, s, n);
  o.p += n;
}
ZK_INLINE void putz(Ob &o, const char *s) { put(o, s, strlen(s)); }
ZK_INLINE void putn(Ob &o, char c, J n) {
  for (J i = 0; i < n; i++) *o.p++ = c;
}
// The braille character of dot byte b (non-zero).
ZK_INLINE void putb(Ob &o, G b) {
  o.p[0] = (char)0xE2, o.p[1] = (char)(0xA0 | (b >> 6)), o.p[2] = (char)(0x80 | (b & 0x3F));
  o.p += 3;
}
// A label right-aligned in w columns, cut to its first w bytes.
void putr(Ob &o, const char *s, int n, int w);
// The char vector r holding what o wrote since its start.
ZK_INLINE V obend(V r, const Ob &o) {
  hd(r)->count = (U)(o.p - PC(r));
  return r;
}

// Releases x unless it is 0 (a slot never filled).
ZK_INLINE void mr0(V x) {
  if (x) mr(x);
}

// The text of a chart with no data.
V chempty();

V plotSpec(V spec);

}  // namespace zk
