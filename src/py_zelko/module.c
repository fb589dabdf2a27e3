/* module.c: the module zelko._zelko: initialisation, the exception and
   constants, the process-wide boot with the helper lambdas the binding
   and the outer package call by name, and the module functions. */
#define _GNU_SOURCE
#include "pyzk.h"
#include <dlfcn.h>

#define ABI 1

PyObject *ZelkoError;
static int zelko_booted;

static const char BOOTSTRAP[] =
    "pyzelko.at:{x@y}\npyzelko.sym:{`$x}\npyzelko.widen:{0+x}\n"
    "pyzelko.unkey:{k:+!x;v:+.x;+((!k),(!v))!((.k),(.v))}\npyzelko.keycols:{!+!x}\n"
    "pyzelko.match:{x~y}\npyzelko.take:{x#y}\npyzelko.ser:{`ser x}\npyzelko.des:{`des x}\n"
    "pyzelko.raw:{`i$x}\npyzelko.mkd:{`mkd x}\npyzelko.mkt:{`mkt x}\npyzelko.mkp:{`mkp x}\n"
    "pyzelko.mku:{`mku x}\npyzelko.mkv:{`mkv x}\npyzelko.mkm:{`mkm x}\npyzelko.mkn:{`mkn x}\n";

/* After a conversion answered 0: the engine's text when no Python error
   is pending (a failed engine constructor). */
static PyObject *conv_fail(void) { return PyErr_Occurred() ? NULL : zelko_raise(); }

static PyObject *wrap_or_raise(zelko_value v) { return v ? Value_wrap(v) : zelko_raise(); }

static PyObject *m_init(PyObject *m, PyObject *args) {
  const char *home = NULL;
  if (!PyArg_ParseTuple(args, "|z", &home)) return NULL;
  int abi = zelko_abi_version();
  if (abi != ABI)
    return PyErr_Format(PyExc_ImportError,
                        "zelko: libzelko ABI mismatch -- this build of python-zelko was compiled "
                        "against ABI %d but the loaded libzelko reports ABI %d. Rebuild one of them.",
                        ABI, abi);
  if (zelko_init(home)) return zelko_raise();
  zelko_set_diagnostics(0);
  if (!zelko_booted) {
    zelko_value r = zelko_eval_str(BOOTSTRAP);
    if (!r) return zelko_raise();
    zelko_release(r);
    zelko_booted = 1;
  }
  Py_RETURN_NONE;
}

static PyObject *m_shutdown(PyObject *m, PyObject *u) {
  zelko_shutdown();
  Py_RETURN_NONE;
}

static PyObject *m_version(PyObject *m, PyObject *u) { return PyUnicode_FromString(zelko_version_string()); }
static PyObject *m_abi(PyObject *m, PyObject *u) { return PyLong_FromLong(zelko_abi_version()); }

static PyObject *m_set_diagnostics(PyObject *m, PyObject *o) {
  int on = PyObject_IsTrue(o);
  if (on < 0) return NULL;
  return PyLong_FromLong(zelko_set_diagnostics(on));
}

/* A str's UTF-8 form, or NULL with CPython's error. */
static const char *utf8(PyObject *o) {
  if (!PyUnicode_Check(o)) {
    PyErr_Format(PyExc_TypeError, "expected str, got %s", Py_TYPE(o)->tp_name);
    return NULL;
  }
  return PyUnicode_AsUTF8(o);
}

static PyObject *by_text(PyObject *o, zelko_value (*f)(const char *)) {
  const char *s = utf8(o);
  return s ? wrap_or_raise(f(s)) : NULL;
}

static PyObject *m_eval(PyObject *m, PyObject *o) { return by_text(o, zelko_eval_str); }
static PyObject *m_eval_qsql(PyObject *m, PyObject *o) { return by_text(o, zelko_eval_qsql); }
static PyObject *m_get_global(PyObject *m, PyObject *o) { return by_text(o, zelko_get_global); }

static PyObject *m_call(PyObject *m, PyObject *args) {
  const char *name;
  PyObject *seq;
  if (!PyArg_ParseTuple(args, "sO", &name, &seq)) return NULL;
  if (!PySequence_Check(seq)) {
    PyErr_SetString(PyExc_TypeError, "zelko.call: second argument must be a sequence");
    return NULL;
  }
  Py_ssize_t n = PySequence_Size(seq), i = 0;
  if (n < 0) return NULL;
  if (n > 8) {
    PyErr_SetString(PyExc_TypeError,
                    "zelko.call: the engine applies at most 8 arguments; pass a list as one argument instead");
    return NULL;
  }
  zelko_value a[8], r = 0;
  for (; i < n; i++) {
    PyObject *o = PySequence_GetItem(seq, i);
    if (!o) break;
    a[i] = arg_to_zelko(o);
    Py_DECREF(o);
    if (!a[i]) break;
  }
  if (i == n) r = zelko_call(name, a, (int)n);
  for (Py_ssize_t j = 0; j < i; j++) zelko_release(a[j]);
  if (i < n) return conv_fail();
  return wrap_or_raise(r);
}

static PyObject *m_convert(PyObject *m, PyObject *o) {
  zelko_value v = arg_to_zelko(o);
  return v ? Value_wrap(v) : conv_fail();
}

static PyObject *m_set_global(PyObject *m, PyObject *args) {
  const char *name;
  PyObject *o;
  if (!PyArg_ParseTuple(args, "sO", &name, &o)) return NULL;
  zelko_value v = arg_to_zelko(o);
  if (!v) return conv_fail();
  int rc = zelko_set_global(name, v);
  zelko_release(v);
  if (rc) return zelko_raise();
  Py_RETURN_NONE;
}

static PyObject *m_make_table(PyObject *m, PyObject *args) {
  PyObject *names, *cols;
  if (!PyArg_ParseTuple(args, "OO", &names, &cols)) return NULL;
  Py_ssize_t n = PySequence_Size(names), nc = PySequence_Size(cols), i = 0;
  if (n < 0 || nc < 0 || n != nc) {
    PyErr_Clear();
    PyErr_SetString(PyExc_ValueError, "zelko.make_table: names and columns must be the same length");
    return NULL;
  }
  zelko_value *v = PyMem_Calloc(n ? n : 1, sizeof *v), r = 0;
  const char **nm = PyMem_Calloc(n ? n : 1, sizeof *nm);
  PyObject **strs = PyMem_Calloc(n ? n : 1, sizeof *strs);
  int failed = 1;
  if (!v || !nm || !strs) {
    PyErr_NoMemory();
    goto done;
  }
  for (; i < n; i++) {
    PyObject *k = PySequence_GetItem(names, i);
    strs[i] = k ? PyObject_Str(k) : NULL;
    Py_XDECREF(k);
    if (!strs[i] || !(nm[i] = PyUnicode_AsUTF8(strs[i]))) goto done;
    PyObject *c = PySequence_GetItem(cols, i);
    if (!c) goto done;
    v[i] = arg_to_zelko(c);
    Py_DECREF(c);
    if (!v[i]) {
      conv_fail();
      goto done;
    }
  }
  failed = 0;
  r = zelko_make_table(nm, v, (int)n);
done:
  for (Py_ssize_t j = 0; j < n && strs; j++) {
    if (v) zelko_release(v[j]);
    Py_XDECREF(strs[j]);
  }
  PyMem_Free(v);
  PyMem_Free(nm);
  PyMem_Free(strs);
  return failed ? NULL : wrap_or_raise(r);
}

static PyObject *m_arrow_export(PyObject *m, PyObject *o) {
  if (!Value_Check(o)) {
    PyErr_SetString(PyExc_TypeError, "zelko.arrow_export: expected an zelko Value");
    return NULL;
  }
  struct ArrowSchema *s = NULL;
  struct ArrowArray *a = NULL;
  if (zelko_arrow_export(((ValueObject *)o)->handle, &s, &a)) return zelko_raise();
  return Py_BuildValue("(KK)", (unsigned long long)(uintptr_t)s, (unsigned long long)(uintptr_t)a);
}

static PyObject *m_arrow_export_into(PyObject *m, PyObject *args) {
  PyObject *o;
  unsigned long long s, a;
  if (!PyArg_ParseTuple(args, "OKK", &o, &s, &a)) return NULL;
  if (!Value_Check(o)) {
    PyErr_SetString(PyExc_TypeError, "zelko.arrow_export_into: expected an zelko Value");
    return NULL;
  }
  if (!s || !a) {
    PyErr_SetString(PyExc_ValueError, "zelko.arrow_export_into: null struct address");
    return NULL;
  }
  if (zelko_arrow_export_into(((ValueObject *)o)->handle, (struct ArrowSchema *)(uintptr_t)s,
                              (struct ArrowArray *)(uintptr_t)a))
    return zelko_raise();
  Py_RETURN_NONE;
}

static PyObject *m_arrow_import(PyObject *m, PyObject *args) {
  unsigned long long s, a;
  if (!PyArg_ParseTuple(args, "KK", &s, &a)) return NULL;
  return wrap_or_raise(
      zelko_arrow_import((struct ArrowSchema *)(uintptr_t)s, (struct ArrowArray *)(uintptr_t)a));
}

static PyObject *m_plugin_load(PyObject *m, PyObject *o) {
  const char *p = utf8(o);
  if (!p) return NULL;
  if (zelko_plugin_load(p)) return zelko_raise();
  Py_RETURN_NONE;
}

static PyObject *m_symbols(PyObject *m, PyObject *o) {
  PyObject *seq = PySequence_Fast(o, "zelko.symbols: expected an iterable of str");
  if (!seq) return NULL;
  Py_ssize_t n = PySequence_Fast_GET_SIZE(seq), i = 0;
  PyObject **strs = PyMem_Calloc(n ? n : 1, sizeof *strs), *r = NULL;
  const char **t = PyMem_Calloc(n ? n : 1, sizeof *t);
  if (!strs || !t) {
    PyErr_NoMemory();
    goto done;
  }
  for (; i < n; i++)
    if (!(strs[i] = PyObject_Str(PySequence_Fast_GET_ITEM(seq, i))) || !(t[i] = PyUnicode_AsUTF8(strs[i])))
      goto done;
  r = wrap_or_raise(zelko_from_symbols(t, n));
done:
  for (Py_ssize_t j = 0; strs && j < n; j++) Py_XDECREF(strs[j]);
  PyMem_Free(strs);
  PyMem_Free(t);
  Py_DECREF(seq);
  return r;
}

static PyObject *m_symbol_name(PyObject *m, PyObject *o) {
  long long id = PyLong_AsLongLong(o);
  if (id == -1 && PyErr_Occurred()) return NULL;
  if (id < 0 || id > 0x7fffffffLL) {
    PyErr_SetString(PyExc_ValueError, "zelko.symbol_name: not a symbol id");
    return NULL;
  }
  const char *s = zelko_symbol_name((int)id);
  if (!s) return zelko_raise();
  return PyUnicode_DecodeUTF8(s, (Py_ssize_t)strlen(s), "strict");
}

static PyObject *m_from_bytes(PyObject *m, PyObject *o) {
  Py_buffer b;
  if (PyObject_GetBuffer(o, &b, PyBUF_SIMPLE) < 0) return NULL;
  zelko_value c = zelko_from_bytes(b.buf, b.len);
  PyBuffer_Release(&b);
  if (!c) return zelko_raise();
  zelko_value r = zelko_call("pyzelko.des", &c, 1);
  zelko_release(c);
  return wrap_or_raise(r);
}

static PyObject *m_set_convert_hook(PyObject *m, PyObject *o) {
  if (o != Py_None && !PyCallable_Check(o)) {
    PyErr_SetString(PyExc_TypeError, "zelko._set_convert_hook: expected a callable or None");
    return NULL;
  }
  PyObject *old = convert_hook;
  convert_hook = o == Py_None ? NULL : Py_NewRef(o);
  Py_XDECREF(old);
  Py_RETURN_NONE;
}

static PyObject *m_library_path(PyObject *m, PyObject *u) {
  Dl_info d;
  if (!dladdr((void *)zelko_version_string, &d) || !d.dli_fname || !*d.dli_fname) Py_RETURN_NONE;
  return PyUnicode_DecodeFSDefault(d.dli_fname);
}

static PyObject *m_adopt(PyObject *m, PyObject *o) {
  unsigned long long h = PyLong_AsUnsignedLongLong(o);
  if (h == (unsigned long long)-1 && PyErr_Occurred()) return NULL;
  if (!h) {
    PyErr_SetString(PyExc_ValueError, "zelko.adopt: null handle");
    return NULL;
  }
  return Value_wrap(h);
}

static PyObject *m_free_ptr(PyObject *m, PyObject *o) {
  unsigned long long p = PyLong_AsUnsignedLongLong(o);
  if (p == (unsigned long long)-1 && PyErr_Occurred()) return NULL;
  if (p) zelko_free((void *)(uintptr_t)p);
  Py_RETURN_NONE;
}

#define F(n, c, d) {#n, (PyCFunction)(void (*)(void))m_##n, c, d}
static PyMethodDef module_methods[] = {
    F(init, METH_VARARGS, "init(home=None) -- boot the engine, optionally loading the .k standard library from `home`."),
    F(shutdown, METH_NOARGS, "Release the engine's scratch arena."),
    F(version, METH_NOARGS, "Engine version string."),
    F(abi, METH_NOARGS, "Engine C-API ABI number."),
    F(set_diagnostics, METH_O, "Enable/disable the engine's rich stderr diagnostics."),
    F(eval, METH_O, "eval(src) -> Value.  Evaluate Zelko source; the last statement's value."),
    F(eval_qsql, METH_O, "eval_qsql(line) -> Value.  As eval(), after the bare-qSQL rewrite."),
    F(call, METH_VARARGS, "call(name, args) -> Value.  Apply a global function to 0..8 arguments."),
    F(convert, METH_O, "convert(obj) -> Value.  Python object to Zelko value."),
    F(set_global, METH_VARARGS, "set_global(name, obj) -- bind an Zelko global."),
    F(get_global, METH_O, "get_global(name) -> Value."),
    F(make_table, METH_VARARGS, "make_table(names, columns) -> Value."),
    F(arrow_export, METH_O,
      "arrow_export(table) -> (schema_addr, array_addr).  The two STRUCTS become yours: call free_ptr() on "
      "both once their contents have been imported or released.  Prefer arrow_export_into(), which leaves "
      "nothing to free."),
    F(arrow_export_into, METH_VARARGS,
      "arrow_export_into(table, schema_addr, array_addr) -- move the export into caller-owned structs."),
    F(arrow_import, METH_VARARGS, "arrow_import(schema_addr, array_addr) -> Value.  Moves the two structs."),
    F(plugin_load, METH_O, "plugin_load(path) -- dlopen a native Zelko plugin."),
    F(symbols, METH_O, "symbols(iterable_of_str) -> Value.  An Zelko symbol vector."),
    F(symbol_name, METH_O, "symbol_name(id) -> str."),
    F(from_bytes, METH_O, "from_bytes(b) -> Value.  Read back what Value.to_bytes() wrote."),
    {"_set_convert_hook", m_set_convert_hook, METH_O,
     "Internal: the Python fallback for objects the C converter has no rule for."},
    F(library_path, METH_NOARGS, "library_path() -> str | None.  Where the loaded libzelko lives."),
    F(adopt, METH_O, "adopt(handle) -> Value.  Take ownership of a raw engine handle."),
    F(free_ptr, METH_O, "free_ptr(addr) -- release an engine-allocated struct after Arrow moved its contents out."),
    {NULL, NULL, 0, NULL}};

static struct PyModuleDef zelko_module = {
    PyModuleDef_HEAD_INIT, "zelko._zelko",
    "Low-level CPython binding for the Zelko columnar time-series engine.\nLinks libzelko.so through its "
    "stable C ABI. Use the `zelko` package.",
    -1, module_methods};

static const struct {
  const char *n;
  int v;
} CONSTS[] = {
    {"ZELKO_T_LIST", ZELKO_T_LIST}, {"ZELKO_T_RANGE", ZELKO_T_RANGE}, {"ZELKO_T_BOOL", ZELKO_T_BOOL},
    {"ZELKO_T_BYTE", ZELKO_T_BYTE}, {"ZELKO_T_SHORT", ZELKO_T_SHORT}, {"ZELKO_T_INT", ZELKO_T_INT},
    {"ZELKO_T_LONG", ZELKO_T_LONG}, {"ZELKO_T_FLOAT", ZELKO_T_FLOAT}, {"ZELKO_T_CHAR", ZELKO_T_CHAR},
    {"ZELKO_T_SYM", ZELKO_T_SYM}, {"ZELKO_T_TABLE", ZELKO_T_TABLE}, {"ZELKO_T_DICT", ZELKO_T_DICT},
    {"ZELKO_T_INT_ATOM", ZELKO_T_INT_ATOM}, {"ZELKO_T_LONG_ATOM", ZELKO_T_LONG_ATOM},
    {"ZELKO_T_FLOAT_ATOM", ZELKO_T_FLOAT_ATOM}, {"ZELKO_T_CHAR_ATOM", ZELKO_T_CHAR_ATOM},
    {"ZELKO_T_SYM_ATOM", ZELKO_T_SYM_ATOM}, {"ZELKO_T_DATE", ZELKO_T_DATE}, {"ZELKO_T_TIME", ZELKO_T_TIME},
    {"ZELKO_T_TIMESTAMP", ZELKO_T_TIMESTAMP}, {"ZELKO_T_MINUTE", ZELKO_T_MINUTE},
    {"ZELKO_T_SECOND", ZELKO_T_SECOND}, {"ZELKO_T_MONTH", ZELKO_T_MONTH},
    {"ZELKO_T_TIMESPAN", ZELKO_T_TIMESPAN}, {"ZELKO_T_DATE_LIST", ZELKO_T_DATE_LIST},
    {"ZELKO_T_TIME_LIST", ZELKO_T_TIME_LIST}, {"ZELKO_T_TIMESTAMP_LIST", ZELKO_T_TIMESTAMP_LIST},
    {"ZELKO_T_MINUTE_LIST", ZELKO_T_MINUTE_LIST}, {"ZELKO_T_SECOND_LIST", ZELKO_T_SECOND_LIST},
    {"ZELKO_T_MONTH_LIST", ZELKO_T_MONTH_LIST}, {"ZELKO_T_TIMESPAN_LIST", ZELKO_T_TIMESPAN_LIST},
    {"ZELKO_CAPI_ABI", ABI}};

static int add_owned(PyObject *m, const char *name, PyObject *o) {
  int rc = o ? PyModule_AddObjectRef(m, name, o) : -1;
  Py_XDECREF(o);
  return rc;
}

PyMODINIT_FUNC PyInit__zelko(void) {
  if (PyType_Ready(&ValueType) < 0) return NULL;
  PyObject *m = PyModule_Create2(&zelko_module, 1013);
  if (!m) return NULL;
  if (!ZelkoError &&
      !(ZelkoError = PyErr_NewExceptionWithDoc(
            "zelko.ZelkoError",
            "Raised when the Zelko engine reports an error.\n\nThe message is the engine's own diagnostic "
            "text -- the same string an\nZelko-level .[f;args;handler] trap would have received.",
            PyExc_Exception, NULL)))
    goto fail;
  if (PyModule_AddObjectRef(m, "ZelkoError", ZelkoError) < 0 ||
      PyModule_AddObjectRef(m, "Value", (PyObject *)&ValueType) < 0 ||
      add_owned(m, "NULL_HANDLE", PyLong_FromUnsignedLongLong(zelko_null())) < 0)
    goto fail;
  for (size_t i = 0; i < sizeof CONSTS / sizeof *CONSTS; i++)
    if (PyModule_AddIntConstant(m, CONSTS[i].n, CONSTS[i].v) < 0) goto fail;
  return m;
fail:
  Py_DECREF(m);
  return NULL;
}
