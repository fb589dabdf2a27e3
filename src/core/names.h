// names.h: the engine's names that C++ does not allow as written.  Every
// short name of the engine is used as it is, except these, which take the
// nearest legal spelling (an underscore followed by a capital letter, or a
// double underscore, is reserved to the implementation; some names are
// keywords):
//
//   written      in C++       why
//   _R           _r           _R: underscore + capital is reserved
//   _N           _n           _N: underscore + capital is reserved
//   not          not_         keyword (alternative token)
//   try          try_         keyword
//   __p, __s,... p__, s__    leading double underscore is reserved
//   ___f ___s ___p f___ s___ p___  the same (generic fold, scan, each-prior)
//   s1 (scan)    s1_          s1 is already the symbol pool's next free byte
//   nx (JSON)    jnx          nx is already the count accessor (value.h)
//
// Add a line here whenever another such name is met.
#pragma once
