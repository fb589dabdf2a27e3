// eval.h: the evaluator's face: application entries, evaluation entries
// and cached lambdas.  Ownership: _1(f, x) borrows f and consumes x;
// _2(f, x, y) borrows f and x and consumes y; _8(f, args, n) borrows f and
// consumes the n arguments (the array stays the caller's); dot(f, args)
// borrows f and consumes args.  Every result is a new reference, or 0 with
// the thread's error text set.
#pragma once
#include "core/core.h"

namespace zk {

// ---- application entries (apply.cpp) ----
V _1(V f, V x);
V _2(V f, V x, V y);
V _8(V f, V *args, U n);
V prj(V f, V *args, U n);  // projection with `gap` holes; f borrowed, args consumed
I _K(V f);                 // valence of a value; f borrowed
V ext(V f, V *args, U n);  // call a native function; args consumed
V sym1(I id, V x);         // the builtin named id applied to x; x consumed
V no2(V x, V y);           // empty v2 slots: releases y, 'nyi
V no8(V *args, U n);       // empty v8 slots: releases args[0], 'nyi
V ins8(V *args, U n);      // v8 slot 30: releases args[0], 'rank

// ---- evaluation entries ----
V dot(V f, V args);  // dyadic `.`: f applied to the items of args
// Evaluates text statement by statement (eval.cpp): print = 0 gives the
// last statement's value, print = 1 prints each value and gives `::`.
// end: the text's counted end, or nullptr.
V evn(const char *text, const char *end, int print);
V val(V x);  // monadic `.`; consumes x
// Cached lambdas: `slot` is one cell per call site, 0 until first use.
// ki borrows its result (pinned for the process); k1 consumes x; k2
// borrows x and consumes y; k8 consumes all n arguments.
V ki(V *slot, const char *text);
V k1(V *slot, const char *text, V x);
V k2(V *slot, const char *text, V x, V y);
V k8(V *slot, const char *text, V *args, U n);

// ---- bytecode compiler (b.cpp) ----
// Compiles a parse tree into a lambda (type 25).  text: the source as a
// char vector; params: a symbol vector of parameter names, or 0 for a
// statement.  All three are consumed.  On failure the error text carries
// 'limit or 'compile and the source line with a caret.  Callers in shared
// mode hold g_parse_mx.
V cpl_(V text, V tree, V params);

// ---- virtual machine (vm.cpp) ----
V run(V f, V *args, U n);  // f borrowed, the n arguments consumed
I tru(V x);                // truth of a condition; consumes x

// ---- verb tables and builtin table (tables.cpp) ----
using F1 = V (*)(V);         // consumes x
using F2 = V (*)(V, V);      // borrows x, consumes y
using F8 = V (*)(V *, U);    // consumes args[0]; the caller releases the rest
extern const F1 v1[32];      // monadic verbs by slot
extern const F2 v2[32];      // dyadic verbs by slot
extern const F8 v8[32];      // n-adic verbs by slot (three or more arguments)
extern const I bnm[107];     // builtin names, packed as their symbol ids
extern const F1 bfn[108];    // builtin functions; 107 raises 'domain

}  // namespace zk

// ---- each, each-left, each-right, atomic extension, dictionary
// arithmetic: eval/each.h ----
#include "eval/each.h"
