// dollar.cpp: the dyadic `$` verb (dlr) and the text-to-number casts it
// owns: pad (an integer on the left pads or cuts text), prsI (the letter
// I, text to an integer atom) and prsF (the letter F, text to a float).
//
// The left argument picks the work: an int or long atom pads; a char atom
// that is a parser letter reads temporal text (P T D in either case, M N
// U V upper case only: lower-case m n u v belong to the modules' casts);
// a one-letter symbol among "ifcsIF" (the empty symbol meaning s) picks a
// cast of cast_by_letter; every other char or symbol goes to dlrq, the
// fall-back that ends in the modules' qcst.
//
// Text never fails to parse: prsI gives 0N and prsF 0n for what is not a
// number.  The integer grammar (pil, shared with prsIL): blanks (space,
// tab, CR; never LF), a run of signs (each '-' flips), at least one digit,
// blanks, nothing else; leading zeros aside at most 19 digits within the
// long range.  "-9223372036854775808" is the smallest long, which is 0N.
// The float grammar is the literal scanner's, with no blanks at all.
#include <cmath>
#include <cstring>

#include "core/err.h"
#include "core/sym.h"
#include "eval/each.h"
#include "eval/eval.h"
#include "eval/lit.h"
#include "list/list.h"
#include "num/num.h"
#include "table/table.h"

namespace zk {

J pil(const char *s, U n) {
  U i = 0;
  while (i < n && isbl(s[i])) i++;
  bool neg = false;
  while (i < n && (s[i] == '+' || s[i] == '-')) neg ^= s[i++] == '-';
  U d0 = i;
  while (i < n && s[i] == '0') i++;
  U z = i;
  while (i < n && s[i] >= '0' && s[i] <= '9') i++;
  U e = i;
  if (e == d0) return NJ;
  while (i < n && isbl(s[i])) i++;
  if (i != n) return NJ;
  U nd = e - z;
  // 19 digits fit below 2^63 except beyond 9223372036854775807; the one
  // above it that a minus sign allows is the smallest long, 0N itself.
  if (nd > 19 || (nd == 19 && memcmp(s + z, "9223372036854775807", 19) > 0)) return NJ;
  UJ v = 0;
  for (U k = z; k < e; k++) v = v * 10 + (UJ)(s[k] - '0');
  return neg ? (J)(0 - v) : (J)v;
}

V prsI(V x) {
  int t = tp(x);
  if (t == tLIST) return prsIL(x);
  if (t == tTABLE || t == tDICT) return e1f(prsI, x);
  if (t == tCHRA) x = enl(x), t = tCHR;
  if (t != tCHR) return et(x);
  const char *s = PC(x);
  U n = nx(x);
  const void *z = memchr(s, 0, n);
  if (z) n = (U)((const char *)z - s);
  J v = pil(s, n);
  mr(x);
  return v == NJ ? al(NJ) : az(v);
}

V prsF(V x) {
  int t = tp(x);
  if (t == tLIST || t == tTABLE || t == tDICT) return e1f(prsF, x);
  if (t == tCHRA) x = enl(x), t = tCHR;
  if (t != tCHR) return et(x);
  U n = nx(x);
  if (!n) return mr(x), af(NAN);
  // The scanner reads NUL-terminated text: a copy with the terminator.
  char b[128], *p = n < sizeof b ? b : (char *)malloc((size_t)n + 1);
  if (!p) die("OOM");
  memcpy(p, PC(x), n);
  p[n] = 0;
  mr(x);
  const char *c = p;
  UJ bits = pf(&c);
  bool all = c == p + n;
  if (p != b) free(p);
  F d;
  memcpy(&d, &bits, 8);
  return af(all ? d : NAN);
}

V pad(V n, V y) {
  switch (tp(y)) {
    case tLIST: case tTABLE: case tDICT: return e2f(pad, n, y);
    case tCHR: {
      static V k;
      return k2(&k, "{y@(!x)+(x<0)*#y}", n, y);
    }
    case tCHRA: return dlr(n, enl(y));
    default: return et(y);
  }
}

namespace {

// The temporal parser of a char on the left of `$`, or 0.
K1 ptl(char c) {
  switch (c) {
    case 'P': case 'p': return ptP;
    case 'T': case 't': return ptT;
    case 'D': case 'd': return ptD;
    case 'M': return ptM;
    case 'N': return ptN;
    case 'U': return ptU;
    case 'V': return ptV;
    default: return 0;
  }
}

// The casts by the letters "ifcsIF", in that order.
const K1 cast_by_letter[6] = {csti, cF, cC, cSb, prsI, prsF};

}  // namespace

V dlr(V x, V y) {
  switch (tp(x)) {
    case tINTA: case tLONGA: return pad(x, y);
    case tCHRA: {
      K1 f = ptl((char)ip(x));
      int ty = tp(y);
      if (f && ty == tCHR) return f(y);
      if (f && ty == tCHRA) return f(enl(y));
      return dlrq(x, y);
    }
    case tSYMA: {
      // A one-byte name is its own id, the letter's code; the empty
      // symbol (id 0) is the letter s.
      static const char lt[] = "ifcsIF";
      I id = ip(x);
      const char *l = !id ? lt + 3 : id < 128 && id > 0 ? strchr(lt, id) : nullptr;
      return l ? cast_by_letter[l - lt](y) : dlrq(x, y);
    }
    default: return et(y);
  }
}

}  // namespace zk
