// peach.cpp: parallel each, the builtin `pe`, and its morsel pool P.
//
// pe (f; data) applies f to every item of data on several threads and
// returns the results in item order, normalised as each's are.  It is the
// only place where language code runs on more than one thread at a time:
// the calling thread (for the parallel part of the call only) and every
// worker (for good) are in shared mode, under which counts change
// atomically, the process-wide tables are locked, parsing and lazy
// compilation are serialised and assigning a global fails with 'noupdate.
// While a job runs each of its threads has an owner tag (tl.own, otag)
// that the allocator writes into every object it makes; the counts of a
// thread's own objects change without atomics, since no other thread can
// reach them: results go to the caller only after the job ends, and what
// is stored where other threads look (cached lambdas, the memo table) is
// published first (pub), which clears the tags.
// A thread already in shared mode (a pe inside a pe) runs pe serially, so
// P never holds two jobs.
//
// The pool is separate from the persistent pool of pool.cpp, which runs
// only plain memory work.  T-1 workers are created once, with stacks sized
// from the process stack limit, and sleep on P.work until the generation
// changes.  A job is published under P.m; the workers and the caller then
// claim morsels (runs of consecutive items) from one 64-bit counter.  The
// claim is relaxed: the job fields it indexes were published under P.m.
// Every thread overshoots the item count by one morsel before it stops,
// which a 32-bit counter could not absorb for counts near 2^32.
//
// Failures: the lowest failing index wins.  A failing item records itself
// under err_mx when it is below the lowest so far; items past the lowest
// failure are skipped, those below it still run, so the reported error is
// that of the lowest failing item whatever order the threads reach them.
//
// Locks: init_mx (creation, shutdown) before P.m; err_mx alone.  No lock
// is held while language code runs.  A fork child has none of the
// workers: a fork handler forgets the pool so the child builds its own.
//
// Names: pe2 = pe of f over data, ser = the serial run, par = the parallel
// run, pmake = create the pool, pstop = stop it, nwork = its workers,
// rseed = mix a worker's index into its random state, sm64 = one
// SplitMix64 output.  Outside the unnamed namespace the name P is the
// data accessor P<T>, so the entries there reach the pool record through
// pstop and nwork.
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "capi/capi.h"
#include "core/diag.h"
#include "core/err.h"
#include "core/pool.h"
#include "core/sym.h"
#include "eval/each.h"
#include "eval/eval.h"
#include "list/list.h"

namespace zk {

void *(*pe_calloc)(size_t, size_t) = calloc;

namespace {

inline constexpr const char *PEERR = "worker error in peach";

struct Pool {
  pthread_mutex_t m;
  pthread_cond_t work, done, started;
  pthread_t *th;            // one handle per worker
  I nw;                     // workers created
  I gen;                    // raised for every job and for shutdown
  I busy;                   // workers still in the current job
  I slots;                  // places in the current job not yet taken
  I nst;                    // workers started
  I stop;                   // shutdown flag
  V f, x;                   // the job: function and data (the caller's)
  V *res;                   // one result word per item, zero-filled
  U n, ms;                  // item count, morsel size
  I dq;                     // the caller's diagnostics silence (inside a trap)
  std::atomic<UJ> next;     // next unclaimed index
  std::atomic<U> low;       // lowest failing index, n while none
  char etx[40];             // its error name (at most 39 bytes), "" for none
  UJ job;                   // jobs run since the process started, never reset
};

Pool P;
std::atomic<I> P_ready{0};
pthread_mutex_t init_mx = PTHREAD_MUTEX_INITIALIZER;
pthread_mutex_t err_mx = PTHREAD_MUTEX_INITIALIZER;
bool hooked;  // atexit and fork handlers registered (inherited by a fork child)

// Records item j as failed with the thread's error name when it is the
// lowest failure so far: the text after the leading quote up to the
// newline, at most 39 bytes.
void fail(U j) {
  pthread_mutex_lock(&err_mx);
  if (j < P.low.load(std::memory_order_relaxed)) {
    const char *s = tl.err_text, *e = tl.err_end;
    U k = 0;
    if (e && e > s) {
      if (*s == '\'') s++;
      while (k < 39 && s < e && *s && *s != '\n') P.etx[k++] = *s++;
    }
    P.etx[k] = 0;
    P.low.store(j, std::memory_order_relaxed);
  }
  pthread_mutex_unlock(&err_mx);
}

void run_morsels() {
  V f = P.f, x = P.x;
  V *res = P.res;
  UJ n = P.n, ms = P.ms;
  for (;;) {
    UJ i = P.next.fetch_add(ms, std::memory_order_relaxed);
    if (i >= n) return;
    UJ e = i + ms < n ? i + ms : n;
    for (UJ j = i; j < e; j++) {
      if (P.low.load(std::memory_order_relaxed) < j) break;
      V r = _1(f, ii(x, (J)j));
      res[j] = r;
      if (!r) fail((U)j);
    }
  }
}

// The owner tag of thread i (0 the caller, 1.. the workers) in the current
// job: unique per job and thread, never 0, so objects a thread made in an
// earlier job (handed back to the caller, perhaps read by every thread
// now) are nobody's.  48 bits: 2^40 jobs before it wraps.
UJ otag(I i) { return (P.job << 8 | (UJ)(i + 1)) & 0xFFFFFFFFFFFFull; }
// The last worker's byte, index + 2 = PL_MAX (tl.pix, by which rfree is
// found), must fit the low byte, or one job's tags would run into the
// next job's.
static_assert(PL_MAX <= 0xFF);

UJ sm64(UJ &s) {
  UJ z = (s += 0x9e3779b97f4a7c15ull);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

// Each worker draws its own stream: the default state XOR the first 16
// SplitMix64 outputs from its index + 1.
void rseed(UJ s) {
  for (UJ &w : tl.pst.s) w ^= sm64(s);
  tl.pst.ix = 0;
}

void *worker(void *arg) {
  I i = (I)(intptr_t)arg;
  tl.rc_sync = 1;
  tl.pix = (G)(i + 2);  // otag(i + 1)'s low byte
  rseed((UJ)i + 1);
  tl.acn = (U)i + 1;
  pthread_mutex_lock(&P.m);
  P.nst++;
  pthread_cond_broadcast(&P.started);
  I g = P.gen;
  for (;;) {
    if (P.stop) break;
    if (P.gen == g) {
      pthread_cond_wait(&P.work, &P.m);
      continue;
    }
    g = P.gen;
    if (!P.slots) continue;  // the job needs no more hands
    P.slots--;
    tl.zkdiagq = P.dq;
    tl.own = otag(i + 1);
    pthread_mutex_unlock(&P.m);
    // Scratch lives for one job here: no statement loop rewinds it.
    UJ off = tl.a_off;
    void *ch = tl.a_over;
    run_morsels();
    arena_release(off, ch);
    tl.own = 0;
    pthread_mutex_lock(&P.m);
    if (!--P.busy) pthread_cond_broadcast(&P.done);
  }
  pthread_mutex_unlock(&P.m);
  arena_free();
  return nullptr;
}

// The process stack limit clamped to 8..64 MiB; 8 MiB when unlimited or
// unknown.
size_t stk() {
  constexpr size_t lo = 8u << 20, hi = 64u << 20;
  rlimit r;
  if (getrlimit(RLIMIT_STACK, &r) || r.rlim_cur == RLIM_INFINITY) return lo;
  return r.rlim_cur < lo ? lo : r.rlim_cur > hi ? hi : (size_t)r.rlim_cur;
}

// A fork child has only the forking thread: forget the workers (their
// handles name nothing here) and the locks' state, so its first pe builds
// a fresh pool and its exit handler joins nothing.
void child() {
  free(P.th);
  P.th = nullptr;
  P.nw = 0;
  P_ready.store(0, std::memory_order_relaxed);
  pthread_mutex_init(&init_mx, nullptr);
  pthread_mutex_init(&err_mx, nullptr);
}

// Creates the pool with T-1 workers unless it exists.  The pool runs with
// the workers it gets, none at worst: the caller always takes part.
void pmake(I T) {
  pthread_mutex_lock(&init_mx);
  if (!P_ready.load(std::memory_order_acquire)) {
    pthread_mutex_init(&P.m, nullptr);
    pthread_cond_init(&P.work, nullptr);
    pthread_cond_init(&P.done, nullptr);
    pthread_cond_init(&P.started, nullptr);
    P.nw = P.gen = P.busy = P.slots = P.nst = P.stop = 0;
    P.th = T > 1 ? (pthread_t *)malloc((size_t)(T - 1) * sizeof(pthread_t)) : nullptr;
    if (P.th) {
      pthread_attr_t at;
      bool ok = !pthread_attr_init(&at);
      if (ok && pthread_attr_setstacksize(&at, stk())) {
        pthread_attr_destroy(&at);
        ok = false;
      }
      for (I i = 0; i < T - 1; i++) {
        if (pthread_create(&P.th[i], ok ? &at : nullptr, worker, (void *)(intptr_t)i)) break;
        P.nw++;
      }
      if (ok) pthread_attr_destroy(&at);
      pthread_mutex_lock(&P.m);
      while (P.nst < P.nw) pthread_cond_wait(&P.started, &P.m);
      pthread_mutex_unlock(&P.m);
    }
    if (!hooked) {
      atexit(pool_shutdown);
      pthread_atfork(nullptr, nullptr, child);
      hooked = true;
    }
    P_ready.store(1, std::memory_order_release);
  }
  pthread_mutex_unlock(&init_mx);
}

// Serial run on the calling thread: each result appended in item order.
// fb marks the fallback of a parallel run, whose failures read as the
// pool's generic error.
V ser(V f, V d, U n, bool fb) {
  V l = aA0(n);
  for (U i = 0; i < n; i++) {
    V r = _1(f, ii(d, i));
    if (!r) {
      mr(l), mr(f), mr(d);
      return fb ? err0(PEERR) : 0;
    }
    if (!(l = psh(l, r))) return mr(f), mr(d), (V)0;
  }
  mr(f), mr(d);
  return sqz(l);
}

V par(V f, V d, U n, I T) {
  // Lazily decided process state is settled before other threads read it.
  diag_on();
  V *res = (V *)pe_calloc(n, sizeof(V));
  if (!res) return ser(f, d, n, true);
  pmake(T);
  // Every thread borrows f and d uncounted: a second reference keeps any of
  // them from finding itself their only holder (sole) and taking them over.
  _r(f), _r(d);
  tl.rc_sync = 1;
  pthread_mutex_lock(&P.m);
  P.f = f, P.x = d, P.res = res, P.n = n, P.ms = pe_morsel(n, T);
  // An error trapped on the caller is trapped on the workers too: they
  // render no diagnostic the caller would not.
  P.dq = tl.zkdiagq;
  P.next.store(0, std::memory_order_relaxed);
  P.low.store(n, std::memory_order_relaxed);
  P.etx[0] = 0;
  P.gen++;
  P.job++;
  tl.own = otag(0);
  // Only as many workers as there are morsels beyond the caller's first
  // are woken: a short list pays for one wake-up, not for the whole pool.
  UJ mc = ((UJ)n + P.ms - 1) / P.ms;
  I w = T - 1 < P.nw ? T - 1 : P.nw;
  I k = mc - 1 < (UJ)w ? (I)(mc - 1) : w;
  P.busy = P.slots = k;
  if (k == P.nw) pthread_cond_broadcast(&P.work);
  else
    for (I i = 0; i < k; i++) pthread_cond_signal(&P.work);
  pthread_mutex_unlock(&P.m);
  run_morsels();
  pthread_mutex_lock(&P.m);
  // Places no worker took are given back (a signal can find a worker not
  // yet waiting); the rest are workers that joined and must finish.
  P.busy -= P.slots;
  P.slots = 0;
  while (P.busy) pthread_cond_wait(&P.done, &P.m);
  pthread_mutex_unlock(&P.m);
  tl.rc_sync = 0;
  tl.own = 0;
  mr(f), mr(f), mr(d), mr(d);  // the guards and the call's own
  if (P.low.load(std::memory_order_relaxed) < n) {
    for (U j = 0; j < n; j++)
      if (res[j]) mr(res[j]);
    free(res);
    return err0(P.etx[0] ? P.etx : PEERR);
  }
  V l = an(n, tLIST);
  memcpy(PA(l), res, (size_t)n * sizeof(V));
  free(res);
  return sqz(l);
}

// pe of f over d; both consumed.
V pe2(V f, V d) {
  int t = tp(d);
  if (t == tDICT) {  // the values mapped, the keys kept
    V v = kv(&d);
    V r = pe2(f, v);
    return r ? am(d, r) : (mr(d), (V)0);
  }
  if (t >= tINTA) {  // an atom or a function value is applied whole
    V r = _1(f, d);
    mr(f);
    return r;
  }
  J n = _n(d);
  if (n > 0xFFFFFFFFll) return mr(f), ez(d);
  I T = shared_mode() || n < 2 ? 1 : pe_threads();
  return T == 1 ? ser(f, d, (U)n, false) : par(f, d, (U)n, T);
}

// Stops the pool: the workers leave at the raised generation and are
// joined.  Under init_mx so a creation cannot overlap it.
void pstop() {
  pthread_mutex_lock(&init_mx);
  if (P_ready.load(std::memory_order_acquire)) {
    pthread_mutex_lock(&P.m);
    P.stop = 1;
    P.gen++;
    pthread_cond_broadcast(&P.work);
    pthread_mutex_unlock(&P.m);
    for (I i = 0; i < P.nw; i++) pthread_join(P.th[i], nullptr);
    free(P.th);
    P.th = nullptr;
    P.nw = 0;
    P_ready.store(0, std::memory_order_release);
  }
  pthread_mutex_unlock(&init_mx);
}

I nwork() { return P.nw; }

}  // namespace

I pe_threads() {
  for (const char **e = zk_env; e && *e; e++)
    if (!strncmp(*e, "ZELKO_THREADS=", 14)) return par_count(*e + 14);
  return par_count(nullptr);
}

U pe_morsel(U n, I T) {
  UJ q = 4 * (UJ)T;
  if (n < q) return 1;
  UJ m = n / q;
  return m < 1024 ? (U)m : 1024;
}

I pe_workers() { return P_ready.load(std::memory_order_acquire) ? nwork() : 0; }

void pool_shutdown() { pstop(); }

V peachC(V x) {
  if (tp(x) != tLIST || nx(x) != 2) return et(x);
  V f = ii(x, 0), d = ii(x, 1);
  mr(x);
  return pe2(f, d);
}

}  // namespace zk
