/* zelko: a minimal host.  Evaluates a script file (or standard input)
   statement by statement and prints each result in its source form.
   Lines whose brackets are still open continue onto the next line, so a
   lambda may span several lines.  Uses only the public C interface. */
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

int main(int argc, char **argv) {
  FILE *in = stdin;
  if (argc > 1 && !(in = fopen(argv[1], "r"))) {
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
