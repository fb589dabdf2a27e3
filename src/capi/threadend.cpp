// threadend.cpp: what a host thread leaves behind when it ends.  A thread
// that used the engine holds a 16 MiB scratch arena and free lists of heap
// blocks; a host whose thread pool replaces its threads would leak both
// without bound.  When such a thread ends, its arena is freed and its free
// blocks are handed to the next thread that enters, so memory stays flat.
#include <mutex>
#include "capi/capi_int.h"

namespace zk {
namespace {

std::mutex orphan_mx;
V orphan[24];  // free lists of ended threads, by size class

// Splices the calling thread's free lists onto the orphans.
void give_blocks() {
  std::lock_guard<std::mutex> g(orphan_mx);
  for (int k = 0; k < 24; k++) {
    V h = tl.bkt[k];
    if (!h) continue;
    if (orphan[k]) {
      V t = h;
      while (hd(t)->link) t = hd(t)->link;
      hd(t)->link = orphan[k];
    }
    orphan[k] = h;
    tl.bkt[k] = 0;
  }
}

struct ThreadEnd {
  bool on = false;
  ~ThreadEnd() {
    if (!on) return;
    arena_free();
    give_blocks();
  }
};
thread_local ThreadEnd tend;

}  // namespace

void capi_thread_mine() {
  if (tend.on) return;
  tend.on = true;
  std::lock_guard<std::mutex> g(orphan_mx);
  for (int k = 0; k < 24; k++)
    if (!tl.bkt[k]) tl.bkt[k] = orphan[k], orphan[k] = 0;
}

}  // namespace zk
