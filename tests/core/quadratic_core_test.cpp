#include "core/quadratic_core.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace morvelay {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
using Values = std::vector<double>;

QuadraticCore fitted(std::vector<double> x, std::vector<double> y) {
    QuadraticCore core;
    EXPECT_TRUE(core.fit(std::move(x), std::move(y)));
    return core;
}

// The value of parabola k as the core evaluates it, for checking which parabola a query took.
double on(const QuadraticCore& core, std::size_t k, double xq) {
    const auto abc = core.coefficients();
    const double t = xq - core.x_values()[k + 1];
    return abc[3 * k] + t * (abc[3 * k + 1] + t * abc[3 * k + 2]);
}

std::vector<double> batch(const QuadraticCore& core, const std::vector<double>& xs) {
    std::vector<double> out(xs.size());
    EXPECT_TRUE(core.fill_many(xs, out));
    return out;
}

TEST(QuadraticCore, SingleTripletIsTheParabolaEverywhere) {
    const QuadraticCore core = fitted({0, 1, 2}, {0, 1, 4});
    ASSERT_EQ(core.coefficients().size(), 3u);
    for (double xq : {-5.0, -1.0, 0.0, 0.5, 2.0, 3.0, 10.0}) EXPECT_EQ(core.evaluate_single(xq).value(), xq * xq);
}

TEST(QuadraticCore, ReproducesSquaresInsideAndOutside) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> gap(0.05, 0.2), where(-3.0, 8.0);
    std::vector<double> x{-1.0}, y;
    while (x.size() < 40) x.push_back(x.back() + gap(rng));
    for (double v : x) y.push_back(v * v);
    const QuadraticCore core = fitted(x, y);
    std::vector<double> queries(500);
    for (double& q : queries) q = where(rng);
    const auto values = batch(core, queries);
    for (std::size_t k = 0; k < queries.size(); ++k) {
        const double expected = queries[k] * queries[k];
        EXPECT_NEAR(values[k], expected, 1e-12 * (1.0 + expected));
        EXPECT_EQ(core.evaluate_single(queries[k]).value(), values[k]);  // unsorted batch == single point
    }
}

// Interval [x[i], x[i+1]) with i >= 1 takes triplet i - 1; left of x[2] triplet 0; from x[n-2] on the last.
void expect_triplets(const QuadraticCore& core, bool exact_knots) {
    const auto x = core.x_values();
    const std::size_t n = x.size();
    std::vector<double> queries{x[0] - 7.0, x[0], x[n - 1], x[n - 1] + 3.0, kInf, -kInf};
    std::vector<std::size_t> expected{0, 0, n - 3, n - 3, n - 3, 0};
    for (std::size_t i = 0; i + 1 < n; ++i) {
        queries.push_back(0.5 * (x[i] + x[i + 1]));
        expected.push_back(i == 0 ? 0 : std::min(i - 1, n - 3));
        if (exact_knots && i >= 1) {
            queries.push_back(x[i]);
            expected.push_back(std::min(i - 1, n - 3));
        }
    }
    const auto unsorted = batch(core, queries);
    for (std::size_t k = 0; k < queries.size(); ++k) {
        const double want = on(core, expected[k], queries[k]);
        EXPECT_EQ(core.evaluate_single(queries[k]).value(), want) << "query " << queries[k];
        EXPECT_EQ(unsorted[k], want) << "query " << queries[k];
    }
    std::vector<std::size_t> order(queries.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return queries[a] < queries[b]; });
    std::vector<double> sorted;
    for (std::size_t k : order) sorted.push_back(queries[k]);
    const auto swept = batch(core, sorted);
    for (std::size_t k = 0; k < order.size(); ++k) {
        EXPECT_EQ(swept[k], on(core, expected[order[k]], sorted[k])) << "sorted query " << sorted[k];
    }
}

TEST(QuadraticCore, SegmentSelectionOnEveryPath) {
    std::mt19937_64 rng(11);
    std::normal_distribution<double> noise;
    std::vector<double> y(12);
    for (double& v : y) v = noise(rng);
    std::vector<double> uneven{0, 0.3, 1.1, 1.2, 2.0, 3.7, 3.8, 5.0, 5.5, 7.0, 7.25, 9.0};
    const QuadraticCore search = fitted(uneven, y);
    ASSERT_FALSE(search.inverse_step());
    expect_triplets(search, true);
    std::vector<double> even(12);
    for (std::size_t i = 0; i < even.size(); ++i) even[i] = 0.25 * static_cast<double>(i);
    const QuadraticCore grid = fitted(even, y);
    ASSERT_TRUE(grid.inverse_step());
    expect_triplets(grid, true);  // quarter steps are exact, so floor and count agree even on knots
}

TEST(QuadraticCore, SortedBatchesAgreeWithShuffledOnes) {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> where(-1.0, 11.0);
    std::vector<double> x(101), y(101);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = 0.1 * static_cast<double>(i);
        y[i] = std::sin(x[i]);
    }
    const QuadraticCore core = fitted(x, y);
    ASSERT_TRUE(core.inverse_step());  // 0.1 steps in doubles are uneven, yet well within the tolerance
    std::vector<double> queries(4000);
    for (double& q : queries) q = where(rng);
    queries.insert(queries.end(), x.begin(), x.end());  // knots, where the two rules may differ by a segment
    std::vector<double> sorted = queries;
    std::sort(sorted.begin(), sorted.end());
    const auto swept = batch(core, sorted);
    for (std::size_t k = 0; k < sorted.size(); ++k) {
        const double single = core.evaluate_single(sorted[k]).value();
        EXPECT_NEAR(swept[k], single, 1e-12 * (1.0 + std::fabs(single)));
    }
}

// Fine spacing is no reason to give up the curvature: x = [0, h, 2h, 3h], y = [0, 1, 4, 9] is (x/h)^2 at
// every spacing, the same as at h = 1.
TEST(QuadraticCore, FineSpacingKeepsTheParabola) {
    for (double h : {1.0, 1e-5, 1e-9, 1e-100}) {
        const QuadraticCore core = fitted({0, h, 2 * h, 3 * h}, {0, 1, 4, 9});
        for (double s : {-1.5, 0.25, 0.5, 1.0, 1.75, 2.5, 4.0}) {
            const double value = core.evaluate_single(s * h).value();
            EXPECT_NEAR(value, s * s, 1e-9 * s * s) << "h=" << h << " s=" << s;
        }
    }
}

// Only a triplet whose spacing is not finite has no parabola: it becomes the line through its first
// two points.
TEST(QuadraticCore, NonFiniteSpacingBecomesALine) {
    const double big = std::numeric_limits<double>::max();
    const QuadraticCore core = fitted({-big, 0, big}, {1, 3, 5});
    const auto abc = core.coefficients();
    EXPECT_EQ(abc[0], 3.0);
    EXPECT_EQ(abc[1], 2.0 / big);
    EXPECT_EQ(abc[2], 0.0);
    EXPECT_EQ(core.evaluate_single(0).value(), 3.0);
    EXPECT_EQ(core.evaluate_single(big).value(), 5.0);
}

TEST(QuadraticCore, UniformDetectionThresholds) {
    const std::vector<double> y{0, 1, 4, 9};
    EXPECT_EQ(fitted({0, 1, 2, 3}, y).inverse_step(), 1.0);
    EXPECT_FALSE(fitted({0, 1, 2, 3.5}, y).inverse_step());
    EXPECT_TRUE(fitted({0, 1, 2.00000000005, 3}, y).inverse_step());
    EXPECT_FALSE(fitted({0, 1, 2.0000000002, 3}, y).inverse_step());
}

TEST(QuadraticCore, FitErrorsInOrderAndStateKept) {
    QuadraticCore core = fitted({0, 1, 2, 3}, {0, 1, 4, 9});
    const std::vector<double> x_before(core.x_values().begin(), core.x_values().end());
    const std::vector<double> abc_before(core.coefficients().begin(), core.coefficients().end());
    const char* too_few = "Quadratic interpolation requires at least 3 data points";
    const char* unsorted = "x values must be strictly increasing";
    EXPECT_EQ(core.fit({0, 1}, {0, 1, 2}).error(), "x and y must have the same length (2 vs 3)");
    EXPECT_EQ(core.fit({0, 1}, {0, 1}).error(), too_few);
    EXPECT_EQ(core.fit({}, {}).error(), too_few);
    EXPECT_EQ(core.fit({0, 1, 1, 2}, {0, 1, 2, 3}).error(), unsorted);
    EXPECT_EQ(core.fit({2, 1, 0}, {0, 1, 2}).error(), unsorted);
    EXPECT_EQ(core.fit({0, kNaN, 2}, {0, 1, 2}).error(), "x values must not be NaN");
    EXPECT_EQ(core.fit({0, 1, kNaN}, {0, 1, 2}).error(), "x values must not be NaN");
    EXPECT_TRUE(core.fitted());
    EXPECT_EQ(std::vector<double>(core.x_values().begin(), core.x_values().end()), x_before);
    EXPECT_EQ(std::vector<double>(core.coefficients().begin(), core.coefficients().end()), abc_before);
    EXPECT_EQ(core.inverse_step(), 1.0);
}

TEST(QuadraticCore, NaNQueriesGiveNaNOnEveryPath) {
    for (const auto& x : {std::vector<double>{0, 1, 2, 3, 4}, std::vector<double>{0, 1, 3, 4, 7}}) {
        const QuadraticCore core = fitted(x, {1, 2, 0, 5, 3});
        EXPECT_TRUE(std::isnan(core.evaluate_single(kNaN).value()));
        std::vector<double> one{kNaN}, out{0};
        ASSERT_TRUE(core.fill_many(one, out));
        EXPECT_TRUE(std::isnan(out[0]));
        std::vector<double> queries(17, 0.0);
        for (std::size_t k = 0; k < queries.size(); ++k) queries[k] = k % 3 == 0 ? kNaN : 0.4 * static_cast<double>(k);
        const auto values = batch(core, queries);
        for (std::size_t k = 0; k < queries.size(); ++k) {
            if (k % 3 == 0) {
                EXPECT_TRUE(std::isnan(values[k]));
            } else {
                EXPECT_EQ(values[k], core.evaluate_single(queries[k]).value());
            }
        }
    }
}

// ---- Accuracy depends on the spacing, not on how far x lies from zero ----

// The parabola through points k, k+1, k+2 at q, in Lagrange form and long double: a reference that
// shares no step with the core's divided differences.
double exact_parabola(const Values& x, const Values& y, std::size_t k, double q) {
    long double sum = 0.0L;
    for (std::size_t j = k; j < k + 3; ++j) {
        long double term = y[j];
        for (std::size_t l = k; l < k + 3; ++l) {
            if (l != j) term *= (static_cast<long double>(q) - x[l]) / (static_cast<long double>(x[j]) - x[l]);
        }
        sum += term;
    }
    return static_cast<double>(sum);
}

// cos on 20,000 uneven points, gaps 0.001 to 0.01, x up to ~110 and the same shifted by 1e6: each query
// gets its triplet's parabola to rounding, and so cos to the method's own error (max |cos'''| / 6 times
// 0.375 h^3 for h = 0.01, about 6e-8).  In the absolute variable both were off by up to 6e-3.
TEST(QuadraticCore, FarFromZeroAsAccurateAsNearIt) {
    for (double shift : {0.0, 1e6}) {
        std::mt19937_64 rng(29);
        std::uniform_real_distribution<double> gap(0.001, 0.01), unit(0.0, 1.0);
        Values x{shift}, y;
        while (x.size() < 20000) x.push_back(x.back() + gap(rng));
        for (double v : x) y.push_back(std::cos(v - shift));
        const QuadraticCore core = fitted(x, y);
        ASSERT_GT(x.back() - shift, 100.0);
        Values queries(20000);
        for (std::size_t k = 0; k < queries.size(); ++k) {
            const std::size_t i = k % (x.size() - 1);
            queries[k] = x[i] + unit(rng) * (x[i + 1] - x[i]);
        }
        const Values values = batch(core, queries);
        double worst_parabola = 0.0, worst_cos = 0.0;
        for (std::size_t k = 0; k < queries.size(); ++k) {
            const std::size_t i = k % (x.size() - 1);
            const std::size_t triplet = i == 0 ? 0 : std::min(i - 1, x.size() - 3);
            worst_parabola = std::max(worst_parabola, std::fabs(values[k] - exact_parabola(x, y, triplet, queries[k])));
            worst_cos = std::max(worst_cos, std::fabs(values[k] - std::cos(queries[k] - shift)));
        }
        EXPECT_LT(worst_parabola, 1e-13) << "shift " << shift;
        EXPECT_LT(worst_cos, 7e-8) << "shift " << shift;
    }
}

}  // namespace
}  // namespace morvelay
