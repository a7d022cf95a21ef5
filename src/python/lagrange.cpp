// LagrangeInterpolator: global polynomial in barycentric form, with O(n) value replacement and insertion.
#include "classes.hpp"
#include "core/lagrange_core.hpp"
#include "frame.hpp"

namespace morvelay::python {

namespace {

std::string lagrange_repr(const LagrangeCore& core) {
    if (!core.fitted()) return "LagrangeInterpolator(barycentric, not fitted)";
    return "LagrangeInterpolator(barycentric, fitted with " + format_count(core.x_values().size()) + " points)";
}

}  // namespace

PyObject* create_lagrange_class() {
    static PyMethodDef methods[] = {
        method<"fit", &LagrangeCore::fit, Access::Exclusive, Array<"x">, Array<"y">>("fit($self, x, y)\n--\n\n"),
        method<"update_y", &LagrangeCore::update_y, Access::Exclusive, Array<"y">>("update_y($self, y)\n--\n\n"),
        method<"add_point", &LagrangeCore::add_point, Access::Exclusive, Float<"x_new">, Float<"y_new">>(
            "add_point($self, x_new, y_new)\n--\n\n"),
        end_of_methods,
    };
    return make_class<LagrangeCore, no_arguments<LagrangeCore>, lagrange_repr>(
        "LagrangeInterpolator", "LagrangeInterpolator()\n--\n\n", methods);
}

}  // namespace morvelay::python
