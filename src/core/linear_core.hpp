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
#include <vector>

#include "core_state.hpp"
#include "core_trait.hpp"

namespace morvelay {

class LinearCore {
public:
    LinearCore() = default;

    Status fit(std::vector<double> x, std::vector<double> y);
    Result<double> evaluate_single(double xq) const;
    Status fill_many(std::span<const double> xs, std::span<double> out) const;

    // The state to save, and a core rebuilt from a saved one, every field checked (core_state.hpp).
    CoreState state() const;
    static Result<LinearCore> restore(const CoreState& state);

    Status update_y(std::vector<double> y_new);
    Status add_point(double x_new, double y_new);

    bool fitted() const noexcept { return fitted_; }
    std::span<const double> x_values() const noexcept { return x_; }
    std::span<const double> y_values() const noexcept { return y_; }
    std::span<const double> slopes() const noexcept { return slopes_; }
    std::optional<double> inverse_step() const noexcept { return inverse_step_; }

private:
    std::optional<double> inverse_step_;
    std::vector<double> x_;
    std::vector<double> y_;
    std::vector<double> slopes_;
    bool fitted_ = false;
};

// One value from the stored arrays, without a fitted check (the caller has made it).  Clamps to the end
// values outside [x[0], x[n-1]]; a NaN query gives NaN on every grid with two or more knots.
double linear_interpolate_single(std::span<const double> x, std::span<const double> y, std::span<const double> slopes,
                                 std::optional<double> inverse_step, double xq);

}  // namespace morvelay
