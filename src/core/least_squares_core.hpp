// Polynomial least squares of a fixed degree.
//
// The polynomial minimising the squared residuals over all points.  It is fitted in z = (x - centre) /
// half-width, which maps [min x, max x] onto [-1, 1], by a Householder QR factorisation of the
// Vandermonde matrix in z, streamed through in blocks of rows: in raw x the powers of timestamps or
// offset data share almost every digit, and the normal equations would square what conditioning is
// left.  The polynomial is evaluated in z and converted to powers of x only for the caller who asks for
// coefficients.  It does not pass through the data, accepts unsorted and repeated x and extrapolates
// freely; fewer distinct x than degree + 1 fail as singular, however many times they repeat.  Fit is
// O(N * degree^2) with O(degree^2) memory besides the data; evaluation is degree + 1 Horner steps.
// Reproduces polynomials up to its degree to rounding.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "core_contract.hpp"
#include "core_state.hpp"

namespace morvelay {

class LeastSquaresCore {
public:
    // Completes this core's not-fitted message; the faces' own fitted checks use it too.
    static constexpr std::string_view kNotFittedHint = kFitXYHint;

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
    // Ascending powers of x, degree + 1 values; empty before the first fit.
    std::span<const double> coefficients() const noexcept { return coefficients_; }
    // The fitted polynomial as evaluated: ascending powers of z = (x - centre) * scale.
    std::span<const double> scaled_coefficients() const noexcept { return scaled_coefficients_; }
    double centre() const noexcept { return centre_; }
    double scale() const noexcept { return scale_; }

private:
    std::vector<double> x_values_;
    std::vector<double> y_values_;
    std::vector<double> coefficients_;
    std::vector<double> scaled_coefficients_;
    double centre_ = 0.0;
    double scale_ = 1.0;
    std::size_t degree_;
    bool fitted_ = false;
};

// Horner's scheme in z = (x - centre) * scale from the highest power down, starting from 0 (so x = +-inf
// gives NaN).
double least_squares_polynomial(std::span<const double> scaled_coefficients, double centre, double scale,
                                double x) noexcept;

}  // namespace morvelay
