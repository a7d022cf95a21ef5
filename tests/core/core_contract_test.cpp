// The shared pieces: error texts, the dense solver, uniform detection, number forms.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "core/core_contract.hpp"
#include "core/dense_solver.hpp"
#include "core/number_text.hpp"
#include "core/search.hpp"
#include "reference_elimination.hpp"

namespace morvelay {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST(CoreError, RendersTheExactTexts) {
    EXPECT_EQ(CoreError::not_fitted("Call fit(x, y) first.").message(),
              "Interpolator not fitted. Call fit(x, y) first.");
    EXPECT_EQ(CoreError::length_mismatch(3, 2, "input", "output").message(),
              "input and output must have the same length (3 vs 2)");
    EXPECT_EQ(CoreError::empty_input("x and y").message(), "x and y cannot be empty");
    EXPECT_EQ(CoreError::not_distinct("x values").message(), "x values must be distinct");
    EXPECT_EQ(CoreError::invalid_input("epsilon must be positive").message(), "epsilon must be positive");
    EXPECT_EQ(CoreError::length_mismatch(18446744073709551615ull, 0, "x", "y").message(),
              "x and y must have the same length (18446744073709551615 vs 0)");
}

TEST(FillManyChecks, FittedComesBeforeLength) {
    EXPECT_EQ(check_fill_many(false, "Call fit(x, y) first.", 3, 2).error(),
              "Interpolator not fitted. Call fit(x, y) first.");
    EXPECT_EQ(check_fill_many(true, "unused", 3, 2).error(), "input and output must have the same length (3 vs 2)");
    EXPECT_TRUE(check_fill_many(true, "unused", 0, 0).ok());
}

// The solver on a matrix written row by row.
Result<std::vector<double>> solve(const std::vector<std::vector<double>>& a, std::vector<double> b) {
    std::vector<double> flat;
    for (const auto& row : a) flat.insert(flat.end(), row.begin(), row.end());
    const std::size_t n = b.size();
    return solve_dense_row_major(std::move(flat), n, std::move(b));
}

TEST(Solver, SmallSystemsAndRowExchange) {
    EXPECT_EQ(solve({}, {}).value(), std::vector<double>{});
    EXPECT_EQ(solve({{5}}, {10}).value(), std::vector<double>{2});
    EXPECT_EQ(solve({{0, 1}, {1, 0}}, {2, 3}).value(), (std::vector<double>{3, 2}));
}

TEST(Solver, SingularPivotsAndTheRelativeThreshold) {
    EXPECT_EQ(solve({{0, 1}, {0, 1}}, {1, 1}).error(), "Singular matrix near pivot 0");
    EXPECT_EQ(solve({{1e-13, 1}, {-5e-13, 1}}, {1, 1}).error(), "Singular matrix near pivot 0");
    EXPECT_EQ(solve({{1, 2}, {2, 4}}, {1, 2}).error(), "Singular matrix near pivot 1");
    EXPECT_EQ(solve({{1e-20, 2e-20}, {2e-20, 4e-20}}, {1, 2}).error(), "Singular matrix near pivot 1");
    EXPECT_TRUE(solve({{1e-12}}, {1}).ok());
    EXPECT_TRUE(solve({{9.99e-13}}, {1}).ok());
    EXPECT_TRUE(solve({{1e-20, 3e-20}, {2e-20, 4e-20}}, {1, 2}).ok());
}

TEST(Solver, TiesKeepTheUpperRowAndNaNIsNeverChosen) {
    // Column 0 ties at |3|; taking the lower row instead would round the solution differently
    // (x0 would end in ...118bp-10).
    auto tie = solve({{3.0, 0.30000000000000004, 0.7}, {-3.0, 0.6, 1.1}, {1, 1, 1}}, {0.1, 0.2, 0.3}).value();
    EXPECT_EQ(tie[0], -0x1.19e0119e011b0p-10);
    EXPECT_EQ(tie[1], 0x1.1344d1344d133p-2);
    EXPECT_EQ(tie[2], 0x1.084210842108bp-5);
    // A NaN below a finite pivot is not chosen; elimination runs on and the solution is NaN, not an error.
    auto with_nan = solve({{1, 1}, {kNaN, 1}}, {1, 2});
    ASSERT_TRUE(with_nan.ok());
    EXPECT_TRUE(std::isnan(with_nan.value()[0]));
    // A NaN pivot itself passes the threshold test.
    EXPECT_TRUE(solve({{kNaN}}, {1}).ok());
}

TEST(Solver, DenseRowMajorFormIsBitIdentical) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (std::size_t n : {1u, 2u, 3u, 7u, 16u, 33u}) {
        std::vector<std::vector<double>> rows(n, std::vector<double>(n));
        std::vector<double> flat(n * n), b(n);
        for (std::size_t i = 0; i < n; ++i) {
            b[i] = value(random);
            for (std::size_t j = 0; j < n; ++j) flat[i * n + j] = rows[i][j] = value(random);
        }
        auto reference = testing::reference_elimination(rows, b);
        auto dense = solve_dense_row_major(flat, n, b);
        ASSERT_TRUE(reference.ok());
        EXPECT_EQ(dense.value(), reference.value()) << "n = " << n;
    }
    EXPECT_EQ(solve_dense_row_major({1, 2, 2, 4}, 2, {1, 2}).error(), "Singular matrix near pivot 1");
}

TEST(UniformStep, DetectionThresholds) {
    EXPECT_EQ(uniform_step(std::vector<double>{0, 1, 2, 3}), 1.0);
    EXPECT_TRUE(uniform_step(std::vector<double>{0, 0.1, 0.2, 0.3}).has_value());
    EXPECT_TRUE(uniform_step(std::vector<double>{0, 1, 2.00000000005, 3}).has_value());
    EXPECT_FALSE(uniform_step(std::vector<double>{0, 1, 2.0000000002, 3}).has_value());
    EXPECT_FALSE(uniform_step(std::vector<double>{0, 1, 2.5}).has_value());
    EXPECT_FALSE(uniform_step(std::vector<double>{0, 1}).has_value());
    EXPECT_FALSE(uniform_step(std::vector<double>{1, 0, -1}).has_value());
    EXPECT_FALSE(uniform_step(std::vector<double>{0, kInf, kInf}).has_value());
    // A NaN deviation does not count against uniformity.
    EXPECT_TRUE(uniform_step(std::vector<double>{0, 1, kNaN, 3}).has_value());
    // Evenly spaced by a subnormal step: uniform, but 1/h overflows, so the segment is searched instead.
    const double tiny = std::numeric_limits<double>::denorm_min();
    EXPECT_TRUE(uniform_step(std::vector<double>{0, tiny, 2 * tiny, 3 * tiny}).has_value());
    EXPECT_FALSE(inverse_uniform_step(std::vector<double>{0, tiny, 2 * tiny, 3 * tiny}).has_value());
}

TEST(Helpers, NonDecreasingAndSaturatingIndex) {
    EXPECT_TRUE(is_non_decreasing(std::vector<double>{}));
    EXPECT_TRUE(is_non_decreasing(std::vector<double>{kNaN}));
    EXPECT_TRUE(is_non_decreasing(std::vector<double>{1, 1, 2}));
    EXPECT_FALSE(is_non_decreasing(std::vector<double>{1, kNaN}));
    EXPECT_FALSE(is_non_decreasing(std::vector<double>{2, 1}));
    EXPECT_EQ(saturating_index(kNaN), 0u);
    EXPECT_EQ(saturating_index(-3.0), 0u);
    EXPECT_EQ(saturating_index(41.0), 41u);
    EXPECT_EQ(saturating_index(kInf), std::numeric_limits<std::size_t>::max());
    EXPECT_EQ(saturating_index(1e300), std::numeric_limits<std::size_t>::max());
}

// The galloping cursor lands where stepping one knot at a time does, from every start, for every
// prefix length, up to the end of the range.
TEST(Helpers, AdvanceCursorAgreesWithSteppingOneByOne) {
    for (std::size_t last = 0; last < 40; ++last) {
        for (std::size_t target = 0; target <= last + 1; ++target) {
            const auto beyond = [target](std::size_t i) { return i < target; };
            for (std::size_t from = 0; from <= last; ++from) {
                std::size_t stepped = from;
                while (stepped < last && beyond(stepped)) ++stepped;
                EXPECT_EQ(advance_cursor(from, last, beyond), stepped) << from << " " << target << " " << last;
            }
        }
    }
}

TEST(NumberText, ShortestAndFixedForms) {
    EXPECT_EQ(format_shortest(1.0), "1");
    EXPECT_EQ(format_shortest(0.5), "0.5");
    EXPECT_EQ(format_shortest(0.1), "0.1");
    EXPECT_EQ(format_shortest(1e21), "1000000000000000000000");
    EXPECT_EQ(format_shortest(1e-7), "0.0000001");
    EXPECT_EQ(format_shortest(-0.0), "-0");
    EXPECT_EQ(format_shortest(kNaN), "NaN");
    EXPECT_EQ(format_shortest(-kInf), "-inf");
    EXPECT_EQ(format_shortest(5e-324).size(), 326u);
    EXPECT_EQ(format_shortest(std::numeric_limits<double>::max()).size(), 309u);
    EXPECT_EQ(format_shortest(kInf), "inf");
    EXPECT_EQ(format_fixed(1.0, 2), "1.00");
    EXPECT_EQ(format_fixed(2.675, 2), "2.67");  // the binary value lies below 2.675
    EXPECT_EQ(format_fixed(0.125, 2), "0.12");  // exact tie: to even
    EXPECT_EQ(format_fixed(-0.0, 2), "-0.00");
    EXPECT_EQ(format_fixed(0.64, 4), "0.6400");
    EXPECT_EQ(format_fixed(kInf, 2), "inf");
    EXPECT_EQ(format_fixed(std::numeric_limits<double>::max(), 4).size(), 314u);
}

// Beyond 2^53 the shortest digits are followed by zeros, never by the rest of the exact binary value.
TEST(NumberText, ShortestDigitsThenZerosForLargeAndTinyValues) {
    EXPECT_EQ(format_shortest(1e23), "100000000000000000000000");
    EXPECT_EQ(format_shortest(-1e23), "-100000000000000000000000");
    EXPECT_EQ(format_shortest(std::numeric_limits<double>::max()), "17976931348623157" + std::string(292, '0'));
    EXPECT_EQ(format_shortest(5e-324), "0." + std::string(323, '0') + "5");
    EXPECT_EQ(format_shortest(-2.2250738585072014e-308), "-0." + std::string(307, '0') + "22250738585072014");
    EXPECT_EQ(format_shortest(9007199254740993.0), "9007199254740992");  // 2^53 + 1 rounds to 2^53
    EXPECT_EQ(format_shortest(123456.789e3), "123456789");
    EXPECT_EQ(format_shortest(1234.5678), "1234.5678");
    EXPECT_EQ(format_shortest(0.0), "0");
}

}  // namespace
}  // namespace morvelay
