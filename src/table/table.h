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

}  // namespace zk
