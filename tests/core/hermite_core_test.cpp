#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "core/hermite_core.hpp"
#include "polynomial_testing.hpp"

namespace morvelay {
namespace {

using testing::same_bits;
using Values = std::vector<double>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Values coefficients_of(const HermiteCore& core) { return {core.coefficients().begin(), core.coefficients().end()}; }

// The textbook form: the whole zero-filled (2n)^2 table, column by column, diagonal kept.
Values table_coefficients(const Values& x, const Values& y, const Values& dy) {
    const std::size_t n = x.size(), m = 2 * n;
    Values z(m);
    for (std::size_t k = 0; k < n; ++k) z[2 * k] = z[2 * k + 1] = x[k];
    std::vector<Values> q(m, Values(m, 0.0));
    for (std::size_t k = 0; k < n; ++k) q[2 * k][0] = q[2 * k + 1][0] = y[k];
    for (std::size_t k = 0; k < n; ++k) q[2 * k + 1][1] = dy[k];
    for (std::size_t k = 1; k < n; ++k) q[2 * k][1] = (q[2 * k][0] - q[2 * k - 1][0]) / (z[2 * k] - z[2 * k - 1]);
    for (std::size_t l = 2; l < m; ++l) {
        for (std::size_t r = l; r < m; ++r) q[r][l] = (q[r][l - 1] - q[r - 1][l - 1]) / (z[r] - z[r - l]);
    }
    Values c(m);
    for (std::size_t k = 0; k < m; ++k) c[k] = q[k][k];
    return c;
}

TEST(HermiteCore, ValuesAndSlopesFromTheTextbookCases) {
    HermiteCore core;
    ASSERT_TRUE(core.fit({0, 1}, {0, 1}, {0, 0}));  // 3t^2 - 2t^3
    EXPECT_EQ(Values(core.doubled_nodes().begin(), core.doubled_nodes().end()), (Values{0, 0, 1, 1}));
    EXPECT_EQ(coefficients_of(core), (Values{0, 0, 1, -2}));
    EXPECT_EQ(core.evaluate_single(0.5).value(), 0.5);
    EXPECT_EQ(core.evaluate_single(2).value(), -4);

    ASSERT_TRUE(core.fit({2}, {5}, {3}));  // a single node is the tangent line
    EXPECT_EQ(coefficients_of(core), (Values{5, 3}));
    EXPECT_EQ(core.evaluate_single(4).value(), 11);

    ASSERT_TRUE(core.fit({0, 1, 2}, {0, 1, 2}, {1, 1, 1}));
    EXPECT_EQ(coefficients_of(core), (Values{0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(core.evaluate_single(1.5).value(), 1.5);

    ASSERT_TRUE(core.fit({0, 1, 2}, {1, 3, 7}, {1, 3, 5}));  // t^2 + t + 1
    EXPECT_EQ(coefficients_of(core), (Values{1, 1, 1, 0, 0, 0}));
    EXPECT_EQ(core.evaluate_single(1.5).value(), 4.75);
    EXPECT_EQ(core.evaluate_single(3).value(), 13);
    EXPECT_EQ(core.x_values().size(), 3u);
}

TEST(HermiteCore, ColumnByColumnEqualsTheFullTableBitForBit) {
    std::mt19937_64 rng(11);
    for (std::size_t n = 1; n <= 12; ++n) {
        for (int round = 0; round < 5; ++round) {
            Values x = testing::uniform_draws(rng, n, -3, 3);
            if (round == 4 && n > 2) x[n - 1] = x[0];  // coincident nodes: infinities and NaN alike
            const Values y = testing::uniform_draws(rng, n, -10, 10), dy = testing::uniform_draws(rng, n, -10, 10);
            const Values expected = table_coefficients(x, y, dy);
            HermiteCore core;
            ASSERT_TRUE(core.fit(x, y, dy));
            ASSERT_EQ(core.coefficients().size(), 2 * n);
            for (std::size_t k = 0; k < 2 * n; ++k) {
                EXPECT_TRUE(same_bits(core.coefficients()[k], expected[k])) << "n=" << n << " k=" << k;
            }
        }
    }
}

TEST(HermiteCore, MatchesValuesAndDerivativesOfASmoothFunction) {
    const Values x = testing::chebyshev_nodes(8, -1, 1);
    Values y, dy;
    for (double t : x) {
        y.push_back(std::exp(t));
        dy.push_back(std::exp(t));
    }
    HermiteCore core;
    ASSERT_TRUE(core.fit(x, y, dy));
    for (double t = -1; t <= 1; t += 0.125) EXPECT_NEAR(core.evaluate_single(t).value(), std::exp(t), 1e-13);
}

TEST(HermiteCore, FitChecksAndFailureKeepsThePolynomial) {
    HermiteCore core;
    const char* not_fitted = "Interpolator not fitted. Call fit(x, y, dy) first.";
    EXPECT_EQ(core.evaluate_single(0).error(), not_fitted);
    Values none;
    EXPECT_EQ(core.fill_many(none, none).error(), not_fitted);
    EXPECT_EQ(core.fit({1, 2}, {1, 2}, {1}).error(), "x and y/dy must have the same length (2 vs 2)");
    EXPECT_EQ(core.fit({1, 2}, {1}, {1}).error(), "x and y/dy must have the same length (2 vs 1)");
    EXPECT_EQ(core.fit({1, 2, 3}, {1, 2, 3}, {1, 2, 3, 4}).error(), "x and y/dy must have the same length (3 vs 4)");
    EXPECT_EQ(core.fit({}, {}, {1}).error(), "x and y/dy must have the same length (0 vs 1)");
    EXPECT_EQ(core.fit({}, {}, {}).error(), "x, y, and dy cannot be empty");

    ASSERT_TRUE(core.fit({1, 1}, {1, 2}, {0, 0}));  // coincident nodes are not an error
    EXPECT_FALSE(std::isfinite(core.evaluate_single(0.5).value()));

    ASSERT_TRUE(core.fit({0, 1}, {0, 1}, {0, 0}));
    EXPECT_FALSE(core.fit({0, 1}, {0}, {0, 0}));
    EXPECT_EQ(core.evaluate_single(2).value(), -4);
    EXPECT_EQ(core.coefficients().size(), 4u);
}

TEST(HermiteCore, BatchIsBitIdenticalToSinglePoints) {
    std::mt19937_64 rng(5);
    HermiteCore core;
    ASSERT_TRUE(core.fit(testing::uniform_draws(rng, 6, 0, 2), testing::uniform_draws(rng, 6, -1, 1),
                         testing::uniform_draws(rng, 6, -1, 1)));
    for (std::size_t size : testing::kBatchSizes) {
        Values queries = testing::uniform_draws(rng, size, -0.5, 2.5);
        queries[0] = size == 8 ? kNaN : core.x_values()[2];
        EXPECT_TRUE(testing::batch_matches_single(core, queries)) << size;
    }
}

}  // namespace
}  // namespace morvelay
