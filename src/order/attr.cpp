// attr.cpp: attributes (sorted, unique, parted, grouped): setting them
// through the take form `s#x and verifying them.  Names: atlist = the
// attribute form of take for a list or vector, atkeys = the sorted
// attribute of a table's rows or of a dict's keys.
//
// least version: both fail with 'nyi until attributes are built.
#include "core/err.h"
#include "order/order.h"

namespace zk {

V atlist(V, V x) { return en(x); }
V atkeys(V x, I) { return en(x); }

}  // namespace zk
