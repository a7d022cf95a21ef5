// The core's fill_many alone, without the Python face: ns per query for each method on the workloads
// of the side-by-side table, so a slow row there can be pinned on the core or on the face.
//
// Build with -DMORVELAY_BENCH=ON; run build/<dir>/fill_many_bench [milliseconds per row = 300].
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/chebyshev_core.hpp"
#include "core/cubic_spline_core.hpp"
#include "core/hermite_core.hpp"
#include "core/lagrange_core.hpp"
#include "core/least_squares_core.hpp"
#include "core/linear_core.hpp"
#include "core/newton_core.hpp"
#include "core/quadratic_core.hpp"
#include "core/rbf_core.hpp"

namespace {

using Values = std::vector<double>;
using morvelay::Status;

std::mt19937_64 random_engine(20261208);

Values uniform_values(std::size_t n, double lo, double hi) {
    std::uniform_real_distribution<double> value(lo, hi);
    Values values(n);
    for (double& v : values) v = value(random_engine);
    return values;
}

Values knots(std::size_t n, bool uniform) {
    Values x(n);
    double position = 0.0;
    std::uniform_real_distribution<double> step(0.5, 1.5);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = uniform ? static_cast<double>(i) : position;
        position += step(random_engine);
    }
    if (!uniform) {
        const double scale = static_cast<double>(n - 1) / x.back();
        for (double& v : x) v *= scale;
    }
    return x;
}

// Median over repeated runs of one fill_many, reported per query.
void report(const std::string& name, const Values& queries,
            const std::function<Status(std::span<const double>, std::span<double>)>& fill, double budget_ms) {
    Values out(queries.size());
    if (!fill(queries, out)) {
        std::printf("%-48s failed\n", name.c_str());
        return;
    }
    std::vector<double> times;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double, std::milli>(budget_ms);
    while (times.size() < 5 || (std::chrono::steady_clock::now() < end && times.size() < 1000)) {
        const auto start = std::chrono::steady_clock::now();
        (void)fill(queries, out);
        times.push_back(std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2), times.end());
    std::printf("%-48s %9.2f ns/query\n", name.c_str(), times[times.size() / 2] / static_cast<double>(queries.size()));
}

Values chebyshev_points(std::size_t n) {
    Values x(n);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = std::cos(std::numbers::pi * (static_cast<double>(i) + 0.5) / static_cast<double>(n));
    }
    return x;
}

// Nodes in bit-reversed order, the well-conditioned order for a Newton form.
Values bit_reversed(const Values& x) {
    const std::size_t n = x.size();
    unsigned bits = 0;
    while ((std::size_t{1} << bits) < n) ++bits;
    std::vector<std::size_t> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = i;
    auto reversed = [bits](std::size_t i) {
        std::size_t r = 0;
        for (unsigned b = 0; b < bits; ++b) r |= ((i >> b) & 1U) << (bits - 1 - b);
        return r;
    };
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return reversed(a) < reversed(b); });
    Values out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = x[order[i]];
    return out;
}

template <class Core>
std::function<Status(std::span<const double>, std::span<double>)> filler(const Core& core) {
    return [&core](std::span<const double> xs, std::span<double> out) { return core.fill_many(xs, out); };
}

}  // namespace

int main(int argc, char** argv) {
    const double budget = argc > 1 ? std::atof(argv[1]) : 300.0;
    const std::size_t m = 1'000'000;

    for (bool uniform : {true, false}) {
        const Values x = knots(1000, uniform);
        Values y(x.size());
        for (std::size_t i = 0; i < x.size(); ++i) y[i] = std::sin(x[i] / 37.0) + 0.1 * std::cos(x[i]);
        Values random_q = uniform_values(m, x.front(), x.back());
        Values sorted_q = random_q;
        std::sort(sorted_q.begin(), sorted_q.end());
        const std::string grid = uniform ? "uniform" : "uneven";

        morvelay::LinearCore linear;
        morvelay::CubicSplineCore spline;
        morvelay::QuadraticCore quadratic;
        if (!linear.fit(x, y) || !spline.fit(x, y) || !quadratic.fit(x, y)) return 1;
        for (bool sorted : {true, false}) {
            const std::string tail = (sorted ? " sorted, " : " random, ") + grid + " 1k knots";
            const Values& q = sorted ? sorted_q : random_q;
            report("linear" + tail, q, filler(linear), budget);
            report("cubic spline" + tail, q, filler(spline), budget);
            report("quadratic" + tail, q, filler(quadratic), budget);
        }
    }

    // Global methods: 64 Chebyshev nodes of Runge's function, 100,000 random queries.
    const Values nodes = chebyshev_points(64);
    Values runge(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) runge[i] = 1.0 / (1.0 + 25.0 * nodes[i] * nodes[i]);
    const Values q = uniform_values(100'000, -1.0, 1.0);
    morvelay::LagrangeCore lagrange;
    if (!lagrange.fit(nodes, runge)) return 1;
    report("Lagrange, 64 Chebyshev nodes", q, filler(lagrange), budget);
    morvelay::NewtonCore newton;
    if (!newton.fit(bit_reversed(nodes), bit_reversed(runge))) return 1;
    report("Newton, 64 nodes (bit-reversed)", q, filler(newton), budget);
    Values hx(16), hy(16), hdy(16);
    for (std::size_t i = 0; i < hx.size(); ++i) {
        hx[i] = -1.0 + 2.0 * static_cast<double>(i) / 15.0;
        hy[i] = std::sin(2.0 * hx[i]);
        hdy[i] = 2.0 * std::cos(2.0 * hx[i]);
    }
    morvelay::HermiteCore hermite;
    if (!hermite.fit(hx, hy, hdy)) return 1;
    report("Hermite, 16 nodes", q, filler(hermite), budget);

    const Values big_q = uniform_values(m, -1.0, 1.0);
    Values lx = uniform_values(10'000, -1.0, 1.0), ly(lx.size());
    for (std::size_t i = 0; i < lx.size(); ++i) ly[i] = 1.0 + lx[i] - 2.0 * lx[i] * lx[i] * lx[i];
    morvelay::LeastSquaresCore least_squares(3);
    if (!least_squares.fit(lx, ly)) return 1;
    report("least squares, degree 3", big_q, filler(least_squares), budget);
    auto chebyshev = morvelay::ChebyshevCore::create(64, -1.0, 1.0, true);
    if (!chebyshev) return 1;
    Values cy(64);
    for (std::size_t i = 0; i < cy.size(); ++i) {
        const double t = chebyshev.value().nodes()[i];
        cy[i] = 1.0 / (1.0 + 25.0 * t * t);
    }
    if (!chebyshev.value().fit(cy)) return 1;
    report("Chebyshev, 64 coefficients", big_q, filler(chebyshev.value()), budget);

    const Values rbf_q = uniform_values(100'000, 0.0, 999.0);
    for (bool uniform : {true, false}) {
        // Unit-spaced centres, or jittered ones no two closer than 0.4: well conditioned at epsilon 1.
        Values cx(1000), ry(1000);
        std::uniform_real_distribution<double> jitter(-0.3, 0.3);
        for (std::size_t i = 0; i < cx.size(); ++i) {
            cx[i] = static_cast<double>(i) + (uniform ? 0.0 : jitter(random_engine));
            ry[i] = std::sin(0.05 * cx[i]) + 0.1 * std::cos(0.7 * cx[i]);
        }
        const std::string grid = uniform ? "uniform" : "scattered";
        for (auto [kernel, epsilon, label] :
             {std::tuple{morvelay::RBFKernel::Gaussian, 1.0, "gaussian"},
              std::tuple{morvelay::RBFKernel::ThinPlateSpline, 1.0, "thin plate spline"}}) {
            auto rbf = morvelay::RBFCore::create(kernel, epsilon);
            if (!rbf) return 1;
            if (Status fit = rbf.value().fit(cx, ry); !fit) {
                std::printf("RBF %s, %s: %s\n", label, grid.c_str(), fit.error().c_str());
                continue;
            }
            report(std::string("RBF ") + label + ", " + grid + " 1k centres", rbf_q, filler(rbf.value()), budget);
        }
    }

    Values source = uniform_values(m, 0.0, 1.0), copy(m);
    report(
        "floor: copy 1M doubles", source,
        [&](std::span<const double> xs, std::span<double> out) {
            std::copy(xs.begin(), xs.end(), out.begin());
            return Status::success();
        },
        budget);
    return 0;
}
