/* conv.c: Python objects into engine values.  Scalars become atoms, text
   and bytes char vectors, mappings dicts with symbol keys, 1-D buffers
   typed vectors by their format, other sequences lists the engine
   squeezes.  Every path releases what it built when it fails, and each
   level of nesting passes CPython's recursion check, so a deep or
   self-holding list raises RecursionError instead of ending the process. */
#include "pyzk.h"
#include <string.h>

PyObject *convert_hook;

zelko_value arg_to_zelko(PyObject *o) {
  if (o == Py_None) return zelko_null();
  if (Value_Check(o)) {
    zelko_value h = ((ValueObject *)o)->handle;
    if (!h) zelko_released();
    return zelko_retain(h);
  }
  return to_zelko(o);
}

static void release_all(zelko_value *v, Py_ssize_t n) {
  for (Py_ssize_t i = 0; i < n; i++) zelko_release(v[i]);
}

static zelko_value mapping_to_zelko(PyObject *obj) {
  PyObject *keys = PyMapping_Keys(obj);
  if (!keys) return 0;
  Py_ssize_t n = PyList_GET_SIZE(keys), i = 0;
  zelko_value r = 0, *vals = PyMem_Calloc(n ? n : 1, sizeof *vals);
  const char **names = PyMem_Calloc(n ? n : 1, sizeof *names);
  PyObject **strs = PyMem_Calloc(n ? n : 1, sizeof *strs);
  if (!vals || !names || !strs) {
    PyErr_NoMemory();
    goto done;
  }
  for (; i < n; i++) {
    PyObject *k = PyList_GET_ITEM(keys, i), *v = PyObject_GetItem(obj, k);
    if (!v) goto done;
    vals[i] = arg_to_zelko(v);
    Py_DECREF(v);
    if (!vals[i]) goto done;
    if (!(strs[i] = PyObject_Str(k)) || !(names[i] = PyUnicode_AsUTF8(strs[i]))) {
      i++;
      goto done;
    }
  }
  r = zelko_make_dict(names, vals, (int)n);
done:
  if (vals) release_all(vals, i);
  for (Py_ssize_t j = 0; strs && j < n; j++) Py_XDECREF(strs[j]);
  PyMem_Free(vals);
  PyMem_Free(names);
  PyMem_Free(strs);
  Py_DECREF(keys);
  return r;
}

static zelko_value sequence_to_zelko(PyObject *obj) {
  Py_ssize_t n = PySequence_Size(obj), i = 0;
  if (n < 0) return 0;
  zelko_value r = 0, *items = PyMem_Calloc(n ? n : 1, sizeof *items);
  if (!items) {
    PyErr_NoMemory();
    return 0;
  }
  for (; i < n; i++) {
    PyObject *o = PySequence_GetItem(obj, i);
    if (!o) goto done;
    items[i] = arg_to_zelko(o);
    Py_DECREF(o);
    if (!items[i]) goto done;
  }
  r = zelko_make_list(items, n);
  if (!r) zelko_raise();
done:
  release_all(items, i);
  PyMem_Free(items);
  return r;
}

/* One item of size sz at p, its bytes reversed first when big-endian. */
static const unsigned char *load_swapped(const char *p, Py_ssize_t sz, int big, unsigned char *tmp) {
  if (!big) return (const unsigned char *)p;
  for (Py_ssize_t i = 0; i < sz; i++) tmp[i] = (unsigned char)p[sz - 1 - i];
  return tmp;
}

static PyObject *no_equiv(const char *f) {
  return PyErr_Format(PyExc_TypeError, "zelko: buffer format '%s' has no Zelko equivalent", f ? f : "?");
}

static zelko_value floats(Py_buffer *b, char c, Py_ssize_t n, Py_ssize_t st, int big) {
  Py_ssize_t sz = b->itemsize;
  if ((c == 'd' && sz != 8) || (c == 'f' && sz != 4) || (c == 'e' && sz != 2)) {
    no_equiv(b->format);
    return 0;
  }
  if (c == 'd' && !big && st == 8) return zelko_from_float64(b->buf, n);
  double *d = PyMem_Malloc((n ? n : 1) * sizeof *d);
  if (!d) return PyErr_NoMemory(), 0;
  unsigned char tmp[8];
  for (Py_ssize_t i = 0; i < n; i++) {
    const char *p = (const char *)b->buf + i * st;
    if (c == 'e') {
      d[i] = PyFloat_Unpack2(p, !big);
      continue;
    }
    const unsigned char *q = load_swapped(p, sz, big, tmp);
    if (c == 'd') memcpy(&d[i], q, 8);
    else {
      float f;
      memcpy(&f, q, 4);
      d[i] = f;
    }
  }
  zelko_value r = zelko_from_float64(d, n);
  PyMem_Free(d);
  return r;
}

static zelko_value ints(Py_buffer *b, char c, Py_ssize_t n, Py_ssize_t st, int big) {
  Py_ssize_t sz = b->itemsize;
  int uns = strchr("HILQN", c) != NULL;
  if (sz != 1 && sz != 2 && sz != 4 && sz != 8) {
    PyErr_Format(PyExc_TypeError, "zelko: %zd-byte integers have no Zelko equivalent", sz);
    return 0;
  }
  if (!big && st == sz) {
    if (sz == 8 && strchr("lnq", c)) return zelko_from_int64(b->buf, n);
    if (sz == 4 && (c == 'i' || c == 'l')) return zelko_from_int32(b->buf, n);
  }
  int64_t *d = PyMem_Malloc((n ? n : 1) * sizeof *d);
  if (!d) return PyErr_NoMemory(), 0;
  unsigned char tmp[8];
  for (Py_ssize_t i = 0; i < n; i++) {
    const unsigned char *q = load_swapped((const char *)b->buf + i * st, sz, big, tmp);
    if (c == '?') {
      d[i] = ((const char *)b->buf + i * st)[0] != 0;
      continue;
    }
    switch (sz) {
      case 1: d[i] = uns ? (int64_t)q[0] : (int64_t)(int8_t)q[0]; break;
      case 2: {
        uint16_t u;
        memcpy(&u, q, 2);
        d[i] = uns ? (int64_t)u : (int64_t)(int16_t)u;
        break;
      }
      case 4: {
        uint32_t u;
        memcpy(&u, q, 4);
        d[i] = uns ? (int64_t)u : (int64_t)(int32_t)u;
        break;
      }
      default: {
        uint64_t u;
        memcpy(&u, q, 8);
        if (uns && u >> 63) {
          PyMem_Free(d);
          PyErr_Format(PyExc_OverflowError,
                       "zelko: unsigned value %llu at index %zd does not fit Zelko's int64",
                       (unsigned long long)u, i);
          return 0;
        }
        d[i] = (int64_t)u;
      }
    }
  }
  zelko_value r = zelko_from_int64(d, n);
  PyMem_Free(d);
  return r;
}

static zelko_value chars(Py_buffer *b, Py_ssize_t n, Py_ssize_t st) {
  if (st == 1) return zelko_from_bytes(b->buf, n);
  char *d = PyMem_Malloc(n ? n : 1);
  if (!d) return PyErr_NoMemory(), 0;
  for (Py_ssize_t i = 0; i < n; i++) d[i] = ((const char *)b->buf)[i * st];
  zelko_value r = zelko_from_bytes(d, n);
  PyMem_Free(d);
  return r;
}

static zelko_value view_to_zelko(Py_buffer *b) {
  if (b->ndim > 1) {
    PyErr_SetString(PyExc_TypeError,
                    "zelko: only 1-D buffers convert to an Zelko vector (ravel() or pass a list of vectors)");
    return 0;
  }
  if (!b->itemsize) b->itemsize = 1;
  Py_ssize_t sz = b->itemsize;
  Py_ssize_t n = b->ndim == 0 ? 1 : b->shape ? b->shape[0] : b->len / sz;
  Py_ssize_t st = b->strides && b->ndim ? b->strides[0] : sz;
  const char *f = b->format ? b->format : "B";
  int big = 0;
  if (strchr("@=<>!", f[0]) && f[0]) big = f[0] == '>' || f[0] == '!', f++;
  char c = f[0];
  if (!c || f[1]) return no_equiv(b->format), 0;
  if (strchr("dfe", c)) return floats(b, c, n, st, big);
  if (strchr("?bhilqnHILQN", c)) return ints(b, c, n, st, big);
  if (strchr("Bcs", c)) return chars(b, n, st);
  return no_equiv(b->format), 0;
}

/* 1 when obj offered a buffer (with *out set, 0 on failure), 0 when it
   offers none and the next rule should try. */
static int buffer_to_zelko(PyObject *obj, zelko_value *out) {
  Py_buffer b;
  if (PyObject_GetBuffer(obj, &b, PyBUF_FORMAT | PyBUF_STRIDES) < 0) {
    PyErr_Clear();
    return 0;
  }
  *out = view_to_zelko(&b);
  PyBuffer_Release(&b);
  return 1;
}

static zelko_value from_hook(PyObject *obj, int *claimed) {
  PyObject *r = PyObject_CallOneArg(convert_hook, obj);
  *claimed = 1;
  if (!r) return 0;
  if (r == Py_None) {
    Py_DECREF(r);
    *claimed = 0;
    return 0;
  }
  /* Retained before the result is dropped: it may hold the only reference. */
  zelko_value h = zelko_retain(Value_Check(r) ? ((ValueObject *)r)->handle : 0);
  Py_DECREF(r);
  if (!h) PyErr_SetString(PyExc_TypeError, "zelko: the convert hook must return an zelko.Value or None");
  return h;
}

static zelko_value text_to_zelko(PyObject *obj) {
  Py_ssize_t n;
  const char *s = PyUnicode_AsUTF8AndSize(obj, &n);
  return s ? zelko_from_bytes(s, n) : 0;
}

static zelko_value nested_to_zelko(PyObject *obj) {
  PyTypeObject *t = Py_TYPE(obj);
  if (convert_hook && t != &PyTuple_Type && t != &PyList_Type && t != &PyDict_Type) {
    int claimed;
    zelko_value h = from_hook(obj, &claimed);
    if (claimed) return h;
  }
  if (PyDict_Check(obj) ||
      (PyMapping_Check(obj) && !PySequence_Check(obj) && PyObject_HasAttrString(obj, "keys")))
    return mapping_to_zelko(obj);
  zelko_value r = 0;
  if (PyObject_CheckBuffer(obj) && buffer_to_zelko(obj, &r)) return r;
  if (PySequence_Check(obj)) return sequence_to_zelko(obj);
  PyErr_Format(PyExc_TypeError, "zelko: cannot convert %s to an Zelko value", t->tp_name);
  return 0;
}

zelko_value to_zelko(PyObject *obj) {
  if (PyBool_Check(obj)) return zelko_int(obj == Py_True);
  if (PyLong_Check(obj)) {
    long long i = PyLong_AsLongLong(obj);
    return i == -1 && PyErr_Occurred() ? 0 : zelko_int(i);
  }
  if (PyFloat_Check(obj)) return zelko_float(PyFloat_AsDouble(obj));
  if (PyUnicode_Check(obj)) return text_to_zelko(obj);
  if (PyBytes_Check(obj)) return zelko_from_bytes(PyBytes_AS_STRING(obj), PyBytes_GET_SIZE(obj));
  if (Py_EnterRecursiveCall(" while converting to a Zelko value")) return 0;
  zelko_value r = nested_to_zelko(obj);
  Py_LeaveRecursiveCall();
  return r;
}
