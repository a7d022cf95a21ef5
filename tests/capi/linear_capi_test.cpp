// The C frame, told on the linear family: check order, messages, the last-error protocol.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "capi_testing.hpp"
#include "morvelay.h"

namespace {

using capi_testing::last_error;

struct Linear {
    morvelay_linear* handle = morvelay_linear_create();
    ~Linear() { morvelay_linear_destroy(handle); }
};

TEST(LinearFamily, FitEvalAndEvalMany) {
    Linear linear;
    const double x[] = {2, 0, 1}, y[] = {20, 0, 10};
    ASSERT_EQ(morvelay_linear_fit(linear.handle, x, 3, y, 3), 0);
    EXPECT_EQ(x[0], 2.0);  // the caller's arrays are never reordered
    double value = 0;
    ASSERT_EQ(morvelay_linear_eval(linear.handle, 0.5, &value), 0);
    EXPECT_EQ(value, 5.0);
    const double queries[] = {1.5, 0.5, -1, 9};
    double out[4];
    ASSERT_EQ(morvelay_linear_eval_many(linear.handle, queries, 4, out), 0);
    EXPECT_EQ(std::vector<double>(out, out + 4), (std::vector<double>{15, 5, 0, 20}));
}

// The C evaluation shares the core's knot rule: an infinite neighbour does not reach a knot's own value.
TEST(LinearFamily, KnotsGiveTheirOwnValue) {
    Linear linear;
    const double x[] = {1, 2, 3, 4}, y[] = {1, 2, INFINITY, 4};
    ASSERT_EQ(morvelay_linear_fit(linear.handle, x, 4, y, 4), 0);
    double out[4];
    for (std::size_t i = 0; i < 4; ++i) {
        ASSERT_EQ(morvelay_linear_eval(linear.handle, x[i], &out[i]), 0);
    }
    EXPECT_EQ(std::vector<double>(out, out + 4), std::vector<double>(y, y + 4));
    ASSERT_EQ(morvelay_linear_eval_many(linear.handle, x, 4, out), 0);
    EXPECT_EQ(std::vector<double>(out, out + 4), std::vector<double>(y, y + 4));
}

TEST(LinearFamily, CheckOrderAndMessages) {
    Linear linear;
    const double x[] = {0, 0}, y[] = {1, 2};
    double value = 7;
    EXPECT_EQ(morvelay_linear_fit(nullptr, nullptr, 0, nullptr, 1), -1);
    EXPECT_EQ(last_error(), "linear handle is null");
    EXPECT_EQ(morvelay_linear_fit(linear.handle, x, 2, nullptr, 2), -1);
    EXPECT_EQ(last_error(), "x_ptr and y_ptr must be non-null");
    EXPECT_EQ(morvelay_linear_fit(linear.handle, x, 2, y, 1), -1);
    EXPECT_EQ(last_error(), "x and y must have the same length");
    EXPECT_EQ(morvelay_linear_fit(linear.handle, x, 0, y, 0), -1);
    EXPECT_EQ(last_error(), "x and y cannot be empty");
    EXPECT_EQ(morvelay_linear_fit(linear.handle, x, 2, y, 2), -1);
    EXPECT_EQ(last_error(), "x values must be distinct");

    EXPECT_EQ(morvelay_linear_eval(nullptr, 0.5, nullptr), -1);
    EXPECT_EQ(last_error(), "linear handle is null");
    EXPECT_EQ(morvelay_linear_eval(linear.handle, 0.5, nullptr), -1);
    EXPECT_EQ(last_error(), "out_value must be non-null");
    EXPECT_EQ(morvelay_linear_eval(linear.handle, 0.5, &value), -1);
    EXPECT_EQ(last_error(), "Interpolator not fitted. Call fit(x, y) first.");
    EXPECT_EQ(value, 7.0);  // written only on success

    double out[3] = {7, 7, 7};
    EXPECT_EQ(morvelay_linear_eval_many(linear.handle, x, 0, out), 0);  // empty: not even the fitted check
    EXPECT_EQ(morvelay_linear_eval_many(linear.handle, nullptr, 3, out), -1);
    EXPECT_EQ(last_error(), "x_ptr and out_ptr must be non-null");
    EXPECT_EQ(morvelay_linear_eval_many(linear.handle, x, 2, out), -1);
    EXPECT_EQ(last_error(), "Interpolator not fitted. Call fit(x, y) first.");
    EXPECT_EQ(out[0], 7.0);
    morvelay_linear_destroy(nullptr);
}

TEST(LastError, ProtocolAndTruncation) {
    Linear linear;
    EXPECT_EQ(morvelay_linear_last_error(nullptr, 0), 1u);  // create cleared it
    const double x[] = {0, 0}, y[] = {1, 2};
    ASSERT_EQ(morvelay_linear_fit(linear.handle, x, 2, y, 2), -1);
    EXPECT_EQ(morvelay_linear_last_error(nullptr, 0), 26u);
    char small[10];
    EXPECT_EQ(morvelay_linear_last_error(small, sizeof small), 26u);
    EXPECT_STREQ(small, "x values ");
    char one[1] = {'z'};
    EXPECT_EQ(morvelay_last_error(one, 1), 26u);
    EXPECT_EQ(one[0], '\0');
    morvelay_linear_destroy(nullptr);  // destroy leaves it alone
    EXPECT_EQ(morvelay_last_error(nullptr, 0), 26u);

    const double good_x[] = {0, 1};
    ASSERT_EQ(morvelay_linear_fit(linear.handle, good_x, 2, y, 2), 0);
    EXPECT_EQ(morvelay_linear_last_error(nullptr, 0), 1u);
    char empty[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(morvelay_last_error(empty, sizeof empty), 1u);
    EXPECT_EQ(empty[0], '\0');
}

TEST(LastError, IsPerThread) {
    Linear linear;
    ASSERT_EQ(morvelay_linear_eval(linear.handle, 0.5, nullptr), -1);
    std::size_t other_thread_size = 0;
    std::thread([&] {
        other_thread_size = morvelay_last_error(nullptr, 0);
        double v;
        morvelay_linear_eval(nullptr, 0, &v);  // fails on that thread only
    }).join();
    EXPECT_EQ(other_thread_size, 1u);
    EXPECT_EQ(last_error(), "out_value must be non-null");
}

TEST(LinearFamily, OneHandleEvaluatedFromSeveralThreads) {
    Linear linear;
    std::vector<double> x(1000), y(1000);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = static_cast<double>(i);
        y[i] = std::sin(0.01 * static_cast<double>(i));
    }
    ASSERT_EQ(morvelay_linear_fit(linear.handle, x.data(), x.size(), y.data(), y.size()), 0);
    std::vector<double> queries(5000);
    for (std::size_t i = 0; i < queries.size(); ++i) queries[i] = 0.199 * static_cast<double>(i);
    std::vector<double> expected(queries.size());
    ASSERT_EQ(morvelay_linear_eval_many(linear.handle, queries.data(), queries.size(), expected.data()), 0);
    std::vector<std::thread> threads;
    std::vector<int> agree(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::vector<double> out(queries.size());
            bool same = true;
            for (int round = 0; round < 50; ++round) {
                same &= morvelay_linear_eval_many(linear.handle, queries.data(), queries.size(), out.data()) == 0;
                same &= out == expected;
            }
            agree[static_cast<std::size_t>(t)] = same;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(agree, (std::vector<int>{1, 1, 1, 1}));
}

}  // namespace
