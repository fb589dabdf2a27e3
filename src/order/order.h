// order.h: ordering and search's face to the rest of the engine.  Names:
// mtc_ = match x~y as a truth value, mtc = the verb ~, hA = the structural
// hash (match.cpp); qA = the total order of two values, qV and qD its forms
// for same-typed vectors and for dicts or tables, cis and cms = stable
// insertion and merge sorts of index arrays by qA, of_ = float to order key
// and back, of1LL/of0LL = its loops (order.cpp); unq = distinct and its
// kernels (distinct.cpp); grp = group and its kernels (group.cpp); fnd =
// find, que = the dyadic ?, fqm = its count mapping, membC = membership
// (find.cpp); penc =
// parallel dictionary encoding, sencT = the builtin senc (penc.cpp).
#pragma once
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

// ---- total order and order keys (order.cpp) ----
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

// ---- distinct (distinct.cpp) ----
// unq: the monadic ?: distinct items in order of first occurrence, x
// consumed; a new reference or 0 with the error raised.
V unq(V x);
// Float vectors (borrowed) of whole numbers: unqF the distinct vector, or
// 0 (nothing raised) when x does not qualify or scratch memory fails;
// unqrangeF 1 with the minimum and span+1 of the long values when x has
// at least 2 items, no NaN and only whole numbers of magnitude at most
// 2^53; unqLUTF / unqHASHF its flag-table and hash-set kernels.
V unqF(V x);
I unqrangeF(V x, J *mn, J *span1);
V unqLUTF(V x, J mn, J span1);
V unqHASHF(V x);
// The pool tasks of the parallel integer path (minimum and maximum, first
// position tables, their merge, bounded hash sets) over its context, and
// the comparator of the final sort by position.
void pdq_mm(void *ctx, int k);
void pdq_lut(void *ctx, int k);
void pdq_lmin(void *ctx, int k);
void pdq_hash(void *ctx, int k);
int pdq_cmp(const void *a, const void *b);
// Tests set it nonzero to send the parallel path to its hash variant
// whatever the span.
extern int pdq_fh;
// fcan: a new float vector of x's items (borrowed) with -0.0 made 0.0 and
// every NaN the quiet NaN, so that equal numbers have equal bits.
V fcan(V x);

// ---- group (group.cpp) ----
// grp: the monadic =, x consumed: the dict of the distinct items (first
// occurrence order) to the ascending index lists of each; keys take the
// sorted attribute from a sorted x and unique from a unique or grouped one.
// grq: the same by type without the attribute rule.
V grp(V x);
V grq(V x);
// grpI: an int or 32-bit temporal vector (borrowed) grouped over a dense
// range of values; null (nothing raised) when the range is too wide or the
// arena fails.
V grpI(V x);
// frT / frH: for a general list (borrowed) the int vector of each item's
// representative, the first index holding an item equal to it; frT by the
// mixed-atom keys of the grade, frH by hash (its first item a dict or a
// table).  Null when they cannot decide.
V frT(V x);
V frH(V x);
// The hash frH folds, hA unless a test injects collisions.
extern UJ (*frh_hash)(V x, G *flag);
// Index lists hold 32-bit indices up to this many items and 64-bit ones
// above, so none wraps; 2^31-1, tests lower it to reach the wide lists.
extern UJ grp_wide;

// ---- find and the dyadic ? (find.cpp) ----
// fnd: x borrowed, y consumed: for each item of y the position of its
// first occurrence in x, 0N when absent: an int atom (a long 0N) for an
// atom y, else an index vector at the narrowest width that holds #x-1
// when all are found, or a structure of them shaped like y.  A dict x
// gives its keys at those positions (nulls where absent).  fndM: find of
// a general list, dict or table y; fndD: of a dict or table y, keys kept.
// fndGx / fndGxW: the searches against the thread's byte table (tl.fbt)
// that fnd fills from a byte or char x; y consumed.  fndL_lut / fndL_hash:
// the pool tasks of the vectorised search.
V fnd(V x, V y);
V fndM(V x, V y);
V fndD(V x, V y);
V fndGx(V y);
V fndGxW(V y);
void fndL_lut(void *job, int k);
void fndL_hash(void *job, int k);
// dep: the depth find compares by: general lists met down the first items
// (an empty list's prototype included, dicts and tables through their
// values), one more for a vector at the bottom; x borrowed.
I dep(V x);
// fnw: the find answer r (consumed) as a long vector of n items that the
// caller may write ('length or 'type when r is not n positions).
V fnw(V r, J n);
// fqm: the find answer r (consumed) with 0N mapped to n, narrowed; que:
// the dyadic ? (x borrowed, y consumed).
V fqm(V r, J n);
V que(V x, V y);
// membC: the builtin memb, args (x; y) consumed: for each item of x
// whether it is in y, a byte vector of 0 and 1 (an int atom for an atom
// x).  Covers short, int and long x and y (x also an int or long atom) or
// symbols on both sides; any other kinds give the shared empty list, as
// does a set whose scratch cannot be had, so the caller takes its own
// path.  'type when args is not a two-item list.  memb_bm / memb_hash:
// the pool tasks of the lookups against y's bitmap or hash set.
V membC(V args);
void memb_bm(void *job, int k);
void memb_hash(void *job, int k);

// ---- parallel dictionary encoding (penc.cpp) ----
// penc: the distinct items of the long or symbol vector x (borrowed) in
// order of first occurrence, over T (1..64) contiguous chunks; with ids,
// also an int vector of each item's position among them.  0 on success
// (outputs set), nonzero when memory ran short (nothing set).  pe1 / pe3:
// its pool tasks (chunk k's local distinct list; local ids to global);
// gsrh: doubles a thread table (0, or 1 with the table kept).  sencT: the
// builtin senc, x consumed: (distinct; ids) for a symbol vector of more
// than 65,535 items with more than one worker, else the empty list.
I penc(V x, int T, V *vals, V *ids);
void pe1(void *ctx, int k);
void pe3(void *ctx, int k);
I gsrh(J **keys, U **slots, UJ *cap, int *lg);
V sencT(V x);

// ---- grade and sort verbs (grade.cpp) ----
// All consume x.  asc (<) and dsc (>): the stable grade up or down (ties
// in index order both ways); on int and long atoms asc gives x and dsc
// closes the handle; on other atoms asc opens one.  srtC / srtdC: x
// sorted up (typed results with the sorted attribute) or down; qsrt: the
// builtin srt (a dict by its values, else srtC).
V asc(V x);
V dsc(V x);
// The keys of the dict x (consumed) indexed by f of its values: the grade
// of a dict, and its where.
V kby(V x, V (*f)(V));
V srtC(V x);
V srtdC(V x);
V qsrt(V x);
// kK: keys of a general list (borrowed) of date, float, int, long,
// timestamp and time atoms holding at least one date, timestamp or time:
// the mask of classes present (0 date, 1 float, 2 int or long,
// 3 timestamp, 4 time) with new long keys and byte classes, or 0 when the
// keying does not apply.  kGr: the stable grade by class then key (keys
// and classes borrowed), or null when the engines decline.
I kK(V list, V *keys, V *cls);
V kGr(V keys, V cls, I mask);
// ascB: the byte-wise fallback grade of x (borrowed), an int vector.
// ascZ: its passes over n values of w bytes (v), buf n bytes of scratch,
// p and q two arrays of n; returns p or q, whichever holds the grade.
V ascB(V x);
I *ascZ(const G *v, G *buf, I *p, I *q, UJ n, int w);
// srnk: ranks 0..n-1 of a general list of char vectors (borrowed) in
// ascending byte order, a proper prefix first; null, nothing raised,
// when an item is not a char vector or the radix grade declines.  srm:
// its merge sort of the n indices in p by bytes 8 on and then length (t
// the texts, l their lengths, tmp n scratch slots).  sgS: the grade of a
// symbol vector (consumed) by text.
V srnk(V texts);
void srm(const char *const *t, const I *l, I *p, UJ n, I *tmp);
V sgS(V x);

// ---- multi-column sort (msort.cpp) ----
// xsC: the builtin xs, x = (columns; descending flag), consumed: the
// stable permutation of the rows, first column most significant, in the
// narrowest integer type; the shared empty list when the input is not
// handled.  Never raises.  xskey: keys[j] = the order key of column
// item perm[j] (n of them), inverted when desc; *w its width in bytes;
// 0 when the column has no key or its scratch cannot be had.
V xsC(V x);
I xskey(V col, const I *perm, UJ *keys, UJ n, int *w, I desc);

// ---- binary search (bin.cpp) ----
// bin: x an ascending vector or a dict of ascending values (borrowed), y
// consumed: for each value of y the index of the last item of x not
// greater than it, -1 below the first (a dict gives its keys there, the
// null for -1).  An atom y gives an integer atom; a vector y an integer
// vector of the narrowest type that holds #x-1 (longs for an empty x);
// lists, tables and dicts are searched item by item.  'type for x or y of
// kinds it does not search (a temporal x takes only its own type), 'domain
// for a function y.  binZ, binF, binS: the same for integer or temporal,
// float and symbol x.
V bin(V x, V y);
V binZ(V x, V y);
V binF(V x, V y);
V binS(V x, V y);

// ---- attributes (attr.cpp) ----
// The builtins sa ua pa ga at (x consumed): qsa, qua and qpa set sorted,
// unique or parted on a typed vector (types 4..17) once verified, else
// raise "s-fail", "u-fail" or "p-fail"; qga sets grouped unchecked; any
// other x comes back unchanged.  qat: the attribute's letter as a symbol,
// the empty symbol for none, atoms, ranges and functions.
V qsa(V x);
V qua(V x);
V qpa(V x);
V qga(V x);
V qat(V x);
// atchk: the letter c (g p s u; others leave x alone) set on the typed
// vector x (consumed) through the builtins.  atlist: the attribute letter
// (a symbol atom, borrowed) set on the list or vector x (consumed) once
// verified: booleans and lists of temporal atoms of one type as their
// integers, other lists by grade (s) and distinct (u), p on them 'type.
// atkeys: the sorted attribute of a table's rows, or atlist of `s for any
// other x (consumed); the first column gets p (s when it is a general
// list, or, in a one-column table, when parted is set; callers pass 1).
V atchk(I c, V x);
V atlist(V s, V x);
V atkeys(V x, I parted);
// atok: whether x (borrowed) has the property of attribute k (1 sorted,
// 2 unique, 3 parted, 4 grouped, which always holds); only typed vectors
// (types 4..17) can satisfy 1 to 3.  Raises nothing.
bool atok(V x, int k);

}  // namespace zk
