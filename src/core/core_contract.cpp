#include "core_contract.hpp"

#include <algorithm>
#include <cmath>

namespace morvelay {

Status check_fill_many(bool fitted, std::string_view not_fitted_hint, std::size_t n_in, std::size_t n_out) {
    if (!fitted) return CoreError::not_fitted(not_fitted_hint);
    if (n_in != n_out) return CoreError::length_mismatch(n_in, n_out, "input", "output");
    return Status::success();
}

std::optional<double> uniform_step(std::span<const double> x) {
    if (x.size() < 3) return std::nullopt;
    const double step = x[1] - x[0];
    if (!(step > 0.0) || !std::isfinite(step)) return std::nullopt;
    const double tol = std::fabs(step) * 1e-10 + 2.220446049250313e-16;
    for (std::size_t i = 1; i + 1 < x.size(); ++i) {
        if (std::fabs((x[i + 1] - x[i]) - step) > tol) return std::nullopt;
    }
    return step;
}

std::optional<double> inverse_uniform_step(std::span<const double> x) {
    const std::optional<double> step = uniform_step(x);
    if (!step) return std::nullopt;
    // A subnormal step has no finite inverse; such a grid is searched like an uneven one.
    const double inverse = 1.0 / *step;
    if (!std::isfinite(inverse)) return std::nullopt;
    return inverse;
}

bool contains_nan(std::span<const double> values) noexcept {
    return std::any_of(values.begin(), values.end(), [](double v) { return std::isnan(v); });
}

Status check_strictly_increasing(std::span<const double> x) {
    for (std::size_t i = 1; i < x.size(); ++i) {
        if (x[i - 1] >= x[i]) return CoreError::invalid_input("x values must be strictly increasing");
    }
    if (contains_nan(x)) return CoreError::invalid_input("x values must not be NaN");
    return Status::success();
}

bool is_non_decreasing(std::span<const double> values) {
    // Whole blocks are tested without an early exit, which lets the compiler compare several pairs per
    // instruction: on a sorted batch this test is otherwise as slow as copying the batch.
    constexpr std::size_t kBlock = 64;
    const std::size_t n = values.size();
    std::size_t i = 0;
    for (; i + kBlock < n; i += kBlock) {
        // A double flag, because GCC vectorises a select between doubles but not a double compare feeding
        // an integer.
        double out_of_order = 0.0;
        for (std::size_t k = i; k < i + kBlock; ++k) out_of_order = values[k] <= values[k + 1] ? out_of_order : 1.0;
        if (out_of_order != 0.0) return false;
    }
    for (; i + 1 < n; ++i) {
        if (!(values[i] <= values[i + 1])) return false;
    }
    return true;
}

}  // namespace morvelay
