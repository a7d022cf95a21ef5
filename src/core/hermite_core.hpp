// Global Hermite interpolation: one polynomial of degree at most 2n-1 matching the values and first
// derivatives at n nodes.
//
// Fit computes the divided differences over the doubled nodes z = (x0, x0, x1, x1, ...), where the
// repeated-node differences are the given derivatives; evaluation is the Newton form over z (2n-1
// multiply-adds per point).  Reproduces every polynomial of degree below 2n to rounding and extrapolates
// outside the nodes.  Nodes are never sorted or checked: coincident nodes give IEEE infinities or NaN.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "core_contract.hpp"
#include "core_state.hpp"

namespace morvelay {

class HermiteCore : public StoredPoints {
public:
    // Completes this core's not-fitted message; the faces' own fitted checks use it too.
    static constexpr std::string_view kNotFittedHint = kFitXYDyHint;

    HermiteCore() = default;

    Status fit(std::vector<double> x, std::vector<double> y, std::vector<double> dy);
    Result<double> evaluate_single(double t) const;
    Status fill_many(std::span<const double> xs, std::span<double> out) const;

    // The state to save, and a core rebuilt from a saved one, every field checked (core_state.hpp).
    CoreState state() const;
    static Result<HermiteCore> restore(const CoreState& state);

    std::span<const double> dy_values() const noexcept { return dy_; }
    std::span<const double> doubled_nodes() const noexcept { return z_; }
    std::span<const double> coefficients() const noexcept { return coefficients_; }

private:
    std::vector<double> dy_;
    std::vector<double> z_;
    std::vector<double> coefficients_;
};

}  // namespace morvelay
