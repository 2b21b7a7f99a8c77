#pragma once

#include <string>
#include <string_view>

namespace vellora {

// Matches a name against a pattern in which "*" stands for any run of
// characters and "?" for one; letters compare without regard to case.
bool wildcardMatch(std::string_view pattern, std::string_view name);

// Orders names without regard to case; names equal but for case go by bytes.
bool caseInsensitiveLess(std::string_view a, std::string_view b);

}  // namespace vellora
