// Piecewise linear interpolation.
//
// Between neighbouring knots the value lies on the straight line through them; outside the knots the
// end values are held (no extrapolation).  x is sorted on fit when needed, repeated x is rejected.
// Fit is O(n) (O(n log n) when sorting); evaluation is one search (or one multiplication on an evenly
// spaced grid) and one multiply-add.  Reproduces every linear function exactly between the knots, to
// rounding.
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

class LinearCore : public PiecewiseKnots {
public:
    // Completes this core's not-fitted message; the faces' own fitted checks use it too.
    static constexpr std::string_view kNotFittedHint = kFitXYHint;

    LinearCore() = default;

    Status fit(std::vector<double> x, std::vector<double> y);
    Result<double> evaluate_single(double xq) const;
    Status fill_many(std::span<const double> xs, std::span<double> out) const;

    // The state to save, and a core rebuilt from a saved one, every field checked (core_state.hpp).
    CoreState state() const;
    static Result<LinearCore> restore(const CoreState& state);

    Status update_y(std::vector<double> y_new);
    Status add_point(double x_new, double y_new);

    // The points as fitted: sorted by x.
    std::span<const double> y_values() const noexcept { return y_; }
    std::span<const double> slopes() const noexcept { return slopes_; }

private:
    std::vector<double> y_;
    std::vector<double> slopes_;
};

}  // namespace morvelay
