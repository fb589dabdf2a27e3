// dictarith.cpp: arithmetic and comparison of two dicts or keyed tables,
// which merge their key sets, and each with dict arguments, which aligns
// every dict on the union of the keys.  Names are explained in each.h.
//
// The merge (dkey), for keys kx, ky and values vx, vy: the result's keys
// are kx followed by the keys of ky that kx lacks, in ky's order; a key in
// both takes op of its two values, a key only in x keeps x's value, a key
// only in y keeps y's (negated for -).  Only the first occurrence of a
// repeated key of x is paired; later ones keep their own value.  Keyed
// tables (keys and values tables) merge row by row, and for + - * the
// one-sided rows meet 0 (1 for *) through the operator, so their values
// take the operator's type rules as the paired rows do.
#include <vector>
#include "core/err.h"
#include "core/sym.h"
#include "eval/each.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"
#include "table/table.h"

namespace zk {

namespace {

ZK_INLINE bool lst(V x) { return tp(x) == tLIST; }
ZK_INLINE bool tbl(V x) { return tp(x) == tTABLE; }
ZK_INLINE V K(V d) { return PA(d)[0]; }
ZK_INLINE V Vv(V d) { return PA(d)[1]; }

// The untyped empty dict: keys and values empty general lists whose
// prototype is the empty char vector, as the empty dict literal has it.
bool ued(V d) {
  V k = K(d), v = Vv(d);
  auto e = [](V l) { return lst(l) && !nx(l) && tp(PA(l)[0]) == tCHR && !nx(PA(l)[0]); };
  return e(k) && e(v);
}

// Depth of a key set by its first items.
int depth(V k) {
  int d = 0;
  for (;;) {
    int t = tp(k);
    if (t == tLIST) {
      d++;
      if (!nx(k)) return d;
      k = PA(k)[0];
    } else if (t == tTABLE || t == tDICT)
      k = PA(k)[1];
    else
      return t < tINTA ? d + 1 : d;
  }
}

// A long vector of the n positions p (borrowed memory).
V lv(const J *p, U n) { return aV(tLONG, n, p); }

// Items of x (borrowed) at the n valid positions p.
V at(V x, const J *p, U n) { return i1(x, lv(p, n)); }

// Assembles n items from parts: item i is item idx[i] of part src[i].
// Like vectors give a vector of their type without boxing; anything else
// goes through a general list that is then normalised.
V pick(V *parts, int np, const G *src, const J *idx, U n) {
  int t = -1;
  bool like = true;
  for (int j = 0; j < np && like; j++) {
    int u = tp(parts[j]);
    if (!_n(parts[j])) continue;
    if (u < tBYTE || u > tTSPAN || u == tLIST) like = false;
    else if (t < 0) t = u;
    else if (u != t) like = false;
  }
  if (like && t >= 0) {
    V r = an(n, t);
    UJ w = (UJ)1 << Tw[t] >> 3;
    for (U i = 0; i < n; i++) memcpy(P(r) + i * w, P(parts[src[i]]) + idx[i] * w, w);
    return r;
  }
  if (!n) return aA0(0);
  V r = an(n, tLIST);
  for (U i = 0; i < n; i++) PA(r)[i] = ii(parts[src[i]], idx[i]);
  return sqz(r);
}

// The verb of an operator class, as the merge applies it.
K2 cverb(I c) {
  static const K2 t[6] = {add, sub, mul, dvd, mnu, mxu};
  return c < 6 ? t[c] : v2[12];
}

// Each-both join of two equal-length values.
V join2(V x, V y) { return e2(mp2(12), x, y); }


}  // namespace

I eop(K2 fn) {
  if (fn == add) return 0;
  if (fn == sub) return 1;
  if (fn == mul) return 2;
  if (fn == dvd) return 3;
  if (fn == mnm || fn == mnu) return 4;
  if (fn == mxm || fn == mxu) return 5;
  if (!nyi2(12) && fn == v2[12]) return 6;
  return -1;
}

V d0(V a, V b) {
  V ka = K(a), va = Vv(a), kb = K(b), vb = Vv(b);
  bool hb = _n(kb) > 0;
  V k = (hb && (lst(ka) || lst(kb))) || (!hb && lst(ka) && !lst(kb)) ? rs0(_r(kb)) : _r(ka);
  V v = !lst(va) ? _r(va) : hb ? rs0(_r(vb)) : !lst(vb) ? rs0(_r(vb)) : _r(va);
  return am(k, v);
}

V dar(K2 fn, V x, V y) {
  I E = eop(fn);
  bool hx = _n(K(x)) > 0, hy = _n(K(y)) > 0;
  V x1 = _r(x);
  if (hx && !hy) {
    if (lst(K(y)) || lst(Vv(y)) || lst(K(x))) {
      V c = d0(y, x);
      mr(y);
      y = c;
    }
  } else if (!hx && hy) {
    if (lst(K(x)) || lst(Vv(x)) || lst(K(y))) {
      mr(x1);
      x1 = d0(x, y);
    }
  } else if (!hx && !hy && !(E != -1 && !tbl(K(x)) && !tbl(K(y)))) {
    if (lst(Vv(x)) && lst(Vv(y))) {
      mr(y);
      return x1;
    }
    V cx = d0(x, y), cy = d0(y, x);
    mr(x1);
    mr(y);
    x1 = cx;
    y = cy;
  }
  V r = e2d(E, fn, x1, y);
  mr(x1);
  return r;
}

V e2d(I E, K2 fn, V x, V y) {
  V kx = K(x), ky = K(y);
  if (_n(kx) && _n(ky) && depth(kx) != depth(ky)) return ed(y);
  if (tbl(kx) && E != 6 && tbl(ky)) {
    if (tbl(Vv(x)) != tbl(Vv(y))) return et(y);
    V k = kcl(kx, ky);
    if (!k) return mr(y), (V)0;
    V v = tbl(Vv(y)) ? kcl(Vv(x), Vv(y)) : _r(Vv(y));
    mr(y);
    if (!v) return mr(k), (V)0;
    return dkey(E, fn, x, am(k, v), 1);
  }
  if (E != -1 && !tbl(kx) && !tbl(ky)) return dkey(E, fn, x, y, 0);
  if (tbl(kx) || tbl(ky)) return en(y);
  V j = cat10(_r(kx), ky);
  if (!j) return mr(y), (V)0;
  V u = unq(j);
  if (!u) return mr(y), (V)0;
  V xu = i1(x, _r(u)), yu = xu ? i1(y, _r(u)) : 0;
  mr(y);
  if (!yu) {
    if (xu) mr(xu);
    mr(u);
    return 0;
  }
  V r = e2f(fn, xu, yu);
  mr(xu);
  return r ? am(u, r) : (mr(u), (V)0);
}

V dkey(I E, K2 fn, V x, V y, I keyed) {
  V kx = K(x), vx = Vv(x), ky = K(y), vy = Vv(y);
  J nx_ = _n(kx), ny = _n(ky);
  if (!nx_ && !ny) {
    if (ued(y)) return mr(y), _r(x);
    if (ued(x)) return y;
    V r = E < 6 ? fn(vx, _r(vy)) : e2f(fn, vx, _r(vy));
    V k = lst(kx) && tp(PA(kx)[0]) == tCHR && !nx(PA(kx)[0]) ? ky : kx;
    if (r) r = am(_r(k), r);
    mr(y);
    return r;
  }
  if (E < 6 && mtc_(kx, ky)) {
    V r = fn(vx, _r(vy));
    mr(y);
    return r ? am(_r(kx), r) : 0;
  }
  // Keyed tables whose keys differ merge only under + - * % & |: what a
  // comparison should give for a row on one side only is not settled.
  if (E < 0) return en(y);
  if (nx_ > 0xFFFFFFFFll || ny > 0xFFFFFFFFll || nx_ + ny > 0xFFFFFFFFll) return ez(y);
  // iy[p]: the position in ky of kx's key p when p is its first occurrence
  // in kx, else 0N; yo: positions of ky's keys that kx lacks.
  // Find answers come at any integer width: read them as private longs.
  V pxy = fnw(fnd(kx, _r(ky)), ny), pyx = pxy ? fnw(fnd(ky, _r(kx)), nx_) : 0,
    pxx = pyx ? fnw(fnd(kx, _r(kx)), nx_) : 0;
  if (!pxx) {
    if (pxy) mr(pxy);
    if (pyx) mr(pyx);
    return mr(y), (V)0;
  }
  J *iy = PL(pyx);
  for (J p = 0; p < nx_; p++)
    if (PL(pxx)[p] != p) iy[p] = NJ;
  mr(pxx);
  U nb = 0, nxo = 0, nyo = 0;
  std::vector<J> b(nx_ + 1), yb(nx_ + 1), xo(nx_ + 1), yo(ny + 1);
  for (J p = 0; p < nx_; p++)
    if (iy[p] == NJ) xo[nxo++] = p;
    else b[nb] = p, yb[nb++] = iy[p];
  for (J q = 0; q < ny; q++)
    if (PL(pxy)[q] == NJ) yo[nyo++] = q;
  mr(pxy);
  mr(pyx);

  K2 f = cverb(E);
  V part[3] = {0, 0, 0};
  // Paired values.
  if (!nb && !keyed)
    part[1] = aA0(0);
  else {
    V p = at(vx, b.data(), nb), q = p ? at(vy, yb.data(), nb) : 0;
    part[1] = q ? (E == 6 ? join2(p, q) : f(p, q)) : 0;
    if (p) mr(p);
  }
  bool ok = part[1];
  // Values of the keys of x that y lacks, and of the keys of y that x lacks.
  if (ok) {
    V p = at(vx, xo.data(), nxo);
    if (p && keyed && E < 3) {
      V q = f(p, ai(E > 1));
      mr(p);
      p = q;
    }
    part[0] = p;
    ok = p;
  }
  if (ok) {
    V q = at(vy, yo.data(), nyo);
    if (q && keyed && E < 3) q = f(ai(E > 1), q);
    else if (q && !keyed && E == 1 && nyo) q = sub(ai(0), q);
    part[2] = q;
    ok = q;
  }
  // Every part must hold one value per key it stands for.
  if (ok && (_n(part[0]) != nxo || _n(part[1]) != nb || _n(part[2]) != nyo)) {
    ok = false;
    el0();
  }
  V r = 0;
  if (ok) {
    // Keys: kx, then ky's keys that kx lacks; values in the same order.
    U n = (U)(nx_ + nyo);
    std::vector<G> sv(n + 1);
    std::vector<J> iv(n + 1);
    G *src = sv.data();
    J *idx = iv.data();
    for (U i = 0; i < (U)nx_; i++) src[i] = 0, idx[i] = i;
    for (U i = 0; i < nyo; i++) src[nx_ + i] = 1, idx[nx_ + i] = yo[i];
    V kp[2] = {kx, ky};
    V k = pick(kp, 2, src, idx, n);
    U jx = 0, jb = 0;
    for (U i = 0; i < (U)nx_; i++)
      if (jb < nb && b[jb] == (J)i) src[i] = 1, idx[i] = jb++;
      else src[i] = 0, idx[i] = jx++;
    for (U i = 0; i < nyo; i++) src[nx_ + i] = 2, idx[nx_ + i] = i;
    V v = pick(part, 3, src, idx, n);
    r = k && v ? am(k, v) : 0;
    if (!r) {
      if (k) mr(k);
      if (v) mr(v);
    }
  }
  for (V p : part)
    if (p) mr(p);
  mr(y);
  return r;
}

V em(V f, V *a, U n) {
  if (n > 8) return er8(a, n);
  V ks = 0;
  for (U i = 0; i < n; i++) {
    if (tp(a[i]) != tDICT) continue;
    V k = K(a[i]);
    V e = tbl(k) ? en0() : ks && TS[tp(k)] != TS[tp(ks)] ? ed0() : (V)1;
    if (e != 1) {
      if (ks) mr(ks);
      return mrn(n, a), (V)0;
    }
    if (!(ks = ks ? cat10(ks, k) : _r(k))) return mrn(n, a), (V)0;
  }
  V u = unq(ks);
  if (!u) return mrn(n, a), (V)0;
  V b[8];
  for (U i = 0; i < n; i++) b[i] = a[i];
  for (U i = 0; i < n; i++) {
    if (tp(b[i]) != tDICT) continue;
    V d = b[i], v = Vv(d), r = 0;
    J c = _n(v);
    if (V p = fnw(fnd(K(d), _r(u)), _n(u))) {
      bool miss = false;
      for (U j = 0; j < nx(p); j++)
        if (PL(p)[j] == NJ) PL(p)[j] = c, miss = true;
      // A missing key selects the seed of f, appended after the values.
      V s = miss ? ie(f, v) : 0;
      V w = !miss ? _r(v) : s ? psh(_r(v), s) : 0;
      if (w) {
        r = i1(w, p);
        mr(w);
      } else
        mr(p);
    }
    mr(d);
    b[i] = r;
    if (!r) {
      for (U j = 0; j < n; j++)
        if (j != i) mr(b[j]);
      mr(u);
      return 0;
    }
  }
  V r = e8(f, b, n);
  return r ? am(u, r) : (mr(u), (V)0);
}

}  // namespace zk
