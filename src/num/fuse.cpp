// fuse.cpp: the fused expression runner behind the VM's FUSED instruction.
//
// least version: the runner always declines, so the VM runs the plain
// fallback code that follows every FUSED instruction.
#include "num/num.h"

namespace zk {

V fzop(const G *, const V *, const V *) { return 0; }

}  // namespace zk
