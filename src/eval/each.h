// each.h: the item-by-item machinery (each.cpp) and the arithmetic of two
// dicts (dictarith.cpp).
//
// Names: e1/e2/e8 = each of any function with 1, 2 or n arguments;
// e1f/e2f = the same for a kernel function of a primitive (e2f is also the
// atomic extension of the arithmetic verbs over lists, dicts and tables);
// l2/r2 = each-left and each-right, l2f/r2f their primitive forms; o1f =
// the typed empty result of e1f on an empty argument; ech2/ech8 = the each
// adverb as a dyadic and as an n-adic verb value (v2 and v8 slot 31); cfm
// = common count of n arguments; te0 = the typed empty of a sample result.
// Dict arithmetic: d0 = an empty dict conformed to another, dar = two dicts
// combined by a kernel (the entry from e2f), e2d = the combination once
// conformed, dkey = the merge by key, em = each with dict arguments.
//
// Ownership (the dyadic-verb rule): a kernel function of one argument
// consumes it; of two borrows x and consumes y.  e1f, e1 consume x; e2f,
// e2, l2f, r2f, l2, r2, ech2, dar, e2d, dkey borrow x (and f) and consume
// y; e8, em consume all n arguments (the array stays the caller's); ech8
// consumes args[0].  Every result is a new reference, or 0 with the
// thread's error text set.
#pragma once
#include "core/core.h"

namespace zk {

using K1 = V (*)(V);     // monadic kernel: consumes x
using K2 = V (*)(V, V);  // dyadic kernel: borrows x, consumes y

// ---- each and atomic extension (each.cpp) ----
V e1f(K1 fn, V x);
V o1f(K1 fn, V x);
V e1(V f, V x);
V ech2(V f, V y);
V l2f(K2 fn, V x, V y);
V r2f(K2 fn, V x, V y);
V l2(V f, V x, V y);
V r2(V f, V x, V y);
V e2f(K2 fn, V x, V y);
V e2(V f, V x, V y);
V e8(V f, V *args, U n);
J cfm(const V *args, U n);
V ech8(V *args, U n);
V te0(V r);  // consumes r: an empty vector of an atom's type, else 0# of enlist r

// ---- parallel each (peach.cpp) ----
// peachC = the builtin pe, x = (f; data) consumed; pe_threads = its thread
// count T from the engine's environment list; pe_morsel = the items one
// claim takes of n with T threads; pe_workers = the morsel pool's workers
// (0 while it is absent); pool_shutdown = stop the pool (at exit, and by
// tests that want a pool of another size); pe_calloc = the allocator of
// the result array (tests make it fail).
V peachC(V x);
I pe_threads();
U pe_morsel(U n, I T);
I pe_workers();
void pool_shutdown();
extern void *(*pe_calloc)(size_t, size_t);

// ---- dictionary arithmetic (dictarith.cpp) ----
I eop(K2 fn);  // operator class: + 0, - 1, * 2, % 3, & 4, | 5, `,` 6, else -1
V d0(V a, V b);  // both borrowed
V dar(K2 fn, V x, V y);
V e2d(I E, K2 fn, V x, V y);
V dkey(I E, K2 fn, V x, V y, I keyed);
V em(V f, V *args, U n);

}  // namespace zk
