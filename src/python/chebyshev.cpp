// ChebyshevInterpolator: a Chebyshev series on a fixed interval, fitted from values at its own nodes or
// from a Python function sampled there.
#include "classes.hpp"
#include "core/chebyshev_core.hpp"
#include "frame.hpp"

namespace morvelay::python {

namespace {

std::optional<ChebyshevCore> construct(const char* class_name, PyObject* args, PyObject* kwargs) {
    static constexpr const char* names[] = {"n_points", "x_min", "x_max", "use_clenshaw"};
    PyObject* slots[4] = {};
    if (!parse_tuple_arguments(class_name, names, 0, args, kwargs, slots)) return std::nullopt;
    std::size_t n_points = 10;
    double x_min = -1.0, x_max = 1.0;
    bool use_clenshaw = true;
    if (slots[0] && !convert_unsigned(slots[0], "n_points", n_points)) return std::nullopt;
    if (slots[1] && !convert_float(slots[1], "x_min", x_min)) return std::nullopt;
    if (slots[2] && !convert_float(slots[2], "x_max", x_max)) return std::nullopt;
    if (slots[3] && !convert_bool(slots[3], "use_clenshaw", use_clenshaw)) return std::nullopt;
    return constructed(ChebyshevCore::create(n_points, x_min, x_max, use_clenshaw));
}

// Samples func once per node, in node order, then fits.  The instance stays exclusively borrowed
// throughout, so func cannot reach it; any exception of func or of the float conversion propagates
// as it is, and the core is touched only once every value is in.
Ref fit_function(ChebyshevCore& core, PyObject* func) {
    std::vector<double> values;
    values.reserve(core.n_points());
    for (double node : core.nodes()) {
        Ref argument(PyFloat_FromDouble(node));
        if (!argument) return Ref();
        Ref result(PyObject_CallOneArg(func, argument.get()));
        if (!result) return Ref();
        double value;
        if (PyFloat_CheckExact(result.get())) {
            value = PyFloat_AS_DOUBLE(result.get());
        } else {
            value = PyFloat_AsDouble(result.get());
            if (value == -1.0 && PyErr_Occurred()) return Ref();
        }
        values.push_back(value);
    }
    if (Status status = core.fit(values); !status) return Ref(raise_value_error(status.error()));
    return Ref(Py_NewRef(Py_None));
}

Result<std::span<const double>> coefficients(const ChebyshevCore& core) {
    if (!core.fitted()) return CoreError::not_fitted("Call fit(y) first.");
    return core.coefficients();
}

std::string chebyshev_repr(const ChebyshevCore& core) {
    return "ChebyshevInterpolator(n_points=" + format_count(core.n_points()) + ", x_range=[" +
           format_fixed(core.x_min(), 2) + ", " + format_fixed(core.x_max(), 2) +
           "], method=" + (core.use_clenshaw() ? "Clenshaw" : "Direct") +
           (core.fitted() ? ", fitted)" : ", not fitted)");
}

}  // namespace

PyObject* create_chebyshev_class() {
    static PyMethodDef methods[] = {
        method<"fit", &ChebyshevCore::fit, Access::Exclusive, Array<"y">>("fit($self, y)\n--\n\n"),
        method<"fit_function", &fit_function, Access::Exclusive, Object<"func">>("fit_function($self, func)\n--\n\n"),
        method<"get_nodes", &ChebyshevCore::nodes, Access::Shared>("get_nodes($self)\n--\n\n"),
        method<"get_coefficients", &coefficients, Access::Shared>("get_coefficients($self)\n--\n\n"),
        method<"set_method", &ChebyshevCore::set_use_clenshaw, Access::Exclusive, Bool<"use_clenshaw">>(
            "set_method($self, use_clenshaw)\n--\n\n"),
        end_of_methods,
    };
    return make_class<ChebyshevCore, construct, chebyshev_repr>(
        "ChebyshevInterpolator", "ChebyshevInterpolator(n_points=10, x_min=..., x_max=1.0, use_clenshaw=True)\n--\n\n",
        methods);
}

}  // namespace morvelay::python
