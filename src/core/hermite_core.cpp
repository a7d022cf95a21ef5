#include "hermite_core.hpp"

#include <algorithm>
#include <utility>

#include "newton_core.hpp"

namespace morvelay {

Status HermiteCore::fit(std::vector<double> x, std::vector<double> y, std::vector<double> dy) {
    if (x.size() != y.size() || x.size() != dy.size()) {
        return CoreError::length_mismatch(x.size(), std::max(y.size(), dy.size()), "x", "y/dy");
    }
    if (x.empty()) return CoreError::empty_input("x, y, and dy");

    const std::size_t n = x.size();
    const std::size_t m = 2 * n;
    std::vector<double> z(m);
    for (std::size_t k = 0; k < n; ++k) z[2 * k] = z[2 * k + 1] = x[k];

    // The divided-difference table Q over z, one column at a time in a single array: column l replaces
    // column l-1 from the bottom up, so q[r-1] still holds Q[r-1][l-1] when Q[r][l] is formed, and the
    // entries above row l keep the diagonal Q[k][k] of earlier columns.  Same operations, same order as
    // the full (2n)^2 table, in 2n doubles.
    std::vector<double> q(m);
    for (std::size_t k = 0; k < n; ++k) q[2 * k] = q[2 * k + 1] = y[k];
    // Column 1: the derivative where a node repeats, the plain difference between neighbouring nodes.
    for (std::size_t k = n; k-- > 1;) {
        q[2 * k + 1] = dy[k];
        q[2 * k] = (q[2 * k] - q[2 * k - 1]) / (z[2 * k] - z[2 * k - 1]);
    }
    q[1] = dy[0];
    for (std::size_t l = 2; l < m; ++l) {
        for (std::size_t r = m - 1; r >= l; --r) q[r] = (q[r] - q[r - 1]) / (z[r] - z[r - l]);
    }

    x_ = std::move(x);
    y_ = std::move(y);
    dy_ = std::move(dy);
    z_ = std::move(z);
    coefficients_ = std::move(q);
    fitted_ = true;
    return Status::success();
}

Result<double> HermiteCore::evaluate_single(double t) const {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    return newton_form_value(z_, coefficients_, t);
}

Status HermiteCore::fill_many(std::span<const double> xs, std::span<double> out) const {
    if (Status checked = check_fill_many(fitted_, kNotFittedHint, xs.size(), out.size()); !checked) return checked;
    newton_form_fill(z_, coefficients_, xs, out);
    return Status::success();
}

// ---- saved state: nodes, values and derivatives; refitted -----------------------------------------------

namespace {

// The newest format version of this core's saved state.
constexpr std::uint64_t kStateVersion = 1;

}  // namespace

CoreState HermiteCore::state() const { return {kStateVersion, {{"x", x_}, {"y", y_}, {"dy", dy_}}}; }

Result<HermiteCore> HermiteCore::restore(const CoreState& state) {
    using enum saved::FieldKind;
    if (Status s = saved::expect(state, kStateVersion, {{"x", Array}, {"y", Array}, {"dy", Array}}); !s) return s;
    if (Status s = saved::same_length(state, "x", "y"); !s) return s;
    if (Status s = saved::same_length(state, "x", "dy"); !s) return s;
    HermiteCore core;
    if (saved::array(state, "x").empty()) return core;
    if (Status s = core.fit(saved::array(state, "x"), saved::array(state, "y"), saved::array(state, "dy")); !s)
        return s;
    return core;
}

}  // namespace morvelay
