// lit.h: the literal scanners and the parser's process-wide state.
//
// Every scanner starts at a cursor, moves it past what it read and
// returns a value or a scalar.  The parser's own cursor is `pz.s`; the
// float scanner also serves callers with a cursor of their own (the text
// to float cast), and then touches no shared state.
//
// Names: plN = one integer token, pf = one float token (its bits), pfs =
// the correctly rounded slow path of pf, pV = a blank-separated run of
// number tokens as a vector, pZ = an integer (or boolean) run, pC = a
// string literal, ps = the text of one name token, pP = a dotted name,
// pSw = a list of symbols each preceded by a separator; nmc = name
// character, nms = name start.
#pragma once
#include "core/core.h"

namespace zk {

// Parser state: one parse at a time in the whole process (callers in
// shared mode hold g_parse_mx).  A lambda literal saves and restores ts,
// pfrm and k around its body.
struct Pz {
  const char *s;    // cursor into NUL-terminated text
  const char *ts;   // where source columns count from
  const char *ppe;  // just after the parameter list of the lambda being parsed
  V pfrm;           // explicit parameters of that lambda (symbol vector), 0 if none
  I pd;             // nesting of expression parses
  I k;              // implicit valence of that lambda: 1, 2 (y used) or 3 (z used)
  G ovf;            // an integer literal did not fit 64 bits
  G inl;            // parsing a lambda's body (so "name:" makes a local)
  U lb, lc;         // that lambda's locals assigned so far: pzl[lb..lc)
};
// Names assigned so far in the lambdas being parsed, innermost last.
struct PzLoc {
  const char *t;
  U n;
};
inline constexpr U max_parse_locals = 256;
extern PzLoc pzl[max_parse_locals];
extern Pz pz;

inline constexpr I max_parse_depth = 512;
inline constexpr I max_params = 8;
inline constexpr I max_path_parts = 8;

// Name characters: ASCII letters and digits, and the two-byte UTF-8
// sequences of Cyrillic letters (lead byte 0xD0 or 0xD1).  No underscore.
ZK_INLINE bool isal(unsigned char c) { return (unsigned)((c | 0x20) - 'a') < 26u; }
ZK_INLINE bool isdg(unsigned char c) { return (unsigned)(c - '0') < 10u; }
ZK_INLINE bool iscy(unsigned char c) { return c == 0xD0 || c == 0xD1; }
ZK_INLINE bool nms(unsigned char c) { return isal(c) || iscy(c); }
ZK_INLINE bool nmc(unsigned char c) { return isal(c) || isdg(c) || iscy(c); }
ZK_INLINE bool isbl(unsigned char c) { return c == ' ' || c == '\t' || c == '\r'; }

// ---- number tokens ----
J plN(const char **c);   // 0N when no digit follows an optional '-'; sets pz.ovf past 64 bits
UJ pf(const char **c);   // never fails; bits of a double
UJ pfs(const char *text, const char *end, UJ m, J e, UJ sign, I nd);

// ---- runs (at pz.s) ----
using Scn = UJ (*)(const char **);
V pV(int t, Scn f);  // t = tLONG with a plN adapter, or tFLT with pf
V pZ();              // booleans, or longs narrowed; 'limit when a token overflowed
UJ plNu(const char **c);  // plN as a Scn

// ---- text tokens (at pz.s) ----
V pC();                      // cursor on the opening quote; 'parse when unterminated
V ps();                      // never fails; may be empty
V pP();                      // 'limit past max_path_parts
V pSw(char sep, bool skipb); // cursor on the first separator

}  // namespace zk
