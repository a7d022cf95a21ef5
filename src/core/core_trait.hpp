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

// A hot kernel compiled for several instruction sets, the best one picked at load time by an ifunc
// resolver.  ThreadSanitizer builds get the single default version: their runtime is not yet started
// when the dynamic loader runs resolvers, and an instrumented resolver crashes the process.
#if defined(__SANITIZE_THREAD__)
#define MORVELAY_CLONES(...)
#else
#define MORVELAY_CLONES(...) [[gnu::target_clones(__VA_ARGS__)]]
#endif

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
// vectorise, and the updates are applied panel by panel so large systems run from cache, which is
// what the O(n^3) kernel systems need.
Result<std::vector<double>> solve_dense_row_major(std::vector<double> a, std::size_t n, std::vector<double> b);

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

// Whether a refit may keep an old array's storage for `needed` elements: large enough, and not so large
// that a much smaller fit would hold on to the memory of a much larger one.
template <class Vector>
bool reusable(const Vector& storage, std::size_t needed) noexcept {
    return storage.capacity() >= needed && storage.capacity() / 2 <= needed;
}

// floor() results used as segment indices: negative and NaN give 0, values beyond the range of size_t
// saturate.  A plain cast would be undefined behaviour for all three.  Inline: it sits in the uniform-grid
// loops, one call per query.
inline std::size_t saturating_index(double floored) noexcept {
    // 2^64 is the first double beyond size_t; comparisons with NaN are false, so NaN takes the first branch.
    if (!(floored > 0.0)) return 0;
    if (floored >= 18446744073709551616.0) return static_cast<std::size_t>(-1);
    return static_cast<std::size_t>(floored);
}

// saturating_index(floor(v)) without calling floor, which is a library call on baseline x86-64: the
// truncating conversion agrees with floor wherever the result is not 0 (v in (-1, 0) floors to -1, which
// is sent to 0 as well).
inline std::size_t floor_index(double v) noexcept { return saturating_index(v); }

// count_not_above for L queries at once (x non-empty).  The steps depend only on x.size(), so the L searches run in
// lockstep and their loads overlap: an unsorted batch is bound by throughput, not by one search's latency.
template <std::size_t L>
inline void count_not_above(std::span<const double> x, const double* q, std::size_t* count) noexcept {
    std::size_t base[L] = {};
    std::size_t size = x.size();
    while (size > 1) {
        const std::size_t half = size / 2;
        for (std::size_t l = 0; l < L; ++l) base[l] = x[base[l] + half] <= q[l] ? base[l] + half : base[l];
        size -= half;
    }
    for (std::size_t l = 0; l < L; ++l) count[l] = base[l] + (x[base[l]] <= q[l] ? 1 : 0);
}

// For sorted queries xs whose element from - 1 satisfies `in_run`: the first index at or after `from`
// whose query does not (or xs.size()).  `in_run` must hold on a prefix of xs only, as "q < bound" does on
// sorted queries.  Probes double their distance and the last gap is bisected, so a run of r queries costs
// about 2 log2(r) comparisons rather than r.
template <class InRun>
std::size_t end_of_run(std::span<const double> xs, std::size_t from, InRun in_run) {
    std::size_t hi = from, step = 1;
    while (hi < xs.size() && in_run(xs[hi])) {
        hi += step;
        step *= 2;
    }
    std::size_t lo = hi - step / 2;  // the last probe that was in the run, or `from` when none was
    hi = hi < xs.size() ? hi : xs.size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (in_run(xs[mid])) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

// The cursor of a forward sweep moved on to its next query: from `from`, the first index below `last` at
// which `beyond` is false, or `last` when there is none.  `beyond` must hold on a prefix of [from, last)
// only, as "q > x[i + 1]" does on sorted knots.  A cursor that stays put costs one test; one that skips
// many knots (a few queries over many knots) costs about 2 log2(skip) tests rather than one per knot.
template <class Beyond>
std::size_t advance_cursor(std::size_t from, std::size_t last, Beyond beyond) {
    if (from >= last || !beyond(from)) return from;
    std::size_t lo = from + 1, hi = from + 1, step = 1;  // every index below lo is beyond
    while (hi < last && beyond(hi)) {
        lo = hi + 1;
        hi += step;
        step *= 2;
    }
    hi = hi < last ? hi : last;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (beyond(mid)) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

// Number-to-text forms of messages and reprs.
std::string format_count(std::uint64_t value);         // "3"
std::string format_shortest(double value);             // shortest round trip, no exponent: 1.0 -> "1"
std::string format_fixed(double value, int decimals);  // exact binary value, ties to even: "2.67"

}  // namespace morvelay
