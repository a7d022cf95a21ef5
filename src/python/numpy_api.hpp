// The NumPy C API for the files that read or make arrays.  Its function table is defined once, in
// convert.cpp (which defines MORVELAY_NUMPY_API_OWNER first), and filled by import_numpy() at import.
#pragma once

#define NPY_NO_DEPRECATED_API NPY_2_0_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL morvelay_ARRAY_API
#ifndef MORVELAY_NUMPY_API_OWNER
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>
