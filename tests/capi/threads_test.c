/* Host threads that use the engine and end: a thread pool that replaces
   its threads must not leak each one's scratch arena and free blocks.
   1,000 short-lived threads each evaluate, building and dropping a
   large vector (a free block), and end; resident memory stays flat. */
#include <pthread.h>
#include <stdio.h>
#include <unistd.h>
#include "zelko_capi.h"
#include "check.h"

static long rss(void) {
  long pages = 0, res = 0;
  FILE *f = fopen("/proc/self/statm", "r");
  if (f) {
    if (fscanf(f, "%ld %ld", &pages, &res) != 2) res = 0;
    fclose(f);
  }
  return res * sysconf(_SC_PAGESIZE);
}

static int bad;

static void *work(void *arg) {
  (void)arg;
  zelko_value v = zelko_eval_str("+/|!200000");
  int ok = 0;
  if (!v || zelko_to_int(v, &ok) != 19999900000LL || !ok) __atomic_add_fetch(&bad, 1, __ATOMIC_RELAXED);
  zelko_release(v);
  return NULL;
}

static void run(int n) {
  for (int i = 0; i < n; i++) {
    pthread_t t;
    if (pthread_create(&t, NULL, work, NULL)) {
      bad++;
      return;
    }
    pthread_join(t, NULL);
  }
}

int main(void) {
  CHECK(zelko_init(NULL) == 0);
  zelko_set_diagnostics(0);
  run(20);
  long before = rss();
  run(1000);
  long grown = rss() - before;
  CHECK(bad == 0);
  CHECK(grown < (64L << 20));
  if (grown >= (64L << 20)) fprintf(stderr, "resident memory grew by %ld bytes\n", grown);
  printf("%d passed, %d failed\n", pass, fail);
  return fail != 0;
}
