// dot.cpp: `.` with three or four arguments (v8 slot 19): d8 picks the
// form: the protected application .[f; args; e], the amend of a global by
// name, or the amend at depth.
//
// least version: the protected application.  The amend at depth and the
// amend of a global fail with 'nyi until the list primitives' owner builds
// them here.
//
// Ownership, as for every n-adic verb: args[0] is consumed, the others
// borrowed (the caller releases them).
#include "core/err.h"
#include "eval/eval.h"
#include "list/amend/ix.h"
#include "list/list.h"

namespace zk {

V d8(V *args, U n) {
  V x = args[0];
  int t = tp(x);
  if (t == tSYMA || t == tSYM) return d8g(args, n);  // amend of a global by name (glob.cpp)
  if (t >= tLAMBDA && t <= tNATIVE) {
    if (n != 3) return er(x);
    return try_(x, args[1], args[2]);
  }
  if (t == tINTA && n == 3 && tp(args[2]) > tSYMA) return try_(x, args[1], args[2]);
  return en(x);  // amend at depth
}

}  // namespace zk
