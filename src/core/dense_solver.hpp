// The dense solver behind the radial basis kernel systems.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "core_error.hpp"

namespace morvelay {

// A pivot smaller than this fraction of the matrix's largest finite entry counts as zero.  Relative, so
// a system and the same system scaled by any power of ten are decided alike: a well-conditioned kernel
// matrix of tiny entries (thin plate splines on coordinates near 1e-7) is solved, while a matrix that
// is singular to rounding still fails.
inline constexpr double kRelativePivot = 1e-12;

// The smallest pivot magnitude `solve_dense_row_major` accepts for the n x n entries `a`: kRelativePivot
// times the largest finite |entry| (infinite and NaN entries do not set the scale; they propagate into
// the solution instead).  A zero pivot fails even when the threshold is 0.
double pivot_threshold(std::span<const double> a) noexcept;

// Gaussian elimination with partial pivoting on an n x n row-major block.  Ties in the pivot search keep
// the upper row and a NaN entry is never chosen; a pivot that is zero or below `pivot_threshold(a)` in
// magnitude fails with "Singular matrix near pivot {k}", k the 0-based step; a NaN pivot passes.  No
// scaling, no refinement.  The contiguous rows let the row update vectorise, and the updates are
// applied panel by panel so large systems run from cache, which is what the O(n^3) kernel systems need;
// the results are bit for bit those of the textbook elimination, one column at a time.
Result<std::vector<double>> solve_dense_row_major(std::vector<double> a, std::size_t n, std::vector<double> b);

}  // namespace morvelay
