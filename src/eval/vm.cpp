// vm.cpp: the stack machine `run`, the truth test `tru`, the stack-effect
// tables the compiler sizes frames with, and the disassembler `dis`.
//
// A run owns one frame on the native stack: the locals first, then the
// operand stack growing down from the frame's end; sp points at the top
// value.  Live words are exactly locals [0, nl) and the stack [sp, end),
// so leaving (END or failure) releases those and nothing else.  A failing
// instruction leaves no value of its own in the frame: what it consumed is
// popped before the failure path runs.  Two int atoms under + - < > = are
// computed in place, giving exactly what the verbs give for them (an int
// atom when the result fits 32 bits, else the verb is called); everything
// else goes through the verb tables.  Names: fr frame, sp stack top, pc
// the first byte of the current instruction, k constants, cur the running
// lambda, tf the lambda a tail call left running (held here).
#include "eval/vm.h"
#include <cstdarg>
#include <cstdio>
#include "core/err.h"
#include "core/sym.h"
#include "eval/tables.h"
#include "list/list.h"
#include "num/num.h"

namespace zk {

// ---- stack-effect tables ----
namespace {
struct Fx {
  int8_t d[131], k[131], i[131];
};
constexpr Fx mkfx() {
  Fx f{};
  auto set = [&](int a, int b, int d, int k, int i) {
    for (int o = a; o <= b; o++) f.d[o] = (int8_t)d, f.k[o] = (int8_t)k, f.i[o] = (int8_t)i;
  };
  set(0, 30, 0, 0, 0);       // END, MONAD
  set(31, 31, 0, 0, 3);      // FUSED
  set(32, 79, -1, 0, 0);     // DYAD, SETLOC
  set(80, 111, 1, 0, 0);     // GETLOC, DELLOC
  set(112, 113, 1, -1, 1);   // APPLY, PROJECT
  set(114, 119, -1, 0, 3);   // MODASN .. IDXGETG
  set(120, 120, 1, 0, 2);    // GETGLB
  set(121, 121, -1, 0, 2);   // SETGLB
  set(122, 122, 1, -1, 1);   // LIST
  set(123, 123, 0, 1, 1);    // UNLIST
  set(124, 124, -1, 0, 1);   // BRANCH
  set(125, 125, 0, 0, 1);    // JUMP
  set(126, 126, 1, 0, 0);    // RECUR
  set(127, 127, -1, 0, 0);   // POP
  set(128, 129, 0, 0, 2);    // CONSTDYAD, LOOP
  set(130, 130, 1, 0, 0);    // CONST
  return f;
}
constexpr Fx FX = mkfx();
}  // namespace
const int8_t ds[131] = {
#define R(n) FX.d[n],
#define R10(i) R(i) R(i + 1) R(i + 2) R(i + 3) R(i + 4) R(i + 5) R(i + 6) R(i + 7) R(i + 8) R(i + 9)
    R10(0) R10(10) R10(20) R10(30) R10(40) R10(50) R10(60) R10(70) R10(80) R10(90) R10(100)
        R10(110) R10(120) R(130)};
#undef R
#define R(n) FX.k[n],
const int8_t ks[131] = {R10(0) R10(10) R10(20) R10(30) R10(40) R10(50) R10(60) R10(70) R10(80)
                            R10(90) R10(100) R10(110) R10(120) R(130)};
#undef R
#define R(n) FX.i[n],
const int8_t di[131] = {R10(0) R10(10) R10(20) R10(30) R10(40) R10(50) R10(60) R10(70) R10(80)
                            R10(90) R10(100) R10(110) R10(120) R(130)};
#undef R
#undef R10

// ---- truth ----
I tru(V x) {
  if (!heap(x)) {
    int t = tag(x);
    if (t >= tLAMBDA && t <= tNATIVE) return x != GNULL;
    return (U)x != 0;
  }
  int t = hd(x)->type;
  I r;
  if (t >= tLAMBDA && t <= tNATIVE) r = 1;
  else if (t >= tINTA) r = PL(x)[0] != 0;  // boxed atoms: the whole word, so -0.0 and NaN are true
  else if (t == tRANGE) r = PL(x)[0] != PL(x)[1];
  else if (t == tDICT) r = _n(PA(x)[1]) != 0;
  else if (t == tTABLE) r = _n(x) != 0;
  else r = nx(x) != 0;
  mr(x);
  return r;
}

namespace {

// Release of a slot that may be empty (locals, globals).
ZK_INLINE void mz(V x) {
  if (x) mr(x);
}

// Two int atoms under the dyad op (+ - < > =): the verb's result, or 0
// when the pair or the verb is not one of these, or the sum overflows.
ZK_INLINE V ii2(U op, V x, V y) {
  if (((x >> 56) ^ tINTA) | ((y >> 56) ^ tINTA)) return 0;
  J a = ip(x), b = ip(y);
  // Plain branches, not a switch: a loop's counter test and step would
  // otherwise share one indirect jump.
  if (op == 1 || op == 2) {
    J r = op == 1 ? a + b : a - b;
    return r == (I)r ? ai((I)r) : 0;
  }
  if (op == 8) return ai(a < b);
  if (op == 9) return ai(a > b);
  if (op == 10) return ai(a == b);
  return 0;
}

// Is the instruction at q, after any chain of JUMPs, an END?
ZK_INLINE bool tailpos(const G *q) {
  while (*q == oJUMP) q += 2 + q[1];
  return *q == oEND;
}

// Failure of a read of a local that holds nothing: the error is named
// after the local, as a read of an undefined global is.
V unset(V names, U i) {
  const char *s = su(PI(names)[i]);
  return err0(*s ? s : "value");
}

// Frames up to this many words live in run's own array; larger ones are
// sized exactly on the native stack.
inline constexpr U FR0 = 40;

ZK_INLINE void fill(V *fr, V *a, U n, U nl) {
  // Only the locals need clearing: a stack word is written before it is
  // read, and the exits release exactly the locals and [sp, end).
  for (U i = 0; i < n; i++) fr[i] = a[i];
  for (U i = n; i < nl; i++) fr[i] = 0;
}

// The interpreter proper: runs f on the n arguments a (consumed), in its
// own fixed array or, for a larger frame, in big.  The call depth was
// raised by the caller; every exit lowers it.  Each handler ends in its
// own indirect jump, so the branch predictor sees one dispatch site per
// instruction kind; common-code merging would fold them into a few shared,
// badly predicted ones.
__attribute__((noinline, hot, optimize("O3", "no-gcse", "no-crossjumping")))
V exec(V f, V *a, U n, V *big) {
  V *sl = PA(f);
  const G *code = P(sl[1]);
  const V *k = sl + 4;
  U nl = nx(sl[3]);
  const U fs = code[0] + nl;  // the frame keeps this size across tail calls
  V fr0[FR0];
  V *fr = big ? big : fr0;
  fill(fr, a, n, nl);
  V *const end = fr + fs;
  V *sp = end;
  // pc stays on the first byte of an instruction until it completes, so a
  // failure knows its column from pc alone.
  const G *pc = code + 1;
  V cur = f, tf = 0;

  static const void *const jt[256] = {
#define L2(l) &&l, &&l
#define L4(l) L2(l), L2(l)
#define L8(l) L4(l), L4(l)
#define L16(l) L8(l), L8(l)
#define L32(l) L16(l), L16(l)
#define L64(l) L32(l), L32(l)
      &&l_end,
      L16(l_monad), L8(l_monad), L4(l_monad), L2(l_monad),                        // 1..30
      &&l_fused,                                                                   // 31
      &&l_dyad, &&l_add, &&l_sub, L4(l_dyad), &&l_dyad,                            // 32..39
      &&l_lt, &&l_gt, &&l_eq, L16(l_dyad), L4(l_dyad), &&l_dyad,                    // 40..63
      L16(l_setloc), L16(l_getloc), L16(l_delloc),                                 // 64..111
      &&l_apply, &&l_project, &&l_modasn, &&l_modasng, &&l_idx, &&l_idx, &&l_idx, &&l_idx,
      &&l_getglb, &&l_setglb, &&l_list, &&l_unlist, &&l_branch, &&l_jump, &&l_recur, &&l_pop,
      &&l_constdyad, &&l_loop,                                                      // 112..129
      L64(l_const), L32(l_const), L16(l_const), L8(l_const), L4(l_const), &&l_const,  // 130..254
      &&l_bad};
#undef L2
#undef L4
#undef L8
#undef L16
#undef L32
#undef L64
  static_assert(sizeof jt / sizeof *jt == 256);

#define NEXT goto *jt[*pc]
#define STEP(n) \
  do {          \
    pc += (n);  \
    NEXT;       \
  } while (0)
#define U16(p) ((U)(p)[0] | (U)(p)[1] << 8)
// Two int atoms: the value the verb gives, computed in place.
#define INTS(x, y) (!((((x) >> 56) ^ tINTA) | (((y) >> 56) ^ tINTA)))

  NEXT;

l_end : {
  V r = sp < end ? *sp++ : GNULL;
  for (U i = 0; i < nl; i++) mz(fr[i]);
  for (V *p = sp; p < end; p++) mr(*p);
  tl.cdp--;
  if (tf) mr(tf);
  return r;
}
l_monad : {
  V r = v1[*pc](*sp);
  if (ZK_UNLIKELY(!r)) {
    sp++;
    goto fail;
  }
  *sp = r;
  STEP(1);
}
l_fused : {
  V r = fzop(pc + 1, fr, k);
  if (!r) STEP(4);
  *--sp = r;
  STEP(4 + pc[1]);
}
l_add : {
  V x = sp[0], y = sp[1];
  if (INTS(x, y)) {
    J s = (J)ip(x) + ip(y);
    if (s == (I)s) {
      *++sp = ai((I)s);
      STEP(1);
    }
  }
  goto l_dyad;
}
l_sub : {
  V x = sp[0], y = sp[1];
  if (INTS(x, y)) {
    J s = (J)ip(x) - ip(y);
    if (s == (I)s) {
      *++sp = ai((I)s);
      STEP(1);
    }
  }
  goto l_dyad;
}
l_lt : {
  V x = sp[0], y = sp[1];
  if (!INTS(x, y)) goto l_dyad;
  *++sp = ai(ip(x) < ip(y));
  STEP(1);
}
l_gt : {
  V x = sp[0], y = sp[1];
  if (!INTS(x, y)) goto l_dyad;
  *++sp = ai(ip(x) > ip(y));
  STEP(1);
}
l_eq : {
  V x = sp[0], y = sp[1];
  if (!INTS(x, y)) goto l_dyad;
  *++sp = ai(ip(x) == ip(y));
  STEP(1);
}
l_dyad : {
  V x = sp[0], y = sp[1];
  sp += 2;
  V r = v2[*pc - oDYAD](x, y);
  mr(x);
  if (ZK_UNLIKELY(!r)) goto fail;
  *--sp = r;
  STEP(1);
}
l_setloc : {
  V *l = fr + (*pc - oSETLOC);
  V o = *l;
  *l = *sp++;
  mz(o);
  STEP(1);
}
l_getloc : {
  V v = fr[*pc - oGETLOC];
  if (ZK_UNLIKELY(!v)) {
    unset(sl[3], *pc - oGETLOC);
    goto fail;
  }
  *--sp = _r(v);
  STEP(1);
}
l_delloc : {
  V *l = fr + (*pc - oDELLOC);
  V v = *l;
  if (ZK_UNLIKELY(!v)) {
    unset(sl[3], *pc - oDELLOC);
    goto fail;
  }
  *l = 0;
  *--sp = v;
  STEP(1);
}
l_apply : {
  U m = pc[1];
  V g = sp[0];
  V *args = sp + 1;
  V r;
  if (heap(g) && hd(g)->type == tLAMBDA && hd(g)->valence == m) {
    if (sp + m + 1 == end && m <= 8 && tailpos(pc + 2)) {
      V *s2 = PA(g);
      const G *c2 = P(s2[1]);
      U n2 = nx(s2[3]);
      if (c2[0] + n2 <= fs) {
        // Tail call: reuse this frame; the depth counter stays as it is.
        V tmp[8];
        for (U i = 0; i < m; i++) tmp[i] = args[i];
        for (U i = 0; i < nl; i++) mz(fr[i]);
        if (tf) mr(tf);
        tf = cur = g;
        sl = s2, code = c2, k = s2 + 4, nl = n2;
        for (U i = 0; i < m; i++) fr[i] = tmp[i];
        for (U i = m; i < n2; i++) fr[i] = 0;
        sp = end;
        pc = code + 1;
        NEXT;
      }
    }
    sp += m + 1;
    if (P(PA(g)[1])[0] + nx(PA(g)[3]) <= FR0 && tl.cdp < max_call_depth) {
      tl.cdp++;  // what run does first, without its extra call
      r = exec(g, args, m, nullptr);
    } else
      r = run(g, args, m);
  } else {
    sp += m + 1;
    r = _8(g, args, m);
  }
  mr(g);
  if (ZK_UNLIKELY(!r)) goto fail;
  *--sp = r;
  STEP(2);
}
l_project : {
  U m = pc[1];
  V g = sp[0];
  V *args = sp + 1;
  sp += m + 1;
  V r = prj(g, args, m);
  mr(g);
  if (!r) goto fail;
  *--sp = r;
  STEP(2);
}
l_modasn : {
  V *l = fr + U16(pc + 1);
  G d = pc[3] & 31;
  V y = *sp++, c = *l;
  if (!d) {  // x::y on a local: a plain store
    *l = y;
    mz(c);
    STEP(4);
  }
  if (!c) {
    ev(y);
    goto fail;
  }
  V r = d == 1 && INTS(c, y) && (J)ip(c) + ip(y) == (I)(ip(c) + (J)ip(y)) ? ai(ip(c) + ip(y))
                                                                           : v2[d](c, y);
  if (!r) goto fail;
  *l = r;
  mr(c);
  STEP(4);
}
l_modasng : {
  U g = U16(pc + 1);
  G d = pc[3] & 31;
  V y = *sp++;
  if (shared_mode()) {
    mr(y);
    err0("noupdate");
    goto fail;
  }
  V c = gv[g];
  if (!d) {
    gv[g] = y;
    mz(c);
    STEP(4);
  }
  if (!c) {
    ev(y);
    goto fail;
  }
  // The verb may run language code that assigns this global again, so the
  // current value is kept alive across the call and the slot re-read.
  _r(c);
  V r = v2[d](c, y);
  if (!r) {
    mr(c);
    goto fail;
  }
  V o = gv[g];
  gv[g] = r;
  mz(o);
  mr(c);
  STEP(4);
}
l_idx : {
  G op = *pc;
  U s = U16(pc + 1);
  I d = pc[3] & 31;
  bool glb = op == oIDXASNG || op == oIDXGETG, get = op >= oIDXGET;
  V ix = sp[0], y = sp[1];
  sp += 2;
  if (glb && shared_mode()) {
    mr(ix), mr(y);
    err0("noupdate");
    goto fail;
  }
  V *slot = glb ? &gv[s] : &fr[s];
  if (!*slot) {
    mr(ix);
    ev(y);
    goto fail;
  }
  I st = ixca(slot, *slot, ix, y, d);
  mr(y);
  if (st) {
    mr(ix);
    ixer(st);
    goto fail;
  }
  if (!get) {
    mr(ix);
    STEP(4);
  }
  V r = dot(*slot, ix);
  if (!r) goto fail;
  *--sp = r;
  STEP(4);
}
l_getglb : {
  V v = gv[U16(pc + 1)];
  if (ZK_UNLIKELY(!v)) {
    err0(su((I)(U)gk[U16(pc + 1)]));
    goto fail;
  }
  *--sp = _r(v);
  STEP(3);
}
l_setglb : {
  U g = U16(pc + 1);
  if (shared_mode()) {
    mr(*sp++);
    err0("noupdate");
    goto fail;
  }
  V o = gv[g];
  gv[g] = *sp++;
  mz(o);
  STEP(3);
}
l_list : {
  U m = pc[1];
  V x = aA0(m);
  hd(x)->count = m;
  if (m) {
    mr(PA(x)[0]);  // an empty list's prototype, replaced by item 0
    memcpy(PA(x), sp, m * sizeof(V));
  }
  sp += m;
  x = sqz(x);
  if (!x) goto fail;
  *--sp = x;
  STEP(2);
}
l_unlist : {
  U m = pc[1];
  V v = *sp;
  if (tp(v) < tINTA) {
    if (_n(v) != (J)m) {
      el0();
      goto fail;
    }
    for (U j = m; j-- > 0;) *--sp = ii(v, j);
  } else
    for (U j = 0; j < m; j++) *--sp = _r(v);
  STEP(2);
}
l_branch : {
  V c = *sp++;
  bool t = heap(c) ? tru(c) : tag(c) >= tLAMBDA && tag(c) <= tNATIVE ? c != GNULL : (U)c != 0;
  STEP(t ? 2 : 2 + pc[1]);
}
l_jump:
  STEP(2 + pc[1]);
l_recur:
  *--sp = _r(cur);
  STEP(1);
l_pop:
  mr(*sp++);
  STEP(1);
l_constdyad : {
  V c = k[pc[1]], y = *sp, r;
  G d = pc[2] & 31;
  if (INTS(c, y) && (r = ii2(d, c, y))) {
    *sp = r;
    STEP(3);
  }
  r = v2[d](c, y);
  if (ZK_UNLIKELY(!r)) {
    sp++;
    goto fail;
  }
  *sp = r;
  STEP(3);
}
l_loop:
  pc -= U16(pc + 1) - 3;
  NEXT;
l_const:
  *--sp = _r(k[*pc - oCONST]);
  STEP(1);
l_bad:
  ec0();  // no compiler writes this byte
  goto fail;

fail : {
  U col = P(sl[2])[pc - code];
  for (U i = 0; i < nl; i++) mz(fr[i]);
  for (V *p = sp; p < end; p++) mr(*p);
  tl.cdp--;
  // Past the fifth frame the error text takes no more context, and a
  // diagnostic per frame of a deep recursion would flood standard error.
  if (tl.err_blocks < 5) eS(sl[0], col);
  if (tf) mr(tf);
  return 0;
}
#undef NEXT
#undef STEP
#undef U16
#undef INTS
}

__attribute__((noinline)) V runbig(V f, V *a, U n, U fs) {
  V *fr = (V *)__builtin_alloca(fs * sizeof(V));
  return exec(f, a, n, fr);
}

}  // namespace

V run(V f, V *a, U n) {
  if (ZK_UNLIKELY(++tl.cdp > max_call_depth)) {
    tl.cdp--;
    mrn(n, a);
    return es0();
  }
  if (ZK_UNLIKELY(n != hd(f)->valence)) {
    tl.cdp--;
    return er8(a, n);
  }
  U fs = P(PA(f)[1])[0] + nx(PA(f)[3]);
  return fs > FR0 ? runbig(f, a, n, fs) : exec(f, a, n, nullptr);
}

// ---- disassembler ----
namespace {

void app(std::string &o, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void app(std::string &o, const char *fmt, ...) {
  char buf[256];
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  if (n > 0) o.append(buf, (size_t)n < sizeof buf ? (size_t)n : sizeof buf - 1);
}

// A short form of a constant for listings when no source-form printer is
// given: atoms and small vectors in full, other values by type and count.
void kshort(V x, std::string &o) {
  int t = tp(x);
  if (t == tINTA) return app(o, "%d", ip(x));
  if (t == tLONGA) return PL(x)[0] == NJ ? app(o, "0N") : app(o, "%lld", (long long)PL(x)[0]);
  if (t == tFLTA) return app(o, "%.17g", PF(x)[0]);
  if (t == tCHRA) return app(o, "\"%c\"", (char)ip(x));
  if (t == tSYMA) return app(o, "`%s", su(ip(x)));
  if (t == tMONAD) return x == GNULL ? app(o, "::") : app(o, "%s:", vn1[(U)x & 31]);
  if (t == tDYAD) return (U)x < 23 ? app(o, "%s", vn2[(U)x]) : app(o, "(dyad %u)", (U)x & 31);
  if (t == tADV) return app(o, "%s", (U)x < 6 ? adg[(U)x] : "?");
  if (t == tCHR) {
    o += '"';
    o.append(PC(x), nx(x));
    o += '"';
    return;
  }
  if (t >= tBYTE && t <= tLONG && nx(x) && nx(x) <= 16) {
    if (nx(x) == 1) o += ',';
    for (U i = 0; i < nx(x); i++) {
      J v = t == tBYTE ? P<int8_t>(x)[i] : t == tSHORT ? P<int16_t>(x)[i] : t == tINT ? PI(x)[i] : PL(x)[i];
      app(o, i ? " %lld" : "%lld", (long long)v);
    }
    return;
  }
  if (t == tSYM && nx(x) && nx(x) <= 16) {
    if (nx(x) == 1) o += ',';
    for (U i = 0; i < nx(x); i++) app(o, "`%s", su(PI(x)[i]));
    return;
  }
  if (t == tLAMBDA) {
    o.append(PC(PA(x)[0]), nx(PA(x)[0]));
    return;
  }
  app(o, "<%c %u>", TS[t], heap(x) ? nx(x) : 1u);
}

}  // namespace

U dis1(const G *b, U n, U p, std::string &o) {
  G op = b[p];
  auto need = [&](U k) { return p + k <= n; };
  auto trunc = [&](const char *nm) {
    app(o, "%5u  %-8s <truncated>\n", p, nm);
    return 0u;
  };
  if (op >= oMONAD && op < oFUSED) {
    app(o, "%5u  %-8s %u\n", p, "MONAD", op);
    return p + 1;
  }
  if (op >= oDYAD && op < oSETLOC) {
    app(o, "%5u  %-8s %u\n", p, "DYAD", op - 32u);
    return p + 1;
  }
  if (op >= oSETLOC && op < oAPPLY) {
    static const char *nm[3] = {"SETLOC", "GETLOC", "DELLOC"};
    app(o, "%5u  %-8s %u\n", p, nm[(op - 64) / 16], (op - 64u) % 16);
    return p + 1;
  }
  if (op >= oCONST && op < 255) {
    app(o, "%5u  %-8s #%u\n", p, "CONST", op - 130u);
    return p + 1;
  }
  switch (op) {
    case oEND: app(o, "%5u  %-8s\n", p, "END"); return p + 1;
    case oFUSED:
      if (!need(4)) return trunc("FUSED");
      app(o, "%5u  %-8s skip=%u const#%u local=%u\n", p, "FUSED", b[p + 1], b[p + 2], b[p + 3]);
      return p + 4;
    case oAPPLY: case oPROJECT: case oLIST: case oUNLIST: {
      const char *nm = op == oAPPLY ? "APPLY" : op == oPROJECT ? "PROJECT" : op == oLIST ? "LIST" : "UNLIST";
      if (!need(2)) return trunc(nm);
      app(o, "%5u  %-8s n=%u\n", p, nm, b[p + 1]);
      return p + 2;
    }
    case oMODASN: case oMODASNG: case oIDXASN: case oIDXASNG: case oIDXGET: case oIDXGETG: {
      static const char *nm[6] = {"MODASN", "MODASNG", "IDXASN", "IDXASNG", "IDXGET", "IDXGETG"};
      if (!need(4)) return trunc(nm[op - oMODASN]);
      app(o, "%5u  %-8s idx=%u dyad=%u\n", p, nm[op - oMODASN], b[p + 1] | b[p + 2] << 8, b[p + 3]);
      return p + 4;
    }
    case oGETGLB: case oSETGLB: {
      const char *nm = op == oGETGLB ? "GETGLB" : "SETGLB";
      if (!need(3)) return trunc(nm);
      app(o, "%5u  %-8s idx=%u\n", p, nm, b[p + 1] | b[p + 2] << 8);
      return p + 3;
    }
    case oBRANCH: case oJUMP: {
      const char *nm = op == oBRANCH ? "BRANCH" : "JUMP";
      if (!need(2)) return trunc(nm);
      app(o, "%5u  %-8s +%u -> %u\n", p, nm, b[p + 1], p + 2 + b[p + 1]);
      return p + 2;
    }
    case oRECUR: app(o, "%5u  %-8s\n", p, "RECUR"); return p + 1;
    case oPOP: app(o, "%5u  %-8s\n", p, "POP"); return p + 1;
    case oCONSTDYAD:
      if (!need(3)) return trunc("CONSTDYAD");
      app(o, "%5u  %-8s const#%u dyad=%u\n", p, "CONSTDYAD", b[p + 1], b[p + 2]);
      return p + 3;
    case oLOOP:
      if (!need(3)) return trunc("LOOP");
      app(o, "%5u  %-8s -%u -> %u\n", p, "LOOP", b[p + 1] | b[p + 2] << 8, p + 3 - (b[p + 1] | b[p + 2] << 8));
      return p + 3;
    default: app(o, "%5u  %-8s %u\n", p, "?", op); return p + 1;
  }
}

int dis(V f, std::string &o, Kfmt kf) {
  V *sl = PA(f);
  U c = nx(f);
  V nm = c > 3 ? sl[3] : 0;
  U nl = nm && heap(nm) && tp(nm) == tSYM ? nx(nm) : 0;
  app(o, "locals (%u):", nl);
  for (U i = 0; i < nl; i++) {
    const char *s = su(PI(nm)[i]);
    app(o, " %u:", i);
    for (; *s; s++) (G)*s < 32 ? app(o, "\\%o", (G)*s) : (void)(o += *s);
  }
  o += '\n';
  U nk = c > 4 ? c - 4 : 0;
  app(o, "constants (%u):\n", nk);
  for (U i = 0; i < nk; i++) {
    app(o, "  #%u  ", i);
    (kf ? kf : kshort)(sl[4 + i], o);
    o += '\n';
  }
  V bc = c > 1 ? sl[1] : 0;
  U n = bc && heap(bc) ? nx(bc) : 0;
  app(o, "bytecode (%u bytes):\n", n);
  const G *b = n ? P(bc) : nullptr;
  U p = 1;
  while (p < n) {
    U q = dis1(b, n, p, o);
    if (!q) return 0;
    p = q;
  }
  return p == n || n == 0;
}

}  // namespace zk
