// LagrangeInterpolator: global polynomial in barycentric form, with O(n) value replacement and insertion.
#include "classes.hpp"
#include "core/lagrange_core.hpp"
#include "frame.hpp"

namespace morvelay::python {

namespace {

constexpr const char* kClassDoc =
    "LagrangeInterpolator()\n--\n\n"
    "Barycentric Lagrange Interpolator\n"
    "\n"
    "One global polynomial through all data points (degree n-1 for n points),\n"
    "evaluated in the barycentric form. Fitting is O(n^2); each evaluation is\n"
    "O(n). New values for the same x (`update_y`) and one more point\n"
    "(`add_point`) cost O(n) each, without refitting.\n"
    "\n"
    "The polynomial is extrapolated outside the data. On many equally spaced\n"
    "points it oscillates near the ends (Runge's phenomenon); points clustered\n"
    "towards the ends, such as Chebyshev points, avoid that.\n"
    "\n"
    "Calling the instance evaluates the polynomial: a float gives a float, a\n"
    "list of floats gives a list, and a one-dimensional float64 NumPy array\n"
    "gives a new array.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"Interpolator not fitted. Call fit(x, y) first.\" when called before fit\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> interp = LagrangeInterpolator()\n"
    ">>> interp.fit([0.0, 1.0, 2.0], [1.0, 3.0, 7.0])\n"
    ">>> interp(1.5)\n"
    "4.75\n"
    ">>> interp([1.0, 1.5])\n"
    "[3.0, 4.75]";

constexpr const char* kFitDoc =
    "fit($self, x, y)\n--\n\n"
    "Fit the polynomial through the data points\n"
    "\n"
    "Computes the barycentric weights in O(n^2). The x values may come in any\n"
    "order but must be distinct (coincident x values give NaN results).\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "x : list of float\n"
    "    X coordinates of data points\n"
    "y : list of float\n"
    "    Y coordinates of data points\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"x and y must have the same length (3 vs 2)\" (the two lengths)\n"
    "    \"x and y cannot be empty\"\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> interp = LagrangeInterpolator()\n"
    ">>> interp.fit([0.0, 1.0, 2.0], [1.0, 3.0, 7.0])\n"
    ">>> interp(1.5)\n"
    "4.75";

constexpr const char* kUpdateYDoc =
    "update_y($self, y)\n--\n\n"
    "Replace the data values, keeping the x values\n"
    "\n"
    "The weights depend only on x, so this costs O(n).\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "y : list of float\n"
    "    New data values, one per stored x value\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"Interpolator not fitted. Call fit(x, y) first.\"\n"
    "    \"New y must have the same length as x\"\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> interp = LagrangeInterpolator()\n"
    ">>> interp.fit([0.0, 1.0, 2.0], [1.0, 3.0, 7.0])\n"
    ">>> interp.update_y([2.0, 4.0, 6.0])\n"
    ">>> interp(0.5)\n"
    "3.0";

constexpr const char* kAddPointDoc =
    "add_point($self, x_new, y_new)\n--\n\n"
    "Add one data point, raising the degree by one\n"
    "\n"
    "Updates the weights in O(n).\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "x_new : float\n"
    "    The new x coordinate; must differ from every stored x value\n"
    "y_new : float\n"
    "    The data value at x_new\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    \"Interpolator not fitted. Call fit(x, y) first.\"\n"
    "    \"x_new 1 already exists\" (when x_new is already a node)\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> interp = LagrangeInterpolator()\n"
    ">>> interp.fit([0.0, 1.0, 2.0], [1.0, 3.0, 7.0])\n"
    ">>> interp.add_point(3.0, 13.0)\n"
    ">>> interp\n"
    "LagrangeInterpolator(barycentric, fitted with 4 points)";

std::string lagrange_repr(const LagrangeCore& core) {
    if (!core.fitted()) return "LagrangeInterpolator(barycentric, not fitted)";
    return "LagrangeInterpolator(barycentric, fitted with " + format_count(core.x_values().size()) + " points)";
}

}  // namespace

PyObject* create_lagrange_class() {
    static PyMethodDef methods[] = {
        method<"fit", &LagrangeCore::fit, Access::Exclusive, Array<"x">, Array<"y">>(kFitDoc),
        method<"update_y", &LagrangeCore::update_y, Access::Exclusive, Array<"y">>(kUpdateYDoc),
        method<"add_point", &LagrangeCore::add_point, Access::Exclusive, Float<"x_new">, Float<"y_new">>(kAddPointDoc),
        end_of_methods,
    };
    return make_class<LagrangeCore, no_arguments<LagrangeCore>, lagrange_repr>("LagrangeInterpolator", kClassDoc,
                                                                               methods);
}

}  // namespace morvelay::python
