/* value.c: the Value type, one owned reference on an engine value, with
   its methods that read the value back into Python, its read-only
   zero-copy buffer export and its pickling, plus the helpers the whole
   module shares (Value_wrap, zelko_raise). */
#include "pyzk.h"
#include <string.h>

static const char RELEASED[] = "zelko.Value has been released";

PyObject *Value_wrap(zelko_value h) {
  ValueObject *v = PyObject_New(ValueObject, &ValueType);
  if (!v) {
    zelko_release(h);
    return NULL;
  }
  v->handle = h;
  v->exports = 0;
  return (PyObject *)v;
}

PyObject *zelko_raise(void) {
  const char *e = zelko_last_error();
  PyErr_SetString(ZelkoError, e && *e ? e : "zelko: evaluation failed");
  return NULL;
}

/* A released Value met inside converted input: the engine's error text
   would be stale, so the fault is named here. */
PyObject *zelko_released(void) {
  PyErr_SetString(ZelkoError, RELEASED);
  return NULL;
}

static int Value_live(ValueObject *self) {
  if (self->handle) return 1;
  PyErr_SetString(PyExc_ValueError, RELEASED);
  return 0;
}

#define LIVE(s)                                  \
  do {                                           \
    if (!Value_live((ValueObject *)(s))) return NULL; \
  } while (0)
#define H(s) (((ValueObject *)(s))->handle)

static PyObject *Value_type(PyObject *s, PyObject *u) {
  LIVE(s);
  return PyLong_FromLong(zelko_type(H(s)));
}

static PyObject *Value_type_name(PyObject *s, PyObject *u) {
  LIVE(s);
  return PyUnicode_FromString(zelko_type_name(H(s)));
}

static PyObject *Value_count(PyObject *s, PyObject *u) {
  LIVE(s);
  return PyLong_FromLongLong(zelko_count(H(s)));
}

static PyObject *Value_is_table(PyObject *s, PyObject *u) {
  LIVE(s);
  return PyBool_FromLong(zelko_is_table(H(s)));
}

static PyObject *Value_is_dict(PyObject *s, PyObject *u) {
  LIVE(s);
  return PyBool_FromLong(zelko_is_dict(H(s)));
}

static PyObject *Value_is_atom(PyObject *s, PyObject *u) {
  LIVE(s);
  return PyBool_FromLong(zelko_is_atom(H(s)));
}

static PyObject *Value_handle(PyObject *s, PyObject *u) { return PyLong_FromUnsignedLongLong(H(s)); }

static PyObject *Value_is_released(PyObject *s, PyObject *u) { return PyBool_FromLong(H(s) == 0); }

static PyObject *Value_release(PyObject *s, PyObject *u) {
  ValueObject *v = (ValueObject *)s;
  if (v->handle && v->exports > 0)
    return PyErr_Format(PyExc_BufferError,
                        "zelko.Value.release(): %zd buffer export(s) still reading it (a NumPy "
                        "array or memoryview); drop them first",
                        v->exports);
  if (v->handle) zelko_release(v->handle);
  v->handle = 0;
  Py_RETURN_NONE;
}

static PyObject *Value_flatten(PyObject *s, PyObject *u) {
  LIVE(s);
  zelko_value r = zelko_flatten(H(s));
  return r ? Value_wrap(r) : zelko_raise();
}

/* Takes over an engine-allocated text: decoded, then freed. */
static PyObject *take_text(char *t) {
  if (!t) return zelko_raise();
  PyObject *r = PyUnicode_DecodeUTF8(t, (Py_ssize_t)strlen(t), "replace");
  zelko_free(t);
  return r;
}

static PyObject *Value_format(PyObject *s, PyObject *args, PyObject *kw) {
  static char *kws[] = {"plain", NULL};
  int plain = 1;
  LIVE(s);
  if (!PyArg_ParseTupleAndKeywords(args, kw, "|p", kws, &plain)) return NULL;
  return take_text(plain ? zelko_format_plain(H(s)) : zelko_format(H(s)));
}

static PyObject *Value_to_str(PyObject *s, PyObject *u) {
  LIVE(s);
  long long n = zelko_to_string(H(s), NULL, 0);
  if (n < 0)
    return PyErr_Format(PyExc_TypeError, "zelko.Value of type '%s' is not a string",
                        zelko_type_name(H(s)));
  char *b = PyMem_Malloc((size_t)n + 1);
  if (!b) return PyErr_NoMemory();
  zelko_to_string(H(s), b, n + 1);
  PyObject *r = PyUnicode_DecodeUTF8(b, (Py_ssize_t)n, "replace");
  PyMem_Free(b);
  return r;
}

static PyObject *not_sym(PyObject *s) {
  return PyErr_Format(PyExc_TypeError, "zelko.Value of type '%s' is not a symbol vector",
                      zelko_type_name(H(s)));
}

static PyObject *sym_str(int id, const char *errors) {
  const char *t = zelko_symbol_name(id);
  if (!t) return zelko_raise();
  return PyUnicode_DecodeUTF8(t, (Py_ssize_t)strlen(t), errors);
}

/* The ids of a symbol vector, or NULL with *n = -1 when it is not one. */
static const int32_t *sym_ids(PyObject *s, long long *n) {
  int t, bits;
  const void *p = zelko_get_vector_ptr(H(s), &t, n, &bits);
  if (t != ZELKO_T_SYM || (!p && *n)) *n = -1;
  return p;
}

static PyObject *Value_to_symbols(PyObject *s, PyObject *u) {
  LIVE(s);
  if (zelko_type(H(s)) == ZELKO_T_SYM_ATOM) {
    int ok = 0, id = zelko_to_symbol_id(H(s), &ok);
    if (!ok) return zelko_raise();
    return sym_str(id, "strict");
  }
  long long n;
  const int32_t *ids = sym_ids(s, &n);
  if (n < 0) return not_sym(s);
  PyObject *seen = PyDict_New(), *r = seen ? PyList_New((Py_ssize_t)n) : NULL;
  if (!r) goto fail;
  for (long long i = 0; i < n; i++) {
    PyObject *k = PyLong_FromLong(ids[i]);
    if (!k) goto fail;
    PyObject *str = PyDict_GetItemWithError(seen, k);
    if (str) Py_INCREF(str);
    else if (!PyErr_Occurred() && (str = sym_str(ids[i], "replace")) && PyDict_SetItem(seen, k, str) < 0)
      Py_CLEAR(str);
    Py_DECREF(k);
    if (!str) goto fail;
    PyList_SET_ITEM(r, (Py_ssize_t)i, str);
  }
  Py_DECREF(seen);
  return r;
fail:
  Py_XDECREF(seen);
  Py_XDECREF(r);
  return NULL;
}

static PyObject *Value_symbol_codes(PyObject *s, PyObject *u) {
  LIVE(s);
  long long n;
  const int32_t *ids = sym_ids(s, &n);
  if (n < 0) return not_sym(s);
  PyObject *codes = PyBytes_FromStringAndSize(NULL, (Py_ssize_t)n * 4), *seen = PyDict_New(),
           *names = PyList_New(0);
  if (!codes || !seen || !names) goto fail;
  int32_t *c = (int32_t *)PyBytes_AS_STRING(codes);
  for (long long i = 0; i < n; i++) {
    PyObject *k = PyLong_FromLong(ids[i]);
    if (!k) goto fail;
    PyObject *code = PyDict_GetItemWithError(seen, k);
    if (!code) {
      PyObject *str = PyErr_Occurred() ? NULL : sym_str(ids[i], "replace");
      code = str ? PyLong_FromSsize_t(PyList_GET_SIZE(names)) : NULL;
      int bad = !code || PyList_Append(names, str) < 0 || PyDict_SetItem(seen, k, code) < 0;
      Py_XDECREF(str);
      Py_XDECREF(code);
      if (bad) {
        Py_DECREF(k);
        goto fail;
      }
    }
    Py_DECREF(k);
    c[i] = (int32_t)PyLong_AsLong(code);
  }
  Py_DECREF(seen);
  PyObject *r = PyTuple_Pack(2, codes, names);
  Py_DECREF(codes);
  Py_DECREF(names);
  return r;
fail:
  Py_XDECREF(codes);
  Py_XDECREF(seen);
  Py_XDECREF(names);
  return NULL;
}

static PyObject *Value_scalar(PyObject *s, PyObject *u) {
  LIVE(s);
  int t = zelko_type(H(s)), ok = 0;
  if (t == ZELKO_T_INT_ATOM || t == ZELKO_T_LONG_ATOM || (t >= ZELKO_T_DATE && t <= ZELKO_T_TIMESPAN)) {
    long long i = zelko_to_int(H(s), &ok);
    if (ok) return PyLong_FromLongLong(i);
  } else if (t == ZELKO_T_FLOAT_ATOM) {
    double d = zelko_to_float(H(s), &ok);
    if (ok) return PyFloat_FromDouble(d);
  } else if (t == ZELKO_T_CHAR_ATOM) {
    return Value_to_str(s, NULL);
  } else if (t == ZELKO_T_SYM_ATOM) {
    return Value_to_symbols(s, NULL);
  }
  return PyErr_Format(PyExc_TypeError, "zelko.Value of type '%s' is not a scalar",
                      zelko_type_name(H(s)));
}

static PyObject *Value_ncols(PyObject *s, PyObject *u) {
  LIVE(s);
  return PyLong_FromLong(zelko_table_ncols(H(s)));
}

/* A column index in 0 .. 2^31-1, or -1 with IndexError set (or the
   conversion's own error). */
static int col_index(PyObject *o) {
  long long i = PyLong_AsLongLong(o);
  if (i == -1 && PyErr_Occurred()) return -1;
  if (i < 0 || i > 0x7fffffffLL) {
    PyErr_SetString(PyExc_IndexError, "column index out of range");
    return -1;
  }
  return (int)i;
}

static PyObject *Value_colname(PyObject *s, PyObject *o) {
  LIVE(s);
  int i = col_index(o);
  if (i < 0) return NULL;
  const char *t = zelko_table_colname(H(s), i);
  if (!t) {
    PyErr_SetString(PyExc_IndexError, "column index out of range");
    return NULL;
  }
  return PyUnicode_DecodeUTF8(t, (Py_ssize_t)strlen(t), "strict");
}

static PyObject *Value_column(PyObject *s, PyObject *o) {
  LIVE(s);
  int i = col_index(o);
  if (i < 0) return NULL;
  zelko_value c = zelko_table_column(H(s), i);
  if (!c) {
    PyErr_SetString(PyExc_IndexError, "column index out of range");
    return NULL;
  }
  return Value_wrap(c);
}

static PyObject *dict_part(PyObject *s, zelko_value (*f)(zelko_value)) {
  LIVE(s);
  if (!zelko_is_dict(H(s)))
    return PyErr_Format(PyExc_TypeError, "zelko.Value of type '%s' is not a dictionary",
                        zelko_type_name(H(s)));
  zelko_value r = f(H(s));
  return r ? Value_wrap(r) : zelko_raise();
}

static PyObject *Value_keys(PyObject *s, PyObject *u) { return dict_part(s, zelko_dict_keys); }
static PyObject *Value_values(PyObject *s, PyObject *u) { return dict_part(s, zelko_dict_values); }

static PyObject *Value_items(PyObject *s, PyObject *u) {
  LIVE(s);
  long long n = zelko_count(H(s));
  if (n < 0) n = 0;
  PyObject *r = PyList_New((Py_ssize_t)n);
  if (!r) return NULL;
  for (long long i = 0; i < n; i++) {
    zelko_value a[2] = {H(s), zelko_int(i)};
    zelko_value x = a[1] ? zelko_call("pyzelko.at", a, 2) : 0;
    zelko_release(a[1]);
    PyObject *w = x ? Value_wrap(x) : zelko_raise();
    if (!w) {
      Py_DECREF(r);
      return NULL;
    }
    PyList_SET_ITEM(r, (Py_ssize_t)i, w);
  }
  return r;
}

static PyObject *Value_equals(PyObject *s, PyObject *o) {
  LIVE(s);
  if (!Value_Check(o)) {
    PyErr_SetString(PyExc_TypeError, "zelko.Value.equals: expected an zelko.Value");
    return NULL;
  }
  LIVE(o);
  zelko_value a[2] = {H(s), H(o)};
  zelko_value r = zelko_call("pyzelko.match", a, 2);
  if (!r) return zelko_raise();
  int ok = 0;
  long long b = zelko_to_int(r, &ok);
  zelko_release(r);
  if (!ok) {
    PyErr_SetString(ZelkoError, "zelko: match gave no boolean");
    return NULL;
  }
  return PyBool_FromLong(b != 0);
}

static PyObject *Value_to_bytes(PyObject *s, PyObject *u) {
  LIVE(s);
  zelko_value a[1] = {H(s)};
  zelko_value r = zelko_call("pyzelko.ser", a, 1);
  if (!r) return zelko_raise();
  long long n = zelko_to_string(r, NULL, 0);
  if (n < 0) {
    zelko_release(r);
    PyErr_SetString(ZelkoError, "zelko: `ser gave no bytes");
    return NULL;
  }
  /* Room for the terminator the copy writes, then trimmed to n. */
  PyObject *b = PyBytes_FromStringAndSize(NULL, (Py_ssize_t)n + 1);
  if (b) {
    zelko_to_string(r, PyBytes_AS_STRING(b), n + 1);
    if (_PyBytes_Resize(&b, (Py_ssize_t)n) < 0) b = NULL;
  }
  zelko_release(r);
  return b;
}

static PyObject *Value_reduce(PyObject *s, PyObject *u) {
  PyObject *b = Value_to_bytes(s, NULL);
  if (!b) return NULL;
  PyObject *m = PyImport_ImportModule("zelko");
  PyObject *f = m ? PyObject_GetAttrString(m, "_unpickle") : NULL;
  Py_XDECREF(m);
  PyObject *r = f ? Py_BuildValue("O(O)", f, b) : NULL;
  Py_XDECREF(f);
  Py_DECREF(b);
  return r;
}

static PyMethodDef Value_methods[] = {
    {"type", Value_type, METH_NOARGS, "Zelko type code (see zelko.T_*)."},
    {"type_name", Value_type_name, METH_NOARGS, "Human-readable type name."},
    {"count", Value_count, METH_NOARGS, "Element count (rows, for a table)."},
    {"is_table", Value_is_table, METH_NOARGS, "True if this is an Zelko table."},
    {"is_dict", Value_is_dict, METH_NOARGS, "True if this is an Zelko dictionary."},
    {"is_atom", Value_is_atom, METH_NOARGS, "True if this is a scalar atom."},
    {"handle", Value_handle, METH_NOARGS, "The raw 64-bit engine handle (diagnostics only; 0 once released)."},
    {"release", Value_release, METH_NOARGS,
     "Give the engine value back now. Refused while a buffer export is alive; idempotent."},
    {"is_released", Value_is_released, METH_NOARGS, "True once release() has run."},
    {"flatten", Value_flatten, METH_NOARGS, "Materialise a lazy range; identity otherwise."},
    {"format", (PyCFunction)(void (*)(void))Value_format, METH_VARARGS | METH_KEYWORDS,
     "Render as the REPL would. format(plain=True) strips ANSI colour."},
    {"to_str", Value_to_str, METH_NOARGS, "Decode a char vector to str."},
    {"to_symbols", Value_to_symbols, METH_NOARGS, "Decode a symbol vector to a list of str."},
    {"symbol_codes", Value_symbol_codes, METH_NOARGS,
     "(int32 codes as bytes, distinct names) of a symbol vector: a categorical."},
    {"scalar", Value_scalar, METH_NOARGS,
     "Convert an atom to the natural Python scalar (temporal atoms: their raw number)."},
    {"ncols", Value_ncols, METH_NOARGS, "Column count of a table, or -1."},
    {"colname", Value_colname, METH_O, "Name of column i."},
    {"column", Value_column, METH_O, "Column i as a Value (flattened)."},
    {"keys", Value_keys, METH_NOARGS, "Dictionary keys as a Value."},
    {"values", Value_values, METH_NOARGS, "Dictionary values as a Value."},
    {"items", Value_items, METH_NOARGS, "Explode a general list into a list of Values."},
    {"equals", Value_equals, METH_O, "Engine match (`~`): same type, shape and values."},
    {"to_bytes", Value_to_bytes, METH_NOARGS, "The engine's own serialisation (`ser) of this value."},
    {"__reduce__", Value_reduce, METH_NOARGS, "Pickle support, through to_bytes()/from_bytes()."},
    {NULL, NULL, 0, NULL}};

static Py_ssize_t Value_length(PyObject *s) {
  if (!Value_live((ValueObject *)s)) return -1;
  long long n = zelko_count(H(s));
  return n < 0 ? 0 : (Py_ssize_t)n;
}

static PyObject *Value_repr(PyObject *s) {
  if (!H(s)) return PyUnicode_FromString("<zelko.Value released>");
  const char *tn = zelko_type_name(H(s));
  char *t = zelko_format_plain(H(s));
  if (!t) {
    PyErr_Clear();
    return PyUnicode_FromFormat("<zelko.Value %s>", tn);
  }
  PyObject *r = PyUnicode_FromFormat("<zelko.Value %s>\n%s", tn, t);
  zelko_free(t);
  return r;
}

static void Value_dealloc(PyObject *s) {
  if (H(s)) zelko_release(H(s));
  PyObject_Free(s);
}

static const char *format_for(int t, int bits) {
  switch (t) {
    case ZELKO_T_BYTE: return "b";
    case ZELKO_T_SHORT: return "h";
    case ZELKO_T_INT: case ZELKO_T_SYM: return "i";
    case ZELKO_T_LONG: return "q";
    case ZELKO_T_FLOAT: return "d";
    case ZELKO_T_CHAR: return "B";
    default:
      if (t >= ZELKO_T_DATE_LIST && t <= ZELKO_T_TIMESPAN_LIST) return bits == 64 ? "q" : "i";
      return NULL;
  }
}

static int Value_getbuffer(PyObject *s, Py_buffer *view, int flags) {
  ValueObject *v = (ValueObject *)s;
  if (!view) {
    PyErr_SetString(PyExc_BufferError, "NULL view in Value.__buffer__");
    return -1;
  }
  if (!v->handle) {
    PyErr_SetString(PyExc_BufferError, RELEASED);
    return -1;
  }
  int t, bits;
  long long n;
  const void *p = zelko_get_vector_ptr(v->handle, &t, &n, &bits);
  const char *f = format_for(t, bits);
  if (!f || !p) {
    PyErr_Format(PyExc_BufferError,
                 "zelko.Value of type '%s' has no flat buffer to export (use .items(), "
                 ".to_str() or .scalar() instead)",
                 zelko_type_name(v->handle));
    return -1;
  }
  if (flags & PyBUF_WRITABLE) {
    PyErr_SetString(PyExc_BufferError, "zelko.Value buffers are read-only");
    return -1;
  }
  view->buf = (void *)p;
  view->obj = Py_NewRef(s);
  view->readonly = 1;
  view->ndim = 1;
  view->itemsize = bits / 8;
  view->len = (Py_ssize_t)n * view->itemsize;
  view->format = (flags & PyBUF_FORMAT) ? (char *)f : NULL;
  view->shape = view->strides = view->suboffsets = NULL;
  view->internal = NULL;
  if ((flags & PyBUF_ND) == PyBUF_ND && !(view->shape = PyMem_Malloc(sizeof(Py_ssize_t))))
    goto nomem;
  if ((flags & PyBUF_STRIDES) == PyBUF_STRIDES && !(view->strides = PyMem_Malloc(sizeof(Py_ssize_t))))
    goto nomem;
  if (view->shape) view->shape[0] = (Py_ssize_t)n;
  if (view->strides) view->strides[0] = view->itemsize;
  v->exports++;
  return 0;
nomem:
  PyMem_Free(view->shape);
  view->shape = NULL;
  Py_CLEAR(view->obj);
  PyErr_NoMemory();
  return -1;
}

static void Value_releasebuffer(PyObject *s, Py_buffer *view) {
  ValueObject *v = (ValueObject *)s;
  PyMem_Free(view->shape);
  PyMem_Free(view->strides);
  view->shape = view->strides = NULL;
  if (v->exports > 0) v->exports--;
}

static PySequenceMethods Value_seq = {.sq_length = Value_length};
static PyBufferProcs Value_buf = {.bf_getbuffer = Value_getbuffer, .bf_releasebuffer = Value_releasebuffer};

PyTypeObject ValueType = {
    PyVarObject_HEAD_INIT(NULL, 0).tp_name = "zelko._zelko.Value",
    .tp_basicsize = sizeof(ValueObject),
    .tp_dealloc = Value_dealloc,
    .tp_repr = Value_repr,
    .tp_as_sequence = &Value_seq,
    .tp_as_buffer = &Value_buf,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = "An owned handle on a value inside the Zelko engine.\n\nFlat vectors export the PEP 3118 "
              "buffer protocol, so\nnumpy.asarray(v), memoryview(v) and pyarrow.py_buffer(v)\nare all "
              "zero-copy and all keep the engine value alive for\nas long as they exist.",
    .tp_methods = Value_methods,
    .tp_free = PyObject_Free,
};
