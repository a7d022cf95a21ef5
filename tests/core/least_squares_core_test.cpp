#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "core/least_squares_core.hpp"

namespace morvelay {
namespace {

using Values = std::vector<double>;

LeastSquaresCore fitted(std::size_t degree, Values x, Values y) {
    LeastSquaresCore core(degree);
    EXPECT_TRUE(core.fit(std::move(x), std::move(y)).ok());
    return core;
}

std::string fit_error(std::size_t degree, Values x, Values y) {
    LeastSquaresCore core(degree);
    Status status = core.fit(std::move(x), std::move(y));
    EXPECT_FALSE(status.ok());
    return status.error();
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(LeastSquaresCore, KnownFits) {
    LeastSquaresCore line = fitted(1, {0, 1, 2, 3}, {1, 3, 2, 4});
    EXPECT_NEAR(line.coefficients()[0], 1.3, 1e-14);
    EXPECT_NEAR(line.coefficients()[1], 0.8, 1e-14);
    EXPECT_NEAR(line.r_squared().value(), 0.64, 1e-14);

    LeastSquaresCore parabola = fitted(2, {0, 1, 2, 3, 4}, {1, 6, 17, 34, 57});
    for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(parabola.coefficients()[k], 1.0 + k, 1e-13);
    EXPECT_NEAR(parabola.r_squared().value(), 1.0, 1e-15);

    // Degree 0 is the mean, bit for bit, so the residuals are exactly the spread.
    LeastSquaresCore mean = fitted(0, {3, 1, 2}, {0.1, 0.7, 0.4});
    EXPECT_EQ(mean.coefficients()[0], (0.1 + 0.7 + 0.4) / 3.0);
    EXPECT_EQ(mean.r_squared().value(), 0.0);
    EXPECT_EQ(fitted(1, {0, 1, 2}, {5, 5, 5}).r_squared().value(), 1.0);
    // Unsorted and repeated x are fine while the system is not singular.
    EXPECT_NEAR(fitted(1, {2, 0, 2, 1}, {4, 0, 4, 2}).coefficients()[1], 2.0, 1e-14);
}

TEST(LeastSquaresCore, FitFailuresInOrder) {
    EXPECT_EQ(fit_error(5, {0, 1}, {0}), "x and y must have the same length (2 vs 1)");
    EXPECT_EQ(fit_error(0, {}, {}), "x and y cannot be empty");
    EXPECT_EQ(fit_error(2, {1, 2}, {1, 2}), "Need at least 3 points for degree 2 polynomial");
    const std::size_t largest = std::numeric_limits<std::size_t>::max();
    EXPECT_EQ(fit_error(largest, {1, 2}, {1, 2}),
              "Need at least 18446744073709551616 points for degree 18446744073709551615 polynomial");
    EXPECT_EQ(fit_error(1, {1, 1, 1}, {1, 2, 3}), "Singular matrix near pivot 1");
    // Fewer distinct x than degree + 1 cannot fix the polynomial, wherever the x lie.
    EXPECT_EQ(fit_error(2, {5e8, 5e8, 5e8 + 1, 5e8 + 1}, {1, 2, 3, 4}), "Singular matrix near pivot 2");
    EXPECT_EQ(fit_error(1, {-1e-9, -1e-9, -1e-9}, {1, 2, 3}), "Singular matrix near pivot 1");
}

TEST(LeastSquaresCore, TooFewDistinctXFailWhateverTheRepeats) {
    // The test is relative to each column's norm, so sums that grow with N cannot hide a dependent
    // column: three distinct x fix at most a parabola, at any count and any offset.
    for (std::size_t repeats : {3u, 300u, 30000u}) {
        for (double offset : {0.0, 2001.5, 1.7e9}) {
            Values x, y;
            for (std::size_t r = 0; r < repeats; ++r) {
                for (double v : {0.0, 0.3, 1.0}) {
                    x.push_back(offset + v);
                    y.push_back(1.0 + (x.back() - offset));
                }
            }
            EXPECT_EQ(fit_error(3, x, y), "Singular matrix near pivot 3") << repeats << " at " << offset;
            EXPECT_EQ(fit_error(6, x, y), "Singular matrix near pivot 3") << repeats << " at " << offset;
            EXPECT_NEAR(fitted(2, x, y).evaluate_single(x[1]).value(), y[1], 1e-12) << repeats << " at " << offset;
        }
    }
    // Distinct but clustered x still fix every column: one point in 10^5 away from the rest.
    Values x(100001, 0.0), y(100001, 1.0);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = i % 4 == 0 ? 0.25 * static_cast<double>(i % 16) : 0.0;
    x.back() = 7.0;
    y.back() = 2.0;
    EXPECT_TRUE(LeastSquaresCore(4).fit(x, y).ok());
}

TEST(LeastSquaresCore, FailedFitKeepsTheEarlierOne) {
    LeastSquaresCore core = fitted(1, {0, 1, 2, 3}, {1, 3, 2, 4});
    const Values before(core.coefficients().begin(), core.coefficients().end());
    EXPECT_FALSE(core.fit({1, 1, 1}, {1, 2, 3}).ok());
    EXPECT_FALSE(core.fit({1}, {1}).ok());
    EXPECT_EQ(Values(core.coefficients().begin(), core.coefficients().end()), before);
    EXPECT_EQ(core.point_count(), 4u);
    EXPECT_NEAR(core.r_squared().value(), 0.64, 1e-14);
}

TEST(LeastSquaresCore, BatchIsBitIdenticalToSinglePoints) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(-3.0, 3.0);
    Values x(200), y(200);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = u(rng);
        y[i] = std::sin(x[i]) + 0.1 * u(rng);
    }
    const LeastSquaresCore core = fitted(5, x, y);
    for (std::size_t m : {0u, 1u, 15u, 16u, 37u, 1000u}) {
        Values xs(m), out(m);
        for (double& v : xs) v = u(rng) * 10.0;
        if (m > 3) xs[3] = std::numeric_limits<double>::infinity();
        ASSERT_TRUE(core.fill_many(xs, out).ok());
        for (std::size_t i = 0; i < m; ++i) ASSERT_TRUE(same_bits(out[i], core.evaluate_single(xs[i]).value()));
        if (m > 3) {
            EXPECT_TRUE(std::isnan(out[3]));
        }
    }
}

TEST(LeastSquaresCore, UnfittedAndLengthChecks) {
    LeastSquaresCore core(3);
    Values in(3), out(2);
    const std::string not_fitted = "Interpolator not fitted. Call fit(x, y) first.";
    EXPECT_EQ(core.evaluate_single(0).error(), not_fitted);
    EXPECT_EQ(core.r_squared().error(), not_fitted);
    EXPECT_EQ(core.fill_many(in, out).error(), not_fitted);
    core = fitted(1, {0, 1}, {0, 1});
    EXPECT_EQ(core.fill_many(in, out).error(), "input and output must have the same length (3 vs 2)");
}

// ---- Data far from zero, or finely spread, fits as well as data on [-1, 1] ----

TEST(LeastSquaresCore, SmallAndOffsetXFitLikeUnitX) {
    // Tiny x once made tiny pivots; the line through these points is 1 + 1000 x.
    const LeastSquaresCore tiny = fitted(2, {0, 0.001, 0.002}, {1, 2, 3});
    EXPECT_NEAR(tiny.evaluate_single(0.0015).value(), 2.5, 1e-12);
    EXPECT_NEAR(tiny.coefficients()[1], 1000.0, 1e-9);
    fitted(2, {0, 0.01, 0.02}, {1, 2, 3});

    // A quartic in the elapsed time over timestamps near 1.7e9: raw powers of x reach 1e37, and their
    // normal equations lose every digit.
    for (double offset : {0.0, 1e3, 1e6, 1.7e9}) {
        Values x(360), y(360);
        const auto quartic = [](double s) { return 1.0 + s * (-2.0 + s * (0.5 + s * (0.25 - 0.125 * s))); };
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double s = static_cast<double>(i) / 60.0;
            x[i] = offset + 10.0 * static_cast<double>(i);
            y[i] = quartic(s);
        }
        const LeastSquaresCore core = fitted(4, x, y);
        for (std::size_t i = 0; i < x.size(); i += 7) {
            EXPECT_NEAR(core.evaluate_single(x[i]).value(), y[i], 1e-9 * (1.0 + std::fabs(y[i]))) << offset;
        }
        EXPECT_NEAR(core.r_squared().value(), 1.0, 1e-12) << offset;
    }
}

TEST(LeastSquaresCore, OneDistinctXNeverDividesByZero) {
    const LeastSquaresCore mean = fitted(0, {3, 3, 3}, {1, 2, 4});
    EXPECT_EQ(mean.coefficients()[0], 7.0 / 3.0);
    EXPECT_EQ(mean.evaluate_single(3).value(), 7.0 / 3.0);
    EXPECT_EQ(mean.evaluate_single(-1e300).value(), 7.0 / 3.0);
    EXPECT_EQ(fit_error(1, {3, 3, 3}, {1, 2, 4}), "Singular matrix near pivot 1");
    // A single point at degree 0, and a huge spread whose width would overflow if taken directly.
    EXPECT_EQ(fitted(0, {-2}, {5}).evaluate_single(1).value(), 5.0);
    const double big = std::numeric_limits<double>::max();
    const LeastSquaresCore wide = fitted(1, {-big, 0, big}, {-1, 0, 1});
    EXPECT_NEAR(wide.evaluate_single(big / 2).value(), 0.5, 1e-15);
}

// The power-basis coefficients in x reproduce what is evaluated (in the scaled variable).
TEST(LeastSquaresCore, CoefficientsAreInPowersOfX) {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Values x(50), y(50);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = 10.0 + 5.0 * u(rng);
        y[i] = std::exp(0.2 * x[i]) + 0.01 * u(rng);
    }
    const LeastSquaresCore core = fitted(3, x, y);
    ASSERT_EQ(core.coefficients().size(), 4u);
    EXPECT_EQ(core.point_count(), 50u);
    for (double q : {5.0, 7.5, 10.0, 14.0}) {
        double power = 0.0;
        for (std::size_t k = 4; k-- > 0;) power = q * power + core.coefficients()[k];
        EXPECT_NEAR(power, core.evaluate_single(q).value(), 1e-10 * std::fabs(power)) << q;
    }
}

}  // namespace
}  // namespace morvelay
