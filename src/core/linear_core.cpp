#include "linear_core.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

#include "number_text.hpp"
#include "piecewise.hpp"
#include "search.hpp"

namespace morvelay {

namespace {

// The slopes of the segments, written into `storage` when it suits (a refit of a similar size then
// touches no fresh pages); callers pass their old slopes only once nothing else can fail.
std::vector<double> slopes_of(std::span<const double> x, std::span<const double> y, std::vector<double>&& storage) {
    std::vector<double> slopes;
    if (reusable(storage, x.size() - 1)) slopes = std::move(storage);
    slopes.resize(x.size() - 1);
    for (std::size_t i = 0; i + 1 < x.size(); ++i) slopes[i] = (y[i + 1] - y[i]) / (x[i + 1] - x[i]);
    return slopes;
}

// Index of the knot equal to xq, else of the last knot below xq, capped at n - 2.  Needs n >= 2,
// x[0] < xq < x[n-1] and xq not NaN: then at least x[0] lies at or below xq.
std::size_t search_segment(std::span<const double> x, const KnotGuide& guide, double xq) {
    return std::min(guide.count_not_above(x, xq) - 1, x.size() - 2);
}

// The line of segment i at xq, except on the segment's left knot, which gives its y exactly: a NaN or
// infinite neighbour must not spill onto a finite knot value through y + slope * 0.  Every path hands a
// knot to the segment it starts (the sorted sweep, which hands it to the segment ending there, mends its
// own), so a knot's value does not depend on the path.
inline double on_segment(std::span<const double> x, std::span<const double> y, std::span<const double> slopes,
                         std::size_t i, double xq) {
    const double dx = xq - x[i];
    const double rise = slopes[i] * dx;
    const double line = y[i] + rise;
    return dx == 0.0 ? y[i] : line;
}

// The uniform index floor((xq - x[0]) / h) may fall one short when xq is within rounding of a knot; one
// comparison with the next knot makes it the segment that starts at or below xq, as the search gives.
// Any xq is safe (clamped and NaN queries get some in-range segment).
inline std::size_t uniform_segment(std::span<const double> x, double inverse_step, double xq) {
    const std::size_t last = x.size() - 2;
    const std::size_t i = std::min(floor_index((xq - x[0]) * inverse_step), last);
    return std::min(i + (xq >= x[i + 1] ? 1 : 0), last);
}

// The clamped evaluation of one point.  NaN falls through every comparison: the uniform index maps it
// to segment 0 (NaN out), the search is never asked.
double clamped_value(std::span<const double> x, std::span<const double> y, std::span<const double> slopes,
                     std::optional<double> inverse_step, const KnotGuide& guide, double xq) {
    const std::size_t n = x.size();
    if (xq <= x[0]) return y[0];
    if (xq >= x[n - 1]) return y[n - 1];
    std::size_t i;
    if (inverse_step) {
        i = uniform_segment(x, *inverse_step, xq);
    } else {
        if (std::isnan(xq)) return xq;
        i = search_segment(x, guide, xq);
    }
    return on_segment(x, y, slopes, i, xq);
}

// One value from the stored arrays, without a fitted check (the caller has made it).  Clamps to the end
// values outside [x[0], x[n-1]]; a query equal to a knot gives that knot's y bit for bit (on every path,
// batches included); a NaN query gives NaN on every grid with two or more knots.
double linear_interpolate_single(std::span<const double> x, std::span<const double> y, std::span<const double> slopes,
                                 std::optional<double> inverse_step, const KnotGuide& guide, double xq) {
    if (x.empty()) return std::nan("");
    if (x.size() == 1) return y[0];
    return clamped_value(x, y, slopes, inverse_step, guide, xq);
}

// The linear core's part in the shared batch evaluator (piecewise.hpp), for two or more knots.
struct LinearRule {
    std::span<const double> x, y, slopes;
    double inverse_step;  // used on evenly spaced grids only

    // The sweep's segment i serves every query up to and including x[i + 1].
    static constexpr std::size_t kBoundOffset = 1;
    static bool beyond(double q, double bound) { return q > bound; }
    std::size_t last_segment() const { return x.size() - 2; }

    // The queries at or below x[0] and those at or above x[n-1] sit at the two ends of a sorted batch and
    // take the end values; the sweep serves the rest.
    std::pair<std::size_t, std::size_t> sweep_range(std::span<const double> xs, std::span<double> out) const {
        const double first = x[0], last = x[x.size() - 1];
        const auto queries = xs.begin();
        const std::size_t lo = static_cast<std::size_t>(
            std::partition_point(queries, xs.end(), [first](double q) { return q <= first; }) - queries);
        // "not at or above x[n-1]" rather than "below x[n-1]": a one-element batch may hold a NaN (longer
        // ones with a NaN are not sorted), and it belongs inside, where the line turns it into NaN.
        const std::size_t hi =
            static_cast<std::size_t>(std::partition_point(queries + static_cast<std::ptrdiff_t>(lo), xs.end(),
                                                          [last](double q) { return !(q >= last); }) -
                                     queries);
        std::fill(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(lo), y[0]);
        std::fill(out.begin() + static_cast<std::ptrdiff_t>(hi), out.end(), y[x.size() - 1]);
        return {lo, hi};
    }

    void run(std::size_t i, const double* xs, double* out, std::size_t from, std::size_t to) const {
        const double x0 = x[i], x1 = x[i + 1], y0 = y[i], y1 = y[i + 1];
        const double slope = slopes[i];
        for (std::size_t k = from; k < to; ++k) out[k] = y0 + slope * (xs[k] - x0);
        // Every query of the run lies above x0, and those on x1 close it: they get x1's value here rather
        // than by a select in the loop above, which would stop it vectorising.
        for (std::size_t k = to; k > from && xs[k - 1] == x1; --k) out[k - 1] = y1;
    }

    // A count of 0 only comes with a clamped or NaN query, whose value `value` chooses.
    std::size_t segment_of_count(std::size_t count) const { return std::min(count == 0 ? 0 : count - 1, x.size() - 2); }
    std::size_t uniform_segment(double xq) const { return morvelay::uniform_segment(x, inverse_step, xq); }

    // clamped_value without its branches: every query has an in-range segment, and the two clamps are
    // chosen afterwards.  A NaN query fails both and keeps the NaN of its segment's line.
    double value(std::size_t i, double xq) const {
        const double inner = on_segment(x, y, slopes, i, xq);
        return xq <= x[0] ? y[0] : (xq >= x[x.size() - 1] ? y[x.size() - 1] : inner);
    }
};

}  // namespace

Status LinearCore::fit(std::vector<double> x, std::vector<double> y) {
    if (x.size() != y.size()) return CoreError::length_mismatch(x.size(), y.size(), "x", "y");
    if (x.empty()) return CoreError::empty_input("x and y");
    // The usual case, x already strictly increasing, costs one comparison per pair, and that comparison
    // also rules out NaN (it is false for NaN) and repeats.  Everything else is sorted first.
    const bool increasing =
        std::adjacent_find(x.begin(), x.end(), [](double a, double b) { return !(a < b); }) == x.end();
    if (!increasing || std::isnan(x[0])) {
        // Sorting and searching both assume ordered values; a NaN knot has no place in the order.
        if (contains_nan(x)) return CoreError::invalid_input("x values must not be NaN");
        std::vector<std::size_t> order(x.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return x[a] < x[b]; });
        std::vector<double> sorted_x(x.size()), sorted_y(y.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            sorted_x[i] = x[order[i]];
            sorted_y[i] = y[order[i]];
        }
        if (std::adjacent_find(sorted_x.begin(), sorted_x.end()) != sorted_x.end()) {
            return CoreError::not_distinct("x values");
        }
        x = std::move(sorted_x);
        y = std::move(sorted_y);
    }

    // A fresh guide, built before the slopes may take over the old ones' storage: past that point
    // nothing may fail.
    std::optional<double> inverse_step;
    KnotGuide guide;
    index_knots(x, inverse_step, guide);
    auto slopes = slopes_of(x, y, std::move(slopes_));
    inverse_step_ = inverse_step;
    guide_ = std::move(guide);
    x_ = std::move(x);
    y_ = std::move(y);
    slopes_ = std::move(slopes);
    fitted_ = true;
    return Status::success();
}

Result<double> LinearCore::evaluate_single(double xq) const {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    return linear_interpolate_single(x_, y_, slopes_, inverse_step_, guide_, xq);
}

Status LinearCore::fill_many(std::span<const double> xs, std::span<double> out) const {
    if (Status checked = check_fill_many(fitted_, kNotFittedHint, xs.size(), out.size()); !checked) return checked;
    if (x_.size() == 1) {
        std::fill(out.begin(), out.end(), y_[0]);
        return Status::success();
    }
    fill_piecewise(LinearRule{x_, y_, slopes_, inverse_step_.value_or(0.0)}, x_, inverse_step_.has_value(), guide_, xs,
                   out);
    return Status::success();
}

Status LinearCore::update_y(std::vector<double> y_new) {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    if (y_new.size() != x_.size()) {
        return CoreError::invalid_input("y must have length " + format_count(x_.size()) + " (same as x), got " +
                                        format_count(y_new.size()));
    }
    auto slopes = slopes_of(x_, y_new, std::move(slopes_));
    y_ = std::move(y_new);
    slopes_ = std::move(slopes);
    return Status::success();
}

Status LinearCore::add_point(double x_new, double y_new) {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    if (std::isnan(x_new)) return CoreError::invalid_input("x_new must not be NaN");
    const auto at = std::lower_bound(x_.begin(), x_.end(), x_new);
    if (at != x_.end() && *at == x_new) {
        return CoreError::invalid_input("x_new = " + format_shortest(x_new) + " already exists in the data");
    }
    const std::size_t b = static_cast<std::size_t>(at - x_.begin());

    // Reserve first: only a reallocation can fail, and it leaves the contents alone.  After that the
    // inserts of doubles cannot throw, so the three arrays change together or not at all.
    const auto make_room = [](std::vector<double>& values) {
        if (values.size() == values.capacity()) values.reserve(2 * values.size() + 1);  // geometric growth
    };
    make_room(x_);
    make_room(y_);
    make_room(slopes_);
    guide_.reserve(x_.capacity());
    x_.insert(x_.begin() + static_cast<std::ptrdiff_t>(b), x_new);
    y_.insert(y_.begin() + static_cast<std::ptrdiff_t>(b), y_new);
    const std::size_t count = x_.size();
    auto slope_at = [this](std::size_t i) { return (y_[i + 1] - y_[i]) / (x_[i + 1] - x_[i]); };
    if (b == 0) {
        slopes_.insert(slopes_.begin(), slope_at(0));
    } else if (b == count - 1) {
        slopes_.push_back(slope_at(b - 1));
    } else {
        slopes_[b - 1] = slope_at(b - 1);
        slopes_.insert(slopes_.begin() + static_cast<std::ptrdiff_t>(b), slope_at(b));
    }
    rebuild_search();
    return Status::success();
}

void LinearCore::rebuild_search() { index_knots(x_, inverse_step_, guide_); }

// ---- saved state: x (strictly increasing) and y; the slopes are refitted --------------------------------

namespace {

// The newest format version of this core's saved state.
constexpr std::uint64_t kStateVersion = 1;

}  // namespace

CoreState LinearCore::state() const { return {kStateVersion, {{"x", x_}, {"y", y_}}}; }

Result<LinearCore> LinearCore::restore(const CoreState& state) {
    using enum saved::FieldKind;
    if (Status s = saved::expect(state, kStateVersion, {{"x", Array}, {"y", Array}}); !s) return s;
    if (Status s = saved::same_length(state, "x", "y"); !s) return s;
    LinearCore core;
    const auto& x = saved::array(state, "x");
    if (x.empty()) return core;
    // An unsorted x would be sorted by fit, pairing y differently from the saved instance: refused.
    if (Status s = check_strictly_increasing(x); !s) return s;
    // The slopes come out as update_y and add_point leave them: each is the same one expression.
    if (Status s = core.fit(x, saved::array(state, "y")); !s) return s;
    return core;
}

}  // namespace morvelay
