#include "least_squares_core.hpp"

#include <algorithm>
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

// The least-squares problem min |V c - y| for the Vandermonde matrix V of z, solved through a QR
// factorisation of V: the normal equations V^T V c = V^T y would square V's condition number, which
// grows quickly with the degree even on [-1, 1].
//
// The rows of V are streamed in blocks through Householder reflections that fold each block into the
// triangle R (and y into Q^T y), so no N-row matrix is ever held: for column j the reflection acts on
// R's row j and the block's column j only, everything between being zero already.  The result is the
// triangle a Householder QR of the whole of V would give, up to the signs of its rows.
class StreamingQr {
public:
    explicit StreamingQr(std::size_t columns)
        : m_(columns),
          r_(columns * columns, 0.0),
          qty_(columns, 0.0),
          squares_(columns, 0.0),
          block_(columns * kRows) {}

    // Folds in the points [from, from + rows) of z = (x - centre) * scale.
    void add_block(std::span<const double> x, std::span<const double> y, Mapping map, std::size_t from,
                   std::size_t rows) {
        double* const a = block_.data();
        for (std::size_t i = 0; i < rows; ++i) {
            const double z = (x[from + i] - map.centre) * map.scale;
            double p = 1.0;
            for (std::size_t k = 0; k < m_; ++k) {
                a[k * kRows + i] = p;
                squares_[k] = squares_[k] + p * p;
                p = z * p;
            }
            rhs_[i] = y[from + i];
        }
        for (std::size_t j = 0; j < m_; ++j) {
            double* const v = a + j * kRows;
            const double sigma = dot(v, v, rows);
            if (sigma == 0.0) continue;  // the block adds nothing to this column: the reflection is the identity
            const double alpha = r_[j * m_ + j];
            const double norm = std::sqrt(alpha * alpha + sigma);
            const double beta = alpha > 0.0 ? -norm : norm;  // away from alpha, so alpha - beta never cancels
            const double head = alpha - beta;                // the reflector is (head, v) scaled to head = 1
            const double tau = (beta - alpha) / beta;
            const double inverse_head = 1.0 / head;
            for (std::size_t i = 0; i < rows; ++i) v[i] = v[i] * inverse_head;
            for (std::size_t c = j + 1; c < m_; ++c) {
                double* const column = a + c * kRows;
                const double w = tau * (r_[j * m_ + c] + dot(v, column, rows));
                r_[j * m_ + c] = r_[j * m_ + c] - w;
                for (std::size_t i = 0; i < rows; ++i) column[i] = column[i] - w * v[i];
            }
            const double w = tau * (qty_[j] + dot(v, rhs_, rows));
            qty_[j] = qty_[j] - w;
            for (std::size_t i = 0; i < rows; ++i) rhs_[i] = rhs_[i] - w * v[i];
            r_[j * m_ + j] = beta;
        }
    }

    // Back substitution in R c = Q^T y.  A column is dependent on the earlier ones when what is left of
    // it, |R[k][k]|, is below kRelativePivot of its norm in V: so many repeats of too few distinct x fail
    // as a handful do, at the first column their values cannot fix.  A NaN passes and propagates.
    Result<std::vector<double>> solve() const {
        for (std::size_t k = 0; k < m_; ++k) {
            if (std::fabs(r_[k * m_ + k]) <= kRelativePivot * std::sqrt(squares_[k])) {
                return CoreError::invalid_input("Singular matrix near pivot " + format_count(k));
            }
        }
        std::vector<double> c(m_, 0.0);
        for (std::size_t i = m_; i-- > 0;) {
            double s = qty_[i];
            for (std::size_t l = i + 1; l < m_; ++l) s = s - r_[i * m_ + l] * c[l];
            c[i] = s / r_[i * m_ + i];
        }
        return c;
    }

    static constexpr std::size_t kRows = 256;

private:
    // Four partial sums, so the additions do not wait on each other; the grouping is fixed, so a fit gives
    // the same bits on every machine.
    static double dot(const double* a, const double* b, std::size_t n) noexcept {
        double s[4] = {0.0, 0.0, 0.0, 0.0};
        std::size_t i = 0;
        for (; i + 4 <= n; i += 4) {
            for (std::size_t l = 0; l < 4; ++l) s[l] = s[l] + a[i + l] * b[i + l];
        }
        for (; i < n; ++i) s[0] = s[0] + a[i] * b[i];
        return (s[0] + s[1]) + (s[2] + s[3]);
    }

    std::size_t m_;
    std::vector<double> r_;        // row-major m x m, upper triangle
    std::vector<double> qty_;      // the first m entries of Q^T y
    std::vector<double> squares_;  // sum of squares of each column of V
    std::vector<double> block_;    // kRows rows of V, column by column
    double rhs_[kRows] = {};
};

Result<std::vector<double>> solve_by_qr(std::span<const double> x, std::span<const double> y, Mapping map,
                                        std::size_t columns) {
    StreamingQr qr(columns);
    for (std::size_t from = 0; from < x.size(); from += StreamingQr::kRows) {
        qr.add_block(x, y, map, from, std::min(StreamingQr::kRows, x.size() - from));
    }
    return qr.solve();
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

    const Mapping map = mapping_onto_unit(x);
    std::vector<double> scaled;
    if (degree_ == 0) {
        // The constant that minimises the squares is the mean: summed in index order, as R² sums it.
        double sum = 0.0;
        for (double v : y) sum = sum + v;
        scaled.assign(1, sum / static_cast<double>(y.size()));
    } else {
        Result<std::vector<double>> solution = solve_by_qr(x, y, map, degree_ + 1);
        if (!solution) return CoreError::invalid_input(std::move(solution).error());
        scaled = std::move(solution).value();
    }
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
