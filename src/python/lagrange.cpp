// LagrangeInterpolator: global polynomial in barycentric form, with O(n) value replacement and insertion.
#include "class_table.hpp"
#include "classes.hpp"
#include "core/lagrange_core.hpp"
#include "docstrings.hpp"

namespace morvelay::python {

namespace {

// Every example starts from this fit.
constexpr std::string_view kFitted =
    ">>> interp = LagrangeInterpolator()\n"
    ">>> interp.fit([0.0, 1.0, 2.0], [1.0, 3.0, 7.0])\n";

constexpr std::string_view kClassHead =
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
    "\n";
constexpr std::string_view kClassExamples =
    ">>> interp(1.5)\n"
    "4.75\n"
    ">>> interp([1.0, 1.5])\n"
    "[3.0, 4.75]";
constexpr const char* kClassDoc = class_doc<LagrangeCore, kClassHead, kNoText, kNoText, kFitted, kClassExamples>;

constexpr std::string_view kFitHead =
    "fit($self, x, y)\n--\n\n"
    "Fit the polynomial through the data points\n"
    "\n"
    "Computes the barycentric weights in O(n^2). The x values may come in any\n"
    "order but must be distinct (coincident x values give NaN results).\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "x : list of float\n"
    "    X coordinates of data points\n";
constexpr std::string_view kFitExample =
    ">>> interp(1.5)\n"
    "4.75";
constexpr const char* kFitDoc = fit_xy_doc<kFitHead, kNoText, kFitted, kFitExample>;

constexpr std::string_view kUpdateYHead =
    "update_y($self, y)\n--\n\n"
    "Replace the data values, keeping the x values\n"
    "\n"
    "The weights depend only on x, so this costs O(n).\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "y : list of float\n"
    "    New data values, one per stored x value\n";
constexpr std::string_view kUpdateYErrors = "    \"New y must have the same length as x\"\n";
constexpr std::string_view kUpdateYExample =
    ">>> interp.update_y([2.0, 4.0, 6.0])\n"
    ">>> interp(0.5)\n"
    "3.0";
constexpr const char* kUpdateYDoc =
    fitted_method_doc<LagrangeCore, kUpdateYHead, kUpdateYErrors, kFitted, kUpdateYExample>;

constexpr std::string_view kAddPointHead =
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
    "    The data value at x_new\n";
constexpr std::string_view kAddPointErrors = "    \"x_new 1 already exists\" (when x_new is already a node)\n";
constexpr std::string_view kAddPointExample =
    ">>> interp.add_point(3.0, 13.0)\n"
    ">>> interp\n"
    "LagrangeInterpolator(barycentric, fitted with 4 points)";
constexpr const char* kAddPointDoc =
    fitted_method_doc<LagrangeCore, kAddPointHead, kAddPointErrors, kFitted, kAddPointExample>;

constexpr auto kRepr = &points_repr<"LagrangeInterpolator(barycentric, ", ")", LagrangeCore>;

}  // namespace

PyObject* create_lagrange_class() {
    static PyMethodDef methods[] = {
        method<"fit", &LagrangeCore::fit, Access::Exclusive, Array<"x">, Array<"y">>(kFitDoc),
        method<"update_y", &LagrangeCore::update_y, Access::Exclusive, Array<"y">>(kUpdateYDoc),
        method<"add_point", &LagrangeCore::add_point, Access::Exclusive, Float<"x_new">, Float<"y_new">>(kAddPointDoc),
        end_of_methods,
    };
    return make_class<LagrangeCore, no_arguments<LagrangeCore>, kRepr>("LagrangeInterpolator", kClassDoc, methods,
                                                                       {.fit_points = 80, .batch_queries = 256});
}

}  // namespace morvelay::python
