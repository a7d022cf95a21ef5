// Saving and restoring the nine cores.
//
// A core saves what it keeps, except what is recomputed bit for bit from the rest: the inverse step or
// step of an evenly spaced grid, the Lagrange weighted values, the spline's segment starts.  Where a core
// keeps all of its input (Hermite, least squares, linear) and the fit is deterministic, restoring is a
// refit of the checked data, so the result cannot differ from the original; where a core keeps only
// what it derived (Newton, quadratic, spline and RBF coefficients, the Lagrange weights after updates,
// the Chebyshev coefficients), those arrays are saved and put back as they are, after checks.
//
// Restoring checks exactly what the core's own fit guarantees its evaluation: the piecewise cores
// search x, so x must be strictly increasing (hence free of NaN); the RBF centres must be distinct;
// counts must relate as the fit makes them.  Values the fit accepts as they come (NaN y, infinite
// weights of coincident nodes) are accepted here too: they give NaN answers, never undefined behaviour.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string_view>
#include <utility>

#include "chebyshev_core.hpp"
#include "core_state.hpp"
#include "cubic_spline_core.hpp"
#include "hermite_core.hpp"
#include "lagrange_core.hpp"
#include "least_squares_core.hpp"
#include "linear_core.hpp"
#include "newton_core.hpp"
#include "number_text.hpp"
#include "quadratic_core.hpp"
#include "rbf_core.hpp"

namespace morvelay {

namespace {

// ---- reading fields ---------------------------------------------------------------------------------

enum class Kind { Array, Real, Count, Integer, Text };

struct Expected {
    std::string_view name;
    Kind kind;
};

const char* kind_text(Kind kind) {
    switch (kind) {
        case Kind::Array:
            return "an array of doubles";
        case Kind::Real:
            return "a real number";
        case Kind::Count:
            return "a non-negative integer";
        case Kind::Integer:
            return "an integer";
        case Kind::Text:
            break;
    }
    return "a text";
}

bool has_kind(const StateValue& value, Kind kind) {
    switch (kind) {
        case Kind::Array:
            return std::holds_alternative<std::vector<double>>(value);
        case Kind::Real:
            return std::holds_alternative<double>(value);
        case Kind::Count:
            return std::holds_alternative<std::uint64_t>(value);
        case Kind::Integer:
            if (const auto* u = std::get_if<std::uint64_t>(&value)) return *u <= INT64_MAX;
            return std::holds_alternative<std::int64_t>(value);
        case Kind::Text:
            break;
    }
    return std::holds_alternative<std::string>(value);
}

CoreError refused(std::string message) { return CoreError::invalid_input(std::move(message)); }

// Messages built by appending (GCC 12 misreports the temporaries of chained string + as overlapping).
std::string joined(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (std::string_view part : parts) text += part;
    return text;
}
CoreError refused(Status status) { return CoreError::invalid_input(std::move(status).error()); }

// The version, and exactly the expected fields, each once and of its kind.
Status expect(const CoreState& state, std::uint64_t version, std::initializer_list<Expected> fields) {
    if (state.version != version) {
        return refused(joined({"format version ", format_count(state.version), " is not supported (expected ",
                               format_count(version), ")"}));
    }
    for (const StateField& field : state.fields) {
        const auto known = std::find_if(fields.begin(), fields.end(),
                                        [&](const Expected& expected) { return expected.name == field.name; });
        if (known == fields.end()) return refused(joined({"unknown field '", field.name, "'"}));
        if (!has_kind(field.value, known->kind)) {
            return refused(joined({"field '", field.name, "' must be ", kind_text(known->kind)}));
        }
    }
    for (const Expected& expected : fields) {
        const auto count = std::count_if(state.fields.begin(), state.fields.end(),
                                         [&](const StateField& field) { return field.name == expected.name; });
        if (count == 0) return refused(joined({"missing field '", expected.name, "'"}));
        if (count > 1) return refused(joined({"field '", expected.name, "' appears more than once"}));
    }
    return Status::success();
}

// Field access once `expect` has passed; the fallbacks are never reached then.
const StateValue* find(const CoreState& state, std::string_view name) {
    for (const StateField& field : state.fields) {
        if (field.name == name) return &field.value;
    }
    return nullptr;
}

const std::vector<double>& array(const CoreState& state, std::string_view name) {
    static const std::vector<double> none;
    const StateValue* value = find(state, name);
    const auto* array = value ? std::get_if<std::vector<double>>(value) : nullptr;
    return array ? *array : none;
}

double real(const CoreState& state, std::string_view name) {
    const StateValue* value = find(state, name);
    const auto* real = value ? std::get_if<double>(value) : nullptr;
    return real ? *real : 0.0;
}

std::uint64_t count(const CoreState& state, std::string_view name) {
    const StateValue* value = find(state, name);
    const auto* count = value ? std::get_if<std::uint64_t>(value) : nullptr;
    return count ? *count : 0;
}

std::int64_t integer(const CoreState& state, std::string_view name) {
    const StateValue* value = find(state, name);
    if (!value) return 0;
    if (const auto* u = std::get_if<std::uint64_t>(value)) return static_cast<std::int64_t>(*u);
    const auto* i = std::get_if<std::int64_t>(value);
    return i ? *i : 0;
}

const std::string& text(const CoreState& state, std::string_view name) {
    static const std::string none;
    const StateValue* value = find(state, name);
    const auto* text = value ? std::get_if<std::string>(value) : nullptr;
    return text ? *text : none;
}

// ---- checks shared by several cores ---------------------------------------------------------------------

Status same_length(const CoreState& state, std::string_view a, std::string_view b) {
    const std::size_t na = array(state, a).size(), nb = array(state, b).size();
    if (na == nb) return Status::success();
    return refused(joined(
        {"'", a, "' and '", b, "' must have the same length (", format_count(na), " vs ", format_count(nb), ")"}));
}

Status holds(const CoreState& state, std::string_view name, std::size_t expected) {
    const std::size_t n = array(state, name).size();
    if (n == expected) return Status::success();
    return refused(joined({"'", name, "' must hold ", format_count(expected), " values, not ", format_count(n)}));
}

// Strictly increasing; the comparison is false for NaN, so this also refuses NaN anywhere among two or
// more values, and a single NaN is tested on its own.
Status strictly_increasing(std::span<const double> x) {
    for (std::size_t i = 1; i < x.size(); ++i) {
        if (!(x[i - 1] < x[i])) return refused("x values must be strictly increasing");
    }
    if (x.size() == 1 && std::isnan(x[0])) return refused("x values must not be NaN");
    return Status::success();
}

bool same_bits(std::span<const double> a, std::span<const double> b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// The newest format version of each core.
constexpr std::uint64_t kVersion = 1;

}  // namespace

// ---- linear: x (strictly increasing) and y; the slopes are refitted -----------------------------------

CoreState LinearCore::state() const { return {kVersion, {{"x", x_}, {"y", y_}}}; }

Result<LinearCore> LinearCore::restore(const CoreState& state) {
    if (Status s = expect(state, kVersion, {{"x", Kind::Array}, {"y", Kind::Array}}); !s) return refused(s);
    if (Status s = same_length(state, "x", "y"); !s) return refused(s);
    LinearCore core;
    const auto& x = array(state, "x");
    if (x.empty()) return core;
    // An unsorted x would be sorted by fit, pairing y differently from the saved instance: refused.
    if (Status s = strictly_increasing(x); !s) return refused(s);
    // The slopes come out as update_y and add_point leave them: each is the same one expression.
    if (Status s = core.fit(x, array(state, "y")); !s) return refused(s);
    return core;
}

// ---- Newton: the nodes and the divided differences, as they are ------------------------------------

CoreState NewtonCore::state() const { return {kVersion, {{"x", x_}, {"coefficients", coefficients_}}}; }

Result<NewtonCore> NewtonCore::restore(const CoreState& state) {
    if (Status s = expect(state, kVersion, {{"x", Kind::Array}, {"coefficients", Kind::Array}}); !s) return refused(s);
    if (Status s = same_length(state, "x", "coefficients"); !s) return refused(s);
    NewtonCore core;
    core.x_ = array(state, "x");
    core.coefficients_ = array(state, "coefficients");
    core.fitted_ = !core.x_.empty();
    return core;
}

// ---- Lagrange: nodes, values, weights and their exponents, as add_point and update_y left them --------

CoreState LagrangeCore::state() const {
    return {kVersion,
            {{"x", x_},
             {"y", y_},
             {"weights", weights_},
             {"weight_exponent", weight_exponent_},
             {"difference_exponent", std::int64_t{difference_exponent_}}}};
}

Result<LagrangeCore> LagrangeCore::restore(const CoreState& state) {
    if (Status s = expect(state, kVersion,
                          {{"x", Kind::Array},
                           {"y", Kind::Array},
                           {"weights", Kind::Array},
                           {"weight_exponent", Kind::Integer},
                           {"difference_exponent", Kind::Integer}});
        !s) {
        return refused(s);
    }
    if (Status s = same_length(state, "x", "y"); !s) return refused(s);
    if (Status s = same_length(state, "x", "weights"); !s) return refused(s);
    const std::int64_t weight_exponent = integer(state, "weight_exponent");
    const std::int64_t difference_exponent = integer(state, "difference_exponent");
    LagrangeCore core;
    if (array(state, "x").empty()) {
        if (weight_exponent != 0 || difference_exponent != 0)
            return refused("the exponents of an unfitted state must be 0");
        return core;
    }
    // fit clamps the difference exponent to this range; the weight exponent grows by a few thousand per
    // node at most, so 2^53 leaves add_point's exponent arithmetic far from overflow.
    if (difference_exponent < -1000 || difference_exponent > 1000) {
        return refused("difference_exponent must lie in [-1000, 1000]");
    }
    if (weight_exponent < -(std::int64_t{1} << 53) || weight_exponent > (std::int64_t{1} << 53)) {
        return refused("weight_exponent is out of range");
    }
    core.x_ = array(state, "x");
    core.y_ = array(state, "y");
    core.weights_ = array(state, "weights");
    // The same product fit, update_y and add_point form.
    core.weighted_y_.resize(core.x_.size());
    for (std::size_t i = 0; i < core.x_.size(); ++i) core.weighted_y_[i] = core.weights_[i] * core.y_[i];
    core.weight_exponent_ = weight_exponent;
    core.difference_exponent_ = static_cast<int>(difference_exponent);
    core.fitted_ = true;
    return core;
}

// ---- Hermite: nodes, values and derivatives; refitted ---------------------------------------------------

CoreState HermiteCore::state() const { return {kVersion, {{"x", x_}, {"y", y_}, {"dy", dy_}}}; }

Result<HermiteCore> HermiteCore::restore(const CoreState& state) {
    if (Status s = expect(state, kVersion, {{"x", Kind::Array}, {"y", Kind::Array}, {"dy", Kind::Array}}); !s) {
        return refused(s);
    }
    if (Status s = same_length(state, "x", "y"); !s) return refused(s);
    if (Status s = same_length(state, "x", "dy"); !s) return refused(s);
    HermiteCore core;
    if (array(state, "x").empty()) return core;
    if (Status s = core.fit(array(state, "x"), array(state, "y"), array(state, "dy")); !s) return refused(s);
    return core;
}

// ---- quadratic: knots and the parabolas of the triplets (y itself is not kept) ----------------------

CoreState QuadraticCore::state() const { return {kVersion, {{"x", x_}, {"coefficients", coefficients_}}}; }

Result<QuadraticCore> QuadraticCore::restore(const CoreState& state) {
    if (Status s = expect(state, kVersion, {{"x", Kind::Array}, {"coefficients", Kind::Array}}); !s) return refused(s);
    QuadraticCore core;
    const auto& x = array(state, "x");
    const std::size_t n = x.size();
    if (n == 0) {
        if (Status s = holds(state, "coefficients", 0); !s) return refused(s);
        return core;
    }
    if (n < 3) return refused("Quadratic interpolation requires at least 3 data points");
    if (Status s = holds(state, "coefficients", 3 * (n - 2)); !s) return refused(s);
    if (Status s = strictly_increasing(x); !s) return refused(s);
    core.x_ = x;
    core.rebuild_search();  // the uniform step and the guide table are derived from x, never stored
    core.coefficients_ = array(state, "coefficients");
    core.fitted_ = true;
    return core;
}

// ---- cubic spline: knots and a, b, c, d of each segment (the last y is not kept) ------------------------

CoreState CubicSplineCore::state() const {
    std::vector<double> segments(4 * segments_.size());
    for (std::size_t i = 0; i < segments_.size(); ++i) {
        const SplineSegment& s = segments_[i];
        segments[4 * i] = s.a;
        segments[4 * i + 1] = s.b;
        segments[4 * i + 2] = s.c;
        segments[4 * i + 3] = s.d;
    }
    return {kVersion, {{"x", x_}, {"segments", std::move(segments)}}};
}

Result<CubicSplineCore> CubicSplineCore::restore(const CoreState& state) {
    if (Status s = expect(state, kVersion, {{"x", Kind::Array}, {"segments", Kind::Array}}); !s) return refused(s);
    CubicSplineCore core;
    const auto& x = array(state, "x");
    const std::size_t n = x.size();
    if (n == 0) {
        if (Status s = holds(state, "segments", 0); !s) return refused(s);
        return core;
    }
    if (n < 2) return refused("Cubic spline interpolation requires at least 2 data points");
    if (Status s = holds(state, "segments", 4 * (n - 1)); !s) return refused(s);
    if (Status s = strictly_increasing(x); !s) return refused(s);
    const auto& flat = array(state, "segments");
    core.segments_.resize(n - 1);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        core.segments_[i] = {flat[4 * i], flat[4 * i + 1], flat[4 * i + 2], flat[4 * i + 3], x[i]};
    }
    core.x_ = x;
    core.rebuild_search();
    core.fitted_ = true;
    return core;
}

// ---- least squares: the degree and the data; refitted ---------------------------------------------------

CoreState LeastSquaresCore::state() const {
    return {kVersion, {{"degree", std::uint64_t{degree_}}, {"x", x_values_}, {"y", y_values_}}};
}

Result<LeastSquaresCore> LeastSquaresCore::restore(const CoreState& state) {
    if (Status s = expect(state, kVersion, {{"degree", Kind::Count}, {"x", Kind::Array}, {"y", Kind::Array}}); !s) {
        return refused(s);
    }
    if (Status s = same_length(state, "x", "y"); !s) return refused(s);
    LeastSquaresCore core(count(state, "degree"));
    if (array(state, "x").empty()) return core;
    if (Status s = core.fit(array(state, "x"), array(state, "y")); !s) return refused(s);
    return core;
}

// ---- Chebyshev: interval, method, nodes (which fix the count) and coefficients ------------------------

CoreState ChebyshevCore::state() const {
    return {kVersion,
            {{"x_min", x_min_},
             {"x_max", x_max_},
             {"use_clenshaw", std::uint64_t{use_clenshaw_ ? 1u : 0u}},
             {"nodes", nodes_},
             {"coefficients", coefficients_}}};
}

Result<ChebyshevCore> ChebyshevCore::restore(const CoreState& state) {
    if (Status s = expect(state, kVersion,
                          {{"x_min", Kind::Real},
                           {"x_max", Kind::Real},
                           {"use_clenshaw", Kind::Count},
                           {"nodes", Kind::Array},
                           {"coefficients", Kind::Array}});
        !s) {
        return refused(s);
    }
    const std::uint64_t use_clenshaw = count(state, "use_clenshaw");
    if (use_clenshaw > 1) return refused("use_clenshaw must be 0 or 1");
    // The node count comes from the saved nodes, never from a bare number: a damaged state cannot ask
    // for more memory than it brings.
    const auto& nodes = array(state, "nodes");
    Result<ChebyshevCore> made = create(nodes.size(), real(state, "x_min"), real(state, "x_max"), use_clenshaw == 1);
    if (!made) return refused(std::move(made).error());
    ChebyshevCore core = std::move(made).value();
    if (!same_bits(core.nodes_, nodes)) return refused("the nodes do not match the interval and count");
    const auto& coefficients = array(state, "coefficients");
    if (!coefficients.empty()) {
        if (Status s = holds(state, "coefficients", nodes.size()); !s) return refused(s);
        core.coefficients_ = coefficients;
        core.fitted_ = true;
    }
    return core;
}

// ---- RBF: kernel by name, epsilon, distinct centres and their weights (y is not kept) ------------------

CoreState RBFCore::state() const {
    return {kVersion,
            {{"kernel", std::string(kernel_name(kernel_))}, {"epsilon", epsilon_}, {"x", x_}, {"weights", weights_}}};
}

Result<RBFCore> RBFCore::restore(const CoreState& state) {
    if (Status s =
            expect(state, kVersion,
                   {{"kernel", Kind::Text}, {"epsilon", Kind::Real}, {"x", Kind::Array}, {"weights", Kind::Array}});
        !s) {
        return refused(s);
    }
    // Only the canonical spelling: a saved state is not typed by hand.
    Result<RBFKernel> kernel = parse_kernel_name(text(state, "kernel"));
    if (!kernel || kernel_name(kernel.value()) != text(state, "kernel")) {
        return refused(joined({"unknown kernel '", text(state, "kernel"), "'"}));
    }
    Result<RBFCore> made = create(kernel.value(), real(state, "epsilon"));
    if (!made) return refused(std::move(made).error());
    RBFCore core = std::move(made).value();
    if (Status s = same_length(state, "x", "weights"); !s) return refused(s);
    const auto& x = array(state, "x");
    if (x.empty()) return core;
    // As fit: distinct centres, and no NaN among two or more (a lone NaN centre only makes NaN answers).
    std::vector<double> sorted = x;
    if (sorted.size() > 1 && contains_nan(sorted)) return refused("x values must not be NaN");
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) return refused("x values must be distinct");
    core.uniform_step_ = uniform_step(x);
    core.x_ = x;
    core.weights_ = array(state, "weights");
    core.fitted_ = true;
    return core;
}

}  // namespace morvelay
