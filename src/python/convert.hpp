// Python values to what a core takes, and a core's answers back to Python values.
//
// The rules every class shares: the float rule, the sequence rule (lists, tuples, NumPy arrays of real
// dtypes, registered Sequences), bools, counts and texts, and positional and keyword arguments matched
// to names the way CPython does it.  A new accepted dtype goes into cast_to_doubles in convert.cpp.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <algorithm>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "core/core_error.hpp"
#include "guard.hpp"

namespace morvelay::python {

// Fills the NumPy C API table; false with ImportError set when NumPy cannot be loaded.
bool import_numpy();

// Matches positional and keyword arguments to `names` (the first `required` of them mandatory) into
// `slots`; missing optional arguments stay null.  Errors read like CPython's own.
bool parse_arguments(const char* function, std::span<const char* const> names, std::size_t required,
                     PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** slots);
// The same for tp_new's (args tuple, kwargs dict) form.
bool parse_tuple_arguments(const char* function, std::span<const char* const> names, std::size_t required,
                           PyObject* args, PyObject* kwargs, PyObject** slots);

// The float rule: an exact float directly, otherwise CPython's float conversion.  An array with one or
// more dimensions is not a float, whatever its length.
bool to_double(PyObject* object, double& value);
bool convert_float(PyObject* object, const char* name, double& value);
// The sequence rule: str, iterators, sets and mappings refused; every item by the float rule.
bool convert_array(PyObject* object, const char* name, std::vector<double>& values);
// bool or NumPy bool only (0 and 1 are refused).
bool convert_bool(PyObject* object, const char* name, bool& value);
// An integer by the index protocol, as an unsigned 64-bit value (negative -> OverflowError).
bool convert_unsigned(PyObject* object, const char* name, std::size_t& value);
// A str (or subclass) as UTF-8; a str that cannot be encoded raises the encoder's own exception.
bool convert_text(PyObject* object, const char* name, std::string& value);

template <std::size_t N>
struct Name {
    char text[N];
    constexpr Name(const char (&source)[N]) { std::copy_n(source, N, text); }
};

// Parameter kinds of a method table entry.
template <Name ParameterName>
struct Array {
    using type = std::vector<double>;
    static constexpr const char* name = ParameterName.text;
    static bool convert(PyObject* object, type& value) { return convert_array(object, name, value); }
};
template <Name ParameterName>
struct Float {
    using type = double;
    static constexpr const char* name = ParameterName.text;
    static bool convert(PyObject* object, type& value) { return convert_float(object, name, value); }
};
template <Name ParameterName>
struct Bool {
    using type = bool;
    static constexpr const char* name = ParameterName.text;
    static bool convert(PyObject* object, type& value) { return convert_bool(object, name, value); }
};

// Any Python object, passed on as a borrowed reference (alive for the whole call): for operations that
// call back into Python, such as a function to sample.
template <Name ParameterName>
struct Object {
    using type = PyObject*;
    static constexpr const char* name = ParameterName.text;
    static bool convert(PyObject* object, type& value) {
        value = object;
        return true;
    }
};

// ---- results -----------------------------------------------------------------------------------------

PyObject* to_list(std::span<const double> values);

inline PyObject* to_python(double value) { return PyFloat_FromDouble(value); }
inline PyObject* to_python(std::size_t value) { return PyLong_FromSize_t(value); }
inline PyObject* to_python(bool value) { return PyBool_FromLong(value); }
inline PyObject* to_python(std::span<const double> values) { return to_list(values); }
inline PyObject* to_python(const std::vector<double>& values) { return to_list(values); }
inline PyObject* to_python(const Status& status) {
    if (!status) return raise_value_error(status.error());
    Py_RETURN_NONE;
}
// An operation that talks to Python itself hands back its answer, or null with the exception it met.
inline PyObject* to_python(Ref&& value) { return value.release(); }
template <class T>
PyObject* to_python(const Result<T>& result) {
    if (!result) return raise_value_error(result.error());
    return to_python(result.value());
}

}  // namespace morvelay::python
