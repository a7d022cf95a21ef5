// The dense solver behind the least-squares normal equations and the radial basis kernel systems.
#pragma once

#include <cstddef>
#include <vector>

#include "core_error.hpp"

namespace morvelay {

// Gaussian elimination with partial pivoting on rows held separately.  Ties in the pivot search keep
// the upper row and a NaN entry is never chosen; a pivot below 1e-12 in magnitude (absolute, not
// relative to the matrix) fails with "Singular matrix near pivot {k}".  No scaling, no refinement.
Result<std::vector<double>> solve_linear_system_gaussian(std::vector<std::vector<double>> a, std::vector<double> b);

// The same elimination, operation for operation, on an n x n row-major block.  Results and messages
// are bit-identical to `solve_linear_system_gaussian`; the contiguous rows let the row update
// vectorise, and the updates are applied panel by panel so large systems run from cache, which is
// what the O(n^3) kernel systems need.
Result<std::vector<double>> solve_dense_row_major(std::vector<double> a, std::size_t n, std::vector<double> b);

}  // namespace morvelay
