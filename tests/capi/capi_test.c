/* The C interface as a host sees it: compiled as C against the public
   header and libzelko.so only.  argv[1] is the path of the test plug-in. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "zelko_capi.h"
#include "check.h"

zelko_value zelko_symbol(const char *text); /* exported, not in the header */

#define ERR(t) (strcmp(zelko_last_error(), (t)) == 0)

static void before_boot(void) {
  const char *t = "'value: zelko_init() has not been called";
  CHECK(zelko_eval_str("1") == 0 && ERR(t));
  CHECK(zelko_call("f", NULL, 0) == 0 && ERR(t));
  CHECK(zelko_get_global("x") == 0 && ERR(t));
  CHECK(zelko_set_global("x", zelko_null()) == -1 && ERR(t));
  CHECK(zelko_format(zelko_null()) == NULL && ERR(t));
  CHECK(zelko_make_table(NULL, NULL, 0) == 0 && ERR(t));
  /* accessors and constructors need no boot */
  zelko_value v = zelko_from_int64((const int64_t[]){1, 2, 3}, 3);
  CHECK(zelko_type(v) == ZELKO_T_LONG && zelko_count(v) == 3);
  zelko_release(v);
  CHECK(zelko_abi_version() == 1 && strcmp(zelko_version_string(), "2.9.0") == 0);
}

static void boot(void) {
  CHECK(zelko_init(NULL) == 0 && ERR(""));
  CHECK(zelko_init("") == 0);
  char dir[] = "/tmp/zkhomeXXXXXX";
  CHECK(mkdtemp(dir) != NULL);
  CHECK(zelko_init(dir) == -1 &&
        ERR("'io: no Zelko standard-library module could be read from the given home directory"));
  char path[256];
  snprintf(path, sizeof path, "%s/zelko.k", dir);
  FILE *f = fopen(path, "w");
  fputs("zkhomeloaded:1\n", f);
  fclose(f);
  CHECK(zelko_init(dir) == 0 &&
        ERR("'io: some Zelko standard-library modules were missing from the given home directory"));
  zelko_value g = zelko_get_global("zkhomeloaded");
  CHECK(g != 0 && zelko_to_int(g, NULL) == 1);
  zelko_release(g);
  const char *mods[] = {"fin.k", "std.k", "qsql.k", "temporal.k", "sys.k", "hdb.k", "ipc.k"};
  for (int i = 0; i < 7; i++) {
    snprintf(path, sizeof path, "%s/%s", dir, mods[i]);
    f = fopen(path, "w");
    fputs("1\n", f); /* printed while loading: standard output is silenced */
    fclose(f);
  }
  CHECK(zelko_init(dir) == 0 && ERR(""));
  for (int i = 0; i < 7; i++) snprintf(path, sizeof path, "%s/%s", dir, mods[i]), remove(path);
  snprintf(path, sizeof path, "%s/zelko.k", dir), remove(path);
  remove(dir);
}

static void types_and_counts(void) {
  CHECK(zelko_type(0) == 0 && zelko_count(0) == -1 && strcmp(zelko_type_name(0), "function") == 0);
  zelko_value i = zelko_int(5), d = zelko_float(2.5), s = zelko_symbol("abc"), n = zelko_null();
  CHECK(zelko_type(i) == ZELKO_T_LONG_ATOM && zelko_is_atom(i) && zelko_count(i) == 1);
  CHECK(zelko_type(d) == ZELKO_T_FLOAT_ATOM && strcmp(zelko_type_name(d), "float") == 0);
  CHECK(zelko_type(s) == ZELKO_T_SYM_ATOM && zelko_is_atom(n));
  zelko_value lam = zelko_eval_str("{x}");
  CHECK(zelko_type(lam) == 18 && strcmp(zelko_type_name(lam), "function") == 0);
  zelko_release(lam);
  zelko_value r = zelko_eval_str("2024.01.01");
  if (r) { /* temporal literals come with the temporal types */
    CHECK(zelko_type(r) == ZELKO_T_DATE);
    zelko_release(r);
  }
  int t = -1, bits = -1;
  long long c = -1;
  zelko_value b = zelko_eval_str("101B");
  if (b) {
    const unsigned char *p = zelko_get_vector_ptr(b, &t, &c, &bits);
    CHECK(t == ZELKO_T_BOOL && bits == 1 && c == 3 && p && (p[0] & 7) == 5);
    zelko_release(b);
  }
  zelko_value l = zelko_eval_str("(1;`a)");
  CHECK(zelko_get_vector_ptr(l, &t, &c, &bits) == NULL && t == ZELKO_T_LIST && c == 0 && bits == 64);
  zelko_release(l);
  zelko_release(i), zelko_release(d);
}

static void conversions(void) {
  int ok = -1;
  struct { double d; long long want; } fl[] = {{2.9, 2}, {-2.9, -2}, {NAN, 0}, {1e300, 9223372036854775807LL}};
  for (int k = 0; k < 4; k++) {
    zelko_value v = zelko_float(fl[k].d);
    CHECK(zelko_to_int(v, &ok) == fl[k].want && ok == 1);
    zelko_release(v);
  }
  zelko_value s = zelko_symbol("ab");
  CHECK(zelko_to_symbol_id(s, &ok) == ('a' | 'b' << 8) && ok == 1);
  CHECK(strcmp(zelko_symbol_name(zelko_to_symbol_id(s, NULL)), "ab") == 0);
  zelko_value longsym = zelko_symbol("a_rather_long_symbol");
  int id = zelko_to_symbol_id(longsym, NULL);
  CHECK(id < 0 && strcmp(zelko_symbol_name(id), "a_rather_long_symbol") == 0);
  CHECK(zelko_symbol_name(-2000000000) == NULL); /* outside the pool: refused */
  CHECK(zelko_to_float(s, &ok) == 0.0 && ok == 0);
  CHECK(zelko_to_int(0, &ok) == 0 && ok == 0);
  zelko_value str = zelko_from_bytes("hello", 5);
  char buf[8];
  CHECK(zelko_to_string(str, buf, 1) == 5 && buf[0] == 0);
  CHECK(zelko_to_string(str, buf, 3) == 5 && strcmp(buf, "he") == 0);
  CHECK(zelko_to_string(str, NULL, 0) == 5);
  CHECK(zelko_to_string(s, buf, 8) == -1);
  zelko_release(str);
}

static void constructors(void) {
  CHECK(zelko_from_int32(NULL, -1) == 0 && zelko_make_list(NULL, 2) == 0);
  /* counts beyond 32 bits would truncate: refused */
  CHECK(zelko_from_bytes("x", 4294967296LL) == 0);
  CHECK(zelko_from_int64(NULL, 4294967296LL) == 0);
  zelko_value items[3] = {zelko_eval_str("1"), zelko_eval_str("2"), zelko_eval_str("3")};
  zelko_value l = zelko_make_list(items, 3);
  CHECK(zelko_type(l) != ZELKO_T_LIST && zelko_count(l) == 3); /* squeezed to an integer vector */
  zelko_release(l);
  zelko_value mixed[2] = {zelko_eval_str("1"), zelko_float(2)};
  l = zelko_make_list(mixed, 2);
  CHECK(zelko_type(l) == ZELKO_T_LIST && zelko_count(l) == 2);
  zelko_release(l), zelko_release(mixed[1]);
  l = zelko_make_list(NULL, 0);
  CHECK(zelko_type(l) == ZELKO_T_LIST && zelko_count(l) == 0);
  zelko_release(l);
  const char *names[] = {"a", NULL, "a_long_symbol_name"};
  zelko_value sv = zelko_from_symbols(names, 3);
  CHECK(zelko_type(sv) == ZELKO_T_SYM && zelko_count(sv) == 3);
  const int32_t *ids = zelko_get_vector_ptr(sv, NULL, NULL, NULL);
  CHECK(ids[1] == 0 && strcmp(zelko_symbol_name(ids[2]), "a_long_symbol_name") == 0);
  zelko_release(sv);
}

static void globals_and_calls(void) {
  CHECK(zelko_set_global(NULL, 0) == -1 && ERR("'domain: null global name"));
  CHECK(zelko_get_global("") == 0 && ERR("'domain: null global name"));
  zelko_value v = zelko_int(77);
  CHECK(zelko_set_global("gx", v) == 0);
  zelko_release(v);
  zelko_value g = zelko_get_global("gx");
  CHECK(zelko_to_int(g, NULL) == 77);
  zelko_release(g);
  CHECK(zelko_set_global("gx", 0) == 0);
  CHECK(zelko_get_global("gx") == 0 && ERR("'gx"));
  CHECK(zelko_get_global("nosuchglobal") == 0 && ERR("'nosuchglobal"));

  zelko_value f = zelko_eval_str("first2:{[a;b]a}");
  zelko_release(f);
  zelko_value args[9];
  for (int k = 0; k < 9; k++) args[k] = zelko_int(k);
  CHECK(zelko_call(NULL, args, 1) == 0 && ERR("'domain: null function name"));
  CHECK(zelko_call("first2", args, 9) == 0 && ERR("'rank: zelko_call takes 0..8 arguments"));
  CHECK(zelko_call("first2", args, -1) == 0 && ERR("'rank: zelko_call takes 0..8 arguments"));
  zelko_value r = zelko_call("first2", args + 3, 2);
  CHECK(r && zelko_to_int(r, NULL) == 3);
  zelko_release(r);
  CHECK(zelko_call("undefinedfn", args, 1) == 0 && ERR("'undefinedfn"));
  zelko_release(zelko_eval_str("id0:{x}"));
  r = zelko_call("id0", NULL, 0); /* no arguments: applied to the generic null */
  CHECK(r == zelko_null());
  for (int k = 0; k < 9; k++) zelko_release(args[k]);
  /* the arguments are borrowed: still alive and unchanged */
  zelko_value keep = zelko_from_bytes("abc", 3);
  r = zelko_call("id0", &keep, 1);
  CHECK(r == keep && zelko_count(keep) == 3);
  zelko_release(r), zelko_release(keep);

  zelko_value e = zelko_eval_str("");
  CHECK(e == zelko_null());
  CHECK(zelko_eval_str(NULL) == 0 && ERR("'domain: null source"));
  CHECK(zelko_eval_qsql(NULL) == 0 && ERR("'domain: null source"));
  r = zelko_eval_qsql("first2[5;6]"); /* no rewrite function: evaluated as source */
  CHECK(r && zelko_to_int(r, NULL) == 5);
  zelko_release(r);
}

static void format(void) {
  zelko_value v = zelko_from_int64((const int64_t[]){1, 2, 3}, 3);
  char *s = zelko_format(v);
  if (s) CHECK(strcmp(s, "1 2 3") == 0);
  zelko_free(s);
  zelko_release(v);
  CHECK(zelko_format(0) == NULL);
}

static void tables(void) {
  CHECK(zelko_make_table(NULL, NULL, 1) == 0 && ERR("'domain: zelko_make_table got a null argument"));
  CHECK(zelko_make_dict(NULL, NULL, 1) == 0 && ERR("'domain: zelko_make_dict got a null argument"));
  const char *names[] = {"px", "a_longer_column_name"};
  zelko_value cols[2] = {zelko_from_float64((const double[]){1.5, 2.5, 3.5}, 3),
                         zelko_eval_str("0 1 2")};
  zelko_value t = zelko_make_table(names, cols, 2);
  CHECK(t && zelko_is_table(t) && zelko_type(t) == ZELKO_T_TABLE);
  CHECK(zelko_count(t) == 3 && zelko_table_ncols(t) == 2);
  CHECK(strcmp(zelko_table_colname(t, 1), "a_longer_column_name") == 0);
  CHECK(zelko_table_colname(t, 2) == NULL && zelko_table_colname(t, -1) == NULL);
  zelko_value c = zelko_table_column(t, 0);
  const double *px = zelko_get_vector_ptr(c, NULL, NULL, NULL);
  CHECK(px && px[2] == 3.5);
  zelko_release(c);
  CHECK(zelko_table_column(t, 5) == 0 && ERR("'index: column index out of range"));
  CHECK(zelko_table_ncols(cols[0]) == -1);
  zelko_value d = zelko_make_dict(names, cols, 2);
  CHECK(d && zelko_is_dict(d) && zelko_count(d) == 2);
  zelko_value k = zelko_dict_keys(d), v = zelko_dict_values(d);
  CHECK(zelko_type(k) == ZELKO_T_SYM && zelko_count(v) == 2);
  zelko_release(k), zelko_release(v);
  CHECK(zelko_dict_keys(t) == 0 && ERR("'type: not a dictionary"));
  zelko_value uneven[2] = {cols[0], zelko_eval_str("1 2")};
  /* the engine's text: the class, then the cached lambda's line with a caret */
  CHECK(zelko_make_table(names, uneven, 2) == 0 && strncmp(zelko_last_error(), "'length\n", 8) == 0);
  zelko_release(uneven[1]);
  zelko_value r = zelko_eval_str("2+til:3");
  zelko_release(r);
  zelko_value rng = zelko_eval_str("!3");
  if (rng && zelko_type(rng) == ZELKO_T_RANGE) { /* til gives a lazy range */
    zelko_value f = zelko_flatten(rng);
    CHECK(zelko_type(f) != ZELKO_T_RANGE && zelko_count(f) == 3);
    zelko_release(f);
  }
  zelko_release(rng);
  zelko_release(t), zelko_release(d), zelko_release(cols[0]), zelko_release(cols[1]);
  zelko_value ll = zelko_eval_str("(1;`a)");
  char *s = zelko_format_plain(ll);
  CHECK(s && strcmp(s, "(1;`a)") == 0);
  zelko_free(s);
  zelko_release(ll);
}

static void plugin(const char *path) {
  CHECK(zelko_plugin_load(NULL) == -1 && ERR("'domain: null plugin path"));
  CHECK(zelko_plugin_load("/nonexistent/plugin.so") == -1 && strlen(zelko_last_error()) > 0);
  if (!path) return;
  CHECK(zelko_plugin_load(path) == 17);
  zelko_value r = zelko_eval_str("`dbl 5");
  CHECK(r && zelko_count(r) == 2);
  zelko_release(r);
  r = zelko_eval_str("`k 1"); /* the native verb is found before the builtin */
  CHECK(r && zelko_to_int(r, NULL) == 4242);
  zelko_release(r);
}

int main(int argc, char **argv) {
  before_boot();
  boot();
  types_and_counts();
  conversions();
  constructors();
  globals_and_calls();
  format();
  tables();
  plugin(argc > 1 ? argv[1] : NULL);
  zelko_shutdown();
  zelko_shutdown();
  zelko_value r = zelko_eval_str("1"); /* a new arena after shutdown */
  CHECK(r != 0);
  zelko_release(r);
  printf("%d passed, %d failed\n", pass, fail);
  return fail != 0;
}
