// The class objects of the module, one factory per class file.  Each returns a new reference to a
// freshly created type object, or null with an exception set.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace morvelay::python {

PyObject* create_linear_class();
PyObject* create_lagrange_class();
PyObject* create_newton_class();
PyObject* create_quadratic_class();
PyObject* create_cubic_spline_class();
PyObject* create_hermite_class();
PyObject* create_least_squares_class();
PyObject* create_rbf_class();
PyObject* create_chebyshev_class();

}  // namespace morvelay::python
