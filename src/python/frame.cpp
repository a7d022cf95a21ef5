#include "frame.hpp"

#define NPY_NO_DEPRECATED_API NPY_2_0_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL morvelay_ARRAY_API
#include <numpy/arrayobject.h>

#include <structmember.h>
#include <cstring>

namespace morvelay::python {

bool import_numpy() { return PyArray_ImportNumPyAPI() >= 0; }

// ---- borrow state -----------------------------------------------------------------------------------

Borrow::Borrow(PyObject* self, Access access) noexcept : access_(access) {
    BorrowState& state = reinterpret_cast<InstanceHead*>(self)->borrow;
    int seen = state.count.load(std::memory_order_relaxed);
    if (access == Access::Shared) {
        while (seen >= 0) {
            if (state.count.compare_exchange_weak(seen, seen + 1, std::memory_order_acquire)) {
                state_ = &state;
                return;
            }
        }
        PyErr_SetString(PyExc_RuntimeError,
                        "Already mutably borrowed: the interpolator is being changed by another call");
        return;
    }
    seen = 0;
    if (state.count.compare_exchange_strong(seen, -1, std::memory_order_acquire)) {
        state_ = &state;
        return;
    }
    PyErr_SetString(PyExc_RuntimeError, "Already borrowed: the interpolator is in use by another call");
}

Borrow::~Borrow() {
    if (!state_) return;
    if (access_ == Access::Shared) {
        state_->count.fetch_sub(1, std::memory_order_release);
    } else {
        state_->count.store(0, std::memory_order_release);
    }
}

// ---- errors -----------------------------------------------------------------------------------------

PyObject* raise_value_error(const std::string& message) {
    Ref text(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (text) PyErr_SetObject(PyExc_ValueError, text.get());
    return nullptr;
}

void set_memory_error() { PyErr_NoMemory(); }

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

// A contiguous, aligned float64 array in native byte order: the one form read in place.
bool is_native_float64_vector(PyObject* object) {
    if (!PyArray_Check(object)) return false;
    auto* array = reinterpret_cast<PyArrayObject*>(object);
    return PyArray_NDIM(array) == 1 && PyArray_TYPE(array) == NPY_DOUBLE && PyArray_ISNOTSWAPPED(array);
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
    if (PyFloat_CheckExact(object)) {
        value = PyFloat_AS_DOUBLE(object);
        return true;
    }
    // NumPy deprecates float() of arrays with dimensions; a one-element array is an array, not a float.
    if (is_array_with_dimensions(object)) {
        PyErr_Format(PyExc_TypeError, "must be real number, not numpy.ndarray of %d dimension(s)",
                     PyArray_NDIM((PyArrayObject*)object));
        return false;
    }
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
    if (is_native_float64_vector(object)) {
        // Strided views are fine here: the values are copied anyway.
        auto* array = reinterpret_cast<PyArrayObject*>(object);
        const npy_intp n = PyArray_DIM(array, 0), stride = PyArray_STRIDE(array, 0);
        const char* data = PyArray_BYTES(array);
        if (stride == sizeof(double) && PyArray_ISALIGNED(array)) {
            const auto* first = reinterpret_cast<const double*>(data);
            values.assign(first, first + n);
            return true;
        }
        values.resize(static_cast<std::size_t>(n));
        for (npy_intp i = 0; i < n; ++i)
            std::memcpy(&values[static_cast<std::size_t>(i)], data + i * stride, sizeof(double));
        return true;
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

// ---- __call__ ---------------------------------------------------------------------------------------------

namespace {

PyObject* not_an_input() {
    PyErr_SetString(PyExc_ValueError, "Input must be a float, list of floats, or NumPy array");
    return nullptr;
}

// Conversion failures of one attempt are dropped before the next; running out of memory is not a
// conversion failure and is passed on.
bool drop_conversion_error() {
    if (PyErr_ExceptionMatches(PyExc_MemoryError)) return false;
    PyErr_Clear();
    return true;
}

PyObject* evaluate_array(const void* core, const Evaluation& evaluation, PyArrayObject* input) {
    if (!PyArray_IS_C_CONTIGUOUS(input)) {
        PyErr_SetString(PyExc_TypeError, "The given array is not contiguous");
        return nullptr;
    }
    npy_intp n = PyArray_DIM(input, 0);
    Ref output(PyArray_SimpleNew(1, &n, NPY_DOUBLE));
    if (!output) return nullptr;
    auto* out = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(output.get())));
    const auto count = static_cast<std::size_t>(n);
    std::span<double> out_span(out, count);
    Status status;
    if (PyArray_ISALIGNED(input)) {
        status = evaluation.many(core, std::span<const double>(static_cast<const double*>(PyArray_DATA(input)), count),
                                 out_span);
    } else {
        // A contiguous but misaligned view (an offset into a byte buffer): copy rather than read it unaligned.
        std::vector<double> aligned(count);
        if (count) std::memcpy(aligned.data(), PyArray_DATA(input), count * sizeof(double));
        status = evaluation.many(core, aligned, out_span);
    }
    if (!status) return raise_value_error(status.error());
    return output.release();
}

}  // namespace

PyObject* dispatch_call(const void* core, const Evaluation& evaluation, PyObject* x) {
    // 1. A float (but never an array with dimensions, whatever its length).
    double value;
    if (to_double(x, value)) {
        Result<double> result = evaluation.single(core, value);
        if (!result) return raise_value_error(result.error());
        return PyFloat_FromDouble(result.value());
    }
    if (!drop_conversion_error()) return nullptr;

    // 2. A one-dimensional float64 array: read in place, answered with a new array.
    if (is_native_float64_vector(x)) return evaluate_array(core, evaluation, reinterpret_cast<PyArrayObject*>(x));

    // 3. A sequence of floats: answered with a list.
    std::vector<double> inputs;
    if (!convert_array(x, "x", inputs)) {
        if (!drop_conversion_error()) return nullptr;
        return not_an_input();
    }
    std::vector<double> outputs(inputs.size(), 0.0);
    const Status status = evaluation.many(core, inputs, outputs);
    if (!status) return raise_value_error(status.error());
    return to_list(outputs);
}

// ---- type objects -----------------------------------------------------------------------------------------

const char* type_name_of(PyTypeObject* type) noexcept { return type->tp_name; }

bool in_main_interpreter() {
    if (PyInterpreterState_Get() == PyInterpreterState_Main()) return true;
    PyErr_SetString(PyExc_ImportError, "morvelay cannot be used in a sub-interpreter");
    return false;
}

PyObject* create_type(const ClassSlots& slots) {
    static PyMemberDef members[] = {
        {"__vectorcalloffset__", Py_T_PYSSIZET, static_cast<Py_ssize_t>(offsetof(InstanceHead, vectorcall)),
         Py_READONLY, nullptr},
        {nullptr, 0, 0, 0, nullptr},
    };
    PyType_Slot type_slots[] = {
        {Py_tp_doc, const_cast<char*>(slots.doc)},
        {Py_tp_methods, slots.methods},
        {Py_tp_new, reinterpret_cast<void*>(slots.construct)},
        {Py_tp_dealloc, reinterpret_cast<void*>(slots.dealloc)},
        {Py_tp_repr, reinterpret_cast<void*>(slots.repr)},
        {Py_tp_call, reinterpret_cast<void*>(&PyVectorcall_Call)},
        {Py_tp_members, members},
        {0, nullptr},
    };
    // Created as "builtins.<name>" so that __module__ is "builtins" without a warning, then renamed to
    // the bare name: tp_name carries no dot, as for a class defined in no module.
    std::string qualified = "builtins.";
    qualified += slots.name;
    PyType_Spec spec = {qualified.c_str(), static_cast<int>(slots.basic_size), 0,
                        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_VECTORCALL, type_slots};
    PyObject* type = PyType_FromSpec(&spec);
    if (type) reinterpret_cast<PyTypeObject*>(type)->tp_name = slots.name;
    return type;
}

}  // namespace morvelay::python
