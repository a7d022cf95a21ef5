// Global polynomial interpolation in Newton divided-difference form.
//
// Fit computes the divided differences f[x0], f[x0,x1], ... in place (O(n^2) divisions, O(n) memory);
// evaluation is the nested sum c[n-1] -> c[k] + r*(t - x[k]) (O(n) per point).  The polynomial of
// degree n-1 through all points is reproduced to rounding and extrapolated outside the nodes.  Nodes
// are taken in the given order, never sorted or checked: coincident nodes give IEEE infinities or NaN.
// The order matters for accuracy (Leja or bit-reversed orders are far better than sorted ones for
// large n), not for the polynomial itself.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "core_contract.hpp"
#include "core_state.hpp"

namespace morvelay {

class NewtonCore {
public:
    // Completes this core's not-fitted message; the faces' own fitted checks use it too.
    static constexpr std::string_view kNotFittedHint = kFitXYHint;

    NewtonCore() = default;

    Status fit(std::vector<double> x, std::vector<double> y);
    Result<double> evaluate_single(double t) const;
    Status fill_many(std::span<const double> xs, std::span<double> out) const;

    // The state to save, and a core rebuilt from a saved one, every field checked (core_state.hpp).
    CoreState state() const;
    static Result<NewtonCore> restore(const CoreState& state);

    bool fitted() const noexcept { return fitted_; }
    std::span<const double> x_values() const noexcept { return x_; }
    std::span<const double> coefficients() const noexcept { return coefficients_; }

private:
    std::vector<double> x_;
    std::vector<double> coefficients_;
    bool fitted_ = false;
};

// The Newton form over centres z and coefficients c (equal lengths, at least one):
// r = c[m-1]; r = c[k] + r*(t - z[k]) for k = m-2 ... 0, every operation rounded on its own.  Shared
// with the Hermite core, whose centres are the doubled nodes.
double newton_form_value(std::span<const double> z, std::span<const double> c, double t) noexcept;

// The same for every xs[i] into out[i] (equal lengths), in lane blocks of 8, then 4, then 1.  Each lane
// runs the scalar operation sequence, so every output equals newton_form_value bit for bit.
void newton_form_fill(std::span<const double> z, std::span<const double> c, std::span<const double> xs,
                      std::span<double> out) noexcept;

}  // namespace morvelay
