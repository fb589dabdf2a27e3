// err.cpp: the error text, its raisers, context blocks, the trap core,
// the builtins err and trv, and the fatal stop.
//
// Failures are values: an operation that fails writes the thread's error
// text (tl.err_text .. tl.err_end, not NUL-terminated) and returns 0;
// nothing unwinds, and nothing is allocated for the text, so it survives
// the release of every value on the failing path.  `die` ends the process
// on a broken invariant (memory, symbol pool, registry, constant fold).
#include "core/err.h"
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include "core/diag.h"

namespace zk {

I zktrv;

// Longest error name kept; a context block is at most BLK bytes, and four
// of them plus the name and the ".." line stay far below the 4096 bytes.
static constexpr U NAMEMAX = 32;
static constexpr U BACK = 64;   // bytes a window reaches back from the column
static constexpr U AHEAD = 65;  // bytes it reaches forward
static_assert(1 + NAMEMAX + 1 + 4 * (1 + BACK + AHEAD + 1 + 1 + BACK + 2) + 4 <= sizeof(Tl::err_text));

static void errn(const char *s, U n) {
  if (n > NAMEMAX) n = NAMEMAX;
  tl.zkdiagshown = 0;
  tl.err_blocks = 0;
  char *p = tl.err_text;
  *p++ = '\'';
  memcpy(p, s, n);
  p += n;
  *p++ = '\n';
  tl.err_end = p;
}

V err0(const char *name) {
  errn(name, (U)strnlen(name, NAMEMAX));
  return 0;
}
// Error paths often hold a partly built argument set: a 0 among the
// arguments is no value and is skipped.
V err1(V x, const char *name) {
  if (x) mr(x);
  return err0(name);
}
V err8(const V *xs, U n, const char *name) {
  for (U i = 0; i < n; i++)
    if (xs[i]) mr(xs[i]);
  return err0(name);
}

V ed0() { return err0("domain"); }
V ed(V x) { return err1(x, "domain"); }
V ed8(const V *xs, U n) { return err8(xs, n, "domain"); }
V ei0() { return err0("index"); }
V ei(V x) { return err1(x, "index"); }
V el0() { return err0("length"); }
V el(V x) { return err1(x, "length"); }
V el8(const V *xs, U n) { return err8(xs, n, "length"); }
V en0() { return err0("nyi"); }
V en(V x) { return err1(x, "nyi"); }
V en8(const V *xs, U n) { return err8(xs, n, "nyi"); }
V eo0() { return err0("io"); }
V eo(V x) { return err1(x, "io"); }
V ep0() { return err0("parse"); }
V ep(V x) { return err1(x, "parse"); }
V er(V x) { return err1(x, "rank"); }
V er8(const V *xs, U n) { return err8(xs, n, "rank"); }
V es0() { return err0("stack"); }
V es8(const V *xs, U n) { return err8(xs, n, "stack"); }
V et0() { return err0("type"); }
V et(V x) { return err1(x, "type"); }
V et8(const V *xs, U n) { return err8(xs, n, "type"); }
V ev(V x) { return err1(x, "value"); }
V ez0() { return err0("limit"); }
V ez(V x) { return err1(x, "limit"); }
V ez8(const V *xs, U n) { return err8(xs, n, "limit"); }
V ec0() { return err0("compile"); }

V ename() {
  U n = elen();
  const char *s = tl.err_text, *e = s + n;
  if (n && *s == '\'') s++;
  const char *nl = (const char *)memchr(s, '\n', (size_t)(e - s));
  return aCn(s, (U)((nl ? nl : e) - s));
}

void eclr() {
  tl.zkdiagshown = 0;
  tl.err_blocks = 0;
  tl.err_end = tl.err_text;
}

static ZK_INLINE bool cont(char c) { return ((G)c & 0xC0) == 0x80; }

// One context block: the source window around the column on its line and a
// caret under the column's character.  The caret line counts characters,
// not bytes, so that it lines up under multi-byte UTF-8 text; a window cut
// at either end shows ".." there, and never shows half a character.
void eQ(const char *src, U len, U col) {
  if (!tl.err_end) tl.err_end = tl.err_text;
  I b = ++tl.err_blocks;
  char *p = tl.err_end;
  if (b == 5) {
    memcpy(p, " ..\n", 4);
    tl.err_end = p + 4;
  }
  if (b >= 5) return;
  if (!src) src = "", len = 0;
  if (col > len) col = len;
  const char *q = src + col, *s = q, *e = q, *end = src + len;
  while (s > src && s[-1] && s[-1] != '\n' && (U)(q - s) < BACK) s--;
  while (e < end && *e && *e != '\n' && e < q + AHEAD) e++;
  bool cs = (U)(q - s) == BACK, ce_ = e == q + AHEAD;
  *p++ = ' ';
  const char *from = s;  // first source byte copied as is
  U w = 1;               // caret column, the leading blank included
  if (cs) {
    *p++ = '.', *p++ = '.', w += 2, from = s + 2;
    while (from < q && cont(*from)) from++;  // the rest of a cut character
  }
  const char *to = e;  // one past the last source byte copied as is
  if (ce_) {
    to = e - 2;
    // Drop a character the two dots would cut in half.
    const char *t = to;
    while (t > from && cont(t[-1])) t--;
    if (t > from) {
      G lead = (G)t[-1];
      U need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
      if ((U)(to - (t - 1)) < need) to = t - 1;
    }
  }
  for (const char *r = from; r < q; r++) w += !cont(*r);
  memcpy(p, from, (size_t)(to - from));
  p += to - from;
  if (ce_) *p++ = '.', *p++ = '.';
  *p++ = '\n';
  memset(p, ' ', w);
  p += w;
  *p++ = '^';
  *p++ = '\n';
  tl.err_end = p;
}

void eS(V src, U col) {
  if (!src || !heap(src) || tp(src) != tCHR) return;
  U n = nx(src);
  if (col > n) col = n;
  eD(PC(src), n, col);
  eQ(PC(src), n, col);
}

V tryf(V f, V x, V h, Fapp app, Fapp h1) {
  I q = tl.zkdiagq;
  // Diagnostics stay quiet inside a trap, unless trv asked to see what the
  // outermost one swallows.
  if (!(++tl.zktd == 1 && zktrv)) tl.zkdiagq = 1;
  V r = app(f, _r(x));
  mr(f);
  tl.zkdiagq = q;
  tl.zktd--;
  if (r) return r;
  int ht = tp(h);
  r = ht >= tLAMBDA && ht <= tNATIVE ? h1(h, ename()) : _r(h);
  // A handler that fails reports its own error: its text must survive, or
  // the caller would see a failure with no error at all.
  if (r) eclr();
  return r;
}

V errC(V x) {
  if (x == GNULL) return aCn(tl.err_text, elen());
  if (!heap(x) || hd(x)->type != tCHR) return err1(x, "err");
  U n = nx(x);
  const char *z = (const char *)memchr(PC(x), 0, n);  // the name ends at a NUL
  errn(PC(x), z ? (U)(z - PC(x)) : n);
  mr(x);
  return 0;
}

V trvC(V x) {
  bool on = heap(x) ? PL(x)[0] != 0 : (U)x != 0;
  zktrv = on;
  mr(x);
  return GNULL;
}

void die(const char *msg) {
  // One unbuffered write each, so the words survive whatever stdio holds.
  ssize_t r = write(1, "'", 1);
  size_t n = strlen(msg);
  char buf[64];
  if (n > sizeof buf - 1) n = sizeof buf - 1;
  memcpy(buf, msg, n);
  buf[n] = '\n';
  r = write(2, buf, n + 1);
  (void)r;
  _exit(1);
}

}  // namespace zk
