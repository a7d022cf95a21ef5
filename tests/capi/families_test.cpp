// The checks every family shares, run over all nine from one table: the null-handle text, the order of
// eval's checks, eval_many's null-pointer text and its answer for an empty buffer, the not-fitted text,
// destroy(NULL), and that each family's _last_error reads the same per-thread text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "capi_testing.hpp"
#include "morvelay.h"

namespace {

using capi_testing::last_error;

struct Family {
    const char* name;
    const char* null_handle;
    const char* not_fitted;
    const char* eval_many_null;
    bool out_value_checked_first;  // chebyshev checks its output pointer before the handle
    bool empty_batch_succeeds;     // chebyshev still asks its core, which is not fitted
    void* (*create)();
    void (*destroy)(void*);
    int (*eval)(const void*, double, double*);
    int (*eval_many)(const void*, const double*, size_t, double*);
    size_t (*last_error)(char*, size_t);
    int (*fit)(void*);  // fits sample data on [0, 1] (chebyshev: its own nodes on [-1, 1])
};

// Sample data shared by the fits below: 64 points of a smooth function on [0, 1], with derivatives.
struct Sample {
    double x[64], y[64], dy[64];
    Sample() {
        for (int i = 0; i < 64; ++i) {
            x[i] = i / 63.0;
            y[i] = std::sin(3.0 * x[i]) + 0.5 * x[i];
            dy[i] = 3.0 * std::cos(3.0 * x[i]) + 0.5;
        }
    }
};
const Sample sample;

template <class H>
using Eval = int32_t (*)(const H*, double, double*);
template <class H>
using EvalMany = int32_t (*)(const H*, const double*, size_t, double*);

#define MORVELAY_FIT_XY(family)                                                                         \
    [](void* h) -> int {                                                                                \
        return morvelay_##family##_fit(static_cast<morvelay_##family*>(h), sample.x, 64, sample.y, 64); \
    }

#define MORVELAY_FAMILY(family, create_call, null_text, not_fitted_text, many_null, cheb, fit_call)         \
    Family {                                                                                                \
        #family, null_text, not_fitted_text, many_null, cheb, !cheb, []() -> void* { return create_call; }, \
            [](void* h) { morvelay_##family##_destroy(static_cast<morvelay_##family*>(h)); },               \
            [](const void* h, double x, double* out) -> int {                                               \
                return morvelay_##family##_eval(static_cast<const morvelay_##family*>(h), x, out);          \
            },                                                                                              \
            [](const void* h, const double* x, size_t n, double* out) -> int {                              \
                return morvelay_##family##_eval_many(static_cast<const morvelay_##family*>(h), x, n, out);  \
            },                                                                                              \
            morvelay_##family##_last_error, fit_call                                                        \
    }

constexpr const char* kNotFitted = "Interpolator not fitted. Call fit(x, y) first.";
constexpr const char* kManyNull = "x_ptr and out_ptr must be non-null";

const std::vector<Family>& families() {
    static const std::vector<Family> all = {
        MORVELAY_FAMILY(linear, morvelay_linear_create(), "linear handle is null", kNotFitted, kManyNull, false,
                        MORVELAY_FIT_XY(linear)),
        MORVELAY_FAMILY(newton, morvelay_newton_create(), "newton handle is null", kNotFitted, kManyNull, false,
                        MORVELAY_FIT_XY(newton)),
        MORVELAY_FAMILY(lagrange, morvelay_lagrange_create(), "lagrange handle is null", kNotFitted, kManyNull, false,
                        MORVELAY_FIT_XY(lagrange)),
        MORVELAY_FAMILY(hermite, morvelay_hermite_create(), "hermite handle is null",
                        "Interpolator not fitted. Call fit(x, y, dy) first.", kManyNull, false,
                        [](void* h) -> int {
                            return morvelay_hermite_fit(static_cast<morvelay_hermite*>(h), sample.x, 16, sample.y, 16,
                                                        sample.dy, 16);
                        }),
        MORVELAY_FAMILY(quadratic, morvelay_quadratic_create(), "quadratic handle is null", kNotFitted, kManyNull,
                        false, MORVELAY_FIT_XY(quadratic)),
        MORVELAY_FAMILY(cubic_spline, morvelay_cubic_spline_create(), "cubic_spline handle is null", kNotFitted,
                        kManyNull, false, MORVELAY_FIT_XY(cubic_spline)),
        MORVELAY_FAMILY(least_squares, morvelay_least_squares_create(2), "least squares handle is null", kNotFitted,
                        kManyNull, false, MORVELAY_FIT_XY(least_squares)),
        MORVELAY_FAMILY(rbf, morvelay_rbf_create(0, 20.0), "rbf handle is null", kNotFitted, kManyNull, false,
                        MORVELAY_FIT_XY(rbf)),
        MORVELAY_FAMILY(
            chebyshev, morvelay_chebyshev_create(8, -1.0, 1.0, true), "chebyshev handle is null",
            "Interpolator not fitted. Call fit(y) first.", "pointer must not be null", true,
            [](void* h) -> int { return morvelay_chebyshev_fit(static_cast<morvelay_chebyshev*>(h), sample.y, 8); }),
    };
    return all;
}

class EveryFamily : public ::testing::TestWithParam<Family> {};

TEST_P(EveryFamily, SharedChecksInTheirOrder) {
    const Family& f = GetParam();
    void* h = f.create();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(last_error(), "");  // create clears it
    double value = 7.0, out[2] = {7.0, 7.0};
    const double x[2] = {0.25, 0.5};

    EXPECT_EQ(f.eval(nullptr, 0.0, nullptr), -1);
    EXPECT_EQ(last_error(), f.out_value_checked_first ? "out_value must be non-null" : f.null_handle);
    EXPECT_EQ(f.eval(nullptr, 0.0, &value), -1);
    EXPECT_EQ(last_error(), f.null_handle);
    EXPECT_EQ(f.eval(h, 0.0, nullptr), -1);
    EXPECT_EQ(last_error(), "out_value must be non-null");
    EXPECT_EQ(f.eval(h, 0.25, &value), -1);
    EXPECT_EQ(last_error(), f.not_fitted);
    EXPECT_EQ(value, 7.0);

    EXPECT_EQ(f.eval_many(nullptr, x, 2, out), -1);
    EXPECT_EQ(last_error(), f.null_handle);
    EXPECT_EQ(f.eval_many(h, nullptr, 2, out), -1);
    EXPECT_EQ(last_error(), f.eval_many_null);
    EXPECT_EQ(f.eval_many(h, x, 2, nullptr), -1);
    EXPECT_EQ(last_error(), f.eval_many_null);
    EXPECT_EQ(f.eval_many(h, x, 2, out), -1);
    EXPECT_EQ(last_error(), f.not_fitted);
    EXPECT_EQ(out[0], 7.0);
    EXPECT_EQ(f.eval_many(h, x, 0, out), f.empty_batch_succeeds ? 0 : -1);
    EXPECT_EQ(last_error(), f.empty_batch_succeeds ? "" : f.not_fitted);

    // Every _last_error reads the same text, which destroy and the readers leave alone.
    EXPECT_EQ(f.eval(h, 0.25, &value), -1);
    const size_t size = f.last_error(nullptr, 0);
    for (const Family& other : families()) EXPECT_EQ(other.last_error(nullptr, 0), size) << other.name;
    f.destroy(nullptr);
    f.destroy(h);
    EXPECT_EQ(last_error(), f.not_fitted);
}

// One fitted handle, evaluated from four threads at once (sorted, unsorted and single points), must
// give every thread the answers a lone thread gets; a failure on one thread stays on that thread.
TEST_P(EveryFamily, OneHandleSharedByThreads) {
    const Family& f = GetParam();
    void* h = f.create();
    ASSERT_EQ(f.fit(h), 0) << last_error();
    std::vector<double> queries(4000);
    for (std::size_t i = 0; i < queries.size(); ++i) {
        queries[i] =
            std::fmod(0.618033988749895 * static_cast<double>(i), 1.0) * 0.98 - (f.empty_batch_succeeds ? 0 : 0.49);
    }
    std::vector<double> sorted = queries;
    std::sort(sorted.begin(), sorted.end());
    std::vector<double> expected(queries.size()), expected_sorted(queries.size());
    ASSERT_EQ(f.eval_many(h, queries.data(), queries.size(), expected.data()), 0);
    ASSERT_EQ(f.eval_many(h, sorted.data(), sorted.size(), expected_sorted.data()), 0);

    std::vector<int> agreed(4, 0);
    std::vector<std::string> errors_seen(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::vector<double> out(queries.size());
            bool same = true;
            for (int round = 0; round < 20; ++round) {
                same &= f.eval_many(h, queries.data(), queries.size(), out.data()) == 0 && out == expected;
                same &= f.eval_many(h, sorted.data(), sorted.size(), out.data()) == 0 && out == expected_sorted;
                double value = 0;
                same &= f.eval(h, queries[static_cast<std::size_t>(round)], &value) == 0;
                if (t == 0) f.eval(h, 0.5, nullptr);  // a failure on this thread only
            }
            errors_seen[static_cast<std::size_t>(t)] = last_error();
            agreed[static_cast<std::size_t>(t)] = same;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(agreed, (std::vector<int>{1, 1, 1, 1}));
    EXPECT_EQ(errors_seen[0], "out_value must be non-null");
    for (int t = 1; t < 4; ++t) EXPECT_EQ(errors_seen[static_cast<std::size_t>(t)], "");
    f.destroy(h);
}

INSTANTIATE_TEST_SUITE_P(CInterface, EveryFamily, ::testing::ValuesIn(families()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
