// flt.h: float element-wise kernels (+ - * % & | < > = on float vectors)
// and the one runner that splits any element-wise job over the pool.
//
// The runner: a driver fills a `pew_job` in its own frame and, above
// 1,048,575 items, posts it with min(T, n / 262,144, 64) workers (T read
// afresh at every call); worker i takes one run of whole granules, so every
// item is computed the same way whoever computes it and results never
// depend on the number of workers.  Job kinds: 0 vector with vector
// (kernel(src1, src2, dst, m)), 1 integer atom with vector, 2 doubles to
// doubles with a float scalar, 3/4 float < > of two vectors / of a vector
// and a scalar with a suspect-data flag per worker, 5 scalar minus
// vector, 6 doubles to bytes with a float scalar.  Job kernels touch only
// the memory the job describes: no values, counts, thread-local block or
// error text.
//
// Names: pk3 kind-0 driver, pk1 kind 1, pkf kind 2, psubs kind 5, pkg
// kind 6 and pkfg the float `=` driver on it, pcmpv/pcmps kinds 3/4;
// pew_t the worker count for n items, pew_w the pool task.  Scalar kernels
// fz<op>: add, mul, dvl (scalar / item), dvr (item / scalar).  Block
// kernels aFF sFF mFF dFF (4 doubles a block) in ff_k by operator code - 1.
// Float `=`: eqvvk (vector, vector) and eqsvk (vector, scalar), NaN equal
// to NaN and -0.0 equal to 0.0.  Float order (every NaN one value below
// -0w, the two zeros one value): lto/gto less/greater, mno/mxo minimum and
// maximum, FF vector with vector, Ff vector with scalar; a NaN result is
// 0x7FF8000000000000 and a zero result +0.0.
//
// Value-level entries (names: f a float atom value, F a float vector; the
// vector written first when it is the consumed one): the consumed float
// vector receives the result in place when its count is 1 (attribute
// cleared), otherwise a new vector is made and the argument released;
// borrowed arguments are never written.  Failures return 0 with the
// error text set ('length for vectors of different counts, y released).
#pragma once
#include "core/core.h"
#include "num/int.h"

namespace zk {

// ---- the element-wise runner ----
inline constexpr UJ PEW_SERIAL = 0xFFFFF;  // at most this many items: serial
inline constexpr int PEW_SHIFT = 18;       // one worker per 262,144 items

typedef void (*k3f)(const void *a, const void *b, void *out, UJ m);  // kind 0
typedef void (*k3g)(const void *a, const void *b, G *out, UJ m);     // kind 0, byte result
typedef void (*k1f)(J a, const void *v, G *out, UJ m);               // kind 1
typedef void (*kff)(const F *src, F *dst, UJ n, F x);                // kind 2
typedef void (*kfg)(const F *src, G *dst, UJ n, F x);                // kind 6

struct pew_job {
  union {
    const void *p;
    k3f k3;
    k3g g3;
    k1f k1;
    kff kf;
    kfg kg;
  } kernel;
  const void *src1, *src2;
  void *dst;
  UJ scalar;       // kind 1: the atom; kinds 3, 4: low 32 bits the direction
  F fscalar;       // kinds 2, 4, 5, 6
  U nitems;        // items (kind 0: whatever the driver counts)
  U granule;       // items per granule: the unit of division
  U size1, size2, size_dst;  // bytes per item (kinds 0 and 1)
  I nworkers;
  I kind;
  I g3_;           // kind 0 with a byte-result kernel (kernel.g3)
  I flags[64];     // one per worker (kinds 3 and 4)
};

// Workers for a job standing for n values: 1 (serial) up to 1,048,575,
// else min(T, n >> 18, 64).
int pew_t(UJ n);
// The pool task: worker i of job (a pew_job *) does its run.
void pew_w(void *job, int i);

// Drivers: serial up to 1,048,575 values, else one job on the pool.  Byte
// results whose destination overlaps a source always run serially.
void pk3(k3f kernel, const void *src1, const void *src2, void *dst, U nitems, U granule, U size1,
         U size2, U size_dst, UJ n);
void pk3(k3g kernel, const void *src1, const void *src2, G *dst, U nitems, U granule, U size1,
         U size2, U size_dst, UJ n);
// kernel(a, src + k x size1, dst + k, m): integer atom with a vector.
void pk1(k1f kernel, J a, const void *src, G *dst, U n, U size1);
void pkf(kff kernel, const F *src, F *dst, U n, F x);
void psubs(const F *src, F *dst, U n, F x);  // dst[i] = x - src[i]
void pkg(kfg kernel, const F *src, G *dst, U n, F x);
void pkfg(const F *v, G *out, U n, F x);  // out[i] = v[i] = x (float `=`)
// out[i] = a[i] > b[i] (greater) or a[i] < b[i], IEEE; *flag nonzero when
// any item was NaN or -0.0 (the bytes are then not the language's order).
void pcmpv(const F *a, const F *b, G *out, U n, I greater, I *flag);
// out[i] = v[i] > x (greater) or v[i] < x; the flag also covers x.
void pcmps(const F *v, G *out, U n, I greater, I *flag, F x);

// ---- kernels (src and dst may be the same array) ----
void fzadd(const F *src, F *dst, UJ n, F x);  // src[i] + x
void fzmul(const F *src, F *dst, UJ n, F x);  // src[i] * x
void fzdvl(const F *src, F *dst, UJ n, F x);  // x / src[i]
void fzdvr(const F *src, F *dst, UJ n, F x);  // src[i] / x
// out[i] = a[i] op b[i] over 4 x blocks doubles.
void aFF(const void *a, const void *b, void *out, UJ blocks);
void sFF(const void *a, const void *b, void *out, UJ blocks);
void mFF(const void *a, const void *b, void *out, UJ blocks);
void dFF(const void *a, const void *b, void *out, UJ blocks);
extern const k3f ff_k[4];
// Float `=` into bytes.
void eqvvk(const void *a, const void *b, void *out, UJ n);
void eqsvk(const F *a, G *out, UJ n, F x);
// Float order into bytes: a[i] < b[i], a[i] > b[i]; v[i] < x, v[i] > x.
void ltoFF(const void *a, const void *b, void *out, UJ n);
void gtoFF(const void *a, const void *b, void *out, UJ n);
void ltoFf(const F *v, G *out, UJ n, F x);
void gtoFf(const F *v, G *out, UJ n, F x);
// Float order minimum and maximum.
void mnoFF(const void *a, const void *b, void *out, UJ n);
void mxoFF(const void *a, const void *b, void *out, UJ n);
void mnoFf(const F *v, F *out, UJ n, F x);
void mxoFf(const F *v, F *out, UJ n, F x);

// ---- value level: float vectors; x borrowed, y consumed ----
V addfF(V y, F x);  // y[i] + x
V mulfF(V y, F x);  // y[i] * x
V subfF(V y, F x);  // x - y[i]
V dvdfF(V y, F x);  // x / y[i]
V subFf(V x, F y);  // x[i] - y, as x[i] + -y, into a new vector
V dvdFf(V x, F y);  // x[i] / y, into a new vector
V amdFF(V x, V y, I op);  // x[i] op y[i], op 1 + 2 - 3 * 4 %
V mmmFF(V x, V y, I op);  // op 6 minimum, 7 maximum, by the float order
V mmmfF(F a, V y, I op);  // min or max of a and y[i]
// Byte vectors (type 4) of 0 and 1, op 8 <, 9 >, 10 =; y released.
V cmpFF(V x, V y, I op);  // x[i] op y[i]
V cmpfF(F a, V y, I op);  // a op y[i]

}  // namespace zk
