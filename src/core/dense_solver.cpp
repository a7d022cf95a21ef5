#include "dense_solver.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#include "multiversion.hpp"
#include "number_text.hpp"

namespace morvelay {

namespace {

// a[k][c] -= f * a[j][c] for c in [from, n).  The restrict qualifiers tell the compiler the two rows
// never overlap, so it may use vector lanes; each entry still sees one product and one difference.
[[gnu::always_inline]] inline void subtract_scaled_row(double* __restrict target, const double* __restrict pivot_row,
                                                       double f, std::size_t from, std::size_t n) {
    for (std::size_t c = from; c < n; ++c) target[c] = target[c] - f * pivot_row[c];
}

// Step j's pivot: the row from j down with the largest |a[r][j]| (strictly larger, so ties keep the upper
// row and NaN never wins) is exchanged into place with its b, by pointer: whole rows move, stored
// multipliers and pending columns alike.  Fails when the pivot is zero or below `threshold` in magnitude;
// a NaN pivot passes and the solution carries it.
Status choose_pivot(std::vector<double*>& rows, std::vector<double>& b, std::size_t j, double threshold) {
    const std::size_t n = b.size();
    std::size_t p = j;
    double best = std::fabs(rows[j][j]);
    for (std::size_t r = j + 1; r < n; ++r) {
        const double candidate = std::fabs(rows[r][j]);
        if (candidate > best) {
            best = candidate;
            p = r;
        }
    }
    if (p != j) {
        std::swap(rows[j], rows[p]);
        std::swap(b[j], b[p]);
    }
    const double magnitude = std::fabs(rows[j][j]);
    if (magnitude < threshold || magnitude == 0.0) {
        return CoreError::invalid_input("Singular matrix near pivot " + format_count(j));
    }
    return Status::success();
}

// x from the upper triangle left by the elimination.
std::vector<double> back_substitute(const std::vector<double*>& rows, const std::vector<double>& b) {
    const std::size_t n = b.size();
    std::vector<double> x(n, 0.0);
    for (std::size_t i = n; i-- > 0;) {
        double s = b[i];
        for (std::size_t l = i + 1; l < n; ++l) s = s - rows[i][l] * x[l];
        x[i] = s / rows[i][i];
    }
    return x;
}

// Eight doubles, one AVX-512 register or two AVX2 or four SSE2 ones; each lane is rounded as a
// scalar would be, and -ffp-contract=off keeps the product and the difference apart.
using Lanes = double __attribute__((vector_size(64)));
using Quarter = double __attribute__((vector_size(32)));

// The update of update_four_rows on the one block of columns [c, c + width of V).
template <class V>
[[gnu::always_inline]] inline void update_narrow(double* const* target, double* const* pivot_rows,
                                                 const std::uint8_t* steps, std::size_t count, std::size_t first,
                                                 std::size_t c) {
    V a[4];
    for (int q = 0; q < 4; ++q) std::memcpy(&a[q], target[q] + c, sizeof(V));
    for (std::size_t t = 0; t < count; ++t) {
        const std::size_t s = steps[t];
        V u;
        std::memcpy(&u, pivot_rows[s] + c, sizeof(V));
        for (int q = 0; q < 4; ++q) a[q] = a[q] - target[q][first + s] * u;
    }
    for (int q = 0; q < 4; ++q) std::memcpy(target[q] + c, &a[q], sizeof(V));
}

// One block of update_four_rows: columns [c, c + 2 * width of V) of the four rows held in registers
// across all the steps.
template <class V>
[[gnu::always_inline]] inline void update_tile(double* const* target, double* const* pivot_rows,
                                               const std::uint8_t* steps, std::size_t count, std::size_t first,
                                               std::size_t c) {
    constexpr std::size_t kWidth = sizeof(V) / sizeof(double);
    V a[4][2];
    for (int q = 0; q < 4; ++q) {
        std::memcpy(&a[q][0], target[q] + c, sizeof(V));
        std::memcpy(&a[q][1], target[q] + c + kWidth, sizeof(V));
    }
    for (std::size_t t = 0; t < count; ++t) {
        const std::size_t s = steps[t];
        V u0, u1;
        std::memcpy(&u0, pivot_rows[s] + c, sizeof(V));
        std::memcpy(&u1, pivot_rows[s] + c + kWidth, sizeof(V));
        for (int q = 0; q < 4; ++q) {
            const double f = target[q][first + s];
            a[q][0] = a[q][0] - f * u0;
            a[q][1] = a[q][1] - f * u1;
        }
    }
    for (int q = 0; q < 4; ++q) {
        std::memcpy(target[q] + c, &a[q][0], sizeof(V));
        std::memcpy(target[q] + c + kWidth, &a[q][1], sizeof(V));
    }
}

// Four rows below a panel take the listed delayed steps on columns [c0, c1): entry = entry - f * u for
// each step in order, as in the plain form, but a block of columns of the four rows stays in registers
// across all steps, so each pivot-row value is loaded once for four rows.  The multiplier of target
// row q at step s sits in column first + s < c0, outside the columns written.  Compiled for three
// instruction sets and picked at load time; the block is as wide as the set's registers allow (sixteen
// columns need 8 of AVX-512's 32 registers, but would spill AVX2's 16 on every step, which made a fit
// many times slower there).  Every entry takes the same operations in any width: the same bits.
MORVELAY_CLONES("avx512f", "avx2", "default")
void update_four_rows(double* const* target, double* const* pivot_rows, const std::uint8_t* steps, std::size_t count,
                      std::size_t first, std::size_t c0, std::size_t c1) {
    using Pair = double __attribute__((vector_size(16)));
    std::size_t c = c0;
    if (__builtin_cpu_supports("avx512f")) {
        for (; c + 16 <= c1; c += 16) update_tile<Lanes>(target, pivot_rows, steps, count, first, c);
    } else if (__builtin_cpu_supports("avx2")) {
        for (; c + 8 <= c1; c += 8) update_tile<Quarter>(target, pivot_rows, steps, count, first, c);
    } else {
        for (; c + 4 <= c1; c += 4) update_tile<Pair>(target, pivot_rows, steps, count, first, c);
    }
    // The last columns of a row in narrower vectors: a scalar loop here once took a tenth of the fit.
    if (c + 8 <= c1) {
        update_narrow<Lanes>(target, pivot_rows, steps, count, first, c);
        c += 8;
    }
    if (c + 4 <= c1) {
        update_narrow<Quarter>(target, pivot_rows, steps, count, first, c);
        c += 4;
    }
    for (; c < c1; ++c) {
        for (int q = 0; q < 4; ++q) {
            double v = target[q][c];
            for (std::size_t t = 0; t < count; ++t) v = v - target[q][first + steps[t]] * pivot_rows[steps[t]][c];
            target[q][c] = v;
        }
    }
}

// Step j of a panel ending at column `end`: each row below takes its multiplier (kept in its column j)
// and the step's update on the rest of the panel.  The rows are short, so the instruction set counts:
// compiled like update_four_rows.
MORVELAY_CLONES("avx512f", "avx2", "default")
void eliminate_within_panel(double* const* rows, double* b, std::size_t j, std::size_t end, std::size_t n) {
    const double* __restrict pivot_row = rows[j];
    const double pivot = pivot_row[j], bj = b[j];
    for (std::size_t k = j + 1; k < n; ++k) {
        double* __restrict row = rows[k];
        const double f = row[j] / pivot;
        for (std::size_t c = j + 1; c < end; ++c) row[c] = row[c] - f * pivot_row[c];
        row[j] = f;
        b[k] = b[k] - f * bj;
    }
}

// Row r takes the delayed steps from..to-1, in order, on columns [c0, c1).
MORVELAY_CLONES("avx512f", "avx2", "default")
void apply_steps(double* target, double* const* rows, std::size_t from, std::size_t to, std::size_t c0,
                 std::size_t c1) {
    for (std::size_t i = from; i < to; ++i) subtract_scaled_row(target, rows[i], target[i], c0, c1);
}

bool is_negative_zero(double v) { return v == 0.0 && std::signbit(v); }

bool all_finite(const double* values, std::size_t from, std::size_t to) {
    for (std::size_t c = from; c < to; ++c) {
        if (!std::isfinite(values[c])) return false;
    }
    return true;
}

// Column-by-column elimination with the updates right of each panel of kPanel columns delayed and
// applied in one pass, so the trailing rows stream through cache once per panel instead of once per
// column.  Every entry still receives the products and differences of the textbook elimination in the
// same order (steps ascending), pivots are chosen from identical values, and the first failing step is
// the same: results and messages are bit-identical to it.  The multiplier of row k at step j is kept in
// a[k][j], a place the textbook form writes but never reads again.
//
// A step whose four multipliers are all zero is left out of a row group when that is exact: entry -
// (+-0) is the entry itself unless the entry is -0 and the product -0, or u is not finite (0 * inf is
// NaN).  A difference of doubles is -0 only when the minuend is -0 (exact cancellation gives +0 and a
// tiny difference is exact, never an underflow), so a matrix that starts without -0 never holds one;
// u is tested per panel row and tile.  Kernel matrices have many exact zeros (a Gaussian's far
// entries underflow), and their updates are most of the work.
Result<std::vector<double>> eliminate_blocked(std::vector<double*>& rows, std::vector<double>& b, double threshold) {
    constexpr std::size_t kPanel = 32;  // panel rows (32 x tile) stay in L2 while a row tile sits in L1
    constexpr std::size_t kTile = 512;
    const std::size_t n = b.size();
    bool may_skip = true;
    for (std::size_t i = 0; i < n && may_skip; ++i) {
        may_skip = std::none_of(rows[i], rows[i] + n, is_negative_zero);
    }
    std::vector<std::pair<std::uint32_t, double*>> below;
    below.reserve(n);
    for (std::size_t first = 0; first < n; first += kPanel) {
        const std::size_t end = std::min(n, first + kPanel);
        for (std::size_t j = first; j < end; ++j) {
            if (Status chosen = choose_pivot(rows, b, j, threshold); !chosen) return chosen;
            eliminate_within_panel(rows.data(), b.data(), j, end, n);
        }
        // The rows below, each with the set of its non-zero multipliers, and ordered by that set when
        // zero multipliers may be skipped: rows that share a register block then tend to share their
        // zeros too.  The order of the rows in a block changes no entry's operations.
        below.clear();
        const std::uint32_t all = static_cast<std::uint32_t>((std::uint64_t{1} << (end - first)) - 1);
        bool some_zero = false;
        for (std::size_t r = end; r < n; ++r) {
            std::uint32_t nonzero = all;
            if (may_skip) {
                nonzero = 0;
                for (std::size_t i = first; i < end; ++i) nonzero |= (rows[r][i] != 0.0 ? 1u : 0u) << (i - first);
                some_zero = some_zero || nonzero != all;
            }
            below.emplace_back(nonzero, rows[r]);
        }
        if (some_zero) {
            std::sort(below.begin(), below.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        }
        // The delayed steps first..end-1 on the columns right of the panel.  A panel row r takes steps
        // first..r-1 and must be complete before rows below read it, hence the row order.
        for (std::size_t c0 = end; c0 < n; c0 += kTile) {
            const std::size_t c1 = std::min(n, c0 + kTile);
            for (std::size_t r = first + 1; r < end; ++r) apply_steps(rows[r], rows.data(), first, r, c0, c1);
            bool finite[kPanel];
            for (std::size_t i = first; i < end; ++i) finite[i - first] = may_skip && all_finite(rows[i], c0, c1);
            std::size_t g = 0;
            for (; g + 4 <= below.size(); g += 4) {
                const std::uint32_t nonzero =
                    below[g].first | below[g + 1].first | below[g + 2].first | below[g + 3].first;
                double* const group[4] = {below[g].second, below[g + 1].second, below[g + 2].second,
                                          below[g + 3].second};
                std::uint8_t steps[kPanel];
                std::size_t count = 0;
                for (std::size_t i = 0; i < end - first; ++i) {
                    if (((nonzero >> i) & 1u) != 0 || !finite[i]) steps[count++] = static_cast<std::uint8_t>(i);
                }
                if (count > 0) update_four_rows(group, &rows[first], steps, count, first, c0, c1);
            }
            for (; g < below.size(); ++g) apply_steps(below[g].second, rows.data(), first, end, c0, c1);
        }
    }
    return back_substitute(rows, b);
}

}  // namespace

double pivot_threshold(std::span<const double> a) noexcept {
    double largest = 0.0;
    for (double v : a) {
        const double magnitude = std::fabs(v);
        if (magnitude > largest && magnitude <= std::numeric_limits<double>::max()) largest = magnitude;
    }
    return kRelativePivot * largest;
}

Result<std::vector<double>> solve_dense_row_major(std::vector<double> a, std::size_t n, std::vector<double> b) {
    const double threshold = pivot_threshold(a);
    std::vector<double*> rows(n);
    for (std::size_t i = 0; i < n; ++i) rows[i] = a.data() + i * n;
    return eliminate_blocked(rows, b, threshold);
}

}  // namespace morvelay
