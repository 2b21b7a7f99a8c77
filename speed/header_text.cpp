#include "speed/header_text.h"

#include <algorithm>

namespace vellora {
namespace {

constexpr std::string_view kPadding{" \0", 2};

}  // namespace

std::optional<std::string> replacedInPlace(std::string_view text, std::size_t begin, std::size_t end,
                                           std::string_view value) {
  const std::size_t old = end - begin;
  std::string result(text.substr(0, begin));
  result += value;
  if (value.size() <= old) {
    result += text.substr(end);
    result.append(old - value.size(), !text.empty() && text.back() == '\0' ? '\0' : ' ');
    return result;
  }
  const std::size_t more = value.size() - old;
  // Spaces after the value on its own line go first, moving nothing else.
  const std::size_t spaces = std::min(text.find_first_not_of(' ', end), text.size()) - end;
  if (spaces >= more) return result += text.substr(end + more);
  const std::size_t lastText = text.find_last_not_of(kPadding);
  const std::size_t padding = lastText == std::string_view::npos ? text.size() : text.size() - lastText - 1;
  if (padding < more || lastText < end) return std::nullopt;
  return result += text.substr(end, text.size() - end - more);
}

void patchDifferences(std::vector<Patch>& patches, std::uint64_t offset, std::string_view before,
                      std::string_view after) {
  for (std::size_t at = 0; at < before.size();) {
    if (before[at] == after[at]) {
      ++at;
      continue;
    }
    std::size_t end = at;
    while (end < before.size() && end - at < Patch::kMaxBytes && before[end] != after[end]) ++end;
    Patch patch{.offset = offset + at, .size = static_cast<std::uint8_t>(end - at), .bytes = {}};
    std::transform(after.begin() + static_cast<std::ptrdiff_t>(at), after.begin() + static_cast<std::ptrdiff_t>(end),
                   patch.bytes.begin(), [](char c) { return static_cast<std::byte>(c); });
    patches.push_back(patch);
    at = end;
  }
}

std::optional<TextField> findField(std::string_view text, std::string_view key, std::string_view separator) {
  for (std::size_t line = 0; line < text.size();) {
    const std::size_t next = std::min(text.find('\n', line), text.size());
    const std::string_view whole = text.substr(line, next - line);
    if (whole.starts_with(key) && whole.substr(key.size()).starts_with(separator)) {
      std::size_t begin = line + key.size() + separator.size();
      while (begin < next && text[begin] == ' ') ++begin;
      std::size_t end = begin;
      while (end < next && text[end] != ' ' && text[end] != '\r') ++end;
      return TextField{begin, end};
    }
    line = next + 1;
  }
  return std::nullopt;
}

}  // namespace vellora
