// Saved state of a core: plain data from which the core is rebuilt to give the same answers, bit for bit.
//
// Every core hands out its state as named fields (arrays of doubles, numbers, texts) under a format
// version of its own, and rebuilds itself from one with a static `restore`, both beside its fit in its
// <method>_core.cpp.  A state may come from a file or another process, so `restore` trusts none of it:
// the version, the set of fields and their kinds, every length and how the lengths relate, and the order
// and finiteness that evaluation relies on are checked before anything is built, with the fit's own
// checks and texts where the fit makes the same test.  A damaged or forged state is refused with a
// message; it never reaches the evaluation code.  An unfitted core saves empty arrays.
//
// A core saves what it keeps, except what is recomputed bit for bit from the rest (an even grid's step,
// a search table).  Where it keeps all of its input and the fit is deterministic, restoring is a refit of
// the checked data; where it keeps only what it derived, those arrays are put back as they are, after
// checks.  Values the fit accepts as they come (NaN y, infinite weights) are accepted here too: they give
// NaN answers, never undefined behaviour.
//
// The format of each version is fixed once released: a later version of a core keeps reading the
// older ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core_error.hpp"

namespace morvelay {

// An array of doubles, a real number, a whole number or a text.  Whole numbers that fit are held as
// unsigned; the signed form is for negative ones (a reader asking for a signed number takes either).
using StateValue = std::variant<std::vector<double>, double, std::uint64_t, std::int64_t, std::string>;

struct StateField {
    std::string name;
    StateValue value;
};

struct CoreState {
    std::uint64_t version = 0;
    std::vector<StateField> fields;
};

// Reading a state back, for the cores' `restore`.
namespace saved {

enum class FieldKind { Array, Real, Count, Integer, Text };

struct ExpectedField {
    std::string_view name;
    FieldKind kind;
};

// The version, and exactly the expected fields, each once and of its kind.
Status expect(const CoreState& state, std::uint64_t version, std::initializer_list<ExpectedField> fields);

// A field's value once `expect` has passed (an empty or zero value otherwise).
const std::vector<double>& array(const CoreState& state, std::string_view name);
double real(const CoreState& state, std::string_view name);
std::uint64_t count(const CoreState& state, std::string_view name);
std::int64_t integer(const CoreState& state, std::string_view name);
const std::string& text(const CoreState& state, std::string_view name);

// "'a' and 'b' must have the same length (m vs n)"
Status same_length(const CoreState& state, std::string_view a, std::string_view b);
// "'name' must hold n values, not m"
Status holds(const CoreState& state, std::string_view name, std::size_t expected);

}  // namespace saved

}  // namespace morvelay
