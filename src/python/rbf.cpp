// RBFInterpolator: radial basis functions with five kernels chosen by (loosely written) name.
#include <optional>
#include <string>

#include "class_table.hpp"
#include "classes.hpp"
#include "core/rbf_core.hpp"
#include "docstrings.hpp"

namespace morvelay::python {

namespace {

constexpr std::string_view kClassHead =
    "RBFInterpolator(kernel=\"gaussian\", epsilon=1.0)\n--\n\n"
    "A thin Python layer around the shared RBF core implementation.\n"
    "\n"
    "Radial Basis Function Interpolator\n"
    "\n"
    "A weighted sum of one kernel centred on each data point, through every\n"
    "point: f(x) = sum(w_i * phi(|x - x_i|)). Fitting solves a dense n-by-n\n"
    "system, O(n^3); each evaluation is O(n). Outside the data the kernel sum\n"
    "is evaluated as it is (a gaussian sum decays to 0).\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "kernel : str, default \"gaussian\"\n"
    "    \"gaussian\", \"multiquadric\", \"inverse_multiquadric\",\n"
    "    \"thin_plate_spline\" or \"linear\"; case, surrounding white space and\n"
    "    spaces for underscores do not matter\n"
    "epsilon : float, default 1.0\n"
    "    Shape parameter of the gaussian and the two multiquadric kernels\n"
    "    (larger means narrower); must be positive, ignored by the others\n"
    "\n";
constexpr std::string_view kClassErrors =
    "    \"Unknown kernel type 'cubic'. Available: gaussian, multiquadric,\n"
    "    inverse_multiquadric, thin_plate_spline, linear\" (on one line)\n"
    "    \"epsilon must be positive\"\n";
constexpr std::string_view kClassExamples =
    ">>> interp = RBFInterpolator(\"Inverse Multiquadric\", epsilon=2.0)\n"
    ">>> interp.fit([0.0, 1.0, 2.0], [1.0, 3.0, 2.0])\n"
    ">>> round(interp(1.0), 12)\n"
    "3.0\n"
    ">>> interp\n"
    "RBFInterpolator(kernel='inverse_multiquadric', epsilon=2.00, fitted with 3 points)";
constexpr const char* kClassDoc = class_doc<RBFCore, kClassHead, kClassErrors, kNoText, kClassExamples>;

constexpr std::string_view kFitHead =
    "fit($self, x, y)\n--\n\n"
    "Fit the kernel weights to the data points\n"
    "\n"
    "Solves the n-by-n kernel system by Gaussian elimination, O(n^3).\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "x : list of float\n"
    "    X coordinates of data points (any order, distinct)\n";
constexpr std::string_view kFitErrors =
    "    \"x values must be distinct\"\n"
    "    \"Singular matrix near pivot 0\" (for example the linear kernel on a\n"
    "    single point)\n";
constexpr std::string_view kFitExample =
    ">>> interp = RBFInterpolator()\n"
    ">>> interp.fit([0.0, 1.0, 2.0], [1.0, 3.0, 2.0])\n"
    ">>> round(interp(2.0), 12)\n"
    "2.0";
constexpr const char* kFitDoc = fit_xy_doc<kFitHead, kFitErrors, kFitExample>;

constexpr std::string_view kGetWeightsHead =
    "get_weights($self)\n--\n\n"
    "Get the kernel weights\n"
    "\n"
    "Returns\n"
    "-------\n"
    "list of float\n"
    "    One weight per data point, in the order x was given to fit; a new\n"
    "    list on each call\n";
constexpr std::string_view kGetWeightsExample =
    ">>> interp = RBFInterpolator(\"linear\")\n"
    ">>> interp.fit([0.0, 1.0], [2.0, 3.0])\n"
    ">>> interp.get_weights()\n"
    "[3.0, 2.0]";
constexpr const char* kGetWeightsDoc = fitted_method_doc<RBFCore, kGetWeightsHead, kNoText, kGetWeightsExample>;

// The Unicode White_Space characters.  str.strip() without arguments would also remove U+001C..U+001F,
// which Python counts as space but Unicode does not.
constexpr const char* kWhiteSpace =
    "\t\n\v\f\r \xc2\x85\xc2\xa0\xe1\x9a\x80\xe2\x80\x80\xe2\x80\x81\xe2\x80\x82\xe2\x80\x83\xe2\x80\x84\xe2\x80"
    "\x85\xe2\x80\x86\xe2\x80\x87\xe2\x80\x88\xe2\x80\x89\xe2\x80\x8a\xe2\x80\xa8\xe2\x80\xa9\xe2\x80\xaf\xe2\x81"
    "\x9f\xe3\x80\x80";

// Trimmed and lower-cased with full case mapping ("\u0130" becomes two code points), by str's own
// methods called on the str type itself, so a subclass cannot override them.
bool normalised_name(PyObject* kernel, std::string& name) {
    Ref white_space(PyUnicode_FromString(kWhiteSpace));
    if (!white_space) return false;
    Ref stripped(
        PyObject_CallMethod(reinterpret_cast<PyObject*>(&PyUnicode_Type), "strip", "OO", kernel, white_space.get()));
    if (!stripped) return false;
    Ref lowered(PyObject_CallMethod(reinterpret_cast<PyObject*>(&PyUnicode_Type), "lower", "O", stripped.get()));
    if (!lowered) return false;
    return convert_text(lowered.get(), "kernel", name);
}

// Order: kernel converted, epsilon converted, kernel name resolved, epsilon checked by the core.
std::optional<RBFCore> construct(const char* class_name, PyObject* args, PyObject* kwargs) {
    static constexpr const char* names[] = {"kernel", "epsilon"};
    PyObject* slots[2] = {};
    if (!parse_tuple_arguments(class_name, names, 0, args, kwargs, slots)) return std::nullopt;
    std::string name = "gaussian";
    if (slots[0] && !convert_text(slots[0], "kernel", name)) return std::nullopt;
    double epsilon = 1.0;
    if (slots[1] && !convert_float(slots[1], "epsilon", epsilon)) return std::nullopt;
    if (slots[0] && !normalised_name(slots[0], name)) return std::nullopt;
    Result<RBFKernel> kernel = parse_kernel_name(name);
    if (!kernel) {
        raise_value_error(kernel.error());
        return std::nullopt;
    }
    return constructed(RBFCore::create(kernel.value(), epsilon));
}

std::string rbf_repr(const RBFCore& core) {
    std::string text = "RBFInterpolator(kernel='" + std::string(kernel_name(core.kernel())) +
                       "', epsilon=" + format_fixed(core.epsilon(), 2) + ", ";
    if (!core.fitted()) return text + "not fitted)";
    return text + "fitted with " + format_count(core.count()) + " points)";
}

}  // namespace

PyObject* create_rbf_class() {
    static PyMethodDef methods[] = {
        method<"fit", &RBFCore::fit, Access::Exclusive, Array<"x">, Array<"y">>(kFitDoc),
        method<"get_weights", &RBFCore::fitted_weights, Access::Shared>(kGetWeightsDoc),
        end_of_methods,
    };
    return make_class<RBFCore, construct, rbf_repr>("RBFInterpolator", kClassDoc, methods,
                                                    {.fit_points = 40, .batch_queries = 256});
}

}  // namespace morvelay::python
