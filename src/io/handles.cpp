// handles.cpp: the handle table and the one routine that closes a handle.
// qhk holds one byte per descriptor 0..4095 saying what kind of handle it
// is (0 closed or never opened here, 1 outgoing connection, 2 accepted
// connection, 3 append-only log); every close goes through hcl so that a
// number the system hands out again is never taken for the old kind, and
// every registration through hreg, which counts it in qhg.
#include <unistd.h>

#include "io/io.h"

namespace zk {

G qhk[4096];
U qhg[4096];

void hreg(I fd, G k) {
  qhk[fd] = k;
  qhg[fd]++;
}

I hcl(I h) {
  if ((U)h < 4096) qhk[h] = 0, qrbf(h);
  return close(h);
}

}  // namespace zk
