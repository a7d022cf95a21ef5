// What every interpolation core shares: the evaluation contract, its checks, and the small fit-time
// helpers (uniform-step detection, the NaN and sortedness tests, storage reuse) that would otherwise be
// repeated in each method file.  The dense solver, the segment searches and the number forms have
// their own headers beside this one.
#pragma once

#include <concepts>
#include <cstddef>
#include <optional>
#include <span>
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

// The common step of evenly spaced knots, or nothing.  Needs three or more knots; the first step must be
// positive and finite, and no later gap may deviate from it by more than |h|*1e-10 + 2^-52 (a NaN
// deviation does not count as one).
std::optional<double> uniform_step(std::span<const double> x);

// 1 / h for the step h that `uniform_step` finds: the piecewise cores find a segment with one
// multiplication by it.
std::optional<double> inverse_uniform_step(std::span<const double> x);

// True when any value is NaN: the cores that sort or search x refuse such data, since ordering over NaN
// is undefined.
bool contains_nan(std::span<const double> values) noexcept;

// The knot test of the fits that take x as given (never sorted), and of every restored piecewise core:
// "x values must be strictly increasing" for the first pair x[i - 1] >= x[i], then "x values must not be
// NaN".  A NaN knot passes the pair test
// (no comparison with it holds) yet has no place in the order every search relies on.
Status check_strictly_increasing(std::span<const double> x);

// True when every adjacent pair satisfies a <= b; any NaN among two or more values makes it false.
bool is_non_decreasing(std::span<const double> values);

// The points of the last successful fit, for the cores that keep x and y as fitted (sorted, in the linear
// core) and hand them back to the faces; `fitted()` is what every operation but `fit` checks first.
class StoredPoints {
public:
    bool fitted() const noexcept { return fitted_; }
    std::span<const double> x_values() const noexcept { return x_; }
    std::span<const double> y_values() const noexcept { return y_; }

protected:
    std::vector<double> x_;
    std::vector<double> y_;
    bool fitted_ = false;
};

// Whether a refit may keep an old array's storage for `needed` elements: large enough, and not so large
// that a much smaller fit would hold on to the memory of a much larger one.
template <class Vector>
bool reusable(const Vector& storage, std::size_t needed) noexcept {
    return storage.capacity() >= needed && storage.capacity() / 2 <= needed;
}

}  // namespace morvelay
