// parse.h: the parser.  Source text becomes a parse tree of ordinary
// values, read right to left by recursive descent over the process-wide
// cursor `pz.s` (eval/lit.h); lambda literals are compiled as they are
// read, so the tree holds them as finished functions.
//
// Tree nodes: constants stand for themselves; a name is a symbol vector of
// 1..8 parts whose header `column` holds its source column; a quote is a
// one-item list (that item as a constant); an application is a list
// (f; a1; ...; an) in which GAP marks an elided argument; a Block is
// (GAP; s1; ...; sn); a List literal is (MKL; a1; ...; an); a derived verb
// is (adverb; operand); a composition is (each adverb; f; g); `do` and
// `while` loops are headed by the adverb immediates of codes 30 and 31.
// Columns are byte offsets from the statement start, or from the opening
// brace inside a lambda literal, modulo 256.
//
// Names: pk_ = parse statements, pb = parse a list of expressions, pe_ =
// parse one expression, zkcg = the items of a table or dict literal,
// isparm = is a name an explicit parameter, pm = monadic form of a term,
// qp = the builtin p.
#pragma once
#include "core/core.h"

namespace zk {

// Statements from *cursor up to term ('\n' for one line of evaluation, 0
// for a whole text): the tree, a single statement unwrapped; *cursor moves
// past what was read.  On failure renders the diagnostic, appends the line
// with a caret under the failing position to the error text, leaves
// *cursor there and returns 0.  Takes g_parse_mx in shared mode.
V pk_(const char **cursor, char term);

// Expressions separated by ';' or newline up to term, as a list starting
// with head (consumed; 0 starts from the empty list).  term ']' is the
// bracket form: empty items are elided arguments (GAP).
V pb(V head, char term);

// One expression; left is a noun already read to the left of the cursor
// (consumed) or 0.  Gives the node, GAP when there is nothing to parse, or
// 0; *fn tells whether the expression ends in a verb with nothing right.
V pe_(V left, G *fn);

// The items "name: expr" of a table or dict literal up to term, as the
// node (!; quote names; (MKL; e1; ...)); *count gets the item count.
V zkcg(char term, U *count);

bool isparm(const char *text, U n);
bool isloc(const char *text, U n);
V pm(V x);   // consumes x
V qp(V x);   // builtin p: char vector (consumed) to its parse tree

}  // namespace zk
