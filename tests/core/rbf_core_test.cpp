// RBFCore: the numbers the kernels and the solve fix, the check order, and the uniform Gaussian path.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/rbf_core.hpp"

namespace morvelay {
namespace {

constexpr RBFKernel kAll[] = {RBFKernel::Gaussian, RBFKernel::Multiquadric, RBFKernel::InverseMultiquadric,
                              RBFKernel::ThinPlateSpline, RBFKernel::Linear};
const double kNaN = std::numeric_limits<double>::quiet_NaN();

RBFCore make(RBFKernel kernel, double epsilon = 1.0) { return RBFCore::create(kernel, epsilon).value(); }

std::vector<double> many(const RBFCore& core, const std::vector<double>& xs) {
    std::vector<double> out(xs.size());
    EXPECT_TRUE(core.fill_many(xs, out).ok());
    return out;
}

TEST(RbfCore, KernelNamesAndEpsilon) {
    EXPECT_EQ(parse_kernel_name("thin plate spline").value(), RBFKernel::ThinPlateSpline);
    EXPECT_EQ(parse_kernel_name("inverse multiquadric").value(), RBFKernel::InverseMultiquadric);
    for (RBFKernel k : kAll) EXPECT_EQ(parse_kernel_name(kernel_name(k)).value(), k);
    EXPECT_EQ(parse_kernel_name("cubic").error(),
              "Unknown kernel type 'cubic'. Available: gaussian, multiquadric, inverse_multiquadric, "
              "thin_plate_spline, linear");
    EXPECT_FALSE(parse_kernel_name("thin-plate-spline").ok());
    EXPECT_EQ(RBFCore::create(RBFKernel::Gaussian, 0.0).error(), "epsilon must be positive");
    EXPECT_EQ(RBFCore::create(RBFKernel::Linear, -1.0).error(), "epsilon must be positive");
    EXPECT_TRUE(RBFCore::create(RBFKernel::Gaussian, kNaN).ok());
    EXPECT_TRUE(RBFCore::create(RBFKernel::Gaussian, std::numeric_limits<double>::infinity()).ok());
}

TEST(RbfCore, FitChecksInOrderAndFailuresChangeNothing) {
    RBFCore core = make(RBFKernel::Gaussian);
    EXPECT_EQ(core.fit({0, 1, 2}, {1, 2}).error(), "x and y must have the same length (3 vs 2)");
    EXPECT_EQ(core.fit({}, {}).error(), "x and y cannot be empty");
    EXPECT_EQ(core.evaluate_single(0.0).error(), "Interpolator not fitted. Call fit(x, y) first.");
    EXPECT_EQ(core.fitted_weights().error(), "Interpolator not fitted. Call fit(x, y) first.");
    std::vector<double> out(2);
    EXPECT_EQ(core.fill_many(std::vector<double>(3), out).error(), "Interpolator not fitted. Call fit(x, y) first.");

    ASSERT_TRUE(core.fit({0, 0.5, 2}, {1, 3, 2}).ok());
    const std::vector<double> weights(core.weights().begin(), core.weights().end());
    EXPECT_EQ(core.fit({0, 1, 0}, {1, 2, 3}).error(), "x values must be distinct");
    EXPECT_EQ(core.fit({0.0, -0.0}, {1, 2}).error(), "x values must be distinct");
    EXPECT_EQ(core.fit({1, kNaN, 0}, {1, 2, 3}).error(), "x values must not be NaN");
    EXPECT_EQ(core.fit({kNaN, kNaN}, {1, 2}).error(), "x values must not be NaN");
    EXPECT_EQ(make(RBFKernel::Gaussian, 1e-9).fit({0, 1}, {1, 2}).error(), "Singular matrix near pivot 1");
    EXPECT_EQ(core.fit({0, 1}, {1, 2, 3}).error(), "x and y must have the same length (2 vs 3)");
    EXPECT_EQ(std::vector<double>(core.weights().begin(), core.weights().end()), weights);
    EXPECT_EQ(core.count(), 3u);
    EXPECT_EQ(core.fill_many(std::vector<double>(3), out).error(),
              "input and output must have the same length (3 vs 2)");
}

TEST(RbfCore, OnePointAndTwoPointSystems) {
    for (RBFKernel k : {RBFKernel::Gaussian, RBFKernel::Multiquadric, RBFKernel::InverseMultiquadric}) {
        RBFCore core = make(k, 0.7);
        ASSERT_TRUE(core.fit({2.5}, {-4.0}).ok());
        EXPECT_EQ(core.weights()[0], -4.0);
        EXPECT_EQ(core.evaluate_single(2.5).value(), -4.0);
    }
    for (RBFKernel k : {RBFKernel::ThinPlateSpline, RBFKernel::Linear}) {
        EXPECT_EQ(make(k).fit({2.5}, {1.0}).error(), "Singular matrix near pivot 0");
    }
    // Linear kernel: [[0, 2], [2, 0]] w = [1, 5] needs the row swap; w = [2.5, 0.5].
    RBFCore linear = make(RBFKernel::Linear);
    ASSERT_TRUE(linear.fit({1, 3}, {1, 5}).ok());
    EXPECT_EQ(std::vector<double>(linear.weights().begin(), linear.weights().end()), (std::vector<double>{2.5, 0.5}));
    EXPECT_EQ(linear.evaluate_single(1).value(), 1.0);
    EXPECT_EQ(linear.evaluate_single(3).value(), 5.0);
    // A single NaN centre needs no ordering: accepted, and everything evaluates to NaN.
    RBFCore lone = make(RBFKernel::Gaussian);
    ASSERT_TRUE(lone.fit({kNaN}, {1}).ok());
    EXPECT_TRUE(std::isnan(lone.evaluate_single(0).value()));
}

TEST(RbfCore, SingularityIsJudgedAgainstTheKernelMatrix) {
    // Thin plate spline and linear kernels on coordinates near 1e-7 and 1e-12: every entry is far below
    // 1e-12, yet the matrices are well conditioned (about 5e4 here), so they fit and interpolate.
    for (double unit : {1e-7, 1e-12}) {
        std::vector<double> x(20), y(20);
        for (std::size_t i = 0; i < x.size(); ++i) {
            x[i] = unit * static_cast<double>(i + 1);
            y[i] = std::sin(0.3 * static_cast<double>(i));
        }
        for (RBFKernel k : {RBFKernel::ThinPlateSpline, RBFKernel::Linear}) {
            RBFCore core = make(k);
            ASSERT_TRUE(core.fit(x, y).ok()) << kernel_name(k) << " at " << unit;
            for (std::size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(core.evaluate_single(x[i]).value(), y[i], 1e-11);
        }
    }
    // Centres too close for the kernel to tell apart still fail where the matrix loses its rank.
    EXPECT_EQ(make(RBFKernel::Multiquadric, 1.0).fit({0, 1e-9}, {1, 2}).error(), "Singular matrix near pivot 1");
    EXPECT_EQ(make(RBFKernel::InverseMultiquadric, 1.0).fit({5, 5 + 1e-9}, {1, 2}).error(),
              "Singular matrix near pivot 1");
}

TEST(RbfCore, KernelValuesFollowTheirGrouping) {
    // Two centres: s(x) = w0 phi(x - x0) + w1 phi(x - x1); check against the formulas written out.
    const double eps = 0.8, x0 = 0.25, x1 = 1.5;
    auto phi = [&](RBFKernel k, double d) {
        const double r = std::fabs(d), er = eps * r;
        switch (k) {
            case RBFKernel::Gaussian:
                return std::exp(r * ((-(eps * eps)) * r));
            case RBFKernel::Multiquadric:
                return std::sqrt(er * er + 1);
            case RBFKernel::InverseMultiquadric:
                return 1 / std::sqrt(er * er + 1);
            case RBFKernel::ThinPlateSpline:
                return d == 0 ? 0.0 : (d * d) * std::log(r);
            case RBFKernel::Linear:
                break;
        }
        return r;
    };
    for (RBFKernel k : kAll) {
        RBFCore core = make(k, eps);
        ASSERT_TRUE(core.fit({x0, x1}, {0.5, -2}).ok()) << kernel_name(k);
        const auto w = core.weights();
        // The last two put the Gaussian's exponent just above and below -746, where exp underflows to 0.
        for (double xq : {-3.0, 0.25, 0.9, 1.5, 40.0, x1 + std::sqrt(745.9) / eps, x1 + std::sqrt(746.1) / eps}) {
            const double expected = (0.0 + w[0] * phi(k, xq - x0)) + w[1] * phi(k, xq - x1);
            EXPECT_EQ(core.evaluate_single(xq).value(), expected) << kernel_name(k) << " at " << xq;
        }
        EXPECT_NEAR(core.evaluate_single(x0).value(), 0.5, 1e-12);
        EXPECT_NEAR(core.evaluate_single(x1).value(), -2, 1e-12);
    }
    // A NaN epsilon reaches every value of the three scaled kernels.
    for (RBFKernel k : {RBFKernel::Gaussian, RBFKernel::Multiquadric, RBFKernel::InverseMultiquadric}) {
        RBFCore core = make(k, kNaN);
        ASSERT_TRUE(core.fit({0, 1}, {1, 2}).ok());
        EXPECT_TRUE(std::isnan(core.evaluate_single(0.5).value()));
    }
}

TEST(RbfCore, BatchEqualsSinglePointBitForBitOffTheUniformPath) {
    std::vector<double> queries;
    for (int i = -20; i <= 60; ++i) queries.push_back(i * 0.0731);
    queries.push_back(kNaN);
    queries.push_back(1e300);
    for (RBFKernel k : kAll) {
        RBFCore core = make(k, 1.3);
        // Decreasing, hence not uniform; uneven for the other kernels.
        ASSERT_TRUE(core.fit({3, 2, 1, 0, 0.5, 2.7}, {1, -1, 2, 0.5, 0, 1}).ok());
        EXPECT_FALSE(core.uniform_spacing());
        const auto out = many(core, queries);
        for (std::size_t i = 0; i < queries.size(); ++i) {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(out[i]),
                      std::bit_cast<std::uint64_t>(core.evaluate_single(queries[i]).value()))
                << kernel_name(k) << " at " << queries[i];
        }
    }
}

TEST(RbfCore, GaussianOnIncreasingUnevenCentresSumsOnlyItsSupportBitForBit) {
    // A narrow kernel over 300 uneven centres: each query's non-zero terms are a short run of them.
    std::vector<double> x, y;
    double at = -40.0;
    for (int i = 0; i < 300; ++i) {
        at += 0.55 + 0.4 * std::fabs(std::sin(1.7 * i));
        x.push_back(at);
        y.push_back(std::sin(0.3 * at) + 0.01 * i);
    }
    std::vector<double> queries = {kNaN,
                                   1e300,
                                   -1e300,
                                   std::numeric_limits<double>::infinity(),
                                   -0.0,
                                   x.front(),
                                   x.back(),
                                   x[150],
                                   std::nextafter(x[150], 0.0),
                                   x.front() - 25.0,
                                   x.back() + 25.0};
    for (int i = 0; i < 900; ++i) queries.push_back(-60.0 + i * 0.231);
    for (double epsilon : {4.0, 1.0, 0.3}) {  // a support of a few centres, of tens, of a hundred and more
        RBFCore core = make(RBFKernel::Gaussian, epsilon);
        ASSERT_TRUE(core.fit(x, y).ok());
        ASSERT_FALSE(core.uniform_spacing());
        const auto out = many(core, queries);
        for (std::size_t i = 0; i < queries.size(); ++i) {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(out[i]),
                      std::bit_cast<std::uint64_t>(core.evaluate_single(queries[i]).value()))
                << "epsilon " << epsilon << " at " << queries[i];
        }
    }
}

void expect_batch_is_single(const RBFCore& core, const std::vector<double>& queries, const char* what) {
    const auto out = many(core, queries);
    for (std::size_t i = 0; i < queries.size(); ++i) {
        const double single = core.evaluate_single(queries[i]).value();
        if (std::isnan(single) && std::isnan(out[i])) continue;  // a NaN's sign bit is the compiler's choice
        EXPECT_EQ(std::bit_cast<std::uint64_t>(out[i]), std::bit_cast<std::uint64_t>(single))
            << what << " at " << queries[i];
    }
}

TEST(RbfCore, UniformGaussianBatchIsTheDirectSumBitForBit) {
    // Grids that pass the spacing test while their centres drift from x0 + k h by up to k ulps (an
    // offset grids of tiny steps), a plain grid whose weights cancel strongly, and wide and
    // narrow Gaussians.
    struct Grid {
        double x0, h;
        int n;
        double epsilon;
    };
    for (const Grid& g : {Grid{1.0, 2e-9, 1000, 5e8}, Grid{0.5, 1e-9, 300, 1e9}, Grid{0.0, 0.01, 101, 30.0},
                          Grid{-1.0, 0.05, 40, 6.0}, Grid{0.0, 1.0, 400, 0.3}, Grid{0.0, 1.0, 50, 40.0}}) {
        std::vector<double> x, y;
        for (int i = 0; i < g.n; ++i) {
            x.push_back(g.x0 + g.h * i);
            y.push_back(std::sin(2 * 3.141592653589793 * i / 10) + 0.01 * std::cos(7.0 * i));
        }
        RBFCore core = make(RBFKernel::Gaussian, g.epsilon);
        ASSERT_TRUE(core.fit(x, y).ok());
        ASSERT_TRUE(core.uniform_spacing()) << g.x0 << " " << g.h;
        std::vector<double> queries = {-1e300, 1e300, kNaN, std::numeric_limits<double>::infinity()};
        const double span = x.back() - x.front();
        for (int i = 0; i <= 700; ++i) queries.push_back(x.front() - 0.05 * span + i * (1.1 * span / 700));
        for (int k = 0; k < g.n; k += 7) {  // on, one ulp beside, and a little off every seventh centre
            queries.push_back(x[k]);
            queries.push_back(std::nextafter(x[k], INFINITY));
            queries.push_back(x[k] + 1e-3 * g.h);
        }
        expect_batch_is_single(core, queries, "grid");
    }
}

TEST(RbfCore, UniformGaussianBatchEdgeKernelsAndWeights) {
    const std::vector<double> x = {0, 1, 2, 3, 4, 5}, queries = {-1, 0, 0.5, 1, 2.25, 5, 9, kNaN};
    // epsilon = inf (a centre gives 0 * inf), a tiny epsilon (every centre within reach), and NaN.
    for (double epsilon : {std::numeric_limits<double>::infinity(), 1e-160, 0.7, kNaN}) {
        RBFCore core = make(RBFKernel::Gaussian, epsilon);
        if (!core.fit(x, {1, 0, 2, 1, 0, 1}).ok()) continue;
        expect_batch_is_single(core, queries, "epsilon");
    }
    // An infinite data value makes non-finite weights, which the far terms' zeros turn into NaN.
    RBFCore core = make(RBFKernel::Gaussian, 3.0);
    ASSERT_TRUE(core.fit(x, {1, 0, std::numeric_limits<double>::infinity(), 1, 0, 1}).ok());
    expect_batch_is_single(core, queries, "infinite weight");
    EXPECT_TRUE(std::isnan(many(core, {50.0})[0]));
    // Weights that cancel: the running sum stays small, so no term may be dropped as negligible.
    ASSERT_TRUE(core.fit(x, {1, -1, 1, -1, 1, -1}).ok());
    expect_batch_is_single(core, {0.5, 1.5, 2.5, 3.5, 4.5, 2.0}, "cancelling");
}

TEST(RbfCore, UniformSpacingNeedsThreeEvenPoints) {
    // Two points never count as uniform.
    RBFCore pair = make(RBFKernel::Gaussian);
    ASSERT_TRUE(pair.fit({0, 1}, {1, 2}).ok());
    EXPECT_FALSE(pair.uniform_spacing());
    RBFCore four = make(RBFKernel::Gaussian);
    ASSERT_TRUE(four.fit({0, 1, 2, 3}, {1, 2, 0, 1}).ok());
    EXPECT_EQ(four.uniform_spacing(), 1.0);
}

}  // namespace
}  // namespace morvelay
