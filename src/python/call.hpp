// Calling an instance: interp(x) for a float, a sequence of floats or a one-dimensional float64 array.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <span>

#include "convert.hpp"
#include "core/core_error.hpp"
#include "guard.hpp"
#include "instance.hpp"

namespace morvelay::python {

// Type-erased evaluation, so the dispatch below is written once for all cores.
struct Evaluation {
    Result<double> (*single)(const void* core, double x);
    Status (*many)(const void* core, std::span<const double> xs, std::span<double> out);
};

template <class Core>
inline constexpr Evaluation evaluation_of = {
    [](const void* core, double x) { return static_cast<const Core*>(core)->evaluate_single(x); },
    [](const void* core, std::span<const double> xs, std::span<double> out) {
        return static_cast<const Core*>(core)->fill_many(xs, out);
    },
};

// float -> float, 1-D float64 array -> new array, sequence -> list, anything else -> ValueError.  Batches
// of `without_gil_from` queries or more are evaluated without the GIL.
PyObject* dispatch_call(const void* core, const Evaluation& evaluation, std::size_t without_gil_from, PyObject* x);

template <class Core>
PyObject* call_entry(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        Borrow borrow(self, Access::Shared);
        if (!borrow) return nullptr;
        const Core& core = core_of<Core>(self);
        const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
        // The scalar call is the one users make in loops: no parsing beyond this test.
        if (nargs == 1 && kwnames == nullptr && PyFloat_CheckExact(args[0])) {
            Result<double> value = core.evaluate_single(PyFloat_AS_DOUBLE(args[0]));
            if (!value) return raise_value_error(value.error());
            return PyFloat_FromDouble(value.value());
        }
        const std::size_t batch_without_gil_from = without_gil_from<Core>.batch_queries;
        if (nargs == 1 && kwnames == nullptr) {
            return dispatch_call(&core, evaluation_of<Core>, batch_without_gil_from, args[0]);
        }
        static constexpr const char* names[] = {"x", nullptr};
        PyObject* x = nullptr;
        if (!parse_arguments("__call__", std::span(names, 1), 1, args, nargs, kwnames, &x)) return nullptr;
        return dispatch_call(&core, evaluation_of<Core>, batch_without_gil_from, x);
    });
}

}  // namespace morvelay::python
