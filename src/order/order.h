// order.h: ordering and search's face to the rest of the engine.  Names:
// mtc_ = deep match x~y as a truth value (match.cpp).
#pragma once
#include "core/core.h"

namespace zk {

// ---- match (match.cpp) ----
bool mtc_(V x, V y);  // borrows both

// ---- order keys, total order, distinct, find (order.cpp) ----
// of_(x, 1): a float atom or vector (consumed) to its order keys, a long
// atom or vector whose signed order is the float order (every NaN one key
// below all others, the two zeros one key); of_(x, 0) turns keys back into
// floats (NaN, +0.0).  qA: the total order of two values, borrowed:
// negative, zero or positive.  unq: distinct, items in order of first
// occurrence, consumes x.  fnd: x?y, x borrowed, y consumed: for each item
// of y the index of its first occurrence in x (by match), or 0N.
V of_(V x, I keys);
I qA(V x, V y);
V unq(V x);
V fnd(V x, V y);

// ---- binary search (bin.cpp) ----
// bin: x a sorted boolean, integer or float vector (borrowed), y consumed:
// for each item of y the index of the last item of x not greater than it,
// -1 below the first; an atom y gives a long atom, else a long vector.
V bin(V x, V y);

}  // namespace zk
