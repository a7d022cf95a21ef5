#include "chebyshev_core.hpp"

#include <cmath>
#include <cstring>
#include <new>
#include <span>
#include <type_traits>
#include <utility>

#include "number_text.hpp"

namespace morvelay {

namespace {

constexpr double kPi = 3.141592653589793;

// The recurrence for a block of points; b1/b2 live in arrays so the lanes can share vector registers.
template <std::size_t Lanes>
void clenshaw_block(std::span<const double> c, const double* t, double* out) noexcept {
    double two_t[Lanes], b1[Lanes] = {}, b2[Lanes] = {};
    for (std::size_t l = 0; l < Lanes; ++l) two_t[l] = 2.0 * t[l];
    for (std::size_t k = c.size(); k-- > 0;) {
        const double ck = c[k];
        for (std::size_t l = 0; l < Lanes; ++l) {
            const double b = (two_t[l] * b1[l] + ck) - b2[l];
            b2[l] = b1[l];
            b1[l] = b;
        }
    }
    for (std::size_t l = 0; l < Lanes; ++l) out[l] = b1[l] - t[l] * b2[l];
}

// cos(m pi / (2n)) for m = 0 ... 4n - 1.  Each value below pi/4 is a cosine of its own angle and each
// one above a sine of the complement (both arguments small, so rounded to their own ulp), and the other
// quadrants are exact reflections, so cos(pi - a) = -cos(a) holds bit for bit.
std::vector<double> quarter_circle_cosines(std::size_t n) {
    const double twice_n = static_cast<double>(2 * n);
    std::vector<double> c(4 * n);
    for (std::size_t m = 0; m <= n; ++m) {
        c[m] = 2 * m <= n ? std::cos((static_cast<double>(m) * kPi) / twice_n)
                          : std::sin((static_cast<double>(n - m) * kPi) / twice_n);
    }
    for (std::size_t m = n + 1; m <= 2 * n; ++m) c[m] = -c[2 * n - m];
    for (std::size_t m = 2 * n + 1; m < 4 * n; ++m) c[m] = c[4 * n - m];
    return c;
}

}  // namespace

double chebyshev_evaluate_clenshaw(std::span<const double> c, double t) noexcept {
    double result;
    clenshaw_block<1>(c, &t, &result);
    return result;
}

void chebyshev_evaluate_clenshaw32(std::span<const double> c, const double* t, double* out) noexcept {
    clenshaw_block<32>(c, t, out);
}

double chebyshev_evaluate_direct(std::span<const double> c, double t) noexcept {
    const double two_t = 2.0 * t;
    double sum = 0.0, previous = 0.0, current = 1.0;
    for (std::size_t k = 0; k < c.size(); ++k) {
        if (k == 1) {
            previous = 1.0;
            current = t;
        } else if (k >= 2) {
            const double next = two_t * current - previous;
            previous = current;
            current = next;
        }
        sum = sum + c[k] * current;
    }
    return sum;
}

Result<ChebyshevCore> ChebyshevCore::create(std::size_t n_points, double x_min, double x_max, bool use_clenshaw) {
    if (n_points == 0) return CoreError::invalid_input("n_points must be positive");
    if (x_min >= x_max) return CoreError::invalid_input("x_min must be less than x_max");
    // A count no allocation can satisfy is reported as exhausted memory, not as a length error.
    if (n_points > std::vector<double>().max_size()) throw std::bad_alloc();

    ChebyshevCore core;
    core.nodes_.resize(n_points);
    const double mid = (x_min + x_max) * 0.5;
    const double half = (x_max - x_min) * 0.5;
    const double twice_n = static_cast<double>(2 * n_points);
    // Each mirrored pair comes from one cosine, so nodes on an interval symmetric about 0 are exactly
    // symmetric, and an odd count puts the middle node exactly on mid.
    for (std::size_t j = 0; j < n_points / 2; ++j) {
        const double theta = (static_cast<double>(2 * j + 1) * kPi) / twice_n;
        const double t = std::cos(theta);
        core.nodes_[j] = mid + half * t;
        core.nodes_[n_points - 1 - j] = mid - half * t;
    }
    if (n_points % 2 == 1) core.nodes_[n_points / 2] = mid;
    core.x_min_ = x_min;
    core.x_max_ = x_max;
    core.n_points_ = n_points;
    core.use_clenshaw_ = use_clenshaw;
    return core;
}

Status ChebyshevCore::fit(std::span<const double> y) {
    const std::size_t n = n_points_;
    if (y.size() != n) {
        return CoreError::invalid_input("Expected " + format_count(n) +
                                        " y values (one for each Chebyshev node), got " + format_count(y.size()));
    }
    // T_k(t_j) = cos(k (2j+1) pi / (2n)): the integer k (2j+1) reduced modulo 4n picks the value from a
    // table of the 4n-th circle, so every T_k(t_j) is a cosine of an exact angle, rounded once.  (Running
    // the three-term recurrence instead lets the rounding of t_j grow with k.)
    const std::vector<double> circle = quarter_circle_cosines(n);
    const std::size_t period = 4 * n;
    std::vector<double> acc(n, 0.0);
    // T_k(-t) = (-1)^k T_k(t): a mirrored pair feeds its sum to the even and its difference to the odd
    // coefficients, so half the pairs' products serve all the nodes.
    for (std::size_t j = 0; j < n / 2; ++j) {
        const double sum = y[j] + y[n - 1 - j];
        const double diff = y[j] - y[n - 1 - j];
        // The angles of the even orders advance by 2 (2j + 1), those of the odd ones start at 2j + 1.
        const std::size_t step = 4 * j + 2;
        for (std::size_t k = 0, angle = 0; k < n; k += 2) {
            acc[k] = sum * circle[angle] + acc[k];
            angle += step;
            angle -= angle >= period ? period : 0;  // a conditional move: the wraps follow no pattern
        }
        for (std::size_t k = 1, angle = 2 * j + 1; k < n; k += 2) {
            acc[k] = diff * circle[angle] + acc[k];
            angle += step;
            angle -= angle >= period ? period : 0;  // a conditional move: the wraps follow no pattern
        }
    }
    if (n % 2 == 1) {
        // The middle node is t = 0 exactly: T_k(0) is 1, 0, -1, 0, ... (a NaN or infinite value still
        // reaches every coefficient, as through any other node).
        const double ym = y[n / 2];
        constexpr double kAtZero[4] = {1.0, 0.0, -1.0, 0.0};
        for (std::size_t k = 0; k < n; ++k) acc[k] = ym * kAtZero[k % 4] + acc[k];
    }
    acc[0] = acc[0] / static_cast<double>(n);
    const double scale = 2.0 / static_cast<double>(n);
    for (std::size_t k = 1; k < n; ++k) acc[k] = scale * acc[k];

    coefficients_ = std::move(acc);
    fitted_ = true;
    return Status::success();
}

Status ChebyshevCore::check_range(double x) const {
    if (x < x_min_ || x > x_max_) {
        return CoreError::invalid_input("x value " + format_fixed(x, 4) + " is outside interpolation range [" +
                                        format_fixed(x_min_, 4) + ", " + format_fixed(x_max_, 4) + "]");
    }
    return Status::success();
}

Result<double> ChebyshevCore::evaluate_single(double x) const {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    if (Status in_range = check_range(x); !in_range) return in_range;
    const double t = to_unit(x);
    return use_clenshaw_ ? chebyshev_evaluate_clenshaw(coefficients_, t) : chebyshev_evaluate_direct(coefficients_, t);
}

Status ChebyshevCore::fill_many(std::span<const double> xs, std::span<double> out) const {
    if (Status checked = check_fill_many(fitted_, kNotFittedHint, xs.size(), out.size()); !checked) return checked;
    // All points are checked before any is evaluated: the first one outside is reported, and a failed
    // call writes nothing (C hosts are promised no partial output).  One comparison pass is cheap next
    // to the O(n) sum per point.
    for (double x : xs) {
        if (Status in_range = check_range(x); !in_range) return in_range;
    }
    if (!use_clenshaw_) {
        for (std::size_t i = 0; i < xs.size(); ++i) {
            out[i] = chebyshev_evaluate_direct(coefficients_, to_unit(xs[i]));
        }
        return Status::success();
    }
    fill_clenshaw(xs, out);
    return Status::success();
}

void ChebyshevCore::fill_clenshaw(std::span<const double> xs, std::span<double> out) const {
    const std::size_t m = xs.size();
    std::size_t i = 0;

    // Blocks of 32, then at most one of 16, 8 and 4, then single points: the coefficients are read once
    // per block, and the lanes keep each point's own operation sequence, map included, so a batch gives
    // the single point's bits.
    auto run_block = [&]<std::size_t Lanes>(std::integral_constant<std::size_t, Lanes>) {
        double t[Lanes];
        for (std::size_t l = 0; l < Lanes; ++l) t[l] = to_unit(xs[i + l]);
        if constexpr (Lanes == 32) {
            chebyshev_evaluate_clenshaw32(coefficients_, t, out.data() + i);
        } else {
            clenshaw_block<Lanes>(coefficients_, t, out.data() + i);
        }
        i += Lanes;
    };

    while (i + 32 <= m) run_block(std::integral_constant<std::size_t, 32>{});
    if (i + 16 <= m) run_block(std::integral_constant<std::size_t, 16>{});
    if (i + 8 <= m) run_block(std::integral_constant<std::size_t, 8>{});
    if (i + 4 <= m) run_block(std::integral_constant<std::size_t, 4>{});
    while (i < m) run_block(std::integral_constant<std::size_t, 1>{});
}

// ---- saved state: interval, method, nodes (which fix the count) and coefficients ------------------------

namespace {

// The newest format version of this core's saved state.
constexpr std::uint64_t kStateVersion = 1;

bool same_bits(std::span<const double> a, std::span<const double> b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

}  // namespace

CoreState ChebyshevCore::state() const {
    return {kStateVersion,
            {{"x_min", x_min_},
             {"x_max", x_max_},
             {"use_clenshaw", std::uint64_t{use_clenshaw_ ? 1u : 0u}},
             {"nodes", nodes_},
             {"coefficients", coefficients_}}};
}

Result<ChebyshevCore> ChebyshevCore::restore(const CoreState& state) {
    using enum saved::FieldKind;
    if (Status s = saved::expect(
            state, kStateVersion,
            {{"x_min", Real}, {"x_max", Real}, {"use_clenshaw", Count}, {"nodes", Array}, {"coefficients", Array}});
        !s)
        return s;
    const std::uint64_t use_clenshaw = saved::count(state, "use_clenshaw");
    if (use_clenshaw > 1) return CoreError::invalid_input("use_clenshaw must be 0 or 1");
    // The node count comes from the saved nodes, never from a bare number: a damaged state cannot ask
    // for more memory than it brings.
    const auto& nodes = saved::array(state, "nodes");
    Result<ChebyshevCore> made =
        create(nodes.size(), saved::real(state, "x_min"), saved::real(state, "x_max"), use_clenshaw == 1);
    if (!made) return made;
    ChebyshevCore core = std::move(made).value();
    if (!same_bits(core.nodes_, nodes))
        return CoreError::invalid_input("the nodes do not match the interval and count");
    const auto& coefficients = saved::array(state, "coefficients");
    if (!coefficients.empty()) {
        if (Status s = saved::holds(state, "coefficients", nodes.size()); !s) return s;
        core.coefficients_ = coefficients;
        core.fitted_ = true;
    }
    return core;
}

}  // namespace morvelay
