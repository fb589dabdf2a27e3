// eval.cpp: text and argument lists becoming values: statement-by-statement
// evaluation (evn), monadic and dyadic `.` (val, dot), and the cached
// lambdas through which the engine runs small pieces of its own library
// (ki, k1, k2, k8).
//
// Scratch memory lives at most one statement: evn rewinds the thread's
// arena to its own mark after each statement, and carries out the pending
// unmaps of regions freed meanwhile.  Evaluations nest (a cached lambda
// compiled during a statement, `.` of a text); each rewinds only to its own
// mark.  A cached lambda is compiled once, pinned in `cns` for the life of
// the process, and published with a store-release after it is complete.
#include <atomic>
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "eval/parse.h"
#include "io/io.h"
#include "list/list.h"
#include "shell/ring.h"
#include "shell/shell.h"

namespace zk {

namespace {
struct Mark {
  UJ off;
  void *chunk;
};

ZK_INLINE Mark mark() { return {tl.a_off, tl.a_over}; }

// Frees the overflow chunks added since m and moves the offset back to it.
ZK_INLINE void rewind(Mark &m) {
  arena_release(m.off, m.chunk);
  if (tl.a_off < m.off) m.off = tl.a_off;  // the mark follows a rewind below it
}

// One statement from *pos: its value, or 0.
V stmt(const char **pos, const char *end) {
  if (**pos == '\\') {
    ++*pos;
    return bs_(pos, end);
  }
  const char *start = *pos;
  bool sh = shared_mode();
  if (sh) g_parse_mx.lock();
  V tree = pk_(pos, '\n');
  V f = tree ? cpl_(aCn(start, (U)(*pos - start)), tree, 0) : 0;
  if (sh) g_parse_mx.unlock();
  if (!f) return 0;
  V r = run(f, nullptr, 0);
  mr(f);
  return r;
}
}  // namespace

V evn(const char *text, const char *end, int print) {
  if (!*text) return GNULL;
  Mark m = mark();
  const char *pos = text;
  for (;;) {
    V r = stmt(&pos, end);
    if (!r) {
      if (print) epr();
      rewind(m);
      return 0;
    }
    if (*pos == '\n') pos++;
    bool last = !*pos || (end && pos >= end);
    if (!print && last) {
      rewind(m);
      return r;
    }
    if (print) r = out(r);
    mr(r);
    mc();
    rewind(m);
    if (last) return GNULL;
  }
}

V val(V x) {
  int t = tp(x);
  switch (t) {
    case tCHRA: return val(enl(x));
    case tCHR: {
      U n = nx(x);
      x = aa(n + 1, x);
      PC(x)[n] = 0;
      V r = evn(PC(x), PC(x) + n, 0);
      mr(x);
      return r;
    }
    case tLIST: {
      U n = nx(x);
      if (n == 0) return x;
      if (n == 1) {
        V r = _r(PA(x)[0]);
        mr(x);
        return r;
      }
      if (n > 9) return ez(x);
      x = mut(x);
      V r = _8(PA(x)[0], PA(x) + 1, n - 1);
      hd(x)->count = 1;  // the arguments were consumed: only the head goes with x
      mr(x);
      return r;
    }
    case tRANGE: return gZ(x);
    case tSYMA: case tSYM: return gg(x);
    case tTABLE: case tDICT: {
      V r = _r(PA(x)[1]);
      mr(x);
      return r;
    }
    case tLAMBDA: case tPROJ: case tCOMP:
      x = mut(x);
      hd(x)->type = tLIST;
      return x;
    case tDERIV: {
      V r = aA2(_r(PA(x)[0]), imm(tADV, hd(x)->adverb));
      mr(x);
      return r;
    }
    case tMONAD: case tDYAD: case tADV: return ai((I)(U)(x & 0xFFFFFFFFu));
    default: return x;
  }
}

V dot(V f, V x) {
  int t = tp(x);
  if (t == tDICT) return et(x);
  J n = _n(x);
  if (!n) return mr(x), _r(f);
  if ((UJ)n > 8) return ez(x);
  if (t >= tINTA) return _1(f, x);  // an atom or a function is one argument
  V a[8];
  for (J i = 0; i < n; i++) a[i] = ii(x, i);
  mr(x);
  return _8(f, a, (U)n);
}

V ki(V *slot, const char *text) {
  bool sh = shared_mode();
  if (sh) g_parse_mx.lock();
  else if (V v = *slot) return v;
  V v = at_load_acq(*slot);
  if (!v) {
    G g = tl.groot;
    tl.groot = 1;  // library code binds to root names
    v = evn(text, nullptr, 0);
    tl.groot = g;
    if (v) {
      cns = psh(cns, _r(pub(v)));  // every thread of a job may call it
      at_store_rel(*slot, v);
      mr(v);
    }
  }
  if (sh) g_parse_mx.unlock();
  return v;
}

static ZK_INLINE V cached(V *slot, const char *text) {
  V f = at_load_acq(*slot);
  return f ? f : ki(slot, text);
}

V k1(V *slot, const char *text, V x) {
  V f = cached(slot, text);
  return f ? _1(f, x) : (mr(x), (V)0);
}

V k2(V *slot, const char *text, V x, V y) {
  V f = cached(slot, text);
  return f ? _2(f, x, y) : (mr(y), (V)0);
}

V k8(V *slot, const char *text, V *args, U n) {
  V f = cached(slot, text);
  if (!f) {
    mrn(n, args);
    return 0;
  }
  return _8(f, args, n);
}

}  // namespace zk
