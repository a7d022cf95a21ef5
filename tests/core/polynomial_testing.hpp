// Helpers shared by the tests of the global polynomial cores.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <random>
#include <span>
#include <vector>

namespace morvelay::testing {

// Bit patterns, so NaN compares equal to the same NaN and -0 differs from +0.
inline bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// Chebyshev points of the first kind on [a, b], in descending order.
inline std::vector<double> chebyshev_nodes(std::size_t n, double a, double b) {
    std::vector<double> x(n);
    for (std::size_t k = 0; k < n; ++k) {
        const double angle = std::numbers::pi * (2.0 * static_cast<double>(k) + 1.0) / (2.0 * static_cast<double>(n));
        x[k] = (a + b) / 2 + (b - a) / 2 * std::cos(angle);
    }
    return x;
}

inline std::vector<double> uniform_draws(std::mt19937_64& rng, std::size_t n, double lo, double hi) {
    std::uniform_real_distribution<double> pick(lo, hi);
    std::vector<double> v(n);
    for (double& x : v) x = pick(rng);
    return v;
}

// Batch sizes around the lane blocks of the evaluators (8, 4, 2, 1).
inline constexpr std::size_t kBatchSizes[] = {1, 7, 8, 9, 12, 16, 17};

// Every output of fill_many equals evaluate_single on the same input, bit for bit.
template <class Core>
bool batch_matches_single(const Core& core, std::span<const double> queries) {
    std::vector<double> out(queries.size());
    if (!core.fill_many(queries, out)) return false;
    for (std::size_t i = 0; i < queries.size(); ++i) {
        if (!same_bits(out[i], core.evaluate_single(queries[i]).value())) return false;
    }
    return true;
}

}  // namespace morvelay::testing
