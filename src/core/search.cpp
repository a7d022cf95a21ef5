#include "search.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "core_contract.hpp"

namespace morvelay {

namespace {
// Two slices per knot leave the slices of a moderately uneven grid with at most one knot each, so that
// one comparison, with a knot value held in the table itself, settles the count; more slices only cost
// memory and cache.
constexpr std::size_t kSlicesPerKnot = 2;
// Below this many knots the eight-lane search takes five steps or fewer, and beats the table.
constexpr std::size_t kGuideFrom = 32;
}  // namespace

void KnotGuide::assign(std::span<const double> x, bool wanted) {
    const std::size_t n = x.size();
    // Knot indices are held in 32 bits: half the memory of size_t, and a grid of four billion knots would
    // not fit in memory twice anyway.
    const bool suits = wanted && n >= kGuideFrom && n < std::numeric_limits<std::uint32_t>::max() &&
                       std::isfinite(x[0]) && std::isfinite(x[n - 1]);
    const double half_origin = suits ? x[0] * 0.5 : 0.0;
    const double span = suits ? x[n - 1] * 0.5 - half_origin : 0.0;
    const std::size_t slices = kSlicesPerKnot * n;
    const double scale = static_cast<double>(slices) / span;
    if (!suits || !(span > 0.0) || !std::isfinite(scale)) {
        first_.clear();
        lowest_.clear();
        return;
    }
    // The only steps that can fail, and they leave the table as it was; the resizes below then cannot.
    first_.reserve(slices + 1);
    lowest_.reserve(slices + 1);
    first_.resize(slices + 1);
    lowest_.resize(slices + 1);
    half_origin_ = half_origin;
    scale_ = scale;
    last_slice_ = slices - 1;
    // first[s] counts the knots of the slices before s: a histogram of the knots' slices, then its running
    // sum.  No step depends on how many slices a knot skips, so no branch is mispredicted.
    std::fill(first_.begin(), first_.end(), 0u);
    for (std::size_t i = 0; i < n; ++i) ++first_[slice(x[i]) + 1];
    for (std::size_t s = 0; s < slices; ++s) first_[s + 1] += first_[s];
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (std::size_t s = 0; s <= slices; ++s) {
        const std::size_t i = first_[s];
        lowest_[s] = i < n ? x[std::min(i, n - 1)] : nan;
    }
}

void KnotGuide::reserve(std::size_t n_knots) {
    first_.reserve(kSlicesPerKnot * n_knots + 1);
    lowest_.reserve(kSlicesPerKnot * n_knots + 1);
}

bool uniform_guess_fits(std::span<const double> x, double inverse_step) noexcept {
    for (std::size_t j = 1; j < x.size(); ++j) {
        const std::size_t g = uniform_guess(x, inverse_step, x[j]);
        if (g > j || g + 1 < j) return false;
    }
    return true;
}

void KnotSearch::assign(std::span<const double> x) {
    std::optional<double> step = inverse_uniform_step(x);
    if (step && !uniform_guess_fits(x, *step)) step.reset();
    guide_.assign(x, !step);
    inverse_step_ = step;
}

}  // namespace morvelay
