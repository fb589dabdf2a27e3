// fuse.cpp: the fused expression runner behind the VM's FUSED instruction,
// and its block evaluators.
//
// The runner (fzrun) translates the program of an element-wise expression
// over numeric vectors of one length, works out from the operand types and
// constants how wide every integer intermediate can get, and lets the
// workers (fzw) evaluate it block by block, 512 rows at a time, without any
// intermediate vector.  Whatever does not fit makes it decline (0): the VM
// then runs the plain code, which gives the same value or the plain error.
// A result that needs a wider integer type than first allocated is
// recomputed, never truncated.
//
// Operands are read only up to their count: file-mapped columns have no
// slack past their end, so tails are done item by item.  Only dest, which
// the runner allocates, is ever written.
#include "num/num.h"

#include <algorithm>
#include <cstring>

#include "core/core.h"
#include "core/pool.h"
#include "core/sym.h"
#include "list/list.h"
#include "num/flt.h"
#include "num/simdf.h"

namespace zk {

G fzl64;

namespace {

constexpr I BL = 512;          // rows per block
constexpr I NTK = 32;          // tokens per program
constexpr I NW = 64;           // workers per job
constexpr I ND = 17;           // stack depths (32 tokens hold at most 16 values)
constexpr UJ KOFF = 0x000FFFFFFFFFFFFEull;
constexpr UJ KNAN = 0x8007FFFFFFFFFFFEull;

struct Tok {
  G kind, cls, w, con;
};

struct Job {
  Tok tok[NTK];
  I ntok, depth, rows, blocks, workers, retry;
  G sum, lanes32, width;
  G widen[NTK];
  const void *col[NTK];
  F fcon[NTK];
  J icon[NTK];
  void *dest;
  J *mins, *maxs, *sums;
};

// Width class of [lo, hi]: the narrowest of 8, 16, 32, 64 bits holding it.
int wcl(__int128 lo, __int128 hi) {
  for (int c = 0; c < 3; c++) {
    __int128 m = (__int128)1 << (8 * (1 << c) - 1);
    if (-m <= lo && hi <= m - 1) return c;
  }
  return 3;
}
int kcl(J k) { return tZ(k) - 4; }

// ---- the float order ----
ZK_INLINE J fkey(F d) {
  UJ x;
  memcpy(&x, &d, 8);
  if (d != d) return (J)KNAN;
  if (!(x << 1)) return (J)KOFF;
  return (J)((x ^ ((UJ)((J)x >> 63) >> 1)) + KOFF);
}
ZK_INLINE F funkey(J k) {
  UJ x = (UJ)k - KOFF;
  x ^= (UJ)((J)x >> 63) >> 1;
  F d;
  memcpy(&d, &x, 8);
  return d;
}
// Does any of the n doubles hold a NaN or -0.0?
ZK_INLINE bool fodd(const F *p, I n) {
  for (I i = 0; i < n; i++) {
    UJ x;
    memcpy(&x, p + i, 8);
    if (p[i] != p[i] || x == 0x8000000000000000ull) return true;
  }
  return false;
}

// ---- one entry of a worker's evaluation stack ----
// cls 0 float, 1 integer; blk 0 scalar, 1 block (p its first lane).
template <class L> struct E {
  G cls, blk;
  J i;
  F f;
  void *p;
};

// Integer lanes to doubles; in 64-bit lanes 0N becomes 0n.  s and d may
// be the same address: the loop runs downwards.
template <class L> void i2f(const L *s, F *d, I n) {
  for (I k = n - 1; k >= 0; k--) {
    L v = s[k];
    if constexpr (sizeof(L) == 8) d[k] = v == NJ ? __builtin_nan("") : (F)v;
    else d[k] = (F)v;
  }
}
template <class L> F s2f(J v) {
  if constexpr (sizeof(L) == 8) return v == NJ ? __builtin_nan("") : (F)v;
  return (F)v;
}

// A float operand as lanes, converting an integer block into scr.
template <class L> const F *fl(E<L> &e, F *scr, I n) {
  if (e.cls == 0) return (const F *)e.p;
  i2f<L>((const L *)e.p, scr, n);
  return scr;
}

// Element loops over the three shapes; R the result lane type.
template <class T, class R, class Fn> ZK_INLINE void lp(const T *a, T x, const T *b, T y, R *o, I n, Fn f) {
  if (a && b)
    for (I k = 0; k < n; k++) o[k] = f(a[k], b[k]);
  else if (a)
    for (I k = 0; k < n; k++) o[k] = f(a[k], y);
  else
    for (I k = 0; k < n; k++) o[k] = f(x, b[k]);
}

// Integer operation in the lane width, wrapping.
template <class L> void iop(G op, const L *a, L x, const L *b, L y, L *o, I n) {
  using UL = std::make_unsigned_t<L>;
  switch (op) {
    case '+': lp(a, x, b, y, o, n, [](L p, L q) { return (L)((UL)p + (UL)q); }); break;
    case '-': lp(a, x, b, y, o, n, [](L p, L q) { return (L)((UL)p - (UL)q); }); break;
    case '*': lp(a, x, b, y, o, n, [](L p, L q) { return (L)((UL)p * (UL)q); }); break;
    case '&': lp(a, x, b, y, o, n, [](L p, L q) { return p < q ? p : q; }); break;
    case '|': lp(a, x, b, y, o, n, [](L p, L q) { return p > q ? p : q; }); break;
    case '<': lp(a, x, b, y, (G *)o, n, [](L p, L q) { return (G)(p < q); }); break;
    case '>': lp(a, x, b, y, (G *)o, n, [](L p, L q) { return (G)(p > q); }); break;
    default: lp(a, x, b, y, (G *)o, n, [](L p, L q) { return (G)(p == q); }); break;
  }
}

// Float & | < > = in the float order: keys only when an operand holds a
// NaN or -0.0, else IEEE comparisons, which then agree.
void ford(G op, const F *a, F x, const F *b, F y, void *o, I n) {
  bool odd = (a ? fodd(a, n) : fodd(&x, 1)) || (b ? fodd(b, n) : fodd(&y, 1));
  F *of = (F *)o;
  G *og = (G *)o;
  if (!odd) {
    switch (op) {
      case '&': lp(a, x, b, y, of, n, [](F p, F q) { return q < p ? q : p; }); break;
      case '|': lp(a, x, b, y, of, n, [](F p, F q) { return q > p ? q : p; }); break;
      case '<': lp(a, x, b, y, og, n, [](F p, F q) { return (G)(p < q); }); break;
      case '>': lp(a, x, b, y, og, n, [](F p, F q) { return (G)(p > q); }); break;
      default: lp(a, x, b, y, og, n, [](F p, F q) { return (G)(p == q); }); break;
    }
    return;
  }
  switch (op) {
    case '&': lp(a, x, b, y, of, n, [](F p, F q) { return funkey(std::min(fkey(p), fkey(q))); }); break;
    case '|': lp(a, x, b, y, of, n, [](F p, F q) { return funkey(std::max(fkey(p), fkey(q))); }); break;
    case '<': lp(a, x, b, y, og, n, [](F p, F q) { return (G)(fkey(p) < fkey(q)); }); break;
    case '>': lp(a, x, b, y, og, n, [](F p, F q) { return (G)(fkey(p) > fkey(q)); }); break;
    default: lp(a, x, b, y, og, n, [](F p, F q) { return (G)(fkey(p) == fkey(q)); }); break;
  }
}

// Float + - * %: IEEE, through the block kernels.
void fop(G op, const F *a, F x, const F *b, F y, F *o, I n) {
  if (a && b) {
    if (op == '+') simd_add_f64(a, b, o, (UJ)n);
    else if (op == '-') simd_sub_f64(a, b, o, (UJ)n);
    else if (op == '*') simd_mul_f64(a, b, o, (UJ)n);
    else simd_div_f64(a, b, o, (UJ)n);
  } else if (a) {
    if (op == '+') fzadd(a, o, (UJ)n, y);
    else if (op == '-') fzadd(a, o, (UJ)n, -y);
    else if (op == '*') fzmul(a, o, (UJ)n, y);
    else fzdvr(a, o, (UJ)n, y);
  } else {
    if (op == '+') fzadd(b, o, (UJ)n, x);
    else if (op == '-')
      for (I k = 0; k < n; k++) o[k] = x - b[k];
    else if (op == '*') fzmul(b, o, (UJ)n, x);
    else fzdvl(b, o, (UJ)n, x);
  }
}

ZK_INLINE bool isord(G op) { return op == '&' || op == '|' || op == '<' || op == '>' || op == '='; }
ZK_INLINE bool iscmp(G op) { return op == '<' || op == '>' || op == '='; }

// One block of n rows from row r0, in lanes of L; scratch holds a 512-row
// area of 8 bytes a lane per depth.  mn, mx, ps: the worker's running
// minimums, maximums and partial sum.
template <class L> void blk(const Job &j, I r0, I n, F (*scr)[BL], J *mn, J *mx, J &ps) {
  E<L> st[ND];
  I d = 0;
  I last = j.ntok - 1;
  bool wide = sizeof(L) == 8;
  for (I t = 0; t < j.ntok; t++) {
    const Tok &k = j.tok[t];
    E<L> &e = st[d];
    switch (k.kind) {
      case 'v':
        e = {0, 1, 0, 0, (void *)((const F *)j.col[t] + r0)};
        d++;
        continue;
      case 'z': {
        e.cls = 1, e.blk = 1;
        const void *c = j.col[t];
        L *s = (L *)scr[d];
        if ((int)k.w == (wide ? 3 : 2)) e.p = (void *)((const L *)c + r0);
        else {
          if (k.w == 0) for (I q = 0; q < n; q++) s[q] = (L)((const int8_t *)c)[r0 + q];
          else if (k.w == 1) for (I q = 0; q < n; q++) s[q] = (L)((const int16_t *)c)[r0 + q];
          else for (I q = 0; q < n; q++) s[q] = (L)((const int32_t *)c)[r0 + q];
          e.p = s;
        }
        d++;
        continue;
      }
      case 'c': e = {0, 0, 0, j.fcon[t], 0}, d++; continue;
      case 'i': e = {1, 0, j.icon[t], 0, 0}, d++; continue;
      default: break;
    }
    E<L> &b = st[--d], &a = st[d - 1];
    G op = k.kind;
    bool end = t == last;
    void *o = scr[d - 1];
    if (k.cls == 1 || (k.cls == 2 && a.cls == 1 && b.cls == 1)) {
      if (end && (k.cls == 2 ? !j.sum : !j.sum && j.width == (wide ? 3 : 2))) o = (G *)j.dest + (size_t)r0 * (k.cls == 2 ? 1 : sizeof(L));
      iop<L>(op, a.blk ? (const L *)a.p : 0, (L)a.i, b.blk ? (const L *)b.p : 0, (L)b.i, (L *)o, n);
      if (k.cls == 1 && j.widen[t]) {
        const L *v = (const L *)o;
        L lo = v[0], hi = v[0];
        for (I q = 1; q < n; q++) lo = std::min(lo, v[q]), hi = std::max(hi, v[q]);
        mn[t] = std::min(mn[t], (J)lo), mx[t] = std::max(mx[t], (J)hi);
      }
      a = {1, 1, 0, 0, o};
    } else {
      // Float operands; integer ones converted first.
      const F *pa = 0, *pb = 0;
      F x = 0, y = 0;
      if (a.blk) pa = fl(a, scr[d - 1], n);
      else x = a.cls ? s2f<L>(a.i) : a.f;
      if (b.blk) pb = fl(b, scr[d], n);
      else y = b.cls ? s2f<L>(b.i) : b.f;
      if (end && (k.cls == 0 || !j.sum)) o = (G *)j.dest + (size_t)r0 * (k.cls == 0 ? 8 : 1);
      if (isord(op)) ford(op, pa, x, pb, y, o, n);
      else fop(op, pa, x, pb, y, (F *)o, n);
      a = {0, 1, 0, 0, o};
    }
    if (!end) continue;
    if (k.cls == 2) {
      if (j.sum)
        for (I q = 0; q < n; q++) ps += ((const G *)o)[q];
    } else if (k.cls == 1) {
      const L *v = (const L *)o;
      if (j.sum)
        for (I q = 0; q < n; q++) ps = (J)((UJ)ps + (UJ)(J)v[q]);
      else if (o != (G *)j.dest + (size_t)r0 * sizeof(L)) {
        void *q0 = (G *)j.dest + ((size_t)r0 << j.width);
        if (j.width == 0) for (I q = 0; q < n; q++) ((int8_t *)q0)[q] = (int8_t)v[q];
        else if (j.width == 1) for (I q = 0; q < n; q++) ((int16_t *)q0)[q] = (int16_t)v[q];
        else if (j.width == 2) for (I q = 0; q < n; q++) ((int32_t *)q0)[q] = (int32_t)v[q];
        else for (I q = 0; q < n; q++) ((J *)q0)[q] = (J)v[q];
      }
    }
  }
}

// One block in 32-bit integer lanes.
void fzblk32(const Job &j, I r0, I n, F (*scr)[BL], J *mn, J *mx, J &ps) { blk<I>(j, r0, n, scr, mn, mx, ps); }

// Worker w of the job: its share of blocks, then its tables.
void fzw(Job &j, int w) {
  alignas(64) F scr[ND][BL];
  J mn[NTK], mx[NTK], ps = 0;
  for (I t = 0; t < NTK; t++) mn[t] = WJ, mx[t] = NJ;
  I last = j.ntok - 1;
  bool track = j.tok[last].cls == 1 && j.widen[last] && !j.sum;
  J B = j.blocks, W = j.workers;
  I b0 = (I)((J)w * B / W), b1 = (I)((J)(w + 1) * B / W);
  for (I b = b0; b < b1; b++) {
    if (track && __atomic_load_n(&j.retry, __ATOMIC_RELAXED)) break;
    I r0 = b * BL, n = std::min(BL, j.rows - r0);
    if (j.lanes32) fzblk32(j, r0, n, scr, mn, mx, ps);
    else blk<J>(j, r0, n, scr, mn, mx, ps);
    if (track && wcl(mn[last], mx[last]) > j.width) {
      __atomic_store_n(&j.retry, 1, __ATOMIC_RELAXED);
      break;
    }
  }
  memcpy(j.mins + w * NTK, mn, sizeof mn);
  memcpy(j.maxs + w * NTK, mx, sizeof mx);
  j.sums[w] = ps;
}

void fzw_(void *ctx, int w) { fzw(*(Job *)ctx, w); }

}  // namespace

V fzrun(V list, const V *loc) {
  if (tp(list) != tLIST || !nx(list)) return 0;
  V prog = PA(list)[0];
  if (tp(prog) != tCHR || nx(prog) < 2) return 0;
  const G *p = P(prog);
  U np = nx(prog);
  Job j;
  memset(&j, 0, sizeof j);
  j.sum = p[0] & 1;
  I sk[NTK], sd = 0;  // the evaluation stack of token indices
  bool scal[NTK];
  I rows = -1;
  for (U q = 1; q < np;) {
    G c = p[q++];
    if (j.ntok == NTK) return 0;
    I t = j.ntok++;
    Tok &k = j.tok[t];
    if (c == 'l' || c == 'g' || c == 'k') {
      V x;
      if (c == 'l') {
        if (q >= np) return 0;
        x = loc[p[q++]];
      } else if (c == 'g') {
        if (q + 1 >= np) return 0;
        U g = p[q] | (U)p[q + 1] << 8;
        q += 2;
        if (g >= NG) return 0;
        x = gv[g];
      } else {
        if (q >= np || p[q] >= nx(list)) return 0;
        x = PA(list)[p[q++]];
      }
      if (!x) return 0;
      int xt = tp(x);
      bool sc = true;
      if (xt == tINTA) k = {'i', 1, 0, 1}, j.icon[t] = ip(x);
      else if (xt == tLONGA) {
        J v = gl_(x);
        if (v == NJ) return 0;
        k = {'i', 1, 0, 1}, j.icon[t] = v;
      } else if (xt == tFLTA) k = {'c', 0, 0, 1}, j.fcon[t] = PF(x)[0];
      else if (xt == tFLT || (xt >= tBYTE && xt <= tLONG)) {
        if (rows < 0) rows = (I)nx(x);
        else if ((I)nx(x) != rows) return 0;
        if (nx(x) > 0x7fffffffu) return 0;
        if (xt == tFLT) k = {'v', 0, 0, 0};
        else {
          k = {'z', 1, (G)(xt - tBYTE), 0};
          if (xt == tLONG) {
            const J *v = PL(x);
            for (U r = 0; r < nx(x); r++)
              if (v[r] == NJ) return 0;
          }
        }
        j.col[t] = (const void *)(uintptr_t)x;
        sc = false;
      } else return 0;
      scal[sd] = sc;
      sk[sd++] = t;
      j.depth = std::max(j.depth, sd);
      continue;
    }
    if (!strchr("+-*%&|<>=", c) || !c) return 0;
    if (sd < 2 || (scal[sd - 1] && scal[sd - 2])) return 0;
    bool cmp = c == '<' || c == '>' || c == '=';
    if (cmp && q != np) return 0;
    const Tok &l = j.tok[sk[sd - 2]], &r = j.tok[sk[sd - 1]];
    G cls = cmp ? 2 : c == '%' ? 0 : (l.cls == 1 && r.cls == 1) ? 1 : 0;
    k = {c, cls, 0, 0};
    sd--;
    scal[sd - 1] = false;
    sk[sd - 1] = t;
  }
  if (sd != 1 || rows < 2048 || j.ntok < 2 || j.tok[j.ntok - 1].con || strchr("vz", j.tok[j.ntok - 1].kind)) return 0;
  j.rows = rows;
  j.blocks = (rows + BL - 1) / BL;

  // Interval analysis: exact in 128 bits.
  __int128 lo[NTK], hi[NTK];
  G Bw[NTK], Aw[NTK];
  const __int128 L63 = -((__int128)1 << 63), H63 = ((__int128)1 << 63) - 1;
  const __int128 L31 = -((__int128)1 << 31), H31 = ((__int128)1 << 31) - 1;
  bool l32 = true;
  sd = 0;
  for (I t = 0; t < j.ntok; t++) {
    Tok &k = j.tok[t];
    Bw[t] = Aw[t] = 0;
    if (k.kind == 'z') {
      __int128 m = (__int128)1 << (8 * (1 << k.w) - 1);
      lo[t] = -m, hi[t] = m - 1, Aw[t] = Bw[t] = k.w;
      if (k.w == 3) l32 = false;
    } else if (k.kind == 'i') {
      lo[t] = hi[t] = j.icon[t];
      if (j.icon[t] < L31 || j.icon[t] > H31) l32 = false;
    }
    if (k.kind == 'z' || k.kind == 'i' || k.kind == 'v' || k.kind == 'c') {
      sk[sd++] = t;
      continue;
    }
    I a = sk[sd - 2], b = sk[sd - 1];
    sk[--sd - 1] = t;
    if (k.cls != 1) continue;
    auto cb = [&](I x, bool neg) -> G {
      if (!j.tok[x].con) return Bw[x];
      return (G)kcl(neg ? -j.icon[x] : j.icon[x]);
    };
    auto ca = [&](I x, bool neg) -> G {
      if (!j.tok[x].con) return Aw[x];
      return (G)kcl(neg ? -j.icon[x] : j.icon[x]);
    };
    bool ng = k.kind == '-';
    Bw[t] = std::max(cb(a, false), cb(b, ng));
    Aw[t] = std::max(ca(a, false), ca(b, ng));
    __int128 la = lo[a], ha = hi[a], lb = lo[b], hb = hi[b];
    switch (k.kind) {
      case '+': lo[t] = la + lb, hi[t] = ha + hb; break;
      case '-': lo[t] = la - hb, hi[t] = ha - lb; break;
      case '*': {
        __int128 v[4] = {la * lb, la * hb, ha * lb, ha * hb};
        lo[t] = *std::min_element(v, v + 4), hi[t] = *std::max_element(v, v + 4);
        break;
      }
      case '&': lo[t] = std::min(la, lb), hi[t] = std::min(ha, hb); break;
      default: lo[t] = std::max(la, lb), hi[t] = std::max(ha, hb); break;
    }
    if (k.kind == '+' || k.kind == '-' || k.kind == '*') {
      int c = wcl(lo[t], hi[t]);
      if (c > 0) {
        Aw[t] = std::max<G>(Aw[t], (G)c);
        j.widen[t] = Bw[t] < c;
      }
    }
    if (lo[t] < L31 || hi[t] > H31) l32 = false;
    if (lo[t] < L63 || hi[t] > H63) lo[t] = L63, hi[t] = H63;
  }
  j.lanes32 = l32 && !fzl64;
  J T = rows < 32768 ? 1 : par_thread_count();
  j.workers = (I)std::min<J>(std::min<J>(T, j.blocks), NW);

  I last = j.ntok - 1;
  G cls = j.tok[last].cls;
  j.width = cls == 1 ? Bw[last] : 3;
  static_assert(sizeof(J) == 8);
  J mins[NW * NTK], maxs[NW * NTK], sums[NW];
  j.mins = mins, j.maxs = maxs, j.sums = sums;
  for (;;) {
    V r = 0;
    if (!j.sum) r = an((U)rows, cls == 0 ? tFLT : cls == 2 ? tBYTE : j.width + 4);
    else if (cls == 0) r = an((U)rows, tFLT);
    if (r) hd(r)->attr = 0;
    j.dest = r ? (void *)r : 0;
    j.retry = 0;
    if (j.workers <= 1) fzw(j, 0);
    else par_run(j.workers, fzw_, &j);
    if (j.retry) {
      mr(r);
      j.width = Aw[last];
      continue;
    }
    if (j.sum) {
      if (cls == 0) {
        F s = rows < 1048576 ? simd_sum_f64(PF(r), (UJ)rows) : pbs(PF(r), 0, (UJ)rows);
        mr(r);
        return af(s);
      }
      UJ s = 0;
      for (I w = 0; w < j.workers; w++) s += (UJ)sums[w];
      return az((J)s);
    }
    if (cls == 0) return r;
    // The widths the values needed in fact.
    G Wd[NTK];
    sd = 0;
    for (I t = 0; t < j.ntok; t++) {
      Tok &k = j.tok[t];
      Wd[t] = k.kind == 'z' ? k.w : 0;
      if (strchr("zivc", k.kind)) {
        sk[sd++] = t;
        continue;
      }
      I a = sk[sd - 2], b = sk[sd - 1];
      sk[--sd - 1] = t;
      if (k.cls == 2 && j.tok[a].cls == 1 && j.tok[b].cls == 1 && (j.tok[a].con || j.tok[b].con)) {
        // Constant comparison: when the constant lies outside every value
        // the other side took, every row has the same answer.
        bool kl = j.tok[a].con;
        J kv = j.icon[kl ? a : b];
        I o = kl ? b : a;
        if (kcl(kv) > Wd[o]) {
          G op = k.kind;
          bool gt = kl ? op == '<' : op == '>', lt = kl ? op == '>' : op == '<';
          I bv = gt ? kv < 0 : lt ? kv > 0 : 0;
          mr(r);
          return rsz(rows, ai(bv));
        }
      }
      if (k.cls != 1) continue;
      auto cw = [&](I x, bool neg) -> G {
        if (!j.tok[x].con) return Wd[x];
        return (G)kcl(neg ? -j.icon[x] : j.icon[x]);
      };
      Wd[t] = std::max(cw(a, false), cw(b, k.kind == '-'));
      if (j.widen[t]) {
        J m = WJ, M = NJ;
        for (I w = 0; w < j.workers; w++) m = std::min(m, mins[w * NTK + t]), M = std::max(M, maxs[w * NTK + t]);
        if (m <= M) Wd[t] = std::max<G>(Wd[t], (G)wcl(m, M));
      }
    }
    if (cls == 2) return r;
    G w = Wd[last];
    if (w == j.width) return r;
    if (w < j.width) return ct(w + 4, r);
    mr(r);
    j.width = w;
  }
}

V fzop(const G *i, const V *loc, const V *k) {
  if (i[2] <= 15) {
    V x = loc[i[2]];
    if (!x || !heap(x)) return 0;
    int t = hd(x)->type;
    if (!(t == tFLT || (t >= tBYTE && t <= tLONG)) || nx(x) < 2048) return 0;
  }
  return fzrun(k[i[1]], loc);
}

}  // namespace zk
