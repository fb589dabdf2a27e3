// insert.cpp: the n-adic ? (ins).  With three arguments it is the vector
// conditional or the splice of the list primitives (ins3); the forms with
// four arguments, which insert into tables, are not built yet.
#include "eval/eval.h"
#include "list/list.h"
#include "table/table.h"

namespace zk {

V ins(V *a, U n) { return n == 3 ? ins3(a[0], a[1], a[2]) : no8(a, n); }

}  // namespace zk
