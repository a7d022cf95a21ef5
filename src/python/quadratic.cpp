// QuadraticInterpolator: parabolas through overlapping triplets, x strictly increasing, extrapolated outside.
#include "class_table.hpp"
#include "classes.hpp"
#include "core/quadratic_core.hpp"

namespace morvelay::python {

namespace {

constexpr const char* kClassDoc =
    "QuadraticInterpolator()\n--\n\n"
    "Piecewise Quadratic Interpolator\n\nA stateful interpolator that performs piecewise quadratic interpolation\n"
    "using overlapping triplets of data points. Coefficients for every segment are\nprecomputed at fit time and "
    "stored in one flat array for cache-friendly evaluation.\n\n# Attributes\n\n* `x_values` - Stored x "
    "coordinates of data points\n* `coefficients` - Precomputed (a, b, c) per segment, flat layout\n  [a0, b0, c0, "
    "a1, b1, c1, ...]\n* `fitted` - Whether the interpolator has been fitted with data";

constexpr const char* kFitDoc =
    "fit($self, x, y)\n--\n\n"
    "Fit the interpolator with data points\n\nQuadratic coefficients for all segments are precomputed at fit "
    "time,\nenabling O(log n) evaluation via binary search and direct lookup.\n\nParameters\n----------\nx : list "
    "of float\n    X coordinates of data points (must be strictly increasing)\ny : list of float\n    Y coordinates "
    "of data points\n\nRaises\n------\nValueError\n    If x and y have different lengths\n    If fewer than 3 data "
    "points are provided\n    If x values are not strictly increasing\n\nExamples\n--------\n>>> interp = "
    "QuadraticInterpolator()\n>>> interp.fit([0.0, 1.0, 2.0], [0.0, 1.0, 4.0])\n>>> interp(3.0)\n9.0";

std::string quadratic_repr(const QuadraticCore& core) {
    if (!core.fitted()) return "QuadraticInterpolator(not fitted)";
    const auto x = core.x_values();
    return "QuadraticInterpolator(fitted with " + format_count(x.size()) + " points, x range: [" +
           format_fixed(x.front(), 2) + ", " + format_fixed(x.back(), 2) + "])";
}

}  // namespace

PyObject* create_quadratic_class() {
    static PyMethodDef methods[] = {
        method<"fit", &QuadraticCore::fit, Access::Exclusive, Array<"x">, Array<"y">>(kFitDoc),
        end_of_methods,
    };
    return make_class<QuadraticCore, no_arguments<QuadraticCore>, quadratic_repr>(
        "QuadraticInterpolator", kClassDoc, methods, {.fit_points = 1024, .batch_queries = 4096});
}

}  // namespace morvelay::python
