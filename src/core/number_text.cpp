#include "number_text.hpp"

#include <charconv>
#include <cmath>
#include <optional>

namespace morvelay {

std::string format_count(std::uint64_t value) {
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return std::string(digits, end);
}

namespace {

// NaN and infinities are spelled the library's way, not the C library's ("nan", "inf").
std::optional<std::string> non_finite_text(double value) {
    if (std::isnan(value)) return std::string("NaN");
    if (std::isinf(value)) return std::string(value > 0 ? "inf" : "-inf");
    return std::nullopt;
}

}  // namespace

std::string format_shortest(double value) {
    if (auto text = non_finite_text(value)) return *text;
    char digits[400];  // the longest shortest-round-trip text without exponent, for 5e-324, has 326 characters
    auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed);
    return std::string(digits, result.ptr);
}

std::string format_fixed(double value, int decimals) {
    if (auto text = non_finite_text(value)) return *text;
    std::string digits(330 + static_cast<std::size_t>(decimals), '\0');
    auto result =
        std::to_chars(digits.data(), digits.data() + digits.size(), value, std::chars_format::fixed, decimals);
    digits.resize(static_cast<std::size_t>(result.ptr - digits.data()));
    return digits;
}

}  // namespace morvelay
