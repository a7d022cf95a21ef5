// ChebyshevInterpolator: a Chebyshev series on a fixed interval, fitted from values at its own nodes or
// from a Python function sampled there.
#include "class_table.hpp"
#include "classes.hpp"
#include "core/chebyshev_core.hpp"
#include "docstrings.hpp"

namespace morvelay::python {

namespace {

constexpr std::string_view kClassHead =
    "ChebyshevInterpolator(n_points=10, x_min=..., x_max=1.0, use_clenshaw=True)\n--\n\n"
    "Chebyshev Series Interpolator\n"
    "\n"
    "The polynomial through n_points Chebyshev nodes (of the first kind) that\n"
    "the instance places itself on [x_min, x_max], held as a Chebyshev series.\n"
    "Supply the values at those nodes (`fit`) or a function to sample there\n"
    "(`fit_function`). For a smooth function this is the best-behaved global\n"
    "polynomial: no Runge oscillation. Fitting is O(n^2); each evaluation is\n"
    "O(n) by Clenshaw's recurrence, or O(n^2) term by term after\n"
    "set_method(False). Points outside [x_min, x_max] are an error, never\n"
    "extrapolated.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "n_points : int, default 10\n"
    "    Number of nodes, which is the number of values fit expects\n"
    "x_min : float, default -1.0\n"
    "    Left end of the interval\n"
    "x_max : float, default 1.0\n"
    "    Right end of the interval\n"
    "use_clenshaw : bool, default True\n"
    "    Evaluate by Clenshaw's recurrence (True) or term by term (False)\n"
    "\n";
constexpr std::string_view kClassErrors =
    "    \"n_points must be positive\"\n"
    "    \"x_min must be less than x_max\"\n";
constexpr std::string_view kClassMoreErrors =
    "    \"x value 1.5000 is outside interpolation range [-1.0000, 1.0000]\"\n"
    "    when called outside the interval\n";
constexpr std::string_view kClassExamples =
    ">>> interp = ChebyshevInterpolator(n_points=8, x_min=0.0, x_max=2.0)\n"
    ">>> interp.fit_function(lambda t: t ** 3)\n"
    ">>> round(interp(1.5), 12)\n"
    "3.375";
constexpr const char* kClassDoc = class_doc<ChebyshevCore, kClassHead, kClassErrors, kClassMoreErrors, kClassExamples>;

constexpr const char* kFitDoc =
    "fit($self, y)\n--\n\n"
    "Fit the series to values at the nodes\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "y : list of float\n"
    "    One value per node, in the order of get_nodes() (largest x first)\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"Expected 10 y values (one for each Chebyshev node), got 9\"\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> interp = ChebyshevInterpolator(n_points=5)\n"
    ">>> interp.fit([x * x for x in interp.get_nodes()])\n"
    ">>> round(interp(0.5), 12)\n"
    "0.25";

constexpr const char* kFitFunctionDoc =
    "fit_function($self, func)\n--\n\n"
    "Fit the series by sampling a function at the nodes\n"
    "\n"
    "Calls func(x) once per node, largest x first, converts each result to\n"
    "float, then fits. While func runs the instance is busy: using it from\n"
    "inside func raises RuntimeError.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "func : callable\n"
    "    Takes one float, returns something float() accepts\n"
    "\n"
    "Raises\n"
    "------\n"
    "Exception\n"
    "    Whatever func raises, or the TypeError of a result that is not a\n"
    "    number; the previous fit then stays in force\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> import math\n"
    ">>> interp = ChebyshevInterpolator(n_points=20, x_min=0.0, x_max=math.pi)\n"
    ">>> interp.fit_function(math.sin)\n"
    ">>> round(interp(math.pi / 2), 12)\n"
    "1.0";

constexpr const char* kGetNodesDoc =
    "get_nodes($self)\n--\n\n"
    "Get the Chebyshev nodes\n"
    "\n"
    "Returns\n"
    "-------\n"
    "list of float\n"
    "    The n_points nodes on [x_min, x_max], largest first; available\n"
    "    before fitting\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> [round(x, 4) for x in ChebyshevInterpolator(n_points=3).get_nodes()]\n"
    "[0.866, 0.0, -0.866]";

constexpr std::string_view kGetCoefficientsHead =
    "get_coefficients($self)\n--\n\n"
    "Get the Chebyshev series coefficients\n"
    "\n"
    "Returns\n"
    "-------\n"
    "list of float\n"
    "    c0 ... c(n-1) of c0 T0(s) + c1 T1(s) + ..., where s is x mapped from\n"
    "    [x_min, x_max] to [-1, 1]; a new list on each call\n";
constexpr std::string_view kGetCoefficientsExample =
    ">>> interp = ChebyshevInterpolator(n_points=3)\n"
    ">>> interp.fit_function(lambda t: 2.0 * t)\n"
    ">>> [round(c, 12) + 0.0 for c in interp.get_coefficients()]\n"
    "[0.0, 2.0, 0.0]";
constexpr const char* kGetCoefficientsDoc =
    fitted_method_doc<ChebyshevCore, kGetCoefficientsHead, kNoText, kGetCoefficientsExample>;

constexpr const char* kSetMethodDoc =
    "set_method($self, use_clenshaw)\n--\n\n"
    "Choose how the series is evaluated\n"
    "\n"
    "No refit is needed; the two methods differ only by rounding.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "use_clenshaw : bool\n"
    "    True for Clenshaw's recurrence (O(n) per point), False for the\n"
    "    term-by-term sum (O(n^2) per point)\n"
    "\n"
    "Raises\n"
    "------\n"
    "TypeError\n"
    "    If use_clenshaw is not a bool (0 and 1 are refused)\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> interp = ChebyshevInterpolator()\n"
    ">>> interp.set_method(False)\n"
    ">>> interp\n"
    "ChebyshevInterpolator(n_points=10, x_range=[-1.00, 1.00], method=Direct, not fitted)";

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
        // The float rule of every argument: a complex or other non-real NumPy value is refused, not
        // truncated with a warning.
        double value;
        if (!to_double(result.get(), value)) return Ref();
        values.push_back(value);
    }
    if (Status status = core.fit(values); !status) return Ref(raise_value_error(status.error()));
    return Ref(Py_NewRef(Py_None));
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
        method<"fit", &ChebyshevCore::fit, Access::Exclusive, Array<"y">>(kFitDoc),
        method<"fit_function", &fit_function, Access::Exclusive, Object<"func">>(kFitFunctionDoc),
        method<"get_nodes", &ChebyshevCore::nodes, Access::Shared>(kGetNodesDoc),
        method<"get_coefficients", &fitted_read<ChebyshevCore, &ChebyshevCore::coefficients>, Access::Shared>(
            kGetCoefficientsDoc),
        method<"set_method", &ChebyshevCore::set_use_clenshaw, Access::Exclusive, Bool<"use_clenshaw">>(kSetMethodDoc),
        end_of_methods,
    };
    return make_class<ChebyshevCore, construct, chebyshev_repr>("ChebyshevInterpolator", kClassDoc, methods,
                                                                {.fit_points = 128, .batch_queries = 512});
}

}  // namespace morvelay::python
