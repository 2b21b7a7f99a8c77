#include "shellfiles/numbers.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace vellora {

double Val(std::string_view text) {
  // Blanks are ignored anywhere, so "9 0%" reads as 90.
  std::string s;
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') s += c;

  auto isDigit = [&s](std::size_t i) {
    return i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]));
  };
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';

  std::string number;
  std::size_t mantissaDigits = 0;
  for (; isDigit(i); ++mantissaDigits) number += s[i++];
  if (i < s.size() && s[i] == '.') {
    number += s[i++];
    for (; isDigit(i); ++mantissaDigits) number += s[i++];
  }
  if (mantissaDigits == 0) return 0.0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    std::string exponent = "e";
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) exponent += s[j++];
    if (isDigit(j)) {
      while (isDigit(j)) exponent += s[j++];
      number += exponent;
    }
  }

  double value = 0.0;
  auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (ec == std::errc::result_out_of_range)
    value = number.find("e-") != std::string::npos ? 0.0 : std::numeric_limits<double>::infinity();
  return negative ? -value : value;
}

std::optional<std::int32_t> roundToInt32(double value) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= static_cast<double>(std::numeric_limits<std::int32_t>::min()) &&
        rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::max())))
    return std::nullopt;
  return static_cast<std::int32_t>(rounded);
}

std::string formatNumber(double value) {
  if (std::isfinite(value) && std::fabs(value) < 1e15 && value == std::trunc(value))
    return std::to_string(static_cast<long long>(value));
  std::array<char, 32> text{};
  auto [end, ec] = std::to_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc{} ? std::string(text.data(), end) : std::string("?");
}

}  // namespace vellora
