#include "cubic_spline_core.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "piecewise.hpp"
#include "search.hpp"

namespace morvelay {

namespace {

constexpr const char* kTooFewPoints = "Cubic spline interpolation requires at least 2 data points";

// The cubic at xq, except on the segment's left knot, which gives a = y exactly: where the data's slopes
// overflow (y near 1e300 on steps of 1e-9), b, c and d are not finite and 0 * b is NaN.
inline double on_segment(const SplineSegment& s, double xq) {
    const double t = xq - s.x_start;
    const double value = s.a + t * (s.b + t * (s.c + t * s.d));
    return t == 0.0 ? s.a : value;
}

// Interval i's width and slope, in the one form every use computes them.
struct Interval {
    double h, s;
};
inline Interval interval(const std::vector<double>& x, const std::vector<double>& y, std::size_t i) {
    const double h = x[i + 1] - x[i];
    return {h, (y[i + 1] - y[i]) / h};
}

// Segment i from its end curvatures (half the second derivative at x[i] and x[i + 1]).
inline SplineSegment segment_from(const std::vector<double>& x, const std::vector<double>& y, std::size_t i, double c,
                                  double c_next) {
    const Interval at = interval(x, y, i);
    return {y[i], at.s - (at.h * (2.0 * c + c_next)) / 3.0, c, (c_next - c) / (at.h * 3.0), x[i]};
}

// All segments for n >= 4: the not-a-knot system of n - 2 rows by the Thomas algorithm.  The segment
// records double as work space (row r's cp and dp in segments[r + 1].b and .d), and each segment is
// finished as soon as the back substitution has both its curvatures, inside the same loop: a fit then
// allocates nothing beyond its result and touches it twice, which at a million points matters more than
// the arithmetic.
void not_a_knot_segments(const std::vector<double>& x, const std::vector<double>& y,
                         LargeVector<SplineSegment>& segments) {
    const std::size_t n = x.size(), m = n - 2;
    const Interval first = interval(x, y, 0);
    Interval next = interval(x, y, 1);
    const double h0 = first.h, h1 = next.h;

    const double diag0 = (h0 * h0 + ((h0 * 3.0) * h1 + h1 * (h1 + h1))) / h1;
    double cp = ((h1 * h1 - h0 * h0) / h1) / diag0;
    double dp = ((next.s - first.s) * 3.0) / diag0;
    segments[1].b = cp;
    segments[1].d = dp;
    for (std::size_t r = 1; r + 1 < m; ++r) {
        const Interval here = next;
        next = interval(x, y, r + 1);
        const double w = 1.0 / (2.0 * (here.h + next.h) - here.h * cp);
        cp = w * next.h;
        dp = w * ((next.s - here.s) * 3.0 - dp * here.h);
        segments[r + 1].b = cp;
        segments[r + 1].d = dp;
    }
    const double p = x[n - 2] - x[n - 3], q = x[n - 1] - x[n - 2];
    const Interval last = interval(x, y, n - 2);
    const double sub = (p * p - q * q) / p;
    const double diag = (q * q + (p * (p + p) + (p * 3.0) * q)) / p;
    const double w = 1.0 / (diag - sub * cp);

    // Back substitution: c_{r+1} = dp_r - c_{r+2} cp_r, walking down; c1 and c2 trail as the loop's state.
    double c1 = w * ((last.s - next.s) * 3.0 - dp * sub);  // c_{n-2}
    double c2 = 0.0;
    for (std::size_t r = m - 1; r-- > 0;) {
        const double c = segments[r + 1].d - c1 * segments[r + 1].b;
        if (r + 2 == m) c2 = ((p + q) * c1 - q * c) / p;  // the not-a-knot end value at x[n - 1]
        segments[r + 2] = segment_from(x, y, r + 2, c1, c2);
        c2 = c1;
        c1 = c;
    }
    const double c0 = ((h0 + h1) * c1 - h0 * c2) / h1;
    segments[1] = segment_from(x, y, 1, c1, c2);
    segments[0] = segment_from(x, y, 0, c0, c1);
}

// The spline's part in the shared evaluator (piecewise.hpp).  Segment i serves [x[i], x[i + 1]): a query
// on an interior knot takes the segment it starts, whose value there is that knot's y.  Below x[0] the
// first cubic extrapolates, at or beyond x[n - 1] the last.
struct SplineRule {
    const SplineSegment* segments;
    std::size_t n;

    static constexpr std::size_t kCountOffset = 1;
    std::size_t last_segment() const { return n - 2; }
    std::pair<std::size_t, std::size_t> sweep_range(std::span<const double> xs, std::span<double>) const {
        return {0, xs.size()};
    }
    void fill_run(std::size_t i, const double* xs, double* out, std::size_t from, std::size_t to) const {
        const SplineSegment s = segments[i];
        for (std::size_t k = from; k < to; ++k) out[k] = on_segment(s, xs[k]);
    }
    double value(std::size_t i, double xq) const { return on_segment(segments[i], xq); }
};

}  // namespace

Status CubicSplineCore::fit(std::vector<double> x, std::vector<double> y) {
    if (x.size() != y.size()) return CoreError::length_mismatch(x.size(), y.size(), "x", "y");
    const std::size_t n = x.size();
    if (n < 2) return CoreError::invalid_input(kTooFewPoints);
    if (Status increasing = check_strictly_increasing(x); !increasing) return increasing;

    // A fresh guide, built before the segments may take over the old ones' storage.
    KnotSearch search;
    search.assign(x);
    // A refit reuses the old segment storage when it suits: nothing can fail past the checks
    // above, and for a million points the fresh pages of a new array cost more than the recurrence.
    LargeVector<SplineSegment> segments;
    if (reusable(segments_, n - 1)) segments = std::move(segments_);
    segments.resize(n - 1);
    if (n >= 4) {
        not_a_knot_segments(x, y, segments);
    } else {
        // Two points: the line; three: the parabola through them, with one curvature throughout.
        double c = 0.0;
        if (n == 3) {
            const Interval left = interval(x, y, 0), right = interval(x, y, 1);
            c = (right.s - left.s) / (left.h + right.h);
        }
        for (std::size_t i = 0; i + 1 < n; ++i) segments[i] = segment_from(x, y, i, c, c);
    }
    search_ = std::move(search);
    x_ = std::move(x);
    segments_ = std::move(segments);
    fitted_ = true;
    return Status::success();
}

double CubicSplineCore::eval_internal(double xq) const {
    return value_at(SplineRule{segments_.data(), x_.size()}, x_, search_, xq);
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
    fill_piecewise(SplineRule{segments_.data(), x_.size()}, x_, search_, xs, out);
    return Status::success();
}

// ---- saved state: knots and a, b, c, d of each segment (the last y is not kept) -------------------------

namespace {

// The newest format version of this core's saved state.
constexpr std::uint64_t kStateVersion = 1;

}  // namespace

CoreState CubicSplineCore::state() const {
    std::vector<double> segments(4 * segments_.size());
    for (std::size_t i = 0; i < segments_.size(); ++i) {
        const SplineSegment& s = segments_[i];
        segments[4 * i] = s.a;
        segments[4 * i + 1] = s.b;
        segments[4 * i + 2] = s.c;
        segments[4 * i + 3] = s.d;
    }
    return {kStateVersion, {{"x", x_}, {"segments", std::move(segments)}}};
}

Result<CubicSplineCore> CubicSplineCore::restore(const CoreState& state) {
    using enum saved::FieldKind;
    if (Status s = saved::expect(state, kStateVersion, {{"x", Array}, {"segments", Array}}); !s) return s;
    CubicSplineCore core;
    const auto& x = saved::array(state, "x");
    const std::size_t n = x.size();
    if (n == 0) {
        if (Status s = saved::holds(state, "segments", 0); !s) return s;
        return core;
    }
    if (n < 2) return CoreError::invalid_input(kTooFewPoints);
    if (Status s = saved::holds(state, "segments", 4 * (n - 1)); !s) return s;
    if (Status s = check_strictly_increasing(x); !s) return s;
    const auto& flat = saved::array(state, "segments");
    core.segments_.resize(n - 1);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        core.segments_[i] = {flat[4 * i], flat[4 * i + 1], flat[4 * i + 2], flat[4 * i + 3], x[i]};
    }
    core.x_ = x;
    core.rebuild_search();
    core.fitted_ = true;
    return core;
}

}  // namespace morvelay
