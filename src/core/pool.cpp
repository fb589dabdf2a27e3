// pool.cpp: the persistent worker pool (see pool.h for the task contract).
//
// One job owns the pool at a time (pl_busy); a nested or concurrent
// submitter falls back to spawned threads.  A job is published through two
// words: the job word pl_word (generation << 8 | task count) and the claim
// word pl_next (generation << 16 | next task index).  Tasks are claimed by
// compare-and-swap on pl_next, so a worker that wakes late sees another
// generation there and claims nothing of a finished job.  Workers spin on
// pl_word before they sleep on pl_go; the submitter takes tasks itself,
// then spins on pl_done before it sleeps on pl_fin.
//
// Sleeping and waking are two Dekker-style handshakes: a sleeper announces
// itself (pl_sleep, pl_wait) and then re-checks the condition; the other
// side changes the condition and then looks for an announcement.  Both
// sides use sequentially consistent operations, so at least one of them
// sees the other: either the sleeper finds the condition already true, or
// the waker sees the announcement and signals under pl_m, which the sleeper
// holds from its announcement until it is inside the wait.  With weaker
// orderings both could miss each other and the submitter would sleep
// forever after the last task.
#include "core/pool.h"

#include <atomic>
#include <cstdlib>
#include <pthread.h>
#include <unistd.h>

#include "core/platform.h"

namespace zk {

std::atomic<int> pl_wspin{20000}, pl_sspin{20000};

namespace {

constexpr uint64_t G48 = (1ull << 48) - 1; // generation bits of the claim word

pthread_mutex_t pl_busy = PTHREAD_MUTEX_INITIALIZER;
std::atomic<uint64_t> pl_word{0};
std::atomic<int> pl_n{0};
uint64_t pl_g0[PL_MAX];
std::atomic<pfn> pl_fn{nullptr};
std::atomic<void *> pl_ctx{nullptr};
std::atomic<int> pl_done{0};
std::atomic<uint64_t> pl_next{0};
std::atomic<int> pl_sleep{0};
pthread_mutex_t pl_m = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t pl_go = PTHREAD_COND_INITIALIZER;
std::atomic<int> pl_wait{0};
pthread_cond_t pl_fin = PTHREAD_COND_INITIALIZER;
int pl_forkreg = 0;

// Claim and run tasks of generation g (n tasks) until none is left.
void pl_take(uint64_t g, int n) {
  uint64_t c = pl_next.load(std::memory_order_acquire);
  for (;;) {
    if ((c >> 16) != (g & G48) || (int)(c & 0xFFFF) >= n) return;
    if (!pl_next.compare_exchange_weak(c, c + 1, std::memory_order_acq_rel,
                                       std::memory_order_acquire))
      continue;  // c now holds the current claim word
    // The claim word was published after fn and ctx, with release order.
    pl_fn.load(std::memory_order_relaxed)(pl_ctx.load(std::memory_order_relaxed), (int)(c & 0xFFFF));
    if (pl_done.fetch_add(1, std::memory_order_seq_cst) + 1 == n &&
        pl_wait.load(std::memory_order_seq_cst)) {
      pthread_mutex_lock(&pl_m);
      pthread_cond_signal(&pl_fin);
      pthread_mutex_unlock(&pl_m);
    }
    c = pl_next.load(std::memory_order_acquire);
  }
}

void *pl_worker(void *arg) {
  uint64_t a = pl_g0[(intptr_t)arg];
  for (;;) {
    for (int s = 0; s < pl_wspin.load(std::memory_order_relaxed); s++) {
      uint64_t w = pl_word.load(std::memory_order_acquire);
      if ((w >> 8) != a) {
        a = w >> 8;
        pl_take(a, (int)(w & 0xFF));
        s = -1;  // a fresh spin after every job keeps back-to-back jobs cheap
        continue;
      }
      spin_hint();
    }
    pthread_mutex_lock(&pl_m);
    pl_sleep.fetch_add(1, std::memory_order_seq_cst);
    while ((pl_word.load(std::memory_order_seq_cst) >> 8) == a) pthread_cond_wait(&pl_go, &pl_m);
    pl_sleep.fetch_sub(1, std::memory_order_seq_cst);
    pthread_mutex_unlock(&pl_m);
    // the spin loop above sees the new generation at once and claims
  }
  return nullptr;
}

// The child of fork has only the forking thread: forget the workers and
// re-initialise the locks, which may have been held by threads that no
// longer exist.
void pl_child() {
  pl_done.store(0, std::memory_order_relaxed);
  pl_wait.store(0, std::memory_order_relaxed);
  pl_n.store(0, std::memory_order_relaxed);
  pl_sleep.store(0, std::memory_order_relaxed);
  pthread_mutex_init(&pl_busy, nullptr);
  pthread_mutex_init(&pl_m, nullptr);
  pthread_cond_init(&pl_go, nullptr);
  pthread_cond_init(&pl_fin, nullptr);
}

// Start worker pl_n+1; false when the thread cannot be created.
bool pl_start(uint64_t g) {
  int i = pl_n.load(std::memory_order_relaxed) + 1;
  pl_g0[i] = g;
  pthread_attr_t at;
  if (pthread_attr_init(&at)) return false;
  pthread_attr_setdetachstate(&at, PTHREAD_CREATE_DETACHED);
  pthread_t t;
  int e = pthread_create(&t, &at, pl_worker, (void *)(intptr_t)i);
  pthread_attr_destroy(&at);
  if (e) return false;
  pl_n.store(i, std::memory_order_relaxed);
  return true;
}

struct Spawn {
  pfn fn;
  void *ctx;
  int i;
};

void *spawn_main(void *p) {
  Spawn *s = (Spawn *)p;
  s->fn(s->ctx, s->i);
  return nullptr;
}

}  // namespace

void par_run_spawn(int n, pfn fn, void *ctx) {
  if (n > PL_MAX) n = PL_MAX;
  Spawn rec[PL_MAX];
  pthread_t th[PL_MAX];
  bool made[PL_MAX] = {};
  for (int i = 1; i < n; i++) {
    rec[i] = {fn, ctx, i};
    if (pthread_create(&th[i], nullptr, spawn_main, &rec[i]) == 0) made[i] = true;
    else fn(ctx, i);
  }
  fn(ctx, 0);
  for (int i = 1; i < n; i++)
    if (made[i]) pthread_join(th[i], nullptr);
}

void par_run(int n, pfn fn, void *ctx) {
  if (n <= 1) {
    fn(ctx, 0);
    return;
  }
  if (n > PL_MAX) n = PL_MAX;
  // trylock on a default mutex is EBUSY also for its own holder, which is
  // how a task of the running job that submits again is sent to the spawn
  // fallback.
  if (pthread_mutex_trylock(&pl_busy)) {
    par_run_spawn(n, fn, ctx);
    return;
  }
  if (!pl_forkreg) {
    pthread_atfork(nullptr, nullptr, pl_child);
    pl_forkreg = 1;
  }
  uint64_t g = pl_word.load(std::memory_order_relaxed) >> 8;
  while (pl_n.load(std::memory_order_relaxed) < n - 1) {
    if (pl_start(g)) continue;
    if (pl_n.load(std::memory_order_relaxed) > 0) break;  // go on with those there are
    pthread_mutex_unlock(&pl_busy);
    par_run_spawn(n, fn, ctx);
    return;
  }

  // Publish: every field first, the claim word with release order, then
  // the job word that workers poll.
  pl_fn.store(fn, std::memory_order_relaxed);
  pl_ctx.store(ctx, std::memory_order_relaxed);
  pl_done.store(0, std::memory_order_relaxed);
  g++;
  pl_next.store((g & G48) << 16, std::memory_order_release);
  pl_word.store((g << 8) | (uint64_t)n, std::memory_order_seq_cst);
  if (pl_sleep.load(std::memory_order_seq_cst)) {
    pthread_mutex_lock(&pl_m);
    pthread_cond_broadcast(&pl_go);
    pthread_mutex_unlock(&pl_m);
  }

  pl_take(g, n);

  for (int s = 0, e = pl_sspin.load(std::memory_order_relaxed);
       s < e && pl_done.load(std::memory_order_acquire) < n; s++)
    spin_hint();
  if (pl_done.load(std::memory_order_acquire) < n) {
    pthread_mutex_lock(&pl_m);
    pl_wait.store(1, std::memory_order_seq_cst);
    while (pl_done.load(std::memory_order_seq_cst) < n) pthread_cond_wait(&pl_fin, &pl_m);
    pl_wait.store(0, std::memory_order_relaxed);
    pthread_mutex_unlock(&pl_m);
  }
  pthread_mutex_unlock(&pl_busy);
}

int par_count(const char *s) {
  if (s && *s >= '0' && *s <= '9') {
    // Saturate instead of wrapping: a huge count means "as many as allowed".
    int v = 0;
    for (; *s >= '0' && *s <= '9'; s++) {
      v = v * 10 + (*s - '0');
      if (v > PL_MAX) v = PL_MAX + 1;
    }
    if (v > 0) return v > PL_MAX ? PL_MAX : v;
  }
  long c = sysconf(_SC_NPROCESSORS_ONLN);
  if (c <= 0) return 4;
  return c > PL_MAX ? PL_MAX : (int)c;
}

int par_thread_count() { return par_count(getenv("ZELKO_THREADS")); }

int par_workers() { return pl_n.load(std::memory_order_relaxed); }

}  // namespace zk
