// LeastSquaresInterpolator: a polynomial of a chosen degree fitted in the least-squares sense, with R².
#include "classes.hpp"
#include "core/least_squares_core.hpp"
#include "frame.hpp"

namespace morvelay::python {

namespace {

std::optional<LeastSquaresCore> construct(const char* class_name, PyObject* args, PyObject* kwargs) {
    static constexpr const char* names[] = {"degree"};
    PyObject* slots[1] = {};
    if (!parse_tuple_arguments(class_name, names, 0, args, kwargs, slots)) return std::nullopt;
    std::size_t degree = 2;
    if (slots[0] && !convert_unsigned(slots[0], "degree", degree)) return std::nullopt;
    return LeastSquaresCore(degree);
}

Result<std::span<const double>> coefficients(const LeastSquaresCore& core) {
    if (!core.fitted()) return CoreError::not_fitted("Call fit(x, y) first.");
    return core.coefficients();
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
        method<"fit", &LeastSquaresCore::fit, Access::Exclusive, Array<"x">, Array<"y">>("fit($self, x, y)\n--\n\n"),
        method<"get_degree", &LeastSquaresCore::degree, Access::Shared>("get_degree($self)\n--\n\n"),
        method<"get_coefficients", &coefficients, Access::Shared>("get_coefficients($self)\n--\n\n"),
        method<"r_squared", &LeastSquaresCore::r_squared, Access::Shared>("r_squared($self)\n--\n\n"),
        end_of_methods,
    };
    return make_class<LeastSquaresCore, construct, least_squares_repr>(
        "LeastSquaresInterpolator", "LeastSquaresInterpolator(degree=2)\n--\n\n", methods);
}

}  // namespace morvelay::python
