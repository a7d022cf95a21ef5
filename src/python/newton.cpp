// NewtonInterpolator: global polynomial in Newton divided-difference form.
#include "class_table.hpp"
#include "classes.hpp"
#include "core/newton_core.hpp"

namespace morvelay::python {

namespace {

constexpr const char* kClassDoc =
    "NewtonInterpolator()\n--\n\n"
    "Newton Divided Differences Interpolator\n\nA stateful interpolator that pre-computes divided difference "
    "coefficients\nfor efficient repeated evaluation.\n\n# Attributes\n\n* `x_values` - Stored x coordinates of "
    "data points\n* `coefficients` - Pre-computed divided difference coefficients\n* `fitted` - Whether the "
    "interpolator has been fitted";

constexpr const char* kFitDoc =
    "fit($self, x, y)\n--\n\n"
    "Fit the interpolator with data points\n\nComputes and stores the divided difference coefficients for the "
    "Newton\npolynomial. This allows for efficient repeated evaluation.\n\nParameters\n----------\nx : list of "
    "float\n    X coordinates of data points\ny : list of float\n    Y coordinates of data points\n\nRaises\n"
    "------\nValueError\n    If x and y have different lengths or if either is empty\n\nNotes\n-----\nThe divided "
    "differences are computed once during fitting, making\nsubsequent evaluations more efficient than Lagrange "
    "interpolation.";

constexpr const char* kGetCoefficientsDoc =
    "get_coefficients($self)\n--\n\n"
    "Get the Newton polynomial divided difference coefficients\n\nReturns\n-------\nlist of float\n    Divided "
    "difference coefficients [f[x\xe2\x82\x80], f[x\xe2\x82\x80,x\xe2\x82\x81], "
    "f[x\xe2\x82\x80,x\xe2\x82\x81,x\xe2\x82\x82], ...]\n\nRaises\n------\nValueError\n    If the interpolator "
    "has not been fitted\n\nNotes\n-----\nThe i-th coefficient multiplies the term "
    "(x-x\xe2\x82\x80)(x-x\xe2\x82\x81)...(x-x\xe1\xb5\xa2\xe2\x82\x8b\xe2\x82\x81)";

constexpr auto kRepr = &points_repr<"NewtonInterpolator(", ")", NewtonCore>;

}  // namespace

PyObject* create_newton_class() {
    static PyMethodDef methods[] = {
        method<"fit", &NewtonCore::fit, Access::Exclusive, Array<"x">, Array<"y">>(kFitDoc),
        method<"get_coefficients", &fitted_read<NewtonCore, &NewtonCore::coefficients>, Access::Shared>(
            kGetCoefficientsDoc),
        end_of_methods,
    };
    return make_class<NewtonCore, no_arguments<NewtonCore>, kRepr>("NewtonInterpolator", kClassDoc, methods,
                                                                   {.fit_points = 160, .batch_queries = 256});
}

}  // namespace morvelay::python
