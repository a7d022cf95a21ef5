#include "cubic_spline_core.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace morvelay {

namespace {

constexpr const char* kNotFittedHint = "Call fit(x, y) first.";
constexpr std::size_t kLanes = 8;

inline double on_segment(const SplineSegment& s, double xq) {
    const double t = xq - s.x_start;
    return s.a + t * (s.b + t * (s.c + t * s.d));
}

// With c knots at or below xq, the segment c - 1, kept within [0, n - 2].  This is the search rule: an
// exact hit on an interior knot x[i] gives segment i, whose value there is y[i]; below x[0] (and for NaN,
// which is above no knot) segment 0; at or beyond x[n - 1] the last segment.
inline std::size_t segment_of_count(std::size_t count, std::size_t n) {
    return count <= 1 ? 0 : std::min(count - 1, n - 2);
}

// Half the second derivative at every knot, by the not-a-knot conditions (n >= 4), from the widths h and
// slopes s of the n - 1 intervals.  The tridiagonal rows are formed as the Thomas sweep reaches them.
std::vector<double> not_a_knot_curvatures(const std::vector<double>& h, const std::vector<double>& s) {
    const std::size_t n = h.size() + 1, m = n - 2;
    const double p = h[n - 3], q = h[n - 2];
    std::vector<double> c(n, 0.0), cp(m, 0.0), dp(m, 0.0);

    const double diag0 = (h[0] * h[0] + ((h[0] * 3.0) * h[1] + h[1] * (h[1] + h[1]))) / h[1];
    cp[0] = ((h[1] * h[1] - h[0] * h[0]) / h[1]) / diag0;
    dp[0] = ((s[1] - s[0]) * 3.0) / diag0;
    for (std::size_t r = 1; r < m; ++r) {
        const bool last = r == m - 1;
        const double sub = last ? (p * p - q * q) / p : h[r];
        const double diag = last ? (q * q + (p * (p + p) + (p * 3.0) * q)) / p : 2.0 * (h[r] + h[r + 1]);
        const double rhs = (s[r + 1] - s[r]) * 3.0;
        const double w = 1.0 / (diag - sub * cp[r - 1]);
        if (!last) cp[r] = w * h[r + 1];
        dp[r] = w * (rhs - dp[r - 1] * sub);
    }
    c[m] = dp[m - 1];
    for (std::size_t r = m - 1; r-- > 0;) c[r + 1] = dp[r] - c[r + 2] * cp[r];

    c[0] = ((h[0] + h[1]) * c[1] - h[0] * c[2]) / h[1];
    c[n - 1] = ((p + q) * c[n - 2] - q * c[n - 3]) / p;
    return c;
}

}  // namespace

Status CubicSplineCore::fit(std::vector<double> x, std::vector<double> y) {
    if (x.size() != y.size()) return CoreError::length_mismatch(x.size(), y.size(), "x", "y");
    const std::size_t n = x.size();
    if (n < 2) return CoreError::invalid_input("Cubic spline interpolation requires at least 2 data points");
    for (std::size_t i = 1; i < n; ++i) {
        if (x[i - 1] >= x[i]) return CoreError::invalid_input("x values must be strictly increasing");
    }
    // A NaN knot passes the test above (no comparison with it holds) yet has no place in the order every
    // search relies on.
    if (std::any_of(x.begin(), x.end(), [](double v) { return std::isnan(v); })) {
        return CoreError::invalid_input("x values must not be NaN");
    }

    std::vector<double> h(n - 1), s(n - 1);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        h[i] = x[i + 1] - x[i];
        s[i] = (y[i + 1] - y[i]) / h[i];
    }
    std::vector<double> c;
    if (n == 2) {
        c.assign(2, 0.0);
    } else if (n == 3) {
        c.assign(3, (s[1] - s[0]) / (h[0] + h[1]));  // the parabola through the three points
    } else {
        c = not_a_knot_curvatures(h, s);
    }
    std::vector<SplineSegment> segments(n - 1);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        segments[i] = {y[i], s[i] - (h[i] * (2.0 * c[i] + c[i + 1])) / 3.0, c[i], (c[i + 1] - c[i]) / (h[i] * 3.0),
                       x[i]};
    }
    const std::optional<double> step = uniform_step(x);

    inverse_step_ = step ? std::optional<double>(1.0 / *step) : std::nullopt;
    x_ = std::move(x);
    segments_ = std::move(segments);
    fitted_ = true;
    return Status::success();
}

double CubicSplineCore::eval_internal(double xq) const {
    const std::size_t n = x_.size();
    std::size_t segment;
    if (xq <= x_[0]) {
        segment = 0;
    } else if (xq >= x_[n - 1]) {
        segment = n - 2;
    } else if (inverse_step_) {
        segment = std::min(saturating_index(std::floor((xq - x_[0]) * *inverse_step_)), n - 2);
    } else {
        segment = segment_of_count(count_not_above(x_, xq), n);
    }
    return on_segment(segments_[segment], xq);
}

Result<double> CubicSplineCore::evaluate_single(double xq) const {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    return eval_internal(xq);
}

Result<std::size_t> CubicSplineCore::num_segments() const {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    return segments_.size();
}

Status CubicSplineCore::fill_many(std::span<const double> xs, std::span<double> out) const {
    if (Status checked = check_fill_many(fitted_, kNotFittedHint, xs.size(), out.size()); !checked) return checked;
    const std::size_t n = x_.size(), m = xs.size();

    if (is_non_decreasing(xs)) {
        // Sorted queries come in runs that share a segment: find where each run ends, then evaluate the
        // run with the segment held in registers (a loop the compiler vectorises).  Segment i serves the
        // queries up to and including x[i + 1], so a query on an interior knot takes the segment ending
        // there.
        std::size_t segment = 0;
        for (std::size_t j = 0; j < m;) {
            while (segment < n - 2 && xs[j] > x_[segment + 1]) ++segment;
            const std::size_t end =
                segment == n - 2 ? m
                                 : end_of_run(xs, j + 1, [bound = x_[segment + 1]](double q) { return q <= bound; });
            const SplineSegment s = segments_[segment];
            for (std::size_t k = j; k < end; ++k) {
                const double t = xs[k] - s.x_start;
                out[k] = s.a + t * (s.b + t * (s.c + t * s.d));
            }
            j = end;
        }
        return Status::success();
    }

    if (inverse_step_) {
        for (std::size_t k = 0; k < m; ++k) out[k] = eval_internal(xs[k]);
        return Status::success();
    }

    // The search rule for every query, eight searches at a time; its count already yields the end
    // segments for queries outside the data, so no query needs a separate range test.
    std::size_t k = 0;
    for (; k + kLanes <= m; k += kLanes) {
        std::size_t counts[kLanes];
        count_not_above<kLanes>(x_, xs.data() + k, counts);
        for (std::size_t l = 0; l < kLanes; ++l)
            out[k + l] = on_segment(segments_[segment_of_count(counts[l], n)], xs[k + l]);
    }
    for (; k < m; ++k) out[k] = eval_internal(xs[k]);
    return Status::success();
}

}  // namespace morvelay
