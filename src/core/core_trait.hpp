// What every interpolation core shares: the evaluation contract, the dense solver, and the small
// helpers (uniform-step detection, the sortedness test, safe index conversion, number-to-text forms)
// that would otherwise be repeated in each method file.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core_error.hpp"

namespace morvelay {

// Evaluation of one point and of a whole buffer.  `fill_many` checks that the core is fitted before
// it compares the buffer lengths, and writes nothing when either check fails.
template <class Core>
concept InterpolationCore = requires(const Core& core, double x, std::span<const double> xs, std::span<double> out) {
    { core.evaluate_single(x) } -> std::same_as<Result<double>>;
    { core.fill_many(xs, out) } -> std::same_as<Status>;
};

// The two checks every `fill_many` makes, in the order every core makes them.
Status check_fill_many(bool fitted, std::string_view not_fitted_hint, std::size_t n_in, std::size_t n_out);

// Gaussian elimination with partial pivoting on rows held separately.  Ties in the pivot search keep
// the upper row and a NaN entry is never chosen; a pivot below 1e-12 in magnitude (absolute, not
// relative to the matrix) fails with "Singular matrix near pivot {k}".  No scaling, no refinement.
Result<std::vector<double>> solve_linear_system_gaussian(std::vector<std::vector<double>> a, std::vector<double> b);

// The same elimination, operation for operation, on an n x n row-major block.  Results and messages
// are bit-identical to `solve_linear_system_gaussian`; the contiguous rows let the row update
// vectorise, which is what the O(n^3) kernel systems need.
Result<std::vector<double>> solve_dense_row_major(std::vector<double> a, std::size_t n, std::vector<double> b);

// The common step of evenly spaced knots, or nothing.  Needs three or more knots; the first step must be
// positive and finite, and no later gap may deviate from it by more than |h|*1e-10 + 2^-52 (a NaN
// deviation does not count as one).
std::optional<double> uniform_step(std::span<const double> x);

// True when every adjacent pair satisfies a <= b; any NaN among two or more values makes it false.
bool is_non_decreasing(std::span<const double> values);

// The number of knots x[k] <= q in a non-decreasing array (0 for a NaN q).  The loop keeps a base and a
// remaining size, so each step is a conditional move rather than a branch the CPU must guess: on random
// queries that is several times faster than std::upper_bound.
inline std::size_t count_not_above(std::span<const double> x, double q) noexcept {
    if (x.empty()) return 0;
    const double* base = x.data();
    std::size_t size = x.size();
    while (size > 1) {
        const std::size_t half = size / 2;
        base = (base[half] <= q) ? base + half : base;
        size -= half;
    }
    return static_cast<std::size_t>(base - x.data()) + (*base <= q ? 1 : 0);
}

// floor() results used as segment indices: negative and NaN give 0, values beyond the range of size_t
// saturate.  A plain cast would be undefined behaviour for all three.
std::size_t saturating_index(double floored);

// Number-to-text forms of messages and reprs.
std::string format_count(std::uint64_t value);         // "3"
std::string format_shortest(double value);             // shortest round trip, no exponent: 1.0 -> "1"
std::string format_fixed(double value, int decimals);  // exact binary value, ties to even: "2.67"

}  // namespace morvelay
