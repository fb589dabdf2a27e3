// radix.h: the radix and counting engines that order fixed-width vectors:
// stable grades (permutations) and value sorts.  The grade and sort verbs
// try the counting kernels first and the radix entries when those decline;
// group and the multi-column sort call the engines directly.
//
// Names: rdxg radix grade; rdxsrt radix value sort; zknorm8 range reduction
// of 64-bit keys; zkrdx4/zkrdx8 the grade engines on 32/64-bit keys with
// 32-bit payloads; zkrdxk4/zkrdxk8 the value-sort engines (keys only);
// cntgrd/cntsrt counting grade and sort; srtUC the 256-bucket char sort;
// cntrangeF the float range test behind the counting kernels.
//
// Declining: every entry here returns 0 (null) without raising and with
// the scratch arena back at the caller's mark when its method does not
// apply; the caller tries its next method.  Nothing here raises.
//
// Keys: every item maps to an unsigned key whose unsigned order is the
// item order (signed integers and temporals with the sign bit flipped, so
// nulls come first).  Floats have two keys: the grade key ties -0.0 with
// 0.0 and every NaN with every other (below -0w), so grades are stable over
// them; the sort key is one-to-one on bit patterns, so a sort gives back
// exactly the input bits (-0.0 before 0.0, 0n and negative NaNs below -0w).
#pragma once
#include "core/core.h"

namespace zk {

// The scratch arena's position, taken at construction; back() rewinds to
// it.
struct RMark {
  UJ off;
  void *chunk;
  RMark() : off(tl.a_off), chunk(tl.a_over) {}
  void back() const { arena_release(off, chunk); }
};

// ---- radix grade and sort ----
// rdxg: x borrowed.  A new int vector (a long vector above rdx_wide items)
// holding the stable ascending grade; null for types outside the key table
// (lists, ranges, booleans, chars, symbols, atoms) or when the arena
// cannot supply the scratch arrays.
V rdxg(V x);
// rdxsrt: x borrowed.  Null for types outside the key table, fewer than 2
// items, or no arena; x itself with one more reference and the sorted
// attribute when already in order; else a new sorted vector of x's type.
V rdxsrt(V x);

// Keys counted in grades use 32-bit indexes up to this many items and
// 64-bit ones above (the result is then a long vector), so that no index
// ever wraps.  2^31-1; tests lower it to reach the wide path.
extern UJ rdx_wide;
// The strategy of this thread's last engine run, for tests: 1 serial
// passes, 2 buckets, 3 parallel passes.
extern thread_local G rdx_how;

// Range reduction of n >= 1 keys with b significant low bytes: 0 when all
// keys are equal, b when rebasing would not cut a pass, else R < b after
// subtracting the minimum from every key (so R bytes order them).
int zknorm8(UJ *keys, UJ n, int b);

// Engines: K holds n >= 2 keys, P their payloads, K2/P2 spare arrays; the
// low nb bytes are ordered.  Return P or P2 (K or K2 for the value sorts),
// whichever holds the result; the other arrays are clobbered.  Serial up to
// 32,767 items or with one thread, else on par_thread_count() tasks.
I *zkrdx4(U *K, I *P, U *K2, I *P2, UJ n, int nb);
I *zkrdx8(UJ *K, I *P, UJ *K2, I *P2, UJ n, int nb);
U *zkrdxk4(U *K, U *K2, UJ n, int nb);
UJ *zkrdxk8(UJ *K, UJ *K2, UJ n, int nb);

// ---- counting ----
// Both borrow x and decline (null) unless x is a byte, short, int, long,
// temporal or float vector of at least 2 items whose span max-min is below
// 0x40000 and whose (span+1)/2 is below n; floats also need integral
// values, no NaN and no -0.0.  cntgrd gives an int vector (long above
// rdx_wide items); cntsrt gives x itself (one more reference, sorted
// attribute) when already in order, else a new sorted vector.
V cntgrd(V x);
V cntsrt(V x);
// x a char vector, consumed: its bytes in ascending (desc 0, attribute
// sorted) or descending (desc 1) unsigned order.
V srtUC(V x, I desc);
// 0 not countable, 1 countable with *lo/*hi the truncated extremes, 2 in
// non-decreasing order with no NaN and no -0.0.
I cntrangeF(V x, J *lo, J *hi);

}  // namespace zk
