/* pyzk.h: what the three parts of the Python module share: the Value type
   and its helpers, the module's exception and convert hook, and the
   conversion of Python objects into engine values. */
#ifndef PYZK_H
#define PYZK_H

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include "zelko_capi.h"

typedef struct {
  PyObject_HEAD
  zelko_value handle; /* owned engine reference; 0 once released */
  Py_ssize_t exports; /* live buffer views taken from this object */
} ValueObject;

extern PyTypeObject ValueType;
extern PyObject *ZelkoError;
extern PyObject *convert_hook;

#define Value_Check(o) (Py_TYPE(o) == &ValueType)

PyObject *Value_wrap(zelko_value h);
PyObject *zelko_raise(void);
PyObject *zelko_released(void);
zelko_value to_zelko(PyObject *obj);
zelko_value arg_to_zelko(PyObject *obj);

#endif
