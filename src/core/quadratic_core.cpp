#include "quadratic_core.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "search.hpp"

namespace morvelay {

namespace {

constexpr std::size_t kLanes = 8;

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

}  // namespace

Status QuadraticCore::fit(std::vector<double> x, std::vector<double> y) {
    if (x.size() != y.size()) return CoreError::length_mismatch(x.size(), y.size(), "x", "y");
    const std::size_t n = x.size();
    if (n < 3) return CoreError::invalid_input("Quadratic interpolation requires at least 3 data points");
    for (std::size_t i = 1; i < n; ++i) {
        if (x[i - 1] >= x[i]) return CoreError::invalid_input("x values must be strictly increasing");
    }
    // A NaN knot passes the test above (no comparison with it holds) yet has no place in the order every
    // search relies on.
    if (contains_nan(x)) {
        return CoreError::invalid_input("x values must not be NaN");
    }

    std::vector<double> coefficients(3 * (n - 2));
    for (std::size_t k = 0; k + 2 < n; ++k) {
        const Parabola abc = through(x[k], x[k + 1], x[k + 2], y[k], y[k + 1], y[k + 2]);
        coefficients[3 * k] = abc.a;
        coefficients[3 * k + 1] = abc.b;
        coefficients[3 * k + 2] = abc.c;
    }
    inverse_step_ = inverse_uniform_step(x);
    x_ = std::move(x);
    coefficients_ = std::move(coefficients);
    fitted_ = true;
    return Status::success();
}

double QuadraticCore::eval_internal(double xq) const {
    const std::size_t n = x_.size();
    const std::size_t segment =
        inverse_step_ ? uniform_segment(x_[0], *inverse_step_, n, xq) : segment_of_count(count_not_above(x_, xq), n);
    return on_parabola(coefficients_.data(), x_.data(), segment, xq);
}

Result<double> QuadraticCore::evaluate_single(double xq) const {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    return eval_internal(xq);
}

Status QuadraticCore::fill_many(std::span<const double> xs, std::span<double> out) const {
    if (Status checked = check_fill_many(fitted_, kNotFittedHint, xs.size(), out.size()); !checked) return checked;
    const std::size_t n = x_.size(), m = xs.size();
    const double* coefficients = coefficients_.data();
    const double* x = x_.data();

    if (is_non_decreasing(xs)) {
        // Sorted queries come in runs that share a parabola: find where each run ends, then evaluate the
        // run with its three coefficients held in registers (a loop the compiler vectorises).  The triplet
        // follows the count rule; triplet s serves queries below x[s + 2].
        std::size_t segment = 0;
        for (std::size_t j = 0; j < m;) {
            segment = advance_cursor(segment, n - 3, [&](std::size_t i) { return xs[j] >= x_[i + 2]; });
            const std::size_t end =
                segment == n - 3 ? m : end_of_run(xs, j + 1, [bound = x_[segment + 2]](double q) { return q < bound; });
            const double a = coefficients[3 * segment], b = coefficients[3 * segment + 1],
                         c = coefficients[3 * segment + 2], middle = x[segment + 1];
            for (std::size_t k = j; k < end; ++k) {
                const double t = xs[k] - middle;
                out[k] = a + t * (b + t * c);
            }
            j = end;
        }
        return Status::success();
    }

    if (inverse_step_) {
        const double x0 = x[0], inverse_step = *inverse_step_;
        for (std::size_t k = 0; k < m; ++k) {
            out[k] = on_parabola(coefficients, x, uniform_segment(x0, inverse_step, n, xs[k]), xs[k]);
        }
        return Status::success();
    }

    std::size_t k = 0;
    for (; k + kLanes <= m; k += kLanes) {
        std::size_t counts[kLanes];
        count_not_above<kLanes>(x_, xs.data() + k, counts);
        for (std::size_t l = 0; l < kLanes; ++l) {
            out[k + l] = on_parabola(coefficients, x, segment_of_count(counts[l], n), xs[k + l]);
        }
    }
    for (; k < m; ++k) out[k] = eval_internal(xs[k]);
    return Status::success();
}

}  // namespace morvelay
