// filev.cpp: the file verbs.  Built so far: o, the resolver of a file
// argument to a descriptor.
//
// least version: int and long atoms give their value and the empty symbol
// standard output (1); opening a named file or address fails with 'nyi
// until the file verbs are built; other kinds fail with 'type.
#include "core/err.h"
#include "core/sym.h"
#include "io/io.h"

namespace zk {

I o(V x, I) {
  int t = tp(x);
  if (t == tINTA || t == tLONGA) {
    J v = gl(x);
    if (v != (I)v) return (I)ed0();
    return (I)v;
  }
  if (t == tSYMA && !*su(ip(x))) return 1;
  if (t == tSYMA || t == tCHR) return (I)en(x);
  return (I)et(x);
}

}  // namespace zk
