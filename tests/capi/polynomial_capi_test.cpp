// The newton, lagrange and hermite families: check order, messages and the Lagrange updates.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capi_testing.hpp"
#include "morvelay.h"

namespace {

using capi_testing::last_error;

const double kX[] = {0, 1, 2};
const double kY[] = {1, 3, 7};
const double kDy[] = {1, 3, 5};

TEST(NewtonFamily, ChecksInOrderThenFitsAndEvaluates) {
    morvelay_newton* h = morvelay_newton_create();
    ASSERT_NE(h, nullptr);
    double v = -1;
    EXPECT_EQ(morvelay_newton_fit(nullptr, nullptr, 3, kY, 2), -1);
    EXPECT_EQ(last_error(), "newton handle is null");
    EXPECT_EQ(morvelay_newton_fit(h, kX, 3, nullptr, 3), -1);
    EXPECT_EQ(last_error(), "x_ptr and y_ptr must be non-null");
    EXPECT_EQ(morvelay_newton_fit(h, kX, 3, kY, 2), -1);
    EXPECT_EQ(last_error(), "x and y must have the same length");
    EXPECT_EQ(morvelay_newton_fit(h, kX, 0, kY, 0), -1);
    EXPECT_EQ(last_error(), "x and y cannot be empty");
    EXPECT_EQ(morvelay_newton_eval(nullptr, 0.5, nullptr), -1);
    EXPECT_EQ(last_error(), "newton handle is null");
    EXPECT_EQ(morvelay_newton_eval(h, 0.5, nullptr), -1);
    EXPECT_EQ(last_error(), "out_value must be non-null");
    EXPECT_EQ(morvelay_newton_eval(h, 0.5, &v), -1);
    EXPECT_EQ(morvelay_newton_last_error(nullptr, 0), sizeof "Interpolator not fitted. Call fit(x, y) first.");
    double out[3] = {-1, -1, -1};
    EXPECT_EQ(morvelay_newton_eval_many(h, kX, 0, out), 0);  // empty succeeds even unfitted
    EXPECT_EQ(morvelay_newton_eval_many(h, kX, 3, nullptr), -1);
    EXPECT_EQ(last_error(), "x_ptr and out_ptr must be non-null");
    EXPECT_EQ(morvelay_newton_eval_many(h, kX, 3, out), -1);
    EXPECT_EQ(out[0], -1);

    ASSERT_EQ(morvelay_newton_fit(h, kX, 3, kY, 3), 0);
    EXPECT_EQ(last_error(), "");
    ASSERT_EQ(morvelay_newton_eval(h, 3, &v), 0);
    EXPECT_EQ(v, 13);
    const double xs[] = {0.5, 3, 1};
    ASSERT_EQ(morvelay_newton_eval_many(h, xs, 3, out), 0);
    EXPECT_EQ(out[0], 1.75);
    EXPECT_EQ(out[1], 13);
    EXPECT_EQ(out[2], 3);
    morvelay_newton_destroy(h);
    morvelay_newton_destroy(nullptr);
}

TEST(LagrangeFamily, FitEvaluateAndUpdates) {
    morvelay_lagrange* h = morvelay_lagrange_create();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(morvelay_lagrange_fit(h, nullptr, 3, kY, 3), -1);
    EXPECT_EQ(last_error(), "x_ptr and y_ptr must be non-null");
    EXPECT_EQ(morvelay_lagrange_add_point(nullptr, 1, 1), -1);
    EXPECT_EQ(last_error(), "lagrange handle is null");
    EXPECT_EQ(morvelay_lagrange_add_point(h, 1, 1), -1);
    EXPECT_EQ(last_error(), "Interpolator not fitted. Call fit(x, y) first.");
    EXPECT_EQ(morvelay_lagrange_update_y(nullptr, nullptr, 0), -1);
    EXPECT_EQ(last_error(), "lagrange handle is null");
    EXPECT_EQ(morvelay_lagrange_update_y(h, nullptr, 3), -1);
    EXPECT_EQ(last_error(), "y_ptr must be non-null");
    EXPECT_EQ(morvelay_lagrange_update_y(h, kY, 3), -1);
    EXPECT_EQ(last_error(), "Interpolator not fitted. Call fit(x, y) first.");

    ASSERT_EQ(morvelay_lagrange_fit(h, kX, 3, kY, 3), 0);
    double v = 0;
    ASSERT_EQ(morvelay_lagrange_eval(h, 1.5, &v), 0);
    EXPECT_EQ(v, 4.75);
    EXPECT_EQ(morvelay_lagrange_update_y(h, kY, 0), -1);  // even on a fitted handle
    EXPECT_EQ(last_error(), "y cannot be empty");
    EXPECT_EQ(morvelay_lagrange_update_y(h, kY, 2), -1);
    EXPECT_EQ(last_error(), "New y must have the same length as x");
    const double doubled[] = {2, 4, 6};
    ASSERT_EQ(morvelay_lagrange_update_y(h, doubled, 3), 0);
    ASSERT_EQ(morvelay_lagrange_eval(h, 0.5, &v), 0);
    EXPECT_EQ(v, 3);

    ASSERT_EQ(morvelay_lagrange_update_y(h, kY, 3), 0);
    EXPECT_EQ(morvelay_lagrange_add_point(h, 0.5, 0), 0);
    EXPECT_EQ(morvelay_lagrange_add_point(h, 0.5, 0), -1);
    EXPECT_EQ(last_error(), "x_new 0.5 already exists");
    const double xs[] = {0.5, 1.5};
    double out[2];
    ASSERT_EQ(morvelay_lagrange_eval_many(h, xs, 2, out), 0);
    EXPECT_EQ(out[0], 0);  // the new node's value, exactly
    morvelay_lagrange_destroy(h);
}

TEST(LagrangeFamily, AddPointNamesLargeNodesByTheirShortestDigits) {
    morvelay_lagrange* h = morvelay_lagrange_create();
    const double x[] = {1e23, 2e23}, y[] = {0, 1};
    ASSERT_EQ(morvelay_lagrange_fit(h, x, 2, y, 2), 0);
    EXPECT_EQ(morvelay_lagrange_add_point(h, 1e23, 5), -1);
    EXPECT_EQ(last_error(), "x_new 100000000000000000000000 already exists");
    morvelay_lagrange_destroy(h);
}

TEST(HermiteFamily, ChecksInOrderThenFitsAndEvaluates) {
    morvelay_hermite* h = morvelay_hermite_create();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(morvelay_hermite_fit(nullptr, nullptr, 3, kY, 3, kDy, 2), -1);
    EXPECT_EQ(last_error(), "hermite handle is null");
    EXPECT_EQ(morvelay_hermite_fit(h, kX, 3, kY, 3, nullptr, 2), -1);
    EXPECT_EQ(last_error(), "x_ptr, y_ptr, and dy_ptr must be non-null");
    EXPECT_EQ(morvelay_hermite_fit(h, kX, 3, kY, 3, kDy, 2), -1);
    EXPECT_EQ(last_error(), "x, y, and dy must all have the same length");
    EXPECT_EQ(morvelay_hermite_fit(h, kX, 0, kY, 0, kDy, 0), -1);
    EXPECT_EQ(last_error(), "x, y, and dy cannot be empty");
    double v = 0;
    EXPECT_EQ(morvelay_hermite_eval(h, 0.5, &v), -1);
    EXPECT_EQ(last_error(), "Interpolator not fitted. Call fit(x, y, dy) first.");
    EXPECT_EQ(morvelay_hermite_eval_many(h, kX, 0, &v), 0);

    ASSERT_EQ(morvelay_hermite_fit(h, kX, 3, kY, 3, kDy, 3), 0);
    ASSERT_EQ(morvelay_hermite_eval(h, 1.5, &v), 0);
    EXPECT_EQ(v, 4.75);
    EXPECT_EQ(morvelay_hermite_eval(nullptr, 0.5, &v), -1);
    EXPECT_EQ(morvelay_lagrange_last_error(nullptr, 0), sizeof "hermite handle is null");  // any family reads it
    morvelay_hermite_destroy(h);
}

}  // namespace
