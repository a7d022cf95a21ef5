// Piecewise quadratic interpolation through overlapping triplets.
//
// Segment k is the parabola a + b*x + c*x^2 (absolute x) through points k, k+1, k+2; the interval
// [x[i], x[i+1]) with i >= 1 is served by the triplet whose middle point is x[i].  Outside the data the
// end parabolas extrapolate.  Triplets whose Vandermonde determinant is below 1e-12 in magnitude fall back
// to the line through their first two points.  Fit is O(n); evaluation is one search (one multiplication on
// an evenly spaced grid) and two multiply-adds; a sorted batch is one pass.  Reproduces every quadratic
// exactly, to rounding, wherever the spacing keeps the determinant above the threshold.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "core_state.hpp"
#include "core_trait.hpp"

namespace morvelay {

class QuadraticCore {
public:
    QuadraticCore() = default;

    Status fit(std::vector<double> x, std::vector<double> y);
    Result<double> evaluate_single(double xq) const;
    Status fill_many(std::span<const double> xs, std::span<double> out) const;

    // The state to save, and a core rebuilt from a saved one, every field checked (core_state.hpp).
    CoreState state() const;
    static Result<QuadraticCore> restore(const CoreState& state);

    // Evaluation without the fitted check; the caller has made it.
    double eval_internal(double xq) const;

    bool fitted() const noexcept { return fitted_; }
    std::span<const double> x_values() const noexcept { return x_; }
    // Flat a0, b0, c0, a1, b1, c1, ...: one parabola per triplet, three adjacent doubles each.
    std::span<const double> coefficients() const noexcept { return coefficients_; }
    std::optional<double> inverse_step() const noexcept { return inverse_step_; }

private:
    std::optional<double> inverse_step_;
    std::vector<double> x_;
    std::vector<double> coefficients_;
    bool fitted_ = false;
};

}  // namespace morvelay
