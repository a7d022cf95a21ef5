#include "lagrange_core.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>

#include "number_text.hpp"

namespace morvelay {

namespace {

// A new node closer to an old one than this fraction of the largest node magnitude counts as that node.
constexpr double kDuplicateFraction = 2.220446049250313e-16;  // 2^-52

// Running products are kept as value * 2^exponent with the value inside [2^-512, 2^512]; node
// differences are scaled to at most a few units, so one more factor cannot leave the normal range.
constexpr double kProductHigh = 0x1p512;
constexpr double kProductLow = 0x1p-512;
// After add_point the weights are brought back to magnitude ~1 once the largest leaves [2^-256, 2^256].
constexpr int kWeightDrift = 256;

// Exact: frexp only moves the exponent.  Zero, infinities and NaN are left alone.
inline void renormalise(double& value, std::int64_t& exponent) noexcept {
    const double magnitude = std::fabs(value);
    if ((magnitude > kProductHigh && magnitude <= DBL_MAX) || (magnitude < kProductLow && magnitude > 0)) {
        int shift;
        value = std::frexp(value, &shift);
        exponent += shift;
    }
}

// value * 2^exponent; exponents beyond any double's reach saturate to zero or infinity as ldexp would.
inline double times_power_of_two(double value, std::int64_t exponent) noexcept {
    return std::ldexp(value, static_cast<int>(std::clamp<std::int64_t>(exponent, -4000, 4000)));
}

// The power of two nearest a quarter of the node span (the capacity of an interval for Chebyshev-like
// nodes): differences divided by it stay within a few units.  Non-finite nodes are left out; without a
// positive finite span the differences are not scaled.
int difference_exponent_for(std::span<const double> x) noexcept {
    double lo = INFINITY, hi = -INFINITY;
    for (double v : x) {
        if (!std::isfinite(v)) continue;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    const double quarter = hi * 0.25 - lo * 0.25;  // no overflow for spans near the largest double
    if (!(quarter > 0) || !std::isfinite(quarter)) return 0;
    int exponent;
    const double fraction = std::frexp(quarter, &exponent);
    if (fraction < 0.70710678118654752) --exponent;
    return std::clamp(exponent, -1000, 1000);
}

std::vector<double> products(std::span<const double> weights, std::span<const double> y) {
    std::vector<double> out(weights.size());
    for (std::size_t i = 0; i < weights.size(); ++i) out[i] = weights[i] * y[i];
    return out;
}

// Room for one more element with amortised growth, before anything is changed.
void reserve_one_more(std::vector<double>& values) {
    if (values.size() == values.capacity()) values.reserve(values.size() * 2 + 1);
}

// The barycentric quotient at t, or the value of the first node t equals exactly.
double barycentric_value(std::span<const double> x, std::span<const double> y, std::span<const double> w,
                         std::span<const double> wy, double t) noexcept {
    double num = 0.0, den = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double d = t - x[i];
        if (d == 0.0) return y[i];
        num = num + wy[i] / d;
        den = den + w[i] / d;
    }
    return num / den;
}

// Two doubles operated on together: element-wise IEEE operations, each lane rounded exactly as the
// scalar code would round it, but one packed division instead of two.
using Pair = double __attribute__((vector_size(16)));

// Two queries per pass over the nodes, each lane with the scalar sequence.  A lane meeting a node
// exactly ends the pass and both queries take the scalar path, which owns the first-node rule.
void barycentric_pair(std::span<const double> x, std::span<const double> y, std::span<const double> w,
                      std::span<const double> wy, const double* t, double* out) noexcept {
    const Pair tt = {t[0], t[1]};
    const Pair zero = {0.0, 0.0};
    Pair num = zero, den = zero;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const Pair d = tt - Pair{x[i], x[i]};
        const auto hit = d == zero;
        if (hit[0] | hit[1]) {
            out[0] = barycentric_value(x, y, w, wy, t[0]);
            out[1] = barycentric_value(x, y, w, wy, t[1]);
            return;
        }
        num = num + Pair{wy[i], wy[i]} / d;
        den = den + Pair{w[i], w[i]} / d;
    }
    const Pair value = num / den;
    out[0] = value[0];
    out[1] = value[1];
}

}  // namespace

Status LagrangeCore::fit(std::vector<double> x, std::vector<double> y) {
    if (x.size() != y.size()) return CoreError::length_mismatch(x.size(), y.size(), "x", "y");
    if (x.empty()) return CoreError::empty_input("x and y");

    const std::size_t n = x.size();
    const int k = difference_exponent_for(x);
    const double scale = std::ldexp(1.0, -k);
    // Each w[i] collects the factors (x_i - x_j) in increasing j, as the plain form does; only the
    // exponents are held apart.
    std::vector<double> w(n, 1.0);
    std::vector<std::int64_t> exponents(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            const double d = (x[i] - x[j]) * scale;
            w[i] = w[i] * d;
            w[j] = -(d * w[j]);
            renormalise(w[i], exponents[i]);
            renormalise(w[j], exponents[j]);
        }
    }
    // w[i] * 2^(exponents[i] + k(n-1)) is the plain product; the weights share 2^(offset + k(n-1)),
    // with the offset putting the largest finite weight at magnitude 1.
    std::int64_t largest = INT64_MIN;
    for (std::size_t i = 0; i < n; ++i) {
        w[i] = 1.0 / w[i];
        if (std::isfinite(w[i]) && w[i] != 0.0)
            largest = std::max<std::int64_t>(largest, std::ilogb(w[i]) - exponents[i]);
    }
    const std::int64_t offset = largest == INT64_MIN ? 0 : -largest;
    for (std::size_t i = 0; i < n; ++i) w[i] = times_power_of_two(w[i], offset - exponents[i]);
    auto wy = products(w, y);

    x_ = std::move(x);
    y_ = std::move(y);
    weights_ = std::move(w);
    weighted_y_ = std::move(wy);
    weight_exponent_ = offset + static_cast<std::int64_t>(k) * static_cast<std::int64_t>(n - 1);
    difference_exponent_ = k;
    fitted_ = true;
    return Status::success();
}

Result<double> LagrangeCore::evaluate_single(double t) const {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    return barycentric_value(x_, y_, weights_, weighted_y_, t);
}

Status LagrangeCore::fill_many(std::span<const double> xs, std::span<double> out) const {
    if (Status checked = check_fill_many(fitted_, kNotFittedHint, xs.size(), out.size()); !checked) return checked;
    const std::size_t m = xs.size();
    std::size_t i = 0;
    for (; i + 2 <= m; i += 2) barycentric_pair(x_, y_, weights_, weighted_y_, xs.data() + i, out.data() + i);
    if (i < m) out[i] = barycentric_value(x_, y_, weights_, weighted_y_, xs[i]);
    return Status::success();
}

Status LagrangeCore::update_y(std::vector<double> y_new) {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    if (y_new.size() != x_.size()) return CoreError::invalid_input("New y must have the same length as x");
    weighted_y_ = products(weights_, y_new);
    y_ = std::move(y_new);
    return Status::success();
}

Status LagrangeCore::add_point(double x_new, double y_new) {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    // Relative to the nodes' magnitude: below about an ulp of the largest node a difference says more
    // about how the inputs were rounded than about the data, and its reciprocal would swamp the weights.
    // Among tiny nodes, tiny distinct values stay distinct; an exact repeat is always refused.
    double magnitude = 0.0;
    for (double xi : x_) {
        if (std::isfinite(xi)) magnitude = std::max(magnitude, std::fabs(xi));
    }
    const double bound = kDuplicateFraction * magnitude;
    for (double xi : x_) {
        if (xi == x_new || std::fabs(xi - x_new) < bound) {
            return CoreError::invalid_input("x_new " + format_shortest(x_new) + " already exists");
        }
    }
    // Every allocation before the first change: a failure leaves the core as it was.
    const std::size_t n = x_.size();
    std::vector<double> wy(n + 1);
    reserve_one_more(x_);
    reserve_one_more(y_);
    reserve_one_more(weights_);

    const double scale = std::ldexp(1.0, -difference_exponent_);
    double product = 1.0;
    std::int64_t exponent = 0;
    for (std::size_t i = 0; i < n; ++i) {
        weights_[i] = weights_[i] / (x_[i] - x_new);
        product = product * ((x_new - x_[i]) * scale);
        renormalise(product, exponent);
    }
    // product * 2^(exponent + k n) is the plain product; its weight takes the common factor too.
    const std::int64_t k = difference_exponent_;
    weights_.push_back(
        times_power_of_two(1.0 / product, weight_exponent_ - exponent - k * static_cast<std::int64_t>(n)));
    x_.push_back(x_new);
    y_.push_back(y_new);

    // Each insertion divides the old weights by a node distance; rescale them all before they drift
    // out of range (exact, and rare).
    double largest = 0.0;
    for (double v : weights_) {
        if (std::isfinite(v)) largest = std::max(largest, std::fabs(v));
    }
    if (largest > 0.0) {
        const int drift = std::ilogb(largest);
        if (drift > kWeightDrift || drift < -kWeightDrift) {
            for (double& v : weights_) v = std::ldexp(v, -drift);
            weight_exponent_ -= drift;
        }
    }
    for (std::size_t i = 0; i <= n; ++i) wy[i] = weights_[i] * y_[i];
    weighted_y_ = std::move(wy);
    return Status::success();
}

// ---- saved state: nodes, values, weights and their exponents, as add_point and update_y left them -------

namespace {

// The newest format version of this core's saved state.
constexpr std::uint64_t kStateVersion = 1;

}  // namespace

CoreState LagrangeCore::state() const {
    return {kStateVersion,
            {{"x", x_},
             {"y", y_},
             {"weights", weights_},
             {"weight_exponent", weight_exponent_},
             {"difference_exponent", std::int64_t{difference_exponent_}}}};
}

Result<LagrangeCore> LagrangeCore::restore(const CoreState& state) {
    using enum saved::FieldKind;
    if (Status s = saved::expect(state, kStateVersion,
                                 {{"x", Array},
                                  {"y", Array},
                                  {"weights", Array},
                                  {"weight_exponent", Integer},
                                  {"difference_exponent", Integer}});
        !s)
        return s;
    if (Status s = saved::same_length(state, "x", "y"); !s) return s;
    if (Status s = saved::same_length(state, "x", "weights"); !s) return s;
    const std::int64_t weight_exponent = saved::integer(state, "weight_exponent");
    const std::int64_t difference_exponent = saved::integer(state, "difference_exponent");
    LagrangeCore core;
    if (saved::array(state, "x").empty()) {
        if (weight_exponent != 0 || difference_exponent != 0)
            return CoreError::invalid_input("the exponents of an unfitted state must be 0");
        return core;
    }
    // fit clamps the difference exponent to this range; the weight exponent grows by a few thousand per
    // node at most, so 2^53 leaves add_point's exponent arithmetic far from overflow.
    if (difference_exponent < -1000 || difference_exponent > 1000) {
        return CoreError::invalid_input("difference_exponent must lie in [-1000, 1000]");
    }
    if (weight_exponent < -(std::int64_t{1} << 53) || weight_exponent > (std::int64_t{1} << 53)) {
        return CoreError::invalid_input("weight_exponent is out of range");
    }
    core.x_ = saved::array(state, "x");
    core.y_ = saved::array(state, "y");
    core.weights_ = saved::array(state, "weights");
    // The same product fit, update_y and add_point form.
    core.weighted_y_.resize(core.x_.size());
    for (std::size_t i = 0; i < core.x_.size(); ++i) core.weighted_y_[i] = core.weights_[i] * core.y_[i];
    core.weight_exponent_ = weight_exponent;
    core.difference_exponent_ = static_cast<int>(difference_exponent);
    core.fitted_ = true;
    return core;
}

}  // namespace morvelay
