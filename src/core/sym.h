// sym.h: symbols, global variables and namespaces (sym.cpp), and the
// normalisation of vectors and lists to their canonical form (sqz.cpp).
//
// Symbol id (I): a name of up to 3 bytes, or of 4 bytes whose last byte is
// below 0x80, is its own id, its bytes packed little-endian (never
// negative; "" is 0).  Any other name is stored once, NUL-terminated, in
// the process-wide pool and its id is minus its offset from the pool base.
//
// Names: us = intern (text to id), usn = intern n bytes, su = text of an
// id, shgrow = make or double the hash table, gkk = global key of a name,
// gi = slot index of a global (found or made), gg = value of a global;
// gk/gv = the keys and values of the globals table, gn = slots in use,
// gd = current namespace, gfull = "a slot was needed and none was left".
// gZ = range to vector, sqzZ = narrow an integer vector, sqzA = atoms to a
// vector, sqz = list to its typed vector or table, blw = value to a list.
#pragma once
#include "core/core.h"

namespace zk {

// ---- the pool and its hash table (process-wide, never freed) ----
extern char *s0, *s1, *sE;  // pool base, next free byte, end
extern I *sh;               // hash slots: ids of pooled names, 0 = empty
extern U shc, shn;          // slot count (0 or a power of two), names pooled

I us(const char *s);             // never fails; a full pool ends the process
I usn(const char *s, UJ n);      // the same for n bytes (cut at a NUL)
const char *su(I id);            // short ids: a ring slot of the calling thread
bool shgrow();                   // false, table kept, when memory is short
bool sym_valid(I id);            // does a negative id start a pooled name?

// ---- globals ----
inline constexpr U NG = 65536;
extern UJ gk[NG];  // namespace id (high 32 bits) and name id (low 32 bits)
extern V gv[NG];   // value of each slot, 0 = none yet
extern U gn;       // slots in use, in creation order; never removed
extern I gd;       // current namespace, 0 = root
extern G gfull;    // set by gi when the table is full; the caller clears it

UJ gkk(V name);  // name (symbol atom or vector) borrowed
U gi(V name);    // name borrowed; on a full table sets gfull and returns 0
V gg(V name);    // name consumed; `()` symbol vector gives the dict of all

// ---- normalisation (sqz.cpp); each consumes its argument ----
V gZ(V r);
V sqzZ(V v);
V sqzA(V list, int t);
V sqz(V list);
V blw(V x);

}  // namespace zk
