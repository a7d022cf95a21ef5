// Radial basis function interpolation.
//
// s(x) = sum_i w_i * phi(|x - x_i|) over the fitted centres, with one of five kernels and the shape
// parameter epsilon; no polynomial term, no smoothing.  The weights solve the dense symmetric system
// Phi w = y by Gaussian elimination with partial pivoting, so the fit interpolates every centre (to the
// conditioning of Phi) and is O(n^3) time, O(n^2) memory.  Evaluation is one kernel value per centre,
// for any x: there is no interpolation range.  For the Gaussian kernel on evenly spaced centres a batch
// takes an exponential only for the centres whose terms can change the sum, with the direct sum's bits; on
// other increasing centres it sums only the terms that are not exactly zero, again the direct sum's bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core_contract.hpp"
#include "core_state.hpp"

namespace morvelay {

// The numeric ids are part of the C interface.
enum class RBFKernel : std::uint32_t {
    Gaussian = 0,
    Multiquadric = 1,
    InverseMultiquadric = 2,
    ThinPlateSpline = 3,
    Linear = 4,
};

inline constexpr std::uint32_t kRBFKernelCount = 5;

// The canonical name: the enumerator in lower case, words joined by "_" ("thin_plate_spline").
std::string_view kernel_name(RBFKernel kernel) noexcept;

// Matches an already normalised name (white space trimmed, full Unicode lower case; the faces own the
// Unicode tables) exactly.  The two-word names may also be written with spaces.  The failure message
// echoes the text it was given.
Result<RBFKernel> parse_kernel_name(std::string_view normalised);

class RBFCore {
public:
    // Completes this core's not-fitted message; the faces' own fitted checks use it too.
    static constexpr std::string_view kNotFittedHint = kFitXYHint;

    // Refuses epsilon <= 0; NaN and +inf are accepted (the test is an ordered comparison).
    static Result<RBFCore> create(RBFKernel kernel, double epsilon);

    Status fit(std::vector<double> x, std::vector<double> y);
    Result<double> evaluate_single(double x) const;
    Status fill_many(std::span<const double> xs, std::span<double> out) const;

    // The state to save, and a core rebuilt from a saved one, every field checked (core_state.hpp).
    CoreState state() const;
    static Result<RBFCore> restore(const CoreState& state);

    // The weights, or the not-fitted failure the faces report for them.
    Result<std::span<const double>> fitted_weights() const;

    bool fitted() const noexcept { return fitted_; }
    RBFKernel kernel() const noexcept { return kernel_; }
    double epsilon() const noexcept { return epsilon_; }
    std::size_t count() const noexcept { return x_.size(); }
    std::span<const double> x_values() const noexcept { return x_; }
    std::span<const double> weights() const noexcept { return weights_; }
    std::optional<double> uniform_spacing() const noexcept { return uniform_step_; }

private:
    RBFCore(RBFKernel kernel, double epsilon) noexcept : epsilon_(epsilon), kernel_(kernel) {}

    std::optional<double> uniform_step_;
    std::vector<double> x_;
    std::vector<double> weights_;
    double epsilon_;
    RBFKernel kernel_;
    bool fitted_ = false;
};

}  // namespace morvelay
