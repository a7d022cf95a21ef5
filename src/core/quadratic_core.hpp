// Piecewise quadratic interpolation through overlapping triplets.
//
// Segment k is the parabola through points k, k+1, k+2, held as a + b*t + c*t^2 in t = x - x[k+1] (its
// middle knot), so its accuracy depends on the spacing, not on how far x lies from zero; the interval
// [x[i], x[i+1]) with i >= 1 is served by the triplet whose middle point is x[i].  Outside the data the
// end parabolas extrapolate.  Only a triplet with a non-finite spacing falls back to the line through its
// first two points.  Fit is O(n); evaluation is one search (one multiplication on an evenly spaced grid),
// one subtraction and two multiply-adds; a sorted batch is one pass.  Reproduces every quadratic exactly,
// to rounding, at any spacing.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core_contract.hpp"
#include "core_state.hpp"
#include "piecewise.hpp"

namespace morvelay {

class QuadraticCore : public PiecewiseKnots {
public:
    // Completes this core's not-fitted message; the faces' own fitted checks use it too.
    static constexpr std::string_view kNotFittedHint = kFitXYHint;

    QuadraticCore() = default;

    Status fit(std::vector<double> x, std::vector<double> y);
    Result<double> evaluate_single(double xq) const;
    Status fill_many(std::span<const double> xs, std::span<double> out) const;

    // The state to save, and a core rebuilt from a saved one, every field checked (core_state.hpp).
    CoreState state() const;
    static Result<QuadraticCore> restore(const CoreState& state);

    // Flat a0, b0, c0, a1, b1, c1, ...: one parabola per triplet, three adjacent doubles each, segment k
    // in t = x - x[k + 1] (so a_k is y[k + 1]).
    std::span<const double> coefficients() const noexcept { return coefficients_; }

private:
    // Evaluation without the fitted check; the caller has made it.
    double eval_internal(double xq) const;
    std::vector<double> coefficients_;
};

}  // namespace morvelay
