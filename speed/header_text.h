#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "speed/rate_plan.h"

namespace vellora {

// Text headers of a fixed length (NIST SPHERE, GUANO): a value rewritten in
// place, the text after it moving to make room or give it back.

// `text` with its bytes [begin, end) replaced by `value`, at the same length:
// a longer value takes room from the spaces that end its own line, then from
// the padding (spaces and NULs) at the end of the text; a shorter one gives
// what it frees back to that padding. nullopt when there is not room enough.
std::optional<std::string> replacedInPlace(std::string_view text, std::size_t begin, std::size_t end,
                                           std::string_view value);

// Patches that turn `before` into `after`, of the same length, at `offset`:
// one for each run of changed bytes, split to Patch::kMaxBytes.
void patchDifferences(std::vector<Patch>& patches, std::uint64_t offset, std::string_view before,
                      std::string_view after);

// Where the value of the first line that starts with `key` and `separator`
// ("sample_rate", " -i "; "TE", ":") lies in `text`: the word after them.
struct TextField {
  std::size_t begin = 0, end = 0;
};
std::optional<TextField> findField(std::string_view text, std::string_view key, std::string_view separator);

}  // namespace vellora
