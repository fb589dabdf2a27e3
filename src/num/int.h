// int.h: the integer kernels of the arithmetic and comparison verbs.
//
// One logical integer type is stored at the narrowest of four widths
// (byte, short, int, long; width class 0..3).  Arithmetic works at the
// wider operand's width and, when any item overflows, runs again one width
// wider, up to long, where it wraps; only long storage has a null (0N),
// which propagates through + - *.  Char vectors count as signed bytes and
// symbol vectors (for =) as int vectors of their ids.
//
// Names: the letters after a verb name give the operand kinds, Z an
// integer vector, z an atom value (a signed 64-bit number), E a range, Q
// the modulus with its null and zero rules; compare kernels end in the
// item width G H I L (8 16 32 64 bits), upper case for vector against
// vector, lower case for an atom against a vector.  add sub mul = + - *;
// mmm = minimum (op 6) or maximum (op 7); cmp = < > = (op 8 9 10); dvd = %;
// mod = the modulus; inv = bitwise complement; cZ = integer width cast.
//
// Ownership: x is borrowed, y (and the range r, and the vector of inv) is
// consumed; every result is a new reference or 0 (a failing cast; every
// temporary is released first).  Kernels of + - & | write into y when it
// is unshared (clearing its attribute); * and the comparisons allocate.
//
// Above 1,048,575 items every element-wise kernel here (casts included)
// runs on the persistent pool through the shared element-wise runner of
// flt.h; results, and the decision to widen, never depend on the number of
// threads.
#pragma once
#include "core/core.h"

namespace zk {

// Width class 0..3 of an integer-like vector type (char 0, symbol 2).
ZK_INLINE int wc(int t) { return Tw[t] - 3; }

// Integer vector (types 4..7, char 9, symbol 10) cast to the integer
// vector type t (4..7); consumes x.  Widening sign-extends, narrowing keeps
// the low bits; x itself when it already has type t; a char vector becomes
// a byte vector (retyped in place when unshared).
V cZ(int t, V x);

// ---- arithmetic with widening (int.cpp) ----
// Vectors of equal count (the dispatcher checks counts).
V addZZ(V x, V y, I op = 1);
V subZZ(V x, V y, I op = 2);
V mulZZ(V x, V y, I op = 3);
V mmmZZ(V x, V y, I op);  // op 6 minimum, 7 maximum
// Atom value a with a vector; a vector minus an atom is addzZ(-b, x).
V addzZ(J a, V y, I op = 1);
V subzZ(J a, V y, I op = 2);  // a - y[i]
V mulzZ(J a, V y, I op = 3);
V mmmzZ(J a, V y, I op);
// The range r shifted by a, without materialising it when the shift stays
// inside 64 bits and no null is involved.
V addzE(J a, V r);
// Bitwise complement of every item, in place when unshared.
V inv(V x);
// Register width in bytes of the kernels above: 32 (AVX2) on processors
// that have it, found at the first call, else 16.  izw(16) or izw(32)
// selects one for later calls (32 only where supported), izw(0) changes
// nothing; each returns the width in force before.  Both widths give the
// same results; this lets tests and benchmarks compare them.
int izw(int b);

// ---- comparison, division, modulus (icmp.cpp) ----
V cmpZZ(V x, V y, I op);  // byte vector of x[i] op y[i], op 8 9 10
V cmpzZ(J a, V y, I op);  // byte vector of a op y[i]
V dvdZZ(V x, V y, I op = 4);  // float vector x[i] / y[i]
V dvdzZ(J a, V y, I op = 4);  // float vector a / y[i]
// y[i] modulo a in [0, a) for a > 0, floor(y[i] / -a) for a < 0, y itself
// for a = 0, all 0N for a = 0N; a long null item of y stays 0N.
V modzQ(J a, V y, I op = 5);
V modzZ(J a, V y);  // the same for a nonzero, not 0N, without the null rule

// Compare kernels: out[i] = 1 or 0 as bytes.  They run over whole 32-byte
// blocks of their vector inputs and may write up to 31 bytes past n (the
// data area of every vector is a multiple of 64 bytes).
typedef void (*cmpvk)(const void *l, const void *r, G *out, UJ n);
typedef void (*cmpak)(J a, const void *v, G *out, UJ n);
void ltnG(const void *l, const void *r, G *out, UJ n);
void ltnH(const void *l, const void *r, G *out, UJ n);
void ltnI(const void *l, const void *r, G *out, UJ n);
void ltnL(const void *l, const void *r, G *out, UJ n);
void eqlG(const void *l, const void *r, G *out, UJ n);
void eqlH(const void *l, const void *r, G *out, UJ n);
void eqlI(const void *l, const void *r, G *out, UJ n);
void eqlL(const void *l, const void *r, G *out, UJ n);
void ltng(J a, const void *v, G *out, UJ n);  // a < v[i]
void ltnh(J a, const void *v, G *out, UJ n);
void ltni(J a, const void *v, G *out, UJ n);
void ltnl(J a, const void *v, G *out, UJ n);
void gtng(J a, const void *v, G *out, UJ n);  // a > v[i]
void gtnh(J a, const void *v, G *out, UJ n);
void gtni(J a, const void *v, G *out, UJ n);
void gtnl(J a, const void *v, G *out, UJ n);
void eqlg(J a, const void *v, G *out, UJ n);
void eqlh(J a, const void *v, G *out, UJ n);
void eqli(J a, const void *v, G *out, UJ n);
void eqll(J a, const void *v, G *out, UJ n);
// cmp_vv[class] <, cmp_vv[class + 4] =; cmp_av[class + 4 x (op - 8)].
extern const cmpvk cmp_vv[8];
extern const cmpak cmp_av[12];

}  // namespace zk
