#include "core_error.hpp"

#include "number_text.hpp"

namespace morvelay {

CoreError CoreError::not_fitted(std::string_view hint) {
    std::string text = "Interpolator not fitted. ";
    text += hint;
    return CoreError(std::move(text));
}

CoreError CoreError::length_mismatch(std::uint64_t len_a, std::uint64_t len_b, std::string_view name_a,
                                     std::string_view name_b) {
    std::string text;
    text += name_a;
    text += " and ";
    text += name_b;
    text += " must have the same length (";
    text += format_count(len_a);
    text += " vs ";
    text += format_count(len_b);
    text += ')';
    return CoreError(std::move(text));
}

CoreError CoreError::empty_input(std::string_view what) {
    std::string text(what);
    text += " cannot be empty";
    return CoreError(std::move(text));
}

CoreError CoreError::not_distinct(std::string_view what) {
    std::string text(what);
    text += " must be distinct";
    return CoreError(std::move(text));
}

CoreError CoreError::invalid_input(std::string message) { return CoreError(std::move(message)); }

}  // namespace morvelay
