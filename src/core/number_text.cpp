#include "number_text.hpp"

#include <algorithm>
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
    // The fixed form of to_chars writes an integer part beyond 2^53 as the exact binary value (1e23 as
    // "99999999999999991611392").  The scientific form always has the shortest round-trip digits, so
    // those are taken and the point is placed here, zeros filling the places between digits and point.
    char scientific[32];  // "-d.dddddddddddddddde-308": at most 24 characters
    const char* const end =
        std::to_chars(scientific, scientific + sizeof scientific, value, std::chars_format::scientific).ptr;
    const char* const begin = scientific;
    const char* const mark = std::find(begin, end, 'e');  // always present in the scientific form
    int exponent = 0;
    std::from_chars(mark + (mark[1] == '+' ? 2 : 1), end, exponent);  // from_chars takes no '+'

    std::string text;
    const char* p = begin;
    if (*p == '-') text += *p++;
    char digits[20];
    std::size_t count = 0;
    for (; p != mark; ++p) {
        if (*p != '.') digits[count++] = *p;
    }
    if (exponent < 0) {
        text += "0.";
        text.append(static_cast<std::size_t>(-exponent - 1), '0');
        text.append(digits, count);
    } else if (static_cast<std::size_t>(exponent) + 1 >= count) {
        text.append(digits, count);
        text.append(static_cast<std::size_t>(exponent) + 1 - count, '0');
    } else {
        const std::size_t integer = static_cast<std::size_t>(exponent) + 1;
        text.append(digits, integer);
        text += '.';
        text.append(digits + integer, count - integer);
    }
    return text;
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
