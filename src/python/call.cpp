#include "call.hpp"

#include <cstring>
#include <vector>

#include "numpy_api.hpp"

namespace morvelay::python {

namespace {

// A one-dimensional float64 array in native byte order: the form evaluated in place (when contiguous).
bool is_native_float64_vector(PyObject* object) {
    if (!PyArray_Check(object)) return false;
    auto* array = reinterpret_cast<PyArrayObject*>(object);
    return PyArray_NDIM(array) == 1 && PyArray_TYPE(array) == NPY_DOUBLE && PyArray_ISNOTSWAPPED(array);
}

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

PyObject* evaluate_array(const void* core, const Evaluation& evaluation, std::size_t without_gil_from,
                         PyArrayObject* input) {
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
        WithoutGil released(count >= without_gil_from);
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

PyObject* dispatch_call(const void* core, const Evaluation& evaluation, std::size_t without_gil_from, PyObject* x) {
    // A one-dimensional float64 array, read in place and answered with a new array.  Tested before the
    // float attempt, which refuses every array with dimensions anyway, so that a short array does not
    // pay for a TypeError made and thrown away.
    if (is_native_float64_vector(x)) {
        return evaluate_array(core, evaluation, without_gil_from, reinterpret_cast<PyArrayObject*>(x));
    }

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
        WithoutGil released(inputs.size() >= without_gil_from);
        return evaluation.many(core, inputs, outputs);
    }();
    if (!status) return raise_value_error(status.error());
    return to_list(outputs);
}

}  // namespace morvelay::python
