// plan.cpp: the test of an indexed assignment's path before anything
// changes: the planner and the recursive validator, with the predicates
// they share.
//
// Names: ixwk = the planner (walks up to 8 levels and records how the
// executor reaches each); ixck = the validator of a path from level d;
// ixcq = one index into a list or vector; ixkv = the levels after a key or
// column; ixkr = the levels inside a table row; ixkl = the index of a table
// whose first part is a table; ixc0 = ixcq on the empty list; ixkc = trial
// search; ixe = integer item of a path; ixzc = count mismatch; ixzd = some
// item is a dict; ixkf = type fit; ixks = the search of a level's names
// among keys or column names; ixkm / ixkn = keyed-table row plan; ixpf =
// the release of a plan's owned search results; ixsm = "the checks went
// through a name" (per thread).
//
// Statuses: 0 ok, 1 'index, 2 'length, 3 'type, 4 an error already raised
// (only the trial searches raise).  Nothing here changes a value: targets
// and paths are borrowed, and every item taken is a reference released
// before the answer.
//
// Path: a general list (any index per level), an integer vector or range
// (one integer per level), a symbol vector (one name per level) or an atom
// (one level).  `::` as the whole path is one level that selects all.
#include "core/err.h"
#include "list/list.h"
#include "num/red.h"
#include "order/order.h"

namespace zk {

thread_local G ixsm;

namespace {

ZK_INLINE bool lv(int t) { return t >= tLIST && t <= tTSPAN; }  // list or vector
ZK_INLINE bool ivt(int t) { return t >= tRANGE && t <= tLONG; }  // integer vector or range
ZK_INLINE bool iat(int t) { return t == tINTA || t == tLONGA; }
ZK_INLINE bool fnt(int t) { return t >= tLAMBDA && t <= tNATIVE; }

// A value borrowed or held: the walk releases what it took.
struct Held {
  V v[16];
  int n = 0;
  V hold(V x) {
    if (n < 16) v[n++] = x;
    else mr(x);  // never reached: at most two per level of 8
    return x;
  }
  ~Held() {
    while (n) mr(v[--n]);
  }
};

// Whether key type kt and index type it form a trial-search pair: the
// search of the index among such keys may itself fail.
bool tpair(int kt, int it) {
  if (kt == tCHR) return it != tCHR && it != tCHRA;
  if (kt == tBOOL || kt == tBYTE)
    return it == tLIST || it == tCHR || it == tTABLE || it == tDICT || it == tCHRA;
  if ((kt >= tSHORT && kt <= tFLT) || kt == tSYM) return it == tCHR || it == tCHRA;
  return it == tBYTE || it == tCHR || it == tCHRA;
}

// y's part for item k: y's item when y is a general list, else y.
ZK_INLINE V yk(V y, J k) { return y && tp(y) == tLIST ? PA(y)[k] : y; }

// Position of symbol s among the symbol vector k; its count when absent.
J sidx(V k, I s) {
  U m = nx(k);
  const I *p = PI(k);
  for (U j = 0; j < m; j++)
    if (p[j] == s) return j;
  return m;
}

// Whether every item of the integer vector or range q (m >= 1 items) lies
// in [0, c): one pass for both extremes, spread over the pool when large.
bool inr(V q, J m, J c) {
  J lo, hi;
  if (tp(q) == tRANGE) lo = PL(q)[0], hi = lo + m - 1;
  else gmmP(P(q), Tw[tp(q)] - 3, (UJ)m, pwk((UJ)m), &lo, &hi);
  return lo >= 0 && hi < c;
}

// Keys of a dict, column names of a table; values or columns.
ZK_INLINE V kk(V x) { return PA(x)[0]; }
ZK_INLINE V vv(V x) { return PA(x)[1]; }


}  // namespace

J ixn(V path) { return tp(path) >= tINTA ? 1 : _n(path); }

V ixi(V path, J d) { return tp(path) >= tINTA ? path : ii(path, d); }

J ixe(V v, J i) { return iti(v, tp(v), (UJ)i); }

bool ixzc(V v, J n) { return v && tp(v) <= tDICT && _n(v) != n; }

bool ixzd(V list) {
  for (U j = 0, m = nx(list); j < m; j++)
    if (tp(PA(list)[j]) == tDICT) return true;
  return false;
}

bool ixkf(int vt, int it) {
  if (vt >= tRANGE && vt <= tLONG) return iat(it) || (it >= tRANGE && it <= tLONG);
  if (vt >= tFLT && vt <= tTSPAN) return it == vt || (it >= tINTA && TT[it] == vt && it != tINTA);
  if (vt >= tINTA) return it == vt || (iat(vt) && iat(it));
  return true;  // general list, table, dict
}

I ixkc(V keys, V index) {
  V r = fnd(keys, _r(index));
  if (!r) return 4;
  mr(r);
  return 0;
}

V ixks(V x, V path, J d) {
  if (tp(path) != tLIST || d >= _n(path)) return 0;
  V q = PA(path)[d];
  int qt = tp(q);
  if (qt != tSYMA && qt != tSYM) return 0;
  V k = kk(x);
  if (tp(k) == tSYM && qt == tSYMA) return ai((I)sidx(k, ip(q)));
  if (tp(k) == tSYM) {
    U m = nx(q);
    V r = an(m, tLONG);
    for (U j = 0; j < m; j++) PL(r)[j] = sidx(k, PI(q)[j]);
    return r;
  }
  return fnd(k, _r(q));
}

I ixc0(V index, V path, J d, V y, bool plain) { return ixcq(ce[tLIST], index, path, d, y, plain); }

I ixkl(V x, V path, J d, V y, bool plain) {
  V q = ixi(path, d);
  int qt = tp(q);
  I s = qt == tSYMA || qt == tSYM ? 0 : ixcq(x, q, path, d, y, plain);
  if (tp(path) < tINTA) mr(q);
  return s;
}

// The item at position i of list, vector or table x, validated from d+1:
// a symbol vector with more than one level left is no target.
static I ixit1(V x, J i, V path, J d, V y, bool plain) {
  J n = ixn(path);
  if (d + 1 >= n) return 0;
  V it = tp(x) == tTABLE ? iM(x, i) : ii(x, i);
  I s = tp(it) == tSYM && d + 2 < n ? 3 : ixck(it, path, d + 1, y, plain);
  mr(it);
  return s;
}

I ixcq(V x, V q, V path, J d, V y, bool plain) {
  J c = _n(x), n = ixn(path);
  bool more = d + 1 < n;
  int qt = tp(q);
  if (q == GNULL) {
    if (y && lv(tp(y)) && _n(y) != c) return 2;
    for (J i = 0; more && i < c; i++)
      if (I s = ixit1(x, i, path, d, yk(y, i), plain)) return s;
    return 0;
  }
  if (iat(qt) || qt == tCHRA) {
    J i = gl_(q);  // a char of code 128 or more is negative: 'index
    if ((UJ)i >= (UJ)c) return 1;
    return ixit1(x, i, path, d, y, plain);
  }
  if (qt == tDICT) return ixcq(x, vv(q), path, d, y, plain);
  if (qt == tTABLE) return 0;
  J k = qt < tINTA ? _n(q) : 0;
  if (qt == tLIST) {
    if (y && tp(y) < tINTA && _n(y) != k) return 2;
    for (J j = 0; j < k; j++)
      if (I s = ixcq(x, PA(q)[j], path, d, yk(y, j), plain)) return s;
    return 0;
  }
  if (ivt(qt)) {
    if (y && tp(y) < tINTA && _n(y) != k) return 2;
    if (!more && qt != tBOOL) return k && !inr(q, k, c) ? 1 : 0;
    for (J j = 0; j < k; j++) {
      J i = ixe(q, j);
      if ((UJ)i >= (UJ)c) return 1;
      if (I s = ixit1(x, i, path, d, yk(y, j), plain)) return s;
    }
    return 0;
  }
  if (qt == tCHR) {
    for (J j = 0; j < k; j++) {
      J i = P<int8_t>(q)[j];
      if ((UJ)i >= (UJ)c) return 1;
      if (I s = ixit1(x, i, path, d, yk(y, j), plain)) return s;
    }
    return 0;
  }
  return 3;
}

// Validates the template of a new position: the first value, or the
// null-filled item of empty values.
static I ixtpl(V vals, V path, J d, V y, bool plain, V cols) {
  if (tp(vals) == tTABLE) {
    if (!_n(vals)) return 4;
    return ixkr(vals, 0, cols, path, d + 1, y, plain);
  }
  V t = io(vals, 0);
  if (!t) return 4;
  I s = ixck(t, path, d + 1, y, plain);
  mr(t);
  return s;
}

I ixkv(V x, J p, V path, J d, V y, bool plain, V cols) {
  V vals = vv(x);
  J m = tp(x) == tTABLE ? (J)nx(vals) : _n(vals);
  if (tp(x) == tTABLE) {
    if (p < 0 || p >= m) {
      if (!m) return 4;
      p = 0;  // a new column is checked against the first
    }
    return ixck(PA(vals)[p], path, d + 1, y, plain);
  }
  if (tp(vals) == tTABLE) {
    V c = cols ? cols : ixks(vals, path, d + 1);
    I s = p >= 0 && p < m ? ixkr(vals, p, c, path, d + 1, y, plain) : ixtpl(vals, path, d, y, plain, c);
    if (c && !cols) mr(c);
    return s;
  }
  if (p < 0 || p >= m) return ixtpl(vals, path, d, y, plain, cols);
  V it = ii(vals, p);
  I s = ixck(it, path, d + 1, y, plain);
  mr(it);
  return s;
}

I ixkr(V t, J row, V cols, V path, J d, V y, bool plain) {
  J n = ixn(path);
  V cl = vv(t);
  J nc = nx(cl);
  bool more = d + 1 < n;
  auto cell = [&](J c, V yy) -> I {
    if (!more) return 0;
    if (c < 0 || c >= nc) c = 0;
    if (!nc) return 4;
    V col = PA(cl)[c];
    V v = tp(col) == tTABLE ? iM(col, row) : ii(col, row);
    I s = ixck(v, path, d + 1, yy, plain);
    mr(v);
    return s;
  };
  V q = d < n ? ixi(path, d) : GNULL;
  bool all = q == GNULL;
  if (tp(path) < tINTA && d < n) mr(q);
  if (all) {
    if (y && tp(y) < tINTA && _n(y) != nc) return 2;
    for (J c = 0; more && c < nc; c++)
      if (I s = cell(c, yk(y, c))) return s;
    return 0;
  }
  if (cols && tp(cols) >= tINTA) return cell(gl_(cols), y);
  if (cols && ivt(tp(cols))) {
    J k = _n(cols);
    if (y && tp(y) < tINTA && _n(y) != k) return 2;
    for (J j = 0; j < k; j++)
      if (I s = cell(ixe(cols, j), yk(y, j))) return s;
    return 0;
  }
  V r = iM(t, row);
  I s = ixck(r, path, d, y, plain);
  mr(r);
  return s;
}

namespace {

// Validator steps for a table x at level d with index q.
I ixct(V x, V q, V path, J d, V y, bool plain) {
  J n = ixn(path), rows = _n(x);
  bool last = d + 1 >= n;
  V names = kk(x), cl = vv(x);
  J nc = tp(cl) == tLIST ? (J)nx(cl) : 0;
  int qt = tp(q), yt = y ? tp(y) : tINTA;
  if (tp(names) == tTABLE) return ixkl(x, path, d, y, plain);
  if (qt == tSYMA) {
    if (last) {
      if (!plain || !nc) return 0;
      if (yt == tDICT) return 2;
      bool only = nc == 1 && PI(names)[0] == ip(q);
      return ixzc(y, rows) && !only ? 2 : 0;
    }
    return ixkv(x, sidx(names, ip(q)), path, d, y, plain, 0);
  }
  if (qt == tSYM) {
    J k = _n(q);
    if (yt < tINTA && _n(y) != k) return 2;
    if (!last) {
      for (J j = 0; j < k; j++)
        if (I s = ixkv(x, sidx(names, PI(q)[j]), path, d, yk(y, j), plain, 0)) return s;
      return 0;
    }
    if (!plain) return 0;
    if (yt == tTABLE) return 2;
    if (yt != tLIST) return 0;
    if (ixzd(y)) return 2;
    bool rep = false, every = true;
    for (J j = 0; j < k && !rep; j++)
      for (J i = j + 1; i < k && !rep; i++) rep = PI(q)[i] == PI(q)[j];
    if (rep) return 0;
    for (J c = 0; c < nc && every; c++) {
      bool named = false;
      for (J j = 0; j < k && !named; j++) named = PI(q)[j] == PI(names)[c];
      every = named;
    }
    J want = every ? -1 : rows;
    for (J j = 0; j < k; j++) {
      V e = PA(y)[j];
      if (!lv(tp(e))) continue;
      if (want < 0) want = _n(e);
      else if (_n(e) != want) return 2;
    }
    return 0;
  }
  if (iat(qt)) {
    J r = gl_(q);
    if ((UJ)r >= (UJ)rows) return 1;
    if (last) return 0;
    V c = d + 2 < n ? ixks(x, path, d + 1) : 0;
    I s = ixkr(x, r, c, path, d + 1, y, plain);
    if (c) mr(c);
    return s;
  }
  if (q == GNULL || ivt(qt)) {
    J k = q == GNULL ? rows : _n(q);
    bool free_ = last && plain && yt == tDICT && tp(kk(y)) != tTABLE;
    if (!free_ && ixzc(y, k)) return 2;
    for (J j = 0; j < k; j++) {
      J r = q == GNULL ? j : ixe(q, j);
      if ((UJ)r >= (UJ)rows) return 1;
      if (!last)
        if (I s = ixkr(x, r, 0, path, d + 1, yk(y, j), plain)) return s;
    }
    return 0;
  }
  return nc ? ixcq(x, q, path, d, y, plain) : ixc0(q, path, d, y, plain);
}

// Validator steps for a dict x at level d with index q (not a keyed table).
I ixcd(V x, V q, V path, J d, V y, bool plain) {
  J n = ixn(path);
  bool last = d + 1 >= n;
  V keys = kk(x);
  int qt = tp(q), kt = tp(keys);
  if (q == GNULL) return ixck(vv(x), path, d, y, plain);
  if (!last) {
    V r = fnd(keys, _r(q));
    if (!r) return 4;
    int rt = tp(r);
    I s = 0;
    if (iat(rt)) {
      J p = gl_(r);
      s = ixkv(x, p == NJ ? _n(keys) : p, path, d, y, plain, 0);
    } else if (ivt(rt)) {
      J k = _n(r);
      if (y && tp(y) < tINTA && _n(y) != k) s = 2;
      for (J j = 0; j < k && !s; j++) {
        J p = ixe(r, j);
        s = ixkv(x, p == NJ ? _n(keys) : p, path, d, yk(y, j), plain, 0);
      }
    }
    mr(r);
    return s;
  }
  if (qt >= tRANGE && qt <= tTSPAN && kt != tLIST && y && tp(y) < tINTA && _n(y) != _n(q)) return 2;
  return tpair(kt, qt) ? ixkc(keys, q) : 0;
}

}  // namespace

I ixck(V x, V path, J d, V y, bool plain) {
  J n = ixn(path);
  if (d >= n) return 0;
  int t = tp(x), pt = tp(path);
  if (t >= tINTA) {
    if (t == tSYMA) return ixsm = 1, 0;
    if (fnt(t)) return 0;
    return path == GNULL ? 0 : 3;
  }
  if (lv(t) && ivt(pt)) {
    J i = ixe(path, d);
    if ((UJ)i >= (UJ)_n(x)) return 1;
    if (d + 1 >= n) return 0;
    V it = ii(x, i);
    I s = tp(it) == tSYM && d + 2 < n ? 3 : ixck(it, path, d + 1, y, plain);
    mr(it);
    return s;
  }
  V q = ixi(path, d);
  I s;
  if (lv(t)) s = ixcq(x, q, path, d, y, plain);
  else if (t == tDICT && tp(kk(x)) == tTABLE) s = 0;
  else if (t == tDICT && d + 1 >= n && tp(q) >= tINTA && q != GNULL)
    s = tpair(tp(kk(x)), tp(q)) ? ixkc(kk(x), q) : 0;
  else if (t == tTABLE) s = ixct(x, q, path, d, y, plain);
  else if (t == tDICT) s = ixcd(x, q, path, d, y, plain);
  else s = 0;
  if (pt < tINTA) mr(q);
  return s;
}

I ixkm(V x, V path, G *kinds, J *pos) {
  if (tp(x) != tDICT || tp(kk(x)) != tTABLE || tp(vv(x)) > tTABLE) return 0;
  int pt = tp(path);
  if (pt < tINTA && _n(path) != 1) return 0;
  V q = ixi(path, 0);
  V r = fnd(kk(x), pt < tINTA ? q : _r(q));
  if (!r) return -4;
  if (!iat(tp(r))) return mr(r), 0;
  J p = gl(r), m = _n(kk(x));
  kinds[0] = 1;
  pos[0] = p < 0 || p >= m ? m : p;
  return 1;
}

I ixkn(V x, V path, G *kinds, J *pos) {
  int pt = tp(path);
  bool go = tp(kk(x)) != tSYM || pt >= tINTA || (pt < tINTA && pt != tLIST && _n(path) == 1) ||
            (pt == tLIST && _n(path) == 1 && tp(PA(path)[0]) >= tINTA);
  return go ? ixkm(x, path, kinds, pos) : 0;
}

void ixpf(I c, const G *kinds, const J *pos) {
  for (I l = 0, m = c & 255; l < m && l < 8; l++)
    if (kinds[l] == 9) mr((V)pos[l]);
}

namespace {

// The planner's walk.  State shared by its steps.
struct Walk {
  V x, path, y;
  bool plain, glb;
  G *k;
  J *p;
  J n;
  J nk = -1;  // level of a planned new key
  Held held;

  I withkey(J lv) const { return nk >= 0 ? (I)(nk + 1) | (glb ? 256 : 0) : (I)lv; }

  // Planning ended at level L with cur the target there.
  I end(J L, V cur) {
    if (L == 0) return -ixck(x, path, 0, y, plain);
    if (k[L - 1] == 3 || k[L - 1] == 6) return (I)L;
    if (glb) ixsm = 0;
    if (I s = ixck(cur, path, L, y, plain)) return -s;
    if (plain && y && tp(y) == tDICT && L + 1 == n && k[L - 1] == 2 && lv(tp(cur))) {
      V q = ixi(path, L);
      bool all = q == GNULL;
      if (tp(path) < tINTA) mr(q);
      if (all) return -2;
    }
    bool sym = tp(cur) == tSYMA;
    if (glb && sym && nk < 0) return k[L] = 3, p[L] = -1, (I)(L + 1) | 512;
    if (glb && (sym || ixsm)) return 512;
    if (nk >= 0) return withkey(0);
    k[L] = 3, p[L] = -1;
    return (I)(L + 1) | (plain && n - L > 1 ? 256 : 0);
  }

  I done() {
    if (nk < 0) return (I)n;
    if (nk == n - 2 && k[n - 1] == 0) return k[nk] = 7, (I)n;
    return withkey(0);
  }

  I run();
};

I Walk::run() {
  int pt = tp(path);
  bool ipath = ivt(pt);
  V cur = x;
  for (J L = 0; L < n; L++) {
    V ix = pt >= tINTA ? path : held.hold(ii(path, L));
    int it = tp(ix), ct = tp(cur);
    bool last = L + 1 == n, hasi = ipath || iat(it);
    J iv = ipath ? ixe(path, L) : iat(it) ? gl_(ix) : -1;
    if (lv(ct)) {
      J c = _n(cur);
      if (last && ivt(it) && it != tBOOL) {
        J m = _n(ix);
        if (ixzc(y, m)) return -2;
        if (m && !inr(ix, m, c)) return -1;
        // A large index vector into an integer or char vector goes to the
        // store kernel, which need not check it again.
        bool xt = ct == tCHR || (ct >= tBOOL && ct <= tLONG);
        if (xt && m >= 4096 && it != tRANGE) ixpv(ix, (UJ)c);
        if (L == 0) return 0;
        k[L] = 3, p[L] = -1;
        return withkey(L + 1);
      }
      if (hasi && iv >= 0 && iv < c) {
        k[L] = 0, p[L] = iv;
        V nx_ = held.hold(ii(cur, iv));
        if (tp(nx_) == tSYM && L + 1 < n - 1) return -3;
        cur = nx_;
        continue;
      }
      return end(L, cur);
    }
    bool sdict = ct == tDICT && tp(kk(cur)) == tSYM;
    bool tbl = ct == tTABLE && tp(kk(cur)) == tSYM && nx(vv(cur)) > 0;
    if (!sdict && !tbl) return end(L, cur);
    if (hasi && tbl) {
      if (iv < 0 || iv >= _n(cur)) return end(L, cur);
      if (last) {
        k[L] = 3, p[L] = iv;
        return done();
      }
      V nq = pt == tLIST ? PA(path)[L + 1] : 0;
      if (L + 2 != n || pt != tLIST || tp(nq) != tSYMA) return end(L, cur);
      k[L] = 3, p[L] = iv;
      if (J c = tcc(cur, nq)) k[L] = 6, p[L + 1] = c - 1;
      return (I)(L + 1);
    }
    V keys = kk(cur), vals = vv(cur);
    J cnt = tbl ? (J)nx(vals) : _n(keys);
    if (it == tSYMA && nk < 0) {
      J pos = sidx(keys, ip(ix));
      p[L] = pos;
      if (last) {
        if (sdict) return k[L] = 1, done();
        int yt = y ? tp(y) : tINTA;
        bool fit = !plain || yt >= tINTA || (yt != tDICT && (_n(y) == _n(cur) || (cnt == 1 && pos == 0)));
        if (!fit) return end(L, cur);
        return k[L] = 2, done();
      }
      if (pos < cnt) {
        k[L] = tbl ? 2 : 1;
        cur = tbl ? PA(vals)[pos] : held.hold(ii(vals, pos));
        continue;
      }
      if (tbl) {
        k[L] = 5;
        V c0 = PA(vals)[0];
        if (I s = ixck(c0, path, L + 1, y, plain)) return -s;
        if (plain && y && tp(y) == tDICT && lv(tp(c0)) && L + 2 == n) {
          V q = ixi(path, L + 1);
          bool all = q == GNULL;
          if (pt < tINTA) mr(q);
          if (all) return -2;
        }
        return (I)(L + 1) | (glb ? 256 : 0);
      }
      k[L] = 4, nk = L;
      V t = cnt ? ii(vals, 0) : io(vals, 0);
      if (!t) return -4;
      cur = held.hold(t);
      continue;
    }
    if (it == tSYM && !last && nk < 0) {
      V r = fnd(keys, _r(ix));
      if (!r) return -4;
      J m = _n(ix);
      if (y && tp(y) < tINTA && _n(y) != m) return mr(r), -2;
      V nq = pt == tLIST ? PA(path)[L + 1] : 0;
      for (J j = 0; j < m; j++) {
        J pos = ixe(r, j);
        if (pos < 0 || pos >= cnt) pos = cnt;
        V yj = yk(y, j);
        V v = pos < cnt ? (tbl ? PA(vals)[pos] : 0) : 0;
        V vh = pos < cnt && !tbl ? ii(vals, pos) : 0;
        if (vh) v = vh;
        I s;
        if (v && lv(tp(v)) && nq && iat(tp(nq))) s = (UJ)gl_(nq) >= (UJ)_n(v) ? 1 : 0;
        else s = ixkv(cur, pos, path, L, yj, plain, 0);
        if (vh) mr(vh);
        if (s) return mr(r), -s;
      }
      if (glb && ixsm) return mr(r), 512;
      k[L] = 9, p[L] = (J)r;
      return (I)(L + 1) | (glb ? 256 : 0);
    }
    return end(L, cur);
  }
  return done();
}

}  // namespace

I ixwk(V x, V path, V y, bool plain, bool glb, G *kinds, J *pos) {
  if (!x) return 0;
  if (tp(x) == tDICT && tp(vv(x)) > tTABLE) return -3;
  if (glb) ixsm = 0;
  int pt = tp(path);
  J n = pt >= tINTA ? 1 : _n(path);
  bool go = pt >= tINTA ? path != GNULL : n >= 1 && n <= 8 && (pt == tLIST || ivt(pt) || pt == tSYM);
  if (!go) return -ixck(x, path, 0, y, plain);
  Walk w{x, path, y, plain, glb, kinds, pos, n};
  return w.run();
}

}  // namespace zk
