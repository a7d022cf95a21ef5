// Chebyshev series on a fixed interval.
//
// The polynomial interpolating the data at the n Chebyshev nodes of the first kind, which the core
// places itself (descending, mirrored pairs from floor(n/2) cosines), held as c0 T0 + ... + c(n-1) T(n-1)
// of x mapped to [-1, 1].  x outside [x_min, x_max] is an error, never extrapolated.  Fit is O(n^2)
// arithmetic and O(n) memory; evaluation is O(n) by Clenshaw's recurrence (the default) or O(n^2) term
// by term ("Direct").  Reproduces polynomials of degree below n to rounding.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "core_contract.hpp"
#include "core_state.hpp"

namespace morvelay {

class ChebyshevCore {
public:
    // Completes this core's not-fitted message; the faces' own fitted checks use it too.
    static constexpr std::string_view kNotFittedHint = kFitYHint;

    // Fails with "n_points must be positive" or "x_min must be less than x_max".
    static Result<ChebyshevCore> create(std::size_t n_points, double x_min, double x_max, bool use_clenshaw);

    // One y value per node, in node order.
    Status fit(std::span<const double> y);
    Result<double> evaluate_single(double x) const;
    Status fill_many(std::span<const double> xs, std::span<double> out) const;

    // The state to save, and a core rebuilt from a saved one, every field checked (core_state.hpp).
    CoreState state() const;
    static Result<ChebyshevCore> restore(const CoreState& state);

    std::span<const double> nodes() const noexcept { return nodes_; }
    std::span<const double> coefficients() const noexcept { return coefficients_; }
    std::size_t n_points() const noexcept { return n_points_; }
    double x_min() const noexcept { return x_min_; }
    double x_max() const noexcept { return x_max_; }
    bool use_clenshaw() const noexcept { return use_clenshaw_; }
    bool fitted() const noexcept { return fitted_; }
    // Switches the evaluation method; the coefficients serve both.
    void set_use_clenshaw(bool use_clenshaw) noexcept { use_clenshaw_ = use_clenshaw; }

private:
    ChebyshevCore() = default;

    Status check_range(double x) const;
    // x onto [-1, 1] by the differences from x_min and the width, which round to the interval's own
    // resolution wherever it lies (a precomputed scale and offset cancel far from zero).
    double to_unit(double x) const noexcept { return ((x - x_min_) * 2.0) / (x_max_ - x_min_) - 1.0; }
    void fill_clenshaw(std::span<const double> xs, std::span<double> out) const;

    std::vector<double> nodes_;
    std::vector<double> coefficients_;
    double x_min_ = 0.0;
    double x_max_ = 0.0;
    std::size_t n_points_ = 0;
    bool use_clenshaw_ = true;
    bool fitted_ = false;
};

// Clenshaw's recurrence at one t in [-1, 1]; 0 for no coefficients.
double chebyshev_evaluate_clenshaw(std::span<const double> c, double t) noexcept;
// The same for 32 points in lock step; every lane's arithmetic is the single-point sequence.
void chebyshev_evaluate_clenshaw32(std::span<const double> c, const double* t, double* out) noexcept;
// Term by term, T_k carried forward by the three-term recurrence.
double chebyshev_evaluate_direct(std::span<const double> c, double t) noexcept;

}  // namespace morvelay
