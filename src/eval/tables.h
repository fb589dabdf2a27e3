// tables.h: the verb tables v1 v2 v8 and the builtin table, as one list
// per table from which tables.cpp generates both the names and the
// dispatch.  A primitive immediate carries its slot: type 29 selects v1,
// type 30 selects v2 (and v8 for three or more arguments).  Slot numbers
// follow the glyph string vc; slots 20..22 are the file verbs 0: 1: 2:,
// slots 23 and above are reached only through the compiler's idioms and as
// values.
//
// Each row is X(slot, shown name, kernel, bound function): the shown name
// is what the AST viewer and the disassembler print, the kernel is the
// function that belongs in the slot, and the bound function is what the
// slot calls today.  A slot whose kernel is not built yet is bound to the
// filler of its table (en, no2, no8), which releases what it owns and
// fails with 'nyi; binding the real kernel is a one-word change of its row.
#pragma once
#include "eval/eval.h"

namespace zk {

inline constexpr char vc[] = ":+-*%!&|<>=~,^#_$?@.0123456";

// Symbol id of a name of 1..4 ASCII bytes: its bytes packed little-endian.
constexpr I pk4(const char *s) {
  U v = 0;
  for (int i = 0; i < 4 && s[i]; i++) v |= (U)(G)s[i] << (8 * i);
  return (I)v;
}

// Slot values of the primitives the compiler and the parser name.
inline constexpr V GAP = ((V)tDYAD << 56) | 26;  // `gap`: holes, Block heads
inline constexpr V MKL = ((V)tDYAD << 56) | 25;  // `mkl`: List heads
ZK_INLINE V mp1(U slot) { return imm(tMONAD, slot); }
ZK_INLINE V mp2(U slot) { return imm(tDYAD, slot); }

// Shown names, indexed by slot.
extern const char *const vn1[32];
extern const char *const vn2[32];
extern const char *const vn8[32];
extern const char *const bnt[108];  // builtin names as text ("" for 107)
// Kernel names, indexed by slot: what each verb slot is meant to call.
extern const char *const vk1[32];
extern const char *const vk2[32];
extern const char *const vk8[32];

// Whether a slot is still bound to its table's 'nyi filler.
bool nyi1(U slot);
bool nyi2(U slot);
bool nyi8(U slot);
bool nyib(U slot);

// Adverb names and glyphs by code 0..5 (each, over, scan, each-prior,
// each-right, each-left).
extern const char *const adg[6];
extern const char *const adn[6];

}  // namespace zk
