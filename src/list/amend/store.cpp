// store.cpp: the item store and the amends that can roll back.
//
// Names: set = store one item into a list, vector or table, changing the
// representation when the item does not fit; ixfl = amend a list at
// positions one at a time, putting every changed item back when f fails;
// dam = amend a dict at a vector of keys, appending absent keys; ixal = the
// entry of indexed assignment and of the amends of globals, which sends an
// amend that cannot fail half-way to a8 and the others here.
//
// The no-squeeze depth tl.nsq: while it is above 0, storing an atom into a
// general list leaves the list general, so a loop of single stores squeezes
// once at its end.  Code that f runs always starts at depth 0.
//
// Rescue slot: the caller's cell (holding 0 on entry) that receives the
// value restored to its state before the call when an amend fails after it
// started changing it; the caller takes that reference over.
//
// Ownership: set consumes x (made writable by the caller) and v; ixfl and
// ixal consume x and borrow i, f and y; dam consumes x and r and borrows i
// and the argument array.
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "list/amend/ix.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"

namespace zk {

namespace {

ZK_INLINE void mz(V x) {  // release, when there is anything
  if (x) mr(x);
}

ZK_INLINE bool atm(int t) { return (t >= tINTA && t <= tSYMA) || t >= tDATEA; }

// Row p of table x (consumed) becomes v (consumed): item c of v goes to
// column c, so a dict's values are taken in column order.
V srow(V x, J p, V v) {
  V cols = kv(&x);
  cols = mut(cols);
  U m = nx(cols);
  if (_n(v) != (J)m) return mr(cols), mr(x), el(v);
  for (U c = 0; c < m; c++) {
    V col = PA(cols)[c];
    PA(cols)[c] = GNULL;
    if (!(col = set(mut(col), p, ii(v, c)))) return mr(cols), mr(x), mr(v), (V)0;
    PA(cols)[c] = col;
  }
  mr(v);
  return aM(x, cols);
}

// Writes the atom v (borrowed) at item p of vector x at x's item width.
void put(V x, J p, V v) {
  J a = gl_(v);
  switch (Tw[tp(x)]) {
    case 3: P<int8_t>(x)[p] = (int8_t)a; break;
    case 4: P<int16_t>(x)[p] = (int16_t)a; break;
    case 5: PI(x)[p] = (I)a; break;
    default: PL(x)[p] = a;
  }
}

}  // namespace

// x (consumed) brought back to type t and attribute a after a rollback:
// the items are the old ones again, so casting back loses nothing.
static V back(V x, int t, G a) {
  if (tp(x) != t) {
    x = sqz(x);
    if (x && tp(x) != t && t >= tBOOL && t <= tLONG) x = ct(t, x);
  }
  if (x && heap(x)) hd(x)->attr = a;
  return x;
}

// The first n items of x (consumed), of type t and attribute a again.
V trim(V x, J n, int t, G a) {
  if (_n(x) != n && !(x = rsz(n, x))) return 0;
  return back(x, t, a);
}

V set(V x, J p, V v) {
  for (;;) {
    int t = tp(x), vt = tp(v);
    if (t == tBOOL || t == tRANGE) {
      if (!(x = t == tBOOL ? ct(tBYTE, x) : gZ(x))) return mr(v), (V)0;
      x = mut(x);
      continue;
    }
    if (t == tLIST) {
      mr(PA(x)[p]);
      PA(x)[p] = v;
      return atm(vt) && !tl.nsq ? sqz(x) : x;
    }
    if (t == tTABLE) return srow(x, p, v);
    if (t >= tBYTE && t <= tLONG && (vt == tINTA || vt == tLONGA)) {
      int w = tZ(gl_(v));
      if (w > t && !(x = ct(w, x))) return mr(v), (V)0;
      put(x, p, v);
      return mr(v), x;
    }
    // An atom of the vector's own kind is written as it is: what blowing
    // the vector into a list and squeezing it back would give.
    if (t >= tFLT && t <= tTSPAN && vt >= tINTA && TT[vt] == t) {
      put(x, p, v);
      return mr(v), x;
    }
    if (!(x = blw(x))) return mr(v), (V)0;
  }
}

V ixfl(V x, V i, V f, V y, V *rescue) {
  J m = _n(i);
  if (!m) {
    V a[4] = {x, i, f, y};
    return a8(a, y ? 4 : 3);
  }
  bool ya = !y || tp(y) >= tINTA;
  if (!ya && _n(y) != m) return el(x);  // before anything is written
  if (tp(x) == tRANGE && !(x = gZ(x))) return 0;
  int t0 = tp(x);
  G a0 = heap(x) ? hd(x)->attr : 0;
  V old = i1(x, _r(i));
  if (!old) return mr(x), (V)0;
  x = mut(x);
  tl.nsq++;
  J k = 0;
  for (; k < m; k++) {
    V q = ii(i, k);
    int qt = tp(q);
    J p = qt == tINTA || qt == tLONGA ? gl(q) : (mr(q), NJ);
    if (qt != tINTA && qt != tLONGA) {
      et0();
      break;
    }
    if ((UJ)p >= (UJ)_n(x)) {
      ei0();
      break;
    }
    I d = tl.nsq;
    tl.nsq = 0;
    V b[2] = {ii(x, p), y ? (ya ? _r(y) : ii(y, k)) : 0};
    V r = _8(f, b, y ? 2 : 1);
    tl.nsq = d;
    if (!r) break;
    if (!(x = set(x, p, r))) {  // only a failed cast: nothing left to restore
      tl.nsq--;
      return mr(old), (V)0;
    }
  }
  if (k < m) {  // undo in reverse, so a repeated position ends at its oldest value
    for (J j = k - 1; j >= 0 && x; j--) x = set(x, gl(ii(i, j)), ii(old, j));
    tl.nsq--;
    mr(old);
    if (x) *rescue = back(x, t0, a0);
    return 0;
  }
  tl.nsq--;
  mr(old);
  return sqz(x);
}

V dam(V x, V i, V r, V *args, U n, V *rescue) {
  x = mut(x);
  J m = nx(r), nul = 0;
  for (J k = 0; k < m; k++) nul += PL(r)[k] == NJ;
  V f = args[2];
  if (!nul && n <= 4) {
    V vals = PA(x)[1];
    PA(x)[1] = GNULL;
    V nv;
    if (rescue) {
      V res = 0;
      nv = ixfl(vals, r, f, n == 4 ? args[3] : 0, &res);
      if (!nv && res) PA(x)[1] = res, *rescue = x, x = 0;
    } else {
      V a[4] = {vals, r, f, n == 4 ? args[3] : 0};
      nv = a8(a, n);
    }
    mr(r);
    if (!nv) return mz(x), (V)0;
    PA(x)[1] = nv;
    return x;
  }
  // Number the absent keys: each distinct one gets the next new position,
  // in order of first occurrence.
  V keys = PA(x)[0], vals = PA(x)[1];
  J nk = _n(keys), nv0 = _n(vals);
  if (nul) {
    V h = an((U)nul, tLONG);
    for (J k = 0, j = 0; k < m; k++)
      if (PL(r)[k] == NJ) PL(h)[j++] = k;
    V ak = i1(i, _r(h)), fo = ak ? fnw(fnd(ak, _r(ak)), nul) : 0;
    if (!fo) return mr(h), mz(ak), mr(r), mr(x), (V)0;
    for (J j = 0, next = nk; j < nul; j++) {
      J o = PL(fo)[j];
      PL(r)[PL(h)[j]] = o == j ? next++ : PL(r)[PL(h)[o]];
    }
    mr(h), mr(ak), mr(fo);
  }
  // What a rollback needs: the old items at the amended positions (new
  // positions read as nulls and are trimmed away anyway), types, attributes.
  int kt = tp(keys), vt = tp(vals);
  G ka = heap(keys) ? hd(keys)->attr : 0, va = heap(vals) ? hd(vals)->attr : 0;
  V old = rescue ? i1(vals, _r(r)) : 0;
  if (rescue && !old) return mr(r), mr(x), (V)0;
  if (n <= 4) tl.nsq++;
  V last = args[n - 1];
  bool per = n >= 4 && tp(last) < tINTA;
  J k = 0;
  for (; k < m; k++) {
    J p = PL(r)[k];
    if (p == _n(PA(x)[0])) {
      V ky = PA(x)[0], vs = PA(x)[1];
      PA(x)[0] = PA(x)[1] = GNULL;
      V s = ie(f, vs);
      ky = psh(ky, ii(i, k));
      vs = s ? psh(vs, s) : (mr(vs), (V)0);
      PA(x)[0] = ky ? ky : GNULL, PA(x)[1] = vs ? vs : GNULL;
      if (!ky || !vs) break;
    }
    V vs = PA(x)[1], b[5];
    PA(x)[1] = GNULL;
    for (U j = 2; j + 1 < n; j++) b[j] = args[j];
    b[n - 1] = per ? ii(last, k) : last;
    V nv;
    if (tp(vs) <= tTSPAN) {
      // One position of a list or vector: f runs before anything is
      // written, so a failure leaves the values whole for a rollback.
      V c[4];
      c[0] = ii(vs, p);
      for (U j = 3; j < n; j++) c[j - 2] = _r(b[j]);
      I d = tl.nsq;
      tl.nsq = 0;
      V e = _8(f, c, n - 2);
      tl.nsq = d;
      nv = e ? set(mut(vs), p, e) : 0;
      if (!e) PA(x)[1] = vs;
    } else {
      // Any other values go through a8, which releases them on failure:
      // with a rescue slot it works on a reference of its own.
      b[0] = rescue ? _r(vs) : vs;
      b[1] = p == (J)(I)p ? ai((I)p) : al(p);
      nv = a8(b, n);
      mr(b[1]);
      if (rescue) {
        if (nv) mr(vs);
        else PA(x)[1] = vs;
      }
    }
    if (per) mr(b[n - 1]);
    if (!nv) break;
    PA(x)[1] = nv;
  }
  if (n <= 4) tl.nsq--;
  if (k < m) {
    if (rescue && PA(x)[0] != GNULL && PA(x)[1] != GNULL) {
      // Put the amended old values back, newest first, then cut off the
      // appended keys and values.
      V vs = mut(PA(x)[1]);
      PA(x)[1] = GNULL;
      for (J j = k - 1; j >= 0 && vs; j--)
        if (PL(r)[j] < nv0) vs = set(mut(vs), PL(r)[j], ii(old, j));
      V ky = trim(PA(x)[0], nk, kt, ka);
      PA(x)[0] = GNULL;
      vs = vs ? trim(vs, nv0, vt, va) : 0;
      if (ky && vs) {
        PA(x)[0] = ky, PA(x)[1] = vs;
        *rescue = x;
        x = 0;
      } else if (ky) mr(ky);
      else if (vs) mr(vs);
    }
    mz(old), mr(r), mz(x);
    return 0;
  }
  mz(old), mr(r);
  if (n <= 4 && !(PA(x)[1] = sqz(PA(x)[1]))) return PA(x)[1] = GNULL, mr(x), (V)0;
  return x;
}

namespace {

// Whether f with y changes a target of type t in one piece: it cannot
// fail after it has started writing.
bool safe1(int t, V f, V y) {
  U s = ip(f) & 31;
  int yt = tp(y);
  if (s == 0 || s == 11) return true;
  if (s == 12) return (yt >= tINTA && yt <= tSYMA) || (yt >= tRANGE && yt <= tSYM);
  if (s >= 1 && s <= 10 && s != 5)
    return t >= tRANGE && t <= tFLT && ((yt >= tINTA && yt <= tFLTA) || (yt >= tRANGE && yt <= tFLT));
  return false;
}

}  // namespace

bool ixsa(V x, V f, V y) {
  if (!y || tp(f) != tDYAD) return false;
  int t = tp(x);
  if (t == tDICT) return safe1(tp(PA(x)[1]), f, y);
  if (t == tTABLE) {
    V c = PA(x)[1];
    for (U j = 0, m = nx(c); j < m; j++)
      if (!safe1(tp(PA(c)[j]), f, y)) return false;
    return true;
  }
  return safe1(t, f, y);
}

namespace {

V a8of(V x, V i, V f, V y) {
  V a[4] = {x, i, f, y};
  return a8(a, y ? 4 : 3);
}

}  // namespace

V ixal(V x, V i, V f, V y, V *rescue) {
  int t = tp(x), it = tp(i);
  if (it >= tINTA) return a8of(x, i, f, y);
  if (t >= tLIST && t <= tTSPAN) {
    if (it >= tRANGE && it <= tLONG && !ixsa(x, f, y)) return ixfl(x, i, f, y, rescue);
    return a8of(x, i, f, y);
  }
  if (t == tDICT && tp(PA(x)[0]) != tTABLE && tp(PA(x)[1]) >= tLIST && tp(PA(x)[1]) <= tTSPAN) {
    if (ixsa(x, f, y)) return a8of(x, i, f, y);
    V r = fnd(PA(x)[0], _r(i));
    if (!r) return *rescue = x, (V)0;
    int rt = tp(r), yt = y ? tp(y) : 0;
    if (rt >= tBYTE && rt <= tLONG && (!y || yt >= tINTA || (yt < tTABLE && _n(y) == _n(r)))) {
      if (!(r = ct(tLONG, r))) return mr(x), (V)0;
      V a[4] = {x, i, f, y};
      return dam(x, i, r, a, y ? 4 : 3, rescue);
    }
    mr(r);
    return a8of(x, i, f, y);
  }
  if (t == tTABLE && it == tSYM) {
    bool colsafe = true;
    V c = PA(x)[1];
    for (U j = 0, m = nx(c); j < m && colsafe; j++) colsafe = tp(PA(c)[j]) >= tRANGE && tp(PA(c)[j]) <= tTSPAN;
    U s = ip(f) & 31;
    if (y && tp(f) == tDYAD && (s == 0 || s == 11)) return a8of(x, i, f, y);
    if (y && tp(y) >= tINTA && colsafe && ixsa(x, f, y)) return a8of(x, i, f, y);
    J rows = _n(x);
    V d = flp(x);
    if (!d) return 0;
    V r = ixal(d, i, f, y, rescue);
    if (r) return tbk(r, rows);
    if (*rescue) *rescue = flp(*rescue);
    return 0;
  }
  return a8of(x, i, f, y);
}

}  // namespace zk
