// adverb.h: the adverbs over (/), scan (\) and each-prior (':) with their
// derived-verb dispatch (over.cpp, scan.cpp, prior.cpp).
//
// Names: w1/w2/w8 apply a derived verb (type 28) to one, two or n >= 3
// arguments; w2 is the dyadic dispatcher by adverb code (0 each, 1 over,
// 2 scan, 3 each-prior, 4 each-right, 5 each-left).  Over: f1 fold
// without seed, f2 fold with seed, cf converge, lf2 do/while, f8 n-adic
// fold, raz raze (,/x).  Scan: s1_ s2 cs ls2 the scans of the same forms,
// ws the while sequence, nS/wS the do and while recurrences over several
// start values (also behind the n-adic do/while of over, which keeps the
// last value), eqs the quotient steps of encode.  Each-prior: p2 with a
// seed, stn sliding windows of width n, ste windows with the width as
// left argument.
//
// Ownership (the reverse of the dyadic verbs): the adverb entries w2, f2,
// lf2, s2, ls2, p2 and ste consume x and borrow y; f1, cf, s1_, cs, raz
// consume x; ws and wS borrow the condition and consume the start values;
// f8, nS, wS, w8 consume every argument in the array (the array stays the
// caller's); stn borrows y; eqs borrows the base x and consumes y; w1
// consumes x.  Functions (f, c) are always borrowed.  Every result is a
// new reference, or 0 with the thread's error text set.
#pragma once
#include "core/core.h"

namespace zk {

// ---- dispatch and over (over.cpp) ----
V w1(V d, V x);            // d a derived verb of valence 0 or 1
V w2(U code, V f, V x, V y);
V w8(V d, V *args, U n);   // d a derived verb, n >= 3 not below its valence
V f1(V f, V x);
V cf(V f, V x);
V f2(V f, V x, V y);
V lf2(V f, V x, V y);
V f8(V f, V *args, U n);   // args[0] == 0: no seed
V raz(V x);
// Seeded fold (scan false) or scan of a primitive with an over/scan kernel
// (operators 0..10): converts chars and hands typed vectors to arf/ars.
// *px is the seed (owned), *py y (borrowed).  1 with *r: done (*r 0 on
// failure, all released).  0: go on generically with *px and *py, *py
// owned when *own.
int srt(bool scan, V f, V *px, V *py, bool *own, V *r);

// ---- scan, do and while sequences, encode steps (scan.cpp) ----
V s1_(V f, V x);
V s2(V f, V x, V y);
V cs(V f, V x);
V ls2(V f, V x, V y);
V ws(V f, V c, V y);
V nS(V f, J n, V *args, U k);
V wS(V f, V c, V *args, U k);
V eqs(V x, V y);

// The largest count of a do sequence: its n+1 values must fit one vector's
// count, so a larger n fails with 'limit before any work (and nothing is
// reserved ahead: the sequence grows as it is computed).
inline constexpr J NSEQ = 0xFFFFFFFEll;

// ---- each-prior and windows (prior.cpp) ----
V p2(V f, V x, V y);
V stn(V f, J n, V y);
V ste(V f, V x, V y);

}  // namespace zk
