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

// The line of segment i at xq, except on the segment's left knot, which gives its y exactly: a NaN or
// infinite neighbour must not spill onto a finite knot value through y + slope * 0, and -0 stays -0.
// Every path hands a knot to the segment it starts, so a knot's value does not depend on the path.
inline double on_segment(std::span<const double> x, std::span<const double> y, std::span<const double> slopes,
                         std::size_t i, double xq) {
    const double dx = xq - x[i];
    const double rise = slopes[i] * dx;
    const double line = y[i] + rise;
    return dx == 0.0 ? y[i] : line;
}

// The linear core's part in the shared evaluator (piecewise.hpp), for two or more knots.
struct LinearRule {
    std::span<const double> x, y, slopes;

    // Segment i serves [x[i], x[i + 1]): a query on an interior knot takes the segment it starts.
    static constexpr std::size_t kCountOffset = 1;
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

    void fill_run(std::size_t i, const double* xs, double* out, std::size_t from, std::size_t to) const {
        const double x0 = x[i], y0 = y[i];
        const double slope = slopes[i];
        for (std::size_t k = from; k < to; ++k) out[k] = y0 + slope * (xs[k] - x0);
        // Queries on x0 open the run: they get its value here, as on_segment gives it, rather than by a
        // select in the loop above, which would stop it vectorising.
        for (std::size_t k = from; k < to && xs[k] == x0; ++k) out[k] = y0;
    }

    // Clamped to the end values outside [x[0], x[n-1]]; a NaN query fails both tests and keeps the NaN
    // of its segment's line.
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
    KnotSearch search;
    search.assign(x);
    auto slopes = slopes_of(x, y, std::move(slopes_));
    search_ = std::move(search);
    x_ = std::move(x);
    y_ = std::move(y);
    slopes_ = std::move(slopes);
    fitted_ = true;
    return Status::success();
}

Result<double> LinearCore::evaluate_single(double xq) const {
    if (!fitted_) return CoreError::not_fitted(kNotFittedHint);
    // One knot answers every query, NaN included.
    if (x_.size() == 1) return y_[0];
    return value_at(LinearRule{x_, y_, slopes_}, x_, search_, xq);
}

Status LinearCore::fill_many(std::span<const double> xs, std::span<double> out) const {
    if (Status checked = check_fill_many(fitted_, kNotFittedHint, xs.size(), out.size()); !checked) return checked;
    if (x_.size() == 1) {
        std::fill(out.begin(), out.end(), y_[0]);
        return Status::success();
    }
    fill_piecewise(LinearRule{x_, y_, slopes_}, x_, search_, xs, out);
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
    search_.reserve(x_.capacity());
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
