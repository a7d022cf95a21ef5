// CubicSplineInterpolator: not-a-knot cubic spline, x strictly increasing, extrapolated outside.
#include "class_table.hpp"
#include "classes.hpp"
#include "core/cubic_spline_core.hpp"

namespace morvelay::python {

namespace {

// The end conditions are what users choose a spline by, so the docstrings name them: not-a-knot.
constexpr const char* kClassDoc =
    "CubicSplineInterpolator()\n--\n\n"
    "Not-a-Knot Cubic Spline Interpolator\n\nA stateful interpolator that precomputes cubic spline segments\nfor "
    "smooth C\xc2\xb2 continuous interpolation. The end conditions are not-a-knot: the third\nderivative is "
    "continuous across the second and the second-to-last knot, so a\ncubic given as data is reproduced exactly. "
    "Three points give the parabola\nthrough them, two the straight line. Outside the data the end cubics\n"
    "extrapolate.\n\n# Attributes\n\n* `x_values` - Stored x coordinates of data points\n* `segments` - "
    "Pre-computed cubic polynomial segments\n* `fitted` - Whether the interpolator has been fitted with data";

constexpr const char* kFitDoc =
    "fit($self, x, y)\n--\n\n"
    "Fit the interpolator with data points\n\nComputes the cubic spline segments with not-a-knot boundary "
    "conditions\n(for 4 or more points; 3 points give the parabola and 2 the line through them).\n\nParameters\n"
    "----------\nx : list of float\n    X coordinates of data points (must be strictly increasing)\ny : list of "
    "float\n    Y coordinates of data points\n\nRaises\n------\nValueError\n    If x and y have different "
    "lengths\n    If fewer than 2 data points are provided\n    If x values are not strictly increasing\n\nNotes\n"
    "-----\nThe segments come from the Thomas algorithm on the tridiagonal system,\nwhich is O(n).\n\nExamples\n"
    "--------\n>>> interp = CubicSplineInterpolator()\n>>> interp.fit([0.0, 1.0, 2.0, 3.0], [0.0, 1.0, 8.0, "
    "27.0])\n>>> interp(1.5)\n3.375";

constexpr const char* kNumSegmentsDoc =
    "num_segments($self)\n--\n\n"
    "Get the number of spline segments\n\nReturns\n-------\nint\n    Number of cubic polynomial segments "
    "(n_points - 1)\n\nRaises\n------\nValueError\n    If the interpolator has not been fitted";

std::string cubic_spline_repr(const CubicSplineCore& core) {
    if (!core.fitted()) return "CubicSplineInterpolator(not fitted)";
    const auto x = core.x_values();
    return "CubicSplineInterpolator(fitted with " + format_count(x.size()) + " points, " +
           format_count(core.segments().size()) + " segments, x range: [" + format_fixed(x.front(), 2) + ", " +
           format_fixed(x.back(), 2) + "])";
}

}  // namespace

PyObject* create_cubic_spline_class() {
    static PyMethodDef methods[] = {
        method<"fit", &CubicSplineCore::fit, Access::Exclusive, Array<"x">, Array<"y">>(kFitDoc),
        method<"num_segments", &CubicSplineCore::num_segments, Access::Shared>(kNumSegmentsDoc),
        end_of_methods,
    };
    return make_class<CubicSplineCore, no_arguments<CubicSplineCore>, cubic_spline_repr>(
        "CubicSplineInterpolator", kClassDoc, methods, {.fit_points = 1024, .batch_queries = 4096});
}

}  // namespace morvelay::python
