// RBFInterpolator: radial basis functions with five kernels chosen by (loosely written) name.
#include <optional>
#include <string>

#include "classes.hpp"
#include "core/rbf_core.hpp"
#include "frame.hpp"

namespace morvelay::python {

namespace {

constexpr const char* kClassDoc =
    "RBFInterpolator(kernel=\"gaussian\", epsilon=1.0)\n--\n\n"
    "A thin Python layer around the shared RBF core implementation.";
constexpr const char* kFitDoc = "fit($self, x, y)\n--\n\n";
constexpr const char* kGetWeightsDoc = "get_weights($self)\n--\n\n";

// The Unicode White_Space characters.  str.strip() without arguments would also remove U+001C..U+001F,
// which Python counts as space but Unicode does not.
constexpr const char* kWhiteSpace =
    "\t\n\v\f\r \xc2\x85\xc2\xa0\xe1\x9a\x80\xe2\x80\x80\xe2\x80\x81\xe2\x80\x82\xe2\x80\x83\xe2\x80\x84\xe2\x80"
    "\x85\xe2\x80\x86\xe2\x80\x87\xe2\x80\x88\xe2\x80\x89\xe2\x80\x8a\xe2\x80\xa8\xe2\x80\xa9\xe2\x80\xaf\xe2\x81"
    "\x9f\xe3\x80\x80";

// Trimmed and lower-cased with full case mapping ("\u0130" becomes two code points), by str's own
// methods called on the str type itself, so a subclass cannot override them.
bool normalised_name(PyObject* kernel, std::string& name) {
    Ref white_space(PyUnicode_FromString(kWhiteSpace));
    if (!white_space) return false;
    Ref stripped(
        PyObject_CallMethod(reinterpret_cast<PyObject*>(&PyUnicode_Type), "strip", "OO", kernel, white_space.get()));
    if (!stripped) return false;
    Ref lowered(PyObject_CallMethod(reinterpret_cast<PyObject*>(&PyUnicode_Type), "lower", "O", stripped.get()));
    if (!lowered) return false;
    return convert_text(lowered.get(), "kernel", name);
}

// Order: kernel converted, epsilon converted, kernel name resolved, epsilon checked by the core.
std::optional<RBFCore> construct(const char* class_name, PyObject* args, PyObject* kwargs) {
    static constexpr const char* names[] = {"kernel", "epsilon"};
    PyObject* slots[2] = {};
    if (!parse_tuple_arguments(class_name, names, 0, args, kwargs, slots)) return std::nullopt;
    std::string name = "gaussian";
    if (slots[0] && !convert_text(slots[0], "kernel", name)) return std::nullopt;
    double epsilon = 1.0;
    if (slots[1] && !convert_float(slots[1], "epsilon", epsilon)) return std::nullopt;
    if (slots[0] && !normalised_name(slots[0], name)) return std::nullopt;
    Result<RBFKernel> kernel = parse_kernel_name(name);
    if (!kernel) {
        raise_value_error(kernel.error());
        return std::nullopt;
    }
    return constructed(RBFCore::create(kernel.value(), epsilon));
}

std::string rbf_repr(const RBFCore& core) {
    std::string text = "RBFInterpolator(kernel='" + std::string(kernel_name(core.kernel())) +
                       "', epsilon=" + format_fixed(core.epsilon(), 2) + ", ";
    if (!core.fitted()) return text + "not fitted)";
    return text + "fitted with " + format_count(core.count()) + " points)";
}

}  // namespace

PyObject* create_rbf_class() {
    static PyMethodDef methods[] = {
        method<"fit", &RBFCore::fit, Access::Exclusive, Array<"x">, Array<"y">>(kFitDoc),
        method<"get_weights", &RBFCore::fitted_weights, Access::Shared>(kGetWeightsDoc),
        end_of_methods,
    };
    return make_class<RBFCore, construct, rbf_repr>("RBFInterpolator", kClassDoc, methods);
}

}  // namespace morvelay::python
