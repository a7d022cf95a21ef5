#define MORVELAY_NUMPY_API_OWNER
#include "convert.hpp"

#include <cstring>
#include <limits>
#include <type_traits>

#include "numpy_api.hpp"

namespace morvelay::python {

bool import_numpy() { return PyArray_ImportNumPyAPI() >= 0; }

// ---- argument parsing -----------------------------------------------------------------------------------

namespace {

bool too_many_positional(const char* function, std::size_t capacity, Py_ssize_t given) {
    if (capacity == 0) {
        PyErr_Format(PyExc_TypeError, "%s() takes no arguments (%zd given)", function, given);
    } else {
        PyErr_Format(PyExc_TypeError, "%s() takes at most %zu argument%s (%zd given)", function, capacity,
                     capacity == 1 ? "" : "s", given);
    }
    return false;
}

// Places one keyword argument into its slot; unknown and doubled names are errors.
bool place_keyword(const char* function, std::span<const char* const> names, PyObject* key, PyObject* value,
                   PyObject** slots) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (PyUnicode_CompareWithASCIIString(key, names[i]) == 0) {
            if (slots[i]) {
                PyErr_Format(PyExc_TypeError, "argument for %s() given by name ('%s') and position (%zu)", function,
                             names[i], i + 1);
                return false;
            }
            slots[i] = value;
            return true;
        }
    }
    PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", function, key);
    return false;
}

bool check_required(const char* function, std::span<const char* const> names, std::size_t required, PyObject** slots) {
    for (std::size_t i = 0; i < required; ++i) {
        if (!slots[i]) {
            PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s' (pos %zu)", function, names[i], i + 1);
            return false;
        }
    }
    return true;
}

}  // namespace

bool parse_arguments(const char* function, std::span<const char* const> names, std::size_t required,
                     PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** slots) {
    if (static_cast<std::size_t>(nargs) > names.size()) return too_many_positional(function, names.size(), nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = args[i];
    if (kwnames) {
        const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            if (!place_keyword(function, names, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], slots)) return false;
        }
    }
    return check_required(function, names, required, slots);
}

bool parse_tuple_arguments(const char* function, std::span<const char* const> names, std::size_t required,
                           PyObject* args, PyObject* kwargs, PyObject** slots) {
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    if (static_cast<std::size_t>(nargs) > names.size()) return too_many_positional(function, names.size(), nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = PyTuple_GET_ITEM(args, i);
    if (kwargs && PyDict_GET_SIZE(kwargs) > 0) {
        if (names.empty()) {
            PyErr_Format(PyExc_TypeError, "%s() takes no keyword arguments", function);
            return false;
        }
        Py_ssize_t position = 0;
        PyObject *key, *value;
        while (PyDict_Next(kwargs, &position, &key, &value)) {
            if (!place_keyword(function, names, key, value, slots)) return false;
        }
    }
    return check_required(function, names, required, slots);
}

// ---- conversions ----------------------------------------------------------------------------------------

namespace {

bool is_array_with_dimensions(PyObject* object) {
    return PyArray_Check(object) && PyArray_NDIM((PyArrayObject*)object) >= 1;
}

// NumPy's "same_kind" rule towards float64: bool, integers and real floats pass; complex (whose imaginary
// part a cast would drop, with only a warning), datetimes, strings, void and object do not.
bool casts_to_double(PyArray_Descr* descr) {
    PyArray_Descr* target = PyArray_DescrFromType(NPY_DOUBLE);
    const bool castable = PyArray_CanCastTypeTo(descr, target, NPY_SAME_KIND_CASTING) != 0;
    Py_DECREF(target);
    return castable;
}

// NumPy scalars and zero-dimensional arrays of such dtypes convert by float() with a warning at best,
// so they are refused before it.  Sets TypeError and returns false for them.
bool real_numpy_value(PyObject* object) {
    PyArray_Descr* descr = nullptr;
    if (PyArray_Check(object)) {
        descr = PyArray_DESCR(reinterpret_cast<PyArrayObject*>(object));
        Py_INCREF(descr);
    } else if (PyArray_IsScalar(object, Generic)) {
        descr = PyArray_DescrFromScalar(object);
        if (!descr) return false;
    } else {
        return true;
    }
    const bool real = casts_to_double(descr);
    Py_DECREF(descr);
    if (!real) PyErr_Format(PyExc_TypeError, "must be real number, not %.200s", Py_TYPE(object)->tp_name);
    return real;
}

// x87 and quad long doubles reach beyond double: values from DBL_MAX plus half an ulp round to infinity.
// The conversion itself would be undefined there, so that end is written out.
double narrowed(long double value) {
    constexpr long double overflow = 0x1.fffffffffffff8p1023L;
    if (value >= overflow) return std::numeric_limits<double>::infinity();
    if (value <= -overflow) return -std::numeric_limits<double>::infinity();
    return static_cast<double>(value);
}

template <class T>
void widen(const char* data, npy_intp stride, std::span<double> out) {
    for (std::size_t i = 0; i < out.size(); ++i, data += stride) {
        T item;
        std::memcpy(&item, data, sizeof(T));
        if constexpr (std::is_same_v<T, long double>) {
            out[i] = narrowed(item);
        } else {
            out[i] = static_cast<double>(item);
        }
    }
}

// A real, non-float64 vector to doubles in one pass.  The native forms are widened here, without NumPy's
// floating-point status check (which warns about long doubles beyond double, where item-by-item float()
// gives infinity quietly); the rest (float16, swapped byte order, user dtypes) by one NumPy cast.
bool cast_to_doubles(PyArrayObject* array, std::span<double> out) {
    const char* data = PyArray_BYTES(array);
    const npy_intp stride = PyArray_STRIDE(array, 0);
    if (PyArray_ISNOTSWAPPED(array)) {
        switch (PyArray_TYPE(array)) {
            case NPY_BOOL:
                widen<npy_bool>(data, stride, out);
                return true;
            case NPY_BYTE:
                widen<npy_byte>(data, stride, out);
                return true;
            case NPY_UBYTE:
                widen<npy_ubyte>(data, stride, out);
                return true;
            case NPY_SHORT:
                widen<npy_short>(data, stride, out);
                return true;
            case NPY_USHORT:
                widen<npy_ushort>(data, stride, out);
                return true;
            case NPY_INT:
                widen<npy_int>(data, stride, out);
                return true;
            case NPY_UINT:
                widen<npy_uint>(data, stride, out);
                return true;
            case NPY_LONG:
                widen<npy_long>(data, stride, out);
                return true;
            case NPY_ULONG:
                widen<npy_ulong>(data, stride, out);
                return true;
            case NPY_LONGLONG:
                widen<npy_longlong>(data, stride, out);
                return true;
            case NPY_ULONGLONG:
                widen<npy_ulonglong>(data, stride, out);
                return true;
            case NPY_FLOAT:
                widen<float>(data, stride, out);
                return true;
            case NPY_DOUBLE:
                widen<double>(data, stride, out);
                return true;
            case NPY_LONGDOUBLE:
                widen<long double>(data, stride, out);
                return true;
            default:
                break;
        }
    }
    if (out.empty()) return true;
    npy_intp n = static_cast<npy_intp>(out.size());
    Ref target(PyArray_NewFromDescr(&PyArray_Type, PyArray_DescrFromType(NPY_DOUBLE), 1, &n, nullptr, out.data(),
                                    NPY_ARRAY_CARRAY, nullptr));
    if (!target) return false;
    return PyArray_CopyInto(reinterpret_cast<PyArrayObject*>(target.get()), array) == 0;
}

// A one-dimensional array of a real dtype: copied or cast whole, never item by item.
bool vector_to_doubles(PyArrayObject* array, const char* name, std::vector<double>& values) {
    if (!casts_to_double(PyArray_DESCR(array))) {
        PyErr_Format(PyExc_TypeError, "argument '%s': must be a sequence of real numbers, not an array of %S", name,
                     reinterpret_cast<PyObject*>(PyArray_DESCR(array)));
        return false;
    }
    const npy_intp n = PyArray_DIM(array, 0);
    if (PyArray_TYPE(array) == NPY_DOUBLE && PyArray_ISNOTSWAPPED(array) && PyArray_ISALIGNED(array) &&
        PyArray_STRIDE(array, 0) == sizeof(double)) {
        const auto* first = static_cast<const double*>(PyArray_DATA(array));
        values.assign(first, first + n);
        return true;
    }
    std::vector<double> converted(static_cast<std::size_t>(n));
    if (!cast_to_doubles(array, converted)) return false;
    values = std::move(converted);
    return true;
}

PyObject* abc_sequence() {
    // Sub-interpreters are refused at import, so one cached class serves the whole process.
    static PyObject* sequence = nullptr;
    if (!sequence) {
        Ref module(PyImport_ImportModule("collections.abc"));
        if (!module) return nullptr;
        sequence = PyObject_GetAttrString(module.get(), "Sequence");
    }
    return sequence;
}

// Lists, tuples, arrays and anything registered as a Sequence; never str, iterators, sets or dicts.
int is_sequence(PyObject* object) {
    if (PySequence_Check(object)) return 1;
    PyObject* sequence = abc_sequence();
    if (!sequence) return -1;
    return PyObject_IsInstance(object, sequence);
}

}  // namespace

bool to_double(PyObject* object, double& value) {
    if (PyFloat_Check(object)) {  // float and its subclasses, numpy.float64 among them
        value = PyFloat_AS_DOUBLE(object);
        return true;
    }
    // NumPy deprecates float() of arrays with dimensions; a one-element array is an array, not a float.
    if (is_array_with_dimensions(object)) {
        PyErr_Format(PyExc_TypeError, "must be real number, not numpy.ndarray of %d dimension(s)",
                     PyArray_NDIM((PyArrayObject*)object));
        return false;
    }
    // A zero-dimensional object array stands for its item, which is judged instead of the dtype.
    if (PyArray_Check(object) && PyArray_TYPE(reinterpret_cast<PyArrayObject*>(object)) == NPY_OBJECT) {
        auto* array = reinterpret_cast<PyArrayObject*>(object);
        Ref item(PyArray_GETITEM(array, PyArray_BYTES(array)));
        return item && to_double(item.get(), value);
    }
    if (!real_numpy_value(object)) return false;
    value = PyFloat_AsDouble(object);
    return !(value == -1.0 && PyErr_Occurred());
}

bool convert_float(PyObject* object, const char* name, double& value) {
    if (to_double(object, value)) return true;
    if (PyErr_ExceptionMatches(PyExc_TypeError)) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "argument '%s': must be a float, not %.200s", name, Py_TYPE(object)->tp_name);
    }
    return false;
}

bool convert_array(PyObject* object, const char* name, std::vector<double>& values) {
    if (PyUnicode_Check(object)) {
        PyErr_Format(PyExc_TypeError, "argument '%s': must be a sequence of floats, not str", name);
        return false;
    }
    // Object arrays and arrays of other than one dimension go item by item, like any sequence.
    if (PyArray_Check(object)) {
        auto* array = reinterpret_cast<PyArrayObject*>(object);
        if (PyArray_NDIM(array) == 1 && PyArray_TYPE(array) != NPY_OBJECT)
            return vector_to_doubles(array, name, values);
    }
    const int sequence = is_sequence(object);
    if (sequence < 0) return false;
    if (sequence == 0) {
        PyErr_Format(PyExc_TypeError, "argument '%s': must be a sequence of floats, not %.200s", name,
                     Py_TYPE(object)->tp_name);
        return false;
    }
    Ref items(PySequence_Fast(object, ""));
    if (!items) {
        if (PyErr_ExceptionMatches(PyExc_TypeError)) {
            PyErr_Clear();
            PyErr_Format(PyExc_TypeError, "argument '%s': must be a sequence of floats, not %.200s", name,
                         Py_TYPE(object)->tp_name);
        }
        return false;
    }
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(items.get());
    PyObject** item = PySequence_Fast_ITEMS(items.get());
    std::vector<double> converted(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
        if (!to_double(item[i], converted[static_cast<std::size_t>(i)])) {
            if (PyErr_ExceptionMatches(PyExc_TypeError)) {
                PyErr_Clear();
                PyErr_Format(PyExc_TypeError, "argument '%s': item %zd must be a float, not %.200s", name, i,
                             Py_TYPE(item[i])->tp_name);
            }
            return false;
        }
    }
    values = std::move(converted);
    return true;
}

bool convert_bool(PyObject* object, const char* name, bool& value) {
    if (PyBool_Check(object) || PyArray_IsScalar(object, Bool)) {
        value = PyObject_IsTrue(object) == 1;
        return true;
    }
    PyErr_Format(PyExc_TypeError, "argument '%s': must be bool, not %.200s", name, Py_TYPE(object)->tp_name);
    return false;
}

bool convert_unsigned(PyObject* object, const char* name, std::size_t& value) {
    Ref index(PyNumber_Index(object));
    if (!index) {
        if (PyErr_ExceptionMatches(PyExc_TypeError)) {
            PyErr_Clear();
            PyErr_Format(PyExc_TypeError, "argument '%s': must be an integer, not %.200s", name,
                         Py_TYPE(object)->tp_name);
        }
        return false;
    }
    const unsigned long long converted = PyLong_AsUnsignedLongLong(index.get());
    if (converted == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        if (PyErr_ExceptionMatches(PyExc_OverflowError)) {
            PyErr_Clear();
            PyErr_Format(PyExc_OverflowError, "argument '%s': must be a non-negative integer below 2**64", name);
        }
        return false;
    }
    value = static_cast<std::size_t>(converted);
    return true;
}

bool convert_text(PyObject* object, const char* name, std::string& value) {
    if (!PyUnicode_Check(object)) {
        PyErr_Format(PyExc_TypeError, "argument '%s': must be str, not %.200s", name, Py_TYPE(object)->tp_name);
        return false;
    }
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(object, &size);  // lone surrogates: its own exception, unchanged
    if (!text) return false;
    value.assign(text, static_cast<std::size_t>(size));
    return true;
}

// ---- results --------------------------------------------------------------------------------------------

PyObject* to_list(std::span<const double> values) {
    Ref list(PyList_New(static_cast<Py_ssize_t>(values.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyObject* item = PyFloat_FromDouble(values[i]);
        if (!item) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

}  // namespace morvelay::python
