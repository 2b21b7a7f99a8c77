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

// A picture or link as Tab and screen readers reach it: its accessible name
// and description, the description also its tooltip.
struct ActionText {
  const char* name;
  const char* description;
};
inline constexpr ActionText kPlayAction{"Play the input file", "Plays the input file"};
inline constexpr ActionText kLatestAction{
    "latest", "Puts the newest recording in C:\\temp into the input filename"};
inline constexpr ActionText kExploreAction{"explore...", "Opens the output directory"};
inline constexpr ActionText kConvertAction{
    "Convert and play", "Copies the input file at the replay speed and plays the copy"};
inline constexpr ActionText kHelpAction{"What's this?", "Tells what Vellora does"};

}  // namespace vellora
