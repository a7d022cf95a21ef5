// The least_squares and chebyshev families: their own check orders and spellings.
#include <gtest/gtest.h>

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

}  // namespace
