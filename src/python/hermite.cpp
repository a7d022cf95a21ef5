// HermiteInterpolator: global polynomial matching values and first derivatives.
#include "class_table.hpp"
#include "classes.hpp"
#include "core/hermite_core.hpp"
#include "docstrings.hpp"

namespace morvelay::python {

namespace {

// Every example starts from this fit.
constexpr std::string_view kFitted =
    ">>> interp = HermiteInterpolator()\n"
    ">>> interp.fit([0.0, 1.0], [0.0, 1.0], [0.0, 0.0])\n";

constexpr std::string_view kClassHead =
    "HermiteInterpolator()\n--\n\n"
    "Hermite Polynomial Interpolator\n"
    "\n"
    "One global polynomial of degree at most 2n-1 matching both the values and\n"
    "the first derivatives at n points. Fitting is O(n^2); each evaluation is\n"
    "O(n). The polynomial is extrapolated outside the data; like every global\n"
    "polynomial it oscillates on many equally spaced points.\n"
    "\n";
constexpr std::string_view kClassExamples =
    ">>> interp(0.5)\n"
    "0.5\n"
    ">>> interp([0.5, 2.0])\n"
    "[0.5, -4.0]";
constexpr const char* kClassDoc = class_doc<HermiteCore, kClassHead, kNoText, kNoText, kFitted, kClassExamples>;

constexpr std::string_view kFitHead =
    "fit($self, x, y, dy)\n--\n\n"
    "Fit the polynomial to values and derivatives\n"
    "\n"
    "Computes the divided differences over the doubled nodes in O(n^2). The\n"
    "x values may come in any order but must be distinct (coincident x values\n"
    "give infinite or NaN results).\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "x : list of float\n"
    "    X coordinates of data points\n"
    "y : list of float\n"
    "    Values at x\n"
    "dy : list of float\n"
    "    First derivatives at x\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"x and y/dy must have the same length (2 vs 3)\" (the length of x and\n"
    "    the larger of the lengths of y and dy)\n"
    "    \"x, y, and dy cannot be empty\"\n";
constexpr std::string_view kFitExample =
    ">>> interp(0.5)\n"
    "0.5";
constexpr const char* kFitDoc = doc<kFitHead, kExamplesDoc, kFitted, kFitExample>;

constexpr std::string_view kGetCoefficientsHead =
    "get_coefficients($self)\n--\n\n"
    "Get the divided-difference coefficients\n"
    "\n"
    "Returns\n"
    "-------\n"
    "list of float\n"
    "    2n coefficients of the Newton form over the doubled nodes\n"
    "    x0, x0, x1, x1, ...; a new list on each call\n";
constexpr std::string_view kGetCoefficientsExample =
    ">>> interp.get_coefficients()\n"
    "[0.0, 0.0, 1.0, -2.0]";
constexpr const char* kGetCoefficientsDoc =
    fitted_method_doc<HermiteCore, kGetCoefficientsHead, kNoText, kFitted, kGetCoefficientsExample>;

constexpr auto kRepr = &points_repr<"HermiteInterpolator(", " and derivatives)", HermiteCore>;

}  // namespace

PyObject* create_hermite_class() {
    static PyMethodDef methods[] = {
        method<"fit", &HermiteCore::fit, Access::Exclusive, Array<"x">, Array<"y">, Array<"dy">>(kFitDoc),
        method<"get_coefficients", &fitted_read<HermiteCore, &HermiteCore::coefficients>, Access::Shared>(
            kGetCoefficientsDoc),
        end_of_methods,
    };
    return make_class<HermiteCore, no_arguments<HermiteCore>, kRepr>("HermiteInterpolator", kClassDoc, methods,
                                                                     {.fit_points = 64, .batch_queries = 256});
}

}  // namespace morvelay::python
