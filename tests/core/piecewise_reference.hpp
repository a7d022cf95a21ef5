// What each piecewise core gives for one query on the segment std::upper_bound picks among its stored
// knots, computed from the core's public coefficients: the oracle every evaluation path is held to.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>

#include "core/cubic_spline_core.hpp"
#include "core/linear_core.hpp"
#include "core/quadratic_core.hpp"

namespace morvelay::testing {

// The number of knots at or below q, NaN above none.
inline std::size_t knots_not_above(std::span<const double> x, double q) {
    if (std::isnan(q)) return 0;
    return static_cast<std::size_t>(std::upper_bound(x.begin(), x.end(), q) - x.begin());
}

inline double linear_reference(const LinearCore& core, double q) {
    const auto x = core.x_values();
    const auto y = core.y_values();
    const std::size_t n = x.size();
    if (q <= x[0]) return y[0];
    if (q >= x[n - 1]) return y[n - 1];
    if (std::isnan(q)) return q;
    const std::size_t i = knots_not_above(x, q) - 1;
    const double dx = q - x[i];
    return dx == 0.0 ? y[i] : y[i] + core.slopes()[i] * dx;
}

inline double quadratic_reference(const QuadraticCore& core, double q) {
    const auto x = core.x_values();
    const std::size_t c = knots_not_above(x, q);
    const std::size_t k = c <= 2 ? 0 : std::min(x.size() - 3, c - 2);
    const auto abc = core.coefficients();
    const double t = q - x[k + 1];
    return t == 0.0 ? abc[3 * k] : abc[3 * k] + t * (abc[3 * k + 1] + t * abc[3 * k + 2]);
}

inline double spline_reference(const CubicSplineCore& core, double q) {
    const std::size_t c = knots_not_above(core.x_values(), q);
    const SplineSegment& s = core.segments()[c <= 1 ? 0 : std::min(c - 1, core.x_values().size() - 2)];
    const double t = q - s.x_start;
    return t == 0.0 ? s.a : s.a + t * (s.b + t * (s.c + t * s.d));
}

}  // namespace morvelay::testing
