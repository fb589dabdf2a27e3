// chart.cpp: charts drawn as text: the braille canvas and its line
// drawing, axis ranges, ticks and labels, the quick line chart (`plt`,
// plotC) and the candlestick chart (`cdl`, candleC).
//
// Both builtins return the chart as a new char vector and never write to
// the terminal; they only read its window size on descriptor 1 to size the
// chart.  Canvas bytes come from the calling thread's scratch arena and are
// given back on every path before the builtin returns.
//
// Every coordinate is computed in doubles and held to a finite range
// before it becomes an integer: a NaN or infinite datum gives no dot, never
// an out-of-range conversion.  NaN items are skipped: the quick chart
// breaks its line at them and takes its range over the other items.
#include "shell/chart.h"

#include <sys/ioctl.h>
#include <unistd.h>
#include <cmath>
#include <cstdio>
#include "core/err.h"
#include "core/sym.h"
#include "io/numtext.h"
#include "list/list.h"
#include "num/num.h"
#include "shell/shell.h"

namespace zk {

const G BRA[8] = {0x01, 0x08, 0x02, 0x10, 0x04, 0x20, 0x40, 0x80};

void bres(G *d, G *c, J W, J H, J x0, J y0, J x1, J y1, G col) {
  J dx = x1 > x0 ? x1 - x0 : x0 - x1, dy = y1 > y0 ? y1 - y0 : y0 - y1;
  J sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1, err = dx - dy;
  for (J x = x0, y = y0;;) {
    if (x >= 0 && x < 2 * W && y >= 0 && y < 4 * H) {
      J k = (x >> 1) + W * (y >> 2);
      d[k] |= BRA[(y & 3) * 2 + (x & 1)];
      c[k] = col;
    }
    if (x == x1 && y == y1) break;
    J e2 = 2 * err;
    if (e2 >= -dy) err -= dy, x += sx;
    if (e2 <= dx) err += dx, y += sy;
  }
}

namespace {

// c times 10^k, exact while 10^|k| is (|k| <= 22).
F sc10(F c, int k) {
  F p = 1;
  for (int i = 0; i < (k < 0 ? -k : k); i++) p *= 10;
  return k < 0 ? c / p : c * p;
}

// x (> 0) as m times 10^k with 1 <= m < 10, k found in at most 300 steps.
F msplit(F x, int *k) {
  int e = 0;
  for (int i = 0; i < 300 && x >= 10; i++) x /= 10, e++;
  for (int i = 0; i < 300 && x < 1; i++) x *= 10, e--;
  *k = e;
  return x;
}

// The next smaller nice step: 5 -> 2, 2 -> 1, 1 -> 0.5 of one power of ten.
F nicedn(F s) {
  int k;
  F m = msplit(s, &k);
  if (m >= 3.5) return sc10(2, k);
  if (m >= 1.5) return sc10(1, k);
  return sc10(5, k - 1);
}

// floor or ceil of q, unless q is too large to have a fraction.
F fl(F q) { return q > -1e15 && q < 1e15 ? std::floor(q) : q; }
F cl(F q) { return q > -1e15 && q < 1e15 ? std::ceil(q) : q; }

// The nearest whole number, halves away from zero; |v| < 9.2e18.
J whole(F v) { return (J)std::round(v); }

constexpr J NSD = 86400000000000;  // nanoseconds per day

int cut(char *buf, int size, const char *s, int n) {
  if (size <= 0) return 0;
  if (n > size - 1) n = size - 1;
  if (n < 0) n = 0;
  memcpy(buf, s, (size_t)n);
  buf[n] = 0;
  return n;
}

}  // namespace

F nicen(F x) {
  if (!(x > 0)) return 1;
  int k;
  F m = msplit(x, &k);
  return sc10(m < 1.5 ? 1 : m < 3 ? 2 : m < 7 ? 5 : 10, k);
}

void axcalc(int ticks, F *plo, F *phi, F *pst, F a, F b) {
  F lo = a < b ? a : b, hi = a < b ? b : a;
  if (a == b) {
    if (a != 0) lo = a - std::fabs(a) / 2, hi = a + std::fabs(a) / 2;
    else lo = -0.5, hi = 0.5;
  }
  F range = hi - lo;
  *plo = lo, *phi = hi, *pst = range;
  F s = nicen(range / ticks);
  if (!(s > 0 && s < 1e300)) return;
  F m = fl(lo / s) * s, r = cl(hi / s) * s;
  for (int i = 0; i < 3 && range > 0 && r - m > 1.34 * range; i++) {
    s = nicedn(s);
    if (!(s > 0)) break;
    m = fl(lo / s) * s, r = cl(hi / s) * s;
  }
  if (m < r) {
    *plo = m, *phi = r;
    F st = nicen((r - m) / ticks);
    *pst = st > 0 ? st : r - m;
  }
}

int axclock(char *buf, int size, J ns, F step) {
  char t[64];
  long long h = ns / 3600000000000, mi = ns / 60000000000 % 60, s = ns / 1000000000 % 60;
  int n;
  if (step >= 1e9) n = snprintf(t, sizeof t, "%02lld:%02lld:%02lld", h, mi, s);
  else if (step >= 1e6) n = snprintf(t, sizeof t, "%02lld:%02lld:%02lld.%03lld", h, mi, s, (long long)(ns / 1000000 % 1000));
  else if (step >= 1e3) n = snprintf(t, sizeof t, "%02lld:%02lld:%02lld.%06lld", h, mi, s, (long long)(ns / 1000 % 1000000));
  else n = snprintf(t, sizeof t, "%02lld:%02lld:%02lld.%09lld", h, mi, s, (long long)(ns % 1000000000));
  return cut(buf, size, t, n);
}

int fmtax(char *buf, int size, int kind, F v, F step, F span) {
  char t[64];
  int n;
  if (kind < 0 || kind > 4) kind = 0;
  if (v != v) return cut(buf, size, "nan", 3);
  // Whole-number kinds: a value past the 64-bit range has no clock or
  // date; it is written as a plain number.
  if (kind == AXN || !(std::fabs(v) < 9.2e18)) {
    int dec = 0;
    if (kind == AXN && step > 0 && step < 1)
      for (F s = step; s < 1 && dec < 6; s *= 10) dec++;
    F a = std::fabs(v);
    if (kind != AXN || a >= 1e7 || (v != 0 && a < 1e-4)) n = snprintf(t, sizeof t, "%.4g", v);
    else n = snprintf(t, sizeof t, "%.*f", dec, v);
    return cut(buf, size, t, n);
  }
  J w = whole(v);
  switch (kind) {
    case AXMS: return axclock(buf, size, (w < 0 ? 0 : w) % 86400000 * 1000000, step * 1e6);
    case AXSEC: return axclock(buf, size, (w < 0 ? 0 : w) % 86400 * 1000000000, step * 1e9);
    case AXDAY: break;
    default: {  // nanoseconds
      J d = w / NSD, r = w % NSD;
      if (r < 0) r += NSD, d--;
      if (span < 8.64e13) return axclock(buf, size, r, step);
      if (span < 2.6e15) {
        int64_t y;
        uint32_t mo, dd;
        civ(d, &y, &mo, &dd);
        n = snprintf(t, sizeof t, "%02lld.%02lldD%02lld:%02lld", (long long)mo, (long long)dd,
                     (long long)(r / 3600000000000), (long long)(r / 60000000000 % 60));
        return cut(buf, size, t, n);
      }
      w = d;
    }
  }
  int64_t y;
  uint32_t mo, dd;
  civ(w, &y, &mo, &dd);
  n = snprintf(t, sizeof t, "%04lld.%02lld.%02lld", (long long)y, (long long)mo, (long long)dd);
  return cut(buf, size, t, n);
}

bool tsz(int *cols, int *rows) {
  struct winsize w;
  if (ioctl(1, TIOCGWINSZ, &w) != 0) return false;
  *cols = w.ws_col, *rows = w.ws_row;
  return true;
}

V chempty() { return aCz("(empty)\n"); }

void putr(Ob &o, const char *s, int n, int w) {
  if (n > w) n = w;
  putn(o, ' ', w - n);
  put(o, s, (UJ)n);
}

// A series as a float vector: an atom is a series of one, and a general
// list must cast to float atoms throughout (a nested series is 'type).
V chf(V x) {
  if (isatom(tp(x))) x = enl(x);
  if (!x || !(x = ct(tFLT, x))) return 0;
  if (tp(x) == tLIST && !(x = sqz(x))) return 0;
  return tp(x) == tFLT ? x : et(x);
}

namespace {

// An int or long atom's value; anything else is 'type (x released).
bool glong(V x, J *v) {
  int t = tp(x);
  if (t != tINTA && t != tLONGA) return et(x), false;
  *v = gl(x);
  return true;
}

// Scratch mark of the calling thread's arena.
struct Mark {
  UJ off;
  void *chunk;
};
Mark mark() { return {tl.a_off, tl.a_over}; }
void back(Mark m) { arena_release(m.off, m.chunk); }

// The sizes of the quick chart: widest, default width, highest, default
// height.
void qsizes(J *wmax, J *wdef, J *hmax, J *hdef) {
  int cols, rows;
  *wmax = 120, *wdef = 70, *hdef = 15, *hmax = 32;
  if (!tsz(&cols, &rows) || cols <= 20) return;
  *wmax = cols - 11 < 200 ? cols - 11 : 200;
  *wdef = *wmax < 70 ? *wmax : 70;
  if (rows > 8) {
    *hmax = rows - 4 < 60 ? rows - 4 : 60;
    *hdef = *hmax < 15 ? *hmax : 15;
  }
}

J clampj(J v, J lo, J hi) { return v < lo ? lo : v > hi ? hi : v; }

// A dot coordinate from its double form, held to lo .. hi; NaN is -1.
J dotc(F v, J lo, J hi) {
  if (v != v) return -1;
  if (v < (F)lo) v = (F)lo;
  if (v > (F)hi) v = (F)hi;
  return (J)v;
}

// Writes the chart of the float vector y on a W x H canvas.
V qdraw(V y, J W, J H) {
  U n = nx(y);
  const F *v = PF(y);
  F mn = NAN, mx = NAN;
  for (U i = 0; i < n; i++)
    if (v[i] == v[i]) {
      if (!(v[i] >= mn)) mn = v[i];
      if (!(v[i] <= mx)) mx = v[i];
    }
  F range = mx - mn;
  if (!(range > 0)) range = 1;
  Mark m = mark();
  G *d = (G *)arena_alloc((UJ)(W * H * 2));
  if (!d) return back(m), eo0();
  G *c = d + W * H;
  memset(d, 0, (size_t)(W * H * 2));
  J px = 0, py = 0;
  bool prev = false;
  for (U i = 0; i < n; i++) {
    F yr = ((mn - v[i]) / range + 1) * (F)(4 * H - 1) + 0.5;
    if (yr != yr) {
      prev = false;
      continue;
    }
    J x = n == 1 ? W : (J)std::fmin((F)(2 * W - 1), std::trunc((F)i * (F)(2 * W - 1) / (F)(n - 1) + 0.5));
    J yy = dotc(yr, 0, 4 * H - 1);
    bres(d, c, W, H, prev ? px : x, prev ? py : yy, x, yy, 1);
    px = x, py = yy, prev = true;
  }
  V r = an((U)(H * (13 + 3 * W)), tCHR);
  Ob o{PC(r)};
  char lb[32];
  for (J row = 0; row < H; row++) {
    F lv = row == 0 ? mx : row == H - 1 ? mn : mx - (F)row * range / (F)(H - 1);
    UJ b;
    memcpy(&b, &lv, 8);
    putr(o, lb, (int)(sf(lb, b) - lb), 8);
    putz(o, " \xe2\x94\x82");
    for (J k = row * W; k < row * W + W; k++)
      if (d[k]) putb(o, d[k]);
      else *o.p++ = ' ';
    *o.p++ = '\n';
  }
  back(m);
  return obend(r, o);
}

}  // namespace

V plotC(V x) {
  int t = tp(x);
  if (t == tLIST && nx(x) == 10 && tp(PA(x)[0]) == tLIST) return plotSpec(x);
  J wmax, W, hmax, H;
  qsizes(&wmax, &W, &hmax, &H);
  V y = x;
  if (t == tLIST && nx(x)) {
    U n = nx(x);
    y = ii(x, 0);
    if ((n > 1 && !glong(ii(x, 1), &W)) || (n > 2 && !glong(ii(x, 2), &H))) return mr(y), mr(x), (V)0;
    mr(x);
  }
  if (!(y = chf(y))) return 0;
  if (!nx(y)) return mr(y), chempty();
  W = clampj(W, 10, wmax);
  H = H < 3 ? 3 : H > hmax ? hmax : H;
  V r = qdraw(y, W, H);
  mr(y);
  return r;
}

// ---------------------------------------------------------------- candles

namespace {

struct Cdl {
  const F *o, *h, *l, *c, *x;  // x null when the x values are not used
  J n, H;
  int kind;
};

// The x-axis line under the candles.
void cxaxis(Ob &o, const Cdl &k) {
  J n = k.n;
  F x0 = k.x[0], x1 = k.x[n - 1];
  F span = x1 - x0, step = n > 1 ? (x1 - x0) / (F)(n - 1) : 1;
  if (!(span > 0)) span = 1;
  if (!(step > 0)) step = 1;
  int w = 8;
  if (k.kind == AXDAY) w = 10;
  else if (k.kind == AXMS) w = step < 1000 ? 12 : 8;
  else if (k.kind == AXNS) w = span >= 8.64e13 ? (span < 2.6e15 ? 11 : 10) : step < 1e6 ? 19 : step < 1e9 ? 12 : 8;
  J every = (w + 3) / 2, fw = 2 * n + 2, last = -1;
  putn(o, ' ', 9);
  char *f = o.p;
  putn(o, ' ', fw);
  char lb[32];
  for (J i = 0; i < n; i += every) {
    J len = fmtax(lb, sizeof lb, k.kind, k.x[i], step, span);
    J s = 2 * i - len / 2;
    if (s < 0) s = 0;
    if (s + len > fw) s = fw - len;
    if (s < 0 || s <= last) continue;
    memcpy(f + s, lb, (size_t)len);
    last = s + len;
  }
  *o.p++ = '\n';
}

V cdraw(const Cdl &k) {
  F hi = NAN, lo = NAN;
  for (J i = 0; i < k.n; i++) {
    if (!(k.h[i] <= hi)) hi = k.h[i] == k.h[i] ? k.h[i] : hi;
    if (!(k.l[i] >= lo)) lo = k.l[i] == k.l[i] ? k.l[i] : lo;
  }
  F range = hi - lo;
  if (!(range > 0)) range = 1;
  J H = k.H;
  auto row = [&](F v) { return std::trunc(((lo - v) / range + 1) * (F)(H - 1) + 0.5); };
  V r = an((U)(H * (13 + 13 * k.n) + 12 + 2 * k.n), tCHR);
  Ob o{PC(r)};
  char lb[32];
  for (J ln = 0; ln < H; ln++) {
    F lv = ln == 0 ? hi : ln == H - 1 ? lo : hi - (F)ln * range / (F)(H - 1);
    putr(o, lb, fmtax(lb, sizeof lb, AXN, lv, range / (F)(H - 1), 0), 8);
    putz(o, "\xe2\x94\x82");
    F rl = (F)ln;
    for (J i = 0; i < k.n; i++) {
      F o_ = k.o[i], c = k.c[i];
      F bt = row(o_ > c ? o_ : c), bb = row(o_ > c ? c : o_);  // body rows, top and bottom
      const char *ch = rl >= bt && rl <= bb ? "\xe2\x96\x88" : rl >= row(k.h[i]) && rl <= row(k.l[i]) ? "\xe2\x94\x82" : 0;
      if (ch) {
        putz(o, c >= o_ ? "\033[32m" : "\033[31m");
        putz(o, ch);
        putz(o, "\033[0m");
      } else {
        *o.p++ = ' ';
      }
      *o.p++ = ' ';
    }
    *o.p++ = '\n';
  }
  if (k.x && k.kind != AXN) cxaxis(o, k);
  return obend(r, o);
}

}  // namespace

V candleC(V x) {
  if (tp(x) != tLIST || (nx(x) != 4 && nx(x) != 6)) return et(x);
  V s[5] = {0, 0, 0, 0, 0};
  U m = nx(x);
  J kind = 0;
  bool ok = true;
  for (U i = 0; i < 4 && ok; i++) ok = (s[i] = chf(ii(x, i))) != 0;
  if (ok && m == 6) {
    V xv = ii(x, 4);
    if (_n(xv)) ok = (s[4] = chf(xv)) != 0;
    else mr(xv);
    ok = ok && glong(ii(x, 5), &kind);
  }
  mr(x);
  V r = 0;
  if (ok) {
    J n = nx(s[0]);
    // Every price vector must have a price for every candle.
    if (nx(s[1]) != n || nx(s[2]) != n || nx(s[3]) != n) r = el0();
    else if (!n) r = chempty();
    else {
      int cols, rows;
      J most = 120, H = 15;
      if (tsz(&cols, &rows) && cols > 20) {
        most = cols / 2 - 5;
        H = rows >= 11 && rows <= 19 ? rows - 4 : 15;
      }
      J off = n > most ? n - most : 0;
      const F *xs = s[4] && nx(s[4]) >= n ? PF(s[4]) + off : nullptr;
      Cdl k{PF(s[0]) + off, PF(s[1]) + off, PF(s[2]) + off, PF(s[3]) + off, xs, n - off, H,
            kind >= 0 && kind <= 4 ? (int)kind : 0};
      r = cdraw(k);
    }
  }
  for (V v : s) mr0(v);
  return r;
}

}  // namespace zk
