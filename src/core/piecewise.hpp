// The batch evaluator of the piecewise cores (linear, quadratic, cubic spline).  They differ only in which
// segment serves a query and in the polynomial on it, so the paths that find segments are held here once:
// the forward sweep for a sorted batch, the uniform index of an evenly spaced grid, and for everything
// else eight queries at a time through the guide table (or, without one, the lockstep binary search).
//
// A method describes itself by a rule object:
//
//   kBoundOffset, beyond(q, bound)  the sweep's segment s serves the queries up to the knot
//                                   x[s + kBoundOffset]; beyond(q, that knot) says q lies past it
//   last_segment()                  the highest segment
//   sweep_range(xs, out)            the sorted queries the sweep serves, [lo, hi); the rule has written
//                                   the others (the linear core's clamped ends)
//   run(s, xs, out, from, to)       the queries [from, to) of a sorted batch, all on segment s: a loop the
//                                   compiler vectorises, with the segment's coefficients in registers
//   segment_of_count(c)             the segment of a query with c knots at or below it
//   uniform_segment(q)              the segment on an evenly spaced grid
//   value(s, q)                     one query on segment s, or whatever the rule makes of queries
//                                   outside the knots
//
// Every path gives a query the value it got from each method's own copy of these loops, bit for bit.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "core_contract.hpp"
#include "search.hpp"

namespace morvelay {

// The knots of a core that takes x as given (never sorted), and how its segments are found in them.
class PiecewiseKnots {
public:
    bool fitted() const noexcept { return fitted_; }
    std::span<const double> x_values() const noexcept { return x_; }
    std::optional<double> inverse_step() const noexcept { return inverse_step_; }

protected:
    // The uniform step and the guide from x_, for whatever sets x_ other than fit (a restored state).
    void rebuild_search() { index_knots(x_, inverse_step_, guide_); }

    std::optional<double> inverse_step_;
    KnotGuide guide_;
    std::vector<double> x_;
    bool fitted_ = false;
};

template <class Rule>
void fill_piecewise(const Rule& rule, std::span<const double> x, bool uniform, const KnotGuide& guide,
                    std::span<const double> xs, std::span<double> out) {
    const std::size_t m = xs.size();
    if (is_non_decreasing(xs)) {
        const auto [lo, hi] = rule.sweep_range(xs, out);
        const std::span<const double> inside = xs.first(hi);
        const std::size_t last = rule.last_segment();
        std::size_t segment = 0;
        for (std::size_t j = lo; j < hi;) {
            const double q = xs[j];
            segment = advance_cursor(segment, last,
                                     [&](std::size_t i) { return Rule::beyond(q, x[i + Rule::kBoundOffset]); });
            // A one-element batch may hold a NaN: it is never beyond a knot and ends its run at once.
            const std::size_t end =
                segment == last ? hi : end_of_run(inside, j + 1, [bound = x[segment + Rule::kBoundOffset]](double v) {
                    return !Rule::beyond(v, bound);
                });
            rule.run(segment, xs.data(), out.data(), j, end);
            j = end;
        }
        return;
    }
    if (uniform) {
        for (std::size_t k = 0; k < m; ++k) out[k] = rule.value(rule.uniform_segment(xs[k]), xs[k]);
        return;
    }
    // Eight queries at a time, their counts first: the loads of the eight searches overlap, where one
    // search at a time would wait on each of its own.
    constexpr std::size_t kLanes = 8;
    std::size_t k = 0;
    for (; k + kLanes <= m; k += kLanes) {
        std::size_t counts[kLanes];
        if (guide.empty()) {
            count_not_above<kLanes>(x, xs.data() + k, counts);
        } else {
            guide.count_not_above<kLanes>(x, xs.data() + k, counts);
        }
        for (std::size_t l = 0; l < kLanes; ++l) out[k + l] = rule.value(rule.segment_of_count(counts[l]), xs[k + l]);
    }
    for (; k < m; ++k) out[k] = rule.value(rule.segment_of_count(guide.count_not_above(x, xs[k])), xs[k]);
}

}  // namespace morvelay
