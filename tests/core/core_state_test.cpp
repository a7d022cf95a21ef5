#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/chebyshev_core.hpp"
#include "core/cubic_spline_core.hpp"
#include "core/hermite_core.hpp"
#include "core/lagrange_core.hpp"
#include "core/least_squares_core.hpp"
#include "core/linear_core.hpp"
#include "core/newton_core.hpp"
#include "core/quadratic_core.hpp"
#include "core/rbf_core.hpp"

namespace morvelay {
namespace {

using Values = std::vector<double>;

const Values kX = {0.0, 0.4, 0.9, 1.2, 2.0};
const Values kY = {1.0, 2.0, 0.5, 3.0, 2.5};
const Values kQueries = {-0.5, 0.0, 0.1, 0.4, 0.65, 1.0, 1.2, 1.99, 2.0, 2.5, std::nan("")};

// Every single-point and batch answer, as bits: equal only if the two cores agree exactly, NaN included.
template <class Core>
std::vector<unsigned char> answer_bits(const Core& core, const Values& queries) {
    Values out(queries.size());
    std::string text;
    for (double q : queries) {
        Result<double> single = core.evaluate_single(q);
        text += single ? std::to_string(std::bit_cast<std::uint64_t>(single.value())) : single.error();
        text += ';';
    }
    Status batch = core.fill_many(queries, out);
    text += batch ? "" : batch.error();
    std::vector<unsigned char> bits(text.begin(), text.end());
    const auto* raw = reinterpret_cast<const unsigned char*>(out.data());
    bits.insert(bits.end(), raw, raw + out.size() * sizeof(double));
    return bits;
}

template <class Core>
void expect_round_trip(const Core& core, const Values& queries = kQueries) {
    Result<Core> restored = Core::restore(core.state());
    ASSERT_TRUE(restored) << restored.error();
    EXPECT_EQ(restored.value().fitted(), core.fitted());
    EXPECT_EQ(answer_bits(restored.value(), queries), answer_bits(core, queries));
}

TEST(CoreState, EveryCoreRestoresToTheSameAnswersFittedOrNot) {
    LinearCore linear;
    expect_round_trip(linear);
    ASSERT_TRUE(linear.fit({2.0, 0.0, 1.0, 3.0}, {4.0, 0.0, 1.0, 9.0}));
    ASSERT_TRUE(linear.add_point(0.5, 0.25));
    ASSERT_TRUE(linear.update_y({1.0, 0.0, 0.3, 1.0, 4.5}));
    expect_round_trip(linear);

    LagrangeCore lagrange;
    expect_round_trip(lagrange);
    ASSERT_TRUE(lagrange.fit(kX, kY));
    ASSERT_TRUE(lagrange.add_point(1.7, -1.0));
    ASSERT_TRUE(lagrange.update_y({1.0, 2.5, 0.5, 3.0, -1.0, 0.2}));
    expect_round_trip(lagrange);

    NewtonCore newton;
    ASSERT_TRUE(newton.fit(kX, kY));
    expect_round_trip(newton);

    HermiteCore hermite;
    ASSERT_TRUE(hermite.fit(kX, kY, {0.0, 1.0, -1.0, 0.5, 0.0}));
    expect_round_trip(hermite);

    QuadraticCore quadratic;
    ASSERT_TRUE(quadratic.fit(kX, kY));
    expect_round_trip(quadratic);
    ASSERT_TRUE(quadratic.fit({0.0, 0.5, 1.0, 1.5, 2.0}, kY));  // the evenly spaced path
    expect_round_trip(quadratic);

    CubicSplineCore spline;
    ASSERT_TRUE(spline.fit(kX, kY));
    expect_round_trip(spline);

    LeastSquaresCore least_squares(3);
    expect_round_trip(least_squares);
    ASSERT_TRUE(least_squares.fit(kX, kY));
    expect_round_trip(least_squares);
    EXPECT_EQ(LeastSquaresCore::restore(least_squares.state()).value().r_squared().value(),
              least_squares.r_squared().value());

    RBFCore rbf = RBFCore::create(RBFKernel::Gaussian, 1.5).value();
    ASSERT_TRUE(rbf.fit({0.0, 0.5, 1.0, 1.5, 2.0}, kY));  // the evenly spaced Gaussian path
    expect_round_trip(rbf);

    ChebyshevCore chebyshev = ChebyshevCore::create(7, -0.5, 2.5, false).value();
    expect_round_trip(chebyshev);
    ASSERT_TRUE(chebyshev.fit(Values{1.0, 2.0, 0.5, 3.0, 2.5, 1.5, 0.0}));
    expect_round_trip(chebyshev);
}

TEST(CoreState, TheFieldSetIsCheckedBeforeAnyValue) {
    LinearCore linear;
    ASSERT_TRUE(linear.fit(kX, kY));
    CoreState state = linear.state();

    CoreState newer = state;
    newer.version = 2;
    EXPECT_EQ(LinearCore::restore(newer).error(), "format version 2 is not supported (expected 1)");

    CoreState doubled = state;
    doubled.fields.push_back(doubled.fields.front());
    EXPECT_EQ(LinearCore::restore(doubled).error(), "field 'x' appears more than once");

    CoreState missing = state;
    missing.fields.pop_back();
    EXPECT_EQ(LinearCore::restore(missing).error(), "missing field 'y'");

    CoreState renamed = state;
    renamed.fields.back().name = "z";
    EXPECT_EQ(LinearCore::restore(renamed).error(), "unknown field 'z'");

    CoreState retyped = state;
    retyped.fields.front().value = std::int64_t{-1};
    EXPECT_EQ(LinearCore::restore(retyped).error(), "field 'x' must be an array of doubles");
}

TEST(CoreState, NumbersOutsideWhatAFitMakesAreRefused) {
    LagrangeCore lagrange;
    ASSERT_TRUE(lagrange.fit(kX, kY));
    CoreState state = lagrange.state();
    for (StateField& field : state.fields) {
        if (field.name == "weight_exponent") field.value = std::uint64_t{1} << 60;
    }
    EXPECT_EQ(LagrangeCore::restore(state).error(), "weight_exponent is out of range");
    for (StateField& field : state.fields) {
        if (field.name == "weight_exponent") field.value = std::numeric_limits<std::uint64_t>::max();
    }
    EXPECT_EQ(LagrangeCore::restore(state).error(), "field 'weight_exponent' must be an integer");

    // A degree of 2^64 - 1 is a valid unfitted state (the constructor takes it); it stays unfitted.
    LeastSquaresCore widest(std::numeric_limits<std::size_t>::max());
    Result<LeastSquaresCore> restored = LeastSquaresCore::restore(widest.state());
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored.value().degree(), widest.degree());
}

}  // namespace
}  // namespace morvelay
