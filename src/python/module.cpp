// The extension module: one module object per process (single-phase initialisation), holding the nine
// classes in a fixed order and nothing else.
#include "classes.hpp"
#include "convert.hpp"

namespace {

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "morvelay",
    "High-performance one-dimensional interpolation.\n"
    "\n"
    "Nine interpolation methods (piecewise linear, Newton, barycentric Lagrange, Hermite, piecewise\n"
    "quadratic, cubic spline, polynomial least squares, Chebyshev series and radial basis functions),\n"
    "each a class that is fitted once and then called on a float, a sequence of floats or a NumPy\n"
    "float64 array.\n"
    "\n"
    "Example\n"
    "-------\n"
    ">>> from morvelay import LinearInterpolator\n"
    ">>> interp = LinearInterpolator()\n"
    ">>> interp.fit([0.0, 1.0], [0.0, 1.0])\n"
    ">>> print(interp(0.5))\n"
    "0.5",
    -1,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

struct ClassEntry {
    const char* name;
    PyObject* (*create)();
};

}  // namespace

PyMODINIT_FUNC PyInit_morvelay(void) {
    using namespace morvelay::python;
    // The classes keep process-wide state (cached type objects, the cached Sequence ABC), which a
    // sub-interpreter must not share.  Since 3.13 CPython runs single-phase init functions with the
    // main interpreter active whatever interpreter imports, so this test only holds on interpreters
    // that call it directly; isolated sub-interpreters are refused by CPython itself after the call,
    // and legacy ones get a copy of the module whose constructors refuse to run (see new_entry).
    if (PyInterpreterState_Get() != PyInterpreterState_Main()) {
        PyErr_SetString(PyExc_ImportError, "morvelay cannot be imported in a sub-interpreter");
        return nullptr;
    }
    if (!import_numpy()) return nullptr;

    PyObject* module = PyModule_Create(&module_definition);
    if (!module) return nullptr;
#ifdef Py_GIL_DISABLED
    // The borrow state is atomic, but the module has not been audited for running without the GIL.
    if (PyUnstable_Module_SetGIL(module, Py_MOD_GIL_USED) < 0) {
        Py_DECREF(module);
        return nullptr;
    }
#endif
    static const ClassEntry classes[] = {
        {"LinearInterpolator", &create_linear_class},
        {"LagrangeInterpolator", &create_lagrange_class},
        {"NewtonInterpolator", &create_newton_class},
        {"QuadraticInterpolator", &create_quadratic_class},
        {"CubicSplineInterpolator", &create_cubic_spline_class},
        {"HermiteInterpolator", &create_hermite_class},
        {"LeastSquaresInterpolator", &create_least_squares_class},
        {"RBFInterpolator", &create_rbf_class},
        {"ChebyshevInterpolator", &create_chebyshev_class},
    };
    for (const ClassEntry& entry : classes) {
        PyObject* type = entry.create();
        if (!type || PyModule_Add(module, entry.name, type) < 0) {
            Py_DECREF(module);
            return nullptr;
        }
    }
    return module;
}
