// Global polynomial interpolation in the second (true) barycentric form.
//
// p(t) = sum(w_i y_i / (t - x_i)) / sum(w_i / (t - x_i)), with w_i = 1 / prod_{k != i} (x_i - x_k);
// a query equal to a node returns that node's value exactly.  Fit is O(n^2), evaluation O(n) per point;
// new values (`update_y`) and one more node (`add_point`) cost O(n) without recomputing the weights.
// The polynomial of degree n-1 through the points is reproduced to rounding and extrapolated outside
// them.  Nodes are never sorted or deduplicated at fit; coincident ones give infinite weights and NaN.
//
// The form is unchanged when all weights share a common factor, and the plain products overflow or
// underflow from a few hundred nodes on.  The weights are therefore kept as the plain weights times one
// power of two (2^weight_exponent): every rescaling is exact, so where the plain products stay finite
// and normal the results are bit-identical to them, and where they do not the results stay right.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core_contract.hpp"
#include "core_state.hpp"

namespace morvelay {

class LagrangeCore : public StoredPoints {
public:
    // Completes this core's not-fitted message; the faces' own fitted checks use it too.
    static constexpr std::string_view kNotFittedHint = kFitXYHint;

    LagrangeCore() = default;

    Status fit(std::vector<double> x, std::vector<double> y);
    Result<double> evaluate_single(double t) const;
    Status fill_many(std::span<const double> xs, std::span<double> out) const;

    // The state to save, and a core rebuilt from a saved one, every field checked (core_state.hpp).
    CoreState state() const;
    static Result<LagrangeCore> restore(const CoreState& state);

    Status update_y(std::vector<double> y_new);
    Status add_point(double x_new, double y_new);

    // The plain weights 1 / prod (x_i - x_k) times 2^weight_exponent().
    std::span<const double> weights() const noexcept { return weights_; }
    std::span<const double> weighted_y() const noexcept { return weighted_y_; }
    std::int64_t weight_exponent() const noexcept { return weight_exponent_; }

private:
    std::vector<double> weights_;
    std::vector<double> weighted_y_;
    std::int64_t weight_exponent_ = 0;
    int difference_exponent_ = 0;  // node differences are multiplied by 2^-difference_exponent_
};

}  // namespace morvelay
