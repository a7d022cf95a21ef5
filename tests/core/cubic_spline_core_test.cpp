#include "core/cubic_spline_core.hpp"

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

CubicSplineCore fitted(std::vector<double> x, std::vector<double> y) {
    CubicSplineCore core;
    EXPECT_TRUE(core.fit(std::move(x), std::move(y)));
    return core;
}

std::vector<double> batch(const CubicSplineCore& core, const std::vector<double>& xs) {
    std::vector<double> out(xs.size());
    EXPECT_TRUE(core.fill_many(xs, out));
    return out;
}

double on(const CubicSplineCore& core, std::size_t i, double xq) {
    const SplineSegment& s = core.segments()[i];
    const double t = xq - s.x_start;
    return s.a + t * (s.b + t * (s.c + t * s.d));
}

void expect_segments(const CubicSplineCore& core, const std::vector<std::vector<double>>& expected) {
    ASSERT_EQ(core.segments().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const SplineSegment& s = core.segments()[i];
        const std::vector<double> got{s.a, s.b, s.c, s.d, s.x_start};
        for (std::size_t k = 0; k < 5; ++k)
            EXPECT_NEAR(got[k], expected[i][k], 1e-12) << "segment " << i << " field " << k;
    }
}

TEST(CubicSplineCore, FewPointsGiveTheLineAndTheParabola) {
    const CubicSplineCore line = fitted({0, 2}, {1, 5});
    expect_segments(line, {{1, 2, 0, 0, 0}});
    EXPECT_EQ(line.evaluate_single(3).value(), 7.0);
    EXPECT_EQ(line.evaluate_single(-1).value(), -1.0);
    EXPECT_FALSE(line.inverse_step());
    const CubicSplineCore parabola = fitted({0, 1, 2}, {0, 1, 4});
    expect_segments(parabola, {{0, 0, 1, 0, 0}, {1, 2, 1, 0, 1}});
    EXPECT_EQ(parabola.evaluate_single(3).value(), 9.0);
}

TEST(CubicSplineCore, NotAKnotEnds) {
    const CubicSplineCore cube = fitted({0, 1, 2, 3}, {0, 1, 8, 27});
    expect_segments(cube, {{0, 0, 0, 1, 0}, {1, 3, 3, 1, 1}, {8, 12, 6, 1, 2}});
    EXPECT_NEAR(cube.evaluate_single(1.5).value(), 3.375, 1e-14);
    EXPECT_NEAR(cube.evaluate_single(4).value(), 64.0, 1e-12);
    // A natural spline would have zero curvature at x[0]; this one has -8.
    const CubicSplineCore wave = fitted({0, 1, 2, 3, 4}, {0, 1, 0, 1, 0});
    EXPECT_NEAR(wave.segments()[0].b, 4.0, 1e-14);
    EXPECT_NEAR(wave.segments()[0].c, -4.0, 1e-14);
    EXPECT_NEAR(wave.segments()[0].d, 1.0, 1e-14);
}

TEST(CubicSplineCore, ReproducesCubicsAndJoinsSmoothly) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> gap(0.1, 1.0), where(-2.0, 30.0);
    auto cubic = [](double v) { return ((0.5 * v - 2.0) * v + 1.0) * v - 3.0; };
    for (std::size_t n : {4u, 5u, 6u, 40u}) {
        std::vector<double> x{0.0}, y;
        while (x.size() < n) x.push_back(x.back() + gap(rng));
        for (double v : x) y.push_back(cubic(v));
        const CubicSplineCore core = fitted(x, y);
        for (int k = 0; k < 200; ++k) {
            const double q = where(rng), want = cubic(q);
            EXPECT_NEAR(core.evaluate_single(q).value(), want, 1e-10 * (1.0 + std::fabs(want))) << "n " << n;
        }
    }
    std::vector<double> x{0.0}, y;
    while (x.size() < 30) x.push_back(x.back() + gap(rng));
    for (double v : x) y.push_back(std::sin(v));
    const CubicSplineCore core = fitted(x, y);
    const auto segments = core.segments();
    for (std::size_t i = 0; i + 1 < segments.size(); ++i) {
        const SplineSegment& s = segments[i];
        const double h = x[i + 1] - x[i];
        EXPECT_NEAR(s.a + h * (s.b + h * (s.c + h * s.d)), y[i + 1], 1e-12);
        EXPECT_NEAR(s.b + h * (2 * s.c + 3 * h * s.d), segments[i + 1].b, 1e-11);
        EXPECT_NEAR(s.c + 3 * h * s.d, segments[i + 1].c, 1e-10);
    }
}

// Every path, sorted batches included: segment i at an interior knot x[i] (value y[i] exactly), segment i
// on (x[i], x[i + 1]), the end segments outside.
void expect_selection(const CubicSplineCore& core, const std::vector<double>& y) {
    const auto x = core.x_values();
    const std::size_t n = x.size();
    std::vector<double> queries{x[0] - 5.0, x[n - 1] + 2.0, -kInf};
    for (std::size_t i = 0; i + 1 < n; ++i) queries.push_back(x[i] + 0.375 * (x[i + 1] - x[i]));
    for (std::size_t i = 0; i < n; ++i) queries.push_back(x[i]);
    std::shuffle(queries.begin(), queries.end(), std::mt19937_64(1));
    const auto unsorted = batch(core, queries);
    for (std::size_t k = 0; k < queries.size(); ++k) {
        const double q = queries[k];
        EXPECT_EQ(unsorted[k], core.evaluate_single(q).value());
        const auto at = std::find(x.begin(), x.end(), q);
        if (at != x.end() && at + 1 != x.end()) {  // the last knot is reached through the last cubic
            EXPECT_EQ(unsorted[k], y[static_cast<std::size_t>(at - x.begin())]);
        }
    }
    std::sort(queries.begin(), queries.end());
    const auto swept = batch(core, queries);
    for (std::size_t k = 0; k < queries.size(); ++k) {
        const double q = queries[k];
        const std::size_t below = static_cast<std::size_t>(std::upper_bound(x.begin(), x.end(), q) - x.begin());
        const std::size_t segment = below == 0 ? 0 : std::min(below - 1, n - 2);
        EXPECT_EQ(swept[k], on(core, segment, q)) << "sorted query " << q;
        EXPECT_EQ(swept[k], core.evaluate_single(q).value()) << "sorted query " << q;
    }
}

TEST(CubicSplineCore, SegmentSelectionOnEveryPath) {
    const std::vector<double> y{1, -2, 0.5, 3, 2, -1, 4, 0};
    const CubicSplineCore search = fitted({0, 0.3, 1.1, 1.2, 2.0, 3.7, 3.8, 5.0}, y);
    ASSERT_FALSE(search.inverse_step());
    expect_selection(search, y);
    const CubicSplineCore grid = fitted({0, 0.5, 1, 1.5, 2, 2.5, 3, 3.5}, y);
    ASSERT_EQ(grid.inverse_step(), 2.0);
    expect_selection(grid, y);
}

// Below a step of about 2e-16 the tolerance admits gaps of any size, so the grid's end is no longer n - 1
// steps from its start.  The uniform index cannot be corrected there, and such a grid is searched:
// queries at or beyond x[n - 1] still take the last segment.
TEST(CubicSplineCore, TinyStepGridKeepsTheEndRule) {
    const CubicSplineCore core = fitted({0, 1e-20, 1.5e-20, 1.7e-20}, {0, 1, 3, 2});
    ASSERT_FALSE(core.inverse_step());
    const std::vector<double> queries{1.7e-20, 2e-20, 1e-19};
    const auto values = batch(core, {queries[1], queries[0], queries[2]});
    EXPECT_EQ(values[1], on(core, 2, queries[0]));
    EXPECT_EQ(values[0], on(core, 2, queries[1]));
    for (double q : queries) EXPECT_EQ(core.evaluate_single(q).value(), on(core, 2, q));
}

TEST(CubicSplineCore, SortedBatchesAgreeWithShuffledOnes) {
    std::mt19937_64 rng(9);
    std::uniform_real_distribution<double> where(-1.0, 11.0), gap(0.01, 0.2);
    std::vector<double> x{0.0}, y;
    while (x.size() < 120) x.push_back(x.back() + gap(rng));
    for (double v : x) y.push_back(std::cos(v));
    const CubicSplineCore core = fitted(x, y);
    std::vector<double> queries(3000);
    for (double& q : queries) q = where(rng);
    queries.insert(queries.end(), x.begin(), x.end());
    const auto shuffled = batch(core, queries);
    std::vector<double> sorted = queries;
    std::sort(sorted.begin(), sorted.end());
    const auto swept = batch(core, sorted);
    for (std::size_t k = 0; k < sorted.size(); ++k) {
        const double single = core.evaluate_single(sorted[k]).value();
        EXPECT_NEAR(swept[k], single, 1e-12 * (1.0 + std::fabs(single)));
        EXPECT_EQ(shuffled[k], core.evaluate_single(queries[k]).value());
    }
}

TEST(CubicSplineCore, FitErrorsInOrderAndStateKept) {
    CubicSplineCore core = fitted({0, 1, 2, 3}, {0, 1, 8, 27});
    const std::vector<double> before = batch(core, {-1, 0.5, 1.5, 2.5, 4});
    const char* too_few = "Cubic spline interpolation requires at least 2 data points";
    EXPECT_EQ(core.fit({0}, {0, 1}).error(), "x and y must have the same length (1 vs 2)");
    EXPECT_EQ(core.fit({0}, {0}).error(), too_few);
    EXPECT_EQ(core.fit({}, {}).error(), too_few);
    EXPECT_EQ(core.fit({0, 1, 1}, {0, 1, 2}).error(), "x values must be strictly increasing");
    EXPECT_EQ(core.fit({kNaN, 1}, {0, 1}).error(), "x values must not be NaN");
    EXPECT_EQ(core.fit({0, 1, kNaN, 3, 4}, {0, 1, 2, 3, 4}).error(), "x values must not be NaN");
    EXPECT_EQ(batch(core, {-1, 0.5, 1.5, 2.5, 4}), before);
    EXPECT_EQ(core.num_segments().value(), 3u);
    EXPECT_EQ(core.x_values().size(), 4u);
    EXPECT_EQ(CubicSplineCore().num_segments().error(), "Interpolator not fitted. Call fit(x, y) first.");
}

TEST(CubicSplineCore, NaNQueriesGiveNaNOnEveryPath) {
    for (const auto& x : {std::vector<double>{0, 1, 2, 3, 4}, std::vector<double>{0, 1, 3, 4, 7}}) {
        const CubicSplineCore core = fitted(x, {1, 2, 0, 5, 3});
        EXPECT_TRUE(std::isnan(core.evaluate_single(kNaN).value()));
        std::vector<double> one{kNaN}, out{0};
        ASSERT_TRUE(core.fill_many(one, out));
        EXPECT_TRUE(std::isnan(out[0]));
        std::vector<double> queries(19);
        for (std::size_t k = 0; k < queries.size(); ++k) queries[k] = k % 4 == 1 ? kNaN : 0.4 * static_cast<double>(k);
        const auto values = batch(core, queries);
        for (std::size_t k = 0; k < queries.size(); ++k) {
            if (k % 4 == 1) {
                EXPECT_TRUE(std::isnan(values[k]));
            } else {
                EXPECT_EQ(values[k], core.evaluate_single(queries[k]).value());
            }
        }
    }
}

TEST(CubicSplineCore, InfiniteAndHugeInputsStayDefined) {
    const CubicSplineCore grid = fitted({0, 1, 2, 3, 4}, {0, 1, 0, 1, 0});
    std::vector<double> queries(20);
    for (std::size_t k = 0; k < queries.size(); ++k) queries[k] = (k % 2 ? 1.0 : -1.0) * std::pow(10.0, 30.0 * k);
    queries[3] = kInf;
    queries[4] = -kInf;
    std::vector<double> out(queries.size());
    ASSERT_TRUE(grid.fill_many(queries, out));
    const CubicSplineCore wide = fitted({-1e308, 0, 1e308}, {0, 1, 0});  // widths overflow to inf
    ASSERT_TRUE(wide.fill_many(queries, out));
    ASSERT_TRUE(fitted({-kInf, 0, 1, 2, kInf}, {0, 1, 2, 3, 4}).fill_many(queries, out));
}

// Refits keep the old segment storage when the sizes are close; the answers must be those of a new core,
// and a refit that fails must still leave the previous spline in force.
TEST(CubicSplineCore, RefitsMatchAFreshCore) {
    // Sizes of 250,000 and 300,000 points put the segments on large-buffer storage (over 8 MiB), whose
    // elements start uninitialised; growing, shrinking and reusing it must leave no trace in the result.
    CubicSplineCore reused;
    for (std::size_t n : {1000u, 600u, 1000u, 3u, 2u, 700u, 250000u, 200000u, 300000u, 5u, 250000u}) {
        std::vector<double> x(n), y(n);
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = 0.013 * static_cast<double>(i * i % 7) / 7.0 + 0.011 * static_cast<double>(i);
            y[i] = std::sin(static_cast<double>(i) * 0.37 + static_cast<double>(n));
        }
        std::vector<double> queries;
        for (int k = 0; k <= 200; ++k) queries.push_back(-1.0 + 0.07 * k);
        for (int k = 0; k <= 200; ++k) queries.push_back(x.back() * k / 200.0 + 0.001);
        ASSERT_TRUE(reused.fit(x, y));
        const std::vector<double> expected = batch(fitted(x, y), queries);
        EXPECT_EQ(batch(reused, queries), expected) << n;
        EXPECT_FALSE(reused.fit({0, 2, 1}, {0, 0, 0}));
        EXPECT_EQ(batch(reused, queries), expected) << n;
    }
}

}  // namespace
}  // namespace morvelay
