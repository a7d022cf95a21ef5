#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "core/lagrange_core.hpp"
#include "polynomial_testing.hpp"

namespace morvelay {
namespace {

using testing::same_bits;
using Values = std::vector<double>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr const char* kNotFitted = "Interpolator not fitted. Call fit(x, y) first.";

double at(const LagrangeCore& core, double t) { return core.evaluate_single(t).value(); }
Values weights_of(const LagrangeCore& core) { return {core.weights().begin(), core.weights().end()}; }

// The barycentric form with plain products of node differences, fit and add_point alike.
struct PlainBarycentric {
    Values x, y, w;

    PlainBarycentric(Values nodes, Values values) : x(std::move(nodes)), y(std::move(values)), w(x.size(), 1.0) {
        for (std::size_t i = 0; i < x.size(); ++i) {
            for (std::size_t j = i + 1; j < x.size(); ++j) {
                const double d = x[i] - x[j];
                w[i] = w[i] * d;
                w[j] = -(d * w[j]);
            }
        }
        for (double& v : w) v = 1.0 / v;
    }
    void add_point(double x_new, double y_new) {
        double e = 1.0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            w[i] = w[i] / (x[i] - x_new);
            e = e * (x_new - x[i]);
        }
        x.push_back(x_new);
        y.push_back(y_new);
        w.push_back(1.0 / e);
    }
    double operator()(double t) const {
        double num = 0, den = 0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double d = t - x[i];
            if (d == 0) return y[i];
            num = num + w[i] * y[i] / d;
            den = den + w[i] / d;
        }
        return num / den;
    }
};

// The stored weights are the plain ones times one common power of two.
void expect_common_power_of_two(const LagrangeCore& core, const PlainBarycentric& plain) {
    ASSERT_EQ(core.weights().size(), plain.w.size());
    const double factor = core.weights()[0] / plain.w[0];
    int exponent;
    EXPECT_EQ(std::frexp(factor, &exponent), 0.5);
    EXPECT_EQ(factor, std::ldexp(1.0, static_cast<int>(core.weight_exponent())));
    for (std::size_t i = 0; i < plain.w.size(); ++i) EXPECT_EQ(core.weights()[i], plain.w[i] * factor) << i;
}

TEST(LagrangeCore, QuadraticThroughThreeNodes) {
    LagrangeCore core;
    ASSERT_TRUE(core.fit({0, 1, 2}, {1, 3, 7}));
    EXPECT_EQ(weights_of(core), (Values{0.5, -1, 0.5}));
    EXPECT_EQ(Values(core.weighted_y().begin(), core.weighted_y().end()), (Values{0.5, -3, 3.5}));
    EXPECT_EQ(at(core, 1), 3);  // a node returns its value exactly
    EXPECT_EQ(at(core, 1.5), 4.75);
    EXPECT_NEAR(at(core, 0.5), 1.75, 2.3e-16);
    EXPECT_NEAR(at(core, 3), 13, 1e-14);  // extrapolated, no error
    EXPECT_TRUE(std::isnan(at(core, kNaN)));
    EXPECT_TRUE(std::isnan(at(core, kInf)));
}

TEST(LagrangeCore, SingleNodeAndCoincidentNodes) {
    LagrangeCore core;
    ASSERT_TRUE(core.fit({2}, {5}));
    EXPECT_EQ(weights_of(core), (Values{1}));
    EXPECT_EQ(at(core, 2), 5);
    EXPECT_EQ(at(core, 0), 5);
    EXPECT_EQ(at(core, 5), 5.000000000000001);
    EXPECT_TRUE(std::isnan(at(core, kNaN)));
    EXPECT_TRUE(std::isnan(at(core, -kInf)));

    ASSERT_TRUE(core.fit({0, 0, 1}, {1, 2, 3}));
    EXPECT_EQ(core.weights()[0], -kInf);
    EXPECT_EQ(core.weights()[1], kInf);
    EXPECT_EQ(core.weights()[2], 1);
    EXPECT_EQ(at(core, 0), 1);  // the first matching node wins
    EXPECT_EQ(at(core, 1), 3);
    EXPECT_TRUE(std::isnan(at(core, 0.5)));
}

TEST(LagrangeCore, UpdateYKeepsTheNodes) {
    LagrangeCore core;
    EXPECT_EQ(core.update_y({1, 2, 3}).error(), kNotFitted);
    ASSERT_TRUE(core.fit({0, 1, 2}, {1, 3, 7}));
    EXPECT_EQ(core.update_y({1, 2}).error(), "New y must have the same length as x");
    EXPECT_EQ(at(core, 1.5), 4.75);
    ASSERT_TRUE(core.update_y({2, 4, 6}));
    EXPECT_EQ(at(core, 0.5), 3);
    EXPECT_EQ(weights_of(core), (Values{0.5, -1, 0.5}));
}

TEST(LagrangeCore, AddPointRescalesTheWeights) {
    LagrangeCore core;
    EXPECT_EQ(core.add_point(1, 1).error(), kNotFitted);
    ASSERT_TRUE(core.fit({0, 1, 2}, {1, 3, 7}));
    ASSERT_TRUE(core.add_point(3, 13));
    EXPECT_EQ(weights_of(core), (Values{-1.0 / 6, 0.5, -0.5, 1.0 / 6}));
    EXPECT_NEAR(at(core, 4), 21, 1e-13);
    EXPECT_EQ(core.add_point(1, 9).error(), "x_new 1 already exists");
    EXPECT_EQ(core.x_values().size(), 4u);

    ASSERT_TRUE(core.fit({0, 1, 2}, {1, 3, 7}));
    // Closer than 2^-52 of the largest node magnitude (here 2) counts as the node; exactly that far does not.
    EXPECT_EQ(core.add_point(1e-17, 0).error(), "x_new 0.00000000000000001 already exists");
    EXPECT_TRUE(core.add_point(2 + 4.440892098500626e-16, 0));
    EXPECT_EQ(core.x_values().size(), 4u);
    EXPECT_EQ(core.x_values()[3], 2 + 4.440892098500626e-16);  // appended, not sorted in
}

TEST(LagrangeCore, AddPointDuplicateTestScalesWithTheNodes) {
    // Nodes 1e-17 apart are as distinct as nodes 1 apart: 5e-17 is a new node, and the polynomial
    // through the scaled data is the scaled polynomial.
    LagrangeCore tiny, unit;
    ASSERT_TRUE(tiny.fit({0, 1e-17, 2e-17, 3e-17}, {1, 3, 7, 13}));
    ASSERT_TRUE(unit.fit({0, 1, 2, 3}, {1, 3, 7, 13}));
    ASSERT_TRUE(tiny.add_point(5e-17, 31));
    ASSERT_TRUE(unit.add_point(5, 31));
    EXPECT_NEAR(at(tiny, 4e-17), at(unit, 4), 1e-12);
    EXPECT_EQ(tiny.add_point(2e-17, 0).error(), "x_new 0.00000000000000002 already exists");
    EXPECT_EQ(tiny.add_point(std::nextafter(2e-17, 1.0), 0).error(),
              "x_new 0.000000000000000020000000000000005 already exists");
    EXPECT_TRUE(tiny.add_point(2.5e-17, 0));

    // At timestamp magnitude the bound is 2^-52 * 1.7e9 = 3.8e-7: one ulp (2.4e-7) is the same node, two
    // are not; millisecond steps are far apart.
    LagrangeCore stamps;
    ASSERT_TRUE(stamps.fit({1.7e9, 1.7e9 + 0.001, 1.7e9 + 0.002}, {0, 1, 4}));
    const double one_ulp = std::nextafter(1.7e9, 2e9);
    EXPECT_FALSE(stamps.add_point(one_ulp, 0));
    EXPECT_TRUE(stamps.add_point(std::nextafter(one_ulp, 2e9), 0));
    EXPECT_TRUE(stamps.add_point(1.7e9 + 0.003, 9));
    EXPECT_NEAR(at(stamps, 1.7e9 + 0.0015), 2.25, 2e-3);

    // An exact repeat is refused even when every node is zero (no magnitude to scale by), -0 included;
    // infinite nodes do not widen the bound, and a NaN is never a repeat.
    LagrangeCore zero;
    ASSERT_TRUE(zero.fit({0}, {1}));
    EXPECT_EQ(zero.add_point(-0.0, 2).error(), "x_new -0 already exists");
    EXPECT_TRUE(zero.add_point(1e-300, 2));
    LagrangeCore infinite;
    ASSERT_TRUE(infinite.fit({INFINITY, 1}, {0, 1}));
    EXPECT_EQ(infinite.add_point(INFINITY, 2).error(), "x_new inf already exists");
    EXPECT_TRUE(infinite.add_point(2, 2));
    EXPECT_TRUE(infinite.add_point(NAN, 2));
}

TEST(LagrangeCore, FitChecksAndFailureKeepsTheState) {
    LagrangeCore core;
    EXPECT_EQ(core.evaluate_single(0).error(), kNotFitted);
    Values none;
    EXPECT_EQ(core.fill_many(none, none).error(), kNotFitted);
    EXPECT_EQ(core.fit({}, {}).error(), "x and y cannot be empty");
    EXPECT_EQ(core.fit({1, 2}, {1}).error(), "x and y must have the same length (2 vs 1)");
    ASSERT_TRUE(core.fit({0, 1, 2}, {1, 3, 7}));
    EXPECT_FALSE(core.fit({}, {}));
    EXPECT_EQ(at(core, 1.5), 4.75);
    Values three{1, 2, 3}, two(2, -1.0);
    EXPECT_EQ(core.fill_many(three, two).error(), "input and output must have the same length (3 vs 2)");
    EXPECT_EQ(two, Values(2, -1.0));
}

TEST(LagrangeCore, BitIdenticalToPlainProductsWhereTheyAreNormal) {
    std::mt19937_64 rng(3);
    for (double width : {1e-3, 0.7, 2.0, 3.0, 1e3}) {
        for (std::size_t n = 1; n <= 14; ++n) {
            const double offset = testing::uniform_draws(rng, 1, -width, width)[0];
            Values x = testing::uniform_draws(rng, n, offset, offset + width);
            const Values y = testing::uniform_draws(rng, n, -4, 4);
            LagrangeCore core;
            ASSERT_TRUE(core.fit(x, y));
            PlainBarycentric plain(x, y);
            const double x_new = offset + width * 1.25, y_new = 0.5;
            ASSERT_TRUE(core.add_point(x_new, y_new));
            plain.add_point(x_new, y_new);
            expect_common_power_of_two(core, plain);
            for (double t : testing::uniform_draws(rng, 20, offset - width, offset + 2 * width)) {
                EXPECT_TRUE(same_bits(at(core, t), plain(t))) << "n=" << n << " width=" << width << " t=" << t;
            }
        }
    }
}

TEST(LagrangeCore, StaysRightWherePlainProductsOverflow) {
    // 2,000 Chebyshev points on [0, 10]: the plain products overflow or underflow long before this.
    const Values x = testing::chebyshev_nodes(2000, 0, 10);
    Values y;
    for (double t : x) y.push_back(std::cos(t));
    LagrangeCore core;
    ASSERT_TRUE(core.fit(x, y));
    for (double t = 0; t <= 10; t += 0.37) EXPECT_NEAR(at(core, t), std::cos(t), 1e-13) << t;

    // Growing by many far-apart points moves the weights by orders of magnitude; they stay usable.
    Values small = testing::chebyshev_nodes(40, -1e4, 1e4);
    const Values extra(small.begin() + 20, small.end());
    small.resize(20);
    auto line = [](double t) { return 3 * t - 2; };
    Values small_y;
    for (double t : small) small_y.push_back(line(t));
    ASSERT_TRUE(core.fit(small, small_y));
    for (double t : extra) ASSERT_TRUE(core.add_point(t, line(t)));
    for (double v : core.weights()) EXPECT_TRUE(std::isfinite(v) && v != 0);
    for (double t : {-9000.0, -1.5, 700.0}) EXPECT_NEAR(at(core, t), line(t), 1e-9 * std::abs(line(t)));
}

TEST(LagrangeCore, BatchIsBitIdenticalToSinglePointsIncludingNodes) {
    std::mt19937_64 rng(9);
    LagrangeCore core;
    ASSERT_TRUE(core.fit(testing::chebyshev_nodes(9, -1, 1), testing::uniform_draws(rng, 9, -1, 1)));
    for (std::size_t size : testing::kBatchSizes) {
        Values queries = testing::uniform_draws(rng, size, -1.5, 1.5);
        queries[size - 1] = core.x_values()[4];  // a node in the second lane, or in the last single point
        queries[0] = size > 8 ? core.x_values()[0] : kNaN;
        EXPECT_TRUE(testing::batch_matches_single(core, queries)) << size;
    }
}

}  // namespace
}  // namespace morvelay
