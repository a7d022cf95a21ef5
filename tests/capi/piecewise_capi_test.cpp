#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "capi_testing.hpp"
#include "morvelay.h"

namespace {

using capi_testing::last_error;

TEST(QuadraticCapi, ChecksInOrder) {
    morvelay_quadratic* h = morvelay_quadratic_create();
    const double x[] = {0, 1, 2, 3}, y[] = {0, 1, 4, 9};
    double v = -1, out[3] = {-1, -1, -1};
    EXPECT_EQ(morvelay_quadratic_fit(nullptr, x, 3, y, 3), -1);
    EXPECT_EQ(last_error(), "quadratic handle is null");
    EXPECT_EQ(morvelay_quadratic_fit(h, x, 3, nullptr, 3), -1);
    EXPECT_EQ(last_error(), "x_ptr and y_ptr must be non-null");
    EXPECT_EQ(morvelay_quadratic_fit(h, x, 2, y, 1), -1);
    EXPECT_EQ(last_error(), "x and y must have the same length");
    EXPECT_EQ(morvelay_quadratic_fit(h, x, 2, y, 2), -1);
    EXPECT_EQ(last_error(), "Quadratic interpolation requires at least 3 data points");
    EXPECT_EQ(morvelay_quadratic_eval_many(h, x, 0, out), 0);  // empty: the unfitted core is not asked
    EXPECT_EQ(morvelay_quadratic_eval_many(h, x, 3, out), -1);
    EXPECT_EQ(last_error(), "Interpolator not fitted. Call fit(x, y) first.");
    EXPECT_EQ(out[0], -1.0);
    const double descending[] = {3, 2, 1};
    EXPECT_EQ(morvelay_quadratic_fit(h, descending, 3, y, 3), -1);
    EXPECT_EQ(last_error(), "x values must be strictly increasing");
    ASSERT_EQ(morvelay_quadratic_fit(h, x, 4, y, 4), 0);
    EXPECT_EQ(morvelay_quadratic_eval(h, 5.0, &v), 0);
    EXPECT_EQ(v, 25.0);
    morvelay_quadratic_destroy(h);
    morvelay_quadratic_destroy(nullptr);
}

TEST(CubicSplineCapi, ChecksInOrder) {
    morvelay_cubic_spline* h = morvelay_cubic_spline_create();
    const double x[] = {0, 1, 2, 3}, y[] = {0, 1, 8, 27};
    double v = -1;
    EXPECT_EQ(morvelay_cubic_spline_fit(nullptr, x, 1, y, 1), -1);
    EXPECT_EQ(last_error(), "cubic_spline handle is null");
    EXPECT_EQ(morvelay_cubic_spline_fit(h, x, 1, y, 2), -1);
    EXPECT_EQ(last_error(), "x and y must have the same length");
    EXPECT_EQ(morvelay_cubic_spline_fit(h, x, 1, y, 1), -1);
    EXPECT_EQ(last_error(), "Cubic spline interpolation requires at least 2 data points");
    EXPECT_EQ(morvelay_cubic_spline_eval(h, 1.5, &v), -1);
    EXPECT_EQ(last_error(), "Interpolator not fitted. Call fit(x, y) first.");
    const double with_nan[] = {0, NAN, 2, 3};
    EXPECT_EQ(morvelay_cubic_spline_fit(h, with_nan, 4, y, 4), -1);
    EXPECT_EQ(morvelay_cubic_spline_last_error(nullptr, 0), sizeof("x values must not be NaN"));
    ASSERT_EQ(morvelay_cubic_spline_fit(h, x, 4, y, 4), 0);
    ASSERT_EQ(morvelay_cubic_spline_eval(h, 1.5, &v), 0);
    EXPECT_NEAR(v, 3.375, 1e-14);
    morvelay_cubic_spline_destroy(h);
}

// A host may evaluate in place; the sorted sweep reads ahead of where it writes, so check both orders.
TEST(PiecewiseCapi, InPlaceEvaluationMatchesSeparateBuffers) {
    std::vector<double> x(50), y(50);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = 0.2 * static_cast<double>(i) + 0.01 * static_cast<double>(i % 3);
        y[i] = std::sin(x[i]);
    }
    morvelay_cubic_spline* spline = morvelay_cubic_spline_create();
    morvelay_quadratic* quadratic = morvelay_quadratic_create();
    ASSERT_EQ(morvelay_cubic_spline_fit(spline, x.data(), x.size(), y.data(), y.size()), 0);
    ASSERT_EQ(morvelay_quadratic_fit(quadratic, x.data(), x.size(), y.data(), y.size()), 0);
    for (bool sorted : {true, false}) {
        std::vector<double> q(300);
        for (std::size_t k = 0; k < q.size(); ++k) {
            q[k] = sorted ? -1.0 + 0.04 * static_cast<double>(k) : std::fmod(7.3 * static_cast<double>(k), 12.0) - 1.0;
        }
        std::vector<double> separate(q.size()), in_place = q;
        ASSERT_EQ(morvelay_cubic_spline_eval_many(spline, q.data(), q.size(), separate.data()), 0);
        ASSERT_EQ(morvelay_cubic_spline_eval_many(spline, in_place.data(), in_place.size(), in_place.data()), 0);
        EXPECT_EQ(in_place, separate);
        in_place = q;
        ASSERT_EQ(morvelay_quadratic_eval_many(quadratic, q.data(), q.size(), separate.data()), 0);
        ASSERT_EQ(morvelay_quadratic_eval_many(quadratic, in_place.data(), in_place.size(), in_place.data()), 0);
        EXPECT_EQ(in_place, separate);
    }
    morvelay_cubic_spline_destroy(spline);
    morvelay_quadratic_destroy(quadratic);
}

}  // namespace
