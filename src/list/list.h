// list.h: the list primitives' face to the rest of the engine.  Names: _n
// = count (the engine's _N), ii = item i, io = item i with null fill, iM =
// row i of a table, mkn = null of a value's shape, las = last item (item.cpp);
// psh = append one item, enl = enlist, cat10 = join x,y, jc = join strings
// with a character (join.cpp); rs0 = 0#x, drp = drop (take.cpp).
// Ownership is per line: "borrows" leaves the caller's reference alone,
// "consumes" takes it over.  A failure returns 0 with the error text set.
#pragma once
#include "core/core.h"

namespace zk {

// ---- item access (item.cpp) ----
J _n(V x);           // borrows: 1 for atoms and functions; rows of a table
V ii(V x, J i);      // borrows; no bounds check; i = 0 of an empty vector reads its spare slot
V io(V x, J i);      // borrows; past either end: the null of x's items
V iM(V x, J i);      // borrows a table: row i as a dict
V mkn(V x);          // consumes: the null of x's shape
V las(V x);          // consumes: last item; the null of x's items when empty

// ---- join (join.cpp) ----
V psh(V list, V item);  // consumes both; grows in place when unshared
V enl(V x);             // consumes
V cat10(V x, V y);      // consumes x, borrows y
V jc(char c, V list);   // consumes the list of char vectors

// ---- take and drop (take.cpp) ----
V rs0(V x);         // consumes: 0#x
V drp(J n, V x);    // consumes: n>0 drops the first n items, n<0 the last -n

// ---- indexed assignment (amend.cpp) ----
// The VM's x[i;...]:y and x[i;...]op:y.  slot holds cur, the current value;
// idx is the general list of indices, y the value, dyad the verb slot (0
// plain assignment).  Stores the amended value into *slot and returns 0,
// or a status: 1 index, 2 length, 3 type, 4 already raised.  idx and y
// stay the caller's.
I ixca(V *slot, V cur, V idx, V y, I dyad);
// The error of an amend status (1 'index, 2 'length, 3 'type); 0 always.
V ixer(I st);

}  // namespace zk
