// LeastSquaresInterpolator: a polynomial of a chosen degree fitted in the least-squares sense, with R².
#include "class_table.hpp"
#include "classes.hpp"
#include "core/least_squares_core.hpp"
#include "docstrings.hpp"

namespace morvelay::python {

namespace {

// The class's and r_squared's examples start from this fit.
constexpr std::string_view kFittedLine =
    ">>> fit = LeastSquaresInterpolator(degree=1)\n"
    ">>> fit.fit([0.0, 1.0, 2.0, 3.0], [1.0, 3.0, 2.0, 4.0])\n";

constexpr std::string_view kClassHead =
    "LeastSquaresInterpolator(degree=2)\n--\n\n"
    "Polynomial Least-Squares Fit\n"
    "\n"
    "The polynomial of a fixed degree that minimises the sum of squared\n"
    "residuals over the data, from the normal equations. It does not pass\n"
    "through the points; x may be unsorted and repeated. Fitting is\n"
    "O(N * degree) plus an O(degree^3) solve; each evaluation is degree + 1\n"
    "Horner steps. The polynomial is extrapolated outside the data.\n"
    "\n"
    "The equations are formed with x mapped onto [-1, 1], so data far from\n"
    "zero (timestamps) fits as well as data near it; keep the degree low.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "degree : int, default 2\n"
    "    Degree of the polynomial; at least degree + 1 points are needed to fit\n"
    "\n";
constexpr std::string_view kClassErrors =
    "TypeError\n"
    "    If degree is not a non-negative integer (OverflowError if negative)\n";
constexpr std::string_view kClassExamples =
    ">>> fit\n"
    "LeastSquaresInterpolator(degree=1, fitted with 4 points, R\xc2\xb2=0.6400)\n"
    ">>> round(fit(4.0), 12)\n"
    "4.5";
constexpr const char* kClassDoc =
    class_doc<LeastSquaresCore, kClassHead, kNoText, kClassErrors, kFittedLine, kClassExamples>;

constexpr std::string_view kFitHead =
    "fit($self, x, y)\n--\n\n"
    "Fit the polynomial to the data points\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "x : list of float\n"
    "    X coordinates of data points (any order, repeats allowed)\n";
constexpr std::string_view kFitErrors =
    "    \"Need at least 6 points for degree 5 polynomial\"\n"
    "    \"Singular matrix near pivot 2\" (for example when x holds fewer\n"
    "    distinct values than degree + 1)\n";
constexpr std::string_view kFitExample =
    ">>> fit = LeastSquaresInterpolator(degree=2)\n"
    ">>> fit.fit([0.0, 1.0, 2.0, 3.0], [1.0, 2.0, 5.0, 10.0])\n"
    ">>> round(fit(4.0), 9)\n"
    "17.0";
constexpr const char* kFitDoc = fit_xy_doc<kFitHead, kFitErrors, kFitExample>;

constexpr const char* kGetDegreeDoc =
    "get_degree($self)\n--\n\n"
    "Get the degree given at construction\n"
    "\n"
    "Returns\n"
    "-------\n"
    "int\n"
    "    The polynomial degree; available before fitting\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> LeastSquaresInterpolator().get_degree()\n"
    "2";

constexpr std::string_view kGetCoefficientsHead =
    "get_coefficients($self)\n--\n\n"
    "Get the polynomial coefficients\n"
    "\n"
    "Returns\n"
    "-------\n"
    "list of float\n"
    "    degree + 1 coefficients in ascending powers (constant term first);\n"
    "    a new list on each call\n";
constexpr std::string_view kGetCoefficientsExample =
    ">>> fit = LeastSquaresInterpolator(degree=1)\n"
    ">>> fit.fit([0.0, 1.0, 2.0], [1.0, 3.0, 5.0])\n"
    ">>> [round(c, 12) for c in fit.get_coefficients()]\n"
    "[1.0, 2.0]";
constexpr const char* kGetCoefficientsDoc =
    fitted_method_doc<LeastSquaresCore, kGetCoefficientsHead, kNoText, kGetCoefficientsExample>;

constexpr std::string_view kRSquaredHead =
    "r_squared($self)\n--\n\n"
    "Get the coefficient of determination R\xc2\xb2 of the fit\n"
    "\n"
    "Returns\n"
    "-------\n"
    "float\n"
    "    1 - (residual sum of squares) / (total sum of squares) over the\n"
    "    fitted data; 1.0 for a perfect fit\n";
constexpr std::string_view kRSquaredExample =
    ">>> round(fit.r_squared(), 12)\n"
    "0.64";
constexpr const char* kRSquaredDoc =
    fitted_method_doc<LeastSquaresCore, kRSquaredHead, kNoText, kFittedLine, kRSquaredExample>;

std::optional<LeastSquaresCore> construct(const char* class_name, PyObject* args, PyObject* kwargs) {
    static constexpr const char* names[] = {"degree"};
    PyObject* slots[1] = {};
    if (!parse_tuple_arguments(class_name, names, 0, args, kwargs, slots)) return std::nullopt;
    std::size_t degree = 2;
    if (slots[0] && !convert_unsigned(slots[0], "degree", degree)) return std::nullopt;
    return LeastSquaresCore(degree);
}

std::string least_squares_repr(const LeastSquaresCore& core) {
    std::string text = "LeastSquaresInterpolator(degree=" + format_count(core.degree()) + ", ";
    if (!core.fitted()) return text + "not fitted)";
    return text + "fitted with " + format_count(core.point_count()) +
           " points, R\xc2\xb2=" + format_fixed(core.r_squared().value(), 4) + ")";
}

}  // namespace

PyObject* create_least_squares_class() {
    static PyMethodDef methods[] = {
        method<"fit", &LeastSquaresCore::fit, Access::Exclusive, Array<"x">, Array<"y">>(kFitDoc),
        method<"get_degree", &LeastSquaresCore::degree, Access::Shared>(kGetDegreeDoc),
        method<"get_coefficients", &fitted_read<LeastSquaresCore, &LeastSquaresCore::coefficients>, Access::Shared>(
            kGetCoefficientsDoc),
        method<"r_squared", &LeastSquaresCore::r_squared, Access::Shared>(kRSquaredDoc),
        end_of_methods,
    };
    return make_class<LeastSquaresCore, construct, least_squares_repr>("LeastSquaresInterpolator", kClassDoc, methods,
                                                                       {.fit_points = 2048, .batch_queries = 4096});
}

}  // namespace morvelay::python
