// vm.h: the compiled lambda, the instruction set and the VM `run`.
//
// Compiled lambda (type 25): a general list owning its slots; the header's
// valence byte is the parameter count (0 for a statement, 1..8 a lambda).
//
//   slot 0  source text (char vector): the statement, or "{" .. "}"
//   slot 1  bytecode (char vector): byte 0 the deepest operand stack
//           (0..255), then instructions, the last one END
//   slot 2  column map (char vector, same length): byte 0 is 255, then the
//           source column (mod 256) of the node that emitted each byte
//   slot 3  local names (symbol vector): parameters, then locals by first
//           assignment, at most 14
//   slot 4+ constants, in order of first use, at most 125
//
// Instruction set (operands follow the opcode, u16 little-endian):
//
//   op       name       operands             stack     action
//   -------  ---------  -------------------  --------  ---------------------------------
//   0        END                                       return the top value
//   1-30     MONAD                           1 -> 1    top = v1[op](top)
//   31       FUSED      skip, const, local   0 -> 0/1  fused value, then skip the fallback
//   32-63    DYAD                            2 -> 1    v2[op-32](top, below)
//   64-79    SETLOC                          1 -> 0    local[op-64] = pop
//   80-95    GETLOC                          0 -> 1    push local[op-80] (shared)
//   96-111   DELLOC                          0 -> 1    push local[op-96], empty it (moved)
//   112      APPLY      n                    n+1 -> 1  _8(top, the n below, n)
//   113      PROJECT    n                    n+1 -> 1  prj(top, the n below, n)
//   114      MODASN     local u16, dyad      1 -> 0    local = v2[dyad](local, pop)
//   115      MODASNG    global u16, dyad     1 -> 0    the same on a global
//   116      IDXASN     local u16, dyad      2 -> 0    amend local at index list top
//   117      IDXASNG    global u16, dyad     2 -> 0    the same on a global
//   118      IDXGET     local u16, dyad      2 -> 1    IDXASN, then push the amended part
//   119      IDXGETG    global u16, dyad     2 -> 1    IDXASNG, then push the amended part
//   120      GETGLB     global u16           0 -> 1    push the global (shared)
//   121      SETGLB     global u16           1 -> 0    global = pop
//   122      LIST       n                    n -> 1    top first, squeezed
//   123      UNLIST     n                    1 -> 1+n  push items n-1 .. 0 (0 on top)
//   124      BRANCH     d                    1 -> 0    skip d bytes unless tru(pop)
//   125      JUMP       d                              skip d bytes
//   126      RECUR                           0 -> 1    push the running lambda
//   127      POP                             1 -> 0    release the top
//   128      CONSTDYAD  const, dyad          1 -> 1    top = v2[dyad](const, top)
//   129      LOOP       d u16                          back to (after operands) - d
//   130-254  CONST                           0 -> 1    push constant op-130 (shared)
//
// Distances of BRANCH and JUMP count from the byte after the operand.
// The operand stack grows down from the end of the frame, so the n
// arguments of APPLY sit in memory in argument order right after f.
#pragma once
#include "eval/eval.h"

#include <string>

namespace zk {

enum : G {
  oEND = 0, oMONAD = 1, oFUSED = 31, oDYAD = 32, oSETLOC = 64, oGETLOC = 80, oDELLOC = 96,
  oAPPLY = 112, oPROJECT = 113, oMODASN = 114, oMODASNG = 115, oIDXASN = 116,
  oIDXASNG = 117, oIDXGET = 118, oIDXGETG = 119, oGETGLB = 120, oSETGLB = 121,
  oLIST = 122, oUNLIST = 123, oBRANCH = 124, oJUMP = 125, oRECUR = 126, oPOP = 127,
  oCONSTDYAD = 128, oLOOP = 129, oCONST = 130
};

inline constexpr int max_call_depth = 2048;

// Stack effect of opcodes 0..130 (every CONST uses row 130): the depth
// changes by ds[op] + ks[op] * (first operand byte); di[op] operand bytes
// follow.  Upper bounds: APPLY, PROJECT, IDXASN, IDXASNG count one more
// than they leave.
extern const int8_t ds[131], ks[131], di[131];

// Opcode of a byte for the tables above.
ZK_INLINE int orow(G op) { return op >= oCONST ? (int)oCONST : (int)op; }

// Listing of a compiled lambda: locals, constants (each shown by kf, or by
// a short built-in form when kf is 0) and one line per instruction.
// Returns 1 when the decode ended exactly at the end of the bytecode.
using Kfmt = void (*)(V k, std::string &out);
int dis(V f, std::string &out, Kfmt kf = nullptr);
// One instruction at offset p of the bytecode b (n bytes): appends its
// line; returns the offset of the next instruction, or 0 when truncated.
U dis1(const G *b, U n, U p, std::string &out);

}  // namespace zk
