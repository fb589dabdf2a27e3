/* zelko_format with no standard-library modules loaded: the modules'
   formatter is missing, so the first formatting text fails and the
   fallback gives the source form.  The call succeeded, so nothing may
   reach standard error; descriptor 2 is captured around each call.
   Compiled as C against the public header and libzelko.so only. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include "zelko_capi.h"
#include "check.h"

/* Descriptor 2 redirected to a temporary file while a capture lives. */
static FILE *cap;
static int saved = -1;

static void cap_start(void) {
  fflush(stderr);
  cap = tmpfile();
  saved = dup(2);
  dup2(fileno(cap), 2);
}

/* Restores descriptor 2 and returns what was written to it (malloc'd). */
static char *cap_end(void) {
  fflush(stderr);
  dup2(saved, 2);
  close(saved);
  long n = ftell(cap);
  if (n < 0) n = 0;
  char *s = malloc((size_t)n + 1);
  rewind(cap);
  size_t got = fread(s, 1, (size_t)n, cap);
  s[got] = 0;
  fclose(cap);
  return s;
}

/* Formats v with standard error captured: the text must be want and
   nothing may have been written to descriptor 2. */
static void quiet(zelko_value v, const char *want) {
  cap_start();
  char *s = zelko_format(v);
  char *e = cap_end();
  CHECK(s && strcmp(s, want) == 0);
  if (s && strcmp(s, want) != 0) fprintf(stderr, "got %s, want %s\n", s, want);
  CHECK(e[0] == 0);
  if (e[0]) fprintf(stderr, "written to standard error:\n%s\n", e);
  free(e);
  zelko_free(s);
}

int main(void) {
  setenv("ZELKO_DIAG", "1", 1); /* coded diagnostics on, so a leak shows */
  CHECK(zelko_init(NULL) == 0);
  const char *names[] = {"a", "b"};
  zelko_value cols[2] = {zelko_eval_str("1 2"), zelko_eval_str("3 4")};
  zelko_value t = zelko_make_table(names, cols, 2);
  CHECK(t && zelko_is_table(t));
  quiet(t, "+`a`b!(1 2;3 4)");
  zelko_value d = zelko_make_dict(names, cols, 2);
  quiet(d, "`a`b!(1 2;3 4)");
  zelko_value l = zelko_eval_str("(1;`a;\"bc\")");
  quiet(l, "(1;`a;\"bc\")");
  zelko_value n = zelko_eval_str("42");
  quiet(n, "42");
  /* the switch is back: a failure the caller gets is still shown */
  cap_start();
  zelko_value r = zelko_eval_str("1+`a");
  char *e = cap_end();
  CHECK(r == 0 && strlen(e) > 0);
  free(e);
  zelko_release(t), zelko_release(d), zelko_release(l), zelko_release(n);
  zelko_release(cols[0]), zelko_release(cols[1]);
  zelko_shutdown();
  printf("%d passed, %d failed\n", pass, fail);
  return fail != 0;
}
