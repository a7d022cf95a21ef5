// The three piecewise cores take one segment per query whatever the path: the single point, an unsorted
// batch (eight counts at a time) and a sorted batch (the sweep) all give the bits of the segment that
// std::upper_bound picks among the stored knots.  The grids that matter are the evenly spaced ones far
// from zero or finely spaced, where the knots sit off x0 + k h by rounding, and those just either side of
// the spacing test's tolerance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/cubic_spline_core.hpp"
#include "core/linear_core.hpp"
#include "core/quadratic_core.hpp"
#include "piecewise_reference.hpp"

namespace morvelay {
namespace {

using namespace testing;
using Values = std::vector<double>;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

bool same_bits(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

Values evenly_spaced(double x0, double h, std::size_t n) {
    Values x(n);
    for (std::size_t i = 0; i < n; ++i) x[i] = x0 + h * static_cast<double>(i);
    return x;
}

struct Grid {
    std::string name;
    Values x;
    bool uniform;  // whether the core should take it as evenly spaced
};

std::vector<Grid> grids() {
    std::vector<Grid> all;
    // Near 1e6 and 1.7e9 the gaps of x0 + h i differ by ulps of x, thousands of times the tolerance:
    // those grids are searched, and must count right all the same.
    for (const auto& [x0, h, n, uniform] :
         {std::tuple{1.0, 2e-9, 1000, true}, std::tuple{1e6, 1e-4, 700, false}, std::tuple{1.7e9, 1e-3, 600, false},
          std::tuple{0.0, 2e-9, 500, true}, std::tuple{0.0, 0.1, 300, true}, std::tuple{-3.0, 0.7, 64, true}}) {
        const std::string name = std::to_string(x0) + " + " + std::to_string(h) + " i";
        all.push_back({name, evenly_spaced(x0, h, static_cast<std::size_t>(n)), uniform});
    }
    // One gap of 0.1 i off by 0.9 and by 1.1 of the tolerance |h| 1e-10 + 2^-52: just inside, the
    // uniform index serves it; just outside, the guide table.
    for (const auto& [factor, uniform] : {std::pair{0.9, true}, std::pair{1.1, false}}) {
        Values x = evenly_spaced(0.0, 0.1, 300);
        const double tolerance = 0.1 * 1e-10 + 2.220446049250313e-16;
        const double gap = x[151] - x[150];
        for (std::size_t i = 151; i < x.size(); ++i) x[i] += (0.1 + factor * tolerance) - gap;
        all.push_back({uniform ? "just inside the tolerance" : "just outside the tolerance", x, uniform});
    }
    // Near 1 with h = 2e-9 the tolerance is about one ulp of x: one knot two ulps up breaks it.
    Values moved = evenly_spaced(1.0, 2e-9, 1000);
    moved[500] = std::nextafter(std::nextafter(moved[500], kInf), kInf);
    all.push_back({"1 + 2e-9 i, one knot two ulps up", moved, false});
    return all;
}

// Every knot, the doubles one and two ulps either side, points 1e-9 .. 1e-3 of a step either side,
// midpoints, the ends and beyond, NaN, the infinities and both zeros.
Values probing_queries(const Values& x) {
    Values q = {kNaN, -kInf, kInf, 0.0, -0.0, x.front() - 1.0, x.back() + 1.0};
    const double h = x[1] - x[0];
    for (std::size_t i = 0; i < x.size(); ++i) {
        q.push_back(x[i]);
        double below = x[i], above = x[i];
        for (int k = 0; k < 2; ++k) {
            below = std::nextafter(below, -kInf);
            above = std::nextafter(above, kInf);
            q.push_back(below);
            q.push_back(above);
        }
        for (double d : {1e-9, 1e-6, 1e-3}) {
            q.push_back(x[i] - d * h);
            q.push_back(x[i] + d * h);
        }
        if (i + 1 < x.size()) q.push_back(x[i] * 0.5 + x[i + 1] * 0.5);
    }
    return q;
}

template <class Core, class Reference>
void expect_every_path_on_the_reference(const Core& core, const Values& x, Reference reference,
                                        const std::string& name) {
    Values queries = probing_queries(x);
    std::shuffle(queries.begin(), queries.end(), std::mt19937_64(5));
    Values unsorted(queries.size());
    ASSERT_TRUE(core.fill_many(queries, unsorted));
    for (std::size_t k = 0; k < queries.size(); ++k) {
        const double expected = reference(core, queries[k]);
        ASSERT_TRUE(same_bits(core.evaluate_single(queries[k]).value(), expected))
            << name << ": single at " << queries[k];
        ASSERT_TRUE(same_bits(unsorted[k], expected)) << name << ": unsorted batch at " << queries[k];
        Values one(1);
        ASSERT_TRUE(core.fill_many(std::span<const double>(&queries[k], 1), one));
        ASSERT_TRUE(same_bits(one[0], expected)) << name << ": one-query batch at " << queries[k];
    }
    // NaN leaves a batch unsorted: the sorted batch is the rest.
    std::erase_if(queries, [](double q) { return std::isnan(q); });
    std::sort(queries.begin(), queries.end());
    Values sorted(queries.size());
    ASSERT_TRUE(core.fill_many(queries, sorted));
    for (std::size_t k = 0; k < queries.size(); ++k) {
        ASSERT_TRUE(same_bits(sorted[k], reference(core, queries[k]))) << name << ": sorted batch at " << queries[k];
    }
}

TEST(SegmentRule, EveryPathTakesTheSearchSegmentOnEveryGrid) {
    for (const Grid& grid : grids()) {
        Values y(grid.x.size());
        for (std::size_t i = 0; i < y.size(); ++i)
            y[i] = std::sin(2.0 * std::numbers::pi * static_cast<double>(i) / 10);
        LinearCore linear;
        ASSERT_TRUE(linear.fit(grid.x, y));
        ASSERT_EQ(linear.inverse_step().has_value(), grid.uniform) << grid.name;
        expect_every_path_on_the_reference(linear, grid.x, linear_reference, grid.name);
        QuadraticCore quadratic;
        ASSERT_TRUE(quadratic.fit(grid.x, y));
        ASSERT_EQ(quadratic.inverse_step().has_value(), grid.uniform) << grid.name;
        expect_every_path_on_the_reference(quadratic, grid.x, quadratic_reference, grid.name);
        CubicSplineCore spline;
        ASSERT_TRUE(spline.fit(grid.x, y));
        ASSERT_EQ(spline.inverse_step().has_value(), grid.uniform) << grid.name;
        expect_every_path_on_the_reference(spline, grid.x, spline_reference, grid.name);
    }
}

// A step far below 2^-52 passes the spacing test on its absolute term alone, whatever the later gaps:
// the uniform index cannot be corrected by one knot there, so the grid is searched.
TEST(SegmentRule, GridsTheIndexCannotServeAreSearched) {
    const Values x = {0.0, 1e-20, 1e-17, 2e-17, 1e-16, 2e-16};
    Values y(x.size());
    for (std::size_t i = 0; i < y.size(); ++i) y[i] = static_cast<double>(i * i);
    LinearCore linear;
    ASSERT_TRUE(linear.fit(x, y));
    EXPECT_FALSE(linear.inverse_step());
    expect_every_path_on_the_reference(linear, x, linear_reference, "tiny first step");
    QuadraticCore quadratic;
    ASSERT_TRUE(quadratic.fit(x, y));
    expect_every_path_on_the_reference(quadratic, x, quadratic_reference, "tiny first step");
    CubicSplineCore spline;
    ASSERT_TRUE(spline.fit(x, y));
    expect_every_path_on_the_reference(spline, x, spline_reference, "tiny first step");
}

// A query 90 ulps below knot 353 of 1 + 2e-9 i: the flat segment before the knot, not the steep one after
// it extrapolated backwards (which gave 0.9510601461).
TEST(SegmentRule, OffsetGridNearAKnot) {
    const Values x = evenly_spaced(1.0, 2e-9, 1000);
    Values y(x.size());
    for (std::size_t i = 0; i < y.size(); ++i) y[i] = std::sin(2.0 * std::numbers::pi * static_cast<double>(i) / 10);
    const double q = 1.00000070599998;
    LinearCore linear;
    ASSERT_TRUE(linear.fit(x, y));
    ASSERT_TRUE(linear.inverse_step());
    EXPECT_NEAR(linear.evaluate_single(q).value(), 0.9510565163, 1e-10);
    Values queries = {0.5, q, 2.0, 1.0000001, q, 1.0, 1.0000019, 1.0000005, q};
    Values out(queries.size());
    ASSERT_TRUE(linear.fill_many(queries, out));
    EXPECT_NEAR(out[1], 0.9510565163, 1e-10);
    EXPECT_NEAR(out[8], 0.9510565163, 1e-10);
}

// y near 1e300 on steps of 1e-9: slopes of 1e309 overflow, and the coefficients with them.  The knots a
// segment starts (or is centred on) still give their y, on every path.
TEST(SegmentRule, KnotsKeepTheirValueWhenSlopesOverflow) {
    const Values x = evenly_spaced(0.0, 1e-9, 40);
    Values y(x.size());
    for (std::size_t i = 0; i < y.size(); ++i) y[i] = (i % 2 == 0 ? 1e300 : -1.5e300) + 1e298 * static_cast<double>(i);
    QuadraticCore quadratic;
    CubicSplineCore spline;
    ASSERT_TRUE(quadratic.fit(x, y));
    ASSERT_TRUE(spline.fit(x, y));
    Values shuffled = x;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937_64(2));
    for (const Values& queries : {x, shuffled}) {
        Values q_out(queries.size()), s_out(queries.size());
        ASSERT_TRUE(quadratic.fill_many(queries, q_out));
        ASSERT_TRUE(spline.fill_many(queries, s_out));
        for (std::size_t k = 0; k < queries.size(); ++k) {
            const std::size_t i = static_cast<std::size_t>(std::find(x.begin(), x.end(), queries[k]) - x.begin());
            if (i > 0 && i + 1 < x.size()) {  // the end knots lie off the end parabolas' middles
                EXPECT_EQ(q_out[k], y[i]) << i;
                EXPECT_EQ(quadratic.evaluate_single(queries[k]).value(), y[i]) << i;
            }
            if (i + 1 < x.size()) {  // the last knot is reached through the last cubic
                EXPECT_EQ(s_out[k], y[i]) << i;
                EXPECT_EQ(spline.evaluate_single(queries[k]).value(), y[i]) << i;
            }
        }
    }
}

}  // namespace
}  // namespace morvelay
