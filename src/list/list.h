// list.h: the list primitives' face to the rest of the engine.  Names: _n
// = count (the engine's _N), ii = item i, io = item i with null fill, iM =
// row i of a table, fir / las = first / last item, mkn = null of a value's
// shape, mqn = null prototype (item.cpp); ie / iex = seed of a fold and
// identity of a verb (ie.cpp); psh = append one item, enl = enlist, cat =
// the verb x,y, cat10 / cat11 = the join core, jc / sc = join / split strings at a
// character (join.cpp); rs0 = 0#x, rsz = n#x, slc = slice, drp = drop
// (take.cpp); len = count, rnk = rank, fmx = kind test, rev = reverse,
// typ = type, nlt = null test of an atom, imn / imx = index of the
// minimum / maximum (count.cpp); til = monadic !, flp = flip (flip.cpp);
// whr = where (where.cpp).
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
V mqn(V x);          // consumes: the null prototype (empty vector of a vector's type, typed null of an atom)
V ndeep(V (*f)(V), V x);  // consumes: e1f(f, x) one nesting level deeper; 'stack past NDEPTH levels
V fir(V x);          // consumes: first item (monadic *); fills when empty
V las(V x);          // consumes: last item; fills as fir when empty

// ---- join (join.cpp) ----
V psh(V list, V item);  // consumes both; grows in place when unshared
V enl(V x);             // consumes
V cat(V x, V y);        // the dyadic `,`: borrows x (never changed), consumes y
V cat10(V x, V y);      // consumes x (grown in place when unshared), borrows y
V cat11(V x, V y);      // consumes both
// The strings (char vectors or char atoms) of the list, or the characters
// of a plain string, joined with c or with the m bytes at sep; consumes
// the list; 'type for anything else, 'limit past 4,294,967,295 chars.
V jc(char c, V list);
V jC(const char *sep, U m, V list);
// The pieces of the char vector x (consumed) between occurrences of c, or
// of the m >= 1 bytes at s.  After the last separator a non-empty rest is
// kept; an empty one too when a piece came before, except after a
// newline split by sc (nl).
V sc(char c, V x);
V scn(const char *s, U m, V x, bool nl);

// ---- take, drop, reshape, cut, remove, filter (take.cpp) ----
V hsh(V x, V y);    // dyadic #: borrows x, consumes y
V und(V x, V y);    // dyadic _: borrows x, consumes y
V rs0(V x);         // consumes: 0#x
V rsz(J n, V x);    // consumes: n#x; n < 0 takes from the end, 0N all of x
V rsh(V s, V y);    // borrows the shape s, consumes y: reshape
V chp(J n, V y);    // consumes: y cut into pieces of n items
V slc(V x, U a, U b);  // borrows: items a .. b-1 of a vector or list
V drp(J n, V x);    // consumes: n>0 drops the first n items, n<0 the last -n
V rmv(V x, J i);    // consumes: x without item i (i past the end: x)
// y cut at the ascending indices idx (borrowed); y consumed on success.
// Declines with 0 and no error, y untouched, for cases it does not cover.
V cutC(V idx, V y);
// y (consumed) filtered by the monadic f (borrowed): keep 1 repeats item
// i by f's count i, keep 0 keeps the items whose count is 0.
V flt(V f, V y, I keep);
// c bits from bit offset b of src to bit offset a of dst; the bits after
// the run in the last word written are zeroed.
void cpyB(G *dst, UJ a, const G *src, UJ b, UJ c);

// ---- count, rank, reverse, type, null test, extreme indexes (count.cpp) ----
V len(V x);  // monadic #: consumes x; int atom, boxed long from 2^31
// borrows: nesting depth, -1 for a ragged list; -2 with 'stack raised for
// lists nested deeper than NDEPTH
I rnk(V x);
I fmx(V x, I flag);  // borrows: x holds text (flag 0) or numbers (flag 1) at any depth
V rev(V x);  // monadic |: consumes x
V typ(V x);  // monadic @: consumes x; the symbol of x's type letter
V nlt(V x);  // consumes the atom x: int atom 1 when it is its type's null
V imn(V x);  // consumes x: index of the first minimum, 0N when empty
V imx(V x);  // consumes x: index of the first maximum, 0N when empty

// ---- flip and til (flip.cpp) ----
V til(V x);  // monadic !: consumes x
V tld(V x);  // consumes the list x: tlm(x) when an item is a dict, else x
V tlm(V x);  // consumes the list x: every dict item replaced by its values
// b byte columns (one when b is 0) from the c bit-packed rows (consumed)
// into the slots of out; b = 0 gives out emptied, the column's null its
// prototype.  Returns out.
V flB(V rows, V out, U c, U b);

// ---- where (where.cpp) ----
V whr(V x);  // monadic &: consumes x
// The parallel where of the 0/1 byte mask of n items into out (16-bit
// indices for width code 1, 32-bit for 2) in k chunks: the count written,
// or 0 with *flag set to 1 when a byte is above 1.  whc / whw: its pool
// passes over the job record.
UJ pwhr(const G *mask, void *out, U n, G w, I k, G *flag);
void whc(void *job, int i);
void whw(void *job, int i);

// ---- indexed assignment (amend.cpp) ----
// The VM's x[i;...]:y and x[i;...]op:y.  slot holds x, its current value
// (the driver takes that reference over); path is the index path, y the
// value, op the dyadic verb slot (0 plain assignment), flags bit 0 set for
// a global.  Stores the amended value into *slot and returns 0, or a
// status: 1 index, 2 length, 3 type (all before anything changed), 4
// already raised.  path and y stay the caller's.  A failure leaves a
// global's slot with its value as before, a local's with it or 0.
I ixca(V *slot, V x, V path, V y, I op, I flags);
// The error of an amend status (1 'index, 2 'length, 3 'type); 0 always.
V ixer(I st);

// ---- planning and validation of an index path (amend/plan.cpp) ----
// Statuses as ixca's; every value is borrowed and none is changed.
//
// Plan record: two caller arrays of 8, filled for the levels planned.
//   kinds[L]  position[L]
//   0 item of a list or vector        the index
//   1 value of a dict by key          key position (the key count: new)
//   2 column of a table by name       column position (column count: new)
//   3 the rest through the . and @ amends   -1, or the row of a table
//   4 new dict key at an inner level  the key count
//   5 new table column, inner level   the column count
//   6 one table cell: row, then an existing column   the row (the
//     column's position is stored as position[L+1])
//   7 kind 4 followed by a last item level (8: the table form, never planned)
//   9 several names at an inner level the owned search result (an integer
//     vector), released by ixpf when a plan is abandoned
// ixwk's answer: -s a status; 0 no plan; c > 0 with c & 255 levels planned,
// bit 8 (256) or 9 (512) asking for the guarded route.
I ixwk(V x, V path, V y, bool plain, bool glb, G *kinds, J *pos);
void ixpf(I c, const G *kinds, const J *pos);  // release what plan c owns
I ixck(V x, V path, J d, V y, bool plain);     // validate from level d
I ixcq(V x, V index, V path, J d, V y, bool plain);  // one index into a list or table's rows
I ixkv(V x, J pos, V path, J d, V y, bool plain, V cols);  // after key/column pos
I ixkr(V t, J row, V cols, V path, J d, V y, bool plain);  // inside a table row
I ixkl(V x, V path, J d, V y, bool plain);  // a table whose first part is a table
I ixc0(V index, V path, J d, V y, bool plain);  // ixcq on the empty list
I ixkc(V keys, V index);                    // trial search: 4 when it raised
J ixe(V v, J i);                            // integer item i of a path
J ixn(V path);                              // levels of a path (1 for an atom)
V ixi(V path, J d);  // index at level d: the atom path itself, else a new reference
bool ixzc(V v, J n);   // v (list, vector, table, dict) has a count other than n
bool ixzd(V list);     // some item of the general list is a dict
bool ixkf(int vt, int it);  // an item of type it fits a vector of type vt
// The search of the names at level d of a general-list path among x's keys
// or column names: a new reference (position atom or vector), or 0.
V ixks(V x, V path, J d);
I ixkm(V x, V path, G *kinds, J *pos);  // keyed-table row plan: 1, 0 or -4
I ixkn(V x, V path, G *kinds, J *pos);  // ixkm where a row plan applies
// Set by the validator when a level's target is a name with levels left.
extern thread_local G ixsm;

// ---- indexing (index.cpp) ----
// x@y: x borrowed, y consumed.  An integer atom or vector (or range)
// selects items, a position outside x or 0N giving the null of x's items;
// a dict looks its keys up (missing keys give nulls).
V i1(V x, V y);
// x[i;j]: x and i borrowed, j consumed.  When i selects several items j
// indexes (or is applied to) each of them, else the item i selects.
V i2(V x, V i, V j);
// x[a0;a1;...] by n indices: x borrowed, the n indices consumed (the array
// stays the caller's); n = 0 gives x.
V i8(V x, V *a, U n);
// The pool task of a parallel gather: part k of the job's indexes.
void gat_w(void *job, int k);

// ---- seeds (ie.cpp) ----
// The seed of a fold of f over x (x borrowed): for `,` the empty value of
// x's type, else the identity element of f for the kind of x's first item.
V ie(V f, V x);
// The identity of verb f for the kind of y (consumed); f = 0 gives y.
V iex(V f, V y);

// ---- functional amend and protected application (amend/at.cpp,
// amend/dot.cpp): the n-adic `@` and `.`, args[0] consumed, the others
// borrowed ----
V a8q(V *args, U n);       // v8 slot 18: picks the form of @[...]
V a8t(V f, V *args);       // @[f; x; e]: f consumed, args[1], args[2] borrowed
V a8(V *args, U n);        // the amend core
V d8(V *args, U n);        // v8 slot 19: picks the form of .[...]
// The amend at depth .[x; path; f] and .[x; path; f; y]: x consumed,
// path, f and y borrowed.  The t forms never take an item for a name.
V d3(V x, V path, V f);
V d4(V x, V path, V f, V y);
V d3t(V x, V path, V f);
V d4t(V x, V path, V f, V y);
// The native functions the levels recurse through; consume every argument.
V dt3(V x, V path, V f);
V dt4(V x, V path, V f, V y);
V ds3(V x, V path, V f);
V ds4(V x, V path, V f, V y);

// ---- amend kernels and unification (amend/kern.cpp) ----
// Unification class of each type code (4..8), 0 when a value is measured
// by its magnitude (int and long atoms, temporal types).
extern const G TX[NT];
// Casts *px and *py (both consumed) to their common integer width; the
// class (4..8), or 0 with both released.  Never narrows.
I sup(V *px, V *py);
// @[x; i; f; y] in one typed pass: x an integer (or, for `:`, char)
// vector, consumed; i an integer or char index vector, y an integer atom
// or vector, both borrowed; f one of : + - * & |.  Every index and y's
// count are checked before any write, except the indexes of a vector that
// ixpv has vouched for.
V ara(V x, V i, V f, V y);
// Vouches that every item of the integer vector i (borrowed) lies in
// [0, c): the next ara on i with a target of c items or more skips its own
// bounds pass.  The voucher holds a reference to i until that ara or the
// next voucher, so i can neither change in place nor be freed and its
// address reused meanwhile; i = 0 withdraws it.
void ixpv(V i, UJ c);

// ---- item store and amends with rollback (amend/store.cpp) ----
// Item p of x (writable, consumed) becomes v (consumed); x or the value
// that replaces it (a wider vector, a general list, a squeezed list).
V set(V x, J p, V v);
// x (consumed) amended at the positions i by f (and y; 0 for none), all
// borrowed.  When f fails half-way the old items go back, and the restored
// x is written to *rescue (which holds 0 on entry).
V ixfl(V x, V i, V f, V y, V *rescue);
// Dict x (consumed) amended at the keys i (borrowed), r (consumed) their
// 64-bit positions, 0N for absent keys, which are appended in order of
// first occurrence; args (x; i; f; y; z) of a8 with n of 3..5.  rescue 0,
// or a cell that receives the dict as it was when the amend fails.
V dam(V x, V i, V r, V *args, U n, V *rescue);
// Indexed assignment's amend: a8 when it cannot fail half-way, else the
// rollback routines above.  x consumed; i, f, y (0 for none) borrowed.
V ixal(V x, V i, V f, V y, V *rescue);
// The safe rule of ixal: f with y changes x in one piece, running no
// language code and unable to fail once it has started writing.
bool ixsa(V x, V f, V y);

// ---- table amend helpers (amend/tbl.cpp) ----
// args[0] the dict of a table's columns (consumed); names the amended
// columns, rows the row count: the table, or 'length when a column became
// a dict.
V tcv(V *args, U n, V names, J rows);
I tcd(V d, V names);   // borrows: 1 when the amended columns are no table
V tfa(V d, J rows);    // consumes a dict of atoms: each repeated rows times
V tbk(V d, J rows);    // consumes a dict of columns: flipped back, or tfa when all are atoms
V trw(V t, V i, V y);  // @[t; i; :; y] for a whole row (i an atom) or every row (i `::`)
// Column fast path of a (row; column; ...) path: tci gives the column's
// position + 1 when every column is plain, 0 when the path does not apply,
// -1 when the column does not exist; tcc the position + 1 of a name when
// every column is plain, else 0 (both borrow).  tca amends column k of t
// (consumed) at the path without its column, y 0 for none; tcs runs d4 with
// the path's first two items swapped and `:`; tnr is 1 when the amend of an
// empty table is a no-op.
I tci(V t, V path);
J tcc(V t, V name);
V tca(V t, V path, V f, V y, J k);
V tcs(V t, V path, V y);
I tnr(V t, V path, V f, V y);

// Dyadic ! (bang.cpp): dict from keys and values, modulo for an integer
// left, keyed tables and system functions; x borrowed, y consumed.
V exc(V x, V y);

// Item i of an integer vector (bool, byte, short, int, long) or range,
// widened to 64 bits, for code that reads any integer width item by item;
// t is tp(x).  A bool item is 0 or 1, a range item its start plus i.
ZK_INLINE J iti(V x, int t, UJ i) {
  switch (t) {
    case tRANGE: return PL(x)[0] + (J)i;
    case tBOOL: return (P(x)[i >> 3] >> (i & 7)) & 1;
    case tBYTE: return P<int8_t>(x)[i];
    case tSHORT: return P<int16_t>(x)[i];
    case tINT: return PI(x)[i];
    default: return PL(x)[i];
  }
}

// A builder that failed at item j of the general list l it was filling:
// the slots not yet written get `::` (nothing to release) and l is
// released whole, so no slot is read uninitialised.  Returns 0.
ZK_INLINE V lfail(V l, U j) {
  for (U q = j, m = nx(l); q < m; q++) PA(l)[q] = GNULL;
  mr(l);
  return 0;
}

// ---- fill and except (fill.cpp): the dyadic ^ (crt), fill (fil: x's
// value for the nulls of y) and filI (y cast to floats, its NaN items
// replaced by the number x); x borrowed, y consumed ----
V crt(V x, V y);
V fil(V x, V y);
V filI(V x, V y);

// ---- compress (compress.cpp) ----
// The items of x (borrowed) where the byte mask y (consumed) holds 1; a
// mask with other values, or any other shape, is x@&y.
V cmprC(V x, V y);

// ---- vector conditional and splice (cond.cpp) ----
// ?[x;y;z]: x consumed, y and z borrowed.
V ins3(V x, V y, V z);
// An int or long atom flag (released) of 1 gives a new reference to a, of
// 0 to b; any other flag gives 0, raising nothing and releasing nothing.
V ins3b(V flag, V a, V b);
// x (consumed, of z's type) with items i to j-1 replaced by the items of
// z (borrowed); i and j are compared as unsigned: 'index when i > j or j
// is past the count, 'limit past 4,294,967,295 items.
V insL(V x, J i, J j, V z);

// Flip (flip.cpp), monadic +: table to dict of columns and back; consumes x.
V flp(V x);

}  // namespace zk
