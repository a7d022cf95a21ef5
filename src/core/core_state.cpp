// Reading the fields of a saved state.  What each core saves, and how it is checked, is the core's own:
// see its state() and restore().
#include "core_state.hpp"

#include <algorithm>

#include "number_text.hpp"

namespace morvelay::saved {

namespace {

const char* kind_text(FieldKind kind) {
    switch (kind) {
        case FieldKind::Array:
            return "an array of doubles";
        case FieldKind::Real:
            return "a real number";
        case FieldKind::Count:
            return "a non-negative integer";
        case FieldKind::Integer:
            return "an integer";
        case FieldKind::Text:
            break;
    }
    return "a text";
}

bool has_kind(const StateValue& value, FieldKind kind) {
    switch (kind) {
        case FieldKind::Array:
            return std::holds_alternative<std::vector<double>>(value);
        case FieldKind::Real:
            return std::holds_alternative<double>(value);
        case FieldKind::Count:
            return std::holds_alternative<std::uint64_t>(value);
        case FieldKind::Integer:
            if (const auto* u = std::get_if<std::uint64_t>(&value)) return *u <= INT64_MAX;
            return std::holds_alternative<std::int64_t>(value);
        case FieldKind::Text:
            break;
    }
    return std::holds_alternative<std::string>(value);
}

// Messages built by appending (GCC 12 misreports the temporaries of chained string + as overlapping).
CoreError refused(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (std::string_view part : parts) text += part;
    return CoreError::invalid_input(std::move(text));
}

const StateValue* find(const CoreState& state, std::string_view name) {
    for (const StateField& field : state.fields) {
        if (field.name == name) return &field.value;
    }
    return nullptr;
}

}  // namespace

Status expect(const CoreState& state, std::uint64_t version, std::initializer_list<ExpectedField> fields) {
    if (state.version != version) {
        return refused({"format version ", format_count(state.version), " is not supported (expected ",
                        format_count(version), ")"});
    }
    for (const StateField& field : state.fields) {
        const auto known = std::find_if(fields.begin(), fields.end(),
                                        [&](const ExpectedField& expected) { return expected.name == field.name; });
        if (known == fields.end()) return refused({"unknown field '", field.name, "'"});
        if (!has_kind(field.value, known->kind)) {
            return refused({"field '", field.name, "' must be ", kind_text(known->kind)});
        }
    }
    for (const ExpectedField& expected : fields) {
        const auto count = std::count_if(state.fields.begin(), state.fields.end(),
                                         [&](const StateField& field) { return field.name == expected.name; });
        if (count == 0) return refused({"missing field '", expected.name, "'"});
        if (count > 1) return refused({"field '", expected.name, "' appears more than once"});
    }
    return Status::success();
}

// The fallbacks below are never reached once `expect` has passed.

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

Status same_length(const CoreState& state, std::string_view a, std::string_view b) {
    const std::size_t na = array(state, a).size(), nb = array(state, b).size();
    if (na == nb) return Status::success();
    return refused(
        {"'", a, "' and '", b, "' must have the same length (", format_count(na), " vs ", format_count(nb), ")"});
}

Status holds(const CoreState& state, std::string_view name, std::size_t expected) {
    const std::size_t n = array(state, name).size();
    if (n == expected) return Status::success();
    return refused({"'", name, "' must hold ", format_count(expected), " values, not ", format_count(n)});
}

}  // namespace morvelay::saved
