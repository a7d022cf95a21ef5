#include "newton_core.hpp"

#include <algorithm>
#include <utility>

namespace morvelay {

namespace {

// L queries per pass over the coefficients: the centre and coefficient are loaded once for all lanes,
// and the lane loop is what the compiler turns into vector instructions.  Lanes never mix, so each one
// computes exactly what the scalar loop would.
template <std::size_t L>
void newton_block(const double* z, const double* c, std::size_t m, const double* t, double* out) noexcept {
    double r[L];
    double tt[L];
    for (std::size_t l = 0; l < L; ++l) {
        r[l] = c[m - 1];
        tt[l] = t[l];
    }
    for (std::size_t k = m - 1; k-- > 0;) {
        const double ck = c[k];
        const double zk = z[k];
        for (std::size_t l = 0; l < L; ++l) r[l] = ck + r[l] * (tt[l] - zk);
    }
    for (std::size_t l = 0; l < L; ++l) out[l] = r[l];
}

}  // namespace

double newton_form_value(std::span<const double> z, std::span<const double> c, double t) noexcept {
    const std::size_t m = c.size();
    double r = c[m - 1];
    for (std::size_t k = m - 1; k-- > 0;) r = c[k] + r * (t - z[k]);
    return r;
}

void newton_form_fill(std::span<const double> z, std::span<const double> c, std::span<const double> xs,
                      std::span<double> out) noexcept {
    const std::size_t m = c.size();
    const std::size_t count = xs.size();
    if (m == 1) {
        std::fill(out.begin(), out.end(), c[0]);
        return;
    }
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) newton_block<8>(z.data(), c.data(), m, xs.data() + i, out.data() + i);
    for (; i + 4 <= count; i += 4) newton_block<4>(z.data(), c.data(), m, xs.data() + i, out.data() + i);
    for (; i < count; ++i) out[i] = newton_form_value(z, c, xs[i]);
}

Status NewtonCore::fit(std::vector<double> x, std::vector<double> y) {
    if (x.size() != y.size()) return CoreError::length_mismatch(x.size(), y.size(), "x", "y");
    if (x.empty()) return CoreError::empty_input("x and y");

    // The table is built in place: running k downwards leaves c[k-1] at order i-1 while c[k] is updated,
    // so after order i the entries 0..i hold the diagonal f[x0..xk].
    std::vector<double> c = std::move(y);
    const std::size_t n = c.size();
    for (std::size_t i = 1; i < n; ++i) {
        for (std::size_t k = n - 1; k >= i; --k) c[k] = (c[k] - c[k - 1]) / (x[k] - x[k - i]);
    }
    x_ = std::move(x);
    coefficients_ = std::move(c);
    fitted_ = true;
    return Status::success();
}

Result<double> NewtonCore::evaluate_single(double t) const {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    return newton_form_value(x_, coefficients_, t);
}

Status NewtonCore::fill_many(std::span<const double> xs, std::span<double> out) const {
    if (Status checked = check_fill_many(fitted_, kNotFittedHint, xs.size(), out.size()); !checked) return checked;
    newton_form_fill(x_, coefficients_, xs, out);
    return Status::success();
}

// ---- saved state: the nodes and the divided differences, as they are ------------------------------------

namespace {

// The newest format version of this core's saved state.
constexpr std::uint64_t kStateVersion = 1;

}  // namespace

CoreState NewtonCore::state() const { return {kStateVersion, {{"x", x_}, {"coefficients", coefficients_}}}; }

Result<NewtonCore> NewtonCore::restore(const CoreState& state) {
    using enum saved::FieldKind;
    if (Status s = saved::expect(state, kStateVersion, {{"x", Array}, {"coefficients", Array}}); !s) return s;
    if (Status s = saved::same_length(state, "x", "coefficients"); !s) return s;
    NewtonCore core;
    core.x_ = saved::array(state, "x");
    core.coefficients_ = saved::array(state, "coefficients");
    core.fitted_ = !core.x_.empty();
    return core;
}

}  // namespace morvelay
