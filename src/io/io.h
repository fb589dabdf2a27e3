// io.h: text and data interchange's face to the rest of the engine.
//
// Text forms of values (srcform.cpp, str.cpp).  Two forms:
//   kst  the source form (builtin `k`): text the parser reads back into an
//        equal value: typed empties, one-item vectors with ",", symbols
//        with backticks, strings quoted, functions as their source.
//   str  monadic `$`: the plain text: digits, temporal text with empty
//        nulls, names without backticks; vectors, lists and dicts item by
//        item.
// Names: kss_ = quote a string, kp = source form parenthesised by type
// letter and count, kl = kp for the left of "!" and of a projection, kT1 =
// the one-item form ",x", tqh = "list of temporal atoms of one type",
// tqs = text of one temporal atom, qstT = builtin `qst` (display numbers,
// nulls empty), out = the result printer (monadic slot 26).
//
// Every operation but tqh consumes its argument and returns a new
// reference, or 0 with the thread's error text set ('limit when a text
// would pass 2^32-1 bytes, 'stack when a value nests too deeply to walk).
#pragma once
#include "core/core.h"

namespace zk {

// ---- source form (srcform.cpp) ----
V kst(V x);                    // builtin `k`
V kss_(V s, int mode);         // s a char vector; mode 0 string, 1 symbol
V kp(V x, const char *one, const char *few, const char *all);
V kl(V x);
V kT1(V x);
bool tqh(V x);                 // borrows x
V out(V x);                    // prints; never fails; returns x

// ---- plain text (str.cpp) ----
V str(V x);                    // monadic `$`; a symbol vector gives a list of names
V tqs(V x, int flags);         // temporal atom; flags bit 0: source form
V qstT(V x);                   // builtin `qst`

// ---- handles (handles.cpp) and file verbs (filev.cpp) ----
// qhk: the kind of each descriptor 0..4095 (0 closed, 1 outgoing
// connection, 2 accepted connection, 3 append-only log).  hcl: close
// descriptor h and clear its byte; the system close's result (0 or -1).
extern G qhk[4096];
I hcl(I h);
// o: a file argument (consumed) to a descriptor: an int or long atom its
// value, the empty symbol 1, a symbol or text a file opened with flags;
// 0 with the error raised on failure.
I o(V x, I flags);

}  // namespace zk

namespace zk {
// ---- handles and the event loop (handle.cpp) ----
extern I qls, qlp;  // listening socket (-1 none) and its port
extern J qtp, qtn;  // timer period in ms (0 off), next firing in ms since 1970
J qnow();           // wall-clock ms since 1970
void qerrp();       // prints the pending error with a local timestamp, clears it
// One step of the event loop: 1 when standard input is readable or poll
// failed, 0 otherwise (also when a signal interrupted the wait).
I qpoll();
}  // namespace zk
