// tparse.cpp: temporal literals at the parser's cursor (pTmp, pTng, pTy)
// and the scanner flags tbad and tng.
//
// least version: pTmp recognises the shape of every temporal literal (so
// such text is never misread as numbers) but does not build the values
// yet: it fails with 'nyi and tbad 3.  pTy and pTng are complete and only
// wait for pTmp.
#include "table/table.h"

#include "core/err.h"
#include "eval/lit.h"

namespace zk {

G tbad;
G tng;

static V nyi() {
  tbad = 3;
  return en0();
}

V pTmp() {
  const char *p = pz.s;
  if (!isdg(*p)) return 0;
  if (p[0] == '0' && p[1] == 'N') {  // typed nulls 0Nd 0Nt 0Np 0Nn 0Nu 0Nv 0Nm
    char c = p[2];
    bool typed = c && strchr("dtpnuvm", c) && !nmc((unsigned char)p[3]);
    return typed ? nyi() : 0;
  }
  const char *q = p;
  while (isdg(*q)) q++;
  if (*q == ':') return nyi();  // minute, second, time
  if (*q == 'D') {              // timespan: hours and a colon must follow
    const char *r = q + 1;
    if (!isdg(*r)) return 0;
    while (isdg(*r)) r++;
    return *r == ':' ? nyi() : 0;
  }
  if (*q == '.') {
    const char *r = q + 1;
    if (!isdg(*r)) return 0;
    while (isdg(*r)) r++;
    if (*r == 'm' && !nmc((unsigned char)r[1])) return nyi();  // month
    if (*r == '.' && isdg(r[1])) return nyi();                 // date, timestamp
  }
  return 0;
}

V pTng() {
  const char *p = pz.s;
  if (*p != '-' || !isdg(p[1])) return 0;
  const char *q = p + 1;
  while (isdg(*q)) q++;
  if (*q != ':' && *q != 'D') return 0;
  pz.s = p + 1;
  tng = 1;
  V a = pTmp();
  tng = 0;
  if (!a) {
    pz.s = p;
    return 0;
  }
  if (heap(a)) {  // timespan: a fresh boxed atom
    V r = an(1, hd(a)->type);
    PL(r)[0] = (J)(0 - (UJ)PL(a)[0]);
    mr(a);
    return r;
  }
  return imm(tag(a), 0 - (U)a);
}

int pTy(const char *t, I *out) {
  if (!isdg(*t)) return 0;
  J y = 0;
  for (; isdg(*t); t++)
    if (y <= 999999999999999) y = y * 10 + (*t - '0');
  if (t[0] != '.' || !isdg(t[1]) || !isdg(t[2])) return 0;
  unsigned char e = t[3];
  if (nmc(e) || e == ':' || e == '.') return 0;
  J mo = (t[1] - '0') * 10 + (t[2] - '0');
  if (mo < 1 || mo > 12 || y > 178958970) return 0;
  J c = (y - 2000) * 12 + mo - 1;
  if (c != (I)c) return 0;
  *out = (I)c;
  return 1;
}

}  // namespace zk
