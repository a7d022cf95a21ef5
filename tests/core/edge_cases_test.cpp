// Cases at the edges of each core's data that the per-method files leave out: grids far from zero,
// curvatures and spans that overflow, unsorted x, extreme kernel widths, panel-sized systems, odd
// Chebyshev counts, forged saved states.  Each is checked against an independent computation: the
// function sampled, a closed form, the residual, or the same fit of the data in another order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "core/chebyshev_core.hpp"
#include "core/cubic_spline_core.hpp"
#include "core/dense_solver.hpp"
#include "core/lagrange_core.hpp"
#include "core/least_squares_core.hpp"
#include "core/quadratic_core.hpp"
#include "core/rbf_core.hpp"
#include "polynomial_testing.hpp"

namespace morvelay {
namespace {

using Values = std::vector<double>;
constexpr double kInf = std::numeric_limits<double>::infinity();

// ---- piecewise cores ----------------------------------------------------------------------------------

TEST(EdgeCases, SplineSinglePointsOnAnEvenGridFarFromZero) {
    // An exactly even grid at an offset takes the uniform index; knots give their y and midpoints the
    // sampled function to the spline's accuracy (SciPy's not-a-knot spline is 9.5e-5 off at the ends).
    Values x, y;
    for (int i = 0; i < 40; ++i) {
        x.push_back(1000.0 + 0.25 * i);
        y.push_back(std::sin(x.back()));
    }
    CubicSplineCore core;
    ASSERT_TRUE(core.fit(x, y));
    for (std::size_t i = 0; i + 1 < x.size(); ++i) {
        EXPECT_NEAR(core.evaluate_single(x[i]).value(), y[i], 1e-14) << i;
        const double mid = x[i] + 0.125;
        EXPECT_NEAR(core.evaluate_single(mid).value(), std::sin(mid), 1e-4) << i;
    }
}

TEST(EdgeCases, QuadraticWhoseCurvatureOverflowsFollowsTheLine) {
    // Slopes of +-2.1e300 are finite, their difference over 2h is not: the triplets fall back to the
    // line through their first two points, so values stay finite and the knots before the last keep
    // their y.
    Values x, y;
    for (int i = 0; i < 6; ++i) {
        x.push_back(0x1p-30 * i);
        y.push_back(i % 2 == 0 ? 1e291 : -1e291);
    }
    QuadraticCore core;
    ASSERT_TRUE(core.fit(x, y));
    for (std::size_t i = 0; i + 1 < x.size(); ++i) {
        EXPECT_NEAR(core.evaluate_single(x[i]).value(), y[i], 1e276) << i;
        const double mid = 0.5 * (x[i] + x[i + 1]), value = core.evaluate_single(mid).value();
        EXPECT_TRUE(std::isfinite(value)) << i;
    }
}

// ---- least squares ------------------------------------------------------------------------------------

TEST(EdgeCases, LeastSquaresFitDoesNotDependOnTheOrderOfThePoints) {
    // Hourly POSIX timestamps with noise, at degree 8: the fit maps [min x, max x] onto [-1, 1] and must find both
    // ends wherever they sit in the data.  Fits of the same points in other orders agree with the one
    // in ascending order to rounding, and the exact quintic under the noise comes out where the noise
    // is small.
    const std::size_t n = 200;
    const double t0 = 1.7e9, span = 3600.0 * (n - 1);
    auto quintic = [&](double x) {
        const double t = (x - t0) / span * 2 - 1;
        return 1 + t * (-0.5 + t * (0.25 + t * (2 + t * (-1 + t * 0.3))));
    };
    Values ascending(n);
    for (std::size_t i = 0; i < n; ++i) ascending[i] = t0 + 3600.0 * static_cast<double>(i);
    auto noisy = [&](double x) { return quintic(x) + 1e-3 * std::sin(x * 1.3e-3); };
    std::mt19937_64 rng(4);
    Values shuffled = ascending;
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    Values high_first = shuffled, low_first = shuffled, descending(ascending.rbegin(), ascending.rend());
    std::iter_swap(high_first.begin(), std::find(high_first.begin(), high_first.end(), ascending[n - 2]));
    std::iter_swap(low_first.begin(), std::find(low_first.begin(), low_first.end(), ascending[1]));
    auto fitted = [&](const Values& x) {
        Values y;
        for (double v : x) y.push_back(noisy(v));
        LeastSquaresCore core(8);
        EXPECT_TRUE(core.fit(x, y));
        return core;
    };
    const LeastSquaresCore reference = fitted(ascending);
    for (const Values& x : {descending, high_first, low_first}) {
        const LeastSquaresCore core = fitted(x);
        for (double q = t0; q <= t0 + span; q += span / 37) {
            EXPECT_NEAR(core.evaluate_single(q).value(), reference.evaluate_single(q).value(), 1e-11);
            EXPECT_NEAR(core.evaluate_single(q).value(), quintic(q), 2e-3);
        }
    }
}

// ---- radial basis functions ---------------------------------------------------------------------------

TEST(EdgeCases, GaussianSoNarrowThatItsSquareOverflows) {
    // epsilon^2 overflows from about 1.3e154 on: every off-diagonal kernel value is exactly 0 and the
    // diagonal 1, so the weights are y and the interpolant is 0 away from the centres.  1e154 still
    // squares to a finite number.
    const Values x{0, 1, 2.5, 4}, y{1, -2, 3, 0.5}, between{0.5, 1.75, 3.25, 10};
    for (double epsilon : {1e154, 1.3e154, 1e200, kInf}) {
        RBFCore core = RBFCore::create(RBFKernel::Gaussian, epsilon).value();
        ASSERT_TRUE(core.fit(x, y)) << epsilon;
        const auto weights = core.fitted_weights().value();
        EXPECT_EQ(Values(weights.begin(), weights.end()), y) << epsilon;
        for (double q : between) EXPECT_EQ(core.evaluate_single(q).value(), 0.0) << epsilon << " at " << q;
        Values out(between.size());
        ASSERT_TRUE(core.fill_many(between, out));
        EXPECT_EQ(out, Values(between.size(), 0.0)) << epsilon;
        // On a centre the only term left is that centre's own, exp(0) times its weight.
        for (std::size_t i = 0; i < x.size(); ++i) EXPECT_EQ(core.evaluate_single(x[i]).value(), y[i]) << epsilon;
        ASSERT_TRUE(core.fill_many(x, out));
        EXPECT_EQ(out, y) << epsilon;
    }
}

// ---- dense solver ---------------------------------------------------------------------------------------

TEST(EdgeCases, DenseSolverSolvesPanelSizedSystems) {
    // Sizes whose trailing columns past the first panel take every vector width (16, 8, 4 and single
    // columns); the residual of a diagonally dominant system is at rounding level.
    for (std::size_t n : {37u, 44u, 52u, 63u, 79u}) {
        std::mt19937_64 rng(n);
        std::uniform_real_distribution<double> value(-1.0, 1.0);
        Values a(n * n), b(n);
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < n; ++j) a[i * n + j] = value(rng) + (i == j ? 8.0 : 0.0);
            b[i] = value(rng);
        }
        auto solved = solve_dense_row_major(a, n, b);
        ASSERT_TRUE(solved.ok()) << n;
        for (std::size_t i = 0; i < n; ++i) {
            double residual = -b[i];
            for (std::size_t j = 0; j < n; ++j) residual += a[i * n + j] * solved.value()[j];
            EXPECT_NEAR(residual, 0.0, 1e-13) << n << " row " << i;
        }
    }
}

// ---- barycentric Lagrange -------------------------------------------------------------------------------

TEST(EdgeCases, LagrangeOnSpansNearTheEndsOfTheDoubleRange) {
    // Node differences around 2^512 or 2^-512 and products of them kept within [2^-512, 2^512] meet
    // outside the double range unless the differences are scaled first; the quadratic through the nodes
    // must come out between them all the same.
    for (double half : {0x1p513, 0x1p-513, 1e300, 1e-300}) {
        for (double centre : {0.0, half * 3}) {
            const Values x = testing::chebyshev_nodes(50, centre - half, centre + half);
            auto quadratic = [&](double t) {
                const double u = (t - centre) / half;
                return 2 + u * (1 - 3 * u);
            };
            Values y;
            for (double t : x) y.push_back(quadratic(t));
            LagrangeCore core;
            ASSERT_TRUE(core.fit(x, y));
            for (double u : {-0.9, -0.31, 0.05, 0.77}) {
                const double t = centre + u * half;
                EXPECT_NEAR(core.evaluate_single(t).value(), quadratic(t), 1e-12) << half << " " << centre << " " << u;
            }
        }
    }
}

TEST(EdgeCases, LagrangeGrowsByFarApartPoints) {
    // Each new node 1e100 away divides every weight by about 1e100: unless they are brought back to
    // magnitude 1 now and then, they underflow by the fourth point.  The cubic through the nodes is kept.
    auto cubic = [](double u) { return 1 + u * (2 + u * (-1 + u * 0.5)); };
    const double h = 1e100;
    Values x, y;
    for (int i = 0; i < 4; ++i) {
        x.push_back(h * i);
        y.push_back(cubic(i));
    }
    LagrangeCore core;
    ASSERT_TRUE(core.fit(x, y));
    for (int i = 4; i < 12; ++i) {
        ASSERT_TRUE(core.add_point(h * i, cubic(i)));
        for (double u : {0.5, 2.25, i - 0.5}) {
            EXPECT_NEAR(core.evaluate_single(h * u).value(), cubic(u), 1e-9 * std::fabs(cubic(u))) << i << " " << u;
        }
    }
}

// ---- Chebyshev series -----------------------------------------------------------------------------------

TEST(EdgeCases, ChebyshevOddCountsWithAValueAtTheMiddleNode) {
    // An odd count puts a node on the interval's midpoint, whose value feeds every coefficient; a smooth
    // function that is not zero there is reproduced at the nodes and approximated between them.
    auto f = [](double x) { return std::exp(0.3 * x) * std::cos(x) + 0.5; };
    for (std::size_t n : {5u, 9u, 33u}) {
        for (bool clenshaw : {true, false}) {
            ChebyshevCore core = ChebyshevCore::create(n, -2.0, 3.0, clenshaw).value();
            EXPECT_EQ(core.use_clenshaw(), clenshaw);
            Values y;
            for (double node : core.nodes()) y.push_back(f(node));
            ASSERT_TRUE(core.fit(y));
            for (std::size_t j = 0; j < n; ++j) EXPECT_NEAR(core.evaluate_single(core.nodes()[j]).value(), y[j], 1e-13);
            if (n == 33) {
                for (double x = -2.0; x <= 3.0; x += 0.123)
                    EXPECT_NEAR(core.evaluate_single(x).value(), f(x), 1e-13) << x;
            }
        }
    }
}

// ---- saved states ---------------------------------------------------------------------------------------

TEST(EdgeCases, RestoredRbfStateWithRepeatedOrNaNCentresIsRefused) {
    RBFCore core = RBFCore::create(RBFKernel::Multiquadric, 1.0).value();
    ASSERT_TRUE(core.fit({0, 1, 2, 3}, {1, 0, 2, 1}));
    auto with_x = [&](Values x) {
        CoreState state = core.state();
        for (StateField& field : state.fields) {
            if (field.name == "x") field.value = std::move(x);
        }
        return state;
    };
    EXPECT_EQ(RBFCore::restore(with_x({0, 1, 1, 3})).error(), "x values must be distinct");
    EXPECT_EQ(RBFCore::restore(with_x({3, 1, 0, 1})).error(), "x values must be distinct");
    EXPECT_EQ(RBFCore::restore(with_x({0, NAN, 2, 3})).error(), "x values must not be NaN");
    EXPECT_TRUE(RBFCore::restore(with_x({3, 1, 0, 2})));
}

TEST(EdgeCases, LeastSquaresDegreeZeroIsTheMeanOnAnySpread) {
    // x spread over subnormals (the inverse half-width overflows) or over most of the double range.
    const Values y{1, 2, 3, 6};
    for (const Values& x : {Values{1e-310, 2e-310, 3e-310, 4e-310}, Values{-1e308, 0, 5e307, 1.7e308}}) {
        LeastSquaresCore core(0);
        ASSERT_TRUE(core.fit(x, y));
        for (double q : {x[0], x[2], 0.0, 1.0}) EXPECT_DOUBLE_EQ(core.evaluate_single(q).value(), 3.0) << q;
    }
}

}  // namespace
}  // namespace morvelay
