#include "frame.hpp"

#define NPY_NO_DEPRECATED_API NPY_2_0_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL morvelay_ARRAY_API
#include <numpy/arrayobject.h>

#include <structmember.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

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

// A one-dimensional float64 array in native byte order: the form evaluated in place (when contiguous).
bool is_native_float64_vector(PyObject* object) {
    if (!PyArray_Check(object)) return false;
    auto* array = reinterpret_cast<PyArrayObject*>(object);
    return PyArray_NDIM(array) == 1 && PyArray_TYPE(array) == NPY_DOUBLE && PyArray_ISNOTSWAPPED(array);
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
    // The caller's reference keeps the input alive while the GIL is let go; the output is ours alone.
    const auto* in = static_cast<const double*>(PyArray_DATA(input));
    const bool aligned = PyArray_ISALIGNED(input);
    const Status status = [&] {
        WithoutGil released(count >= evaluation.many_without_gil_from);
        if (aligned) return evaluation.many(core, std::span<const double>(in, count), out_span);
        // A contiguous but misaligned view (an offset into a byte buffer): copy rather than read it unaligned.
        std::vector<double> copy(count);
        if (count) std::memcpy(copy.data(), in, count * sizeof(double));
        return evaluation.many(core, copy, out_span);
    }();
    if (!status) return raise_value_error(status.error());
    return output.release();
}

}  // namespace

PyObject* dispatch_call(const void* core, const Evaluation& evaluation, PyObject* x) {
    // A one-dimensional float64 array, read in place and answered with a new array.  Tested before the
    // float attempt, which refuses every array with dimensions anyway, so that a short array does not
    // pay for a TypeError made and thrown away.
    if (is_native_float64_vector(x)) return evaluate_array(core, evaluation, reinterpret_cast<PyArrayObject*>(x));

    // A float (never an array with dimensions, whatever its length).
    double value;
    if (to_double(x, value)) {
        Result<double> result = evaluation.single(core, value);
        if (!result) return raise_value_error(result.error());
        return PyFloat_FromDouble(result.value());
    }
    if (!drop_conversion_error()) return nullptr;

    // A sequence of floats, including arrays of other real dtypes: answered with a list.
    std::vector<double> inputs;
    if (!convert_array(x, "x", inputs)) {
        if (!drop_conversion_error()) return nullptr;
        return not_an_input();
    }
    std::vector<double> outputs(inputs.size(), 0.0);
    const Status status = [&] {
        WithoutGil released(inputs.size() >= evaluation.many_without_gil_from);
        return evaluation.many(core, inputs, outputs);
    }();
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

// ---- pickling ---------------------------------------------------------------------------------------------
//
// Pickle saves a class as its module and name, and these classes give the module "builtins", where they
// are not found.  So an instance reduces to (reference, (), state) with a reference object standing for
// its class: called, the reference creates an instance; pickled, it reduces to getattr(M, "<Class>"),
// where M is a second reference that reduces to __import__("morvelay").  Unpickling, in this process or
// another, thus finds the class in the installed module by name, and nothing is added to the module.

namespace {

constexpr const char* kModuleName = "morvelay";

struct Reference {
    PyObject_HEAD PyObject* target;  // the class, or null for the module itself
};

PyObject* builtin(const char* name) {
    Ref builtins(PyImport_ImportModule("builtins"));
    if (!builtins) return nullptr;
    return PyObject_GetAttrString(builtins.get(), name);
}

PyTypeObject* reference_type();

PyObject* new_reference(PyObject* target) {
    PyTypeObject* type = reference_type();
    if (!type) return nullptr;
    PyObject* self = type->tp_alloc(type, 0);
    if (!self) return nullptr;
    Py_XINCREF(target);
    reinterpret_cast<Reference*>(self)->target = target;
    return self;
}

void reference_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    Py_XDECREF(reinterpret_cast<Reference*>(self)->target);
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* reference_call(PyObject* self, PyObject* args, PyObject* kwargs) {
    PyObject* target = reinterpret_cast<Reference*>(self)->target;
    if (!target) {
        PyErr_Format(PyExc_TypeError, "the reference to module %s is not callable", kModuleName);
        return nullptr;
    }
    return PyObject_Call(target, args, kwargs);
}

PyObject* reference_repr(PyObject* self) {
    auto* target = reinterpret_cast<PyTypeObject*>(reinterpret_cast<Reference*>(self)->target);
    if (!target) return PyUnicode_FromFormat("<reference to module %s>", kModuleName);
    return PyUnicode_FromFormat("<reference to %s.%s>", kModuleName, type_name_of(target));
}

PyObject* reference_reduce(PyObject* self, PyObject*) {
    PyObject* target = reinterpret_cast<Reference*>(self)->target;
    if (!target) {
        Ref import(builtin("__import__"));
        if (!import) return nullptr;
        return Py_BuildValue("(O(s))", import.get(), kModuleName);
    }
    static PyObject* module = nullptr;  // one reference to the module serves every class
    if (!module && !(module = new_reference(nullptr))) return nullptr;
    Ref getattr(builtin("getattr"));
    if (!getattr) return nullptr;
    return Py_BuildValue("(O(Os))", getattr.get(), module, type_name_of(reinterpret_cast<PyTypeObject*>(target)));
}

PyTypeObject* reference_type() {
    static PyTypeObject* type = nullptr;
    if (type) return type;
    static PyMethodDef methods[] = {
        {"__reduce__", &reference_reduce, METH_NOARGS, nullptr},
        {nullptr, nullptr, 0, nullptr},
    };
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&reference_dealloc)},
        {Py_tp_call, reinterpret_cast<void*>(&reference_call)},
        {Py_tp_repr, reinterpret_cast<void*>(&reference_repr)},
        {Py_tp_methods, methods},
        {0, nullptr},
    };
    PyType_Spec spec = {"builtins.ClassReference", static_cast<int>(sizeof(Reference)), 0,
                        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, slots};
    type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
    if (type) type->tp_name = "ClassReference";
    return type;
}

// Arrays travel as little-endian binary64, whatever the byte order of the machine that saved them.
std::uint64_t little_endian(std::uint64_t bits) {
    if constexpr (std::endian::native == std::endian::big) {
        std::uint64_t swapped = 0;
        for (int i = 0; i < 8; ++i) swapped |= ((bits >> (8 * i)) & 0xff) << (8 * (7 - i));
        return swapped;
    }
    return bits;
}

PyObject* bytes_of(std::span<const double> values) {
    Ref bytes(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(values.size() * sizeof(double))));
    if (!bytes) return nullptr;
    char* out = PyBytes_AS_STRING(bytes.get());
    if constexpr (std::endian::native == std::endian::little) {
        if (!values.empty()) std::memcpy(out, values.data(), values.size() * sizeof(double));
        return bytes.release();
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::uint64_t bits = little_endian(std::bit_cast<std::uint64_t>(values[i]));
        std::memcpy(out + i * sizeof(double), &bits, sizeof(bits));
    }
    return bytes.release();
}

std::vector<double> doubles_of(PyObject* bytes) {
    const auto n = static_cast<std::size_t>(PyBytes_GET_SIZE(bytes)) / sizeof(double);
    const char* in = PyBytes_AS_STRING(bytes);
    std::vector<double> values(n);
    if constexpr (std::endian::native == std::endian::little) {
        if (n) std::memcpy(values.data(), in, n * sizeof(double));
        return values;
    }
    for (std::size_t i = 0; i < n; ++i) {
        std::uint64_t bits;
        std::memcpy(&bits, in + i * sizeof(double), sizeof(bits));
        values[i] = std::bit_cast<double>(little_endian(bits));
    }
    return values;
}

PyObject* python_value(const StateValue& value) {
    if (const auto* array = std::get_if<std::vector<double>>(&value)) return bytes_of(*array);
    if (const auto* real = std::get_if<double>(&value)) return PyFloat_FromDouble(*real);
    if (const auto* count = std::get_if<std::uint64_t>(&value)) return PyLong_FromUnsignedLongLong(*count);
    if (const auto* integer = std::get_if<std::int64_t>(&value)) return PyLong_FromLongLong(*integer);
    // get_if throughout: std::get could throw, and would export the exception's type from the module.
    const auto* text = std::get_if<std::string>(&value);
    if (!text) {  // not reached: the alternatives are exhausted above
        PyErr_SetString(PyExc_SystemError, "a state value of no known kind");
        return nullptr;
    }
    return PyUnicode_DecodeUTF8(text->data(), static_cast<Py_ssize_t>(text->size()), "strict");
}

bool set_item(PyObject* dict, const char* key, PyObject* owned) {
    Ref value(owned);
    return value && PyDict_SetItemString(dict, key, value.get()) == 0;
}

// One plain Python value as a field value: exact bytes, float, int and str only, so nothing of the
// caller's runs and no subclass can pass itself off as data.  `detail` says why not, if not.
bool field_value(PyObject* object, StateValue& value, std::string& detail) {
    if (PyBytes_CheckExact(object)) {
        if (PyBytes_GET_SIZE(object) % static_cast<Py_ssize_t>(sizeof(double)) != 0) {
            detail = "holds " + format_count(static_cast<std::uint64_t>(PyBytes_GET_SIZE(object))) +
                     " bytes, not a whole number of doubles";
            return false;
        }
        value = doubles_of(object);
        return true;
    }
    if (PyFloat_CheckExact(object)) {
        value = PyFloat_AS_DOUBLE(object);
        return true;
    }
    if (PyLong_CheckExact(object)) {
        int overflow = 0;
        const long long signed_value = PyLong_AsLongLongAndOverflow(object, &overflow);
        if (overflow == 0 && !(signed_value == -1 && PyErr_Occurred())) {
            if (signed_value < 0) {
                value = static_cast<std::int64_t>(signed_value);
            } else {
                value = static_cast<std::uint64_t>(signed_value);
            }
            return true;
        }
        if (overflow > 0) {
            const unsigned long long unsigned_value = PyLong_AsUnsignedLongLong(object);
            if (!(unsigned_value == static_cast<unsigned long long>(-1) && PyErr_Occurred())) {
                value = static_cast<std::uint64_t>(unsigned_value);
                return true;
            }
        }
        PyErr_Clear();
        detail = "is an integer out of range";
        return false;
    }
    if (PyUnicode_CheckExact(object)) {
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(object, &size);
        if (!text) {
            PyErr_Clear();
            detail = "is not valid text";
            return false;
        }
        value = std::string(text, static_cast<std::size_t>(size));
        return true;
    }
    detail = std::string("has the unsupported type ") + Py_TYPE(object)->tp_name;
    return false;
}

// The text of a str, or nothing (for keys and the class name: a str that cannot be encoded is no name).
std::optional<std::string> utf8_of(PyObject* object) {
    if (!PyUnicode_Check(object)) return std::nullopt;
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(object, &size);
    if (!text) {
        PyErr_Clear();
        return std::nullopt;
    }
    return std::string(text, static_cast<std::size_t>(size));
}

}  // namespace

PyObject* raise_invalid_state(const char* class_name, std::string_view detail) {
    std::string message = "Invalid ";
    message += class_name;
    message += " state: ";
    message += detail;
    return raise_value_error(message);
}

PyObject* new_class_reference(PyTypeObject* type) { return new_reference(reinterpret_cast<PyObject*>(type)); }

PyObject* state_to_python(const char* class_name, const CoreState& state) {
    Ref dict(PyDict_New());
    if (!dict) return nullptr;
    if (!set_item(dict.get(), "class", PyUnicode_FromString(class_name)) ||
        !set_item(dict.get(), "version", PyLong_FromUnsignedLongLong(state.version))) {
        return nullptr;
    }
    for (const StateField& field : state.fields) {
        if (!set_item(dict.get(), field.name.c_str(), python_value(field.value))) return nullptr;
    }
    return dict.release();
}

bool state_from_python(const char* class_name, PyObject* object, CoreState& state) {
    if (!PyDict_CheckExact(object)) {
        raise_invalid_state(class_name, std::string("expected a dict, got ") + Py_TYPE(object)->tp_name);
        return false;
    }
    // With every key an exact str, looking keys up and reading values (exact built-in types only) runs no
    // code of the caller's, so the dict cannot change while it is read.
    Py_ssize_t position = 0;
    PyObject *key, *value;
    while (PyDict_Next(object, &position, &key, &value)) {
        if (!PyUnicode_CheckExact(key)) {
            raise_invalid_state(class_name, "a field name is not a str");
            return false;
        }
    }
    PyObject* saved_class = PyDict_GetItemString(object, "class");
    const std::optional<std::string> saved_name = saved_class ? utf8_of(saved_class) : std::nullopt;
    if (!saved_name) {
        raise_invalid_state(class_name, "no class name");
        return false;
    }
    if (*saved_name != class_name) {
        raise_invalid_state(class_name, "it was saved from " + *saved_name);
        return false;
    }
    PyObject* version = PyDict_GetItemString(object, "version");
    StateValue version_value;
    std::string detail;
    if (!version) {
        raise_invalid_state(class_name, "no format version");
        return false;
    }
    const std::uint64_t* version_number =
        field_value(version, version_value, detail) ? std::get_if<std::uint64_t>(&version_value) : nullptr;
    if (!version_number) {
        raise_invalid_state(class_name, "the format version must be a non-negative integer");
        return false;
    }
    CoreState read;
    read.version = *version_number;
    position = 0;
    while (PyDict_Next(object, &position, &key, &value)) {
        std::optional<std::string> name = utf8_of(key);
        if (!name) {
            raise_invalid_state(class_name, "a field name is not a str");
            return false;
        }
        if (*name == "class" || *name == "version") continue;
        StateValue field;
        if (!field_value(value, field, detail)) {
            raise_invalid_state(class_name, "field '" + *name + "' " + detail);
            return false;
        }
        read.fields.push_back({std::move(*name), std::move(field)});
    }
    state = std::move(read);
    return true;
}

std::vector<PyMethodDef> joined_methods(const PyMethodDef* methods, std::span<const PyMethodDef> more) {
    std::vector<PyMethodDef> table;
    for (const PyMethodDef* method = methods; method->ml_name; ++method) table.push_back(*method);
    table.insert(table.end(), more.begin(), more.end());
    table.push_back({nullptr, nullptr, 0, nullptr});
    return table;
}

}  // namespace morvelay::python
