// ix.h: the machinery of indexed assignment shared by its drivers, the
// plan executor, the step-dict services and the `.` amend of globals.
//
// An amend plan is two arrays of at most IXL levels: a kind byte and a
// position word per level.  Kinds: 0 item of a list or vector; 1 value of
// a dict by key (the key count for a new key); 2 column of a table by name
// (the column count for a new one); 3 the rest of the path through the
// general amends (-1, or a table row); 4 new dict key at an inner level; 5
// new table column at an inner level; 6 one table cell (the row; the
// column's position is the next level's); 7 kind 4 followed by a last item
// level; 8 its table form; 9 a symbol vector of keys or column names, the
// position being the owned search result (an integer vector), released by
// whoever abandons the plan.
//
// Executor arguments (x, path, k, p, L, n, f, y, rescue): x the value at
// level L (consumed), path the whole index path (borrowed), n the number of
// planned levels, f the function (0 none, `:` assignment), y the value (0
// none), rescue 0 or a cell (holding 0) that receives x restored to its
// state before the call when the amend fails after taking it over.
#pragma once
#include "list/list.h"

namespace zk {

inline constexpr I IXL = 8;  // the most levels a plan holds

// ---- guard list of globals under amend (drive.cpp) ----
// A node lives in the frame of the guarded amend that pushed it: the cell
// being amended, the next node, whether the amend runs without a plan
// (flat) and whether it is a deep amend on the safe path.
struct IxG {
  V *slot;
  IxG *next;
  G flat, deep;
};
extern IxG *ixgs;
IxG *ixgf(V *slot);  // the node of slot, or nullptr
G ixgb();            // the flat bytes of every node combined

// ---- the drivers (drive.cpp); x the slot's value, taken over ----
extern thread_local V ixmk;  // the step dict ixcm is amending
V ixas(V x, V path, V y, I op, G *k, J *p, I levels, V *rescue);
V ixag(V *slot, V x, V path, V y, I op, G *k, J *p, I levels, I deep, V *rescue);
I ixcg(V *slot, V x, V path, V y, I op, G *k, J *p, I c);
I ixch(V *slot, V x, V path, V y, I op, I flag);
I ixhr(V *slot, V v, V path, J d, J n, bool deep, bool dotv);
I ixfh(V *slot, V x, V path, V y, I op, I deep);
I ixfd(V v, I depth);
V ixv2(I op, V old, V y);  // old borrowed, y borrowed (one more reference taken)
I ixcv(V *slot, V x, V path, V y, I op, I flags, G *k, J *p, I c, I gb);
I ixcm(V *slot, V x, V path, V y, I op, I flags, G *k, J *p, I c, I from);
// Whether a one-level amend of x by f and y runs in place by ixal without
// a rescue: x a list, vector or dict of them, and the safe rule of ixal.
bool ixfl1(V x, V f, V y);
I ixkk(V *slot, V x, V path, V y, I op, I flags, G *k, J *p);

// ---- the plan executor (exec.cpp) ----
V ixst(V x, V path, G *k, J *p, I L, I n, V f, V y, V *rescue);
V ixsl(V x, V path, G *k, J *p, I L, I n, V f, V y, V *rescue);
V ixtc(V x, V path, G *k, J *p, I L, I n, V f, V y, V *rescue);
V ixtv(V t, V path, J *p, I L, V f, V y, V *rescue);
V ixtd(V x, V path, I L, V f, V y, V *rescue);
I ixdc(V f, V y, I flag);
V ixgn(V x, V path, G *k, J *p, I L, I n, V f, V y, V *rescue, I tn);  // a new key or column, rolled back on failure
// Key and value (both consumed; value 0 after a failure) appended to the
// writable dict d (consumed): d, or 0 with d released.
V ixgw(V d, V key, V val);
V ixpi(V path, I L);         // item L of a path (the atom itself), a new reference
V ixrp(V path, I L);         // the path after its first L items, a new reference
V ixdt(V x, V rest, V f, V y);  // one level of the amend at depth: x consumed
// f (0: y stands) applied to a (consumed) and y (borrowed, 0 none) with the
// no-squeeze depth at 0.
V ixap(V f, V a, V y);

// ---- step dicts, old values and rollback (step.cpp) ----
I ixsk(V d, V index);
I ixsq(V d, V path, G *k, J *p, I n);
I ixs8(V d, V *args, U n, I nested, G *k, J *p, I levels);
V ixit(V x, V path, G *k, J *p, I n, I *owned);
V ixrr(V t, V path, I from, I n);
I ixna(V x, V path, G *k, J *p, I n);
V ixtr(V d, J n, int kt, G ka, int vt, G va, V sk, V sv);
V ixtn(V t, V path, G *k, J *p, I L, I n, V f, V y, V *rescue);

// ---- the amend at depth (dot.cpp) ----
// The projection that amends an item along rest (consumed): dt4 (y true)
// or dt3 over rest, the t forms ds4 / ds3 when t; called with the item, f
// and y.  0 when it cannot be made.
V dpj(V rest, bool y, bool t);

// ---- the `.` amend of globals by name (glob.cpp) ----
// The amend of the global named args[0] (consumed) in its own cell.
V d8g(V *args, U n);
// Get, apply and store in the cell of a global whose amend was not
// planned; *handled is 0 when it declines.  value consumed when handled.
V d8q(V *cell, V value, V *args, U n, G *k, J *p, I *handled);

// The first n items of x (consumed), brought back to type t and attribute
// a after a rollback (store.cpp).
V trim(V x, J n, int t, G a);

}  // namespace zk
