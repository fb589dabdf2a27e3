// pspec.cpp: the chart-specification renderer plotSpec, reached from `plt`
// when its argument is a ten-item list whose first item is a list of
// series.  Items: 0 series y values, 1 series x values, 2 settings (width,
// height, grid, frame, legend, colour, x kind, y kind), 3 fixed bounds (y
// min, y max, x min, x max; NaN = automatic), 4 title, 5 x title, 6 y
// title, 7 legend names, 8 series colours, 9 series styles.
//
// Names: DFC default series colours; LDY LSC LMS LNS tick steps of the
// temporal axes (days, seconds, milliseconds, nanoseconds); Ser one series;
// Ax one axis; Pl the whole chart while it is drawn.
//
// Every failure releases what was cast and gives the arena back.  Tick
// loops stop when adding the step no longer moves the tick (a range below
// the bounds' precision, or an infinite bound), and a coordinate that
// comes out NaN is never drawn.
#include <unistd.h>
#include <cmath>
#include <cstdio>
#include "core/err.h"
#include "core/sym.h"
#include "list/list.h"
#include "num/num.h"
#include "shell/chart.h"

namespace zk {

namespace {

const int DFC[12] = {39, 208, 78, 203, 141, 179, 45, 211, 116, 222, 99, 150};
const F LDY[] = {1, 7, 14, 28, 91, 182, 365, 730, 1826, 3652};
const F LSC[] = {1, 5, 15, 30, 60, 300, 900, 1800, 3600, 7200, 14400, 28800, 86400};
const F LMS[] = {1, 10, 100, 1000, 5000, 15000, 30000, 60000, 300000, 900000, 1800000, 3600000,
                 7200000, 14400000, 28800000, 86400000};
const F LNS[] = {1e3,   1e4,    1e5,    1e6,    1e7,   1e8,     1e9,      5e9,       1.5e10,   3e10,   6e10,
                 3e11,  9e11,   1.8e12, 3.6e12, 7.2e12, 1.44e13, 2.88e13, 8.64e13, 6.048e14, 2.592e15, 3.1536e16};

// More ticks than this on one axis mark every dot anyway; the loop stops
// rather than walk a huge range in small steps.
constexpr int TMAX = 1 << 20;
constexpr J NOC = INT64_MIN;  // a coordinate that is not drawn

struct Ser {
  V y, x;  // float vectors; x 0 when the series has none
  J n;
};

struct Ax {
  F lo, hi, step, range;
  int kind;
};

struct Pl {
  J W, H;
  G *dots, *cols, *grid;
  Ax xa, ya;
};

bool fin(F v) { return v > -1e308 && v < 1e308; }

J hold(F v) {
  if (v != v) return NOC;
  return (J)(v < -1e6 ? -1e6 : v > 1e6 ? 1e6 : v);
}
J colof(const Pl &p, F x) { return hold(std::trunc((x - p.xa.lo) * (F)(2 * p.W - 1) / p.xa.range + 0.5)); }
J rowof(const Pl &p, F y) { return hold(std::trunc(((p.ya.lo - y) / p.ya.range + 1) * (F)(4 * p.H - 1) + 0.5)); }
bool oncol(const Pl &p, J c) { return c != NOC && c >= 0 && c < 2 * p.W; }
bool onrow(const Pl &p, J r) { return r != NOC && r >= 0 && r < 4 * p.H; }

// Walks the ticks of an axis: fn(value) for each.
template <class Fn> void ticks(const Ax &a, Fn fn) {
  F q = a.lo / a.step;
  F t = (q > -1e15 && q < 1e15 ? std::ceil(q) : q) * a.step;
  for (int i = 0; i < TMAX && t <= a.hi + a.step * 1e-9; i++) {
    fn(t);
    F u = t + a.step;
    if (!(u > t)) break;
    t = u;
  }
}

// The step of a temporal axis: the first table step of at least range /
// ticks, else the table's last.
F tstep(int kind, F range, int nt) {
  const F *s;
  int n;
  switch (kind) {
    case AXDAY: s = LDY, n = sizeof LDY / 8; break;
    case AXSEC: s = LSC, n = sizeof LSC / 8; break;
    case AXMS: s = LMS, n = sizeof LMS / 8; break;
    default: s = LNS, n = sizeof LNS / 8;
  }
  F v = range / nt;
  if (!(v > 0)) v = 1;
  for (int i = 0; i < n; i++)
    if (s[i] >= v) return s[i];
  return s[n - 1];
}

// Range and step of one axis from the data bounds, the tick count and the
// fixed bounds (NaN = automatic).
Ax axis(int kind, F dlo, F dhi, int nt, F blo, F bhi) {
  Ax a;
  a.kind = kind;
  axcalc(nt, &a.lo, &a.hi, &a.step, dlo, dhi);
  if (blo == blo || bhi == bhi) {
    if (blo == blo) a.lo = blo;
    if (bhi == bhi) a.hi = bhi;
    if (!(a.hi > a.lo)) a.hi = a.lo + 1;
    a.step = nicen((a.hi - a.lo) / nt);
  }
  if (kind != AXN) a.step = tstep(kind, a.hi - a.lo, nt);
  a.range = a.hi - a.lo;
  if (!(a.range > 0)) a.range = 1;
  return a;
}

void dot(Pl &p, J c, J r, G s) {
  if (oncol(p, c) && onrow(p, r)) bres(p.dots, p.cols, p.W, p.H, c, r, c, r, s);
}
void line(Pl &p, J c0, J r0, J c1, J r1, G s) {
  if (c0 == NOC || r0 == NOC || c1 == NOC || r1 == NOC) return;
  bres(p.dots, p.cols, p.W, p.H, c0, r0, c1, r1, s);
}

// Many points on few columns: one vertical line per dot column over the
// rows its points reach, joined column to column.
void envelope(Pl &p, const Ser &s, G id) {
  const F *y = PF(s.y), *x = s.x ? PF(s.x) : nullptr;
  bool open = false, done = false;  // a column is gathering; an earlier one was finished
  J cc = 0, lo = 0, hi = 0, pc = 0, pmax = 0;
  auto finish = [&](bool join) {
    line(p, cc, lo, cc, hi, id);
    if (join && done) line(p, pc, pmax, cc, lo <= pmax ? hi : lo, id);
    done = true, pc = cc, pmax = hi, open = false;
  };
  for (J i = 0; i < s.n; i++) {
    F xv = x ? x[i] : (F)i;
    J c = colof(p, xv), r = rowof(p, y[i]);
    if (y[i] != y[i] || xv != xv || c == NOC || r == NOC) {
      if (open) finish(true);
      done = false;  // the gap breaks the line
      continue;
    }
    if (open && c == cc) {
      lo = r < lo ? r : lo, hi = r > hi ? r : hi;
      continue;
    }
    if (open) finish(true);
    open = true, cc = c, lo = hi = r;
  }
  if (open) line(p, cc, lo, cc, hi, id);
}

void points(Pl &p, const Ser &s, G id, J style, J base) {
  const F *y = PF(s.y), *x = s.x ? PF(s.x) : nullptr;
  bool prev = false;
  J pc = 0, pr = 0;
  for (J i = 0; i < s.n; i++) {
    F xv = x ? x[i] : (F)i;
    J c = colof(p, xv), r = rowof(p, y[i]);
    if (y[i] != y[i] || xv != xv || c == NOC || r == NOC) {
      prev = false;
      continue;
    }
    switch (style) {
      case 1:
        dot(p, c, r, id), dot(p, c + 1, r, id), dot(p, c, r + 1, id), dot(p, c + 1, r + 1, id);
        break;
      case 3: line(p, c, r, c, base, id); break;
      case 2:
        if (prev) line(p, pc, pr, c, pr, id), line(p, c, pr, c, r, id);
        else dot(p, c, r, id);
        break;
      default:
        if (!prev) dot(p, c, r, id);
        else if (!((pr < 0 && r < 0) || (pr >= 4 * p.H && r >= 4 * p.H) || (pc < 0 && c < 0) ||
                   (pc >= 2 * p.W && c >= 2 * p.W)))
          line(p, pc, pr, c, r, id);
    }
    prev = true, pc = c, pr = r;
  }
}

bool nondecr(const Ser &s) {
  if (!s.x) return true;
  const F *x = PF(s.x);
  for (J i = 1; i < s.n; i++)
    if (x[i] < x[i - 1]) return false;
  return true;
}

// Text of a char vector item, or none.
struct Txt {
  const char *s;
  J n;
};
Txt txt(V v) {
  if (tp(v) != tCHR) return {"", 0};
  return {PC(v), nx(v)};
}

// Colour escapes, written only when colour is on.
struct Out {
  Ob o;
  bool on;
};
void esc(Out &w, J c) {
  if (!w.on) return;
  char b[32];
  put(w.o, b, (UJ)snprintf(b, sizeof b, "\033[38;5;%lldm", (long long)c));
}
void rst(Out &w) {
  if (w.on) putz(w.o, "\033[0m");
}
void centred(Out &w, Txt t, J total, J colour, bool bold) {
  if (!t.n) return;
  if (total - t.n >= 2) putn(w.o, ' ', (total - t.n) / 2);
  if (bold) {
    if (w.on) putz(w.o, "\033[1m");
  } else {
    esc(w, colour);
  }
  put(w.o, t.s, (UJ)t.n);
  rst(w);
  *w.o.p++ = '\n';
}

// Everything read from the specification.
struct Spec {
  Ser s[12];
  int ns;  // series remaining
  V set, bnd, col, sty;
  J nset;
  V v;  // the specification itself
};

void sfree(Spec &q) {
  for (int i = 0; i < q.ns; i++) mr(q.s[i].y), mr0(q.s[i].x);
  mr0(q.set), mr0(q.bnd), mr0(q.col), mr0(q.sty), mr(q.v);
}

// A long vector of v (consumed): the cast keeps a range as it is, and the
// renderer reads the items in place; a range made a vector is narrowed.
V lvec(V v) {
  v = ct(tLONG, v);
  if (v && tp(v) == tRANGE && (v = gZ(v))) v = ct(tLONG, v);
  return v;
}

// Casts item k of the specification to longs when it has at least need
// items; true with *out 0 when it has fewer.

bool longs(V spec, int k, J need, V *out) {
  V v = PA(spec)[k];
  *out = 0;
  if (_n(v) < need || isatom(tp(v))) return true;
  return (*out = lvec(_r(v))) != 0;
}

bool readspec(Spec &q) {
  V sp = q.v, ys = PA(sp)[0], xs = PA(sp)[1];
  if (!nx(ys)) return et0(), false;
  int N = nx(ys) < 12 ? (int)nx(ys) : 12;
  bool xq = tp(xs) == tLIST && nx(xs) >= (U)N;
  for (int i = 0; i < N; i++) {
    V y = chf(ii(ys, i)), x = 0;
    if (!y) return false;
    if (xq) {
      V xi = PA(xs)[i];
      if (!(tp(xi) == tLIST && !nx(xi)) && !(x = chf(_r(xi)))) return mr(y), false;
    }
    J n = nx(y);
    if (x && nx(x) < n) n = nx(x);
    if (!n) {
      mr(y), mr0(x);
      continue;
    }
    q.s[q.ns++] = Ser{y, x, n};
  }
  if (isatom(tp(PA(sp)[2]))) return et0(), false;
  if (!(q.set = lvec(_r(PA(sp)[2])))) return false;
  if ((q.nset = tp(q.set) == tLONG ? nx(q.set) : 0) < 6) return et0(), false;
  q.bnd = chf(_r(PA(sp)[3]));
  if (!q.bnd) return false;
  if (nx(q.bnd) < 4) return et0(), false;
  return longs(sp, 8, N, &q.col) && longs(sp, 9, N, &q.sty);
}

J clampj(J v, J lo, J hi) { return v < lo ? lo : v > hi ? hi : v; }

V render(Spec &q, Pl &p, J rawh) {
  const J *st = PL(q.set);
  const F *b = PF(q.bnd);
  J W = p.W, H = p.H;
  bool grid = st[2], frame = st[3], legend = st[4];
  bool colour = st[5] == 1 || (st[5] == 2 && isatty(1));
  int xk = q.nset > 6 && st[6] >= 0 && st[6] <= 4 ? (int)st[6] : 0;
  int yk = q.nset > 7 && st[7] >= 0 && st[7] <= 4 ? (int)st[7] : 0;

  // Data bounds over the finite points.
  F ylo = NAN, yhi = NAN, xlo = NAN, xhi = NAN;
  for (int j = 0; j < q.ns; j++) {
    const Ser &s = q.s[j];
    for (J i = 0; i < s.n; i++) {
      F y = PF(s.y)[i], x = s.x ? PF(s.x)[i] : (F)i;
      if (!fin(y) || !fin(x)) continue;
      if (!(y >= ylo)) ylo = y;
      if (!(y <= yhi)) yhi = y;
      if (!(x >= xlo)) xlo = x;
      if (!(x <= xhi)) xhi = x;
    }
  }
  if (ylo != ylo) ylo = xlo = 0, yhi = xhi = 1;

  int nyt = rawh < 6 ? 2 : rawh < 27 ? (int)(H / 3) : 8;
  F span = xhi - xlo, lw8 = span / 8;
  J xw = 10;
  if (xk == AXDAY) xw = 12;
  else if (xk == AXNS) xw = span < 8.64e13 ? (lw8 < 1e6 ? 21 : lw8 < 1e9 ? 14 : 10) : span < 2.6e15 ? 13 : 12;
  else if (xk == AXMS) xw = lw8 < 1000 ? 14 : 10;
  int nxt = (int)clampj(W / xw, 2, 8);
  p.ya = axis(yk, ylo, yhi, nyt, b[0], b[1]);
  p.xa = axis(xk, xlo, xhi, nxt, b[2], b[3]);

  if (grid)
    ticks(p.ya, [&](F t) {
      J r = rowof(p, t);
      if (onrow(p, r))
        for (J k = 0; k < W; k += 4) p.grid[(r >> 2) * W + k] |= BRA[(r & 3) * 2];
    });

  J base = rowof(p, p.ya.lo >= 0 ? p.ya.lo : p.ya.hi <= 0 ? p.ya.hi : 0);
  for (int j = 0; j < q.ns; j++) {
    const Ser &s = q.s[j];
    if (s.n > 4 * W && nondecr(s)) envelope(p, s, (G)(j + 1));
    else points(p, s, (G)(j + 1), q.sty ? PL(q.sty)[j] : 0, base);
  }

  // Labels: y labels by cell row, x labels on one line under the frame.
  char (*yl)[24] = (char (*)[24])arena_alloc((UJ)H * 25 + 2 * (UJ)W + 4);
  if (!yl) return eo0();
  G *yn = (G *)(yl + H);  // label length by cell row, 0 = none
  char *xl = (char *)yn + H;  // W + 2 bytes; tick marks follow
  G *tm = (G *)xl + W + 2;
  memset(yn, 0, (size_t)H), memset(xl, ' ', (size_t)(W + 2)), memset(tm, 0, (size_t)W);
  J lw = 0;
  if (frame) {
    int nl = 0;
    ticks(p.ya, [&](F t) {
      J r = rowof(p, t);
      if (!onrow(p, r) || yn[r >> 2] || nl >= 120) return;
      int n = fmtax(yl[r >> 2], 24, yk, t, p.ya.step, p.ya.range);
      yn[r >> 2] = (G)(n ? n : 0);
      if (n) nl++;
      if (n > lw) lw = n;
    });
    if (!lw) lw = 1;
    J last = -1;
    ticks(p.xa, [&](F t) {
      J c = colof(p, t);
      if (!oncol(p, c)) return;
      tm[c / 2] = 1;
      char lb[32];
      J n = fmtax(lb, 32, xk, t, p.xa.step, p.xa.range);
      J s0 = c / 2 - n / 2;
      if (s0 < 0) s0 = 0;
      if (s0 + n > W + 2) s0 = W + 2 - n;
      if (s0 < 0 || s0 <= last) return;
      memcpy(xl + s0, lb, (size_t)n);
      last = s0 + n;
    });
  }

  V sp = q.v;
  Txt tt = txt(PA(sp)[4]), xt = txt(PA(sp)[5]), yt = txt(PA(sp)[6]);
  V lg = PA(sp)[7];
  // The most the lines below can write: a cell at most a colour change
  // (a colour index may be any long), its character and an ending.
  UJ cap = (UJ)(H + 8) * (UJ)(lw + 160 + 40 * W) + 2 * (UJ)(tt.n + xt.n + yt.n) + 2048;
  if (cap > 0xFFFFFFFFull) return ez0();
  V r = an((U)cap, tCHR);
  Out w{{PC(r)}, colour};
  J total = frame ? W + 3 + lw : W;
  centred(w, tt, total, 0, true);
  if (yt.n) esc(w, 245), put(w.o, yt.s, (UJ)yt.n), rst(w), *w.o.p++ = '\n';
  if (frame) {
    esc(w, 240), putn(w.o, ' ', lw + 1), putz(w.o, "\xe2\x94\x8c");
    for (J k = 0; k < W; k++) putz(w.o, "\xe2\x94\x80");
    putz(w.o, "\xe2\x94\x90"), rst(w), *w.o.p++ = '\n';
  }
  auto scol = [&](int j) { return q.col ? PL(q.col)[j] : (J)DFC[j % 12]; };
  for (J cr = 0; cr < H; cr++) {
    if (frame) {
      if (yn[cr]) {
        putn(w.o, ' ', lw - yn[cr]), esc(w, 245), put(w.o, yl[cr], yn[cr]), rst(w);
        *w.o.p++ = ' ', esc(w, 240), putz(w.o, "\xe2\x94\xa4"), rst(w);
      } else {
        putn(w.o, ' ', lw + 1), esc(w, 240), putz(w.o, "\xe2\x94\x82"), rst(w);
      }
    }
    J act = -1;
    for (J k = cr * W; k < cr * W + W; k++) {
      if (p.dots[k]) {
        J c = scol(p.cols[k] - 1);
        if (colour && c != act) esc(w, c), act = c;
        putb(w.o, p.dots[k]);
        continue;
      }
      if (act != -1) rst(w), act = -1;
      if (grid && p.grid[k]) esc(w, 237), putb(w.o, p.grid[k]), rst(w);
      else *w.o.p++ = ' ';
    }
    if (act != -1) rst(w);
    if (frame) esc(w, 240), putz(w.o, "\xe2\x94\x82"), rst(w);
    *w.o.p++ = '\n';
  }
  if (frame) {
    esc(w, 240), putn(w.o, ' ', lw + 1), putz(w.o, "\xe2\x94\x94");
    for (J k = 0; k < W; k++) putz(w.o, tm[k] ? "\xe2\x94\xac" : "\xe2\x94\x80");
    putz(w.o, "\xe2\x94\x98"), rst(w), *w.o.p++ = '\n';
    J e = W + 2;
    while (e > 0 && xl[e - 1] == ' ') e--;
    if (e) putn(w.o, ' ', lw + 2), esc(w, 245), put(w.o, xl, (UJ)e), rst(w), *w.o.p++ = '\n';
  }
  centred(w, xt, total, 245, false);
  if (legend && tp(lg) == tLIST && nx(lg)) {
    putn(w.o, ' ', lw + 2);
    bool first = true;
    for (int j = 0; j < q.ns && (U)j < nx(lg); j++) {
      Txt t = txt(PA(lg)[j]);
      if (tp(PA(lg)[j]) != tCHR) continue;
      if (!first) putn(w.o, ' ', 2);
      first = false;
      esc(w, scol(j)), putz(w.o, "\xe2\x94\x80\xe2\x94\x80"), rst(w), *w.o.p++ = ' ';
      put(w.o, t.s, (UJ)(t.n < 24 ? t.n : 24));
    }
    *w.o.p++ = '\n';
  }
  return obend(r, w.o);
}

}  // namespace

V plotSpec(V x) {
  Spec q{};
  q.v = x;
  if (!readspec(q)) return sfree(q), (V)0;
  if (!q.ns) return sfree(q), chempty();
  const J *st = PL(q.set);
  Pl p{};
  p.W = clampj(st[0], 8, 400), p.H = clampj(st[1], 2, 120);
  UJ off = tl.a_off;
  void *chunk = tl.a_over;
  UJ cells = (UJ)(p.W * p.H);
  p.dots = (G *)arena_alloc(3 * cells);
  V r = 0;
  if (!p.dots) {
    r = eo0();
  } else {
    p.cols = p.dots + cells, p.grid = p.cols + cells;
    memset(p.dots, 0, 3 * cells);
    r = render(q, p, st[1]);
  }
  arena_release(off, chunk);
  sfree(q);
  return r;
}

}  // namespace zk
