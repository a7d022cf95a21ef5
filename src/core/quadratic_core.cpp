#include "quadratic_core.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "piecewise.hpp"
#include "search.hpp"

namespace morvelay {

namespace {

constexpr const char* kTooFewPoints = "Quadratic interpolation requires at least 3 data points";

struct Parabola {
    double a, b, c;
};

// The parabola through three points as a + b*t + c*t^2 in t = x - x1, from the divided differences of
// the triplet.  Every difference is between neighbouring values, so nothing is lost to the size of x
// against the spacing, and the test for a degenerate triplet is scale-free: any three strictly increasing
// finite x define a parabola.  Only a zero or non-finite spacing cannot, nor finite data whose curvature
// overflows; the triplet is then the line through its first two points.
Parabola through(double x0, double x1, double x2, double y0, double y1, double y2) {
    const double h0 = x1 - x0, h1 = x2 - x1, h = x2 - x0;
    const double d0 = (y1 - y0) / h0;
    const Parabola line{y1, d0, 0.0};
    if (!(h0 > 0.0 && h1 > 0.0 && std::isfinite(h))) return line;
    const double d1 = (y2 - y1) / h1;
    const double c = (d1 - d0) / h;
    if (!std::isfinite(c) && std::isfinite(d0) && std::isfinite(d1)) return line;
    // The slope at x1: the two chords' slopes weighted by the opposite spacings.
    const double b = (d0 * h1 + d1 * h0) / h;
    return {y1, b, c};
}

// Segment k lives in t = xq - x[k + 1], the middle knot of its triplet.
inline double on_parabola(const double* coefficients, const double* x, std::size_t segment, double xq) {
    const double* abc = coefficients + 3 * segment;
    const double t = xq - x[segment + 1];
    return abc[0] + t * (abc[1] + t * abc[2]);
}

// The count rule: with c knots at or below xq, the triplet c - 2, kept within [0, n - 3].
inline std::size_t segment_of_count(std::size_t count, std::size_t n) {
    return count <= 2 ? 0 : std::min(n - 3, count - 2);
}

// The uniform rule: f = floor((xq - x0) / h) gives the triplet f - 1 (f <= 0 and NaN give 0).
inline std::size_t uniform_segment(double x0, double inverse_step, std::size_t n, double xq) {
    const std::size_t f = floor_index((xq - x0) * inverse_step);
    return f == 0 ? 0 : std::min(n - 3, f - 1);
}

// The quadratic core's part in the shared batch evaluator (piecewise.hpp).  The sweep follows the count
// rule: triplet s serves the queries below x[s + 2].
struct QuadraticRule {
    const double* x;
    const double* coefficients;
    std::size_t n;
    double inverse_step;  // used on evenly spaced grids only

    static constexpr std::size_t kBoundOffset = 2;
    static bool beyond(double q, double bound) { return q >= bound; }
    std::size_t last_segment() const { return n - 3; }
    std::pair<std::size_t, std::size_t> sweep_range(std::span<const double> xs, std::span<double>) const {
        return {0, xs.size()};
    }
    void run(std::size_t s, const double* xs, double* out, std::size_t from, std::size_t to) const {
        const double a = coefficients[3 * s], b = coefficients[3 * s + 1], c = coefficients[3 * s + 2],
                     middle = x[s + 1];
        for (std::size_t k = from; k < to; ++k) {
            const double t = xs[k] - middle;
            out[k] = a + t * (b + t * c);
        }
    }
    std::size_t segment_of_count(std::size_t count) const { return morvelay::segment_of_count(count, n); }
    std::size_t uniform_segment(double xq) const { return morvelay::uniform_segment(x[0], inverse_step, n, xq); }
    double value(std::size_t s, double xq) const { return on_parabola(coefficients, x, s, xq); }
};

}  // namespace

Status QuadraticCore::fit(std::vector<double> x, std::vector<double> y) {
    if (x.size() != y.size()) return CoreError::length_mismatch(x.size(), y.size(), "x", "y");
    const std::size_t n = x.size();
    if (n < 3) return CoreError::invalid_input(kTooFewPoints);
    if (Status increasing = check_strictly_increasing(x); !increasing) return increasing;

    std::vector<double> coefficients(3 * (n - 2));
    for (std::size_t k = 0; k + 2 < n; ++k) {
        const Parabola abc = through(x[k], x[k + 1], x[k + 2], y[k], y[k + 1], y[k + 2]);
        coefficients[3 * k] = abc.a;
        coefficients[3 * k + 1] = abc.b;
        coefficients[3 * k + 2] = abc.c;
    }
    index_knots(x, inverse_step_, guide_);  // the last step that can fail
    x_ = std::move(x);
    coefficients_ = std::move(coefficients);
    fitted_ = true;
    return Status::success();
}

double QuadraticCore::eval_internal(double xq) const {
    const std::size_t n = x_.size();
    const std::size_t segment = inverse_step_ ? uniform_segment(x_[0], *inverse_step_, n, xq)
                                              : segment_of_count(guide_.count_not_above(x_, xq), n);
    return on_parabola(coefficients_.data(), x_.data(), segment, xq);
}

Result<double> QuadraticCore::evaluate_single(double xq) const {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    return eval_internal(xq);
}

Status QuadraticCore::fill_many(std::span<const double> xs, std::span<double> out) const {
    if (Status checked = check_fill_many(fitted_, kNotFittedHint, xs.size(), out.size()); !checked) return checked;
    fill_piecewise(QuadraticRule{x_.data(), coefficients_.data(), x_.size(), inverse_step_.value_or(0.0)}, x_,
                   inverse_step_.has_value(), guide_, xs, out);
    return Status::success();
}

// ---- saved state: knots and the parabolas of the triplets (y itself is not kept) ------------------------

namespace {

// The newest format version of this core's saved state.
constexpr std::uint64_t kStateVersion = 1;

}  // namespace

CoreState QuadraticCore::state() const { return {kStateVersion, {{"x", x_}, {"coefficients", coefficients_}}}; }

Result<QuadraticCore> QuadraticCore::restore(const CoreState& state) {
    using enum saved::FieldKind;
    if (Status s = saved::expect(state, kStateVersion, {{"x", Array}, {"coefficients", Array}}); !s) return s;
    QuadraticCore core;
    const auto& x = saved::array(state, "x");
    const std::size_t n = x.size();
    if (n == 0) {
        if (Status s = saved::holds(state, "coefficients", 0); !s) return s;
        return core;
    }
    if (n < 3) return CoreError::invalid_input(kTooFewPoints);
    if (Status s = saved::holds(state, "coefficients", 3 * (n - 2)); !s) return s;
    if (Status s = check_strictly_increasing(x); !s) return s;
    core.x_ = x;
    core.rebuild_search();  // the uniform step and the guide table are derived from x, never stored
    core.coefficients_ = saved::array(state, "coefficients");
    core.fitted_ = true;
    return core;
}

}  // namespace morvelay
