/* zelko_capi.h: the public C interface of libzelko.

   A value crosses the interface as the engine's own 64-bit value word,
   `zelko_value`.  Arguments are borrowed; every value returned is a new
   reference that the caller releases with zelko_release.  0 (or -1, or
   NULL for pointers) means failure, with the reason in zelko_last_error().
   Texts and Arrow structures the library allocates for the caller are
   freed with zelko_free.  Calls are not locked: a host serialises them. */
#ifndef ZELKO_CAPI_H
#define ZELKO_CAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint64_t zelko_value;

/* Public type codes: internal 0..10 keep their number, 11..17 add 22,
   18 and above subtract 7.  18..25 are the function kinds. */
enum {
  ZELKO_T_LIST = 1,
  ZELKO_T_RANGE = 2,
  ZELKO_T_BOOL = 3,
  ZELKO_T_BYTE = 4,
  ZELKO_T_SHORT = 5,
  ZELKO_T_INT = 6,
  ZELKO_T_LONG = 7,
  ZELKO_T_FLOAT = 8,
  ZELKO_T_CHAR = 9,
  ZELKO_T_SYM = 10,
  ZELKO_T_TABLE = 11,
  ZELKO_T_DICT = 12,
  ZELKO_T_INT_ATOM = 13,
  ZELKO_T_LONG_ATOM = 14,
  ZELKO_T_FLOAT_ATOM = 15,
  ZELKO_T_CHAR_ATOM = 16,
  ZELKO_T_SYM_ATOM = 17,
  ZELKO_T_DATE = 26,
  ZELKO_T_TIME = 27,
  ZELKO_T_TIMESTAMP = 28,
  ZELKO_T_MINUTE = 29,
  ZELKO_T_SECOND = 30,
  ZELKO_T_MONTH = 31,
  ZELKO_T_TIMESPAN = 32,
  ZELKO_T_DATE_LIST = 33,
  ZELKO_T_TIME_LIST = 34,
  ZELKO_T_TIMESTAMP_LIST = 35,
  ZELKO_T_MINUTE_LIST = 36,
  ZELKO_T_SECOND_LIST = 37,
  ZELKO_T_MONTH_LIST = 38,
  ZELKO_T_TIMESPAN_LIST = 39
};

/* The Arrow C data interface structures, as published. */
#ifndef ARROW_C_DATA_INTERFACE
#define ARROW_C_DATA_INTERFACE
#define ARROW_FLAG_DICTIONARY_ORDERED 1
#define ARROW_FLAG_NULLABLE 2
#define ARROW_FLAG_MAP_KEYS_SORTED 4
struct ArrowSchema {
  const char *format;
  const char *name;
  const char *metadata;
  int64_t flags;
  int64_t n_children;
  struct ArrowSchema **children;
  struct ArrowSchema *dictionary;
  void (*release)(struct ArrowSchema *);
  void *private_data;
};
struct ArrowArray {
  int64_t length;
  int64_t null_count;
  int64_t offset;
  int64_t n_buffers;
  int64_t n_children;
  const void **buffers;
  struct ArrowArray **children;
  struct ArrowArray *dictionary;
  void (*release)(struct ArrowArray *);
  void *private_data;
};
#endif

int zelko_abi_version(void);
const char *zelko_version_string(void);
int zelko_init(const char *home);
void zelko_shutdown(void);
zelko_value zelko_eval_str(const char *text);
zelko_value zelko_eval_qsql(const char *text);
zelko_value zelko_call(const char *name, const zelko_value *args, int n);
const char *zelko_last_error(void);
int zelko_set_diagnostics(int on);
zelko_value zelko_retain(zelko_value v);
void zelko_release(zelko_value v);
int zelko_type(zelko_value v);
const char *zelko_type_name(zelko_value v);
long long zelko_count(zelko_value v);
int zelko_is_table(zelko_value v);
int zelko_is_dict(zelko_value v);
int zelko_is_atom(zelko_value v);
const void *zelko_get_vector_ptr(zelko_value v, int *type, long long *count, int *bits);
zelko_value zelko_flatten(zelko_value v);
const char *zelko_symbol_name(int id);
long long zelko_to_int(zelko_value v, int *ok);
double zelko_to_float(zelko_value v, int *ok);
int zelko_to_symbol_id(zelko_value v, int *ok);
long long zelko_to_string(zelko_value v, char *dst, long long cap);
int zelko_table_ncols(zelko_value v);
const char *zelko_table_colname(zelko_value v, int i);
zelko_value zelko_table_column(zelko_value v, int i);
zelko_value zelko_dict_keys(zelko_value v);
zelko_value zelko_dict_values(zelko_value v);
zelko_value zelko_int(long long i);
zelko_value zelko_float(double d);
zelko_value zelko_null(void);
zelko_value zelko_make_list(const zelko_value *items, long long n);
zelko_value zelko_from_int32(const int32_t *src, long long n);
zelko_value zelko_from_int64(const int64_t *src, long long n);
zelko_value zelko_from_float64(const double *src, long long n);
zelko_value zelko_from_bytes(const void *src, long long n);
zelko_value zelko_from_symbols(const char *const *texts, long long n);
zelko_value zelko_make_table(const char *const *names, const zelko_value *values, int n);
zelko_value zelko_make_dict(const char *const *names, const zelko_value *values, int n);
int zelko_set_global(const char *name, zelko_value v);
zelko_value zelko_get_global(const char *name);
int zelko_arrow_export(zelko_value t, struct ArrowSchema **schema_out, struct ArrowArray **array_out);
int zelko_arrow_export_into(zelko_value t, struct ArrowSchema *schema, struct ArrowArray *array);
zelko_value zelko_arrow_import(struct ArrowSchema *schema, struct ArrowArray *array);
char *zelko_format(zelko_value v);
char *zelko_format_plain(zelko_value v);
void zelko_free(void *p);
int zelko_plugin_load(const char *path);

#ifdef __cplusplus
}
#endif
#endif
