#include "rbf_core.hpp"

#include <algorithm>
#include <array>
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
    double operator()(double d) const {
        const double r = std::fabs(d);
        return exp_or_zero(r * (negative_e2 * r));
    }
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

// Gaussian on centres x_0 + j*h.  With u = x - x_k for the nearest centre k,
// exp(-e2 (u -+ j h)^2) = exp(-e2 u^2) * exp(+-2 e2 h j u) * exp(-e2 h^2 j^2), so each further term
// is the previous one times a ratio that itself shrinks by H = exp(-2 e2 h^2) per step.  Nearest
// centre first, then outwards to the right, then to the left.  Both sides run the same step
// (term = ratio * term; sum += term * w; ratio = H * ratio), which lets four queries share one loop.
//
// Far from the query the terms underflow; once a term is exactly zero every later term of that side is
// a zero too (the ratios stay finite and at most 1), and with finite weights and a non-zero sum adding
// those zeros changes nothing.  The rest of that side is skipped then: the result is bit-identical to
// the full recurrence, the cost drops from n steps to the Gaussian's support, and the loop avoids the
// slow subnormal arithmetic of the tail.
class UniformGaussian {
public:
    UniformGaussian(double epsilon, double h, std::span<const double> x, std::span<const double> w)
        : e2_(epsilon * epsilon),
          g_(h * (h * e2_)),
          H_(std::exp(g_ * -2.0)),
          m_(h * (e2_ + e2_)),
          inverse_h_(1.0 / h),
          x_(x),
          w_(w),
          finite_weights_(std::all_of(w.begin(), w.end(), [](double v) { return std::isfinite(v); })) {}

    double one(double xq) const {
        const Start s = start(xq);
        double sum = s.A * w_[s.k];
        double ratio = s.right, term = s.A;
        for (std::size_t j = s.k + 1; j < w_.size(); ++j) {
            step(ratio, term, sum, w_[j]);
            if (only_zeros_follow(term, sum)) break;
        }
        ratio = s.left;
        term = s.A;
        for (std::size_t j = s.k; j-- > 0;) {
            step(ratio, term, sum, w_[j]);
            if (only_zeros_follow(term, sum)) break;
        }
        return sum;
    }

    // Four queries in lock step: every query takes n - 1 steps, switching from its right side to its
    // left side at its own step, so the loop runs in segments between switches.  Each lane performs
    // exactly the operations of `one`, so the grouping never changes a result.
    MORVELAY_CLONES("avx2", "default") void four(const double* xq, double* out) const {
        using Quad = double __attribute__((vector_size(32)));
        const std::size_t total = w_.size() - 1;
        Start s[4];
        Quad sum, ratio, term;
        std::ptrdiff_t index[4], direction[4];
        std::size_t switch_at[4];
        for (int q = 0; q < 4; ++q) {
            s[q] = start(xq[q]);
            sum[q] = s[q].A * w_[s[q].k];
            ratio[q] = s[q].right;
            term[q] = s[q].A;
            index[q] = static_cast<std::ptrdiff_t>(s[q].k) + 1;
            direction[q] = 1;
            switch_at[q] = total - s[q].k;
        }
        std::size_t done = 0;
        while (done < total) {
            std::size_t stop = total;
            for (int q = 0; q < 4; ++q) {
                if (switch_at[q] == done) {
                    ratio[q] = s[q].left;
                    term[q] = s[q].A;
                    index[q] = static_cast<std::ptrdiff_t>(s[q].k) - 1;
                    direction[q] = -1;
                } else if (switch_at[q] > done && switch_at[q] < stop) {
                    stop = switch_at[q];
                }
            }
            while (done < stop) {
                // Eight steps between tests for the all-zero tail: a test per step costs more than the
                // few zeros it would save.
                for (const std::size_t chunk_end = std::min(stop, done + 8); done < chunk_end; ++done) {
                    const Quad weight = {w_[static_cast<std::size_t>(index[0])], w_[static_cast<std::size_t>(index[1])],
                                         w_[static_cast<std::size_t>(index[2])],
                                         w_[static_cast<std::size_t>(index[3])]};
                    term = ratio * term;
                    sum = sum + term * weight;
                    ratio = H_ * ratio;
                    for (int q = 0; q < 4; ++q) index[q] += direction[q];
                }
                const auto zero = (term == 0.0) & (sum != 0.0);
                if (finite_weights_ && zero[0] && zero[1] && zero[2] && zero[3]) {
                    // Every lane adds only zeros up to the next switch: jump there.
                    const auto skipped = static_cast<std::ptrdiff_t>(stop - done);
                    for (int q = 0; q < 4; ++q) index[q] += direction[q] * skipped;
                    done = stop;
                }
            }
        }
        for (int q = 0; q < 4; ++q) out[q] = sum[q];
    }

private:
    struct Start {
        std::size_t k;
        double A, right, left;  // exp(-e2 u^2) and the first ratio of each side (1 if that side is empty)
    };

    Start start(double xq) const {
        const std::size_t n = x_.size();
        // round() is halves away from zero; NaN and everything left of x0 go to the first centre.
        const std::size_t k = std::min(saturating_index(std::round(inverse_h_ * (xq - x_[0]))), n - 1);
        const double u = xq - x_[k];
        Start s{k, std::exp(-(u * (e2_ * u))), 1.0, 1.0};
        if (k + 1 < n) s.right = std::exp(m_ * u - g_);
        if (k > 0) s.left = std::exp(u * (-m_) - g_);
        return s;
    }

    bool only_zeros_follow(double term, double sum) const { return term == 0.0 && sum != 0.0 && finite_weights_; }

    void step(double& ratio, double& term, double& sum, double weight) const {
        term = ratio * term;
        sum = sum + term * weight;
        ratio = H_ * ratio;
    }

    double e2_, g_, H_, m_, inverse_h_;
    std::span<const double> x_, w_;
    bool finite_weights_;
};

void gaussian_uniform_many(double epsilon, double h, std::span<const double> x, std::span<const double> w,
                           std::span<const double> xs, std::span<double> out) {
    const UniformGaussian gaussian(epsilon, h, x, w);
    std::size_t q = 0;
    for (; q + 4 <= xs.size(); q += 4) gaussian.four(xs.data() + q, out.data() + q);
    for (; q < xs.size(); ++q) out[q] = gaussian.one(xs[q]);
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
