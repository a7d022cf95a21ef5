// The textbook Gaussian elimination with partial pivoting, one separately held row per equation and one
// column at a time: the oracle the panel-blocked solver must reproduce bit for bit, message included.
#pragma once

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "core/core_error.hpp"
#include "core/dense_solver.hpp"

namespace morvelay::testing {

inline Result<std::vector<double>> reference_elimination(std::vector<std::vector<double>> a, std::vector<double> b) {
    const std::size_t n = b.size();
    std::vector<double> entries;
    for (std::size_t i = 0; i < n; ++i) entries.insert(entries.end(), a[i].begin(), a[i].begin() + n);
    const double threshold = pivot_threshold(entries);
    for (std::size_t j = 0; j < n; ++j) {
        std::size_t p = j;
        for (std::size_t r = j + 1; r < n; ++r) {
            if (std::fabs(a[r][j]) > std::fabs(a[p][j])) p = r;
        }
        std::swap(a[j], a[p]);
        std::swap(b[j], b[p]);
        const double pivot = a[j][j];
        if (std::fabs(pivot) < threshold || pivot == 0.0) {
            return CoreError::invalid_input("Singular matrix near pivot " + std::to_string(j));
        }
        for (std::size_t k = j + 1; k < n; ++k) {
            const double f = a[k][j] / pivot;
            for (std::size_t c = j; c < n; ++c) a[k][c] = a[k][c] - f * a[j][c];
            b[k] = b[k] - f * b[j];
        }
    }
    std::vector<double> x(n, 0.0);
    for (std::size_t i = n; i-- > 0;) {
        double s = b[i];
        for (std::size_t l = i + 1; l < n; ++l) s = s - a[i][l] * x[l];
        x[i] = s / a[i][i];
    }
    return x;
}

}  // namespace morvelay::testing
