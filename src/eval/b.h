// b.h: the bytecode compiler's state and routines, shared with the code
// that rewrites trees and emits code into the same buffers (fold.cpp:
// constant folding, shift-pair idioms, fusion recognition).  One
// compilation runs at a time in the whole process; callers in shared mode
// hold g_parse_mx.
//
// Names: b code, m column map, nb next free position, u the lambda being
// built, l local names, nl their count, lu last read of each local, cdo
// depth of do loops, lim a limit was exceeded, fzno fusion off, fzu a
// FUSED instruction was kept, np parameter count.  Node compilers return
// -1 on success, else the source column of the failing node.
#pragma once
#include <initializer_list>

#include "eval/eval.h"

namespace zk {

struct Cs {
  G b[2048];  // b[0]: deepest operand stack; code from b[1]
  G m[2048];  // m[0] = 255; then the column of each code byte
  I nb;       // 1.. ; saturates at 2047 so no write leaves the buffers
  V u;        // (text; ::; ::; ::; constants...)
  I l[16], nl;
  I lu[16];   // position of the last GETLOC of each local, or -1
  I cdo;
  I np;
  G lim, fzno, fzu;
};
extern Cs cs;

void ob(G x, G c);        // emit one byte with its column
I cr(V x, I want);        // compile a node; its value stays on the stack when wanted
U cc(V k, G c);           // emit CONST k (shared with an identical constant); its position
U ck(V k);                // index of constant k among the lambda's constants
I li(I id);               // local index (recording a read here), or -1
bool cid(V a, V b);       // identity of two constants
G col(V x);               // source column of a node
bool plusover(V h);       // +/ as a parse node or as the folded derived verb
bool counteach(V h);      // #' likewise
bool dyn(V x, std::initializer_list<U> set);  // (c; a; b), c a dyadic primitive of set

// ---- rewrites of fold.cpp, called by the compiler ----
V cf(V tree);             // constant folding: consumes the tree, 0 on failure
I shp(V x, G c, I want);  // shift-pair idioms: -2 when the node is not one
V shv(V x, J n);          // v of the node (`_`; n; v), borrowed, or 0
I shpair(V x, V y);       // 0: (1_v) op (-1_v), 1: (-1_v) op (1_v), else -1
I fzc(V x, G c);          // fusion: -2 when the node is not compiled fused
bool fzt(V x, I &ops, I &names, I root);       // is the expression fusable
bool fzp(V x, G *b, I &p, V &k, G &last);     // write its program
// Test hook: nonzero compiles every lambda without fusion, the reference
// the fused code is checked against.
extern G fzoff;

}  // namespace zk
