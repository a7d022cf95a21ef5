// HermiteInterpolator: global polynomial matching values and first derivatives.
#include "classes.hpp"
#include "core/hermite_core.hpp"
#include "frame.hpp"

namespace morvelay::python {

namespace {

std::string hermite_repr(const HermiteCore& core) {
    if (!core.fitted()) return "HermiteInterpolator(not fitted)";
    return "HermiteInterpolator(fitted with " + format_count(core.x_values().size()) + " points and derivatives)";
}

}  // namespace

PyObject* create_hermite_class() {
    static PyMethodDef methods[] = {
        method<"fit", &HermiteCore::fit, Access::Exclusive, Array<"x">, Array<"y">, Array<"dy">>(
            "fit($self, x, y, dy)\n--\n\n"),
        method<"get_coefficients", &fitted_read<HermiteCore, &HermiteCore::coefficients, "Call fit(x, y, dy) first.">,
               Access::Shared>("get_coefficients($self)\n--\n\n"),
        end_of_methods,
    };
    return make_class<HermiteCore, no_arguments<HermiteCore>, hermite_repr>(
        "HermiteInterpolator", "HermiteInterpolator()\n--\n\nHermite Polynomial Interpolator", methods);
}

}  // namespace morvelay::python
