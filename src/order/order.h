// order.h: ordering and search's face to the rest of the engine.  Names:
// mtc_ = match x~y as a truth value, mtc = the verb ~, hA = the structural
// hash (match.cpp); qA = the total order of two values, qV and qD its forms
// for same-typed vectors and for dicts or tables, cis and cms = stable
// insertion and merge sorts of index arrays by qA, of_ = float to order key
// and back, of1LL/of0LL = its loops, unq = distinct, fnd = find
// (order.cpp).
#pragma once
#include <cstdlib>
#include "core/core.h"

namespace zk {

// ---- match and the structural hash (match.cpp) ----
// mtc_: do x and y match (same kind, shape and items; integers of every
// width and ranges by value, floats as numbers with -0.0 equal to 0.0 and
// every NaN equal to every NaN, attributes ignored); both borrowed; never
// fails.  mtc: the verb ~, x borrowed, y consumed, an int atom 0 or 1.
bool mtc_(V x, V y);
V mtc(V x, V y);
// hA: the 64-bit hash of x (borrowed): values that match hash alike.  Sets
// *flag (cleared by the caller) when x is or holds a value that has no
// hash (temporal vectors, function objects); the number then means nothing,
// but the call still returns.  Never fails.
UJ hA(V x, G *flag);
// The hash's mixing step: the high bits of h times the golden ratio folded
// into the low ones.
ZK_INLINE UJ hmix(UJ h) {
  UJ m = h * 0x9E3779B97F4A7C15ull;
  return m ^ (m >> 29);
}

// ---- total order, order keys, distinct, find (order.cpp) ----
// qA: the total order of any two values, borrowed: negative when x comes
// first, 0 when they are equal in the order, positive when y does; only
// the sign means anything.  Kinds rank by their type letters (TS), so
// every vector and table comes before every atom, dict and function; then
// each kind by its items.  Never fails, raises nothing.  qV and qD give the
// same answers (qA compares same-typed vectors by raw memory first, the
// fast form the two names stand for).
I qA(V x, V y);
I qV(V x, V y);
I qD(V x, V y);
// Stable sorts by qA of the items of a general list (borrowed) that n
// indices of src select, into dst: cis by binary insertion (dst may be
// src), cms by merge for n above 16 (src is clobbered).
void cis(V list, I *src, U n, I *dst);
void cms(V list, I *src, U n, I *dst);
// of_(x, 1): a float vector or atom (consumed, a heap value) to its order
// keys, a long vector or atom whose signed order is the float order: every
// NaN lowest, then -0w, ..., the two zeros one key, ..., 0w.  of_(x, 0)
// turns keys back into floats (-0.0 comes back as 0.0, every NaN as the
// quiet NaN).  At a reference count of one x is converted in place, its
// attribute cleared.  of1LL/of0LL: the loops, over n items rounded up to
// whole 32-byte blocks; s and d may be the same array.
V of_(V x, I f);
void of1LL(const J *s, J *d, UJ n);
void of0LL(const J *s, J *d, UJ n);
// unq: distinct, items in order of first occurrence, consumes x.  fnd:
// x?y, x borrowed, y consumed: for each item of y the index of its first
// occurrence in x (by match), or 0N.
V unq(V x);
V fnd(V x, V y);

// ---- the walkers' stack ----
// Match, hash and order walk nested values with frames of their own, never
// the C stack: a few frames live in the walker's C frame and deeper
// nesting moves them to the heap.  The walkers cannot fail, so memory for
// the frames that cannot be had ends the process as any lost allocation
// does.
template <class T, U N = 32> struct Stk {
  T in[N];
  T *p = in;
  U n = 0, cap = N;
  Stk() = default;
  Stk(const Stk &) = delete;
  ~Stk() {
    if (p != in) free(p);
  }
  T &push() {
    if (n == cap) grow();
    return p[n++];
  }
  T &top() { return p[n - 1]; }
  void pop() { n--; }
  bool empty() const { return !n; }
  void grow() {
    T *q = (T *)malloc(2 * (UJ)cap * sizeof(T));
    if (!q) die("OOM");
    memcpy(q, p, n * sizeof(T));
    if (p != in) free(p);
    p = q;
    cap *= 2;
  }
};

// ---- binary search (bin.cpp) ----
// bin: x a sorted boolean, integer or float vector (borrowed), y consumed:
// for each item of y the index of the last item of x not greater than it,
// -1 below the first; an atom y gives a long atom, else a long vector.
V bin(V x, V y);

// ---- attributes (attr.cpp) ----
// atlist: the attribute letter s (a symbol atom, borrowed) set on the list
// or vector x (consumed) once verified.  atkeys: the sorted attribute of a
// table's rows, or atlist of `s for any other x (consumed); parted picks
// the first column's attribute of a multi-column table (callers pass 1).
V atlist(V s, V x);
V atkeys(V x, I parted);
// atok: whether x (borrowed) has the property of attribute k (1 sorted,
// 2 unique, 3 parted, 4 grouped, which always holds); only vectors of
// bytes to timespans other than symbols can satisfy 1 to 3.
bool atok(V x, int k);

}  // namespace zk
