// Saved state of a core: plain data from which the core is rebuilt to give the same answers, bit for bit.
//
// Every core hands out its state as named fields (arrays of doubles, numbers, texts) under a format
// version of its own, and rebuilds itself from one with a static `restore`.  A state may come from a
// file or another process, so `restore` trusts none of it: the version, the set of fields and their
// kinds, every length and how the lengths relate, and the order and finiteness that evaluation relies on
// are checked before anything is built.  A damaged or forged state is refused with a message; it never
// reaches the evaluation code.  An unfitted core saves empty arrays.
//
// The format of each version is fixed once released: a later version of a core keeps reading the
// older ones.  What each core keeps (and so saves) is listed with its `state` in core_state.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

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

}  // namespace morvelay
