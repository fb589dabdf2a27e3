// ari.h: the dispatcher of the dyadic arithmetic and comparison verbs and
// its helpers (ari.cpp).
//
// Every verb of + - * % ! & | < > = stores its operator code in tl.f (its
// slot in v2: 1 + 2 - 3 * 4 % 5 ! 6 & 7 | 8 < 9 > 10 =) for exactly the
// duration of one call of `ari`, which routes on the two operand types:
// temporal vectors and atoms, integer-like pairs (ariz), lists, dicts and
// tables item by item, booleans and ranges as integers, floats (arif),
// symbols; anything else is 'type.  Callers outside the verbs save tl.f,
// store their code, call ari and restore it.
//
// Names: ariz = integer-like operands (ints of every width, chars as
// signed bytes, symbol ids for =), arif = at least one float; mod = the
// modulus x!y (x the modulus), mnm/mxm = minimum and maximum without the
// character rule; ucb = chars to unsigned integers, cub = integers back to
// chars, fzn = NaN and -0.0 made canonical; ariv = the thin verb of each
// operator code (dex for 0).
//
// Ownership: x borrowed, y consumed, a new reference or 0 with the error
// text set; ucb, cub and fzn consume their argument.
#pragma once
#include "core/core.h"

namespace zk {

V ari(V x, V y);             // reads the operator code from tl.f
V ario(I op, V x, V y);      // ari under the code op, the caller's code restored
V ariz(V x, V y, I op);      // both integer-like (or symbols for =)
V arif(V x, V y, I op);      // at least one float
V mod(V x, V y);             // code 5
V mnm(V x, V y);             // code 6 without the character rule
V mxm(V x, V y);             // code 7 without the character rule
V ucb(V x);
V cub(V x);
V fzn(V x);
extern V (*const ariv[11])(V, V);  // dex add sub mul dvd mod mnu mxu ltu gtu eql

// The temporal atom rules (both operands atoms, at least one temporal).
V tatm(V x, V y, I op);

}  // namespace zk
