// ari.cpp: the dyadic arithmetic and comparison verbs (+ - * % & | < > =
// and the modulus of !), their dispatcher `ari`, the integer and float
// dispatchers `ariz` and `arif`, the temporal atom rules, the right verb
// `:` (dex) and the identity `sam`.  Names are explained in ari.h.
//
// Routing is decided from the two type bytes with one bit per type code.
// A rule that converts an operand (a boolean to bytes, a range to its
// vector, an integer to float) goes round the routing again, so every
// conversion meets every later rule exactly as a value of that type would.
//
// Result forms: comparisons give the int atom 0 or 1 for two atoms, else a
// byte vector; integer atom results are int atoms when they fit 32 bits,
// else long atoms; % always gives floats.  Floats order with every NaN one
// value below -0w and the two zeros one value; = makes every NaN equal and
// -0.0 equal to 0.0.  Chars count as signed bytes except between two chars
// under < > & |, which compare unsigned codes (and & | give chars back).
#include "num/ari.h"

#include <bit>
#include <cmath>
#include "core/err.h"
#include "core/sym.h"
#include "eval/each.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"
#include "table/table.h"

namespace zk {

V sam(V x) { return x; }
V dex(V x, V y) { return y; }

namespace {

constexpr UJ B(int t) { return 1ull << t; }
// Operand classes, one bit per type code.
constexpr UJ INTL = B(tBYTE) | B(tSHORT) | B(tINT) | B(tLONG) | B(tCHR) | B(tINTA) | B(tLONGA) | B(tCHRA);
constexpr UJ LST = B(tLIST) | B(tTABLE) | B(tDICT);
constexpr UJ FLT = B(tFLT) | B(tFLTA);
constexpr UJ TVEC = B(tDATE) | B(tTIME) | B(tTSTAMP) | B(tMINUTE) | B(tSECOND) | B(tMONTH) | B(tTSPAN);
constexpr UJ TATM = TVEC << 22;
constexpr UJ SYMS = B(tSYM) | B(tSYMA);
constexpr UJ CHRS = B(tCHR) | B(tCHRA);
constexpr UJ IATM = B(tINTA) | B(tLONGA) | B(tCHRA);  // integer atoms a range can shift by

ZK_INLINE UJ bit(V x) { return B(tp(x)); }

// Value of an integer-like atom (int, long, char as a signed byte, symbol id).
ZK_INLINE J av(V x) { return heap(x) ? PL(x)[0] : (J)ip(x); }
ZK_INLINE F fv(V x) { return PF(x)[0]; }

ZK_INLINE J wadd(J a, J b) { return (J)((UJ)a + (UJ)b); }
ZK_INLINE J wsub(J a, J b) { return (J)((UJ)a - (UJ)b); }
ZK_INLINE J wmul(J a, J b) { return (J)((UJ)a * (UJ)b); }

// The modulus x!y on values: the remainder in [0, a) for a > 0, the floor
// of b / -a for a < 0, b for a = 0.
J imod(J a, J b) {
  if (!a) return b;
  if (a > 0) {
    J r = b % a;
    return r < 0 ? r + a : r;
  }
  UJ d = -(UJ)a;
  return b >= 0 ? (J)((UJ)b / d) : (J) ~(~(UJ)b / d);
}

// ---- float order and equality on two doubles ----
ZK_INLINE bool fnan(F a) { return a != a; }
ZK_INLINE bool flt(F a, F b) { return a < b || (fnan(a) && !fnan(b)); }
ZK_INLINE bool feq(F a, F b) { return a == b || (fnan(a) && fnan(b)); }
// What a key round trip gives: the canonical NaN, +0.0 for either zero.
ZK_INLINE F fcan(F a) { return fnan(a) ? std::bit_cast<F>(NF_BITS) : a == 0 ? 0.0 : a; }

// ---- thin verbs: the operator code lives in tl.f for the call only ----
ZK_INLINE V thin(I op, V x, V y) {
  I s = tl.f;
  tl.f = op;
  V r = ari(x, y);
  tl.f = s;
  return r;
}

// < > & | between two chars compare unsigned codes; & | give chars back.
V chr(I op, V x, V y) {
  if (!(bit(x) & CHRS) || !(bit(y) & CHRS)) return thin(op, x, y);
  V ux = ucb(_r(x));
  V r = thin(op, ux, ucb(y));
  mr(ux);
  return r && (op == 6 || op == 7) ? cub(r) : r;
}

// ---- integer kernels by operator code ----
V zav(I op, J a, V y) {
  switch (op) {
    case 1: return addzZ(a, y, op);
    case 2: return subzZ(a, y, op);
    case 3: return mulzZ(a, y, op);
    case 4: return dvdzZ(a, y, op);
    case 5: return modzQ(a, y, op);
    case 6: case 7: return mmmzZ(a, y, op);
    default: return cmpzZ(a, y, op);
  }
}

V zvv(I op, V x, V y) {
  switch (op) {
    case 1: return addZZ(x, y, op);
    case 2: return subZZ(x, y, op);
    case 3: return mulZZ(x, y, op);
    case 4: return dvdZZ(x, y, op);
    case 5: return en(y);  // no caller passes two vectors with the modulus
    case 6: case 7: return mmmZZ(x, y, op);
    default: return cmpZZ(x, y, op);
  }
}

// Two integer-like atoms.
V zaa(I op, J a, J b) {
  if (op == 4) return af((a == NJ ? NAN : (F)a) / (b == NJ ? NAN : (F)b));
  if (op <= 5 && (a == NJ || b == NJ)) return al(NJ);
  switch (op) {
    case 1: return az(wadd(a, b));
    case 2: return az(wsub(a, b));
    case 3: return az(wmul(a, b));
    case 5: return az(imod(a, b));
    case 6: return az(a < b ? a : b);
    case 7: return az(a > b ? a : b);
    case 8: return ai(a < b);
    case 9: return ai(a > b);
    default: return ai(a == b);
  }
}

// ---- floats ----
// m!y for a float y and a positive modulus m: the remainder in [0, m); a
// zero remainder is +0.0 unless the item itself was a zero.
ZK_INLINE F fmd(F r, F m) {
  F q = std::fmod(r, m);
  if (q < 0) q += m;
  return q == 0 ? (r == 0 ? r : 0.0) : q;
}

V fmod_(V x, V y) {
  int a = tp(x);
  if (a != tINTA && a != tLONGA) return et(y);
  J k = av(x);
  if (!k) return y;
  if (k < 0) return en(y);
  F m = (F)k;
  if (tp(y) == tFLTA) {
    V r = af(fmd(fv(y), m));
    mr(y);
    return r;
  }
  U n = nx(y);
  V r = hd(y)->rc == 1 ? y : an(n, tFLT);
  hd(r)->attr = 0;
  const F *s = PF(y);
  F *d = PF(r);
  for (U i = 0; i < n; i++) d[i] = fmd(s[i], m);
  if (r != y) mr(y);
  return r;
}

// Two float atoms.
V faa(I op, F a, F b) {
  switch (op) {
    case 1: return af(a + b);
    case 2: return af(a - b);
    case 3: return af(a * b);
    case 4: return af(a / b);
    case 6: return af(fcan(flt(b, a) ? b : a));
    case 7: return af(fcan(flt(a, b) ? b : a));
    case 8: return ai(flt(a, b));
    case 9: return ai(flt(b, a));
    default: return ai(feq(a, b));
  }
}

// Operand types that become floats for arif: integer-like values only.
ZK_INLINE bool tofl(V x) { return bit(x) & (INTL | FLT); }

// x (consumed) as floats; a char vector as its signed bytes.
V flo(V x) {
  if (tp(x) == tCHR && !(x = cZ(tBYTE, x))) return 0;
  return ct(tFLT, x);
}

// ---- lists, dicts, tables ----
// Results gathered item by item are int vectors of 0 and 1 where a
// comparison gives bytes; a dict's values likewise.
V cmpb(V r, I op) {
  if (!r || op < 8) return r;
  int t = tp(r);
  if (t >= tSHORT && t <= tLONG) return cZ(tBYTE, r);
  if (t == tDICT && tp(PA(r)[1]) >= tSHORT && tp(PA(r)[1]) <= tLONG) {
    V v = kv(&r);
    if (!(v = cZ(tBYTE, v))) return mr(r), (V)0;
    return am(r, v);
  }
  return r;
}

ZK_INLINE bool tafirst(V x) {
  return tp(x) == tLIST && nx(x) && tp(PA(x)[0]) >= tDATEA;
}

V alst(I op, V x, V y) {
  UJ m = bit(x) | bit(y);
  bool fast = (op == 1 || op == 2) ? !(m & ~(B(tLIST) | B(tINTA)))
              : op >= 8           ? !(m & ~(B(tLIST) | B(tINTA) | B(tLONGA)))
                                  : false;
  if (fast && (tafirst(x) || tafirst(y))) {
    V r = op <= 2 ? tal(x, y, op) : tcl(x, y, op);
    if (r) {
      mr(y);
      return cmpb(r, op);
    }
  }
  return cmpb(e2f(ariv[op], x, y), op);
}

// ---- temporal atoms ----
ZK_INLINE bool tmp(int t) { return t >= tDATEA; }
ZK_INLINE bool wide(int t) { return t == tTSTAMPA || t == tTSPANA; }
ZK_INLINE bool ilong(int t) { return t == tINTA || t == tLONGA; }
ZK_INLINE bool dur(int t) { return t == tTIMEA || t == tMINUTEA || t == tSECONDA || t == tTSPANA; }
// The count of a temporal atom, its null read as 0N (for + - * & |).
ZK_INLINE J tcnt(V x) {
  if (heap(x)) return PL(x)[0];
  I v = ip(x);
  return v == NI ? NJ : v;
}
ZK_INLINE J unit(int t) { return t <= tSECONDA ? tunit_ns[t - tDATEA] : 1; }

// A temporal of type tt with count c, shifted by v: c+v, c-v, or v-c.
// Sums that leave the type's width raise 'limit (tmk tests 32 bits).
V tshift(int tt, J c, J v, I op, bool tleft) {
  if (c == NJ || v == NJ) return tmk(tt, NJ);
  __int128 s = op == 1 ? (__int128)c + v : tleft ? (__int128)c - v : (__int128)v - c;
  if (s != (J)s) return ez0();
  return tmk(tt, (J)s);
}

}  // namespace

// ---- the verbs ----
V add(V x, V y) { return thin(1, x, y); }
V sub(V x, V y) { return thin(2, x, y); }
V mul(V x, V y) { return thin(3, x, y); }
V dvd(V x, V y) { return thin(4, x, y); }
V mod(V x, V y) { return thin(5, x, y); }
V mnm(V x, V y) { return thin(6, x, y); }
V mxm(V x, V y) { return thin(7, x, y); }
V eql(V x, V y) { return thin(10, x, y); }
V mnu(V x, V y) { return chr(6, x, y); }
V mxu(V x, V y) { return chr(7, x, y); }
V ltu(V x, V y) { return chr(8, x, y); }
V gtu(V x, V y) { return chr(9, x, y); }

V (*const ariv[11])(V, V) = {dex, add, sub, mul, dvd, mod, mnu, mxu, ltu, gtu, eql};

V ario(I op, V x, V y) {
  I f = tl.f;
  tl.f = op;
  V r = ari(x, y);
  tl.f = f;
  return r;
}

V ari(V x, V y) {
  const I op = tl.f;
  if ((U)(op - 1) > 9u) return en(y);  // no verb has this code
  for (;;) {
    UJ a = bit(x), b = bit(y), m = a | b;
    if (m & TVEC) return cmpb(tvo(x, y, op), op);
    if (m & TATM) {
      if (m & LST) {
        if (op >= 8 && (tafirst(x) || tafirst(y))) {
          V r = tcl(x, y, op);
          if (r) {
            mr(y);
            return cmpb(r, op);
          }
        }
        return cmpb(e2f(ariv[op], x, y), op);
      }
      if (tp(x) < tINTA || tp(y) < tINTA) return cmpb(tvo(x, y, op), op);
      return tatm(x, y, op);
    }
    if ((a & INTL) && (b & INTL)) return ariz(x, y, op);
    if (m & LST) return alst(op, x, y);
    if (a == B(tBOOL)) {
      V c = ct(tBYTE, _r(x));
      if (!c) return mr(y), (V)0;
      V r = ari(c, y);
      mr(c);
      return r;
    }
    if (b == B(tBOOL)) {
      if (!(y = ct(tBYTE, y))) return 0;
      continue;
    }
    if (a == B(tRANGE)) {
      if ((op == 1 || op == 2) && (b & IATM)) {
        J v = av(y);
        mr(y);
        return addzE(op == 1 ? v : wsub(0, v), _r(x));
      }
      V c = gZ(_r(x));
      if (!c) return mr(y), (V)0;
      V r = ari(c, y);
      mr(c);
      return r;
    }
    if (b == B(tRANGE)) {
      if (op == 1 && (a & IATM)) return addzE(av(x), y);
      if (!(y = gZ(y))) return 0;
      continue;
    }
    if (m & FLT) return arif(x, y, op);
    if (op >= 8 && (m & SYMS)) {
      if ((a | b) & B(tSYM)) {
        if (op == 10 && (a & SYMS) && (b & SYMS)) return ariz(x, y, op);
        return cmpb(e2f(ari, x, y), op);
      }
      if (a == B(tSYMA) && b == B(tSYMA)) {
        I c = op == 10 ? (ip(x) == ip(y) ? 0 : 1) : qA(x, y);
        return ai(op == 8 ? c < 0 : op == 9 ? c > 0 : c == 0);
      }
    }
    return et(y);
  }
}

V ariz(V x, V y, I op) {
  bool ax = tp(x) >= tINTA, ay = tp(y) >= tINTA;
  if (ax && ay) {
    J a = av(x), b = av(y);
    mr(y);
    return zaa(op, a, b);
  }
  if (ax) return zav(op, av(x), y);
  if (ay) {
    if (op == 4) {
      if (!(y = ct(tFLT, y))) return 0;
      return ari(x, y);
    }
    J b = av(y);
    mr(y);
    if (op == 2) return addzZ(wsub(0, b), _r(x), 1);  // 0N stays 0N
    if (op == 8 || op == 9) op ^= 1;                  // x < b is b > x
    return zav(op, b, _r(x));
  }
  if (nx(x) != nx(y)) return el(y);
  return zvv(op, x, y);
}

V arif(V x, V y, I op) {
  if (op == 5) return fmod_(x, y);
  int a = tp(x), b = tp(y);
  if (a != tFLT && a != tFLTA) {
    if (!tofl(x)) return et(y);
    V c = flo(_r(x));
    if (!c) return mr(y), (V)0;
    V r = arif(c, y, op);
    mr(c);
    return r;
  }
  if (b != tFLT && b != tFLTA) {
    if (!tofl(y)) return et(y);
    if (!(y = flo(y))) return 0;
    return arif(x, y, op);
  }
  bool vx = a == tFLT, vy = b == tFLT;
  if (!vx && !vy) {
    F p = fv(x), q = fv(y);
    mr(y);
    return faa(op, p, q);
  }
  if (vx && vy) {
    switch (op) {
      case 6: case 7: return mmmFF(x, y, op);
      case 8: case 9: case 10: return cmpFF(x, y, op);
      default: return amdFF(x, y, op);
    }
  }
  if (vy) {  // atom x, vector y
    F p = fv(x);
    switch (op) {
      case 1: return addfF(y, p);
      case 2: return subfF(y, p);
      case 3: return mulfF(y, p);
      case 4: return dvdfF(y, p);
      case 6: case 7: return mmmfF(p, y, op);
      default: return cmpfF(p, y, op);
    }
  }
  // vector x, atom y
  F q = fv(y);
  mr(y);
  switch (op) {
    case 1: return addfF(_r(x), q);
    case 2: return subFf(x, q);
    case 3: return mulfF(_r(x), q);
    case 4: return dvdFf(x, q);
    case 6: case 7: return mmmfF(q, _r(x), op);
    case 8: return cmpfF(q, _r(x), 9);  // x[i] < q is q > x[i]
    case 9: return cmpfF(q, _r(x), 8);
    default: return cmpfF(q, _r(x), 10);
  }
}

// Both atoms, at least one of them temporal.
V tatm(V x, V y, I op) {
  int a = tp(x), b = tp(y);
  bool ta = tmp(a), tb = tmp(b);
  switch (op) {
    case 1: case 2: {
      if (ta && tb) {
        I rt = trk(a, b, op);
        if (!rt) return et(y);
        J p = tcnt(x), q = tcnt(y);
        mr(y);
        if (p == NJ || q == NJ) return tmk(rt, NJ);
        bool one = a == b;  // one unit: the counts combine directly
        __int128 s = (__int128)p * (one ? 1 : unit(a)), u = (__int128)q * (one ? 1 : unit(b));
        s = op == 1 ? s + u : s - u;
        if (s != (J)s) return ez0();
        return tmk(rt, (J)s);
      }
      int nt = ta ? b : a;
      if (!ilong(nt)) return et(y);
      int tt = ta ? a : b;
      J c = tcnt(ta ? x : y), v = av(ta ? y : x);
      mr(y);
      return tshift(tt, c, v, op, ta);
    }
    case 3: {
      if (ta == tb || !dur(ta ? a : b) || !ilong(ta ? b : a)) return et(y);
      int tt = ta ? a : b;
      J c = tcnt(ta ? x : y), v = av(ta ? y : x);
      mr(y);
      if (c == NJ || v == NJ) return tmk(tt, NJ);
      if (wide(tt)) return tmk(tt, wmul(c, v));  // timespan products wrap
      __int128 s = (__int128)c * v;
      if (s != (J)s) return ez0();
      return tmk(tt, (J)s);
    }
    case 4: return tdv(x, y);
    case 5: return et(y);
    case 6: case 7: {
      if (!ta || !tb) return et(y);
      I rt = trk(a, b, op);
      if (!rt) return et(y);
      J p = tcnt(x), q = tcnt(y);
      mr(y);
      return tmk(rt, op == 6 ? (p < q ? p : q) : (p > q ? p : q));
    }
    default: {
      if (a == tFLTA || b == tFLTA) return tcf(x, y, op);
      auto cnt = [](int t) { return tmp(t) || ilong(t) || t == tCHRA; };
      // A 32-bit count compares as its signed value: the null date is the
      // int 0x80000000, not the long null.
      if (a == b || (cnt(a) && cnt(b) && !(ta && tb))) {
        J p = av(x), q = av(y);
        mr(y);
        return ai(op == 8 ? p < q : op == 9 ? p > q : p == q);
      }
      if (ta && tb) return tkc(x, y, a, b, op);
      return et(y);  // symbols, floats' neighbours, functions
    }
  }
}

// ---- conversions ----
V ucb(V x) {
  int t = tp(x);
  if (t == tCHRA) return ai((I)(G)x);
  if (t != tCHR) return x;
  U n = nx(x);
  V r = an(n, tSHORT);
  const G *s = P(x);
  int16_t *d = P<int16_t>(r);
  for (U i = 0; i < n; i++) d[i] = s[i];
  mr(x);
  return r;
}

V cub(V x) {
  int t = tp(x);
  if (t == tINTA) return ac((char)ip(x));
  if (t >= tBYTE && t <= tLONG) {
    U n = nx(x);
    V r = an(n, tCHR);
    char *d = PC(r);
    switch (t) {
      case tBYTE: memcpy(d, P(x), n); break;
      case tSHORT: for (U i = 0; i < n; i++) d[i] = (char)P<int16_t>(x)[i]; break;
      case tINT: for (U i = 0; i < n; i++) d[i] = (char)PI(x)[i]; break;
      default: for (U i = 0; i < n; i++) d[i] = (char)PL(x)[i];
    }
    mr(x);
    return r;
  }
  // The cast casts a list item by item: so does this, without the cast.
  if (t == tLIST) return e1f(cub, x);
  static V cc;  // {`c$x}, compiled once
  V f = ki(&cc, "{`c$x}");
  if (!f) return mr(x), (V)0;
  return _1(f, x);
}

V fzn(V x) {
  int t = tp(x);
  if (t == tFLTA) {
    F d = fv(x);
    if (!fnan(d) && !(d == 0 && std::signbit(d))) return x;
    mr(x);
    return af(fcan(d));
  }
  if (t != tFLT || !nx(x)) return x;
  U n = nx(x), i = 0;
  const UJ *p = P<UJ>(x);
  for (; i < n; i++) {
    F d = std::bit_cast<F>(p[i]);
    if (fnan(d) ? p[i] != NF_BITS : p[i] == 0x8000000000000000ull) break;
  }
  if (i == n) return x;
  x = mut(x);
  F *d = PF(x);
  for (; i < n; i++) d[i] = fcan(d[i]);
  return x;
}

}  // namespace zk
