// table.h: the face of tables, joins and time to the rest of the engine.
//
// Temporal literals (tparse.cpp) are read at the parser's cursor `pz.s`:
//   pTmp  one temporal literal starting with a digit (typed nulls 0Nd..0Nm,
//         dates, months with the m suffix, timestamps, timespans, minutes,
//         seconds, times): the atom, cursor moved past it; or 0, cursor
//         unchanged, when the text is not temporal
//   pTng  a negative time, minute, second or timespan at a '-': the
//         negated atom, or 0 with the cursor restored
//   pTy   a bare month item Y.MM at t (no cursor): 1 and the months since
//         2000.01 in *out, else 0
// tbad tells the parser why a 0 came back: 0 not temporal (try the other
// number forms), 1 a malformed field ('parse), 2 out of range ('limit),
// 3 the error text is already set (pass it up).  The parser clears it.
// tng is set only while pTng reads the magnitude of a negative literal.
#pragma once
#include "core/core.h"

namespace zk {

extern G tbad;
extern G tng;

V pTmp();
V pTng();
int pTy(const char *t, I *out);

// ---- temporal arithmetic and comparison (tarith.cpp) ----
// Operator codes as in num/ari.h.  A temporal atom's count: its 32-bit
// payload sign-extended (0x80000000, the null, read as 0N) or its 8-byte
// item.  tunit_ns: nanoseconds per unit of the types 33..37 (date, time,
// timestamp, minute, second), by type - 33.
//   trk  result type of + - & | between temporal atom types tx, ty; 0 when
//        the pair is not allowed ('type), -1 while its rule is not built
//   tmk  the atom of type t (20/21 int or long, 33..39) holding count v;
//        'limit when a 32-bit temporal count does not fit
//   tvo  either operand a temporal vector, or a temporal atom with a
//        vector that is not a list; x borrowed, y consumed
//   tal  + - of lists of 32-bit temporal atoms with ints; both borrowed;
//        0 without an error when it declines
//   tcl  < > = of lists of temporal atoms; both borrowed; 0 when it declines
//   tdv  % of two atoms, one temporal: a float atom; y consumed
//   tkc  < > = of atoms of two different temporal types; y consumed
//   tcf  < > = of a temporal atom and a float atom (either side); y consumed
extern const J tunit_ns[5];
I trk(I tx, I ty, I op);
V tmk(I t, J v);
V tvo(V x, V y, I op);
V tal(V x, V y, I op);
V tcl(V x, V y, I op);
V tdv(V x, V y);
V tkc(V x, V y, I tx, I ty, I op);
V tcf(V x, V y, I op);

// ---- keyed tables (kcl.cpp) ----
// y (a table with x's column names) with its columns in x's order, as a
// new reference (y itself when already in order); both borrowed; 'domain
// when the names differ as sets or in count.
V kcl(V x, V y);

}  // namespace zk
