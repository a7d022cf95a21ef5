// LinearInterpolator: piecewise linear interpolation, end values held, x sorted on fit.
#include "class_table.hpp"
#include "classes.hpp"
#include "core/linear_core.hpp"

namespace morvelay::python {

namespace {

constexpr const char* kClassDoc =
    "LinearInterpolator()\n--\n\n"
    "Linear Interpolator\n\nA stateful interpolator that performs piecewise linear interpolation\nthrough data "
    "points.\n\n# Attributes\n\n* `x_values` - Stored x coordinates of data points\n* `y_values` - Stored y "
    "coordinates of data points\n* `fitted` - Whether the interpolator has been fitted with data";

constexpr const char* kFitDoc =
    "fit($self, x, y)\n--\n\n"
    "Fit the interpolator with data points\n\nStores the data points for later evaluation. If x values are not "
    "sorted,\nthey will be automatically sorted along with the corresponding y values.\nNo pre-computation is "
    "needed for linear interpolation.\n\nParameters\n----------\nx : list of float\n    X coordinates of data "
    "points (will be sorted if necessary)\ny : list of float\n    Y coordinates of data points\n\nRaises\n------\n"
    "ValueError\n    If x and y have different lengths\n    If x or y is empty\n\nNotes\n-----\nIf x values are "
    "not in strictly increasing order, both x and y arrays\nwill be automatically sorted by x values. This means "
    "the input arrays\nmay be reordered, but the final interpolation remains mathematically correct.\n\n"
    "Examples\n--------\n>>> interp = LinearInterpolator()\n>>> interp.fit([0.0, 1.0, 2.0], [0.0, 1.0, 4.0])";

constexpr const char* kUpdateYDoc =
    "update_y($self, y)\n--\n\n"
    "Replace the data values and recompute slopes\n\nBecause slopes depend on both x and y values, this "
    "recomputes\nall slopes in O(n). However, the x values (and their sorted order)\nare preserved.\n\n"
    "Parameters\n----------\ny : list of float\n    New data values. Must have the same length as the original "
    "x.\n\nRaises\n------\nValueError\n    If the interpolator has not been fitted, or if the length\n    of y "
    "does not match the number of points\n\nExamples\n--------\n>>> interp = LinearInterpolator()\n>>> "
    "interp.fit([0.0, 1.0, 2.0], [0.0, 1.0, 4.0])\n>>> interp(0.5)\n0.5\n>>> interp.update_y([0.0, 2.0, "
    "6.0])\n>>> interp(0.5)\n1.0";

constexpr const char* kAddPointDoc =
    "add_point($self, x_new, y_new)\n--\n\n"
    "Add a new data point, inserting at the correct sorted position\n\nUses binary search to find the insertion "
    "index, then recomputes\nonly the 1\xe2\x80\x93"
    "2 affected slopes.\n\nParameters\n----------\nx_new : float\n    The "
    "new x coordinate. Must be distinct from all existing x values.\ny_new : float\n    The data value at the "
    "new point\n\nRaises\n------\nValueError\n    If the interpolator has not been fitted\n    If x_new "
    "duplicates an existing x value\n\nExamples\n--------\n>>> interp = LinearInterpolator()\n>>> "
    "interp.fit([0.0, 2.0, 4.0], [0.0, 4.0, 8.0])\n>>> interp.add_point(1.0, 1.0)\n>>> interp(0.5)\n0.5";

std::string linear_repr(const LinearCore& core) {
    if (!core.fitted()) return "LinearInterpolator(not fitted)";
    const auto x = core.x_values();
    return "LinearInterpolator(fitted with " + format_count(x.size()) + " points, x range: [" +
           format_fixed(x.front(), 2) + ", " + format_fixed(x.back(), 2) + "])";
}

}  // namespace

PyObject* create_linear_class() {
    static PyMethodDef methods[] = {
        method<"fit", &LinearCore::fit, Access::Exclusive, Array<"x">, Array<"y">>(kFitDoc),
        method<"update_y", &LinearCore::update_y, Access::Exclusive, Array<"y">>(kUpdateYDoc),
        method<"add_point", &LinearCore::add_point, Access::Exclusive, Float<"x_new">, Float<"y_new">>(kAddPointDoc),
        end_of_methods,
    };
    return make_class<LinearCore, no_arguments<LinearCore>, linear_repr>("LinearInterpolator", kClassDoc, methods,
                                                                         {.fit_points = 4096, .batch_queries = 4096});
}

}  // namespace morvelay::python
