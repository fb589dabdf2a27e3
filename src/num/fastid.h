// fastid.h: the fast paths of the idiom operators of fidiom.cpp (kernels
// in fastid.cpp).  Each returns the idiom's value as a new reference, or 0
// when it does not cover the operands (never an error: the caller then
// takes the general route).  Nothing is consumed.
//
// shfast: shiftC's mode m over neighbouring items of x; fmafast: r+s*v
// (m = 0) or r-s*v; cwfast: r@&s c v after the atom has been moved right
// (c the v2 slot 8, 9 or 10); cntfast: the value counts of x.
#pragma once
#include "core/core.h"

namespace zk {
V shfast(J m, V x);
V fmafast(J m, V r, V s, V v);
V cwfast(U c, V r, V s, V v);
V cntfast(V x);
}  // namespace zk
