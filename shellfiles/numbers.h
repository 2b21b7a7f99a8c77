#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vellora {

// The number at the start of a text, "." as the decimal point whatever the
// locale, blanks ignored: "90%" gives 90, "?%" and "" give 0.
double Val(std::string_view text);

// Halves go to the even neighbour; nullopt outside the 32-bit signed range.
std::optional<std::int32_t> roundToInt32(double value);

// Plain decimal for the user: 90, 90.5, -50.
std::string formatNumber(double value);

}  // namespace vellora
