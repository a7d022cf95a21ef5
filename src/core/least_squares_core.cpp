#include "least_squares_core.hpp"

#include <limits>
#include <utility>

#include "dense_solver.hpp"
#include "number_text.hpp"

namespace morvelay {

namespace {

// degree + 1 as text, also for the one degree where that count does not fit in a size_t.
std::string point_count_needed(std::size_t degree) {
    if (degree == std::numeric_limits<std::size_t>::max()) {
        static_assert(sizeof(std::size_t) == 8, "the spelled-out count below is 2^64");
        return "18446744073709551616";
    }
    return format_count(degree + 1);
}

// Queries evaluated side by side: each lane runs exactly the single-point sequence, so the compiler may
// use vector registers without changing a bit of any result.
template <std::size_t Lanes>
void horner_block(std::span<const double> c, const double* xs, double* out) noexcept {
    double value[Lanes] = {};
    for (std::size_t k = c.size(); k-- > 0;) {
        const double coefficient = c[k];
        for (std::size_t l = 0; l < Lanes; ++l) value[l] = xs[l] * value[l] + coefficient;
    }
    for (std::size_t l = 0; l < Lanes; ++l) out[l] = value[l];
}

}  // namespace

double least_squares_polynomial(std::span<const double> coefficients, double x) noexcept {
    double value = 0.0;
    for (std::size_t k = coefficients.size(); k-- > 0;) value = x * value + coefficients[k];
    return value;
}

Status LeastSquaresCore::fit(std::vector<double> x, std::vector<double> y) {
    if (x.size() != y.size()) return CoreError::length_mismatch(x.size(), y.size(), "x", "y");
    if (x.empty()) return CoreError::empty_input("x and y");
    // Also catches degree = SIZE_MAX, where degree + 1 wraps to 0: no array is sized before this test,
    // and passing it bounds the degree by the length of an existing array.
    if (x.size() <= degree_) {
        return CoreError::invalid_input("Need at least " + point_count_needed(degree_) + " points for degree " +
                                        format_count(degree_) + " polynomial");
    }

    const std::size_t d = degree_;
    std::vector<double> s(2 * d + 1, 0.0);  // s[k] = sum of x^k
    std::vector<double> t(d + 1, 0.0);      // t[k] = sum of y * x^k
    for (std::size_t j = 0; j < x.size(); ++j) {
        const double xj = x[j], yj = y[j];
        double p = 1.0;
        for (std::size_t k = 0; k <= d; ++k) {
            s[k] = p + s[k];
            t[k] = yj * p + t[k];
            p = xj * p;
        }
        for (std::size_t k = d + 1; k <= 2 * d; ++k) {
            s[k] = p + s[k];
            p = xj * p;
        }
    }

    std::vector<std::vector<double>> normal(d + 1);
    for (std::size_t r = 0; r <= d; ++r)
        normal[r].assign(s.begin() + static_cast<std::ptrdiff_t>(r),
                         s.begin() + static_cast<std::ptrdiff_t>(r + d + 1));
    Result<std::vector<double>> solution = solve_linear_system_gaussian(std::move(normal), std::move(t));
    if (!solution) return CoreError::invalid_input(std::move(solution).error());

    x_values_ = std::move(x);
    y_values_ = std::move(y);
    coefficients_ = std::move(solution).value();
    fitted_ = true;
    return Status::success();
}

Result<double> LeastSquaresCore::evaluate_single(double x) const {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    return least_squares_polynomial(coefficients_, x);
}

Status LeastSquaresCore::fill_many(std::span<const double> xs, std::span<double> out) const {
    if (Status checked = check_fill_many(fitted_, kNotFittedHint, xs.size(), out.size()); !checked) return checked;
    constexpr std::size_t kLanes = 16;
    const std::size_t m = xs.size();
    std::size_t i = 0;
    for (; i + kLanes <= m; i += kLanes) horner_block<kLanes>(coefficients_, xs.data() + i, out.data() + i);
    for (; i < m; ++i) out[i] = least_squares_polynomial(coefficients_, xs[i]);
    return Status::success();
}

Result<double> LeastSquaresCore::r_squared() const {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    const std::size_t n = y_values_.size();
    double sum = 0.0;
    for (double v : y_values_) sum = sum + v;
    const double mean = sum / static_cast<double>(n);
    double ss_res = 0.0, ss_tot = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double residual = y_values_[i] - least_squares_polynomial(coefficients_, x_values_[i]);
        const double spread = y_values_[i] - mean;
        ss_res = ss_res + residual * residual;
        ss_tot = ss_tot + spread * spread;
    }
    // Constant data: every polynomial explains all of no variation.
    if (ss_tot == 0.0) return 1.0;
    return 1.0 - ss_res / ss_tot;
}

}  // namespace morvelay
