// The least_squares and chebyshev families: their own check orders and spellings.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "capi_testing.hpp"
#include "morvelay.h"

namespace {

using capi_testing::last_error;

TEST(LeastSquaresFamily, FitEvaluateAndMessages) {
    morvelay_least_squares* h = morvelay_least_squares_create(1);
    const double x[] = {0, 1, 2, 3}, y[] = {1, 3, 2, 4};
    double value = 7, out[4] = {7, 7, 7, 7};
    EXPECT_EQ(morvelay_least_squares_fit(nullptr, nullptr, 0, y, 0), -1);
    EXPECT_EQ(last_error(), "least squares handle is null");
    EXPECT_EQ(morvelay_least_squares_fit(h, nullptr, 0, y, 0), -1);
    EXPECT_EQ(last_error(), "pointer is null");
    // The lengths are the core's to check, with its counts.
    EXPECT_EQ(morvelay_least_squares_fit(h, x, 4, y, 3), -1);
    EXPECT_EQ(last_error(), "x and y must have the same length (4 vs 3)");
    EXPECT_EQ(morvelay_least_squares_fit(h, x, 0, y, 0), -1);
    EXPECT_EQ(last_error(), "x and y cannot be empty");
    EXPECT_EQ(morvelay_least_squares_eval(h, 0.5, &value), -1);
    EXPECT_EQ(last_error(), "Interpolator not fitted. Call fit(x, y) first.");
    EXPECT_EQ(morvelay_least_squares_eval_many(h, x, 0, out), 0);  // empty: the core is not asked
    EXPECT_EQ(morvelay_least_squares_eval_many(h, x, 4, nullptr), -1);
    EXPECT_EQ(last_error(), "x_ptr and out_ptr must be non-null");
    EXPECT_EQ(morvelay_least_squares_eval(nullptr, 0.5, nullptr), -1);
    EXPECT_EQ(last_error(), "least squares handle is null");

    ASSERT_EQ(morvelay_least_squares_fit(h, x, 4, y, 4), 0);
    ASSERT_EQ(morvelay_least_squares_eval(h, 0.0, &value), 0);
    EXPECT_NEAR(value, 1.3, 1e-14);
    ASSERT_EQ(morvelay_least_squares_eval_many(h, x, 4, out), 0);
    EXPECT_NEAR(out[3], 1.3 + 3 * 0.8, 1e-14);
    morvelay_least_squares_destroy(h);

    morvelay_least_squares* largest = morvelay_least_squares_create(SIZE_MAX);
    EXPECT_EQ(morvelay_least_squares_fit(largest, x, 4, y, 4), -1);
    EXPECT_EQ(last_error(), "Need at least 18446744073709551616 points for degree 18446744073709551615 polynomial");
    morvelay_least_squares_destroy(largest);
    morvelay_least_squares_destroy(nullptr);
}

TEST(ChebyshevFamily, CreateRefusals) {
    EXPECT_EQ(morvelay_chebyshev_create(0, -1, 1, true), nullptr);
    EXPECT_EQ(last_error(), "n_points must be positive");
    EXPECT_EQ(morvelay_chebyshev_create(8, 1, 1, false), nullptr);
    EXPECT_EQ(last_error(), "x_min must be less than x_max");
    // A count no memory can hold is exhausted memory, not a crash.
    EXPECT_EQ(morvelay_chebyshev_create(SIZE_MAX, -1, 1, true), nullptr);
    EXPECT_EQ(last_error(), "out of memory");
}

TEST(ChebyshevFamily, CheckOrderAndEvaluation) {
    morvelay_chebyshev* h = morvelay_chebyshev_create(3, 0, 2, true);
    ASSERT_NE(h, nullptr);
    const double y[] = {1, 1, 1}, xs[] = {0, 1, 2, 3};
    double value = 7, out[4] = {7, 7, 7, 7};
    EXPECT_EQ(morvelay_chebyshev_eval(nullptr, 0.0, nullptr), -1);
    EXPECT_EQ(last_error(), "out_value must be non-null");  // the output pointer comes first here
    EXPECT_EQ(morvelay_chebyshev_eval(nullptr, 0.0, &value), -1);
    EXPECT_EQ(last_error(), "chebyshev handle is null");
    EXPECT_EQ(morvelay_chebyshev_eval_many(h, xs, 0, out), -1);  // empty still asks the core
    EXPECT_EQ(last_error(), "Interpolator not fitted. Call fit(y) first.");
    EXPECT_EQ(morvelay_chebyshev_eval_many(h, nullptr, 0, out), -1);
    EXPECT_EQ(last_error(), "pointer must not be null");
    EXPECT_EQ(morvelay_chebyshev_fit(nullptr, y, 3), -1);
    EXPECT_EQ(last_error(), "chebyshev handle is null");
    EXPECT_EQ(morvelay_chebyshev_fit(h, nullptr, 3), -1);
    EXPECT_EQ(last_error(), "pointer must not be null");
    EXPECT_EQ(morvelay_chebyshev_fit(h, y, 2), -1);
    EXPECT_EQ(last_error(), "Expected 3 y values (one for each Chebyshev node), got 2");

    ASSERT_EQ(morvelay_chebyshev_fit(h, y, 3), 0);
    ASSERT_EQ(morvelay_chebyshev_eval(h, 2.0, &value), 0);
    EXPECT_NEAR(value, 1.0, 1e-15);
    EXPECT_EQ(morvelay_chebyshev_eval_many(h, xs, 0, out), 0);
    EXPECT_EQ(morvelay_chebyshev_eval_many(h, xs, 4, out), -1);
    EXPECT_EQ(last_error(), "x value 3.0000 is outside interpolation range [0.0000, 2.0000]");
    EXPECT_EQ(std::vector<double>(out, out + 4), std::vector<double>(4, 7.0));  // no partial output
    ASSERT_EQ(morvelay_chebyshev_eval_many(h, xs, 3, out), 0);
    EXPECT_NEAR(out[1], 1.0, 1e-15);
    morvelay_chebyshev_destroy(h);
    morvelay_chebyshev_destroy(nullptr);
}

TEST(ChebyshevFamily, NodesCheckOrderAndMessages) {
    morvelay_chebyshev* h = morvelay_chebyshev_create(4, -1, 1, true);
    ASSERT_NE(h, nullptr);
    std::vector<double> out(5, 7.0);
    EXPECT_EQ(morvelay_chebyshev_nodes(nullptr, nullptr, 4), -1);
    EXPECT_EQ(last_error(), "chebyshev handle is null");  // the handle before the pointer
    EXPECT_EQ(morvelay_chebyshev_nodes(h, nullptr, 4), -1);
    EXPECT_EQ(last_error(), "out_ptr must be non-null");
    EXPECT_EQ(morvelay_chebyshev_nodes(h, out.data(), 5), -1);
    EXPECT_EQ(last_error(), "nodes and output must have the same length (4 vs 5)");
    EXPECT_EQ(morvelay_chebyshev_nodes(h, out.data(), 0), -1);
    EXPECT_EQ(last_error(), "nodes and output must have the same length (4 vs 0)");
    EXPECT_EQ(out, std::vector<double>(5, 7.0));               // nothing written on failure
    ASSERT_EQ(morvelay_chebyshev_nodes(h, out.data(), 4), 0);  // unfitted: the nodes exist from create on
    EXPECT_EQ(last_error(), "");
    EXPECT_EQ(out[4], 7.0);
    morvelay_chebyshev_destroy(h);
}

// The order a host fits in: largest first, mirrored pairs from one cosine, the middle node of an odd
// count exactly the midpoint.  The textbook formula per node differs in the last bits for some nodes, so
// only the library's own nodes give a host the same fit as the Python face.
TEST(ChebyshevFamily, NodesDescendMirroredAndFitThrough) {
    for (std::size_t n : {1u, 2u, 7u, 24u}) {
        morvelay_chebyshev* sym = morvelay_chebyshev_create(n, -3, 3, true);
        std::vector<double> nodes(n);
        ASSERT_EQ(morvelay_chebyshev_nodes(sym, nodes.data(), n), 0);
        for (std::size_t j = 0; j < n; ++j) {
            EXPECT_EQ(nodes[n - 1 - j], -nodes[j]) << n << " " << j;
            if (j + 1 < n) {
                EXPECT_GT(nodes[j], nodes[j + 1]);
            }
        }
        if (n % 2 == 1) {
            EXPECT_EQ(nodes[n / 2], 0.0);
        }
        morvelay_chebyshev_destroy(sym);
    }

    // A large offset and a narrow interval: a cubic sampled at the nodes is reproduced everywhere.
    const double lo = 1.0e6, hi = 1.0e6 + 0.5;
    morvelay_chebyshev* h = morvelay_chebyshev_create(9, lo, hi, false);
    std::vector<double> nodes(9), y(9);
    ASSERT_EQ(morvelay_chebyshev_nodes(h, nodes.data(), nodes.size()), 0);
    EXPECT_EQ(nodes[4], (lo + hi) * 0.5);
    EXPECT_LT(nodes[8], nodes[0]);
    EXPECT_GT(nodes[8], lo);
    EXPECT_LT(nodes[0], hi);
    auto cubic = [&](double x) {
        const double t = (x - lo) * 4.0 - 1.0;
        return ((t - 0.5) * t + 2.0) * t - 1.0;
    };
    for (std::size_t j = 0; j < y.size(); ++j) y[j] = cubic(nodes[j]);
    ASSERT_EQ(morvelay_chebyshev_fit(h, y.data(), y.size()), 0);
    for (std::size_t j = 0; j < nodes.size(); ++j) {
        double value = 0;
        ASSERT_EQ(morvelay_chebyshev_eval(h, nodes[j], &value), 0);
        EXPECT_NEAR(value, y[j], 1e-9) << j;
    }
    double value = 0;
    ASSERT_EQ(morvelay_chebyshev_eval(h, lo + 0.123, &value), 0);
    EXPECT_NEAR(value, cubic(lo + 0.123), 1e-9);
    morvelay_chebyshev_destroy(h);
}

}  // namespace
