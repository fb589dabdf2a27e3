/* zelko: a minimal host.  With a script file it evaluates the file
   statement by statement and prints each result in its source form; lines
   whose brackets are still open continue onto the next line, so a lambda
   may span several lines.  Without one it is interactive: it reads each
   line with the engine's line reader (`rdl`: the editor on a terminal),
   and with -p it shows the scrollback panel (`sbb`).  Uses only the public
   C interface. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "zelko_capi.h"

/* Open brackets left after scanning s, skipping strings and comments. */
static int depth(const char *s, int d) {
  int str = 0;
  for (const char *p = s; *p; p++) {
    if (str) {
      if (*p == '\\' && p[1]) p++;
      else if (*p == '"') str = 0;
    } else if (*p == '"') str = 1;
    else if (*p == '/' && (p == s || p[-1] == ' ' || p[-1] == '\t')) break;
    else if (*p == '(' || *p == '[' || *p == '{') d++;
    else if (*p == ')' || *p == ']' || *p == '}') d--;
  }
  return d;
}

static int run(const char *stmt) {
  zelko_value v = zelko_eval_str(stmt);
  if (!v) {
    fprintf(stderr, "%s\n", zelko_last_error());
    return 1;
  }
  /* the generic null (a statement with no value) prints nothing */
  if (v != zelko_null()) {
    char *s = zelko_format_plain(v);
    if (s) printf("%s\n", s);
    zelko_free(s);
  }
  zelko_release(v);
  return 0;
}

/* Writes text through the engine's handle h (1 or 2), so that the panel's
   output ring sees it as it sees every other console write. */
static void put(int h, const char *s, size_t n) {
  zelko_value t = zelko_from_bytes(s, (long long)n);
  zelko_value r = t ? zelko_call(h == 1 ? "zh.o" : "zh.e", &t, 1) : 0;
  zelko_release(t);
  zelko_release(r);
}

static void show(const char *stmt) {
  zelko_value v = zelko_eval_str(stmt);
  if (!v) {
    const char *e = zelko_last_error();
    put(2, e, strlen(e));
    put(2, "\n", 1);
    return;
  }
  if (v != zelko_null()) {
    char *s = zelko_format(v);
    if (s) put(1, s, strlen(s)), put(1, "\n", 1);
    zelko_free(s);
  }
  zelko_release(v);
}

/* The read-eval-print loop: rdl ends the process at end of input. */
static int repl(int panel) {
  zelko_value d = zelko_eval_str(".zh.o:{1 x;};.zh.e:{2 x;}");
  zelko_release(d);
  const char *sbb = "`sbb (1;\"\001zelko\001 \002 MB\003interactive\";0)";
  if (panel) zelko_release(zelko_eval_str(sbb));
  for (;;) {
    zelko_value l = zelko_eval_str("`rdl \"z) \"");
    long n = l ? zelko_to_string(l, NULL, 0) : -1;
    char *b = n >= 0 ? malloc((size_t)n + 1) : NULL;
    if (!b) {
      zelko_release(l);
      fprintf(stderr, "%s\n", zelko_last_error());
      return 1;
    }
    zelko_to_string(l, b, n + 1);
    zelko_release(l);
    if (n && b[n - 1] == '\n') b[--n] = 0;
    /* a folded paste brings several statements joined by 0x1E */
    for (char *p = b, *e; p; p = e) {
      if ((e = strchr(p, 0x1E))) *e++ = 0;
      if (*p) show(p);
    }
    free(b);
    if (panel) zelko_release(zelko_eval_str(sbb));
  }
}

int main(int argc, char **argv) {
  FILE *in = stdin;
  int panel = argc > 1 && !strcmp(argv[1], "-p");
  if (argc == 1 || (panel && argc == 2)) {
    if (zelko_init(getenv("ZELKO_HOME")) != 0) fprintf(stderr, "%s\n", zelko_last_error());
    return repl(panel);
  }
  if (!(in = fopen(argv[1], "r"))) {
    perror(argv[1]);
    return 2;
  }
  if (zelko_init(getenv("ZELKO_HOME")) != 0) fprintf(stderr, "%s\n", zelko_last_error());
  char line[65536], buf[1 << 20];
  size_t n = 0;
  int d = 0, bad = 0;
  while (fgets(line, sizeof line, in)) {
    size_t l = strlen(line);
    if (n + l + 1 > sizeof buf) {
      fprintf(stderr, "'limit: statement too long\n");
      n = 0, d = 0, bad = 1;
      continue;
    }
    memcpy(buf + n, line, l + 1);
    n += l;
    d = depth(line, d);
    if (d > 0) continue;
    while (n && (buf[n - 1] == '\n' || buf[n - 1] == '\r')) buf[--n] = 0;
    if (n) bad |= run(buf);
    n = 0, d = 0;
  }
  if (n) bad |= run(buf);
  zelko_shutdown();
  return bad;
}
