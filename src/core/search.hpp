// Finding the segment of a query.  Every path counts the knots at or below the query, exactly as the
// binary search does: the branch-free search itself (one query or several in lockstep), the guide table
// of an uneven grid, the corrected index of an evenly spaced one (`KnotSearch` picks among them), and, for
// sorted batches, the end of a run of queries and the galloping cursor of a sweep.  The pieces used per
// query are defined here, inline, since they sit in the evaluation loops; the fit-time builders are in
// search.cpp.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "large_buffer.hpp"

namespace morvelay {

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
// saturate.  A plain cast would be undefined behaviour for all three.  Inline: it sits in the uniform-grid
// loops, one call per query.
inline std::size_t saturating_index(double floored) noexcept {
    // 2^64 is the first double beyond size_t; comparisons with NaN are false, so NaN takes the first branch.
    if (!(floored > 0.0)) return 0;
    if (floored >= 18446744073709551616.0) return static_cast<std::size_t>(-1);
    return static_cast<std::size_t>(floored);
}

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

// A table that sends a query straight to the few knots it must be compared with, so that an uneven grid
// is searched about as fast as an even one is indexed.  [x[0], x[n-1]] is cut into 2n equal slices;
// first[s] is the first knot whose slice is s or later, and lowest[s] its value.  A query's knot count
// then lies between first[s] and first[s + 1] for its own slice s: one comparison settles it when the
// slice holds one knot or none, binary lifting over the slice's knots when it holds more, so a slice of
// thousands of clustered knots costs a dozen steps, not thousands.
//
// The count is exact whatever the rounding: knots and queries go through the same slice function, which
// never decreases, so a knot in an earlier slice than the query lies below it and one in a later slice
// above it.  The function works on halves of x, whose differences cannot overflow even for knots near
// -DBL_MAX and DBL_MAX (an overflow would keep the counts exact, but send every query to one slice).
// Grids it cannot serve (fewer than 32 knots, infinite ends, a span that rounds to nothing in halves) get
// no table, and `count_not_above` falls back to the plain search.
class KnotGuide {
public:
    bool empty() const noexcept { return first_.empty(); }

    // Rebuilds the table for strictly increasing x, or empties it when `wanted` is false or x does not
    // suit.  Allocates only when the storage is too small (see `reserve`); if that fails, nothing changes.
    void assign(std::span<const double> x, bool wanted);
    void reserve(std::size_t n_knots);

    // count_not_above(x, q) for the x the table was built from, with or without a table.
    std::size_t count_not_above(std::span<const double> x, double q) const noexcept {
        if (first_.empty()) return morvelay::count_not_above(x, q);
        // Every knot before first[s] lies below q and every knot of a later slice above it, so the count
        // is first[s] plus the knots of slice s at or below q.  The first of them is compared from the
        // table's own copy, loaded beside first[s] rather than after it: on the usual grid that one
        // comparison is all there is.
        const std::size_t s = slice(q);
        const std::size_t first = first_[s], size = first_[s + 1] - first;
        std::size_t count = first + (lowest_[s] <= q ? 1 : 0);
#if defined(__GNUC__)
        // The count is opaque past this point: otherwise the compiler may split the caller's code on the
        // comparison into two copies, and a branch between them is mispredicted half the time.
        asm("" : "+r"(count));
#endif
        // Most slices hold one knot or none, and this branch is then taken by hardly any query.
        return size > 1 ? rest_of_slice(x, q, size, count) : count;
    }

    // The same for L queries at once.  When a slice of several knots comes up, the lanes lift together
    // over as many steps as the widest slice among them needs (further steps add nothing to a lane whose
    // slice is narrower), so their loads overlap as in the lockstep search.
    template <std::size_t L>
    void count_not_above(std::span<const double> x, const double* q, std::size_t* count) const noexcept {
        std::size_t widest = 0;
        for (std::size_t l = 0; l < L; ++l) {
            const std::size_t s = slice(q[l]);
            const std::size_t first = first_[s], size = first_[s + 1] - first;
            count[l] = first + (lowest_[s] <= q[l] ? 1 : 0);
            widest = size > widest ? size : widest;
        }
        if (widest <= 1) return;
        const std::size_t last = x.size() - 1;
        for (std::size_t step = std::bit_floor(widest); step > 0; step >>= 1) {
            for (std::size_t l = 0; l < L; ++l) {
                count[l] = x[std::min(count[l] + step - 1, last)] <= q[l] ? count[l] + step : count[l];
            }
        }
        for (std::size_t l = 0; l < L; ++l) count[l] = std::min(count[l], x.size());
    }

private:
    // NaN goes to slice 0, where it is above no knot; -inf to 0 and +inf to the last slice.
    std::size_t slice(double q) const noexcept {
        return std::min(saturating_index((q * 0.5 - half_origin_) * scale_), last_slice_);
    }

    // The remaining knots of a slice that holds more than one, by binary lifting: the steps
    // bit_floor(size), ..., 2, 1 add up to more than the size - 1 knots left.  Probes beyond the slice add
    // nothing (its knots lie above q); probes past the end read x[n-1], and should it be at or below q the
    // count overshoots n and is cut back.
    static std::size_t rest_of_slice(std::span<const double> x, double q, std::size_t size,
                                     std::size_t count) noexcept {
        const std::size_t last = x.size() - 1;
        for (std::size_t step = std::bit_floor(size); step > 0; step >>= 1) {
            count = x[std::min(count + step - 1, last)] <= q ? count + step : count;
        }
        return std::min(count, x.size());
    }

    double half_origin_ = 0.0;
    double scale_ = 0.0;
    std::size_t last_slice_ = 0;
    // Large-buffer storage: a million knots make a 24 MB table, which a fit writes in full at once.
    LargeVector<std::uint32_t> first_;
    LargeVector<double> lowest_;  // x[first[s]], or NaN (above no query) where first[s] is n
};

// The knot count of an evenly spaced grid from one multiplication.  floor((q - x[0]) / h) is only a
// guess: the knots lie off x[0] + k h by their own rounding and by what the spacing test tolerates (on
// 1 + 2e-9 i, knot k by up to k * 1e-7 steps), so a query that close to a knot may be guessed into the
// neighbouring segment, whose line or parabola then extrapolates.  The two knots beside the guess settle
// it: with g the guess (kept within [0, n - 2]), the count is g + [x[g] <= q] + [x[g + 1] <= q], exact
// whenever the true count lies in [g, g + 2].  The guess never decreases with q, so that holds for every
// q once each knot's own guess is its index or one below (`uniform_guess_fits`, checked at fit time).
// NaN gives 0 and is above no knot; the infinities give the two ends.
inline std::size_t uniform_guess(std::span<const double> x, double inverse_step, double q) noexcept {
    // Clamped in double, then converted: two selects and one conversion, no branch, and no out-of-range
    // (undefined) conversion for NaN or the infinities.  n - 2 is exact in a double for any n in memory.
    const double v = (q - x[0]) * inverse_step;
    const double last = static_cast<double>(x.size() - 2);
    const double clamped = v > 0.0 ? (v < last ? v : last) : 0.0;
    return static_cast<std::size_t>(static_cast<std::int64_t>(clamped));
}
inline std::size_t uniform_count(std::span<const double> x, double inverse_step, double q) noexcept {
    const std::size_t g = uniform_guess(x, inverse_step, q);
    return g + (x[g] <= q ? 1 : 0) + (x[g + 1] <= q ? 1 : 0);
}

// Whether uniform_count is exact on x (three or more knots, strictly increasing): every knot's guess is
// its index or one below.  A grid that passes the spacing test only thanks to its absolute term (a step
// far below 2^-52) may fail this, and is then searched like an uneven one.
bool uniform_guess_fits(std::span<const double> x, double inverse_step) noexcept;

// How a piecewise core counts the knots at or below a query: on an evenly spaced grid by the corrected
// uniform index, elsewhere by the guide table, or by the plain search where there is no table.  All three
// give the binary search's count bit for bit, so every path of every piecewise core takes the same
// segment.  Derived from x alone: whatever changes x calls `assign` again.
class KnotSearch {
public:
    // Rebuilds for strictly increasing x.  If the guide cannot allocate, nothing changes.
    void assign(std::span<const double> x);
    void reserve(std::size_t n_knots) { guide_.reserve(n_knots); }

    // 1 / h when the knots are taken as evenly spaced.
    std::optional<double> inverse_step() const noexcept { return inverse_step_; }

    std::size_t count_not_above(std::span<const double> x, double q) const noexcept {
        if (inverse_step_) return uniform_count(x, *inverse_step_, q);
        return guide_.count_not_above(x, q);
    }

    // The same for L queries at once, their loads overlapping.
    template <std::size_t L>
    void count_not_above(std::span<const double> x, const double* q, std::size_t* count) const noexcept {
        if (inverse_step_) {
            const double inverse_step = *inverse_step_;
            for (std::size_t l = 0; l < L; ++l) count[l] = uniform_count(x, inverse_step, q[l]);
        } else if (guide_.empty()) {
            morvelay::count_not_above<L>(x, q, count);
        } else {
            guide_.count_not_above<L>(x, q, count);
        }
    }

private:
    std::optional<double> inverse_step_;
    KnotGuide guide_;
};

}  // namespace morvelay
