// tables.cpp: the monadic, dyadic and n-adic verb tables (v1 v2 v8) and the
// builtin table (bnm names, bfn functions).  Every table is generated from
// one list below, so a slot's shown name, its kernel and its binding can
// never drift apart.  Slots whose kernel is not built are bound to the
// table's filler: en (monadic, builtins), no2 (dyadic), no8 (n-adic); each
// releases what the calling convention gives it and fails with 'nyi.
#include "eval/tables.h"
#include "eval/eval.h"
#include "capi/capi.h"
#include "core/diag.h"
#include "core/err.h"
#include "eval/parse.h"
#include "io/io.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"
#include "shell/shell.h"
#include "table/table.h"

namespace zk {

// X(slot, shown name, kernel, bound function)
#define ZK_V1(X)                                                                      \
  X(0, ":", sam, sam) X(1, "+", flp, flp) X(2, "-", neg, neg) X(3, "*", fir, fir)       \
  X(4, "%", sqr, sqr) X(5, "!", til, til) X(6, "&", whr, whr) X(7, "|", rev, rev)        \
  X(8, "<", asc, asc) X(9, ">", dsc, dsc) X(10, "=", grp, grp) X(11, "~", not_, not_)      \
  X(12, ",", enl, enl) X(13, "^", nul, nul) X(14, "#", len, len) X(15, "_", flr, flr)    \
  X(16, "$", str, str) X(17, "?", unq, unq) X(18, "@", typ, typ) X(19, ".", val, val)    \
  X(20, "0:", u0c, u0c) X(21, "1:", u1c, u1c) X(22, "2:", u2c, en)                     \
  X(23, "las", las, las) X(24, "imin", imn, imn) X(25, "imax", imx, imx)                \
  X(26, "::", out, out) X(27, "srt", srtC, srtC) X(28, "srtd", srtdC, srtdC)               \
  X(29, "", en, en) X(30, "", en, en) X(31, "", en, en)

#define ZK_V2(X)                                                                      \
  X(0, ":", dex, dex) X(1, "+", add, add) X(2, "-", sub, sub) X(3, "*", mul, mul)    \
  X(4, "%", dvd, dvd) X(5, "!", exc, exc) X(6, "&", mnu, mnu) X(7, "|", mxu, mxu)    \
  X(8, "<", ltu, ltu) X(9, ">", gtu, gtu) X(10, "=", eql, eql) X(11, "~", mtc, mtc)  \
  X(12, ",", cat, cat) X(13, "^", crt, crt) X(14, "#", hsh, hsh) X(15, "_", und, und) \
  X(16, "$", dlr, dlr) X(17, "?", que, que) X(18, "@", _1, _1) X(19, ".", dot, dot)  \
  X(20, "0:", v0c, v0c) X(21, "1:", v1c, v1c) X(22, "2:", v2c, v2c)                  \
  X(23, "3:", dex, dex) X(24, "4:", dex, dex) X(25, "mkl", dex, dex)                 \
  X(26, "gap", dex, dex) X(27, "cmpr", cmprC, cmprC) X(28, "", no2, no2)               \
  X(29, "", no2, no2) X(30, "ins", ins2, no2) X(31, "ech", ech2, ech2)

#define ZK_V8(X)                                                                      \
  X(0, "", no8, no8) X(1, "", no8, no8) X(2, "", no8, no8) X(3, "", no8, no8)        \
  X(4, "", no8, no8) X(5, "!", bng, no8) X(6, "", no8, no8) X(7, "", no8, no8)       \
  X(8, "", no8, no8) X(9, "", no8, no8) X(10, "", no8, no8) X(11, "", no8, no8)      \
  X(12, "", no8, no8) X(13, "", no8, no8) X(14, "", no8, no8) X(15, "", no8, no8)    \
  X(16, "", no8, no8) X(17, "?", ins, ins) X(18, "@", a8q, a8q) X(19, ".", d8, d8)    \
  X(20, "", no8, no8) X(21, "", no8, no8) X(22, "", no8, no8) X(23, "", no8, no8)    \
  X(24, "", no8, no8) X(25, "", no8, no8) X(26, "", no8, no8)                        \
  X(27, "fred", fredC, fredC) X(28, "fma", fmaC, fmaC) X(29, "fms", fmsC, fmsC)          \
  X(30, "", ins8, ins8) X(31, "ech", ech8, ech8)

// The builtin ech gives the each verb itself, dyadic slot 31.
static V echB(V x) {
  mr(x);
  return imm(tDYAD, 31);
}

// X(slot, name, bound function).  Slots 72 and 106 both carry the name
// exit; the name search stops at the first, so 106 is reached only by
// its slot.
#define ZK_BI(X)                                                                        \
  X(0, "k", kst) X(1, "j", js1) X(2, "p", qp) X(3, "t", qt) X(4, "x", frk)                \
  X(5, "hex", hex) X(6, "err", errC) X(7, "argv", qa) X(8, "env", qe) X(9, "dlt", dltC)   \
  X(10, "js", qjs) X(11, "pri", qpri) X(12, "prng", prng) X(13, "sin", ksin)                  \
  X(14, "cos", kcos) X(15, "exp", kexp) X(16, "ln", klog) X(17, "fb", qfb) X(18, "sa", qsa)    \
  X(19, "ua", qua) X(20, "pa", qpa) X(21, "ga", qga) X(22, "at", qat) X(23, "pe", peachC)      \
  X(24, "ema", emaC) X(25, "wj", en) X(26, "mkd", mkdt) X(27, "mkt", mktm)                \
  X(28, "mkp", mknp) X(29, "plt", plotC) X(30, "cdl", candleC) X(31, "aex", aex)                  \
  X(32, "aim", aim) X(33, "bi", en) X(34, "aj", en) X(35, "arn", en) X(36, "dgn", en)   \
  X(37, "simd", en) X(38, "vmd", en) X(39, "para", en) X(40, "csvr", en)               \
  X(41, "csv0", en) X(42, "csvx", en) X(43, "astt", en) X(44, "diag", diagC)           \
  X(45, "ajs", en) X(46, "wjb", en) X(47, "mw", mwC) X(48, "xs", xsC) X(49, "srt", qsrt)   \
  X(50, "rdl", rdlC) X(51, "sbb", sbbC) X(52, "sbt", sbtC) X(53, "wsm", wsmC)                  \
  X(54, "memb", membC) X(55, "gagg", en) X(56, "sumn", sumnT) X(57, "ejx", en)               \
  X(58, "cvm", cvmC) X(59, "prn", prnT) X(60, "hnl", hnlT) X(61, "abs", kabs)                  \
  X(62, "wcol", en) X(63, "rcol", en) X(64, "fsz", en) X(65, "ldir", en)               \
  X(66, "wtn", wtnT) X(67, "senc", sencT) X(68, "hh", hhC) X(69, "mm", mmC) X(70, "sec", secC)  \
  X(71, "tjn", tjnC) X(72, "exit", qx) X(73, "lk", lkT) X(74, "ins", en)                  \
  X(75, "wmul", wmulT) X(76, "qmc", qmcT) X(77, "nsd", nsdT) X(78, "ewt", ewtT)                 \
  X(79, "ech", echB) X(80, "tan", ktan) X(81, "asin", kasn) X(82, "acos", kacs)                \
  X(83, "atan", katn) X(84, "qst", qstT) X(85, "md5", md5T) X(86, "qes", qesT)                 \
  X(87, "qeg", qegT) X(88, "rnd", rndT) X(89, "minv", minvT) X(90, "mku", mkmn)                 \
  X(91, "mkv", mksc) X(92, "mkm", mkmo) X(93, "mkn", mksp) X(94, "dmo", dmoC) X(95, "mod", modC) \
  X(96, "fdv", fdvC) X(97, "qho", qho) X(98, "qhc", qhc) X(99, "qlog", qlog)                 \
  X(100, "ser", ser8) X(101, "des", des9) X(102, "tzo", qtzo) X(103, "wcq", en)              \
  X(104, "trv", trvC) X(105, "hdel", hdel) X(106, "exit", en)

#define ZK_FN(s, g, k, f) f,
#define ZK_SHOWN(s, g, k, f) g,
#define ZK_KERNEL(s, g, k, f) #k,

const F1 v1[32] = {ZK_V1(ZK_FN)};
const F2 v2[32] = {ZK_V2(ZK_FN)};
const F8 v8[32] = {ZK_V8(ZK_FN)};
const char *const vn1[32] = {ZK_V1(ZK_SHOWN)};
const char *const vn2[32] = {ZK_V2(ZK_SHOWN)};
const char *const vn8[32] = {ZK_V8(ZK_SHOWN)};
const char *const vk1[32] = {ZK_V1(ZK_KERNEL)};
const char *const vk2[32] = {ZK_V2(ZK_KERNEL)};
const char *const vk8[32] = {ZK_V8(ZK_KERNEL)};

#define ZK_BNAME(s, n, f) pk4(n),
#define ZK_BFN(s, n, f) f,
#define ZK_BTEXT(s, n, f) n,
const I bnm[107] = {ZK_BI(ZK_BNAME)};
const F1 bfn[108] = {ZK_BI(ZK_BFN) ed};
const char *const bnt[108] = {ZK_BI(ZK_BTEXT) ""};

// The lists must give exactly one row per slot, in slot order.
#define ZK_ORD(s, ...) s,
namespace {
constexpr int o1[] = {ZK_V1(ZK_ORD)}, o2[] = {ZK_V2(ZK_ORD)}, o8[] = {ZK_V8(ZK_ORD)},
              ob[] = {ZK_BI(ZK_ORD)};
template <int N> constexpr bool inorder(const int (&o)[N]) {
  for (int i = 0; i < N; i++)
    if (o[i] != i) return false;
  return true;
}
static_assert(sizeof o1 / sizeof *o1 == 32 && inorder(o1));
static_assert(sizeof o2 / sizeof *o2 == 32 && inorder(o2));
static_assert(sizeof o8 / sizeof *o8 == 32 && inorder(o8));
static_assert(sizeof ob / sizeof *ob == 107 && inorder(ob));
// Packed names are the ids the language gives them: short names only.
constexpr bool short_names() {
  const char *n[] = {ZK_BI(ZK_BTEXT)};
  for (const char *s : n) {
    int l = 0;
    while (s[l]) l++;
    if (l < 1 || l > 4 || (l == 4 && (G)s[3] >= 0x80)) return false;
  }
  return true;
}
static_assert(short_names());
static_assert(pk4("abs") == 0x736261 && pk4("exit") == 0x74697865);
}  // namespace

bool nyi1(U s) { return s < 32 && v1[s] == (F1)en; }
bool nyi2(U s) { return s < 32 && v2[s] == (F2)no2; }
bool nyi8(U s) { return s < 32 && v8[s] == (F8)no8; }
bool nyib(U s) { return s < 107 && bfn[s] == (F1)en; }

const char *const adg[6] = {"'", "/", "\\", "':", "/:", "\\:"};
const char *const adn[6] = {"Each", "Over/Reduce", "Scan", "Each-Prior", "Each-Right", "Each-Left"};

}  // namespace zk
