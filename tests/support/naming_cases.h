#pragma once

#include <span>

namespace vellora::test {

// How a copy is named, the same in the window and on the command line:
// the input's name, the speed as typed ("-r" and a rate for an exact rate),
// and the copy's name.
struct NamingCase {
  const char* input;
  const char* speed;
  const char* output;
};

inline constexpr NamingCase kNamingCases[] = {
    {"talk.wav", "90", "talk-90.wav"},
    {"TALK.WAV", "90", "TALK-90.WAV"},
    {"a.wav.wav", "90", "a-90.wav-90.wav"},
    {"take.flac", "90", "take-90.flac"},
    {"x.tar.aiff", "87.5", "x.tar-88.aiff"},
    {"take", "110", "take-110"},
    {".take", "90", ".take-90"},
    {"talk.wav", "0.5", "talk-0.5.wav"},
    {"talk.wav", "0.25", "talk-0.25.wav"},
    {"talk.wav", "-r48000", "talk-48000Hz.wav"},
};

}  // namespace vellora::test
