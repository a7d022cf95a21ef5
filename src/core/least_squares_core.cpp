#include "least_squares_core.hpp"

#include <cmath>
#include <limits>
#include <utility>

#include "dense_solver.hpp"
#include "number_text.hpp"

namespace morvelay {

namespace {

// degree + 1 as text, also for the one degree where that count does not fit in a size_t.
std::string point_count_needed(std::size_t degree) {
    if (degree == std::numeric_limits<std::size_t>::max()) {
        static_assert(sizeof(std::size_t) == 8, "the spelled-out count below is 2^64");
        return "18446744073709551616";
    }
    return format_count(degree + 1);
}

// Queries evaluated side by side: each lane runs exactly the single-point sequence, so the compiler may
// use vector registers without changing a bit of any result.
template <std::size_t Lanes>
void horner_block(std::span<const double> c, double centre, double scale, const double* xs, double* out) noexcept {
    double z[Lanes], value[Lanes] = {};
    for (std::size_t l = 0; l < Lanes; ++l) z[l] = (xs[l] - centre) * scale;
    for (std::size_t k = c.size(); k-- > 0;) {
        const double coefficient = c[k];
        for (std::size_t l = 0; l < Lanes; ++l) value[l] = z[l] * value[l] + coefficient;
    }
    for (std::size_t l = 0; l < Lanes; ++l) out[l] = value[l];
}

struct Mapping {
    double centre, scale;
};

// z = (x - centre) * scale with [min x, max x] onto [-1, 1].  Halves are taken before adding or
// subtracting, so no finite data overflows.  One distinct x (or data without a finite spread) keeps
// scale 1 about that value: z is then 0 at every point, and a degree of 1 or more fails as singular at
// pivot 1, as the data cannot fix a slope.
Mapping mapping_onto_unit(std::span<const double> x) noexcept {
    double lo = x[0], hi = x[0];
    for (double v : x) {
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
    }
    const double centre = 0.5 * lo + 0.5 * hi;
    const double half_width = 0.5 * hi - 0.5 * lo;
    const double scale = 1.0 / half_width;
    if (half_width > 0.0 && std::isfinite(centre) && std::isfinite(scale)) return {centre, scale};
    return {std::isfinite(lo) ? lo : 0.0, 1.0};
}

// The powers of z re-expanded in powers of x, z = scale*x + shift: Horner's scheme on polynomials, each
// step multiplying the partial result by (scale*x + shift) and adding the next coefficient.
std::vector<double> in_powers_of_x(std::span<const double> scaled, Mapping map) {
    const double shift = -(map.centre * map.scale);
    const std::size_t d = scaled.size() - 1;
    std::vector<double> p(scaled.size(), 0.0);
    p[0] = scaled[d];
    for (std::size_t k = d; k-- > 0;) {
        // Multiply the degree (d - 1 - k) partial result by (scale*x + shift), top power first.
        const std::size_t top = d - k;
        for (std::size_t j = top; j > 0; --j) p[j] = map.scale * p[j - 1] + shift * p[j];
        p[0] = shift * p[0] + scaled[k];
    }
    return p;
}

}  // namespace

double least_squares_polynomial(std::span<const double> scaled_coefficients, double centre, double scale,
                                double x) noexcept {
    const double z = (x - centre) * scale;
    double value = 0.0;
    for (std::size_t k = scaled_coefficients.size(); k-- > 0;) value = z * value + scaled_coefficients[k];
    return value;
}

Status LeastSquaresCore::fit(std::vector<double> x, std::vector<double> y) {
    if (x.size() != y.size()) return CoreError::length_mismatch(x.size(), y.size(), "x", "y");
    if (x.empty()) return CoreError::empty_input("x and y");
    // Also catches degree = SIZE_MAX, where degree + 1 wraps to 0: no array is sized before this test,
    // and passing it bounds the degree by the length of an existing array.
    if (x.size() <= degree_) {
        return CoreError::invalid_input("Need at least " + point_count_needed(degree_) + " points for degree " +
                                        format_count(degree_) + " polynomial");
    }

    const std::size_t d = degree_;
    const Mapping map = mapping_onto_unit(x);
    std::vector<double> s(2 * d + 1, 0.0);  // s[k] = sum of z^k
    std::vector<double> t(d + 1, 0.0);      // t[k] = sum of y * z^k
    for (std::size_t j = 0; j < x.size(); ++j) {
        const double xj = (x[j] - map.centre) * map.scale, yj = y[j];
        double p = 1.0;
        for (std::size_t k = 0; k <= d; ++k) {
            s[k] = p + s[k];
            t[k] = yj * p + t[k];
            p = xj * p;
        }
        for (std::size_t k = d + 1; k <= 2 * d; ++k) {
            s[k] = p + s[k];
            p = xj * p;
        }
    }

    std::vector<std::vector<double>> normal(d + 1);
    for (std::size_t r = 0; r <= d; ++r)
        normal[r].assign(s.begin() + static_cast<std::ptrdiff_t>(r),
                         s.begin() + static_cast<std::ptrdiff_t>(r + d + 1));
    Result<std::vector<double>> solution = solve_linear_system_gaussian(std::move(normal), std::move(t));
    if (!solution) return solution;

    std::vector<double> scaled = std::move(solution).value();
    std::vector<double> coefficients = in_powers_of_x(scaled, map);
    x_values_ = std::move(x);
    y_values_ = std::move(y);
    scaled_coefficients_ = std::move(scaled);
    coefficients_ = std::move(coefficients);
    centre_ = map.centre;
    scale_ = map.scale;
    fitted_ = true;
    return Status::success();
}

Result<double> LeastSquaresCore::evaluate_single(double x) const {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    return least_squares_polynomial(scaled_coefficients_, centre_, scale_, x);
}

Status LeastSquaresCore::fill_many(std::span<const double> xs, std::span<double> out) const {
    if (Status checked = check_fill_many(fitted_, kNotFittedHint, xs.size(), out.size()); !checked) return checked;
    constexpr std::size_t kLanes = 16;
    const std::size_t m = xs.size();
    std::size_t i = 0;
    for (; i + kLanes <= m; i += kLanes) {
        horner_block<kLanes>(scaled_coefficients_, centre_, scale_, xs.data() + i, out.data() + i);
    }
    for (; i < m; ++i) out[i] = least_squares_polynomial(scaled_coefficients_, centre_, scale_, xs[i]);
    return Status::success();
}

Result<double> LeastSquaresCore::r_squared() const {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    const std::size_t n = y_values_.size();
    double sum = 0.0;
    for (double v : y_values_) sum = sum + v;
    const double mean = sum / static_cast<double>(n);
    double ss_res = 0.0, ss_tot = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double residual =
            y_values_[i] - least_squares_polynomial(scaled_coefficients_, centre_, scale_, x_values_[i]);
        const double spread = y_values_[i] - mean;
        ss_res = ss_res + residual * residual;
        ss_tot = ss_tot + spread * spread;
    }
    // Constant data: every polynomial explains all of no variation.
    if (ss_tot == 0.0) return 1.0;
    return 1.0 - ss_res / ss_tot;
}

// ---- saved state: the degree and the data; refitted -----------------------------------------------------

namespace {

// The newest format version of this core's saved state.
constexpr std::uint64_t kStateVersion = 1;

}  // namespace

CoreState LeastSquaresCore::state() const {
    return {kStateVersion, {{"degree", std::uint64_t{degree_}}, {"x", x_values_}, {"y", y_values_}}};
}

Result<LeastSquaresCore> LeastSquaresCore::restore(const CoreState& state) {
    using enum saved::FieldKind;
    if (Status s = saved::expect(state, kStateVersion, {{"degree", Count}, {"x", Array}, {"y", Array}}); !s) return s;
    if (Status s = saved::same_length(state, "x", "y"); !s) return s;
    LeastSquaresCore core(saved::count(state, "degree"));
    if (saved::array(state, "x").empty()) return core;
    if (Status s = core.fit(saved::array(state, "x"), saved::array(state, "y")); !s) return s;
    return core;
}

}  // namespace morvelay
