// Polynomial least squares of a fixed degree.
//
// The polynomial minimising the squared residuals over all points, from the normal equations built out
// of raw power sums (no centring or scaling) and solved by the shared Gaussian elimination.  It does
// not pass through the data, accepts unsorted and repeated x and extrapolates freely.  Fit is one pass
// over the data, O(N * degree), plus an O(degree^3) solve; evaluation is degree + 1 Horner steps.
// Reproduces polynomials up to its degree to rounding, while the normal equations stay well conditioned.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "core_state.hpp"
#include "core_trait.hpp"

namespace morvelay {

class LeastSquaresCore {
public:
    explicit LeastSquaresCore(std::size_t degree = 2) noexcept : degree_(degree) {}

    Status fit(std::vector<double> x, std::vector<double> y);
    Result<double> evaluate_single(double x) const;
    Status fill_many(std::span<const double> xs, std::span<double> out) const;

    // The state to save, and a core rebuilt from a saved one, every field checked (core_state.hpp).
    CoreState state() const;
    static Result<LeastSquaresCore> restore(const CoreState& state);
    // Coefficient of determination over the stored data, recomputed on each call; 1 for constant y.
    Result<double> r_squared() const;

    std::size_t degree() const noexcept { return degree_; }
    bool fitted() const noexcept { return fitted_; }
    std::size_t point_count() const noexcept { return x_values_.size(); }
    // Ascending powers, degree + 1 values; empty before the first fit.
    std::span<const double> coefficients() const noexcept { return coefficients_; }

private:
    std::vector<double> x_values_;
    std::vector<double> y_values_;
    std::vector<double> coefficients_;
    std::size_t degree_;
    bool fitted_ = false;
};

// Horner's scheme from the highest power down, starting from 0 (so x = +-inf gives NaN).
double least_squares_polynomial(std::span<const double> coefficients, double x) noexcept;

}  // namespace morvelay
