#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "core/chebyshev_core.hpp"

namespace morvelay {
namespace {

using Values = std::vector<double>;
const double kPi = 3.141592653589793;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

ChebyshevCore made(std::size_t n, double lo, double hi, bool clenshaw = true) {
    Result<ChebyshevCore> core = ChebyshevCore::create(n, lo, hi, clenshaw);
    EXPECT_TRUE(core.ok());
    return std::move(core).value();
}

template <class F>
ChebyshevCore sampled(std::size_t n, double lo, double hi, F f) {
    ChebyshevCore core = made(n, lo, hi);
    Values y;
    for (double node : core.nodes()) y.push_back(f(node));
    EXPECT_TRUE(core.fit(y).ok());
    return core;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(ChebyshevCore, CreateRefusals) {
    EXPECT_EQ(ChebyshevCore::create(0, -1, 1, true).error(), "n_points must be positive");
    EXPECT_EQ(ChebyshevCore::create(8, 1, 1, false).error(), "x_min must be less than x_max");
    EXPECT_EQ(ChebyshevCore::create(8, 2, 1, false).error(), "x_min must be less than x_max");
    EXPECT_TRUE(ChebyshevCore::create(3, kNaN, 1, true).ok());  // an unordered bound is not refused
}

TEST(ChebyshevCore, NodePlacement) {
    EXPECT_EQ(made(1, 0.25, 1.5).nodes()[0], (0.25 + 1.5) * 0.5);
    const ChebyshevCore two = made(2, -1, 1);
    EXPECT_EQ(two.nodes()[0], std::cos(kPi / 4));
    EXPECT_EQ(two.nodes()[1], -std::cos(kPi / 4));
    for (std::size_t n : {7u, 10u, 33u}) {
        const ChebyshevCore core = made(n, -2.5, 2.5);
        const auto nodes = core.nodes();
        for (std::size_t j = 0; j < n; ++j) EXPECT_EQ(nodes[n - 1 - j], -nodes[j]);
        for (std::size_t j = 0; j + 1 < n; ++j) EXPECT_GT(nodes[j], nodes[j + 1]);
        if (n % 2) {
            EXPECT_EQ(nodes[n / 2], 0.0);
        }
    }
    EXPECT_EQ(made(5, 1, 4).nodes()[2], 2.5);
}

TEST(ChebyshevCore, FitMatchesTheTransformAndInterpolates) {
    auto f = [](double x) { return std::exp(x) * std::sin(3 * x); };
    for (std::size_t n : {1u, 2u, 3u, 4u, 5u, 9u, 16u, 31u}) {
        const ChebyshevCore core = sampled(n, -1, 1, f);
        // The plain O(n^2) transform, with T_k(t) = cos(k theta).
        for (std::size_t k = 0; k < n; ++k) {
            double sum = 0;
            for (std::size_t j = 0; j < n; ++j) {
                const double theta = (2.0 * j + 1) * kPi / (2.0 * n);
                sum += f(std::cos(theta)) * std::cos(k * theta);
            }
            const double expected = (k == 0 ? 1.0 : 2.0) * sum / n;
            EXPECT_NEAR(core.coefficients()[k], expected, 1e-13) << "n=" << n << " k=" << k;
        }
        for (double node : core.nodes()) EXPECT_NEAR(core.evaluate_single(node).value(), f(node), 1e-13);
    }
    // One node: the constant.
    const ChebyshevCore one = sampled(1, 0, 2, [](double) { return 4.5; });
    EXPECT_EQ(one.evaluate_single(0).value(), 4.5);
    EXPECT_EQ(one.evaluate_single(2).value(), 4.5);
}

TEST(ChebyshevCore, RangeMessagesAndNaN) {
    const ChebyshevCore core = sampled(6, -1, 1, [](double x) { return x * x; });
    EXPECT_EQ(core.evaluate_single(1.5).error(), "x value 1.5000 is outside interpolation range [-1.0000, 1.0000]");
    EXPECT_EQ(core.evaluate_single(std::nextafter(1.0, 2.0)).error(),
              "x value 1.0000 is outside interpolation range [-1.0000, 1.0000]");
    EXPECT_EQ(core.evaluate_single(-std::numeric_limits<double>::infinity()).error(),
              "x value -inf is outside interpolation range [-1.0000, 1.0000]");
    // Rounded from the exact binary value: 2.00025 is stored just below the tie, 1.03125 is an exact tie.
    EXPECT_EQ(core.evaluate_single(2.00025).error(), "x value 2.0002 is outside interpolation range [-1.0000, 1.0000]");
    EXPECT_EQ(core.evaluate_single(1.03125).error(), "x value 1.0312 is outside interpolation range [-1.0000, 1.0000]");
    EXPECT_TRUE(core.evaluate_single(1.0).ok());
    EXPECT_TRUE(core.evaluate_single(-1.0).ok());
    EXPECT_TRUE(std::isnan(core.evaluate_single(kNaN).value()));
    Values in{0.5, kNaN}, out(2);
    ASSERT_TRUE(core.fill_many(in, out).ok());
    EXPECT_TRUE(std::isnan(out[1]));
}

TEST(ChebyshevCore, BatchReportsTheFirstOutsidePointAndWritesNothing) {
    for (bool clenshaw : {true, false}) {
        ChebyshevCore core = sampled(12, 0, 10, [](double x) { return std::sqrt(x); });
        core.set_use_clenshaw(clenshaw);
        Values in(100), out(100, -7.0);
        for (std::size_t i = 0; i < in.size(); ++i) in[i] = i * 0.1;
        in[39] = 12.5;
        in[70] = -3;
        EXPECT_EQ(core.fill_many(in, out).error(), "x value 12.5000 is outside interpolation range [0.0000, 10.0000]");
        EXPECT_EQ(out, Values(100, -7.0));
    }
}

TEST(ChebyshevCore, BatchGivesTheSinglePointsBitsOnAnyInterval) {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    // Timestamps, a width of a few ulps of its offset, a span across zero and the identity map.
    for (auto [lo, hi] : {std::pair{-1.0, 1.0}, std::pair{-0.3, 2.7}, std::pair{1.7e9, 1.7e9 + 600},
                          std::pair{1.0, 1.0 + 1e-6}, std::pair{-3e5, 7e5}}) {
        for (bool clenshaw : {true, false}) {
            ChebyshevCore core =
                sampled(64, lo, hi, [&](double x) { return std::cos(7 * ((x - lo) / (hi - lo))) + 0.5; });
            core.set_use_clenshaw(clenshaw);
            for (std::size_t m : {0u, 1u, 3u, 4u, 31u, 32u, 63u, 95u}) {
                Values in(m), out(m);
                for (double& x : in) x = std::min(hi, lo + (hi - lo) * u(rng));
                if (m > 2) in[1] = lo, in[2] = hi;
                ASSERT_TRUE(core.fill_many(in, out).ok());
                for (std::size_t i = 0; i < m; ++i) {
                    ASSERT_TRUE(same_bits(out[i], core.evaluate_single(in[i]).value()))
                        << lo << " " << hi << " m=" << m << " i=" << i;
                }
            }
        }
    }
    // One map for both: on [-1, 1] it rounds (x + 1) - 1, so 1e-17 lands on 0 either way.
    const ChebyshevCore odd = sampled(2, -1, 1, [](double x) { return x; });
    Values in{1e-17}, out(1);
    ASSERT_TRUE(odd.fill_many(in, out).ok());
    EXPECT_EQ(out[0], 0.0);
    EXPECT_EQ(odd.evaluate_single(1e-17).value(), 0.0);
}

// The transform of the same doubles at the exact nodes, in extended precision: each T_k(t_j) is the
// cosine of the reduced exact angle k (2j+1) pi / (2n).
std::vector<long double> exact_transform(const Values& y) {
    const std::size_t n = y.size();
    const long double pi = 3.14159265358979323846264338327950288L;
    std::vector<long double> circle(4 * n), c(n, 0.0L);
    for (std::size_t m = 0; m < 4 * n; ++m) circle[m] = std::cos(pi * m / (2.0L * n));
    for (std::size_t k = 0; k < n; ++k) {
        for (std::size_t j = 0; j < n; ++j) c[k] += y[j] * circle[(k * (2 * j + 1)) % (4 * n)];
        c[k] *= (k == 0 ? 1.0L : 2.0L) / n;
    }
    return c;
}

TEST(ChebyshevCore, CoefficientsAreTheTransformToRoundingAtLargeCounts) {
    // A grown three-term recurrence for T_k(t_j) is off by a few hundred ulps of the data at k ~ 1000;
    // the exact angles keep every coefficient within a few ulps of the data per sqrt(n) terms.
    std::mt19937_64 rng(11);
    std::normal_distribution<double> noise(0.0, 1e-3);
    for (std::size_t n : {255u, 256u, 1024u, 1025u}) {
        for (auto [lo, hi] : {std::pair{-1.0, 1.0}, std::pair{1.7e9, 1.7e9 + 600}}) {
            ChebyshevCore core = made(n, lo, hi);
            Values y;
            for (double node : core.nodes()) {
                const double t = (node - (lo + hi) * 0.5) / ((hi - lo) * 0.5);
                y.push_back(1 / (1 + 25 * t * t) + noise(rng));
            }
            ASSERT_TRUE(core.fit(y).ok());
            const std::vector<long double> exact = exact_transform(y);
            long double worst = 0;
            for (std::size_t k = 0; k < n; ++k) {
                worst = std::max(worst, std::fabs(static_cast<long double>(core.coefficients()[k]) - exact[k]));
            }
            EXPECT_LT(static_cast<double>(worst), 2.2e-16 * std::sqrt(static_cast<double>(n))) << n << " " << lo;
        }
    }
}

TEST(ChebyshevCore, OddCountsUseTheExactMiddleNode) {
    // T_k(0) is 0 for odd k: a value at the middle node alone leaves the odd coefficients at zero and
    // gives the even ones +-2/n exactly (1/n for c0).
    Values y(9, 0.0);
    y[4] = 1.0;
    ChebyshevCore core = made(9, -1, 1);
    ASSERT_TRUE(core.fit(y).ok());
    for (std::size_t k = 0; k < 9; ++k) {
        const double expected = k % 2 ? 0.0 : (k == 0 ? 1.0 : (k % 4 == 0 ? 2.0 : -2.0)) / 9.0;
        EXPECT_EQ(core.coefficients()[k], expected) << k;
    }
    y[4] = kNaN;  // still reaches every coefficient, as through any node
    ASSERT_TRUE(core.fit(y).ok());
    for (double c : core.coefficients()) EXPECT_TRUE(std::isnan(c));
}

TEST(ChebyshevCore, DirectAgreesWithClenshawAndIsExactInBatch) {
    ChebyshevCore core = sampled(40, -2, 3, [](double x) { return std::cos(2 * x) + x; });
    Values in, clenshaw;
    for (int i = 0; i <= 50; ++i) {
        in.push_back(-2 + 0.1 * i);
        clenshaw.push_back(core.evaluate_single(in.back()).value());
    }
    core.set_use_clenshaw(false);
    Values out(in.size());
    ASSERT_TRUE(core.fill_many(in, out).ok());
    for (std::size_t i = 0; i < in.size(); ++i) {
        EXPECT_TRUE(same_bits(out[i], core.evaluate_single(in[i]).value()));
        EXPECT_NEAR(out[i], clenshaw[i], 1e-13);
    }
}

TEST(ChebyshevCore, UnfittedWrongCountAndKeptFit) {
    ChebyshevCore core = made(3, -1, 1);
    Values none;
    const std::string not_fitted = "Interpolator not fitted. Call fit(y) first.";
    EXPECT_EQ(core.evaluate_single(0).error(), not_fitted);
    EXPECT_EQ(core.fill_many(none, none).error(), not_fitted);
    EXPECT_EQ(core.fit(Values{1, 2}).error(), "Expected 3 y values (one for each Chebyshev node), got 2");
    ASSERT_TRUE(core.fit(Values{1, 2, 3}).ok());
    const Values before(core.coefficients().begin(), core.coefficients().end());
    EXPECT_FALSE(core.fit(Values{1, 2, 3, 4}).ok());
    EXPECT_EQ(Values(core.coefficients().begin(), core.coefficients().end()), before);
    EXPECT_TRUE(core.fill_many(none, none).ok());
    Values two(2), one(1);
    EXPECT_EQ(core.fill_many(two, one).error(), "input and output must have the same length (2 vs 1)");
}

}  // namespace
}  // namespace morvelay
