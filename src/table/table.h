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
// number forms), 1 a malformed field ('parse), 2 out of range ('limit).
// The parser clears it.  tng is set only while pTng reads the magnitude of
// a negative literal (it admits one more unit: the null's pattern).
//
// Text casts (`$` with a type letter), one char vector (consumed) to one
// atom; unparsable text gives the type's null, a value that does not fit
// 'limit, anything but a char vector 'type:
//   ptT time  ptD date  ptP timestamp  ptN timespan  ptU minute  ptV second
//   ptM month; ptuv the body of ptU (k 0) and ptV (k 1)
// Their sub-scanners answer 0 and move the cursor past what they read, or
// answer 1: tdx [-]Y.M.D to a day count, ttx h[:m[:s]][.f] to fields.
#pragma once
#include "core/core.h"

namespace zk {

extern G tbad;
extern G tng;

V pTmp();
V pTng();
int pTy(const char *t, I *out);
V ptT(V x);
V ptD(V x);
V ptP(V x);
V ptN(V x);
V ptU(V x);
V ptV(V x);
V ptM(V x);
V ptuv(V x, int k);
int tdx(const char **c, J *days);
int ttx(const char **c, J *h, J *m, J *s, J *ns);

// ---- the representation and its builtins (time.cpp) ----
// Calendar: leap (a leap year), mlen (days in month m of year y), dcv (days
// from 2000.01.01 to y.m.d), dmo1 (the month count of a day count), mday
// (the first day of a month count, 64 bits).
// mkqv: an integer vector (types 2..7, consumed) as a temporal vector of
// atom type t; 'limit when a long item other than 0N does not fit 32 bits.
// tjk: the temporal atom type of a time column (a vector, or a list of
// atoms of one temporal type), 1 for an empty list, -1 for a list mixing a
// temporal atom with other types, else 0; x borrowed.  tjn: the counts of a
// time column as a long vector (32-bit nulls to 0N), or x itself (+1 ref).
// hhd mmd secd: one field of a millisecond count (0N not tested); hhL mmL
// secL: the same over longs (0N to 0N), answering whether any lay outside
// 32 bits; hhI mmI secI over ints.
// Builtins (one argument, consumed): mkdt mktm mknp mkmn mksc mkmo mksp,
// modC, dmoC, hhC mmC secC, tjnC, qtzo.
bool leap(J y);
int mlen(J y, int m);
J dcv(J y, int m, int d);
I dmo1(J d);
J mday(J k);
V mkqv(I t, V x);
I tjk(V x);
V tjn(V x);
J hhd(J v);
J mmd(J v);
J secd(J v);
bool hhL(const J *s, J *d, U n);
bool mmL(const J *s, J *d, U n);
bool secL(const J *s, J *d, U n);
void hhI(const I *s, J *d, U n);
void mmI(const I *s, J *d, U n);
void secI(const I *s, J *d, U n);
V mkdt(V x);
V mktm(V x);
V mknp(V x);
V mkmn(V x);
V mksc(V x);
V mkmo(V x);
V mksp(V x);
V modC(V x);
V dmoC(V x);
V hhC(V x);
V mmC(V x);
V secC(V x);
V tjnC(V x);
V qtzo(V x);

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
// The lookup value y (consumed) as a general list of key columns in the
// column order of the key table kt (borrowed): a dict or table by its
// names, a list or atom as one row or as rows by its depth.  *single is
// set when y named one row (each column then holds that one row).
V tky(V kt, V y, I *single);

// The n-adic ? (insert.cpp), v8 slot 17: ?[x;y;z] is the vector
// conditional or the splice (ins3); args[0] consumed, the rest borrowed.
V ins(V *args, U n);

}  // namespace zk
