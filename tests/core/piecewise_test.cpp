// The guide table and the shared batch evaluator of the piecewise cores: every unsorted batch must take
// exactly the segment the binary search takes, whatever the grid's shape.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/cubic_spline_core.hpp"
#include "core/linear_core.hpp"
#include "core/quadratic_core.hpp"
#include "core/search.hpp"
#include "piecewise_reference.hpp"

namespace morvelay {
namespace {

using namespace testing;
using Values = std::vector<double>;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const double kMax = std::numeric_limits<double>::max();
const double kTiny = std::numeric_limits<double>::denorm_min();

struct Grid {
    std::string name;
    Values x;
    bool guided;  // whether the grid gets a table (the others must still count right, by the plain search)
};

Values uneven(std::size_t n, double lo, double hi, unsigned seed) {
    std::mt19937_64 engine(seed);
    std::uniform_real_distribution<double> step(0.5, 1.5);
    Values x(n);
    double position = 0.0;
    for (double& v : x) {
        v = position;
        position += step(engine);
    }
    for (double& v : x) v = lo + (hi - lo) * (v / x.back());
    return x;
}

std::vector<Grid> grids() {
    std::vector<Grid> all;
    all.push_back({"uneven", uneven(1000, -3.0, 7.0, 1), true});
    // Five thousand knots crowd into the first slice, a handful spread over the rest.
    Values clustered;
    for (int i = 0; i < 5000; ++i) clustered.push_back(i * 1e-9);
    for (int i = 1; i <= 10; ++i) clustered.push_back(i * 0.1);
    all.push_back({"clustered", clustered, true});
    Values geometric;
    for (int i = 0; i < 200; ++i) geometric.push_back(std::pow(1.1, i));
    all.push_back({"geometric", geometric, true});
    // Knots in pairs: two to a slice, each compared with in turn.
    Values pairs;
    for (int i = 0; i < 40; ++i) pairs.push_back((i / 2) + (i % 2) * 0.001);
    all.push_back({"pairs", pairs, true});
    // The grids below bracket 40 knots in [-1, 1] (or subnormals) with far-off ends.
    const auto bracketed = [](double lo, double hi, double step) {
        Values x = {lo};
        for (int i = -20; i < 20; ++i) x.push_back(i * step);
        x.push_back(hi);
        return x;
    };
    all.push_back({"huge span", bracketed(-1e300, 1e300, 0.05), true});
    // x - x0 overflows here; the table works in halves of x.
    all.push_back({"widest span", bracketed(-kMax, kMax, 0.05), true});
    Values subnormal = bracketed(-1e-300, 1.0, 3 * kTiny);
    subnormal.insert(subnormal.end() - 1, 1e-310);
    all.push_back({"subnormals", subnormal, true});
    // Too few knots for a table, or a span too small for one.
    all.push_back({"two knots", {1.0, 2.5}, false});
    all.push_back({"three knots", {-1.0, 0.0, 10.0}, false});
    Values smallest(40);
    for (std::size_t i = 0; i < smallest.size(); ++i) smallest[i] = static_cast<double>(i) * kTiny;
    all.push_back({"smallest subnormals", smallest, false});
    all.push_back({"infinite end", bracketed(-kInf, 3.0, 0.05), false});
    return all;
}

// Every knot and both of its neighbouring doubles, midpoints, the ends of the doubles, NaN and random
// values across the span.
Values probing_queries(const Values& x) {
    Values q = {kNaN, -kInf, kInf, -kMax, kMax, 0.0, -0.0};
    for (std::size_t i = 0; i < x.size(); ++i) {
        q.push_back(x[i]);
        q.push_back(std::nextafter(x[i], -kInf));
        q.push_back(std::nextafter(x[i], kInf));
        if (i + 1 < x.size()) q.push_back(x[i] * 0.5 + x[i + 1] * 0.5);
    }
    std::mt19937_64 engine(7);
    const double lo = std::isfinite(x.front()) ? x.front() : -10.0;
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    for (int k = 0; k < 2000; ++k) q.push_back(lo + (x.back() * 0.5 - lo * 0.5) * 2.0 * uniform(engine));
    std::shuffle(q.begin(), q.end(), engine);  // never sorted, so batches take the unsorted paths
    return q;
}

TEST(KnotGuide, CountsExactlyAsTheBinarySearchOnEveryGrid) {
    for (const Grid& grid : grids()) {
        KnotGuide guide;
        guide.assign(grid.x, true);
        EXPECT_EQ(!guide.empty(), grid.guided) << grid.name;
        const Values queries = probing_queries(grid.x);
        for (double q : queries) {
            ASSERT_EQ(guide.count_not_above(grid.x, q), count_not_above(grid.x, q)) << grid.name << " at " << q;
        }
        if (guide.empty()) continue;
        for (std::size_t k = 0; k + 8 <= queries.size(); k += 8) {
            std::size_t counts[8];
            guide.count_not_above<8>(grid.x, queries.data() + k, counts);
            for (std::size_t l = 0; l < 8; ++l) {
                ASSERT_EQ(counts[l], count_not_above(grid.x, queries[k + l])) << grid.name << " at " << queries[k + l];
            }
        }
    }
}

TEST(KnotGuide, RebuildsInPlaceAndStaysEmptyWhenNotWanted) {
    KnotGuide guide;
    guide.assign(uneven(50, 0.0, 1.0, 3), false);
    EXPECT_TRUE(guide.empty());
    // A large table, then a small one in the same storage, then a large one again: each counts for its own x.
    for (std::size_t n : {5000u, 40u, 300u}) {
        const Values x = uneven(n, -1.0, 2.0, static_cast<unsigned>(n));
        guide.reserve(n);
        guide.assign(x, true);
        ASSERT_FALSE(guide.empty());
        for (double q : probing_queries(x)) ASSERT_EQ(guide.count_not_above(x, q), count_not_above(x, q)) << n;
    }
}

template <class Core, class Reference>
void expect_batch_and_single_on_the_search_segment(const Core& core, const Values& queries, Reference reference,
                                                   const std::string& name) {
    Values out(queries.size());
    ASSERT_TRUE(core.fill_many(queries, out));
    for (std::size_t k = 0; k < queries.size(); ++k) {
        const double expected = reference(core, queries[k]);
        const double single = core.evaluate_single(queries[k]).value();
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(out[k]) && std::isnan(single)) << name << " at " << queries[k];
        } else {
            ASSERT_EQ(out[k], expected) << name << " batch at " << queries[k];
            ASSERT_EQ(single, expected) << name << " single at " << queries[k];
        }
    }
}

TEST(PiecewiseBatch, UnsortedQueriesTakeTheSearchSegmentOnEveryGrid) {
    for (const Grid& grid : grids()) {
        if (grid.x.size() < 2 || !std::isfinite(grid.x.front())) continue;  // the cores' fits want finite knots
        Values y(grid.x.size());
        for (std::size_t i = 0; i < y.size(); ++i) y[i] = std::sin(static_cast<double>(i)) + 0.001 * i;
        const Values queries = probing_queries(grid.x);

        LinearCore linear;
        ASSERT_TRUE(linear.fit(grid.x, y));
        expect_batch_and_single_on_the_search_segment(linear, queries, linear_reference, grid.name);
        CubicSplineCore spline;
        ASSERT_TRUE(spline.fit(grid.x, y));
        expect_batch_and_single_on_the_search_segment(spline, queries, spline_reference, grid.name);
        if (grid.x.size() >= 3) {
            QuadraticCore quadratic;
            ASSERT_TRUE(quadratic.fit(grid.x, y));
            expect_batch_and_single_on_the_search_segment(quadratic, queries, quadratic_reference, grid.name);
        }
    }
}

// add_point changes x in place: the guide must follow, including when the new knots pile into one slice
// and when the grid turns even (the uniform index takes over) and uneven again.
TEST(PiecewiseBatch, LinearGuideFollowsAddPoint) {
    LinearCore core;
    ASSERT_TRUE(core.fit({0.0, 1.0, 2.5, 4.0}, {1.0, -1.0, 2.0, 0.5}));
    for (int k = 1; k <= 300; ++k) {
        ASSERT_TRUE(core.add_point(2.5 + k * 1e-6, std::cos(k)));
        if (k % 50 == 0) {
            expect_batch_and_single_on_the_search_segment(
                core, probing_queries(Values(core.x_values().begin(), core.x_values().end())), linear_reference,
                "after " + std::to_string(k));
        }
    }
    LinearCore even;
    ASSERT_TRUE(even.fit({0.0, 1.0, 3.0}, {0.0, 1.0, 0.0}));
    ASSERT_TRUE(even.add_point(2.0, 5.0));
    EXPECT_TRUE(even.inverse_step());
    ASSERT_TRUE(even.add_point(7.0, 1.0));
    EXPECT_FALSE(even.inverse_step());
    expect_batch_and_single_on_the_search_segment(even, probing_queries({0.0, 1.0, 2.0, 3.0, 7.0}), linear_reference,
                                                  "even, then uneven");
}

}  // namespace
}  // namespace morvelay
