// values.cpp: building, inspecting, converting and releasing values
// through the C interface, and globals by name.  Arguments are borrowed,
// results are new references; inspection entries answer -1, 0, NULL or
// ok = 0 for what they do not cover.
#include <cmath>
#include "capi/capi.h"
#include "capi/capi_int.h"
#include "eval/eval.h"
#include "core/err.h"
#include "core/sym.h"
#include "list/list.h"

using namespace zk;

#define ZK_EXPORT extern "C" __attribute__((visibility("default")))

namespace zk {

// Internal 0..10 keep their number, 11..17 (temporal vectors) add 22,
// 18 and above subtract 7.
int pubt(int t) { return t <= 10 ? t : t <= 17 ? t + 22 : t - 7; }

// Counts and widths above 32 bits cannot be held by an item count: refuse
// them rather than truncate.
static bool badn(long long n) { return n < 0 || (unsigned long long)n > 0xFFFFFFFFull; }

}  // namespace zk

ZK_EXPORT zelko_value zelko_retain(zelko_value v) { return v ? _r(v) : v; }

ZK_EXPORT void zelko_release(zelko_value v) {
  if (v) mr(v);
}

ZK_EXPORT int zelko_type(zelko_value v) { return v ? pubt(tp(v)) : 0; }

ZK_EXPORT const char *zelko_type_name(zelko_value v) {
  static const char *const names[NT] = {
      nullptr,       "list",          "range",        "bool vector",   "byte vector",
      "short vector", "int vector",   "long vector",  "float vector",  "char vector",
      "symbol vector", "date vector", "time vector",  "timestamp vector", "minute vector",
      "second vector", "month vector", "timespan vector", "table",     "dict",
      "int",         "long",          "float",        "char",          "symbol",
      nullptr,       nullptr,         nullptr,        nullptr,         nullptr,
      nullptr,       nullptr,         nullptr,        "date",          "time",
      "timestamp",   "minute",        "second",       "month",         "timespan"};
  const char *n = v ? names[tp(v)] : nullptr;
  return n ? n : "function";
}

ZK_EXPORT long long zelko_count(zelko_value v) {
  if (!v) return -1;
  int t = tp(v);
  if (t >= 20) return 1;
  if (t == tDICT) return _n(PA(v)[1]);
  return _n(v);
}

ZK_EXPORT int zelko_is_table(zelko_value v) { return v && tp(v) == tTABLE; }
ZK_EXPORT int zelko_is_dict(zelko_value v) { return v && tp(v) == tDICT; }
ZK_EXPORT int zelko_is_atom(zelko_value v) { return v && tp(v) >= 20; }

static int bits_of(int t) {
  switch (t) {
    case tBOOL: return 1;
    case tBYTE: case tCHR: return 8;
    case tSHORT: return 16;
    case tINT: case tSYM: case tDATE: case tTIME: case tMINUTE: case tSECOND: case tMONTH:
    case tINTA: case tSYMA: case tDATEA: case tTIMEA: case tMINUTEA: case tSECONDA: case tMONTHA:
      return 32;
    default: return 64;
  }
}

ZK_EXPORT const void *zelko_get_vector_ptr(zelko_value v, int *type, long long *count, int *bits) {
  if (type) *type = 0;
  if (count) *count = 0;
  if (bits) *bits = 0;
  if (!v) return nullptr;
  int t = tp(v);
  if (type) *type = pubt(t);
  if (bits) *bits = bits_of(t);
  if (t < tBOOL || t > tTSPAN) return nullptr;
  if (count) *count = nx(v);
  return P(v);
}

ZK_EXPORT zelko_value zelko_flatten(zelko_value v) {
  if (!v || !heap(v)) return v;
  _r(v);
  return tp(v) == tRANGE ? gZ(v) : v;
}

ZK_EXPORT const char *zelko_symbol_name(int id) {
  // A negative id must name text inside the pool; anything else would read
  // arbitrary memory.
  if (id < 0 && !sym_valid(id)) return nullptr;
  return su(id);
}

ZK_EXPORT long long zelko_to_int(zelko_value v, int *ok) {
  if (ok) *ok = 1;
  if (v) switch (tp(v)) {
      case tINTA: case tCHRA: case tDATEA: case tTIMEA: case tMINUTEA: case tSECONDA: case tMONTHA:
        return ip(v);
      case tLONGA: case tTSTAMPA: case tTSPANA: return PL(v)[0];
      case tSYMA: return (U)v;
      case tFLTA: {
        F d = PF(v)[0];
        if (d != d) return 0;
        if (d >= 9223372036854775807.0) return INT64_MAX;
        if (d <= -9223372036854775808.0) return INT64_MIN;
        return (long long)d;
      }
    }
  if (ok) *ok = 0;
  return 0;
}

ZK_EXPORT double zelko_to_float(zelko_value v, int *ok) {
  if (ok) *ok = 1;
  if (v) switch (tp(v)) {
      case tINTA: case tCHRA: case tDATEA: case tTIMEA: case tMINUTEA: case tSECONDA: case tMONTHA:
        return ip(v);
      case tLONGA: case tTSTAMPA: case tTSPANA: return (F)PL(v)[0];
      case tFLTA: return PF(v)[0];
    }
  if (ok) *ok = 0;
  return 0.0;
}

ZK_EXPORT int zelko_to_symbol_id(zelko_value v, int *ok) {
  bool s = v && tp(v) == tSYMA;
  if (ok) *ok = s;
  return s ? ip(v) : 0;
}

ZK_EXPORT long long zelko_to_string(zelko_value v, char *dst, long long cap) {
  if (!v) return -1;
  int t = tp(v);
  if (t == tCHRA) {
    if (dst && cap > 1) dst[0] = (char)v, dst[1] = 0;
    else if (dst && cap == 1) dst[0] = 0;
    return 1;
  }
  if (t != tCHR) return -1;
  long long n = nx(v);
  if (dst && cap > 0) {
    long long m = n < cap - 1 ? n : cap - 1;
    memcpy(dst, PC(v), (size_t)m);
    dst[m] = 0;
  }
  return n;
}

ZK_EXPORT int zelko_table_ncols(zelko_value v) {
  return v && tp(v) == tTABLE ? (int)nx(PA(v)[0]) : -1;
}

ZK_EXPORT const char *zelko_table_colname(zelko_value v, int i) {
  if (i < 0 || i >= zelko_table_ncols(v)) return nullptr;
  return su(PI(PA(v)[0])[i]);
}

ZK_EXPORT zelko_value zelko_table_column(zelko_value v, int i) {
  if (i < 0 || i >= zelko_table_ncols(v)) {
    capi_err_set("'index: column index out of range");
    return 0;
  }
  return zelko_flatten(PA(PA(v)[1])[i]);
}

static zelko_value dict_part(zelko_value v, int i) {
  if (!v || tp(v) != tDICT) {
    capi_err_set("'type: not a dictionary");
    return 0;
  }
  return _r(PA(v)[i]);
}
ZK_EXPORT zelko_value zelko_dict_keys(zelko_value v) { return dict_part(v, 0); }
ZK_EXPORT zelko_value zelko_dict_values(zelko_value v) { return dict_part(v, 1); }

ZK_EXPORT zelko_value zelko_int(long long i) { return al(i); }
ZK_EXPORT zelko_value zelko_float(double d) { return af(d); }
ZK_EXPORT zelko_value zelko_symbol(const char *text) { return as(text ? us(text) : 0); }
ZK_EXPORT zelko_value zelko_null(void) { return GNULL; }

ZK_EXPORT zelko_value zelko_make_list(const zelko_value *items, long long n) {
  if (n < 0 || (!items && n > 0)) return 0;
  if (badn(n)) {
    capi_err_set("'limit: allocation failed");
    return 0;
  }
  if (!n) return aA0(0);
  V l = an((U)n, tLIST);
  for (long long i = 0; i < n; i++) PA(l)[i] = _r(items[i]);
  return sqz(l);
}

static zelko_value from_mem(int t, const void *src, long long n) {
  if (n < 0 || (!src && n > 0)) return 0;
  if (badn(n)) {
    capi_err_set("'limit: allocation failed");
    return 0;
  }
  V x = an((U)n, t);
  if (n) memcpy(P(x), src, dbytes((U)n, t));
  return x;
}
ZK_EXPORT zelko_value zelko_from_int32(const int32_t *src, long long n) { return from_mem(tINT, src, n); }
ZK_EXPORT zelko_value zelko_from_int64(const int64_t *src, long long n) { return from_mem(tLONG, src, n); }
ZK_EXPORT zelko_value zelko_from_float64(const double *src, long long n) { return from_mem(tFLT, src, n); }
ZK_EXPORT zelko_value zelko_from_bytes(const void *src, long long n) { return from_mem(tCHR, src, n); }

ZK_EXPORT zelko_value zelko_from_symbols(const char *const *texts, long long n) {
  if (n < 0 || (!texts && n > 0)) return 0;
  if (badn(n)) {
    capi_err_set("'limit: allocation failed");
    return 0;
  }
  V x = an((U)n, tSYM);
  for (long long i = 0; i < n; i++) PI(x)[i] = texts[i] ? us(texts[i]) : 0;
  return x;
}

ZK_EXPORT int zelko_set_global(const char *name, zelko_value v) {
  if (!capi_enter()) return -1;
  if (!name || !*name) {
    capi_err_set("'domain: null global name");
    return -1;
  }
  V s = capi_name_sym(name);
  U i = gi(s);
  mr(s);
  if (gfull) {
    gfull = 0;
    ez0();
    capi_err_set("'limit: global table full");
    return -1;
  }
  V old = gv[i];
  gv[i] = v ? _r(v) : 0;
  if (old) mr(old);
  return 0;
}

ZK_EXPORT zelko_value zelko_get_global(const char *name) {
  if (!capi_enter()) return 0;
  if (!name || !*name) {
    capi_err_set("'domain: null global name");
    return 0;
  }
  V r = gg(capi_name_sym(name));
  if (!r) capi_err_grab();
  return r;
}

// Tables and dicts from names and values go through the engine's own `!`
// and flip, so the host gets exactly the engine's checks and errors.
static zelko_value make_td(const char *const *names, const zelko_value *values, int n, const char *text,
                           V *slot, const char *nulltext) {
  if (!capi_enter()) return 0;
  if (n < 0 || (n > 0 && (!names || !values))) {
    capi_err_set(nulltext);
    return 0;
  }
  V s = zelko_from_symbols(names, n);
  V l = an((U)n ? (U)n : 1, tLIST);
  if (!n) {
    hd(l)->count = 0;
    PA(l)[0] = _r(ce[tCHR]);
  }
  for (int i = 0; i < n; i++) PA(l)[i] = _r(values[i]);
  V r = k2(slot, text, s, l);
  mr(s);
  if (!r) capi_err_grab();
  return r;
}

ZK_EXPORT zelko_value zelko_make_table(const char *const *names, const zelko_value *values, int n) {
  static V slot;
  return make_td(names, values, n, "{+x!y}", &slot, "'domain: zelko_make_table got a null argument");
}

ZK_EXPORT zelko_value zelko_make_dict(const char *const *names, const zelko_value *values, int n) {
  static V slot;
  return make_td(names, values, n, "{x!y}", &slot, "'domain: zelko_make_dict got a null argument");
}

ZK_EXPORT char *zelko_format(zelko_value v) {
  if (!capi_enter() || !v) return nullptr;
  static V slot, fallback;
  // The first text fails whenever the modules' formatter is missing, and
  // the fallback then succeeds: the call succeeded, so its first failure
  // must not reach standard error.  Quiet for this thread, as inside a trap.
  I q = tl.zkdiagq;
  tl.zkdiagq = 1;
  V r = k1(&slot, "{$[|/(@x)=`m`M;\"\\n\"/zkfmt x;`k x]}", _r(v));
  tl.zkdiagq = q;
  if (!r) {
    tl.err_end = tl.err_text;  // the modules' formatter is missing or failed
    r = k1(&fallback, "{`k x}", _r(v));
    if (!r) {
      capi_err_grab();
      return nullptr;
    }
  }
  if (tp(r) != tCHR) {
    mr(r);
    return nullptr;
  }
  U n = nx(r);
  char *s = (char *)malloc((size_t)n + 1);
  if (s) {
    memcpy(s, PC(r), n);
    s[n] = 0;
  }
  mr(r);
  return s;
}

// Removes ANSI colour sequences (ESC [ digits and ';' ending in 'm'); any
// other ESC [ sequence stays, copying resuming right after its ESC.
ZK_EXPORT char *zelko_format_plain(zelko_value v) {
  char *s = zelko_format(v);
  if (!s) return s;
  char *w = s;
  for (char *p = s; *p;) {
    if (p[0] == 27 && p[1] == '[') {
      char *q = p + 2;
      while ((*q >= '0' && *q <= '9') || *q == ';') q++;
      if (*q == 'm') {
        p = q + 1;
        continue;
      }
    }
    *w++ = *p++;
  }
  *w = 0;
  return s;
}
