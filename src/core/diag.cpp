// diag.cpp: coded diagnostics and the builtin diag.  edtab maps an error
// name to its code, title, label and help; dfmt lays one diagnostic out in
// seven lines (head, position, gutter, numbered source line, underline
// with label, gutter, help); eD writes it for the current error.
//
// Columns and underline widths here count bytes: the underline marks the
// token's bytes in the shown line.
#include "core/diag.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "core/err.h"
#include "shell/ring.h"

namespace zk {

I zkdiag = -1;

static const Edrow edtab[16] = {
    {"value", "E0101", "Undefined variable or value", "not found in this scope",
     "Verify that the variable is defined in the current scope or check for typos."},
    {"type", "E0102", "Type mismatch or invalid operand type", "wrong type for this operation",
     "Check operand types using `type or `@. Primitive operations require compatible types."},
    {"length", "E0103", "Vector length mismatch", "operands have different counts",
     "Conforming operations require vectors of matching lengths or atom-vector pairs."},
    {"domain", "E0104", "Out of domain operation", "outside this operation's domain",
     "The input value falls outside the mathematical or logical domain of this function (e.g. "
     "division by zero, log of negative number)."},
    {"parse", "E0105", "Syntax or parse error", "unexpected token here",
     "Check for unbalanced brackets (), [], {}, unterminated strings, or invalid syntax."},
    {"index", "E0106", "Index out of bounds", "index is outside the vector",
     "Ensure the index is non-negative and strictly less than the length of the vector/table."},
    {"rank", "E0107", "Function rank mismatch", "wrong number of arguments",
     "Function called with the wrong number of arguments for its defined rank."},
    {"limit", "E0108", "Resource or allocation limit exceeded", "exceeded a limit here",
     "The evaluation exceeded maximum allowable vector sizes, recursion depths, or memory limits."},
    {"io", "E0109", "Input/output failure", "this operation failed",
     "Check that the target file path or network address exists and has appropriate permissions."},
    {"stack", "E0110", "Call stack depth exceeded", "recursion continues here",
     "A function recursed deeper than the interpreter's call stack allows -- check for a missing "
     "base case."},
    {"compile", "E0111", "Expression could not be compiled", "could not be compiled",
     "The expression parses but cannot be compiled; check argument counts, reserved names and "
     "assignment targets."},
    {"nyi", "E0112", "Operation not implemented for these types", "unsupported for these types",
     "This primitive has no implementation for the given operand types yet -- see docs/MISSING.md."},
    {"noupdate", "E0113", "Global assignment inside a parallel worker", "cannot set a global here",
     "peach workers run in parallel: they may read globals but not assign them. Return the values "
     "instead, or use ' (each)."},
    {"s-fail", "E0114", "The data is not sorted", "`sa needs ascending data",
     "The sorted attribute makes find binary-search, so it is only set on data that is in "
     "ascending order. Sort first (x@<x), which sets it for you."},
    {"u-fail", "E0114", "The data is not unique", "`ua needs distinct values",
     "The unique attribute is only set on a vector with no repeated value; ?x removes repeats."},
    {"p-fail", "E0114", "The data is not parted", "`pa needs each value in one contiguous run",
     "The parted attribute promises that equal values sit together. Sort or group the data first."},
};
static const Edrow edflt = {"", "E0100", "Evaluation error", "here",
                            "Run \\ast <expr> to inspect how this expression parses."};

// Escape sequences: error head and underline, title, gutter, label and help.
static const char *const HEAD = "\033[1;38;2;255;95;87m", *const TITLE = "\033[1;38;2;232;226;214m",
                         *const GREY = "\033[38;2;150;142;130m",
                         *const LABEL = "\033[1;38;2;255;176;0m", *const RESET = "\033[0m";

I diag_on() {
  if (zkdiag < 0) {
    const char *e = getenv("ZELKO_DIAG");
    zkdiag = e && e[0] == '0' ? 0 : 1;
  }
  return zkdiag;
}

const Edrow *edrow(const char *name, U n) {
  for (const Edrow &r : edtab)
    if (strlen(r.name) == n && !memcmp(r.name, name, n)) return &r;
  return nullptr;
}

static ZK_INLINE bool idc(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '.';
}

// Bounded appender: whatever passes the cap is dropped.
struct Out {
  char *p;
  U n, cap;
  void put(const char *s, U k) {
    if (k > cap - n) k = cap - n;
    memcpy(p + n, s, k);
    n += k;
  }
  void put(const char *s) { put(s, (U)strlen(s)); }
  void col(const char *s, bool on) {
    if (on) put(s);
  }
  void rep(char c, U k) {
    while (k--) put(&c, 1);
  }
  void num(U v) {
    char b[16];
    put(b, (U)snprintf(b, sizeof b, "%u", v));
  }
};

U dfmt(char *out, U cap, const char *en, U en_n, const char *src, U len, U col, bool colour) {
  char buf[1024];
  U L = len < sizeof buf - 1 ? len : (U)sizeof buf - 1;
  if (L) memcpy(buf, src, L);
  buf[L] = 0;
  // The token at the column: an identifier run, a string literal, or one byte.
  U ts = L, te = L;
  bool ident = false;
  if (col < L) {
    ts = col, te = col + 1;
    char c = buf[col];
    if (idc(c)) {
      ident = true;
      while (ts > 0 && idc(buf[ts - 1])) ts--;
      while (te < L && idc(buf[te])) te++;
    } else if (c == '"') {
      while (te < L && buf[te] != '"') te += buf[te] == '\\' ? 2 : 1;
      te = te < L ? te + 1 : L;
    }
  }
  U tn = te - ts;
  const Edrow *row = edrow(en, en_n);
  // An unknown name that is the failing token itself is an undefined global.
  if (!row && tn && en_n == tn && !memcmp(en, buf + ts, tn)) row = &edtab[0];
  char title[256];
  if (row == &edtab[0] && ident && tn <= 233)
    snprintf(title, sizeof title, "Undefined variable `%.*s`", (int)tn, buf + ts);
  else
    snprintf(title, sizeof title, "%s", (row ? row : &edflt)->title);
  if (!row) row = &edflt;
  U N = 1, ls = 0;
  for (U i = 0; i < ts; i++)
    if (buf[i] == '\n') N++, ls = i + 1;
  U C = 1 + ts - ls, le = ls;
  while (le < L && buf[le] != '\n') le++;
  U w = 1;
  for (U v = N; v >= 10; v /= 10) w++;

  Out o{out, 0, cap ? cap - 1 : 0};
  o.col(HEAD, colour), o.put("error["), o.put(row->code), o.put("]"), o.col(RESET, colour);
  o.col(TITLE, colour), o.put(": "), o.put(title), o.col(RESET, colour), o.put("\n");
  o.rep(' ', w), o.col(GREY, colour), o.put("--> "), o.col(RESET, colour);
  o.put("<zelko>:"), o.num(N), o.put(":"), o.num(C), o.put("\n");
  o.rep(' ', w + 1), o.col(GREY, colour), o.put("|"), o.col(RESET, colour), o.put("\n");
  o.col(GREY, colour), o.num(N), o.col(RESET, colour), o.put(" ");
  o.col(GREY, colour), o.put("|"), o.col(RESET, colour), o.put(" "), o.put(buf + ls, le - ls), o.put("\n");
  o.rep(' ', w + 1), o.col(GREY, colour), o.put("|"), o.col(RESET, colour), o.put(" "), o.rep(' ', C - 1);
  o.col(HEAD, colour), o.rep('^', tn ? tn : 1), o.col(RESET, colour), o.put(" ");
  o.col(LABEL, colour), o.put(row->label), o.col(RESET, colour), o.put("\n");
  o.rep(' ', w + 1), o.col(GREY, colour), o.put("|"), o.col(RESET, colour), o.put("\n");
  o.rep(' ', w + 1), o.col(LABEL, colour), o.put("= help: "), o.put(row->help), o.col(RESET, colour);
  o.put("\n");
  if (cap) out[o.n] = 0;
  return o.n;
}

void eD(const char *src, U len, U col) {
  if (!diag_on() || tl.zkdiagq) return;
  // The error name: after the apostrophe, up to a blank or newline.
  char en[32];
  U n = 0, tlen = elen();
  if (tlen > 1 && tl.err_text[0] == '\'')
    for (U i = 1; i < tlen && n < 31; i++) {
      char c = tl.err_text[i];
      if (c == ' ' || c == '\n') break;
      en[n++] = c;
    }
  char text[4096];
  U k = dfmt(text, sizeof text, en, n, src, len, col, true);
  fwrite(text, 1, k, stderr);  // one buffered write; a NUL in the source must not end it
  if (g_sb_capture) rfeed(text, k);
  tl.zkdiagshown = 1;
}

V diagC(V x) {
  I was = diag_on();
  if (tag(x) == tINTA) zkdiag = ip(x) != 0;
  else if (heap(x) && hd(x)->type == tLONGA) zkdiag = PL(x)[0] != 0;
  mr(x);
  return ai(was);
}

}  // namespace zk
