// apply.cpp: application of values: _1 (one argument), _2 (two), _8 (n),
// the projection builder prj, the valence _K, native calls ext, builtins
// by name sym1, handles (int atoms applied), and the fillers of empty verb
// table slots (no2, no8, ins8).  This is the one place where the kind of
// an applied value decides what happens; `.` and the cached lambdas
// (eval.cpp), the VM, the adverbs and the C interface all come here.
//
// Ownership, binding on every path here: f is borrowed; _1 consumes x; _2
// borrows x and consumes y; _8 and prj consume all n arguments (the array
// stays the caller's); a v8 slot consumes args[0] and its caller releases
// the rest.  A failure releases what the path still holds and returns 0.
// The adverb entries take the reverse of the dyadic rule (x consumed, y
// borrowed): the calls into them below add and drop references to match.
//
// Names: fnt = is a function type, ar = arity of a native, train = is a
// general list a hook or fork, mono/dyad = apply a train or composition
// operand (primitives straight through their table slot), pfill = apply a
// projection by filling its holes, dvb = build a derived verb, xcall = call
// a C function, hnd = apply a handle, hwr = write to a standard descriptor.
//
// Argument arrays live in the caller's frame: at most 8 arguments, 9 with
// the one a projection appends, so dispatch allocates nothing of its own.
#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include "capi/capi.h"
#include "core/err.h"
#include "core/sym.h"
#include "eval/adverb.h"
#include "eval/tables.h"
#include "io/io.h"
#include "list/list.h"
#include "shell/ring.h"

namespace zk {

V kc_qvalue;  // cached "{qvalue x}": local lists and the log replay

namespace {

ZK_INLINE bool fnt(int t) { return t >= tLAMBDA && t <= tNATIVE; }
ZK_INLINE U ar(V f) { return (U)(f >> 48) & 15; }  // arity of a native

// A train: a general list of 2 or 3 functions, none of f, g and the last
// being `::`.
bool train(V f) {
  if (!heap(f) || hd(f)->type != tLIST) return false;
  U n = nx(f);
  if (n != 2 && n != 3) return false;
  for (U i = 0; i < n; i++) {
    V g = PA(f)[i];
    if (!fnt(tp(g)) || g == GNULL) return false;
  }
  return true;
}

// Depth of a value for the valence of a list: 0 atoms, 1 flat vectors,
// 1 + the common depth of a general list's items, -1 when they differ;
// -2 with 'stack raised for lists nested past NDEPTH, which would run the
// C stack out.  d is the nesting level of x.
I dep(V x, int d) {
  int t = tp(x);
  if (t >= tINTA) return 0;
  if (t != tLIST && t != tDICT && t != tTABLE) return 1;
  if (d >= NDEPTH) return es0(), -2;
  if (t != tLIST) return dep(PA(x)[1], d + 1);
  U n = nx(x);
  if (!n) return 1;
  I r = dep(PA(x)[0], d + 1);
  if (r < -1) return r;
  for (U i = 1; i < n; i++) {
    I s = dep(PA(x)[i], d + 1);
    if (s != r) return s < -1 ? s : -1;
  }
  return r < 0 ? -1 : r + 1;
}

// Primitive operands of trains and compositions go to their table slot
// directly: applied to one argument, a primitive is its monadic verb and
// applied to two its dyadic verb, whichever immediate (type 29 or 30) the
// parser made of its glyph.
ZK_INLINE bool prim(V g) { return tag(g) == tMONAD || tag(g) == tDYAD; }
ZK_INLINE V mono(V g, V x) { return prim(g) ? v1[(U)g & 31](x) : _1(g, x); }
ZK_INLINE V dyad(V g, V x, V y) { return prim(g) ? v2[(U)g & 31](x, y) : _2(g, x, y); }

// f[x;] for a dyadic function: the two-argument projection.
V prj2(V f, V x, V y) {
  V a[2] = {x, y};
  return prj(f, a, 2);
}

// Apply the projection p (g; a1; ...; ak): the holes take args in order,
// later holes stay holes, the arguments left over are appended; a1..ak
// are shared with the projection.  Consumes the n arguments.
V pfill(V p, V *args, U n) {
  U k = nx(p) - 1, c = 0, j = 0;
  V a[18];
  for (U i = 1; i <= k; i++) {
    V v = PA(p)[i];
    a[c++] = v == GAP && j < n ? args[j++] : _r(v);
  }
  while (j < n) a[c++] = args[j++];
  if (c > 8) return er8(a, c);
  return _8(PA(p)[0], a, c);
}

// A derived verb (type 28) holding x as its operand.  Over, scan and
// each-prior of a dyadic function take one argument (the seed is
// optional); otherwise the derived verb takes what its operand takes.
V dvb(U adv, V x) {
  V r = an(1, tDERIV);
  PA(r)[0] = x;
  hd(r)->adverb = (G)adv;
  I v = fnt(tp(x)) ? _K(x) : 1;
  if ((adv == 1 || adv == 2 || adv == 3) && v == 2) v = 1;
  hd(r)->valence = (G)v;
  return r;
}

// Calls the C function at p with the n arguments.  A C function may fail
// without writing the error text, which would leave the failure to be
// reported with whatever text an earlier error left; err_blocks marks
// whether it raised one (every error start resets it), so a silent failure
// gets 'domain, and a success leaves the earlier text as it was.
V xcall(UJ p, V *a, U n) {
  I b = tl.err_blocks;
  tl.err_blocks = -1;
  V r;
  switch (n) {
    case 1: r = ((V(*)(V))p)(a[0]); break;
    case 2: r = ((V(*)(V, V))p)(a[0], a[1]); break;
    case 3: r = ((V(*)(V, V, V))p)(a[0], a[1], a[2]); break;
    default: r = ((V(*)(V, V, V, V))p)(a[0], a[1], a[2], a[3]);
  }
  if (tl.err_blocks == -1) {
    tl.err_blocks = b;
    if (!r) return ed0();
  }
  return r;
}

// ---- handles ----

// All n bytes to fd through the one descriptor writer; the panel keeps
// standard error as well as the standard output that writer feeds it.
static bool wall(int fd, const char *s, UJ n) {
  if (fd == 2 && g_sb_capture && n) rfeed(s, n);
  return fws(fd, s, n);
}

// h in 1, 2, -1, -2: text to descriptor |h|, a newline after each piece
// when h is negative.  Gives h.
V hwr(I h, V x) {
  int fd = h < 0 ? -h : h;
  bool nl = h < 0;
  int t = tp(x);
  bool ok = true;
  if (t == tCHRA) {
    char c[2] = {(char)x, '\n'};
    ok = wall(fd, c, nl ? 2 : 1);
  } else if (t == tCHR) {
    ok = wall(fd, PC(x), nx(x)) && (!nl || wall(fd, "\n", 1));
  } else if (t == tLIST) {
    U n = nx(x);
    for (U i = 0; i < n && ok; i++) {
      V s = PA(x)[i];
      if (tp(s) != tCHR) return et(x);
      ok = wall(fd, PC(s), nx(s)) && (!nl || wall(fd, "\n", 1));
    }
    if (!n && nl) ok = wall(fd, "\n", 1);
  } else if (t < tINTA && !_n(x)) {
    if (nl) ok = wall(fd, "\n", 1);
  } else
    return et(x);
  if (!ok) return eo(x);
  mr(x);
  return ai(h);
}

// An int atom h applied to x.
V hnd(I h, V x) {
  if (!h) {  // 0: evaluate text, or a list form through the modules
    int t = tp(x);
    if (t == tCHR) return val(x);
    if (t == tLIST) return k1(&kc_qvalue, "{qvalue x}", x);
    return et(x);
  }
  U a = h < 0 ? 0u - (U)h : (U)h;
  if (a <= 2) return hwr(h, x);
  if (a > 4095) return et(x);
  return qhap(h, x);  // log files and connections to other processes
}

}  // namespace

I _K(V f) {
  int t = tp(f);
  switch (t) {
    case tLIST: return dep(f, 0);
    case tLAMBDA: case tPROJ: case tCOMP: case tDERIV: return hd(f)->valence;
    case tMONAD: case tADV: return 1;
    case tDYAD: return 2;
    case tNATIVE: return (I)ar(f);
    default: return 0;
  }
}

V _1(V f, V x) {
  int t = tp(f);
  switch (t) {
    case tLIST:
      if (train(f)) {
        int xt = tp(x);
        J v = xt == tINTA || xt == tLONGA ? gl_(x) : -1;
        if (v >= 0 && v < (J)nx(f)) return i1(f, x);  // (f;g) 0 is f: indexing wins
        V g0 = PA(f)[0], g1 = PA(f)[1];
        if (nx(f) == 2) {  // hook: x f (g x)
          V r = mono(g1, _r(x));
          if (!r) return mr(x), (V)0;
          V s = dyad(g0, x, r);
          mr(x);
          return s;
        }
        // fork: (f x) g (h x)
        V a = mono(g0, _r(x));
        if (!a) return mr(x), (V)0;
        V b = mono(PA(f)[2], x);
        if (!b) return mr(a), (V)0;
        V s = dyad(g1, a, b);
        mr(a);
        return s;
      }
      return i1(f, x);
    case tDYAD: return prj2(f, x, GAP);
    case tNATIVE: {
      U a = ar(f);
      if (a <= 1) return ext(f, &x, 1);
      if (a == 2) return prj2(f, x, GAP);
      return prj(f, &x, 1);
    }
    case tADV: return dvb((U)f, x);
    case tMONAD: return v1[(U)f & 31](x);
    case tINTA: return hnd(ip(f), x);
    case tSYMA: return sym1(ip(f), x);
    case tLAMBDA: case tPROJ: case tCOMP: case tDERIV: {
      U v = hd(f)->valence;
      // Each-right pairs x with every item of y: one argument has no y.
      if (t == tDERIV && hd(f)->adverb == 4) return er(x);
      if (v > 1) return v == 2 && t != tPROJ ? prj2(f, x, GAP) : prj(f, &x, 1);
      if (t == tLAMBDA) return run(f, &x, 1);
      if (t == tCOMP) {
        V r = mono(PA(f)[1], x);
        return r ? mono(PA(f)[0], r) : 0;
      }
      if (t == tPROJ) return pfill(f, &x, 1);
      return w1(f, x);  // the adverbs (over.cpp)
    }
    default:
      if (t >= tINTA) return et(x);
      return i1(f, x);
  }
}

V _2(V f, V x, V y) {
  int t = tp(f);
  switch (t) {
    case tLIST:
      if (train(f)) {
        V g0 = PA(f)[0], g1 = PA(f)[1];
        if (nx(f) == 2) {  // hook: f[x; g y]
          V r = mono(g1, y);
          return r ? dyad(g0, x, r) : 0;
        }
        // fork: (x f y) g (x h y)
        V a = dyad(g0, x, _r(y));
        if (!a) return mr(y), (V)0;
        V b = dyad(PA(f)[2], x, y);
        if (!b) return mr(a), (V)0;
        V s = dyad(g1, a, b);
        mr(a);
        return s;
      }
      return i2(f, x, y);
    case tDYAD: return v2[(U)f & 31](x, y);
    case tADV: {
      if ((U)f == 0) {  // x'y: the composition x of y
        I k = _K(y);
        if (k < -1) return mr(y), (V)0;  // a list nested too deep
        V r = an(2, tCOMP);
        PA(r)[0] = _r(x);
        PA(r)[1] = y;
        hd(r)->valence = (G)k;
        return r;
      }
      V d = _1(f, _r(x));
      if (!d) return mr(y), (V)0;
      V r = _1(d, y);
      mr(d);
      return r;
    }
    case tNATIVE: {
      V a[2] = {_r(x), y};
      return ar(f) < 3 ? ext(f, a, 2) : prj(f, a, 2);
    }
    case tLAMBDA: case tPROJ: case tCOMP: case tDERIV: {
      V a[2] = {x, y};
      if (hd(f)->valence > 2) return _r(x), prj(f, a, 2);
      if (t == tCOMP) {
        V r = dyad(PA(f)[1], x, y);
        return r ? mono(PA(f)[0], r) : 0;
      }
      if (t == tDERIV) {  // the adverbs (over.cpp) consume x and borrow y
        V r = w2(hd(f)->adverb, PA(f)[0], _r(x), y);
        mr(y);
        return r;
      }
      _r(x);
      return t == tLAMBDA ? run(f, a, 2) : pfill(f, a, 2);
    }
    default:
      if (t >= tINTA) return et(y);
      return i2(f, x, y);
  }
}

V _8(V f, V *a, U n) {
  if (n == 1) return _1(f, a[0]);
  int t = tp(f);
  if (n == 2) {
    if (t == tPROJ) return hd(f)->valence <= 2 ? pfill(f, a, 2) : prj(f, a, 2);
    V r = _2(f, a[0], a[1]);
    mr(a[0]);
    return r;
  }
  switch (t) {
    case tDYAD: {
      if (!n) return prj(f, a, 0);
      V r = v8[(U)f & 31](a, n);
      mrn(n - 1, a + 1);
      return r;
    }
    case tMONAD: case tADV: return n ? et8(a, n) : prj(f, a, 0);
    case tNATIVE: return n < ar(f) ? prj(f, a, n) : ext(f, a, n);
    case tLAMBDA: case tPROJ: case tCOMP: case tDERIV: {
      if (n < hd(f)->valence) return prj(f, a, n);
      if (t == tLAMBDA) return run(f, a, n);
      if (t == tPROJ) return pfill(f, a, n);
      if (t == tCOMP) {
        V r = _8(PA(f)[1], a, n);
        return r ? mono(PA(f)[0], r) : 0;
      }
      return w8(f, a, n);  // the adverbs (over.cpp)
    }
    default:
      if (t >= tINTA) return et8(a, n);
      return i8(f, a, n);
  }
}

V prj(V f, V *a, U n) {
  int t = tp(f);
  if (t == tLIST || t == tTABLE || t == tDICT) return _8(f, a, n);
  U v;
  switch (t) {
    case tLAMBDA: case tPROJ: case tCOMP: case tDERIV: v = std::max<U>(hd(f)->valence, n); break;
    case tDYAD: v = std::max<U>(n, 2); break;
    case tNATIVE: v = std::max<U>(ar(f), n); break;
    case tMONAD: case tADV: v = n ? n : 1; break;
    default: v = n;
  }
  for (U i = 0; i < n; i++) v -= a[i] != GAP;
  U k = t == tPROJ ? nx(f) : 1, c = k;
  V r = an(k + n, tLIST);
  if (t == tPROJ)
    for (U i = 0; i < k; i++) PA(r)[i] = _r(PA(f)[i]);
  else
    PA(r)[0] = _r(f);
  U j = 0;
  for (U i = 1; i < k && j < n; i++)
    if (PA(r)[i] == GAP) PA(r)[i] = a[j++];
  while (j < n) PA(r)[c++] = a[j++];
  hd(r)->count = c;
  if (c > 9) return ez(r);
  hd(r)->type = tPROJ;
  hd(r)->valence = (G)v;
  return r;
}

// A native of arity 0 takes its one argument as a niladic lambda does.
V ext(V f, V *a, U n) {
  if ((ar(f) ? ar(f) : 1) != n) return er8(a, n);
  if (n < 1 || n > 4) return en8(a, n);
  return xcall(f & 0xFFFFFFFFFFFFull, a, n);
}

V sym1(I id, V x) {
  if (xverb h = zk_ext_verb_lookup(id)) return xcall((UJ)(uintptr_t)h, &x, 1);
  for (U i = 0; i < 107; i++)
    if (bnm[i] == id) return bfn[i](x);
  return bfn[107](x);
}

V no2(V, V y) { return en(y); }
V no8(V *a, U) { return en(a[0]); }
V ins8(V *a, U) { return er(a[0]); }

}  // namespace zk
