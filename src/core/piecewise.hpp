// What the piecewise cores (linear, quadratic, cubic spline) share: their knots with the search that
// counts queries among them, and the batch evaluator.  The methods differ only in which segment serves a
// query and in the polynomial on it, so the paths that find segments are held here once: the forward sweep
// for a sorted batch, and for everything else eight counts at a time (the corrected uniform index, the
// guide table or the lockstep binary search).
//
// One segment rule holds on every path, single points included: a query with c knots at or below it lies
// on segment c - kCountOffset, kept within [0, last_segment()].  A query on an interior knot therefore
// takes the segment that starts at (linear, spline) or is centred on (quadratic) that knot, and a sorted
// batch gives every query the bits a single call gives it.
//
// A method describes itself by a rule object:
//
//   kCountOffset                    the rule above; the sweep's segment s then serves the queries below
//                                   the knot x[s + kCountOffset]
//   last_segment()                  the highest segment
//   sweep_range(xs, out)            the sorted queries the sweep serves, [lo, hi); the rule has written
//                                   the others (the linear core's clamped ends)
//   fill_run(s, xs, out, from, to)  the queries [from, to) of a sorted batch, all on segment s: a loop the
//                                   compiler vectorises, with the segment's coefficients in registers
//   value(s, q)                     one query on segment s, or whatever the rule makes of queries
//                                   outside the knots
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "core_contract.hpp"
#include "search.hpp"

namespace morvelay {

// The knots of a piecewise core, strictly increasing, and how queries are counted among them.
class PiecewiseKnots {
public:
    bool fitted() const noexcept { return fitted_; }
    std::span<const double> x_values() const noexcept { return x_; }
    std::optional<double> inverse_step() const noexcept { return search_.inverse_step(); }

protected:
    // The search from x_, for whatever sets x_ other than fit (add_point, a restored state).
    void rebuild_search() { search_.assign(x_); }
    std::size_t count_not_above(double q) const noexcept { return search_.count_not_above(x_, q); }

    KnotSearch search_;
    std::vector<double> x_;
    bool fitted_ = false;
};

// The segment of a query with `count` knots at or below it.
template <class Rule>
std::size_t segment_of_count(const Rule& rule, std::size_t count) {
    return count <= Rule::kCountOffset ? 0 : std::min(count - Rule::kCountOffset, rule.last_segment());
}

template <class Rule>
double value_at(const Rule& rule, std::span<const double> x, const KnotSearch& search, double q) {
    return rule.value(segment_of_count(rule, search.count_not_above(x, q)), q);
}

template <class Rule>
void fill_piecewise(const Rule& rule, std::span<const double> x, const KnotSearch& search, std::span<const double> xs,
                    std::span<double> out) {
    const std::size_t m = xs.size();
    if (is_non_decreasing(xs)) {
        const auto [lo, hi] = rule.sweep_range(xs, out);
        const std::span<const double> inside = xs.first(hi);
        const std::size_t last = rule.last_segment();
        std::size_t segment = 0;
        for (std::size_t j = lo; j < hi;) {
            const double q = xs[j];
            // Past segment s means at or above its end knot: the count rule, by comparisons alone.  A
            // one-element batch may hold a NaN, which is past no knot and ends its run at once.
            segment = advance_cursor(segment, last, [&](std::size_t s) { return q >= x[s + Rule::kCountOffset]; });
            const std::size_t end =
                segment == last ? hi
                                : end_of_run(inside, j + 1, [end_knot = x[segment + Rule::kCountOffset]](double v) {
                                      return !(v >= end_knot);
                                  });
            rule.fill_run(segment, xs.data(), out.data(), j, end);
            j = end;
        }
        return;
    }
    // Eight queries at a time, their counts first: the loads of the eight searches overlap, where one
    // search at a time would wait on each of its own.
    constexpr std::size_t kLanes = 8;
    std::size_t k = 0;
    for (; k + kLanes <= m; k += kLanes) {
        std::size_t counts[kLanes];
        search.count_not_above<kLanes>(x, xs.data() + k, counts);
        for (std::size_t l = 0; l < kLanes; ++l) out[k + l] = rule.value(segment_of_count(rule, counts[l]), xs[k + l]);
    }
    for (; k < m; ++k) out[k] = value_at(rule, x, search, xs[k]);
}

}  // namespace morvelay
