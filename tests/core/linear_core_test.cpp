#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "core/linear_core.hpp"

namespace morvelay {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
using Values = std::vector<double>;

LinearCore fitted(Values x, Values y) {
    LinearCore core;
    EXPECT_TRUE(core.fit(std::move(x), std::move(y)).ok());
    return core;
}

Values many(const LinearCore& core, const Values& xs) {
    Values out(xs.size());
    EXPECT_TRUE(core.fill_many(xs, out).ok());
    return out;
}

TEST(LinearCore, FitSortsAndRejects) {
    LinearCore core = fitted({2, 0, 1}, {20, 0, 10});
    EXPECT_EQ(Values(core.x_values().begin(), core.x_values().end()), (Values{0, 1, 2}));
    EXPECT_EQ(Values(core.y_values().begin(), core.y_values().end()), (Values{0, 10, 20}));
    EXPECT_EQ(core.evaluate_single(0.5).value(), 5.0);

    LinearCore empty;
    EXPECT_EQ(empty.fit({0, 1, 1}, {0, 1, 2}).error(), "x values must be distinct");
    EXPECT_EQ(empty.fit({1, 0, 1}, {0, 1, 2}).error(), "x values must be distinct");
    EXPECT_EQ(empty.fit({}, {}).error(), "x and y cannot be empty");
    EXPECT_EQ(empty.fit({0, 1}, {0}).error(), "x and y must have the same length (2 vs 1)");
    EXPECT_EQ(empty.fit({0, kNaN, 1}, {0, 1, 2}).error(), "x values must not be NaN");
    EXPECT_FALSE(empty.fitted());
    EXPECT_EQ(empty.evaluate_single(0).error(), "Interpolator not fitted. Call fit(x, y) first.");
}

TEST(LinearCore, FailedCallsLeaveTheCoreAsItWas) {
    LinearCore core = fitted({0, 1, 2}, {0, 1, 4});
    EXPECT_FALSE(core.fit({3, 3}, {1, 1}).ok());
    EXPECT_FALSE(core.update_y({1, 2}).ok());
    EXPECT_FALSE(core.add_point(1, 7).ok());
    EXPECT_FALSE(core.add_point(kNaN, 7).ok());
    EXPECT_EQ(core.x_values().size(), 3u);
    EXPECT_EQ(core.evaluate_single(1.5).value(), 2.5);
    EXPECT_TRUE(core.inverse_step().has_value());
}

TEST(LinearCore, ClampsOutsideAndHandlesOneKnot) {
    LinearCore core = fitted({0, 1, 2.5}, {1, 3, 2});
    EXPECT_EQ(core.evaluate_single(-7).value(), 1.0);
    EXPECT_EQ(core.evaluate_single(0).value(), 1.0);
    EXPECT_EQ(core.evaluate_single(2.5).value(), 2.0);
    EXPECT_EQ(core.evaluate_single(1e300).value(), 2.0);
    EXPECT_EQ(core.evaluate_single(1).value(), 3.0);  // an interior knot: its own value exactly

    LinearCore single = fitted({5}, {1});
    for (double q : {-1.0, 5.0, 9.0, kNaN}) EXPECT_EQ(single.evaluate_single(q).value(), 1.0);
    EXPECT_EQ(many(single, {kNaN, 0, 7}), (Values{1, 1, 1}));
}

TEST(LinearCore, NaNQueriesGiveNaNOnEveryPath) {
    LinearCore uniform = fitted({0, 1, 2, 3}, {0, 1, 4, 9});
    LinearCore uneven = fitted({0, 1, 2.5, 3}, {0, 1, 4, 9});
    for (const LinearCore* core : {&uniform, &uneven}) {
        EXPECT_TRUE(std::isnan(core->evaluate_single(kNaN).value()));
        Values out = many(*core, {0.5, kNaN, 2.0, kNaN});
        EXPECT_TRUE(std::isnan(out[1]) && std::isnan(out[3]));
        EXPECT_EQ(out[0], 0.5);
    }
}

TEST(LinearCore, UniformDetection) {
    EXPECT_EQ(fitted({0, 1, 2, 3}, {0, 0, 0, 0}).inverse_step(), 1.0);
    EXPECT_FALSE(fitted({0, 1, 2.5}, {0, 0, 0}).inverse_step().has_value());
    EXPECT_FALSE(fitted({0, 1}, {0, 0}).inverse_step().has_value());
    EXPECT_TRUE(fitted({0, 0.1, 0.2, 0.3}, {0, 0, 0, 0}).inverse_step().has_value());
    EXPECT_FALSE(fitted({0, 1, 2, 3.001}, {0, 0, 0, 0}).inverse_step().has_value());
}

// Sorted sweep, uniform index and binary search must agree (exactly, away from the knots).
TEST(LinearCore, EveryPathAgreesWithTheSinglePoint) {
    std::mt19937_64 random(11);
    for (bool uniform : {true, false}) {
        Values x(200), y(200);
        for (std::size_t i = 0; i < x.size(); ++i) {
            x[i] = uniform ? 0.25 * static_cast<double>(i) : 0.25 * static_cast<double>(i) + 0.1 * std::sin(i * 1.7);
            y[i] = std::cos(0.3 * static_cast<double>(i));
        }
        LinearCore core = fitted(x, y);
        ASSERT_EQ(core.inverse_step().has_value(), uniform);
        std::uniform_real_distribution<double> query(-5.0, 55.0);
        Values xs(1000);
        for (double& q : xs) q = query(random);
        Values shuffled = many(core, xs);
        std::sort(xs.begin(), xs.end());
        Values sorted = many(core, xs);
        for (std::size_t k = 0; k < xs.size(); ++k) {
            const double single = core.evaluate_single(xs[k]).value();
            EXPECT_EQ(sorted[k], single) << xs[k];
        }
        std::sort(shuffled.begin(), shuffled.end());
        Values sorted_values = sorted;
        std::sort(sorted_values.begin(), sorted_values.end());
        EXPECT_EQ(shuffled, sorted_values);
    }
}

TEST(LinearCore, SweepAtInteriorKnotsIsTheSinglePoint) {
    LinearCore core = fitted({0, 0.1, 0.2, 0.3, 0.7}, {3, -1, 2, 0.5, 9});
    Values knots = {0, 0.1, 0.2, 0.3, 0.7};
    Values out = many(core, knots);
    for (std::size_t k = 0; k < knots.size(); ++k) EXPECT_EQ(out[k], core.evaluate_single(knots[k]).value());
}

// The unsorted batch runs eight searches in lockstep and picks clamps afterwards: every query, at every
// position of a block and in the tail, must still be the single point's value to the bit.
TEST(LinearCore, UnsortedBatchIsTheSinglePointBitForBit) {
    const double inf = std::numeric_limits<double>::infinity();
    for (const Values& x : {Values{0, 0.5, 1, 1.5, 2, 2.5}, Values{0, 0.3, 1, 1.6, 2, 2.5}}) {
        LinearCore core = fitted(x, {1, -2, 0.7, 3, -0.1, 5});
        Values xs = {2.5, 0, -inf, 1.6, kNaN, 0.31, inf, 1, 2.6, -0.2, 0.5, 1.99, 2.25};
        Values out = many(core, xs);
        for (std::size_t k = 0; k < xs.size(); ++k) {
            const double single = core.evaluate_single(xs[k]).value();
            if (std::isnan(single)) {
                EXPECT_TRUE(std::isnan(out[k]));
            } else {
                EXPECT_EQ(out[k], single) << xs[k];
            }
        }
    }
}

// A sorted batch evaluates an interior knot on the segment starting there and gives the knot its own value,
// repeated queries alike, with the clamped ends exact.
TEST(LinearCore, SortedSweepGivesKnotsTheirOwnValue) {
    const Values x = {0, 0.1, 0.3, 0.7}, y = {3, -1, 2, 0.5};
    LinearCore core = fitted(x, y);
    Values out = many(core, {-1, 0, 0.1, 0.1, 0.2, 0.3, 0.7, 0.7, 5});
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(out[1], 3);
    EXPECT_EQ(out[2], -1);
    EXPECT_EQ(out[3], -1);
    EXPECT_EQ(out[5], 2);
    EXPECT_EQ(out[6], 0.5);
    EXPECT_EQ(out[8], 0.5);
}

TEST(LinearCore, FillManyChecksAndEmptyBuffers) {
    LinearCore unfitted;
    Values out(2);
    EXPECT_EQ(unfitted.fill_many(Values{1, 2, 3}, out).error(), "Interpolator not fitted. Call fit(x, y) first.");
    LinearCore core = fitted({0, 1}, {0, 1});
    EXPECT_EQ(core.fill_many(Values{1, 2, 3}, out).error(), "input and output must have the same length (3 vs 2)");
    EXPECT_TRUE(core.fill_many({}, {}).ok());
}

TEST(LinearCore, UpdateY) {
    LinearCore core = fitted({0, 1, 2}, {0, 1, 4});
    EXPECT_EQ(core.update_y({1, 2}).error(), "y must have length 3 (same as x), got 2");
    ASSERT_TRUE(core.update_y({0, 2, 6}).ok());
    EXPECT_EQ(core.evaluate_single(0.5).value(), 1.0);
    EXPECT_EQ(LinearCore().update_y({1}).error(), "Interpolator not fitted. Call fit(x, y) first.");
}

TEST(LinearCore, AddPoint) {
    LinearCore core = fitted({0, 2, 4}, {0, 4, 8});
    ASSERT_TRUE(core.add_point(1, 1).ok());
    EXPECT_EQ(Values(core.x_values().begin(), core.x_values().end()), (Values{0, 1, 2, 4}));
    EXPECT_EQ(Values(core.slopes().begin(), core.slopes().end()), (Values{1, 3, 2}));
    EXPECT_EQ(core.evaluate_single(0.5).value(), 0.5);
    EXPECT_EQ(core.add_point(2, 5).error(), "x_new = 2 already exists in the data");
    EXPECT_EQ(core.add_point(-0.0, 5).error(), "x_new = -0 already exists in the data");

    // Ends, and the uniform grid re-detected after the insertion.
    LinearCore ends = fitted({1, 2}, {10, 20});
    ASSERT_TRUE(ends.add_point(0, 0).ok());
    ASSERT_TRUE(ends.add_point(3, 0).ok());
    EXPECT_EQ(Values(ends.slopes().begin(), ends.slopes().end()), (Values{10, 10, -20}));
    EXPECT_EQ(ends.inverse_step(), 1.0);
    ASSERT_TRUE(ends.add_point(3.5, 0).ok());
    EXPECT_FALSE(ends.inverse_step().has_value());
    EXPECT_EQ(LinearCore().add_point(1, 1).error(), "Interpolator not fitted. Call fit(x, y) first.");
}

// Refits and update_y keep the old slope storage when the sizes are close; answers must match a new core.
TEST(LinearCore, RefitsMatchAFreshCore) {
    LinearCore reused;
    Values queries;
    for (int k = 0; k <= 300; ++k) queries.push_back(-1.0 + 0.05 * k);
    for (std::size_t n : {500u, 300u, 500u, 2u, 1u, 400u}) {
        Values x(n), y(n);
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = 0.03 * static_cast<double>(i) + 0.001 * static_cast<double>(i % 3);
            y[i] = std::cos(static_cast<double>(i + n));
        }
        ASSERT_TRUE(reused.fit(x, y).ok());
        EXPECT_EQ(many(reused, queries), many(fitted(x, y), queries)) << n;
        for (double& v : y) v = -2.0 * v;
        ASSERT_TRUE(reused.update_y(y).ok());
        EXPECT_EQ(many(reused, queries), many(fitted(x, y), queries)) << n;
    }
}

// ---- A query on a knot is that knot's value, bit for bit, on every path ----

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Every way the core can meet a query: single point, sorted sweep (one query, a run, a long sorted
// batch), and unsorted batches long enough for the eight-lane search or the uniform index.
void expect_knots_exact(const LinearCore& core) {
    const Values x(core.x_values().begin(), core.x_values().end());
    const Values y(core.y_values().begin(), core.y_values().end());
    Values sorted;
    for (std::size_t i = 0; i < x.size(); ++i) sorted.insert(sorted.end(), {x[i], x[i]});
    Values shuffled = sorted;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937_64(5));
    for (const Values& queries : {sorted, shuffled}) {
        const Values out = many(core, queries);
        for (std::size_t k = 0; k < queries.size(); ++k) {
            const std::size_t i = static_cast<std::size_t>(std::find(x.begin(), x.end(), queries[k]) - x.begin());
            ASSERT_TRUE(same_bits(out[k], y[i])) << "batch at x[" << i << "] = " << x[i];
            ASSERT_TRUE(same_bits(core.evaluate_single(queries[k]).value(), y[i])) << "single at x[" << i << "]";
            ASSERT_TRUE(same_bits(many(core, {queries[k]})[0], y[i])) << "one-query batch at x[" << i << "]";
        }
    }
}

TEST(LinearCore, KnotValuesSurviveNonFiniteNeighbours) {
    const double inf = std::numeric_limits<double>::infinity();
    expect_knots_exact(fitted({0, 1, 2}, {kNaN, 0, 1}));
    expect_knots_exact(fitted({1, 2, 3, 4}, {1, 2, inf, 4}));
    expect_knots_exact(fitted({1, 2, 3.5, 4}, {1, -inf, 3, kNaN}));
    // -0 is a value of its own, which y + slope * 0 would have turned into +0.
    expect_knots_exact(fitted({0, 1, 2, 3}, {1, -0.0, -0.0, 2}));
}

TEST(LinearCore, KnotValuesOnEveryGrid) {
    std::mt19937_64 random(17);
    std::normal_distribution<double> value(0.0, 1e3);
    for (const char* grid : {"tenths", "uneven", "offset"}) {
        Values x(300), y(300);
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double k = static_cast<double>(i);
            // Tenths are inexact in binary, so the uniform index lands on the segment before a knot for
            // some of them; an offset grid does the same.
            x[i] = grid[0] == 't' ? 0.1 * k : (grid[0] == 'u' ? k + 0.3 * std::sin(k) : 1000.0 + 0.7 * k);
            y[i] = value(random);
        }
        for (std::size_t i = 7; i < y.size(); i += 29) y[i] = i % 2 ? kNaN : -std::numeric_limits<double>::infinity();
        const LinearCore core = fitted(x, y);
        ASSERT_EQ(core.inverse_step().has_value(), grid[0] != 'u') << grid;
        expect_knots_exact(core);
    }
}

// A one-element batch is sorted, so it takes the sweep, which must still turn a NaN into NaN.
TEST(LinearCore, OneNaNQueryBatchIsNaN) {
    for (const Values& x : {Values{0, 1, 2, 3}, Values{0, 1, 2.5, 3}}) {
        EXPECT_TRUE(std::isnan(many(fitted(x, {0, 1, 4, 9}), {kNaN})[0]));
    }
    EXPECT_TRUE(std::isnan(many(fitted({0, 1}, {0, 1}), {kNaN})[0]));
}

}  // namespace
}  // namespace morvelay
