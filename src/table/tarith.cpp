// tarith.cpp: temporal arithmetic and comparison for the dispatcher of
// the arithmetic verbs: trk (result type), tmk (atom of a type and count),
// tvo (temporal vectors), tal/tcl (one-pass kernels for general lists of
// temporal atoms), tdv (%), tkc (two temporal types compared), tcf
// (temporal against float) and tunit_ns (nanoseconds per unit).
//
// Points in time: date, timestamp, month.  Durations: time, minute,
// second, timespan.  Nulls (0x80000000 for the 32-bit types, INT64_MIN for
// the 64-bit ones and for longs) make the null of the result in + - * and
// order below every other count.  Sums and differences that leave their
// width raise 'limit, and so does a 32-bit result that lands on 0x80000000
// (it would read back as the null); a timespan product wraps like long
// multiplication.
//
// tvo reads every operand through one descriptor (Od): a vector of 1, 2,
// 4 or 8-byte items or a broadcast atom, with the unit that brings it to
// nanoseconds.  The common cases (a temporal vector with an atom or a
// vector of its own width and unit) run in whole registers with the null
// and overflow tests on lanes and one flag tested after the loop; the rest
// go through the scalar loop on 128-bit intermediates.
#include <cmath>
#include <limits>
#include <type_traits>
#include "core/err.h"
#include "core/simd.h"
#include "core/sym.h"
#include "eval/each.h"
#include "list/list.h"
#include "num/ari.h"
#include "table/table.h"

namespace zk {

const J tunit_ns[5] = {86400000000000ll, 1000000ll, 1ll, 60000000000ll, 1000000000ll};

namespace {

typedef __int128 Q;
constexpr J NSD = 86400000000000ll;

ZK_INLINE bool pt(int t) { return t == tDATEA || t == tTSTAMPA || t == tMONTHA; }
ZK_INLINE bool dur(int t) { return t == tTIMEA || t == tMINUTEA || t == tSECONDA || t == tTSPANA; }
ZK_INLINE bool tmp(int t) { return t >= tDATEA; }
ZK_INLINE bool wide(int t) { return t == tTSTAMPA || t == tTSPANA; }
// The count of a temporal atom with its null read as 0N.
ZK_INLINE J tcnt(V x) {
  if (heap(x)) return PL(x)[0];
  I v = ip(x);
  return v == NI ? NJ : v;
}
// The count as stored: a 32-bit null is -2,147,483,648.
ZK_INLINE J traw(V x) { return heap(x) ? PL(x)[0] : (J)ip(x); }
ZK_INLINE J unit(int t) { return t <= tSECONDA ? tunit_ns[t - tDATEA] : 1; }
ZK_INLINE bool cmpo(I op, J a, J b) { return op == 8 ? a < b : op == 9 ? a > b : a == b; }

// Result types of + and - by (left - 33, right - 33): d t p u v m n as in
// the atom codes, i the integer of date-date and month-month, . 'type.
constexpr char RADD[7][8] = {".p.pp.p", "ptp...n", ".p.pp.p", "p.pu..n", "p.p.v.n", ".......", "pnpnn.n"};
constexpr char RSUB[7][8] = {"ipnpp.p", ".t....n", "npnpp.p", "...u..n", "....v.n", ".....i.", ".n.nn.n"};

int rcode(char c) {
  switch (c) {
    case 'd': return tDATEA;
    case 't': return tTIMEA;
    case 'p': return tTSTAMPA;
    case 'u': return tMINUTEA;
    case 'v': return tSECONDA;
    case 'n': return tTSPANA;
    case 'i': return tINTA;
    default: return 0;
  }
}

}  // namespace

I trk(I tx, I ty, I op) {
  if (op == 6 || op == 7) return tx == ty ? tx : 0;
  if (op != 1 && op != 2) return 0;
  return rcode((op == 1 ? RADD : RSUB)[tx - tDATEA][ty - tDATEA]);
}

V tmk(I t, J v) {
  if (t <= tNATIVE) return az(v);
  if (wide(t)) {
    V r = an(1, t);
    PL(r)[0] = v;
    return r;
  }
  if (v == NJ) return cn[t];
  // 0x80000000 is the null: a count that lands on it does not fit either.
  if (v != (J)(I)v || (I)v == NI) return ez0();
  return imm(t, (U)(I)v);
}

// ---- the vector kernel ----
namespace {

// One operand: a vector of 2^w-byte items or an atom (count a, its null
// already read as 0N); t its temporal atom type, 0 for an integer.
struct Od {
  const void *p;
  J a, rw;  // an atom's count with the null as 0N, and as stored
  int w, t;
  bool atom;
};

ZK_INLINE J rd(const Od &o, U i) {
  if (o.atom) return o.a;
  switch (o.w) {
    case 0: return ((const int8_t *)o.p)[i];
    case 1: return ((const int16_t *)o.p)[i];
    case 2: {
      I v = ((const I *)o.p)[i];
      return v == NI ? NJ : v;
    }
    default: return ((const J *)o.p)[i];
  }
}

// Class of an operand: its temporal atom type, 1 an integer, 0 other.
int ocls(V x, Od *o) {
  int t = tp(x);
  o->atom = t >= tINTA;
  o->p = heap(x) ? P(x) : 0;
  if (tmp(t) || (t >= tDATE && t <= tTSPAN)) {
    o->t = t >= tDATEA ? t : t + 22;
    o->w = wide(o->t) ? 3 : 2;
    if (o->atom) o->a = tcnt(x), o->rw = traw(x);
    return o->t;
  }
  o->t = 0;
  switch (t) {
    case tINTA: o->w = 2, o->a = o->rw = ip(x); return 1;
    case tLONGA: o->w = 3, o->a = o->rw = PL(x)[0]; return 1;
    case tBYTE: case tSHORT: case tINT: case tLONG: o->w = t - tBYTE; return 1;
    default: return 0;
  }
}

// ---- comparisons ----
// 16 items' i32 lane masks as 16 bytes of 0 and 1.
ZK_INLINE void st16(G *d, i32x4 m0, i32x4 m1, i32x4 m2, i32x4 m3) {
  __m128i h = _mm_packs_epi16(_mm_packs_epi32((__m128i)m0, (__m128i)m1),
                              _mm_packs_epi32((__m128i)m2, (__m128i)m3));
  vst(d, (u8x16)h & vdup<u8x16>(1));
}

template <class T> ZK_INLINE bool c1(I op, T a, T b) { return op == 8 ? a < b : op == 9 ? a > b : a == b; }

// Raw counts of one width (nulls are the smallest values already); an
// atom side is broadcast.  Lanes hold 32 or 64-bit items.
template <class T, class VT, int OP, bool AX, bool AY>
void cmpw(const T *x, T ax, const T *y, T ay, G *d, U n) {
  constexpr int L = NL<VT>;
  U i = 0;
  auto ld = [](const T *p, T a, U k, bool atom) { return atom ? vdup<VT>(a) : vld<VT>(p + k); };
  auto cm = [](VT a, VT b) -> Mask<VT> { return OP == 8 ? a < b : OP == 9 ? a > b : a == b; };
  for (; i + 16 <= n; i += 16) {
    Mask<VT> m[16 / L];
    for (int k = 0; k < 16 / L; k++) m[k] = cm(ld(x, ax, i + k * L, AX), ld(y, ay, i + k * L, AY));
    if constexpr (L == 4) st16(d + i, m[0], m[1], m[2], m[3]);
    else vstb(d + i, m);
  }
  for (; i < n; i++) d[i] = c1<T>(OP, AX ? ax : x[i], AY ? ay : y[i]);
}

template <class T, class VT, bool AX, bool AY>
void cmpo_(I op, const T *x, T ax, const T *y, T ay, G *d, U n) {
  if (op == 8) cmpw<T, VT, 8, AX, AY>(x, ax, y, ay, d, n);
  else if (op == 9) cmpw<T, VT, 9, AX, AY>(x, ax, y, ay, d, n);
  else cmpw<T, VT, 10, AX, AY>(x, ax, y, ay, d, n);
}

template <class T, class VT>
void cmpd(I op, const Od &a, const Od &b, G *d, U n) {
  const T *x = (const T *)a.p, *y = (const T *)b.p;
  T ax = a.atom ? (T)a.rw : 0, ay = b.atom ? (T)b.rw : 0;
  if (a.atom) cmpo_<T, VT, true, false>(op, x, ax, y, ay, d, n);
  else if (b.atom) cmpo_<T, VT, false, true>(op, x, ax, y, ay, d, n);
  else cmpo_<T, VT, false, false>(op, x, ax, y, ay, d, n);
}

// ---- sums and differences of one width and unit, on whole registers ----
// Lane nulls give the null; a lane that overflows, or lands on the null's
// pattern from two non-null operands (32 bits only), sets the flag.
template <class T, class VT, int OP, bool AX, bool AY>
bool asw(const T *x, T ax, const T *y, T ay, T *d, U n) {
  typedef std::make_unsigned_t<T> UT;
  typedef std::conditional_t<sizeof(T) == 4, u32x4, u64x2> UV;
  constexpr T NUL = std::numeric_limits<T>::min();
  constexpr int L = NL<VT>;
  const VT nv = vdup<VT>(NUL);
  Mask<VT> bad = vzero<Mask<VT>>();
  U i = 0;
  for (; i + L <= n; i += L) {
    VT a = AX ? vdup<VT>(ax) : vld<VT>(x + i), b = AY ? vdup<VT>(ay) : vld<VT>(y + i);
    VT s = (VT)(OP == 1 ? (UV)a + (UV)b : (UV)a - (UV)b);
    Mask<VT> nm = (a == nv) | (b == nv);
    VT o = OP == 1 ? ((a ^ s) & (b ^ s)) : ((a ^ b) & (a ^ s));
    Mask<VT> ov = o < vzero<VT>();
    if constexpr (sizeof(T) == 4) ov |= s == nv;
    bad |= vandn<Mask<VT>>(ov, nm);
    vst(d + i, vsel<VT>(nm, nv, s));
  }
  bool ok = !vany(bad);
  for (; i < n; i++) {
    T a = AX ? ax : x[i], b = AY ? ay : y[i];
    if (a == NUL || b == NUL) {
      d[i] = NUL;
      continue;
    }
    T s = (T)(OP == 1 ? (UT)a + (UT)b : (UT)a - (UT)b);
    T o = OP == 1 ? ((a ^ s) & (b ^ s)) : ((a ^ b) & (a ^ s));
    ok &= o >= 0 && (sizeof(T) == 8 || s != NUL);
    d[i] = s;
  }
  return ok;
}

template <class T, class VT, int OP>
bool asd(const Od &a, const Od &b, T *d, U n) {
  const T *x = (const T *)a.p, *y = (const T *)b.p;
  T ax = a.atom ? (T)a.rw : 0, ay = b.atom ? (T)b.rw : 0;
  if (a.atom) return asw<T, VT, OP, true, false>(x, ax, y, ay, d, n);
  if (b.atom) return asw<T, VT, OP, false, true>(x, ax, y, ay, d, n);
  return asw<T, VT, OP, false, false>(x, ax, y, ay, d, n);
}

// Every other case, item by item on 128-bit values.  rt is the result's
// atom type (tINTA for date-date and month-month); u, v the operands'
// units.  Answers whether every item fitted.
bool agen(I op, int rt, const Od &a, const Od &b, J u, J v, void *out, U n) {
  bool ok = true, w = wide(rt) || rt == tINTA;
  J *dl = (J *)out;
  I *di = (I *)out;
  for (U i = 0; i < n; i++) {
    J p = rd(a, i), q = rd(b, i), r;
    if (op >= 6) r = (op == 6) == (p < q) ? p : q;
    else if (p == NJ || q == NJ) r = NJ;
    else if (op == 3 && wide(rt)) r = (J)((UJ)p * (UJ)q);  // timespan products wrap
    else {
      Q s = op == 1 ? (Q)p * u + (Q)q * v : op == 2 ? (Q)p * u - (Q)q * v : (Q)p * q;
      bool fit = w ? s == (J)s : s == (I)s && (I)s != NI;
      ok &= fit;
      r = fit ? (J)s : 0;
    }
    if (w) dl[i] = r;
    else di[i] = r == NJ ? NI : (I)r;
  }
  return ok;
}

// The result type of an arithmetic verb on operand classes tx, ty
// (temporal atom types, 0 for an integer); 0 is 'type.
int art(I op, int tx, int ty) {
  if (tx && ty) return op == 3 ? 0 : trk(tx, ty, op);
  int tt = tx ? tx : ty;
  if (op == 1 || op == 2) return tt;
  return op == 3 && dur(tt) ? tt : 0;
}

V tcmp(I op, const Od &a, const Od &b, U n) {
  V r = an(n, tBYTE);
  G *d = P(r);
  if (a.w == 2 && b.w == 2) cmpd<I, i32x4>(op, a, b, d, n);
  else if (a.w == 3 && b.w == 3) cmpd<J, i64x2>(op, a, b, d, n);
  else
    for (U i = 0; i < n; i++) d[i] = cmpo(op, rd(a, i), rd(b, i));
  return r;
}

V tari(I op, int rt, const Od &a, const Od &b, J u, J v, U n) {
  V r = an(n, rt == tINTA ? tLONG : rt - 22);
  bool ok;
  bool same = u == v && (op == 1 || op == 2) && rt != tINTA;
  // An int atom 0x80000000 is a number, not the null the lanes would see.
  bool inull = (a.atom && !a.t && a.w == 2 && a.rw == NI) || (b.atom && !b.t && b.w == 2 && b.rw == NI);
  if (same && !wide(rt) && a.w == 2 && b.w == 2 && !inull)
    ok = op == 1 ? asd<I, i32x4, 1>(a, b, PI(r), n) : asd<I, i32x4, 2>(a, b, PI(r), n);
  else if (same && wide(rt) && a.w == 3 && b.w == 3)
    ok = op == 1 ? asd<J, i64x2, 1>(a, b, PL(r), n) : asd<J, i64x2, 2>(a, b, PL(r), n);
  else
    ok = agen(op, rt, a, b, u, v, P(r), n);
  if (!ok) return mr(r), ez0();
  return rt == tINTA ? sqzZ(r) : r;
}

}  // namespace

// The vector kernel: x borrowed, y consumed.
V tvo(V x, V y, I op) {
  int a = tp(x), b = tp(y);
  if (a == tLIST || a == tTABLE || a == tDICT || b == tLIST || b == tTABLE || b == tDICT)
    return e2f(ariv[op], x, y);
  if (a == tRANGE) {
    V c = gZ(_r(x));
    if (!c) return mr(y), (V)0;
    V r = tvo(c, y, op);
    mr(c);
    return r;
  }
  if (b == tRANGE && !(y = gZ(y))) return 0;
  bool vx = a < tINTA, vy = tp(y) < tINTA;
  if (vx && vy && nx(x) != nx(y)) return el(y);
  Od ox, oy;
  int cx = ocls(x, &ox), cy = ocls(y, &oy);
  if (!cx || !cy || op == 4 || op == 5) return e2f(ariv[op], x, y);
  U n = vx ? nx(x) : nx(y);
  int tx = cx > 1 ? cx : 0, ty = cy > 1 ? cy : 0;
  V r;
  if (op >= 8) {
    if (tx && ty && tx != ty) return e2f(ariv[op], x, y);
    r = tcmp(op, ox, oy, n);
  } else {
    int rt = art(op, tx, ty);
    if (!rt) return et(y);
    bool sc = tx && ty && tx != ty;
    r = tari(op, rt, ox, oy, sc ? unit(tx) : 1, sc ? unit(ty) : 1, n);
  }
  mr(y);
  return r;
}

// ---- general lists of temporal atoms ----
namespace {
// The common temporal type of the items of a non-empty list, else 0.
int ltyp(V x) {
  U n = nx(x);
  if (!n) return 0;
  int t = tp(PA(x)[0]);
  if (!tmp(t)) return 0;
  for (U i = 1; i < n; i++)
    if (tp(PA(x)[i]) != t) return 0;
  return t;
}
}  // namespace

V tal(V x, V y, I op) {
  bool lx = tp(x) == tLIST;
  V l = lx ? x : y, k = lx ? y : x;
  if (tp(l) != tLIST || tp(k) != tINTA || (op != 1 && op != 2)) return 0;
  int t = ltyp(l);
  if (!t || wide(t)) return 0;
  J c = ip(k);
  U n = nx(l);
  V r = aA0(n);
  for (U i = 0; i < n; i++) {
    I v = ip(PA(l)[i]);
    J s = v == NI ? NJ : op == 1 ? v + c : lx ? v - c : c - v;
    if (s != NJ && (s != (I)s || s == NI)) return mr(r), (V)0;
    PA(r)[i] = imm(t, (U)(s == NJ ? NI : (I)s));
  }
  return r;
}

V tcl(V x, V y, I op) {
  bool lx = tp(x) == tLIST, ly = tp(y) == tLIST;
  if (op < 8 || (!lx && !ly)) return 0;
  V l = lx ? x : y;
  int t = ltyp(l);
  if (!t) return 0;
  U n = nx(l);
  V r = an(n, tINT);
  I *d = PI(r);
  if (lx && ly) {
    if (nx(y) != n || ltyp(y) != t) return mr(r), (V)0;
    for (U i = 0; i < n; i++) d[i] = cmpo(op, traw(PA(x)[i]), traw(PA(y)[i]));
    return r;
  }
  V k = lx ? y : x;
  int kt = tp(k);
  if (kt != t && kt != tINTA && kt != tLONGA) return mr(r), (V)0;
  J c = traw(k);
  for (U i = 0; i < n; i++) {
    J v = traw(PA(l)[i]);
    d[i] = lx ? cmpo(op, v, c) : cmpo(op, c, v);
  }
  return r;
}

// ---- atoms ----
V tdv(V x, V y) {
  F q[2];
  V o[2] = {x, y};
  for (int k = 0; k < 2; k++) {
    int t = tp(o[k]);
    if (tmp(t) || t == tINTA || t == tLONGA) {
      J c = tmp(t) ? tcnt(o[k]) : gl_(o[k]);
      q[k] = c == NJ ? NAN : (F)c;
    } else if (t == tFLTA)
      q[k] = PF(o[k])[0];
    else
      return et(y);
  }
  mr(y);
  return af(q[0] / q[1]);
}

namespace {
// A temporal count on one scale of nanoseconds: points from 2000.01.01
// (a month at its first day), durations as lengths.
Q tns(int t, J c) {
  if (t == tMONTHA) return (Q)mday(c) * NSD;
  return (Q)c * unit(t);
}
// A timestamp's time of day in units of the duration type t.
J tod(J ns, int t) {
  J r = ns % NSD;
  if (r < 0) r += NSD;
  return r / unit(t);
}
}  // namespace

V tkc(V x, V y, I tx, I ty, I op) {
  bool px = pt(tx), py = pt(ty);
  // a date or month against a duration has no common scale
  if (px != py && (tx == tDATEA || tx == tMONTHA || ty == tDATEA || ty == tMONTHA)) return et(y);
  J p = tcnt(x), q = tcnt(y);
  mr(y);
  if (p == NJ || q == NJ) return ai(cmpo(op, p == NJ ? 0 : 1, q == NJ ? 0 : 1));
  // timestamp with time, minute or second: its time of day in their unit
  if (px != py && tx != tTSPANA && ty != tTSPANA) {
    if (tx == tTSTAMPA) return ai(cmpo(op, tod(p, ty), q));
    return ai(cmpo(op, p, tod(q, tx)));
  }
  Q a = tns(tx, p), b = tns(ty, q);
  return ai(op == 8 ? a < b : op == 9 ? a > b : a == b);
}

V tcf(V x, V y, I op) {
  bool tx = tmp(tp(x));
  F d = PF(tx ? y : x)[0];
  J c = traw(tx ? x : y);
  if (std::fabs(d) < 9223372036854775808.0) {
    J r = std::llround(d);  // halves away from zero
    mr(y);
    return ai(tx ? cmpo(op, c, r) : cmpo(op, r, c));
  }
  // NaN, the infinities and huge floats: the numeric comparison decides.
  V k = az(c);
  if (!tx) {
    mr(y);
    return ari(x, k);
  }
  V r = ari(k, y);
  mr(k);
  return r;
}

}  // namespace zk
