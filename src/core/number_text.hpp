// Numbers as they appear in messages and reprs.  NaN and the infinities are spelled the library's
// way ("NaN", "inf", "-inf"), and no form ever uses an exponent.
#pragma once

#include <cstdint>
#include <string>

namespace morvelay {

std::string format_count(std::uint64_t value);         // "3"
std::string format_shortest(double value);             // shortest round trip, no exponent: 1.0 -> "1"
std::string format_fixed(double value, int decimals);  // exact binary value, ties to even: "2.67"

}  // namespace morvelay
