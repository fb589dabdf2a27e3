// tcast.cpp: text to integer casts and the fall-back of `$`.
//
// prsI reads one text (or a char atom as one-char text) as an integer
// atom; prsIL reads a general list of texts into a long vector.  A text is
// blanks (tab, CR, space; never LF), a run of signs (each '-' flips), at
// least one digit, blanks, and nothing else; leading zeros aside, at most
// 19 digits within the long range.  Bad text gives 0N, never an error;
// "-9223372036854775808" gives the smallest long, which is 0N itself.
//
// dlrq is what `$` does with a left argument it does not handle: a
// temporal type name with () gives that type's empty vector, a parser
// letter (P T D M N U V) parses every text of a general list, anything else
// goes to the modules' cast function qcst.  tqnm names the temporal types.
//
// Names: pil the text grammar, blk the blanks.
#include <cstring>

#include "core/err.h"
#include "core/sym.h"
#include "eval/each.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/num.h"
#include "table/table.h"

namespace zk {

namespace {

bool blk(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The value of the text s[0..n) under the grammar above, or 0N.
J pil(const char *s, U n) {
  U i = 0;
  while (i < n && blk(s[i])) i++;
  bool neg = false;
  while (i < n && (s[i] == '+' || s[i] == '-')) neg ^= s[i++] == '-';
  U d0 = i;
  while (i < n && s[i] == '0') i++;
  U z = i;
  while (i < n && s[i] >= '0' && s[i] <= '9') i++;
  U e = i;
  if (e == d0) return NJ;
  while (i < n && blk(s[i])) i++;
  if (i != n) return NJ;
  U nd = e - z;
  // 19 digits fit below 2^63 except beyond 9223372036854775807; the one
  // above it that a minus sign allows is the smallest long, 0N itself.
  if (nd > 19 || (nd == 19 && memcmp(s + z, "9223372036854775807", 19) > 0)) return NJ;
  UJ v = 0;
  for (U k = z; k < e; k++) v = v * 10 + (UJ)(s[k] - '0');
  return neg ? (J)(0 - v) : (J)v;
}

}  // namespace

V prsI(V x) {
  int t = tp(x);
  if (t == tLIST) return prsIL(x);
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

V prsIL(V x) {
  U n = nx(x);
  V r = an(n, tLONG);
  for (U i = 0; i < n; i++) {
    V a = PA(x)[i];
    if (tp(a) == tCHR) {
      PL(r)[i] = pil(PC(a), nx(a));
      continue;
    }
    V v = prsI(_r(a));
    if (!v) return mr(r), mr(x), (V)0;
    PL(r)[i] = gl(v);
  }
  mr(x);
  return r;
}

static const char *const tqn[7] = {"date", "time", "timestamp", "minute", "second", "month", "timespan"};

I tqnm(V s) {
  const char *t = su(ip(s));
  for (int i = 0; i < 7; i++)
    if (!strcmp(t, tqn[i])) return 33 + i;
  return 0;
}

V dlrq(V x, V y) {
  int tx = tp(x), ty = tp(y);
  if (tx == tSYMA && ty == tLIST && !nx(y)) {
    I a = tqnm(x);
    if (a) return mr(y), _r(ce[TT[a]]);
  }
  if (tx == tCHRA) {
    K1 f = 0;
    switch ((char)ip(x)) {
      case 'P': f = ptP; break;
      case 'T': f = ptT; break;
      case 'D': f = ptD; break;
      case 'M': f = ptM; break;
      case 'N': f = ptN; break;
      case 'U': f = ptU; break;
      case 'V': f = ptV; break;
    }
    if (f) return ty == tLIST ? e1f(f, y) : et(y);
  }
  static V k;
  return k2(&k, "{qcst[x;y]}", x, y);
}

}  // namespace zk
