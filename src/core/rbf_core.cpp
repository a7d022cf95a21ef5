#include "rbf_core.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

namespace morvelay {

namespace {

constexpr const char* kNotFittedHint = "Call fit(x, y) first.";

// ---- kernels ------------------------------------------------------------------------------------------
// Each takes the signed distance d; only |d| matters.  The operation grouping is fixed: a batch must
// reproduce a single evaluation bit for bit, and the fit matrix must match what users compute by hand.

struct Gaussian {
    double negative_e2;  // -(eps * eps), formed once: the same rounding as forming it per term
    explicit Gaussian(double epsilon) : negative_e2(-(epsilon * epsilon)) {}
    double diagonal() const { return 1.0; }
    double operator()(double d) const {
        const double r = std::fabs(d);
        return std::exp(r * (negative_e2 * r));
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

// Four queries share each pass over the centres: four independent sums hide the latency of the
// additions, and every sum still runs over the centres in order, so each output equals direct_sum.
template <class Phi>
void direct_many(const Phi& phi, std::span<const double> x, std::span<const double> w, std::span<const double> xs,
                 std::span<double> out) {
    const std::size_t m = xs.size();
    std::size_t k = 0;
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
// centre first, then outwards to the right, then to the left.
void gaussian_uniform_many(double epsilon, double h, std::span<const double> x, std::span<const double> w,
                           std::span<const double> xs, std::span<double> out) {
    const std::size_t n = x.size();
    const double e2 = epsilon * epsilon;
    const double g = h * (h * e2);
    const double H = std::exp(g * -2.0);
    const double m = h * (e2 + e2);
    const double inverse_h = 1.0 / h;
    const double x0 = x[0];
    for (std::size_t q = 0; q < xs.size(); ++q) {
        const double xq = xs[q];
        // round() is halves away from zero; NaN and everything left of x0 go to the first centre.
        const std::size_t k = std::min(saturating_index(std::round(inverse_h * (xq - x0))), n - 1);
        const double u = xq - x[k];
        const double A = std::exp(-(u * (e2 * u)));
        double B = A * w[k];
        if (k + 1 < n) {
            double t = std::exp(m * u - g);
            double o = t * A;
            B = B + o * w[k + 1];
            for (std::size_t j = k + 2; j < n; ++j) {
                t = H * t;
                o = t * o;
                B = B + o * w[j];
            }
        }
        if (k > 0) {
            double c = std::exp(u * (-m) - g);
            double a = A;
            for (std::size_t j = k; j-- > 0;) {
                a = c * a;
                B = B + a * w[j];
                c = H * c;
            }
        }
        out[q] = B;
    }
}

bool contains_nan(std::span<const double> values) {
    return std::any_of(values.begin(), values.end(), [](double v) { return std::isnan(v); });
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
    switch (kernel) {
        case RBFKernel::Gaussian:
            return "gaussian";
        case RBFKernel::Multiquadric:
            return "multiquadric";
        case RBFKernel::InverseMultiquadric:
            return "inverse_multiquadric";
        case RBFKernel::ThinPlateSpline:
            return "thin_plate_spline";
        case RBFKernel::Linear:
            break;
    }
    return "linear";
}

Result<RBFKernel> parse_kernel_name(std::string_view normalised) {
    if (normalised == "gaussian") return RBFKernel::Gaussian;
    if (normalised == "multiquadric") return RBFKernel::Multiquadric;
    if (normalised == "inverse_multiquadric" || normalised == "inverse multiquadric") {
        return RBFKernel::InverseMultiquadric;
    }
    if (normalised == "thin_plate_spline" || normalised == "thin plate spline") return RBFKernel::ThinPlateSpline;
    if (normalised == "linear") return RBFKernel::Linear;
    return CoreError::invalid_input("Unknown kernel type '" + std::string(normalised) +
                                    "'. Available: gaussian, multiquadric, inverse_multiquadric, thin_plate_spline, "
                                    "linear");
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
    if (!solved) return CoreError::invalid_input(std::move(solved).error());

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

}  // namespace morvelay
