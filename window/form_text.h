#pragma once

#include <array>

// The words both windows, the Qt one and the Win32 one, show and speak: kept
// once here, free of either toolkit, so the two cannot drift apart.
namespace vellora {

// The text of the "What's this?" box.
extern const char* const kHelpText;

// The replay-speed list, and the entry selected at start: 100%.
inline constexpr std::array<const char*, 8> kSpeedEntries{"?%",  "120%", "110%", "100%",
                                                          "95%", "90%",  "85%",  "80%"};
inline constexpr int kStartSpeedEntry = 3;

}  // namespace vellora
