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

// The parabola a + t (b + t c) at t, except at t = 0, its middle knot, which gives a = y exactly: where
// the data's slopes overflow (y near 1e300 on steps of 1e-9), b and c are not finite and 0 * b is NaN.
inline double parabola(double a, double b, double c, double t) {
    const double value = a + t * (b + t * c);
    return t == 0.0 ? a : value;
}

// Segment k lives in t = xq - x[k + 1], the middle knot of its triplet.
inline double on_parabola(const double* coefficients, const double* x, std::size_t segment, double xq) {
    const double* abc = coefficients + 3 * segment;
    return parabola(abc[0], abc[1], abc[2], xq - x[segment + 1]);
}

// The quadratic core's part in the shared evaluator (piecewise.hpp).  The interval [x[i], x[i + 1]) with
// i >= 1 lies on the triplet centred on x[i], so a query with c knots at or below it takes triplet c - 2.
struct QuadraticRule {
    const double* x;
    const double* coefficients;
    std::size_t n;

    static constexpr std::size_t kCountOffset = 2;
    std::size_t last_segment() const { return n - 3; }
    std::pair<std::size_t, std::size_t> sweep_range(std::span<const double> xs, std::span<double>) const {
        return {0, xs.size()};
    }
    void fill_run(std::size_t s, const double* xs, double* out, std::size_t from, std::size_t to) const {
        const double a = coefficients[3 * s], b = coefficients[3 * s + 1], c = coefficients[3 * s + 2],
                     middle = x[s + 1];
        for (std::size_t k = from; k < to; ++k) out[k] = parabola(a, b, c, xs[k] - middle);
    }
    double value(std::size_t s, double xq) const { return on_parabola(coefficients, x, s, xq); }
};

QuadraticRule rule_of(const std::vector<double>& x, const std::vector<double>& coefficients) {
    return {x.data(), coefficients.data(), x.size()};
}

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
    search_.assign(x);  // the last step that can fail
    x_ = std::move(x);
    coefficients_ = std::move(coefficients);
    fitted_ = true;
    return Status::success();
}

double QuadraticCore::eval_internal(double xq) const { return value_at(rule_of(x_, coefficients_), x_, search_, xq); }

Result<double> QuadraticCore::evaluate_single(double xq) const {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    return eval_internal(xq);
}

Status QuadraticCore::fill_many(std::span<const double> xs, std::span<double> out) const {
    if (Status checked = check_fill_many(fitted_, kNotFittedHint, xs.size(), out.size()); !checked) return checked;
    fill_piecewise(rule_of(x_, coefficients_), x_, search_, xs, out);
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
