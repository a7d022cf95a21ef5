#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "core/newton_core.hpp"
#include "polynomial_testing.hpp"

namespace morvelay {
namespace {

using testing::same_bits;
using Values = std::vector<double>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

Values coefficients_of(const NewtonCore& core) { return {core.coefficients().begin(), core.coefficients().end()}; }

TEST(NewtonCore, QuadraticThroughThreePointsInAnyOrder) {
    NewtonCore core;
    ASSERT_TRUE(core.fit({0, 1, 2}, {1, 3, 7}));
    EXPECT_EQ(coefficients_of(core), (Values{1, 2, 1}));
    EXPECT_EQ(core.evaluate_single(3).value(), 13);  // extrapolated, no error
    EXPECT_EQ(core.evaluate_single(0.5).value(), 1.75);

    ASSERT_TRUE(core.fit({2, 0, 1}, {7, 1, 3}));
    EXPECT_EQ(coefficients_of(core), (Values{7, 3, 1}));
    EXPECT_EQ(core.evaluate_single(3).value(), 13);
    EXPECT_EQ(core.x_values()[0], 2);  // never sorted
}

TEST(NewtonCore, SinglePointIsConstantEverywhere) {
    NewtonCore core;
    ASSERT_TRUE(core.fit({1}, {5}));
    for (double t : {-1e300, 1e300, kNaN, kInf, 1.0}) EXPECT_EQ(core.evaluate_single(t).value(), 5);
    Values xs{kNaN, 0, -kInf}, out(3);
    ASSERT_TRUE(core.fill_many(xs, out));
    EXPECT_EQ(out, (Values{5, 5, 5}));
}

TEST(NewtonCore, CoincidentNodesGiveInfinitiesNotErrors) {
    NewtonCore core;
    ASSERT_TRUE(core.fit({0, 0}, {1, 2}));
    EXPECT_EQ(core.coefficients()[1], kInf);
    EXPECT_FALSE(std::isfinite(core.evaluate_single(0.5).value()));
}

TEST(NewtonCore, FitChecksAndFailureKeepsThePolynomial) {
    NewtonCore core;
    EXPECT_EQ(core.evaluate_single(0).error(), "Interpolator not fitted. Call fit(x, y) first.");
    Values none;
    EXPECT_EQ(core.fill_many(none, none).error(), "Interpolator not fitted. Call fit(x, y) first.");
    EXPECT_EQ(core.fit({}, {}).error(), "x and y cannot be empty");
    EXPECT_EQ(core.fit({}, {1}).error(), "x and y must have the same length (0 vs 1)");
    EXPECT_FALSE(core.fitted());

    ASSERT_TRUE(core.fit({0, 1, 2}, {1, 3, 7}));
    EXPECT_FALSE(core.fit({0, 1}, {1}));
    EXPECT_EQ(core.evaluate_single(3).value(), 13);
    EXPECT_EQ(core.x_values().size(), 3u);

    Values three{1, 2, 3}, four(4, -1.0);
    EXPECT_EQ(core.fill_many(three, four).error(), "input and output must have the same length (3 vs 4)");
    EXPECT_EQ(four, Values(4, -1.0));  // nothing written
    EXPECT_TRUE(core.fill_many(none, none));
}

TEST(NewtonCore, BatchIsBitIdenticalToSinglePoints) {
    std::mt19937_64 rng(7);
    NewtonCore core;
    ASSERT_TRUE(core.fit(testing::chebyshev_nodes(11, -1, 3), testing::uniform_draws(rng, 11, -5, 5)));
    for (std::size_t size : testing::kBatchSizes) {
        Values queries = testing::uniform_draws(rng, size, -2, 4);
        queries[size / 2] = size % 2 ? kNaN : core.x_values()[3];
        EXPECT_TRUE(testing::batch_matches_single(core, queries)) << size;
    }
}

TEST(NewtonCore, ReproducesACubicOnManyNodes) {
    auto cubic = [](double t) { return ((2 * t - 1) * t + 3) * t - 4; };
    Values x{-1, 1, 0, -0.5, 0.5, 0.75, -0.25}, y;
    for (double t : x) y.push_back(cubic(t));
    NewtonCore core;
    ASSERT_TRUE(core.fit(x, y));
    for (double t : {-0.9, -0.2, 0.4, 0.95, 2.0}) EXPECT_NEAR(core.evaluate_single(t).value(), cubic(t), 1e-13);
    for (std::size_t k = 4; k < x.size(); ++k) EXPECT_NEAR(core.coefficients()[k], 0.0, 1e-13);
}

}  // namespace
}  // namespace morvelay
