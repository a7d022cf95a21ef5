// The panel-blocked dense solver must be the textbook row-per-equation elimination in another storage:
// same bits, same messages, whatever the size relative to the panel and whatever pivoting happens.  Its
// singularity test is relative to the matrix, so a system decides alike at every scale.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "core/dense_solver.hpp"
#include "reference_elimination.hpp"

namespace morvelay {
namespace {

using testing::reference_elimination;

struct System {
    std::vector<double> dense;
    std::vector<std::vector<double>> rows;
    std::vector<double> b;
};

System random_system(std::size_t n, std::uint32_t seed, double diagonal_boost) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    System s{std::vector<double>(n * n), std::vector<std::vector<double>>(n, std::vector<double>(n)),
             std::vector<double>(n)};
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            const double v = value(rng) + (i == j ? diagonal_boost : 0.0);
            s.dense[i * n + j] = v;
            s.rows[i][j] = v;
        }
        s.b[i] = value(rng);
    }
    return s;
}

void expect_same_bits(const Result<std::vector<double>>& a, const Result<std::vector<double>>& b) {
    ASSERT_EQ(a.ok(), b.ok());
    if (!a.ok()) {
        EXPECT_EQ(a.error(), b.error());
        return;
    }
    ASSERT_EQ(a.value().size(), b.value().size());
    for (std::size_t i = 0; i < a.value().size(); ++i) {
        if (std::isnan(a.value()[i]) && std::isnan(b.value()[i])) continue;  // NaN payloads are not promised
        EXPECT_EQ(std::bit_cast<std::uint64_t>(a.value()[i]), std::bit_cast<std::uint64_t>(b.value()[i])) << i;
    }
}

TEST(DenseSolver, BitIdenticalToRowSolverAcrossPanelBoundaries) {
    // Sizes around multiples of the panel and tile widths, and sizes whose last columns take each of the
    // narrower vector widths (n mod 16 = 8, 12, 13, 15); no diagonal boost means pivoting on most steps.
    for (std::size_t n : {0u, 1u, 2u, 31u, 32u, 33u, 45u, 64u, 97u, 111u, 236u, 530u, 552u}) {
        for (double boost : {0.0, 4.0}) {
            System s = random_system(n, static_cast<std::uint32_t>(n * 7 + boost), boost);
            expect_same_bits(solve_dense_row_major(s.dense, n, s.b), reference_elimination(s.rows, s.b));
        }
    }
}

TEST(DenseSolver, BitIdenticalOnSparseKernelMatrices) {
    // Gaussian kernel matrices: exact zeros (underflowed far entries) and subnormals, sorted and shuffled
    // centres; then the same with a -0 entry and an infinite entry, which must not change the outcome.
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> jitter(-0.3, 0.3);
    for (int variant = 0; variant < 4; ++variant) {
        const std::size_t n = 203;
        std::vector<double> x(n);
        for (std::size_t i = 0; i < n; ++i) x[i] = static_cast<double>(i) + jitter(rng);
        if (variant > 0) std::shuffle(x.begin(), x.end(), rng);
        System s{std::vector<double>(n * n), std::vector<std::vector<double>>(n, std::vector<double>(n)),
                 std::vector<double>(n)};
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < n; ++j) {
                const double d = x[i] - x[j];
                s.dense[i * n + j] = s.rows[i][j] = std::exp(-(d * d));
            }
            s.b[i] = std::sin(x[i]);
        }
        if (variant == 2) s.dense[7 * n + 150] = s.rows[7][150] = -0.0;
        if (variant == 3) s.dense[7 * n + 150] = s.rows[7][150] = std::numeric_limits<double>::infinity();
        expect_same_bits(solve_dense_row_major(s.dense, n, s.b), reference_elimination(s.rows, s.b));
    }
}

TEST(DenseSolver, ZeroMultipliersStillMeetAnInfinitePivotRow) {
    // Rows below the first panel are zero there, so all their multipliers are 0; 0 * inf in column 36 must
    // still turn them into NaN, as in the plain form.
    const std::size_t n = 40;
    System s = random_system(n, 3, 4.0);
    for (std::size_t i = 32; i < n; ++i) {
        for (std::size_t j = 0; j < 32; ++j) s.dense[i * n + j] = s.rows[i][j] = 0.0;
    }
    s.dense[3 * n + 36] = s.rows[3][36] = std::numeric_limits<double>::infinity();
    auto rows = reference_elimination(s.rows, s.b);
    ASSERT_TRUE(rows.ok());
    EXPECT_TRUE(std::isnan(rows.value()[36]));
    expect_same_bits(solve_dense_row_major(s.dense, n, s.b), rows);
}

TEST(DenseSolver, ZeroMultipliersKeepTheSignOfZero) {
    // -0 - (+0 * u) stays -0 but -0 - (+0 * (negative u)) is +0: with a -0 entry in the matrix the zero
    // multipliers of rows 32..35 must still be applied.  Here that sign reaches x[33] through b[33] = -0.
    const std::size_t n = 36;
    System s = random_system(n, 9, 4.0);
    for (std::size_t i = 0; i < 32; ++i) s.b[i] = 0.0;
    for (std::size_t i = 32; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) s.dense[i * n + j] = s.rows[i][j] = (i == j ? 4.0 : 0.0);
        s.b[i] = 4.0;
    }
    s.dense[33 * n + 34] = s.rows[33][34] = -0.0;
    s.b[33] = -0.0;
    auto rows = reference_elimination(s.rows, s.b);
    ASSERT_TRUE(rows.ok());
    EXPECT_TRUE(std::signbit(rows.value()[33]));
    expect_same_bits(solve_dense_row_major(s.dense, n, s.b), rows);
}

TEST(DenseSolver, SameFailureStepInsideALaterPanel) {
    // Row 40 repeats row 3, so the pivot search runs dry at a step past the first panel.
    System s = random_system(70, 11, 0.0);
    for (std::size_t j = 0; j < 70; ++j) {
        s.dense[40 * 70 + j] = s.dense[3 * 70 + j];
        s.rows[40][j] = s.rows[3][j];
    }
    auto dense = solve_dense_row_major(s.dense, 70, s.b);
    auto rows = reference_elimination(s.rows, s.b);
    ASSERT_FALSE(rows.ok());
    EXPECT_EQ(rows.error().rfind("Singular matrix near pivot ", 0), 0u);
    expect_same_bits(dense, rows);
}

TEST(DenseSolver, SmallCasesOfTheContract) {
    auto swapped = solve_dense_row_major({0, 1, 1, 0}, 2, {2, 3});
    ASSERT_TRUE(swapped.ok());
    EXPECT_EQ(swapped.value(), (std::vector<double>{3, 2}));
    EXPECT_EQ(solve_dense_row_major({1, 2, 2, 4}, 2, {1, 1}).error(), "Singular matrix near pivot 1");
    EXPECT_EQ(solve_dense_row_major({0, 1, 0, 1}, 2, {1, 1}).error(), "Singular matrix near pivot 0");
    EXPECT_EQ(solve_dense_row_major({0, 0, 0, 0}, 2, {1, 1}).error(), "Singular matrix near pivot 0");
    EXPECT_EQ(solve_dense_row_major({0}, 1, {1}).error(), "Singular matrix near pivot 0");
    // Against the largest entry: 1e-12 of it passes, less fails, whether the small pivot comes first or
    // is what elimination leaves.
    EXPECT_TRUE(solve_dense_row_major({1, 0, 0, 1e-12}, 2, {1, 1}).ok());
    EXPECT_EQ(solve_dense_row_major({1, 0, 0, 9.99e-13}, 2, {1, 1}).error(), "Singular matrix near pivot 1");
    EXPECT_EQ(solve_dense_row_major({1e-13, 1, -5e-13, 1}, 2, {1, 1}).error(), "Singular matrix near pivot 0");
    EXPECT_EQ(solve_dense_row_major({1, 1, 1, 1 + 0x1p-52}, 2, {1, 1}).error(), "Singular matrix near pivot 1");
    // A lone entry is its own scale: any non-zero one is solved.
    EXPECT_EQ(solve_dense_row_major({9.99e-13}, 1, {9.99e-13}).value(), std::vector<double>{1});
}

TEST(DenseSolver, ScaleOfTheEntriesDecidesNothing) {
    // A power-of-two scale of a and b changes no rounding, so the solution keeps its bits and a failure
    // its step, from entries near 1e-150 to entries near 1e150.
    System s = random_system(40, 21, 0.0);
    System singular = random_system(40, 22, 0.0);
    for (std::size_t j = 0; j < 40; ++j) singular.dense[17 * 40 + j] = 3.0 * singular.dense[5 * 40 + j];
    const auto plain = solve_dense_row_major(s.dense, 40, s.b);
    const auto failed = solve_dense_row_major(singular.dense, 40, singular.b);
    ASSERT_TRUE(plain.ok());
    ASSERT_FALSE(failed.ok());
    for (double scale : {0x1p-500, 0x1p-40, 0x1p+500}) {
        System scaled = s, scaled_singular = singular;
        for (double& v : scaled.dense) v *= scale;
        for (double& v : scaled.b) v *= scale;
        for (double& v : scaled_singular.dense) v *= scale;
        expect_same_bits(solve_dense_row_major(scaled.dense, 40, scaled.b), plain);
        EXPECT_EQ(solve_dense_row_major(scaled_singular.dense, 40, singular.b).error(), failed.error()) << scale;
    }
}

TEST(DenseSolver, NonFiniteEntriesDoNotSetTheScale) {
    // An infinite entry would make every pivot "small"; it propagates into the solution instead, as a
    // NaN does, while a tiny pivot next to it is still judged against the finite entries.
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(solve_dense_row_major({2, 1, 1, inf}, 2, {1, 1}).value(), (std::vector<double>{0.5, 0.0}));
    EXPECT_EQ(solve_dense_row_major({1, 0, inf, 0, 1e-13, 0, 0, 0, 1}, 3, {1, 1, 1}).error(),
              "Singular matrix near pivot 1");
    EXPECT_TRUE(solve_dense_row_major({std::nan(""), 0, 0, 1}, 2, {1, 1}).ok());
}

}  // namespace
}  // namespace morvelay
