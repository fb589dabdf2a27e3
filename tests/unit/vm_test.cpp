// vm_test.cpp: the bytecode compiler, the VM, the verb tables and the
// application entries.  Golden listings (source text to disassembly) for
// each construct the compiler handles and each of its limits, then runs
// through parse + compile + run: results, error texts with their context
// blocks, the call-depth limit, tail calls, and release of everything a
// failing path holds (free heap bytes and reference counts before/after).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/diag.h"
#include "core/err.h"
#include "core/sym.h"
#include "eval/b.h"
#include "eval/eval.h"
#include "eval/parse.h"
#include "eval/tables.h"
#include "eval/vm.h"
#include "list/list.h"
#include "vmutil.h"

namespace zk {
namespace {

using vmt::boot, vmt::comp, vmt::ename, vmt::etext, vmt::ev, vmt::evi, vmt::leak, vmt::lst,
    vmt::listing, vmt::golden, vmt::Gold, vmt::dump;

std::string everr(const char *s) {
  V r = ev(s);
  EXPECT_FALSE(r) << s;
  if (r) mr(r);
  return etext();
}

}  // namespace
}  // namespace zk

namespace zk {
namespace {

// Locals, parameters and the move of each local's last read (DELLOC).
TEST(VmGolden, LocalsAndLastUse) {
  golden({
      {"{x+1}",
       "depth 2\n"
       "locals (1): 0:x\n"
       "constants (1):\n"
       "  #0  1\n"
       "bytecode (5 bytes):\n"
       "    1  CONST    #0\n"
       "    2  DELLOC   0\n"
       "    3  DYAD     1\n"
       "    4  END     \n"},
      {"{x+x}",
       "depth 2\n"
       "locals (1): 0:x\n"
       "constants (0):\n"
       "bytecode (5 bytes):\n"
       "    1  GETLOC   0\n"
       "    2  DELLOC   0\n"
       "    3  DYAD     1\n"
       "    4  END     \n"},
      {"{a:x;a+a}",
       "depth 2\n"
       "locals (2): 0:x 1:a\n"
       "constants (0):\n"
       "bytecode (7 bytes):\n"
       "    1  DELLOC   0\n"
       "    2  SETLOC   1\n"
       "    3  GETLOC   1\n"
       "    4  DELLOC   1\n"
       "    5  DYAD     1\n"
       "    6  END     \n"},
      {"{x+1+x#1}",
       "depth 2\n"
       "locals (1): 0:x\n"
       "constants (1):\n"
       "  #0  1\n"
       "bytecode (10 bytes):\n"
       "    1  CONST    #0\n"
       "    2  GETLOC   0\n"
       "    3  DYAD     14\n"
       "    4  CONSTDYAD const#0 dyad=1\n"
       "    7  DELLOC   0\n"
       "    8  DYAD     1\n"
       "    9  END     \n"},
      {"{x+0.0+x#-0.0}",
       "depth 2\n"
       "locals (1): 0:x\n"
       "constants (2):\n"
       "  #0  -0\n"
       "  #1  0\n"
       "bytecode (10 bytes):\n"
       "    1  CONST    #0\n"
       "    2  GETLOC   0\n"
       "    3  DYAD     14\n"
       "    4  CONSTDYAD const#1 dyad=1\n"
       "    7  DELLOC   0\n"
       "    8  DYAD     1\n"
       "    9  END     \n"},
      {"{[a;b;c;d;e;f;g;h]a}",
       "depth 1\n"
       "locals (8): 0:a 1:b 2:c 3:d 4:e 5:f 6:g 7:h\n"
       "constants (0):\n"
       "bytecode (3 bytes):\n"
       "    1  DELLOC   0\n"
       "    2  END     \n"},
  });
}

// Plain, global and modified assignment; top level keeps plain assignment global.
TEST(VmGolden, Assignment) {
  golden({
      {"x:1",
       "depth 1\n"
       "locals (0):\n"
       "constants (2):\n"
       "  #0  1\n"
       "  #1  ::\n"
       "bytecode (7 bytes):\n"
       "    1  CONST    #0\n"
       "    2  SETGLB   idx=x\n"
       "    5  CONST    #1\n"
       "    6  END     \n"},
      {"{x:1}",
       "depth 1\n"
       "locals (1): 0:x\n"
       "constants (2):\n"
       "  #0  1\n"
       "  #1  ::\n"
       "bytecode (5 bytes):\n"
       "    1  CONST    #0\n"
       "    2  SETLOC   0\n"
       "    3  CONST    #1\n"
       "    4  END     \n"},
      {"{a:1}",
       "depth 1\n"
       "locals (2): 0:x 1:a\n"
       "constants (2):\n"
       "  #0  1\n"
       "  #1  ::\n"
       "bytecode (5 bytes):\n"
       "    1  CONST    #0\n"
       "    2  SETLOC   1\n"
       "    3  CONST    #1\n"
       "    4  END     \n"},
      {"{a:1;a}",
       "depth 1\n"
       "locals (2): 0:x 1:a\n"
       "constants (1):\n"
       "  #0  1\n"
       "bytecode (5 bytes):\n"
       "    1  CONST    #0\n"
       "    2  SETLOC   1\n"
       "    3  DELLOC   1\n"
       "    4  END     \n"},
      {"{a::1}",
       "depth 1\n"
       "locals (1): 0:x\n"
       "constants (2):\n"
       "  #0  1\n"
       "  #1  ::\n"
       "bytecode (7 bytes):\n"
       "    1  CONST    #0\n"
       "    2  SETGLB   idx=a\n"
       "    5  CONST    #1\n"
       "    6  END     \n"},
      {"{x::1}",
       "depth 1\n"
       "locals (1): 0:x\n"
       "constants (2):\n"
       "  #0  1\n"
       "  #1  ::\n"
       "bytecode (8 bytes):\n"
       "    1  CONST    #0\n"
       "    2  MODASN   idx=0 dyad=0\n"
       "    6  CONST    #1\n"
       "    7  END     \n"},
      {"{x+:1}",
       "depth 1\n"
       "locals (1): 0:x\n"
       "constants (2):\n"
       "  #0  1\n"
       "  #1  ::\n"
       "bytecode (8 bytes):\n"
       "    1  CONST    #0\n"
       "    2  MODASN   idx=0 dyad=1\n"
       "    6  CONST    #1\n"
       "    7  END     \n"},
      {"x,:y",
       "depth 1\n"
       "locals (0):\n"
       "constants (1):\n"
       "  #0  ::\n"
       "bytecode (10 bytes):\n"
       "    1  GETGLB   idx=y\n"
       "    4  MODASNG  idx=x dyad=12\n"
       "    8  CONST    #0\n"
       "    9  END     \n"},
      {"x \xe2\x8a\x95"": 1",
       "depth 3\n"
       "locals (0):\n"
       "constants (2):\n"
       "  #0  1\n"
       "  #1  ::\n"
       "bytecode (15 bytes):\n"
       "    1  CONST    #0\n"
       "    2  GETGLB   idx=x\n"
       "    5  GETGLB   idx=\xe2\x8a\x95""\n"
       "    8  APPLY    n=2\n"
       "   10  SETGLB   idx=x\n"
       "   13  CONST    #1\n"
       "   14  END     \n"},
  });
}

// Indexed assignment (value dropped or kept) and destructuring.
TEST(VmGolden, AmendAndDestructure) {
  golden({
      {"{x[1]:2}",
       "depth 2\n"
       "locals (1): 0:x\n"
       "constants (3):\n"
       "  #0  2\n"
       "  #1  1\n"
       "  #2  ::\n"
       "bytecode (11 bytes):\n"
       "    1  CONST    #0\n"
       "    2  CONST    #1\n"
       "    3  LIST     n=1\n"
       "    5  IDXASN   idx=0 dyad=0\n"
       "    9  CONST    #2\n"
       "   10  END     \n"},
      {"{x[1;2]+:3}",
       "depth 3\n"
       "locals (1): 0:x\n"
       "constants (4):\n"
       "  #0  3\n"
       "  #1  2\n"
       "  #2  1\n"
       "  #3  ::\n"
       "bytecode (12 bytes):\n"
       "    1  CONST    #0\n"
       "    2  CONST    #1\n"
       "    3  CONST    #2\n"
       "    4  LIST     n=2\n"
       "    6  IDXASN   idx=0 dyad=1\n"
       "   10  CONST    #3\n"
       "   11  END     \n"},
      {"{a:x[0]:5;a}",
       "depth 2\n"
       "locals (2): 0:x 1:a\n"
       "constants (2):\n"
       "  #0  5\n"
       "  #1  0\n"
       "bytecode (12 bytes):\n"
       "    1  CONST    #0\n"
       "    2  CONST    #1\n"
       "    3  LIST     n=1\n"
       "    5  IDXGET   idx=0 dyad=0\n"
       "    9  SETLOC   1\n"
       "   10  DELLOC   1\n"
       "   11  END     \n"},
      {"g[1]:2",
       "depth 2\n"
       "locals (0):\n"
       "constants (3):\n"
       "  #0  2\n"
       "  #1  1\n"
       "  #2  ::\n"
       "bytecode (11 bytes):\n"
       "    1  CONST    #0\n"
       "    2  CONST    #1\n"
       "    3  LIST     n=1\n"
       "    5  IDXASNG  idx=g dyad=0\n"
       "    9  CONST    #2\n"
       "   10  END     \n"},
      {"b:g[1]:2",
       "depth 2\n"
       "locals (0):\n"
       "constants (3):\n"
       "  #0  2\n"
       "  #1  1\n"
       "  #2  ::\n"
       "bytecode (14 bytes):\n"
       "    1  CONST    #0\n"
       "    2  CONST    #1\n"
       "    3  LIST     n=1\n"
       "    5  IDXGETG  idx=g dyad=0\n"
       "    9  SETGLB   idx=b\n"
       "   12  CONST    #2\n"
       "   13  END     \n"},
      {"{(a;b):1 2;a+b}",
       "depth 3\n"
       "locals (3): 0:x 1:a 2:b\n"
       "constants (1):\n"
       "  #0  1 2\n"
       "bytecode (11 bytes):\n"
       "    1  CONST    #0\n"
       "    2  UNLIST   n=2\n"
       "    4  SETLOC   1\n"
       "    5  SETLOC   2\n"
       "    6  POP     \n"
       "    7  DELLOC   2\n"
       "    8  DELLOC   1\n"
       "    9  DYAD     1\n"
       "   10  END     \n"},
      {"(a;b):1 2",
       "depth 3\n"
       "locals (0):\n"
       "constants (2):\n"
       "  #0  1 2\n"
       "  #1  ::\n"
       "bytecode (13 bytes):\n"
       "    1  CONST    #0\n"
       "    2  UNLIST   n=2\n"
       "    4  SETGLB   idx=a\n"
       "    7  SETGLB   idx=b\n"
       "   10  POP     \n"
       "   11  CONST    #1\n"
       "   12  END     \n"},
      {"{c:(a;b):1 2;c}",
       "depth 3\n"
       "locals (4): 0:x 1:a 2:b 3:c\n"
       "constants (1):\n"
       "  #0  1 2\n"
       "bytecode (9 bytes):\n"
       "    1  CONST    #0\n"
       "    2  UNLIST   n=2\n"
       "    4  SETLOC   1\n"
       "    5  SETLOC   2\n"
       "    6  SETLOC   3\n"
       "    7  DELLOC   3\n"
       "    8  END     \n"},
      {"(a;b):c",
       "depth 3\n"
       "locals (0):\n"
       "constants (1):\n"
       "  #0  ::\n"
       "bytecode (15 bytes):\n"
       "    1  GETGLB   idx=c\n"
       "    4  UNLIST   n=2\n"
       "    6  SETGLB   idx=a\n"
       "    9  SETGLB   idx=b\n"
       "   12  POP     \n"
       "   13  CONST    #0\n"
       "   14  END     \n"},
      {"{b:(a;c):1 2}",
       "depth 3\n"
       "locals (4): 0:x 1:a 2:c 3:b\n"
       "constants (2):\n"
       "  #0  1 2\n"
       "  #1  ::\n"
       "bytecode (9 bytes):\n"
       "    1  CONST    #0\n"
       "    2  UNLIST   n=2\n"
       "    4  SETLOC   1\n"
       "    5  SETLOC   2\n"
       "    6  SETLOC   3\n"
       "    7  CONST    #1\n"
       "    8  END     \n"},
  });
}

// Conditionals, loops (the do counter never moves out of its slot), early return, blocks.
TEST(VmGolden, ControlFlow) {
  golden({
      {"$[c;t;e]",
       "depth 1\n"
       "locals (0):\n"
       "constants (0):\n"
       "bytecode (15 bytes):\n"
       "    1  GETGLB   idx=c\n"
       "    4  BRANCH   +5 -> 11\n"
       "    6  GETGLB   idx=t\n"
       "    9  JUMP     +3 -> 14\n"
       "   11  GETGLB   idx=e\n"
       "   14  END     \n"},
      {"$[c1;t1;c2;t2]",
       "depth 1\n"
       "locals (0):\n"
       "constants (1):\n"
       "  #0  ::\n"
       "bytecode (23 bytes):\n"
       "    1  GETGLB   idx=c1\n"
       "    4  BRANCH   +5 -> 11\n"
       "    6  GETGLB   idx=t1\n"
       "    9  JUMP     +11 -> 22\n"
       "   11  GETGLB   idx=c2\n"
       "   14  BRANCH   +5 -> 21\n"
       "   16  GETGLB   idx=t2\n"
       "   19  JUMP     +1 -> 22\n"
       "   21  CONST    #0\n"
       "   22  END     \n"},
      {"{do[3;x+:1];x}",
       "depth 1\n"
       "locals (2): 0:x 1:\\1d0\n"
       "constants (4):\n"
       "  #0  3\n"
       "  #1  0\n"
       "  #2  1\n"
       "  #3  -1\n"
       "bytecode (24 bytes):\n"
       "    1  CONST    #0\n"
       "    2  SETLOC   1\n"
       "    3  GETLOC   1\n"
       "    4  CONSTDYAD const#1 dyad=8\n"
       "    7  BRANCH   +13 -> 22\n"
       "    9  CONST    #2\n"
       "   10  MODASN   idx=0 dyad=1\n"
       "   14  GETLOC   1\n"
       "   15  CONSTDYAD const#3 dyad=1\n"
       "   18  SETLOC   1\n"
       "   19  LOOP     -19 -> 3\n"
       "   22  DELLOC   0\n"
       "   23  END     \n"},
      {"do[3;a:1]",
       "depth 1\n"
       "locals (1): 0:\\1d0\n"
       "constants (5):\n"
       "  #0  3\n"
       "  #1  0\n"
       "  #2  1\n"
       "  #3  -1\n"
       "  #4  ::\n"
       "bytecode (23 bytes):\n"
       "    1  CONST    #0\n"
       "    2  SETLOC   0\n"
       "    3  GETLOC   0\n"
       "    4  CONSTDYAD const#1 dyad=8\n"
       "    7  BRANCH   +12 -> 21\n"
       "    9  CONST    #2\n"
       "   10  SETGLB   idx=a\n"
       "   13  GETLOC   0\n"
       "   14  CONSTDYAD const#3 dyad=1\n"
       "   17  SETLOC   0\n"
       "   18  LOOP     -18 -> 3\n"
       "   21  CONST    #4\n"
       "   22  END     \n"},
      {"{while[x;x-:1];x}",
       "depth 1\n"
       "locals (1): 0:x\n"
       "constants (1):\n"
       "  #0  1\n"
       "bytecode (14 bytes):\n"
       "    1  GETLOC   0\n"
       "    2  BRANCH   +8 -> 12\n"
       "    4  CONST    #0\n"
       "    5  MODASN   idx=0 dyad=2\n"
       "    9  LOOP     -11 -> 1\n"
       "   12  DELLOC   0\n"
       "   13  END     \n"},
      {"{:x;2}",
       "depth 1\n"
       "locals (1): 0:x\n"
       "constants (1):\n"
       "  #0  2\n"
       "bytecode (6 bytes):\n"
       "    1  DELLOC   0\n"
       "    2  END     \n"
       "    3  POP     \n"
       "    4  CONST    #0\n"
       "    5  END     \n"},
      {"1;2",
       "depth 1\n"
       "locals (0):\n"
       "constants (1):\n"
       "  #0  2\n"
       "bytecode (3 bytes):\n"
       "    1  CONST    #0\n"
       "    2  END     \n"},
      {"a",
       "depth 1\n"
       "locals (0):\n"
       "constants (0):\n"
       "bytecode (5 bytes):\n"
       "    1  GETGLB   idx=a\n"
       "    4  END     \n"},
      {"a;",
       "depth 1\n"
       "locals (0):\n"
       "constants (1):\n"
       "  #0  ::\n"
       "bytecode (7 bytes):\n"
       "    1  GETGLB   idx=a\n"
       "    4  POP     \n"
       "    5  CONST    #0\n"
       "    6  END     \n"},
      {"[a;b]",
       "depth 1\n"
       "locals (0):\n"
       "constants (0):\n"
       "bytecode (9 bytes):\n"
       "    1  GETGLB   idx=a\n"
       "    4  POP     \n"
       "    5  GETGLB   idx=b\n"
       "    8  END     \n"},
  });
}

// Idioms compiled to hidden verb-table slots and the fused operators.
TEST(VmGolden, Idioms) {
  golden({
      {"+/x*y",
       "depth 4\n"
       "locals (0):\n"
       "constants (2):\n"
       "  #0  3\n"
       "  #1  (dyad 27)\n"
       "bytecode (12 bytes):\n"
       "    1  GETGLB   idx=y\n"
       "    4  GETGLB   idx=x\n"
       "    7  CONST    #0\n"
       "    8  CONST    #1\n"
       "    9  APPLY    n=3\n"
       "   11  END     \n"},
      {"+/x=y",
       "depth 4\n"
       "locals (0):\n"
       "constants (2):\n"
       "  #0  10\n"
       "  #1  (dyad 27)\n"
       "bytecode (12 bytes):\n"
       "    1  GETGLB   idx=y\n"
       "    4  GETGLB   idx=x\n"
       "    7  CONST    #0\n"
       "    8  CONST    #1\n"
       "    9  APPLY    n=3\n"
       "   11  END     \n"},
      {"x@&y>0",
       "depth 5\n"
       "locals (0):\n"
       "constants (3):\n"
       "  #0  0\n"
       "  #1  109\n"
       "  #2  (dyad 28)\n"
       "bytecode (13 bytes):\n"
       "    1  CONST    #0\n"
       "    2  GETGLB   idx=y\n"
       "    5  GETGLB   idx=x\n"
       "    8  CONST    #1\n"
       "    9  CONST    #2\n"
       "   10  APPLY    n=4\n"
       "   12  END     \n"},
      {"x@&y",
       "depth 2\n"
       "locals (0):\n"
       "constants (0):\n"
       "bytecode (9 bytes):\n"
       "    1  GETGLB   idx=y\n"
       "    4  GETGLB   idx=x\n"
       "    7  DYAD     27\n"
       "    8  END     \n"},
      {"x@<x",
       "depth 1\n"
       "locals (0):\n"
       "constants (0):\n"
       "bytecode (6 bytes):\n"
       "    1  GETGLB   idx=x\n"
       "    4  MONAD    27\n"
       "    5  END     \n"},
      {"x@>x",
       "depth 1\n"
       "locals (0):\n"
       "constants (0):\n"
       "bytecode (6 bytes):\n"
       "    1  GETGLB   idx=x\n"
       "    4  MONAD    28\n"
       "    5  END     \n"},
      {"*|x",
       "depth 1\n"
       "locals (0):\n"
       "constants (0):\n"
       "bytecode (6 bytes):\n"
       "    1  GETGLB   idx=x\n"
       "    4  MONAD    23\n"
       "    5  END     \n"},
      {"*<x",
       "depth 1\n"
       "locals (0):\n"
       "constants (0):\n"
       "bytecode (6 bytes):\n"
       "    1  GETGLB   idx=x\n"
       "    4  MONAD    24\n"
       "    5  END     \n"},
      {"*>x",
       "depth 1\n"
       "locals (0):\n"
       "constants (0):\n"
       "bytecode (6 bytes):\n"
       "    1  GETGLB   idx=x\n"
       "    4  MONAD    25\n"
       "    5  END     \n"},
      {"x+2*y",
       "depth 5\n"
       "locals (0):\n"
       "constants (3):\n"
       "  #0  2\n"
       "  #1  0\n"
       "  #2  (dyad 28)\n"
       "bytecode (13 bytes):\n"
       "    1  GETGLB   idx=y\n"
       "    4  CONST    #0\n"
       "    5  GETGLB   idx=x\n"
       "    8  CONST    #1\n"
       "    9  CONST    #2\n"
       "   10  APPLY    n=4\n"
       "   12  END     \n"},
      {"x-y*2.5",
       "depth 5\n"
       "locals (0):\n"
       "constants (3):\n"
       "  #0  2.5\n"
       "  #1  1\n"
       "  #2  (dyad 28)\n"
       "bytecode (13 bytes):\n"
       "    1  GETGLB   idx=y\n"
       "    4  CONST    #0\n"
       "    5  GETGLB   idx=x\n"
       "    8  CONST    #1\n"
       "    9  CONST    #2\n"
       "   10  APPLY    n=4\n"
       "   12  END     \n"},
      {"_a%b",
       "depth 4\n"
       "locals (0):\n"
       "constants (2):\n"
       "  #0  40\n"
       "  #1  (dyad 27)\n"
       "bytecode (12 bytes):\n"
       "    1  GETGLB   idx=b\n"
       "    4  GETGLB   idx=a\n"
       "    7  CONST    #0\n"
       "    8  CONST    #1\n"
       "    9  APPLY    n=3\n"
       "   11  END     \n"},
      {"&a<b",
       "depth 4\n"
       "locals (0):\n"
       "constants (2):\n"
       "  #0  108\n"
       "  #1  (dyad 27)\n"
       "bytecode (12 bytes):\n"
       "    1  GETGLB   idx=b\n"
       "    4  GETGLB   idx=a\n"
       "    7  CONST    #0\n"
       "    8  CONST    #1\n"
       "    9  APPLY    n=3\n"
       "   11  END     \n"},
      {"#'=y",
       "depth 4\n"
       "locals (0):\n"
       "constants (3):\n"
       "  #0  ::\n"
       "  #1  19\n"
       "  #2  (dyad 27)\n"
       "bytecode (10 bytes):\n"
       "    1  CONST    #0\n"
       "    2  GETGLB   idx=y\n"
       "    5  CONST    #1\n"
       "    6  CONST    #2\n"
       "    7  APPLY    n=3\n"
       "    9  END     \n"},
      {"+/x@&m",
       "depth 4\n"
       "locals (0):\n"
       "constants (2):\n"
       "  #0  18\n"
       "  #1  (dyad 27)\n"
       "bytecode (12 bytes):\n"
       "    1  GETGLB   idx=m\n"
       "    4  GETGLB   idx=x\n"
       "    7  CONST    #0\n"
       "    8  CONST    #1\n"
       "    9  APPLY    n=3\n"
       "   11  END     \n"},
      {"+/(r+2*v)@&m",
       "depth 6\n"
       "locals (0):\n"
       "constants (3):\n"
       "  #0  2\n"
       "  #1  0\n"
       "  #2  (dyad 29)\n"
       "bytecode (16 bytes):\n"
       "    1  GETGLB   idx=m\n"
       "    4  GETGLB   idx=v\n"
       "    7  CONST    #0\n"
       "    8  GETGLB   idx=r\n"
       "   11  CONST    #1\n"
       "   12  CONST    #2\n"
       "   13  APPLY    n=5\n"
       "   15  END     \n"},
      {"+/(r-2*v)@&m",
       "depth 6\n"
       "locals (0):\n"
       "constants (3):\n"
       "  #0  2\n"
       "  #1  1\n"
       "  #2  (dyad 29)\n"
       "bytecode (16 bytes):\n"
       "    1  GETGLB   idx=m\n"
       "    4  GETGLB   idx=v\n"
       "    7  CONST    #0\n"
       "    8  GETGLB   idx=r\n"
       "   11  CONST    #1\n"
       "   12  CONST    #2\n"
       "   13  APPLY    n=5\n"
       "   15  END     \n"},
  });
}

// Primitives, constant left arguments, projections, lists, self reference.
TEST(VmGolden, Application) {
  golden({
      {"2*x",
       "depth 1\n"
       "locals (0):\n"
       "constants (1):\n"
       "  #0  2\n"
       "bytecode (8 bytes):\n"
       "    1  GETGLB   idx=x\n"
       "    4  CONSTDYAD const#0 dyad=3\n"
       "    7  END     \n"},
      {"x*2",
       "depth 2\n"
       "locals (0):\n"
       "constants (1):\n"
       "  #0  2\n"
       "bytecode (7 bytes):\n"
       "    1  CONST    #0\n"
       "    2  GETGLB   idx=x\n"
       "    5  DYAD     3\n"
       "    6  END     \n"},
      {"-x",
       "depth 1\n"
       "locals (0):\n"
       "constants (0):\n"
       "bytecode (6 bytes):\n"
       "    1  GETGLB   idx=x\n"
       "    4  MONAD    2\n"
       "    5  END     \n"},
      {"f x",
       "depth 2\n"
       "locals (0):\n"
       "constants (0):\n"
       "bytecode (10 bytes):\n"
       "    1  GETGLB   idx=x\n"
       "    4  GETGLB   idx=f\n"
       "    7  APPLY    n=1\n"
       "    9  END     \n"},
      {"f[]",
       "depth 2\n"
       "locals (0):\n"
       "constants (1):\n"
       "  #0  ::\n"
       "bytecode (8 bytes):\n"
       "    1  CONST    #0\n"
       "    2  GETGLB   idx=f\n"
       "    5  APPLY    n=1\n"
       "    7  END     \n"},
      {"f[;1]",
       "depth 3\n"
       "locals (0):\n"
       "constants (2):\n"
       "  #0  1\n"
       "  #1  (dyad 26)\n"
       "bytecode (9 bytes):\n"
       "    1  CONST    #0\n"
       "    2  CONST    #1\n"
       "    3  GETGLB   idx=f\n"
       "    6  PROJECT  n=2\n"
       "    8  END     \n"},
      {"f[1;2;3]",
       "depth 4\n"
       "locals (0):\n"
       "constants (3):\n"
       "  #0  3\n"
       "  #1  2\n"
       "  #2  1\n"
       "bytecode (10 bytes):\n"
       "    1  CONST    #0\n"
       "    2  CONST    #1\n"
       "    3  CONST    #2\n"
       "    4  GETGLB   idx=f\n"
       "    7  APPLY    n=3\n"
       "    9  END     \n"},
      {"+[1]",
       "depth 3\n"
       "locals (0):\n"
       "constants (3):\n"
       "  #0  (dyad 26)\n"
       "  #1  1\n"
       "  #2  +\n"
       "bytecode (7 bytes):\n"
       "    1  CONST    #0\n"
       "    2  CONST    #1\n"
       "    3  CONST    #2\n"
       "    4  PROJECT  n=2\n"
       "    6  END     \n"},
      {"{x}[1;2]",
       "depth 3\n"
       "locals (0):\n"
       "constants (3):\n"
       "  #0  2\n"
       "  #1  1\n"
       "  #2  {x}\n"
       "bytecode (7 bytes):\n"
       "    1  CONST    #0\n"
       "    2  CONST    #1\n"
       "    3  CONST    #2\n"
       "    4  APPLY    n=2\n"
       "    6  END     \n"},
      {"(a;b;c)",
       "depth 3\n"
       "locals (0):\n"
       "constants (0):\n"
       "bytecode (13 bytes):\n"
       "    1  GETGLB   idx=c\n"
       "    4  GETGLB   idx=b\n"
       "    7  GETGLB   idx=a\n"
       "   10  LIST     n=3\n"
       "   12  END     \n"},
      {"{o x}",
       "depth 2\n"
       "locals (1): 0:x\n"
       "constants (0):\n"
       "bytecode (6 bytes):\n"
       "    1  DELLOC   0\n"
       "    2  RECUR   \n"
       "    3  APPLY    n=1\n"
       "    5  END     \n"},
  });
}

}  // namespace
}  // namespace zk

namespace zk {
namespace {

std::string rep(const std::string &s, int n, const char *sep) {
  std::string r;
  for (int i = 0; i < n; i++) r += (i ? sep : "") + s;
  return r;
}

// The name of the error and the caret column of its first context block.
struct Err {
  std::string name;
  int caret;
};
Err errof(const std::string &t) {
  Err e{"", -1};
  size_t nl = t.find('\n');
  if (t.empty() || t[0] != '\'' || nl == std::string::npos) return e;
  e.name = t.substr(1, nl - 1);
  size_t l2 = t.find('\n', nl + 1);  // end of the source window
  if (l2 == std::string::npos) return e;
  size_t c = t.find('^', l2);
  if (c != std::string::npos) e.caret = (int)(c - l2 - 2);  // after the newline and the lead blank
  return e;
}

Err cerr(const std::string &s) {
  V f = comp(s.c_str());
  EXPECT_FALSE(f) << s;
  if (f) mr(f);
  return errof(etext());
}

// Compile a hand-built tree as a statement.
V ctree(V t, const char *text = "t") { return cpl_(aCz(text), t, 0); }

V name(const char *s) {
  I id = us(s);
  return aV(tSYM, 1, &id);
}
V node(std::initializer_list<V> xs) {
  V r = an((U)xs.size(), tLIST);
  U i = 0;
  for (V x : xs) PA(r)[i++] = x;
  return r;
}

// Every limit of the compiler fails with 'limit and a caret under the
// failing node, or under column 0 for the size limits checked at the end.
TEST(VmLimits, ArgumentsLocalsConstantsCode) {
  boot();
  Err e = cerr("f[1;2;3;4;5;6;7;8;9]");
  EXPECT_EQ(e.name, "limit");
  EXPECT_EQ(e.caret, 1);  // the application carries the column of its "["
  EXPECT_EQ(evi("{[a;b;c;d;e;f;g;h]h}[1;2;3;4;5;6;7;8]"), 8);

  // 14 local names (x and 13 more) fit; 15 fail at the end, caret at 0.
  std::string l13 = "{a:1;b:2;c:3;d:4;e:5;f:6;g:7;h:8;i:9;j:10;k:11;l:12;m:13;m}";
  std::string l14 = "{a:1;b:2;c:3;d:4;e:5;f:6;g:7;h:8;i:9;j:10;k:11;l:12;m:13;n:14;n}";
  V f = comp(l13.c_str());
  ASSERT_TRUE(f) << etext();
  EXPECT_EQ(nx(PA(f)[3]), 14u);
  mr(f);
  e = cerr(l14);
  EXPECT_EQ(e.name, "limit");
  EXPECT_EQ(e.caret, 0);
  // The 17th local fails while compiling, under its own name.
  std::string l16 = "{[a;b;c;d;e;f;g;h]i:1;j:2;k:3;l:4;m:5;n:6;o:7;p:8;q:9}";
  e = cerr(l16);
  EXPECT_EQ(e.name, "limit");
  EXPECT_EQ(e.caret, (int)l16.find("q:"));

  // 125 distinct constants fit; 126 do not.  The name keeps the list
  // literal from folding into one constant.
  auto sum = [](int n) {
    std::string s = "{(x";
    for (int i = 1; i <= n; i++) s += ";" + std::to_string(i);
    return s + ")}";
  };
  f = comp(sum(125).c_str());
  ASSERT_TRUE(f) << etext();
  EXPECT_EQ(nx(f), 129u);
  EXPECT_EQ(evi(("+/" + sum(125) + "[0]").c_str()), 125 * 126 / 2);
  mr(f);
  e = cerr(sum(126));
  EXPECT_EQ(e.name, "limit");
  EXPECT_EQ(e.caret, 0);

  // Code: each statement "a" dropped is GETGLB + POP, 4 bytes.
  f = comp(rep("a", 510, ";").c_str());
  ASSERT_TRUE(f) << etext();
  EXPECT_LE(nx(PA(f)[1]), 2046u);
  mr(f);
  e = cerr(rep("a", 520, ";"));
  EXPECT_EQ(e.name, "limit");
  EXPECT_EQ(e.caret, 0);
}

TEST(VmLimits, ListItemsAndStackDepth) {
  boot();
  // A list literal of 255 names is one LIST; 256 is refused.
  V f = comp(("(" + rep("a", 255, ";") + ")").c_str());
  ASSERT_TRUE(f) << etext();
  EXPECT_EQ(P(PA(f)[1])[0], 255);
  mr(f);
  Err e = cerr("(" + rep("a", 300, ";") + ")");
  EXPECT_EQ(e.name, "limit");
  EXPECT_EQ(e.caret, 0);
  // Operand stack: (mkl; (mkl; a; b); c1 .. ck) peaks at k + 2.
  for (int k : {253, 254}) {
    V t = an((U)k + 2, tLIST);
    PA(t)[0] = MKL;
    PA(t)[1] = node({MKL, name("a"), name("b")});
    for (int i = 0; i < k; i++) PA(t)[2 + i] = name("c");
    V g = ctree(t);
    if (k == 253) {
      ASSERT_TRUE(g) << etext();
      EXPECT_EQ(P(PA(g)[1])[0], 255);
      mr(g);
    } else {
      EXPECT_FALSE(g);
      EXPECT_EQ(errof(etext()).name, "limit");
    }
  }
}

TEST(VmLimits, JumpsAndBranches) {
  boot();
  // A branch body of 90 names (LIST, 272 bytes) is past BRANCH's reach.
  std::string big = "(" + rep("a", 90, ";") + ")";
  Err e = cerr("$[c;" + big + ";0]");
  EXPECT_EQ(e.name, "limit");
  // 80 names (242 bytes) fit.
  std::string mid = "(" + rep("1", 80, ";") + ")";
  V f = comp(("$[c;" + mid + ";0]").c_str());
  ASSERT_TRUE(f) << etext();
  mr(f);

  // Three branches of ~125 bytes each: the first JUMP cannot reach the end
  // directly and is chained through a later JUMP; every branch still
  // gives its own value.
  auto br = [](const char *v) { return "(" + rep(v, 42, ";") + ")"; };  // 128 bytes
  V q = ev("q:7;r:8;s:9");
  ASSERT_TRUE(q) << etext();
  for (int which = 0; which < 4; which++) {
    std::string s = "$[" + std::string(which == 0 ? "1" : "0") + ";" + br("q") + ";" +
                    (which == 1 ? "1" : "0") + ";" + br("r") + ";" + (which == 2 ? "1" : "0") +
                    ";" + br("s") + ";99]";
    V g = comp(s.c_str());
    ASSERT_TRUE(g) << etext();
    const G *b = P(PA(g)[1]);
    U n = nx(PA(g)[1]);
    // The first JUMP lands on another JUMP, not on END.
    for (U p = 1; p < n;) {
      if (b[p] == oJUMP) {
        EXPECT_EQ(b[p + 2 + b[p + 1]], oJUMP);
        break;
      }
      std::string sink;
      p = dis1(b, n, p, sink);
      ASSERT_NE(p, 0u);
    }
    V r = run(g, nullptr, 0);
    mr(g);
    ASSERT_TRUE(r) << etext();
    if (which == 3) {
      EXPECT_EQ(gl(r), 99);
      continue;
    }
    // q r s are 7 8 9: each branch is a list of 42 of its own.
    ASSERT_EQ(_n(r), 42);
    V it = ii(r, 0);
    EXPECT_EQ(gl(it), 7 + which) << which;
    mr(r);
  }
  // When no later JUMP is within reach either, 'limit.
  std::string lc = "#" + big;  // a 273-byte condition between two JUMPs
  e = cerr("$[c;1;" + lc + ";2;" + big + "]");
  EXPECT_EQ(e.name, "limit");
}

// A full globals table (gi sets gfull instead of making a slot) fails the
// compilation with 'limit, and the flag is cleared for the next one.
// Branches patched after the code buffer has filled must not write past it
// (found by fuzzing the parser; ASan reports the stray write).
TEST(VmLimits, BranchPatchAtFullBuffer) {
  boot();
  std::string t = std::string("x\xbb""y;{if[sz%") + std::string(24, '\xff') + std::string("1") + std::string(30, '\xff') + std::string("1") + std::string(320, '\xff') + std::string("]y;}j");
  V r = evn(t.c_str(), nullptr, 0);
  EXPECT_EQ(r, 0u);
  std::string big = "{$[x;" + rep("a", 700, ";") + ";0]}";
  EXPECT_EQ(evn(big.c_str(), nullptr, 0), 0u);
  EXPECT_EQ(etext().substr(0, 7), "'limit\n");
}

TEST(VmLimits, GlobalsTableFull) {
  boot();
  gfull = 1;  // as gi leaves it when no slot was left
  Err e = cerr("zzfull+1");
  EXPECT_EQ(e.name, "limit");
  EXPECT_EQ(e.caret, 0);
  EXPECT_EQ(gfull, 0);
  EXPECT_EQ(evi("1+1"), 2);
}

TEST(VmLimits, CompileErrors) {
  boot();
  struct {
    const char *src;
    int caret;
  } cases[] = {
      {"\"a\":1", 3},       // a constant is no assignment target
      {"`a:1", 2},          // nor is a symbol
      {"(f x)[1]:2", 5},    // an indexed target must start with a name
      {"{(a;b)+:1 2}", 0},  // destructuring kept as a value needs plain ':' -- fine when dropped
  };
  for (auto &c : cases) {
    V f = comp(c.src);
    if (std::string(c.src) == "{(a;b)+:1 2}") {  // value dropped: compiles
      EXPECT_TRUE(f) << etext();
      if (f) mr(f);
      continue;
    }
    EXPECT_FALSE(f) << c.src;
    if (f) mr(f);
    Err e = errof(etext());
    EXPECT_EQ(e.name, "compile") << c.src;
    EXPECT_EQ(e.caret, c.caret) << c.src;
  }
  // Kept as a value with a modifying head: refused.
  V f = comp("{b:(a;c)+:1 2}");
  EXPECT_FALSE(f);
  EXPECT_EQ(errof(etext()).name, "compile");
}

}  // namespace
}  // namespace zk

namespace zk {
namespace {

// Results of the constructs through parse, compile and run.
TEST(VmRun, Values) {
  boot();
  struct {
    const char *src;
    J want;
  } cases[] = {
      {"1+2", 3},
      {"{x+1}[5]", 6},
      {"{x+x}[21]", 42},
      {"{a:x;a+a}[4]", 8},
      {"{:x;2}[5]", 5},  // early return
      {"{a:1;a}[0]", 1},
      {"{x:1;x}[9]", 1},  // assigns the parameter
      {"{x+:10;x}[5]", 15},
      {"{x-:1;x}[5]", 4},
      {"{(a;b):3 4;a*b}[0]", 12},
      {"$[1;2;3]", 2},
      {"$[0;2;3]", 3},
      {"$[0;1;0;2;3]", 3},
      {"$[0;1;1;2;3]", 2},
      {"{n:0;do[x;n+:1];n}[3]", 3},
      {"{n:0;do[x;n+:1];n}[0]", 0},
      {"{n:0;while[0;n+:1];n}[0]", 0},
      {"{n:0;while[x;n+:1;x-:1];n}[5]", 5},
      {"{n:0;do[x;do[x;n+:1]];n}[4]", 16},  // nested counters are separate locals
      {"{s:0;i:0;while[i<x;s:s+i;i:i+1];s}[100000]", 4999950000LL},  // sums past 32 bits
      {"2*21", 42},
      {"{x*2}[21]", 42},
      {"{[a;b;c]a-b-c}[10;3;2]", 9},
      {"{x+y}[1][2]", 3},           // a lambda of two given one: projection
      {"{x+y+z}[1;;3][2]", 6},      // holes filled in order
      {"+[1][2]", 3},               // a dyadic primitive projected
      {"(-;{x*2})[3]", -3},         // hook: x f (g x)
      {"({x+1};-;{x*2})[3]", -2},   // fork: (f x) g (h x)
      {"(-;{x*2})[3;4]", -5},       // hook of two: f[x; g y]
      {"{x*$[x>1;o x-1;1]}[5]", 120},  // o is the running lambda
      {"{$[x;o x-1;7]}[10]", 7},
      {"{if[x>2;:100];x}[5]", 100},  // early return from a branch
      {"{if[x>2;:100];x}[1]", 1},
      {"{do[10;if[x>3;:x];x+:1];0}[0]", 4},  // early return from inside a do loop
      {"{n:0;while[1;n+:1;if[n>4;:n]]}[0]", 5},
      {"(1 2 3)[1]", 2},            // data indexed by an atom
      {"(1 2 3)[5]", NJ},           // past the end: the null
  };
  for (auto &c : cases) EXPECT_EQ(evi(c.src), c.want) << c.src;
}

// Top-level assignments stay global, also after a do loop has given the
// statement a hidden local counter.
TEST(VmRun, TopLevelAssignmentAfterDo) {
  boot();
  ASSERT_TRUE(ev("zz0:0;zz1:0"));
  V r = ev("do[3;zz0+:1];zz1:5");
  EXPECT_EQ(r, GNULL);
  EXPECT_EQ(evi("zz0"), 3);
  EXPECT_EQ(evi("zz1"), 5);
  // The same inside a lambda makes a local, and leaves the global alone.
  EXPECT_EQ(evi("{do[2;zz1:7];zz1}[0]"), 7);
  EXPECT_EQ(evi("zz1"), 5);
  // x::v inside a lambda with no local x sets the global.
  ASSERT_TRUE(ev("{zz1::9}[0]"));
  EXPECT_EQ(evi("zz1"), 9);
}

TEST(VmRun, AmendLocalsAndGlobals) {
  boot();
  V r = ev("{a:1 2 3; a[1]:9; a}[0]");
  ASSERT_TRUE(r) << etext();
  ASSERT_EQ(_n(r), 3);
  J want[] = {1, 9, 3};
  for (int i = 0; i < 3; i++) EXPECT_EQ(gl(ii(r, i)), want[i]);
  mr(r);
  ASSERT_TRUE(ev("ga:1 2 3"));
  ASSERT_TRUE(ev("ga[1]+:1"));
  EXPECT_EQ(evi("ga[1]"), 3);
  EXPECT_EQ(evi("gc:ga[2]:40;gc"), 40);  // kept as a value: the amended item
  EXPECT_EQ(evi("ga[2]"), 40);
  EXPECT_EQ(evi("ga[0]:100000;ga[0]"), 100000);  // widens the byte vector
  EXPECT_EQ(errof(everr("ga[7]:1")).name, "index");
  EXPECT_EQ(errof(everr("{x[0]:1}[5]")).name, "type");  // an atom has no items
  // A shared value is copied before the amend; the other holder keeps it.
  ASSERT_TRUE(ev("gb:ga;gb[0]:5"));
  EXPECT_EQ(evi("ga[0]"), 100000);
  EXPECT_EQ(evi("gb[0]"), 5);
}

TEST(VmRun, ErrorTexts) {
  boot();
  // An undefined global is named by itself, with the statement's line.
  EXPECT_EQ(everr("qqundef"), "'qqundef\n qqundef\n ^\n");
  EXPECT_EQ(everr("1+qqundef"), "'qqundef\n 1+qqundef\n   ^\n");
  // So is a local read before any assignment set it.
  EXPECT_EQ(everr("{$[x;a:1;0];a}[0]"),
            "'a\n {$[x;a:1;0];a}\n             ^\n {$[x;a:1;0];a}[0]\n               ^\n");
  std::string t = everr("{$[x;a:1;0];a}[0]");
  EXPECT_EQ(errof(t).name, "a");
  // A failing verb inside a lambda: the lambda's line, then the caller's
  // (a juxtaposition carries the column of its argument).
  ASSERT_TRUE(ev("fv:{x+`s}"));
  EXPECT_EQ(everr("1+fv 2"), "'type\n {x+`s}\n   ^\n 1+fv 2\n      ^\n");
  // Modify or amend of an unset slot is 'value.
  EXPECT_EQ(errof(everr("{$[x;a:1;0];a+:1}[0]")).name, "value");
  EXPECT_EQ(errof(everr("qqund2+:1")).name, "value");
  EXPECT_EQ(errof(everr("qqund3[0]:1")).name, "value");
  // Argument count against the valence.
  EXPECT_EQ(errof(everr("{x}[1;2]")).name, "rank");
  EXPECT_EQ(errof(everr("{(a;b):1 2 3}[0]")).name, "length");
  // Symbols apply builtins by name; an unknown name is 'domain.
  EXPECT_EQ(errof(everr("`nosuch[1]")).name, "domain");
  EXPECT_EQ(errof(everr("`err[\"boom\"]")).name, "boom");
  EXPECT_EQ(errof(everr("`exit[0]")).name, "nyi");  // its kernel is not built yet
}

TEST(VmRun, Truth) {
  boot();
  struct {
    const char *src;
    int want;
  } cases[] = {
      {"0", 0}, {"0.0", 0}, {"()", 0}, {"`", 0}, {"::", 0}, {"\"\"", 0},
      {"1", 1}, {"-0.0", 1}, {"0n", 1}, {"{x}", 1}, {"+", 1}, {",0", 1}, {"`a", 1},
      {"-1", 1}, {"0 0", 1}, {"(::)", 0},
  };
  for (auto &c : cases) {
    V v = ev(c.src);
    ASSERT_TRUE(v) << c.src << etext();
    EXPECT_EQ(tru(v), c.want) << c.src;
    std::string s = std::string("$[") + c.src + ";1;2]";
    EXPECT_EQ(evi(s.c_str()), c.want ? 1 : 2) << s;
  }
}

// 2,048 nested runs succeed (the statement's own run counts); the next
// fails with 'stack, and the thread goes on working.
TEST(VmRun, CallDepthLimit) {
  boot();
  ASSERT_TRUE(ev("fdeep:{$[x;1+fdeep x-1;0]}"));
  EXPECT_EQ(evi("fdeep 2046"), 2046);
  EXPECT_EQ(tl.cdp, 0);
  std::string t = everr("fdeep 2047");
  EXPECT_EQ(errof(t).name, "stack");
  // Four context blocks and the line of two dots: the text stays bounded.
  EXPECT_EQ(t.substr(t.size() - 4), " ..\n");
  EXPECT_EQ(tl.cdp, 0);
  EXPECT_EQ(evi("fdeep 10"), 10);
  EXPECT_EQ(leak("fdeep 2047"), 0u);
  // The same depth with large frames (past the fixed array): each level holds 200
  // values on its operand stack while it calls the next.
  std::string big = "fwide:{$[x;*(fwide x-1;" + rep("x", 199, ";") + ");0]}";
  ASSERT_TRUE(ev(big.c_str())) << etext();
  V f = ev("fwide");
  ASSERT_TRUE(f);
  EXPECT_GE(P(PA(f)[1])[0], 200);
  mr(f);
  EXPECT_EQ(evi("fwide 2046"), 0);
  EXPECT_EQ(tl.cdp, 0);
  EXPECT_EQ(errof(everr("fwide 2047")).name, "stack");
  EXPECT_EQ(tl.cdp, 0);
}

// Self-calls in tail position reuse the frame: far deeper than the call
// depth limit, in constant native stack.
TEST(VmRun, TailCalls) {
  boot();
  EXPECT_EQ(evi("{$[x;o x-1;0]}[1000000]"), 0);
  EXPECT_EQ(evi("{[n;a]$[n;o[n-1;a+1];a]}[1000000;0]"), 1000000);
  // Through a global name, and through a JUMP to the END.
  ASSERT_TRUE(ev("ft:{$[x;ft x-1;-1]}"));
  EXPECT_EQ(evi("ft 1000000"), -1);
  // Mutual recursion in tail position.
  ASSERT_TRUE(ev("fe:{$[x;fo x-1;1]};fo:{$[x;fe x-1;0]}"));
  EXPECT_EQ(evi("fe 1000001"), 0);
  // A tail call into a lambda whose frame is larger than the caller's is a
  // plain call (and still right).
  ASSERT_TRUE(ev("fbig:{a:1;b:2;c:3;d:4;a+b+c+d+x}"));
  EXPECT_EQ(evi("{fbig x}[10]"), 20);
  // A failure after tail calls reports and releases the tail-called lambda.
  EXPECT_EQ(leak("{$[x;o x-1;`a+1]}[100]"), 0u);
}

// A lambda calling itself by name takes the short call and return: the
// results, a global redefined while its old lambda still runs, a heap
// value in the local at the return, and a failure deep in the recursion.
TEST(VmRun, SelfCalls) {
  boot();
  ASSERT_TRUE(ev("sfib:{$[x<2;x;(sfib x-1)+sfib x-2]}"));
  EXPECT_EQ(evi("sfib 20"), 6765);
  EXPECT_EQ(leak("sfib 15"), 0u);
  // The innermost call replaces the global: the frames above it go on in
  // the old lambda, which the first call's frame keeps alive.
  ASSERT_TRUE(ev("sre:{$[x<1;sre2[];1+sre x-1]};sre2:{sre::7;0}"));
  EXPECT_EQ(evi("sre 5"), 5);
  EXPECT_EQ(evi("sre"), 7);
  ASSERT_TRUE(ev("sre:{$[x<1;sre2[];1+sre x-1]}"));
  EXPECT_EQ(leak("sre 5"), 0u);
  // Long atoms (heap values) in the local while the calls return.
  ASSERT_TRUE(ev("sh:{$[x<3000000000;0;x-sh x-1]}"));
  EXPECT_EQ(evi("sh 3000000003"), 2);
  EXPECT_EQ(leak("sh 3000000003"), 0u);
  // A failure at the bottom unwinds every short frame.
  ASSERT_TRUE(ev("sq:{$[x<1;`a+1;1+sq x-1]}"));
  EXPECT_EQ(errof(everr("sq 50")).name, "type");
  EXPECT_EQ(tl.cdp, 0);
  EXPECT_EQ(leak("sq 50"), 0u);
  // Not the running lambda's shape (two arguments, another local): the
  // plain call, with the same results.
  ASSERT_TRUE(ev("s2:{[a;b]$[a<1;b;s2[a-1;b+a]]};s3:{t:x;$[x<1;0;t+s3 x-1]}"));
  EXPECT_EQ(evi("s2[10;0]"), 55);
  EXPECT_EQ(evi("s3 10"), 55);
}

}  // namespace
}  // namespace zk

namespace zk {
namespace {

U rcof(const char *global) {
  V n = name(global);
  U s = gi(n);
  mr(n);
  return heap(gv[s]) ? hd(gv[s])->rc : 0;
}

// Every failure path releases what it holds: no free heap bytes go
// missing, and the reference counts of the values involved come back.
TEST(VmRun, FailuresReleaseEverything) {
  boot();
  ASSERT_TRUE(ev("lv:1 2 3 4 5 6 7 8 9 10;lw:1.5 2.5"));
  ASSERT_EQ(rcof("lv"), 1u);
  const char *paths[] = {
      "{x}[lv;lw]",                          // 'rank: both arguments released
      "{a:lv;b:lw;(a;b;`s+1)}[0]",           // DYAD fails with locals and a half-built list
      "{a:lv;-a}[0]",                        // MONAD (an unbuilt slot)
      "{a:lv;(a;lw;3+`s)}[0]",               // CONSTDYAD
      "{a:lv;a[100]:1}[0]",                  // IDXASN 'index
      "{a:lv;a[0;1]:`s}[0]",                 // IDXASN 'type: a path into an atom
      "{a:lv;(p;q):a}[0]",                   // UNLIST 'length
      "{a:lv;b:lw;b+:`s}[0]",                // MODASN verb failure
      "{a:lv;(a;qqnone)}[0]",                // GETGLB undefined
      "{a:lv;$[x;c:1;0];(a;c)}[0]",          // GETLOC of an unset local
      "{a:lv;{x+`s}[a]}[0]",                 // failure inside a nested call
      "{[n;a]$[n;o[n-1;a];a+`s]}[50;lv]",    // failure after tail calls
      "{(lv;lw;`s)[0;1;2;3;4;5;6;7;8]}[0]",  // deep indexing failure
      "{x[0;1]}[lv]",                        // indexing into an atom
      "lv[0;1]",
  };
  for (const char *p : paths) {
    EXPECT_EQ(leak(p), 0u) << p;
    EXPECT_EQ(rcof("lv"), 1u) << p;
    EXPECT_EQ(rcof("lw"), 1u) << p;
    EXPECT_EQ(tl.cdp, 0) << p;
  }
  // Successful paths leave nothing behind either.
  EXPECT_EQ(leak("{a:lv;b:a;(a;b;lw)}[0]"), 0u);
  EXPECT_EQ(leak("{n:0;do[1000;n+:100000000];n}[0]"), 0u);
  EXPECT_EQ(leak("{$[x;o x-1;lv]}[1000]"), 0u);
  EXPECT_EQ(leak("{a:lv;do[10;if[x>3;:(a;x)];x+:1];0}[0]"), 0u);  // return from a loop
  EXPECT_EQ(rcof("lv"), 1u);
}

// A thread in shared mode (parallel each) may not write globals.
TEST(VmRun, NoUpdateInSharedMode) {
  boot();
  ASSERT_TRUE(ev("gn0:1 2 3;gn1:5"));
  const char *writes[] = {"gn1:6", "gn1+:1", "gn0[0]:7", "gn2:gn0[0]:7", "{gn1::2}[0]"};
  for (const char *w : writes) {
    tl.rc_sync = 1;
    V r = ev(w);
    tl.rc_sync = 0;
    EXPECT_FALSE(r) << w;
    if (r) mr(r);
    EXPECT_EQ(errof(etext()).name, "noupdate") << w;
  }
  EXPECT_EQ(evi("gn1"), 5);
  EXPECT_EQ(evi("gn0[0]"), 1);
  EXPECT_EQ(rcof("gn0"), 1u);
  // Reads and locals are fine.
  tl.rc_sync = 1;
  V r = ev("{a:gn1;a+:1;a}[0]");
  tl.rc_sync = 0;
  ASSERT_TRUE(r);
  EXPECT_EQ(gl(r), 6);
}

// Source columns: each byte carries the column of the node that emitted
// it, counted from the lambda's "{".
TEST(VmCompile, ColumnMap) {
  boot();
  V f = comp("{a:x*y;a-1}");
  ASSERT_TRUE(f);
  const G *b = P(PA(f)[1]), *m = P(PA(f)[2]);
  U n = nx(PA(f)[1]);
  ASSERT_EQ(n, nx(PA(f)[2]));
  EXPECT_EQ(m[0], 255);
  std::string cols;
  for (U p = 1; p < n; p++)
    if (b[p] == oDYAD + 3 || b[p] == oDYAD + 2) cols += std::to_string(m[p]) + " ";
  EXPECT_EQ(cols, "4 8 ");  // the "*" and the "-"
  mr(f);
}

// Constants are shared by identity: equal value, equal type, equal bits.
TEST(VmCompile, ConstantSharing) {
  boot();
  struct {
    const char *src;
    U consts;
  } cases[] = {
      // a name in each list keeps it from folding into one constant
      {"{(x;1;1;1)}", 1},
      {"{(x;1.5;1.5)}", 1},
      {"{(x;0.0;-0.0)}", 2},  // different bits
      {"{(\"ab\";\"ab\";\"ac\";x)}", 2},
      {"{(`a;`a;`b;x)}", 2},
      {"{(1 2;1 2;1 3;x)}", 2},
      {"{(0n;0n;x)}", 1},
  };
  for (auto &c : cases) {
    V f = comp(c.src);
    ASSERT_TRUE(f) << c.src << etext();
    EXPECT_EQ(nx(f) - 4, c.consts) << c.src;
    mr(f);
  }
}

TEST(VmCompile, DisassemblerDecode) {
  boot();
  G code[] = {3, oCONST, oGETGLB, 0, 0, oAPPLY, 1, oEND};
  std::string o;
  EXPECT_EQ(dis1(code, 8, 1, o), 2u);
  EXPECT_EQ(dis1(code, 8, 2, o), 5u);
  EXPECT_EQ(dis1(code, 6, 5, o), 0u);  // the operand is missing
  EXPECT_EQ(o, "    1  CONST    #0\n    2  GETGLB   idx=0\n    5  APPLY    <truncated>\n");
  // A lambda's listing decodes its bytecode to the last byte.
  V f = comp("{a:x;$[a;o a-1;do[2;a+:1]];a}");
  ASSERT_TRUE(f);
  std::string l;
  EXPECT_EQ(dis(f, l), 1);
  mr(f);
}

TEST(VmTables, Fillers) {
  boot();
  V v = aCz("heap");
  for (U s : {29u, 30u, 31u}) {
    _r(v);
    EXPECT_FALSE(v1[s](v));
    EXPECT_EQ(errof(etext()).name, "nyi");
    EXPECT_TRUE(nyi1(s));
  }
  for (U s : {23u, 24u, 25u, 26u}) EXPECT_EQ(v2[s](ai(1), _r(v)), v);  // right argument back
  for (U s : {28u, 29u}) {
    EXPECT_FALSE(v2[s](ai(1), _r(v)));
    EXPECT_EQ(errof(etext()).name, "nyi");
  }
  V a[3] = {_r(v), ai(1), ai(2)};
  EXPECT_FALSE(v8[0](a, 3));
  EXPECT_EQ(errof(etext()).name, "nyi");
  a[0] = _r(v);
  EXPECT_FALSE(v8[30](a, 3));
  EXPECT_EQ(errof(etext()).name, "rank");
  EXPECT_EQ(hd(v)->rc, 5u);  // the four right-argument results still held
  for (int i = 0; i < 4; i++) mr(v);
  EXPECT_EQ(hd(v)->rc, 1u);
  mr(v);
  // Three arguments to ! and four: not built yet, and nothing crashes.
  if (V r = ev("!/[1;2;3]")) mr(r);
  EXPECT_EQ(errof(everr("![1;2;3]")).name, "nyi");
  EXPECT_EQ(errof(everr("![1;2;3;4]")).name, "nyi");
  EXPECT_EQ(errof(everr("?[1;2;3;4]")).name, "nyi");
}

TEST(VmTables, BuiltinNames) {
  boot();
  for (U i = 0; i < 107; i++) EXPECT_EQ(bnm[i], us(bnt[i])) << bnt[i];
  // The name search stops at the first match: exit is slot 72.
  U first = 107;
  for (U i = 0; i < 107 && first == 107; i++)
    if (bnm[i] == us("exit")) first = i;
  EXPECT_EQ(first, 72u);
  EXPECT_EQ(bnm[106], us("exit"));
  // Every name reaches its entry: err raises the named error.
  EXPECT_FALSE(sym1(us("err"), aCz("zz")));
  EXPECT_EQ(errof(etext()).name, "zz");
  EXPECT_FALSE(sym1(us("nosuch"), aCz("zz")));
  EXPECT_EQ(errof(etext()).name, "domain");
  EXPECT_FALSE(sym1(us("ga"), aCz("zz")));
  EXPECT_EQ(errof(etext()).name, "nyi");
  EXPECT_EQ(std::string(vn1[23]) + vn1[24] + vn1[25] + vn1[26], "lasiminimax::");
  EXPECT_EQ(std::string(vn2[25]) + vn2[26], "mklgap");
  for (U i = 0; i < 20; i++) EXPECT_EQ(vn1[i][0], vc[i]);
}

// Native functions: called with their arity, projected below it.
V nat1(V x) { return az(gl(x) * 10); }
V nat2(V x, V y) { return az(gl(x) - gl(y)); }
V nat3(V x, V y, V z) { return az(gl(x) + gl(y) * gl(z)); }
V native(void *f, U arity) { return ((V)tNATIVE << 56) | ((V)arity << 48) | (V)(uintptr_t)f; }

TEST(VmApply, Natives) {
  boot();
  V n1 = native((void *)nat1, 1), n2 = native((void *)nat2, 2), n3 = native((void *)nat3, 3);
  EXPECT_EQ(gl(_1(n1, ai(4))), 40);
  EXPECT_EQ(gl(_2(n2, ai(10), ai(3))), 7);
  V a[3] = {ai(1), ai(2), ai(3)};
  EXPECT_EQ(gl(_8(n3, a, 3)), 7);
  V p = _1(n2, ai(10));  // arity 2 given one: a projection
  ASSERT_EQ(tp(p), tPROJ);
  EXPECT_EQ(_K(p), 1);
  EXPECT_EQ(gl(_1(p, ai(4))), 6);
  mr(p);
  V b[3] = {ai(1), ai(2), ai(3)};
  EXPECT_FALSE(_8(n2, b, 3));
  EXPECT_EQ(errof(etext()).name, "rank");
  EXPECT_EQ(_K(n3), 3);
}

TEST(VmApply, ProjectionsAndValence) {
  boot();
  V f = comp("{x+y+z}");
  ASSERT_TRUE(f);
  EXPECT_EQ(_K(f), 3);
  V a[2] = {ai(1), GAP};
  V p = prj(f, a, 2);  // f[1;]
  ASSERT_TRUE(p);
  EXPECT_EQ(_K(p), 2);
  V q = _1(p, ai(2));  // f[1;2]
  ASSERT_TRUE(q);
  EXPECT_EQ(tp(q), tPROJ);
  EXPECT_EQ(_K(q), 1);
  EXPECT_EQ(gl(_1(q, ai(3))), 6);
  mr(q), mr(p);
  // A projection of 9 items (f and 8 arguments) is the largest.
  V g = comp("{[a;b;c;d;e;f;g;h]a+h}");
  V e8[8], e9[9];
  for (U i = 0; i < 8; i++) e8[i] = i == 7 ? GAP : ai((I)i);
  V r = prj(g, e8, 8);
  ASSERT_TRUE(r);
  EXPECT_EQ(nx(r), 9u);
  EXPECT_EQ(gl(_1(r, ai(100))), 100);
  for (U i = 0; i < 9; i++) e9[i] = ai((I)i);
  V s = prj(r, e9, 9);  // 9 more arguments appended: too many items
  EXPECT_FALSE(s);
  EXPECT_EQ(errof(etext()).name, "limit");
  mr(r), mr(g), mr(f);
  // Valence of the kinds of values.
  EXPECT_EQ(_K(mp1(3)), 1);
  EXPECT_EQ(_K(mp2(3)), 2);
  EXPECT_EQ(_K(imm(tADV, 1)), 1);
  EXPECT_EQ(_K(ai(3)), 0);
  // An adverb applied to a dyadic verb makes a derived verb; over and
  // scan of a dyadic verb take one argument.
  V d = _1(imm(tADV, 1), mp2(1));
  ASSERT_EQ(tp(d), tDERIV);
  EXPECT_EQ(hd(d)->adverb, 1);
  EXPECT_EQ(_K(d), 1);
  V e = _1(d, ev("1 2 3"));  // the derived verb folds
  ASSERT_TRUE(e) << etext();
  EXPECT_EQ(gl(e), 6);
  mr(d);
  // each with two arguments: the composition f g.
  V dec = comp("{x-1}");
  V c = _2(imm(tADV, 0), dec, comp("{x*2}"));
  ASSERT_EQ(tp(c), tCOMP);
  EXPECT_EQ(_K(c), 1);
  EXPECT_EQ(gl(_1(c, ai(5))), 9);
  mr(c), mr(dec);
}

TEST(VmApply, Dot) {
  boot();
  V f = comp("{x-y}");
  V args = ev("(10;3)");
  ASSERT_TRUE(args);
  EXPECT_EQ(gl(dot(f, args)), 7);
  V d0 = dot(f, _r(ce[tLIST]));  // no arguments: f itself
  EXPECT_EQ(d0, f);
  mr(d0);
  mr(f);
  EXPECT_EQ(gl(dot(mp1(0), ai(5))), 5);  // an atom is one argument
  V nine = ev("(1;2;3;4;5;6;7;8;9)");
  EXPECT_FALSE(dot(mp2(1), nine));
  EXPECT_EQ(errof(etext()).name, "limit");
}

}  // namespace
}  // namespace zk
