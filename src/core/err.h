// err.h: the error text and its writers, traps and the error builtins.
//
// A failing operation writes the thread's error text (tl.err_text up to
// tl.err_end: an apostrophe, the error name cut to 32 bytes, a newline,
// then up to four context blocks) and returns 0; every caller passes the
// 0 up.  Names: err0 starts an error; e<c>0 / e<c> / e<c>8 raise class c
// releasing nothing / one value / n values (d domain, i index, l length,
// n nyi, o io, p parse, r rank, s stack, t type, v value, z limit,
// c compile); eQ appends a context block; eS also renders the coded
// diagnostic (diag.h); try_ is the trap; errC, trvC and diagC are the
// builtins err, trv and diag.
#pragma once
#include "core/core.h"

namespace zk {

// Process-wide: the outermost trap still renders diagnostics when set.
extern I zktrv;

// ---- starting an error: every one returns 0 ----
V err0(const char *name);
V err1(V x, const char *name);              // releases x
V err8(const V *xs, U n, const char *name);  // releases xs[0..n)

// domain
V ed0();
V ed(V x);
V ed8(const V *xs, U n);
// index
V ei0();
V ei(V x);
// length
V el0();
V el(V x);
V el8(const V *xs, U n);
// nyi
V en0();
V en(V x);
V en8(const V *xs, U n);
// io
V eo0();
V eo(V x);
// parse
V ep0();
V ep(V x);
// rank
V er(V x);
V er8(const V *xs, U n);
// stack
V es0();
V es8(const V *xs, U n);
// type
V et0();
V et(V x);
V et8(const V *xs, U n);
// value
V ev(V x);
// limit
V ez0();
V ez(V x);
V ez8(const V *xs, U n);
// compile
V ec0();

// ---- context ----
// Appends one block for byte col (<= len) of the len bytes at src.
void eQ(const char *src, U len, U col);
// Renders the coded diagnostic for the current error, then eQ; src is a
// char vector (borrowed).
void eS(V src, U col);

// Length of the current error text, and the error name alone (the text
// after the apostrophe up to the first newline) as a new char vector.
ZK_INLINE U elen() { return tl.err_end ? (U)(tl.err_end - tl.err_text) : 0; }
V ename();
// Forget the current error (what a trap does when it swallows one).
void eclr();

// ---- trap ----
// The trap's machinery with its two applications passed in: app(f, x)
// applies f (borrowed) to the argument list x (consumed), h1(h, s) applies
// the handler (borrowed) to the error name s (consumed).  try_ passes the
// evaluator's dot and _1 (try.cpp).
using Fapp = V (*)(V f, V x);
V tryf(V f, V x, V h, Fapp app, Fapp h1);
// Applies f (consumed) to the argument list x (borrowed); on failure gives
// h applied to the error name when h is a function, else h (borrowed, one
// more reference).  The error is cleared unless the handler itself fails.
V try_(V f, V x, V h);

// ---- builtins (argument consumed) ----
V errC(V x);   // err: raise a named error, or read the current text
V trvC(V x);   // trv: let the outermost trap render diagnostics
V diagC(V x);  // diag: the coded-diagnostics switch (diag.cpp)

}  // namespace zk
