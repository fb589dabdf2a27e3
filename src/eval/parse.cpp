// parse.cpp: the parser (pk_, pb, pe_, zkcg, pm, isparm) and the builtin
// p (qp).  See parse.h for the tree and lit.h for the state `pz`.
//
// Expressions are read one term at a time, right to left: a verb takes
// everything to its right and the noun to its left; two nouns side by
// side are an application.  `pe_` returns GAP for "nothing here" and 0 for
// a failure; every failure releases what was built and leaves the cursor
// where the parse stopped, which is where the caret goes.  `pz.pd` counts
// nested expression parses so that hostile nesting fails with 'limit
// instead of overflowing the machine stack.
#include "eval/parse.h"

#include <algorithm>
#include "core/diag.h"
#include "core/err.h"
#include "core/sym.h"
#include "eval/lit.h"
#include "eval/tables.h"
#include "io/hex.h"
#include "list/list.h"
#include "table/table.h"

namespace zk {

namespace {

constexpr V NOTERM = ~0ull;  // term(): nothing that starts a term here
ZK_INLINE V adv(U code) { return imm(tADV, code); }

// Takes g_parse_mx while the thread is in shared mode.
struct PLk {
  bool on;
  PLk() : on(shared_mode()) {
    if (on) g_parse_mx.lock();
  }
  ~PLk() {
    if (on) g_parse_mx.unlock();
  }
};

ZK_INLINE void mz(V x) {
  if (x) mr(x);
}
ZK_INLINE U col(const char *p) { return (U)(p - pz.ts) & 255; }
ZK_INLINE V setc(V x, U c) {
  hd(x)->column = (G)c;
  return x;
}
V n2(V a, V b, U c) { return setc(aA2(a, b), c); }
V n3(V a, V b, V d, U c) {
  V r = an(3, tLIST);
  PA(r)[0] = a, PA(r)[1] = b, PA(r)[2] = d;
  return setc(r, c);
}
// Appends x to the general list l (both consumed).
V lap(V l, V x) {
  U n = nx(l);
  l = aa(n + 1, l);
  PA(l)[n] = x;
  return l;
}
// A name of one part, or the two-part name a.b, at column c.
V nm1(I id, U c) { return setc(aV(tSYM, 1, &id), c); }
V nm2(const char *a, const char *b, U c) {
  I ids[2] = {us(a), us(b)};
  return setc(aV(tSYM, 2, ids), c);
}

ZK_INLINE bool nmsp(const char *p) { return isal(*p) || (iscy(*p) && (p[1] & 0xC0) == 0x80); }
// Is the byte before p (inside the text) a name character?  A Cyrillic
// letter ends in a continuation byte.
bool nmb(const char *p) {
  if (p <= pz.ts) return false;
  unsigned char c = p[-1];
  if (isal(c) || isdg(c)) return true;
  return (c & 0xC0) == 0x80 && p - 1 > pz.ts && iscy(p[-2]);
}
ZK_INLINE bool closer(char c) { return c == ')' || c == ']' || c == '}' || c == '"'; }
// An operand ends right before p, blanks aside.
bool opnd(const char *p) {
  while (p > pz.ts && isbl(p[-1])) p--;
  return p > pz.ts && (nmb(p) || closer(p[-1]));
}
// p starts an expression: at the text start or after one of "{[(;" or a
// newline, blanks aside.
bool xstart(const char *p) {
  while (p > pz.ts && isbl(p[-1])) p--;
  if (p == pz.ts) return true;
  char c = p[-1];
  return c == '{' || c == '[' || c == '(' || c == ';' || c == '\n';
}

// ---- globals seen at parse time ----
// The value of the global a name refers to, borrowed, or 0.
V gfind(V n) {
  UJ key;
  if (nx(n) == 1) {
    I id = PI(n)[0];
    const char *t = su(id);
    key = (U)id;
    if ((isal(t[0]) || iscy(t[0])) && gd && !tl.groot) key |= (UJ)(U)gd << 32;
  } else {
    key = gkk(n);
  }
  for (U i = 0; i < gn; i++)
    if (gk[i] == key) return gv[i];
  return 0;
}
// A dyadic function: a function value of valence 2, or the dyadic
// primitives of slots 30 and 31.
bool isdy(V v) {
  int t = tp(v);
  if (heap(v)) return t >= tLAMBDA && t <= tNATIVE && hd(v)->valence == 2;
  if (t == tNATIVE) return ((v >> 48) & 0xFF) == 2;
  return t == tDYAD && (ip(v) == 30 || ip(v) == 31);
}

const char *const kw[21] = {"in",   "within", "like",  "lj",    "ij",     "uj",   "aj",
                            "aj0",  "wj",     "wj1",   "pj",    "ej",     "cross", "inter",
                            "union", "except", "ss",   "sv",    "vs",     "xasc", "xdesc"};
bool iskw(const char *t, U n) {
  for (const char *w : kw)
    if (strlen(w) == n && !memcmp(w, t, n)) return true;
  return false;
}

// ---- terms ----
V term(G *isv);

// A name at p, noun or verb.
V name(const char *p, U c, G *isv) {
  V n = pP();
  if (!n) return 0;
  setc(n, c);
  const char *e = pz.s;
  U len = (U)(e - p);
  if (len == 1 && (*p == 'y' || *p == 'z')) pz.k = std::max(pz.k, *p == 'y' ? 2 : 3);
  if (*e == ':') {
    if (e[1] != ':' && pz.inl && pz.lc < max_parse_locals) pzl[pz.lc++] = {p, len};
    return n;
  }
  if (isparm(p, len) || isloc(p, len)) return n;
  V g = gfind(n);
  if (iskw(p, len)) *isv = !g || isdy(g);
  else *isv = len <= 63 && g && isdy(g);
  return n;
}

// Temporal run at the cursor: one literal, or a blank-separated run of one
// type as a vector.  0 with *err clear: not temporal, cursor unchanged.
// Untyped 0N items (the first one too) and bare months take the run's
// type from its typed items; a run with none is not temporal.
struct Ti {
  int t;  // atom type, 0 an untyped 0N, -1 a bare month
  J v;
};
int titem(Ti *o) {
  const char *p = pz.s;
  I m;
  if (p[0] == '0' && p[1] == 'N' && !nmc(p[2]) && p[2] != '.') {
    pz.s = p + 2;
    o->t = 0;
    return 1;
  }
  if (*p != '-' && pTy(p, &m)) {
    while (isdg(*p)) p++;
    pz.s = p + 3;
    o->t = -1, o->v = m;
    return 1;
  }
  V a = *p == '-' ? pTng() : pTmp();
  if (!a) return tbad ? -1 : 0;
  o->t = tp(a);
  o->v = heap(a) ? PL(a)[0] : (J)ip(a);
  mr(a);
  return 1;
}
V tfail() {
  G b = tbad;
  tbad = 0;
  return b == 1 ? ep0() : b == 2 ? ez0() : 0;
}
ZK_INLINE bool wide(int t) { return t == tTSTAMPA || t == tTSPANA; }
V tatom(int t, J v) {
  if (!wide(t)) return imm(t, (U)v);
  V r = an(1, t);
  PL(r)[0] = v;
  return r;
}
V trun(bool *err) {
  const char *st = pz.s;
  Ti it;
  *err = false;
  int r = titem(&it);
  if (r <= 0) {
    pz.s = st;
    if (r < 0) *err = true;
    return 0;
  }
  int T = it.t > 0 ? it.t : 0;
  bool bare = it.t < 0;
  J buf[64];
  V big = 0;  // long vector once the run outgrows buf
  U n = 0;
  int ts[64];
  auto put = [&](const Ti &x) {
    if (n < 64 && !big) {
      buf[n] = x.v, ts[n] = x.t;
    } else {
      if (!big) {
        big = an(128, tLONG);
        for (U i = 0; i < 64; i++) PL(big)[i] = ts[i] == 0 ? NJ : buf[i];
      }
      if (n >= nx(big)) big = aa(2 * n, big);
      PL(big)[n] = x.t == 0 ? NJ : x.v;
    }
    n++;
  };
  put(it);
  for (;;) {
    const char *q = pz.s, *s = q;
    if (!isbl(*s)) break;
    while (isbl(*s)) s++;
    if (!(isdg(*s) || (*s == '-' && isdg(s[1])))) break;
    pz.s = s;
    r = titem(&it);
    if (r < 0) {
      mz(big);
      *err = true;
      return 0;
    }
    bool ok = r > 0;
    if (ok && it.t < 0) ok = !T || T == tMONTHA;
    if (ok && it.t > 0) ok = T ? it.t == T : !bare || it.t == tMONTHA;
    if (!ok) {
      pz.s = q;
      break;
    }
    if (it.t > 0) T = it.t;
    bare |= it.t < 0;
    put(it);
  }
  if (!T) {  // bare months with no m item to fix the type: not temporal
    mz(big);
    pz.s = st;
    return 0;
  }
  if (n == 1) return tatom(T, buf[0]);
  int vt = T - 22;
  V x = an(n, vt);
  for (U i = 0; i < n; i++) {
    J v = big ? PL(big)[i] : ts[i] == 0 ? NJ : buf[i];
    if (wide(T)) PL(x)[i] = v;
    else PI(x)[i] = v == NJ ? NI : (I)v;
  }
  mz(big);
  return x;
}

// The run's tokens decide: any of ".nwef" makes it a float run.
bool fltrun(const char *p) {
  for (;;) {
    if (*p == '-') p++;
    for (;; p++) {
      char c = *p;
      if (c == '.' || c == 'n' || c == 'w' || c == 'e' || c == 'f') return true;
      if (!isal(c) && !isdg(c)) break;
    }
    const char *q = p;
    while (isbl(*q)) q++;
    if (q == p || !(isdg(*q) || (*q == '-' && isdg(q[1])))) return false;  // 1-2.5: no run
    p = q;
  }
}

// Number or temporal literal; one item gives the atom.
V num() {
  bool err;
  V t = trun(&err);
  if (err) return tfail();
  if (t) return t;
  tbad = 0;
  V v = fltrun(pz.s) ? pV(tFLT, pf) : pZ();
  if (!v || nx(v) != 1) return v;
  V a = io(v, 0);
  mr(v);
  return a;
}

// "(" ... ")": the empty list, one item, or a List node.
V tablit(const char *p, U c);
V paren(const char *p, U c) {
  if (p[1] == '[') return tablit(p, c);
  const char *q = p + 1;
  while (isbl(*q)) q++;
  if (*q == ')') {
    pz.s = q + 1;
    return emp();
  }
  pz.s = p + 1;
  V l = pb(MKL, ')');
  if (!l) return 0;
  U n = nx(l);
  if (n > 2) return setc(l, c);
  V x = n == 2 ? _r(PA(l)[1]) : emp();  // "(" newlines ")" holds nothing
  mr(l);
  return x;
}

// "{" [params] body "}": compiled at once.
V lam(const char *p) {
  const char *ts0 = pz.ts;
  V pf0 = pz.pfrm;
  I k0 = pz.k;
  G inl0 = pz.inl;
  U lb0 = pz.lb, lc0 = pz.lc;
  pz.ts = p, pz.k = 1, pz.pfrm = 0, pz.inl = 1, pz.lb = pz.lc;
  pz.s = p + 1;
  V prm = 0, r = 0;
  const char *q = pz.s;
  while (isbl(*q)) q++;
  if (*q == '[') {
    pz.s = q;
    prm = pSw(';', true);
    if (!prm) goto out;
    while (isbl(*pz.s)) pz.s++;
    if (*pz.s != ']') {
      ep0();
      goto out;
    }
    if (nx(prm) > (U)max_params) {
      ez0();
      goto out;
    }
    pz.s++;
    pz.ppe = pz.s;
    pz.pfrm = prm;
  }
  {
    V body = pb(GAP, '}');
    if (!body) goto out;
    V names = prm;
    prm = 0;
    if (!names) {
      I xyz[3] = {'x', 'y', 'z'};
      names = aV(tSYM, (U)pz.k, xyz);
    }
    V text = aCn(p, (U)(pz.s - p));
    PLk lk;
    r = cpl_(text, body, names);
  }
out:
  mz(prm);
  pz.ts = ts0, pz.pfrm = pf0, pz.k = k0, pz.inl = inl0, pz.lb = lb0, pz.lc = lc0;
  return r;
}

// if[c;...], do[n;...], while[c;...] at p (w: 0 if, 1 do, 2 while).
V ctl(const char *p, int w, U c) {
  pz.s = p + (w == 0 ? 3 : w == 1 ? 3 : 6);
  V l = pb(GAP, ']');
  if (!l) return 0;
  U n = nx(l);
  if (n == 1 || (n == 2 && PA(l)[1] == GAP)) {
    mr(l);
    return ep0();
  }
  if (w) {
    PA(l)[0] = adv(w == 1 ? 30 : 31);
    if (n == 2) l = lap(l, GNULL);
    return setc(l, c);
  }
  V cond = _r(PA(l)[1]), body = GNULL;
  if (n > 2) {
    body = an(n - 1, tLIST);
    PA(body)[0] = GAP;
    for (U i = 2; i < n; i++) PA(body)[i - 1] = _r(PA(l)[i]);
  }
  mr(l);
  V r = an(4, tLIST);
  PA(r)[0] = mp2(16), PA(r)[1] = cond, PA(r)[2] = body, PA(r)[3] = GNULL;
  return setc(r, c);
}

// A glyph verb at p: dyadic, or monadic when ':' follows.
V glyph(const char *p, U slot, G *isv) {
  *isv = 1;
  if (p[1] == ':') {
    pz.s = p + 2;
    return mp1(slot);
  }
  pz.s = p + 1;
  return mp2(slot);
}

V term(G *isv) {
  const char *p = pz.s;
  unsigned char c = *p;
  U cc = col(p);
  *isv = 0;
  switch (c) {
    case '`': {
      V v = pSw('`', false);
      if (!v) return 0;
      if (nx(v) > 1) return setc(aA1(v), cc);
      I id = PI(v)[0];
      mr(v);
      return as(id);
    }
    case '"': {
      V v = pC();
      if (!v || nx(v) != 1) return v;
      char ch = PC(v)[0];
      mr(v);
      return ac(ch);
    }
    case '(': return paren(p, cc);
    case '{': return lam(p);
    case '[': {
      pz.s = p + 1;
      V l = pb(GAP, ']');
      return l ? setc(l, cc) : 0;
    }
    case '.':
      if (!nmb(p)) {
        if (p[1] == 'z' && p[2] == '.' && p[3] == 's' && !nmc(p[4])) {  // the running lambda
          pz.s = p + 4;
          return nm1('o', cc);
        }
        if (p[1] && strchr("Qjzh", p[1]) && p[2] == '.' && nmsp(p + 3)) {
          pz.s = p + 1;
          bool clk = p[1] == 'z' && p[3] && strchr("pPnNdDtTzZ", p[3]) && p[4] != '[' && p[4] != ':' &&
                     !nmc(p[4]);
          V n = name(p + 1, cc, isv);
          if (!n || !clk) return n;
          *isv = 0;
          return n2(n, GNULL, cc);  // a clock read: (z.p; ::)
        }
      }
      return glyph(p, 19, isv);
    case '-':
      if (isdg(p[1]) && (p == pz.ppe || !(nmb(p) || (p > pz.ts && closer(p[-1]))))) return num();
      return glyph(p, 2, isv);
    case '<':
    case '>':
      if ((p[1] == '=' || (c == '<' && p[1] == '>')) && opnd(p)) {
        pz.s = p + 2;
        *isv = 1;
        return nm2("Q", p[1] == '>' ? "ne" : c == '<' ? "le" : "ge", cc);
      }
      return glyph(p, c == '<' ? 8 : 9, isv);
    case '\'':
      if (p[1] == '[') {  // '[f;g]: its bracket list follows as a postfix
        pz.s = p + 1;
        return nm2("Q", "cmp", cc);
      }
      if (p[1] != ':' && xstart(p)) {
        pz.s = p + 1;
        *isv = 1;
        return nm2("Q", "sig", cc);
      }
      [[fallthrough]];
    case '/':
    case '\\': {
      U code = c == '\'' ? 0 : c == '/' ? 1 : 2;
      pz.s = p + 1;
      if (p[1] == ':') code += 3, pz.s++;
      *isv = 1;
      return adv(code);
    }
  }
  if (isal(c) || (iscy(c) && (p[1] & 0xC0) == 0x80)) {
    if (c == 'i' && p[1] == 'f' && p[2] == '[' && !isparm(p, 2)) return ctl(p, 0, cc);
    if (c == 'd' && p[1] == 'o' && p[2] == '[' && !isparm(p, 2)) return ctl(p, 1, cc);
    if (c == 'w' && !strncmp(p, "while[", 6) && !isparm(p, 5)) return ctl(p, 2, cc);
    return name(p, cc, isv);
  }
  if (isdg(c)) {
    if (p[1] == ':') {  // file verbs 0: .. 5:
      if (c > '5') return ep0();
      *isv = 1;
      U slot = 20 + (c - '0');
      if (p[2] == ':') {
        pz.s = p + 3;
        return mp1(slot);
      }
      pz.s = p + 2;
      return mp2(slot);
    }
    if (c == '0' && p[1] == 'x') {  // raw bytes as chars
      const char *q = p + 2;
      while (isal(*q) || isdg(*q)) q++;
      V t = aCn(p + 2, (U)(q - p - 2));
      V v = unhC(t);
      mr(t);
      if (!v) return 0;
      pz.s = q;
      if (nx(v) != 1) return v;
      V a = io(v, 0);
      mr(v);
      return a;
    }
    return num();
  }
  if (c >= 0x80) {  // a Unicode operator name, always a verb
    V t = ps();
    I id = usn(PC(t), nx(t));
    mr(t);
    *isv = 1;
    return nm1(id, cc);
  }
  // The glyphs in slot order (the first 20 of vc).
  static const char gl[] = ":+-*%!&|<>=~,^#_$?@.";
  if (const char *g = c ? strchr(gl, c) : nullptr) return glyph(p, (U)(g - gl), isv);
  return NOTERM;
}

// Expression body; pe_ counts the nesting around it.
V pe1(V w, G *fl) {
  for (;;) {
    while (isbl(*pz.s)) pz.s++;
    const char *p = pz.s;
    if (*p == '/' && (p == pz.ts || isbl(p[-1]) || p[-1] == '\n')) {
      if (p[1] == '\n') {  // block comment up to a line holding a single backslash
        const char *e = strstr(p + 1, "\n\\\n");
        if (!e) {
          mz(w);
          return ep0();
        }
        pz.s = e + 2;
      } else {
        while (*p && *p != '\n') p++;
        pz.s = p;
      }
      continue;
    }
    break;
  }
  const char *p = pz.s;
  if (*p == '\\' && p > pz.ts && p[-1] == ' ') {  // trace: print the rest and pass it on
    pz.s = p + 1;
    G f = 0;
    V e = pe_(0, &f);
    if (!e) {
      mz(w);
      return 0;
    }
    V r = n2(mp1(26), e, col(p));
    if (w) r = n2(pm(w), r, col(p));
    *fl = 0;
    return r;
  }
  U tc = col(p);
  G isv = 0;
  V T = term(&isv);
  if (!T) {
    mz(w);
    return 0;
  }
  if (T == NOTERM) return w ? w : GAP;
  // Postfix: adverbs right after the term, bracket lists after blanks.
  for (I np = 1;; np++) {
    const char *q = pz.s;
    char c = *q;
    bool av = c == '\'' || c == '/' || c == '\\';
    const char *r = q;
    if (!av)
      while (isbl(*r)) r++;
    if (!av && *r != '[') break;
    if (np + pz.pd > max_parse_depth) {
      mr(T);
      mz(w);
      return ez0();
    }
    if (av) {
      U code = c == '\'' ? 0 : c == '/' ? 1 : 2;
      pz.s = q + 1;
      if (q[1] == ':') code += 3, pz.s++;
      T = n2(adv(code), T, col(q));
      isv = 1;
      continue;
    }
    pz.s = r + 1;
    V l = pb(T, ']');
    if (!l) {
      mz(w);
      return 0;
    }
    setc(l, col(r));
    if (nx(l) == 2) {
      V h = PA(l)[0];
      if (PA(l)[1] == GAP) PA(l)[1] = GNULL;  // f[] applies f to ::
      else if (tp(h) == tDYAD && ip(h) >= 1 && ip(h) <= 15) l = lap(l, GAP);  // +[x]: (+; x; gap)
      else PA(l)[0] = pm(h);
    }
    T = l;
    isv = 0;
  }
  if (isv) {
    G f = 0;
    V R = pe_(0, &f);
    if (!R) {
      mz(w);
      mr(T);
      return 0;
    }
    if (R == GAP) {
      *fl = 1;
      if (!w) return T;
      if (tp(T) == tMONAD) {
        mr(w);
        mr(T);
        return ep0();
      }
      return n3(T, w, GAP, tc);
    }
    if (T == mp2(0)) f = 0;
    *fl = f;
    if (!w) return f ? n3(adv(0), pm(T), R, tc) : n2(pm(T), R, tc);
    return f ? n3(adv(0), n3(T, w, GAP, tc), R, tc) : n3(T, w, R, tc);
  }
  G f = 0;
  V R = pe_(T, &f);
  if (!R) {
    mz(w);
    return 0;
  }
  *fl = f;
  if (!w) return R;
  return f ? n3(adv(0), w, R, tc) : n2(pm(w), R, tc);
}

// "([keys] values)".
V tablit(const char *p, U c) {
  pz.s = p + 2;
  U nk, nv;
  V kp = zkcg(']', &nk);
  if (!kp) return 0;
  V vp = zkcg(')', &nv);
  if (!vp) {
    mr(kp);
    return 0;
  }
  if (!nk) {
    mr(kp);
    return n2(mp1(1), vp, c);
  }
  return n3(mp2(5), n2(mp1(1), kp, c), n2(mp1(1), vp, c), c);
}

}  // namespace

V pe_(V w, G *fl) {
  if (pz.pd >= max_parse_depth) {
    mz(w);
    return ez0();
  }
  pz.pd++;
  V r = pe1(w, fl);
  pz.pd--;
  return r;
}

V pb(V head, char t) {
  V l = head ? aA1(head) : emp();
  bool nl = false;  // the separator before this item was a newline
  for (;;) {
    G f = 0;
    V e = pe_(0, &f);
    if (!e) {
      mr(l);
      return 0;
    }
    char c = *pz.s;
    if (e == GAP) {
      if (t == ']') {
        if (nl) {
        } else if (c == '\n') {
          pz.s++;
          nl = true;
          continue;
        } else {
          l = lap(l, GAP);
        }
      } else if (t != '\n') {
        if (nl) {
          if (c == ';' || c == '\n') {
            pz.s++;
            nl = c == '\n';
            continue;
          }
          if (c == t) {
            if (c) pz.s++;
            return l;
          }
          mr(l);
          return ep0();
        }
        if (c == '\n') {
          pz.s++;
          nl = true;
          continue;
        }
        l = lap(l, GNULL);
      } else {
        l = lap(l, GNULL);
      }
    } else {
      l = lap(l, e);
    }
    if (c == ';' || c == '\n') {
      pz.s++;
      if (c == '\n' && t == '\n') return l;
      nl = c == '\n';
      continue;
    }
    if (c == t) {
      if (c) pz.s++;
      return l;
    }
    if (!c && t == '\n') return l;
    mr(l);
    return ep0();
  }
}

V zkcg(char t, U *cnt) {
  I ids[256];
  U n = 0;
  V l = aA1(MKL);
  auto skip = [] {
    while (isbl(*pz.s) || *pz.s == '\n') pz.s++;
  };
  for (;;) {
    skip();
    if (*pz.s == t) {
      pz.s++;
      break;
    }
    if (n == 256) {
      mr(l);
      return ez0();
    }
    const char *a = pz.s;
    if (!nmsp(a)) {
      mr(l);
      return ep0();
    }
    V nm = ps();
    ids[n] = usn(PC(nm), nx(nm));
    mr(nm);
    if (*pz.s != ':') {
      mr(l);
      return ep0();
    }
    pz.s++;
    G f = 0;
    V e = pe_(0, &f);
    if (!e || e == GAP) {  // a column needs a value
      mr(l);
      return e ? ep0() : 0;
    }
    l = lap(l, e);
    n++;
    skip();
    if (*pz.s == ';') pz.s++;
  }
  *cnt = n;
  V names = aV(tSYM, n, ids);
  if (!n) mr(l), l = emp();
  return n3(mp2(5), aA1(names), l, 0);
}

bool isparm(const char *t, U n) {
  V p = pz.pfrm;
  if (!p) return false;
  for (U i = 0, m = nx(p); i < m; i++) {
    const char *s = su(PI(p)[i]);
    if (strlen(s) == n && !memcmp(s, t, n)) return true;
  }
  return false;
}

// A name assigned earlier in the lambda being parsed is that lambda's
// local: a global function of the same name must not make it a verb.
bool isloc(const char *t, U n) {
  for (U i = pz.lb; i < pz.lc; i++)
    if (pzl[i].n == n && !memcmp(pzl[i].t, t, n)) return true;
  return false;
}

V pm(V x) {
  int t = tp(x);
  if (t == tDYAD) return mp1((U)ip(x));
  if (t == tLIST && nx(x) == 2 && PA(x)[0] == adv(0)) {  // each: its operand too
    x = mut(x);
    PA(x)[1] = pm(PA(x)[1]);
    return x;
  }
  if (t == tSYM && heap(x) && nx(x) == 1) {
    // A Unicode-named verb used monadically refers to the global named
    // with a trailing ':'.
    const char *s = su(PI(x)[0]);
    size_t n = strlen(s);
    if ((unsigned char)s[0] >= 0x80 && !iscy(s[0]) && s[n - 1] != ':') {
      char b[256];
      if (n > sizeof b - 2) return x;
      memcpy(b, s, n);
      b[n] = ':';
      V y = nm1(usn(b, n + 1), hd(x)->column);
      mr(x);
      return y;
    }
  }
  return x;
}

V pk_(const char **cur, char t) {
  PLk lk;
  Pz sv = pz;
  pz.s = pz.ts = *cur;
  pz.ppe = 0, pz.pfrm = 0, pz.pd = 0, pz.k = 1, pz.ovf = 0, pz.inl = 0, pz.lb = pz.lc;
  tbad = 0;
  V r = pb(GAP, t);
  if (!r) {
    const char *src = pz.ts;
    U len = (U)strlen(src), c = (U)(pz.s - src);
    eD(src, len, c);
    eQ(src, len, c);
  } else if (nx(r) <= 2) {  // one statement unwrapped; none is ::
    V x = nx(r) == 2 ? _r(PA(r)[1]) : GNULL;
    mr(r);
    r = x;
  }
  *cur = pz.s;
  pz = sv;
  return r;
}

V qp(V x) {
  if (tp(x) != tCHR) return et(x);
  U n = nx(x);
  x = aa(n + 1, x);
  PC(x)[n] = 0;
  PLk lk;
  const char *c = PC(x);
  V r = pk_(&c, 0);
  mr(x);
  return r;
}

}  // namespace zk
