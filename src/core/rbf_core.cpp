#include "rbf_core.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <string>
#include <utility>

#include "dense_solver.hpp"
#include "multiversion.hpp"
#include "search.hpp"

namespace morvelay {

namespace {

// The canonical names by id: what the faces print, what parsing accepts, and the list the unknown-name
// message offers, in this order.
constexpr std::array<std::string_view, kRBFKernelCount> kKernelNames = {
    "gaussian", "multiquadric", "inverse_multiquadric", "thin_plate_spline", "linear"};

// ---- kernels ------------------------------------------------------------------------------------------
// Each takes the signed distance d; only |d| matters.  The operation grouping is fixed: a batch must
// reproduce a single evaluation bit for bit, and the fit matrix must match what users compute by hand.

// exp(a) for a below -746 is under half the smallest subnormal, so every faithful exp (the C library's
// included) returns +0 there.  Answering directly keeps the far centres of a Gaussian sum off the C
// library's underflow path (errno and flag handling), which costs several times a normal exp.
double exp_or_zero(double a) { return a < -746.0 ? 0.0 : std::exp(a); }

struct Gaussian {
    double negative_e2;  // -(eps * eps), formed once: the same rounding as forming it per term
    explicit Gaussian(double epsilon) : negative_e2(-(epsilon * epsilon)) {}
    double diagonal() const { return 1.0; }
    double exponent(double d) const {
        const double r = std::fabs(d);
        // At a centre the term is exp(-0) = 1 for every epsilon; once epsilon^2 overflows the product
        // would be -inf * 0 = NaN.  -0 is the bits the product gives for a finite epsilon.
        return r == 0.0 ? -0.0 : r * (negative_e2 * r);
    }
    double operator()(double d) const { return exp_or_zero(exponent(d)); }
    bool vanishes(double d) const { return exponent(d) < -746.0; }  // exactly when operator() gives +0
};

struct Multiquadric {
    double epsilon;
    double diagonal() const { return (*this)(0.0); }  // NaN for a NaN or infinite epsilon, as the formula says
    double operator()(double d) const {
        const double er = epsilon * std::fabs(d);
        return std::sqrt(er * er + 1.0);
    }
};

struct InverseMultiquadric {
    double epsilon;
    double diagonal() const { return (*this)(0.0); }
    double operator()(double d) const {
        const double er = epsilon * std::fabs(d);
        return 1.0 / std::sqrt(er * er + 1.0);
    }
};

struct ThinPlateSpline {
    double diagonal() const { return 0.0; }
    double operator()(double d) const { return d == 0.0 ? 0.0 : (d * d) * std::log(std::fabs(d)); }
};

struct Linear {
    double diagonal() const { return 0.0; }
    double operator()(double d) const { return std::fabs(d); }
};

// Calls `body` with the kernel's function object, so every loop below is compiled once per kernel and
// the per-centre work has no branch on the kernel.
template <class Body>
decltype(auto) with_kernel(RBFKernel kernel, double epsilon, Body&& body) {
    switch (kernel) {
        case RBFKernel::Gaussian:
            return body(Gaussian(epsilon));
        case RBFKernel::Multiquadric:
            return body(Multiquadric{epsilon});
        case RBFKernel::InverseMultiquadric:
            return body(InverseMultiquadric{epsilon});
        case RBFKernel::ThinPlateSpline:
            return body(ThinPlateSpline{});
        case RBFKernel::Linear:
            break;
    }
    return body(Linear{});
}

template <class Phi>
double direct_sum(const Phi& phi, std::span<const double> x, std::span<const double> w, double xq) {
    double sum = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) sum = sum + w[i] * phi(xq - x[i]);
    return sum;
}

// The two multiquadrics, whose value is plain arithmetic and a square root: eight queries share each
// pass over the centres in vector lanes.  Lane by lane these are the operations of the kernel and of
// direct_sum in the same order (square root and division are correctly rounded in every width, and
// there is no fused multiply-add), so each output equals direct_sum bit for bit.  The body is written
// once and compiled into one entry point per kernel, each built for three instruction sets.  (The
// linear kernel is faster in the four-query loop below: its sums are bound by the latency of the
// additions, not by a square root.)
template <class Phi>
[[gnu::always_inline]] inline void eight_queries(const Phi& phi, std::span<const double> x, std::span<const double> w,
                                                 const double* q, double* out) {
    constexpr int kLanes = 8;
    double lane_q[kLanes], sum[kLanes];
    for (int l = 0; l < kLanes; ++l) {
        lane_q[l] = q[l];
        sum[l] = 0.0;
    }
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double c = x[i], wi = w[i];
        for (int l = 0; l < kLanes; ++l) sum[l] = sum[l] + wi * phi(lane_q[l] - c);
    }
    for (int l = 0; l < kLanes; ++l) out[l] = sum[l];
}

MORVELAY_CLONES("avx512f", "avx2", "default")
void eight_queries_of(const Multiquadric& phi, std::span<const double> x, std::span<const double> w, const double* q,
                      double* out) {
    eight_queries(phi, x, w, q, out);
}

MORVELAY_CLONES("avx512f", "avx2", "default")
void eight_queries_of(const InverseMultiquadric& phi, std::span<const double> x, std::span<const double> w,
                      const double* q, double* out) {
    eight_queries(phi, x, w, q, out);
}

template <class Phi>
concept LaneKernel = requires(const Phi& phi, std::span<const double> c, const double* q, double* out) {
    eight_queries_of(phi, c, c, q, out);
};

// The lane kernels take blocks of eight queries; the rest, and every query of the kernels that call
// the C library (exp, log), go four at a time: four independent sums hide the latency of the
// additions, and every sum still runs over the centres in order, so each output equals direct_sum.
template <class Phi>
void direct_many(const Phi& phi, std::span<const double> x, std::span<const double> w, std::span<const double> xs,
                 std::span<double> out) {
    const std::size_t m = xs.size();
    std::size_t k = 0;
    if constexpr (LaneKernel<Phi>) {
        for (; k + 8 <= m; k += 8) eight_queries_of(phi, x, w, xs.data() + k, out.data() + k);
    }
    for (; k + 4 <= m; k += 4) {
        const double q0 = xs[k], q1 = xs[k + 1], q2 = xs[k + 2], q3 = xs[k + 3];
        double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double c = x[i], wi = w[i];
            s0 = s0 + wi * phi(q0 - c);
            s1 = s1 + wi * phi(q1 - c);
            s2 = s2 + wi * phi(q2 - c);
            s3 = s3 + wi * phi(q3 - c);
        }
        out[k] = s0;
        out[k + 1] = s1;
        out[k + 2] = s2;
        out[k + 3] = s3;
    }
    for (; k < m; ++k) out[k] = direct_sum(phi, x, w, xs[k]);
}

// Gaussian on evenly spaced centres: the direct sum itself, term for term and in centre order, with
// only the terms left out that cannot change a bit of it.  The spacing only guesses where to start.
//
// * A centre farther than R = sqrt(746 / e2) from the query adds w * exp_or_zero(a) = w * +0 with
//   a < -746: a no-op (the running sum starts at +0 and is never -0), given finite weights.  Ascending
//   centres keep those near enough in one run, whose start the spacing guesses and the stored
//   centres settle.
// * Right of the query the terms only shrink.  Once the next one is below a quarter of the running
//   sum's least half-ulp, the sum rounds back to itself at every later term, so the walk ends there.
//   The test needs no exponential: |w| < 2^W and exp(a) < 2^(E - 57 - W), E the sum's exponent,
//   bound the term by 2^(E - 57) (the slack covers exp's and the product's rounding).
//
// So each output is the single point's bits, whatever the spacing; the cost per query is one exp per
// centre within the Gaussian's reach left of it and within its significant reach right of it.
class UniformGaussian {
public:
    UniformGaussian(double epsilon, double h, std::span<const double> x, std::span<const double> w)
        : phi_(epsilon),
          reach_(std::sqrt(kNegligible / -phi_.negative_e2) * (1.0 + 1e-9)),
          inverse_h_(1.0 / h),
          x_(x),
          w_(w) {
        double largest = 0.0;
        windowed_ = reach_ >= 0.0;  // not for a NaN epsilon
        for (double v : w) {
            windowed_ = windowed_ && std::isfinite(v);
            largest = std::max(largest, std::fabs(v));
        }
        weight_exponent_ = largest > 0.0 && std::isfinite(largest) ? std::ilogb(largest) + 1 : 0;
    }

    double one(double xq) const {
        if (!windowed_ || !std::isfinite(xq)) return direct_sum(phi_, x_, w_, xq);
        // The first centre with xq - c <= reach: the spacing's guess, then corrected against the
        // centres themselves (the guess may be off by the centres' drift from x0 + k h).
        const std::size_t n = x_.size();
        std::size_t i = std::min(saturating_index((xq - reach_ - x_[0]) * inverse_h_), n);
        while (i > 0 && !(xq - x_[i - 1] > reach_)) --i;
        while (i < n && xq - x_[i] > reach_) ++i;
        double sum = 0.0;
        for (; i < n && x_[i] <= xq; ++i) sum = sum + w_[i] * phi_(xq - x_[i]);
        for (; i < n; ++i) {
            const double r = std::fabs(xq - x_[i]);
            const double a = r * (phi_.negative_e2 * r);
            if (r > reach_ || a < absorbed_below(sum)) break;
            sum = sum + w_[i] * exp_or_zero(a);
        }
        return sum;
    }

private:
    static constexpr double kNegligible = 746.0;  // exp_or_zero's zero threshold
    static constexpr double kLn2 = 0.6931471805599453;

    // The exponent a below which exp(a) times any weight leaves `sum` as it is; -inf when no such bound
    // holds (a zero, subnormal or non-finite sum, or weights too far above it).
    double absorbed_below(double sum) const {
        const auto biased = static_cast<int>((std::bit_cast<std::uint64_t>(sum) >> 52) & 0x7ff);
        const int margin = biased - 1023 - 57 - weight_exponent_;
        if (biased < 1023 - 900 || biased == 0x7ff || margin < -950) return -INFINITY;
        return static_cast<double>(margin) * kLn2;
    }

    Gaussian phi_;
    double reach_, inverse_h_;
    std::span<const double> x_, w_;
    int weight_exponent_ = 0;
    bool windowed_ = false;
};

void gaussian_uniform_many(double epsilon, double h, std::span<const double> x, std::span<const double> w,
                           std::span<const double> xs, std::span<double> out) {
    const UniformGaussian gaussian(epsilon, h, x, w);
    for (std::size_t q = 0; q < xs.size(); ++q) out[q] = gaussian.one(xs[q]);
}

// Gaussian on centres in increasing order, evenly spaced or not.  The exponent -(eps^2) r^2, rounded as
// the kernel rounds it, never rises as r = |x - x_i| grows, so the terms that are not exactly zero are
// one run of neighbouring centres around the query, found by walking out from it.  Summed in index order
// from +0, that run gives the direct sum bit for bit: before it the direct sum adds only (finite w) * 0
// to +0 and stays +0; after it, adding +-0 to a non-zero sum changes nothing, and a zero sum takes the
// remaining zeros as the direct sum does (-0 + +0 is +0).  The cost falls from n terms to the kernel's
// support.  Non-finite weights (inf * 0 is NaN) and queries are left to the direct sum.
void gaussian_ordered_many(const Gaussian& phi, std::span<const double> x, std::span<const double> w,
                           std::span<const double> xs, std::span<double> out) {
    const std::size_t n = x.size();
    for (std::size_t k = 0; k < xs.size(); ++k) {
        const double q = xs[k];
        if (!std::isfinite(q)) {
            out[k] = direct_sum(phi, x, w, q);
            continue;
        }
        const std::size_t above = static_cast<std::size_t>(std::upper_bound(x.begin(), x.end(), q) - x.begin());
        std::size_t i = above;
        while (i > 0 && !phi.vanishes(q - x[i - 1])) --i;
        double sum = 0.0;
        for (; i < above; ++i) sum = sum + w[i] * phi(q - x[i]);
        for (; i < n && !phi.vanishes(q - x[i]); ++i) sum = sum + w[i] * phi(q - x[i]);
        if (sum == 0.0) {
            for (; i < n; ++i) sum = sum + w[i] * phi(q - x[i]);
        }
        out[k] = sum;
    }
}

// Equal neighbours after ordering; -0.0 equals +0.0.  The caller's order is left alone.
Status check_distinct(std::span<const double> x) {
    if (is_non_decreasing(x)) {
        if (std::adjacent_find(x.begin(), x.end()) != x.end()) return CoreError::not_distinct("x values");
        return Status::success();
    }
    // Two or more values with a NaN among them cannot be ordered (sorting them would be undefined), and a
    // NaN centre makes every value of the interpolant NaN: refuse it plainly.
    if (contains_nan(x)) return CoreError::invalid_input("x values must not be NaN");
    std::vector<double> sorted(x.begin(), x.end());
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) return CoreError::not_distinct("x values");
    return Status::success();
}

// Phi as one row-major block: each off-diagonal value is computed once and stored in both places.
template <class Phi>
std::vector<double> kernel_matrix(const Phi& phi, std::span<const double> x) {
    const std::size_t n = x.size();
    std::vector<double> a(n * n);
    for (std::size_t i = 0; i < n; ++i) {
        a[i * n + i] = phi.diagonal();
        for (std::size_t j = i + 1; j < n; ++j) {
            const double value = phi(x[i] - x[j]);
            a[i * n + j] = value;
            a[j * n + i] = value;
        }
    }
    return a;
}

}  // namespace

std::string_view kernel_name(RBFKernel kernel) noexcept {
    const auto id = static_cast<std::uint32_t>(kernel);
    return kKernelNames[id < kRBFKernelCount ? id : kRBFKernelCount - 1];
}

Result<RBFKernel> parse_kernel_name(std::string_view normalised) {
    for (std::uint32_t id = 0; id < kRBFKernelCount; ++id) {
        const std::string_view name = kKernelNames[id];
        // The two-word names may also be written with spaces, but not half and half.
        std::string spaced(name);
        std::replace(spaced.begin(), spaced.end(), '_', ' ');
        if (normalised == name || normalised == spaced) return static_cast<RBFKernel>(id);
    }
    std::string message = "Unknown kernel type '" + std::string(normalised) + "'. Available: ";
    for (std::uint32_t id = 0; id < kRBFKernelCount; ++id) {
        if (id > 0) message += ", ";
        message += kKernelNames[id];
    }
    return CoreError::invalid_input(std::move(message));
}

Result<RBFCore> RBFCore::create(RBFKernel kernel, double epsilon) {
    if (epsilon <= 0.0) return CoreError::invalid_input("epsilon must be positive");
    return RBFCore(kernel, epsilon);
}

Status RBFCore::fit(std::vector<double> x, std::vector<double> y) {
    if (x.size() != y.size()) return CoreError::length_mismatch(x.size(), y.size(), "x", "y");
    if (x.empty()) return CoreError::empty_input("x and y");
    if (Status distinct = check_distinct(x); !distinct) return distinct;

    const std::size_t n = x.size();
    std::vector<double> phi =
        with_kernel(kernel_, epsilon_, [&](const auto& kernel) { return kernel_matrix(kernel, x); });
    // One dense block for every kernel: the same operations as the row-per-equation solver, so the
    // same weights and messages, but with rows the elimination can stream through.
    Result<std::vector<double>> solved = solve_dense_row_major(std::move(phi), n, std::move(y));
    if (!solved) return solved;

    uniform_step_ = uniform_step(x);
    x_ = std::move(x);
    weights_ = std::move(solved).value();
    fitted_ = true;
    return Status::success();
}

Result<double> RBFCore::evaluate_single(double xq) const {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    return with_kernel(kernel_, epsilon_, [&](const auto& kernel) { return direct_sum(kernel, x_, weights_, xq); });
}

Status RBFCore::fill_many(std::span<const double> xs, std::span<double> out) const {
    if (Status checked = check_fill_many(fitted_, kNotFittedHint, xs.size(), out.size()); !checked) return checked;
    if (kernel_ == RBFKernel::Gaussian && uniform_step_) {
        gaussian_uniform_many(epsilon_, *uniform_step_, x_, weights_, xs, out);
        return Status::success();
    }
    if (kernel_ == RBFKernel::Gaussian && is_non_decreasing(x_) &&
        std::all_of(weights_.begin(), weights_.end(), [](double v) { return std::isfinite(v); })) {
        gaussian_ordered_many(Gaussian(epsilon_), x_, weights_, xs, out);
        return Status::success();
    }
    with_kernel(kernel_, epsilon_, [&](const auto& kernel) { direct_many(kernel, x_, weights_, xs, out); });
    return Status::success();
}

Result<std::span<const double>> RBFCore::fitted_weights() const {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    return std::span<const double>(weights_);
}

// ---- saved state: kernel by name, epsilon, distinct centres and their weights (y is not kept) -----------

namespace {

// The newest format version of this core's saved state.
constexpr std::uint64_t kStateVersion = 1;

}  // namespace

CoreState RBFCore::state() const {
    return {kStateVersion,
            {{"kernel", std::string(kernel_name(kernel_))}, {"epsilon", epsilon_}, {"x", x_}, {"weights", weights_}}};
}

Result<RBFCore> RBFCore::restore(const CoreState& state) {
    using enum saved::FieldKind;
    if (Status s = saved::expect(state, kStateVersion,
                                 {{"kernel", Text}, {"epsilon", Real}, {"x", Array}, {"weights", Array}});
        !s)
        return s;
    // Only the canonical spelling: a saved state is not typed by hand.
    Result<RBFKernel> kernel = parse_kernel_name(saved::text(state, "kernel"));
    if (!kernel || kernel_name(kernel.value()) != saved::text(state, "kernel")) {
        std::string message = "unknown kernel '";
        message += saved::text(state, "kernel");
        message += "'";
        return CoreError::invalid_input(std::move(message));
    }
    Result<RBFCore> made = create(kernel.value(), saved::real(state, "epsilon"));
    if (!made) return made;
    RBFCore core = std::move(made).value();
    if (Status s = saved::same_length(state, "x", "weights"); !s) return s;
    const auto& x = saved::array(state, "x");
    if (x.empty()) return core;
    // The fit's test: distinct centres, and no NaN among two or more (a lone NaN centre only makes NaN
    // answers).
    if (Status s = check_distinct(x); !s) return s;
    core.uniform_step_ = uniform_step(x);
    core.x_ = x;
    core.weights_ = saved::array(state, "weights");
    core.fitted_ = true;
    return core;
}

}  // namespace morvelay
