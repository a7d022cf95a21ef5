// The rbf family: argument checks in their order, kernel ids, and the count/weights pair.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "capi_testing.hpp"
#include "morvelay.h"

namespace {

using capi_testing::last_error;

TEST(RbfCapi, CreateChecksKernelIdBeforeEpsilon) {
    EXPECT_EQ(morvelay_rbf_create(5, 1.0), nullptr);
    EXPECT_EQ(last_error(), "Unknown kernel id");
    EXPECT_EQ(morvelay_rbf_create(7, -1.0), nullptr);
    EXPECT_EQ(last_error(), "Unknown kernel id");
    EXPECT_EQ(morvelay_rbf_create(0, 0.0), nullptr);
    EXPECT_EQ(last_error(), "epsilon must be positive");
    morvelay_rbf* nan_epsilon = morvelay_rbf_create(1, std::numeric_limits<double>::quiet_NaN());
    EXPECT_NE(nan_epsilon, nullptr);
    EXPECT_EQ(last_error(), "");
    morvelay_rbf_destroy(nan_epsilon);
    morvelay_rbf_destroy(nullptr);
}

TEST(RbfCapi, FitEvaluateAndReadWeights) {
    morvelay_rbf* h = morvelay_rbf_create(4, 1.0);  // linear
    ASSERT_NE(h, nullptr);
    const double x[] = {0.0, 1.0, 3.0, 4.0}, y[] = {1.0, -1.0, 2.0, 0.5};
    double buf[4] = {};

    EXPECT_EQ(morvelay_rbf_count(h), 0u);
    EXPECT_EQ(morvelay_rbf_weights(h, buf, 4), -1);
    EXPECT_EQ(last_error(), "Interpolator not fitted. Call fit(x, y) first.");
    EXPECT_EQ(morvelay_rbf_eval_many(h, x, 0, buf), 0);  // an empty buffer never reaches the core

    EXPECT_EQ(morvelay_rbf_fit(h, x, 2, nullptr, 2), -1);
    EXPECT_EQ(last_error(), "pointer must not be null");
    EXPECT_EQ(morvelay_rbf_fit(h, x, 3, y, 2), -1);
    EXPECT_EQ(last_error(), "x and y must have the same length (3 vs 2)");
    EXPECT_EQ(morvelay_rbf_fit(h, x, 0, y, 0), -1);
    EXPECT_EQ(last_error(), "x and y cannot be empty");

    ASSERT_EQ(morvelay_rbf_fit(h, x, 4, y, 4), 0);
    EXPECT_EQ(morvelay_rbf_count(h), 4u);
    EXPECT_EQ(morvelay_rbf_weights(h, buf, 3), -1);
    EXPECT_EQ(last_error(), "weights and output must have the same length (4 vs 3)");
    // count leaves the message of the last failure alone
    EXPECT_EQ(morvelay_rbf_count(nullptr), 0u);
    EXPECT_EQ(last_error(), "weights and output must have the same length (4 vs 3)");
    EXPECT_EQ(morvelay_rbf_weights(h, nullptr, 4), -1);
    EXPECT_EQ(last_error(), "out_ptr must be non-null");
    EXPECT_EQ(morvelay_rbf_weights(nullptr, nullptr, 4), -1);
    EXPECT_EQ(last_error(), "rbf handle is null");

    ASSERT_EQ(morvelay_rbf_weights(h, buf, 4), 0);
    EXPECT_EQ(last_error(), "");
    double at_centres[4];
    ASSERT_EQ(morvelay_rbf_eval_many(h, x, 4, at_centres), 0);
    for (int i = 0; i < 4; ++i) {
        double one = 0.0;
        ASSERT_EQ(morvelay_rbf_eval(h, x[i], &one), 0);
        EXPECT_EQ(one, at_centres[i]);
        EXPECT_NEAR(one, y[i], 1e-12);
        // s(x_i) = sum_j w_j |x_i - x_j|, recomputed from the weights handed out
        double s = 0.0;
        for (int j = 0; j < 4; ++j) s += buf[j] * (x[i] > x[j] ? x[i] - x[j] : x[j] - x[i]);
        EXPECT_NEAR(s, y[i], 1e-12);
    }
    EXPECT_EQ(morvelay_rbf_eval(h, 0.5, nullptr), -1);
    EXPECT_EQ(last_error(), "out_value must be non-null");

    // A failed fit leaves the handle as it was.
    const double repeated[] = {0.0, 1.0, 0.0};
    EXPECT_EQ(morvelay_rbf_fit(h, repeated, 3, y, 3), -1);
    EXPECT_EQ(last_error(), "x values must be distinct");
    EXPECT_EQ(morvelay_rbf_count(h), 4u);
    morvelay_rbf_destroy(h);
}

TEST(RbfCapi, NullHandleComesFirst) {
    double v = 0.0;
    EXPECT_EQ(morvelay_rbf_fit(nullptr, nullptr, 0, nullptr, 0), -1);
    EXPECT_EQ(last_error(), "rbf handle is null");
    EXPECT_EQ(morvelay_rbf_eval(nullptr, 0.0, nullptr), -1);
    EXPECT_EQ(last_error(), "rbf handle is null");
    EXPECT_EQ(morvelay_rbf_eval_many(nullptr, &v, 1, &v), -1);
    EXPECT_EQ(last_error(), "rbf handle is null");
}

}  // namespace
