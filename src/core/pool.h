// pool.h: the persistent worker pool that kernels split plain memory work
// over.  A job is n numbered tasks fn(ctx, i), i = 0 .. n-1, run on up to 64
// threads, the submitting thread included; it returns when all have run.
//
// Task contract: a task may run on any thread, in any order, concurrently
// with the others; it allocates and releases no values, touches no
// reference count, no thread-local block and no error text, and writes its
// results only into memory that ctx describes.  A task may itself submit a
// job (it then runs on freshly spawned threads).
//
// Names: par_run submit a job; par_run_spawn the same on fresh joinable
// threads; par_thread_count the thread count kernels size their jobs by
// (ZELKO_THREADS, else the online processors); par_count that rule on
// any setting's text; par_workers the persistent workers started so far
// (for tests and the heap check).
#pragma once
#include <atomic>
#include <cstdint>

namespace zk {

typedef void (*pfn)(void *ctx, int i);

inline constexpr int PL_MAX = 64;  // threads of one job, the caller included

// Run fn(ctx, i) for i in 0 .. n-1 and return when all have finished.
// n <= 1 runs fn(ctx, 0) once on the caller; n above 64 runs tasks 0..63
// only (callers size n by par_thread_count).
void par_run(int n, pfn fn, void *ctx);

// The same on n-1 freshly created joinable threads plus the caller; a task
// whose thread cannot be created runs on the caller.
void par_run_spawn(int n, pfn fn, void *ctx);

// 1..64, read afresh at every call: ZELKO_THREADS when it starts with a
// positive decimal number (its leading digits, capped at 64), else the
// online processor count (4 when unknown), capped at 64.
int par_thread_count();

// The same rule applied to the text s of a setting (nullptr for none):
// its leading positive decimal number capped at 64, else the online
// processor count.  Parallel each reads its setting elsewhere.
int par_count(const char *s);

// Yield hints a worker (pl_wspin) or a submitter (pl_sspin) issues before
// it sleeps, 20,000 each.  Tests lower them to send jobs through the
// sleeping paths.
extern std::atomic<int> pl_wspin, pl_sspin;

// Persistent workers alive in this process (0 in a fresh fork child).
int par_workers();

}  // namespace zk
