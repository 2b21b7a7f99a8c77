#pragma once

#include <cstdint>
#include <string>

#include "shellfiles/module1.h"

namespace vellora {

// A path without ":" anywhere is taken relative to the program's directory.
std::string applicationRelative(const std::string& path, const std::string& programDirectory);

// Hands paths to the desktop shell: the only place that calls it.
class ShellOpener {
 public:
  ShellOpener(Module1& system, std::string programDirectory);

  // Opens `url` with its associated program; never fails towards the caller.
  void shellopen(std::string& url, std::int16_t mode);
  // Playback start: applies the application-relative rule to `fname` in place
  // and opens the result hidden; whether the shell started a player, which
  // only the command line tells.
  bool openAudio(std::string& fname);

  const std::string& programDirectory() const { return programDirectory_; }

 private:
  bool start(const std::string& url, std::int16_t mode);

  Module1& system_;
  std::string programDirectory_;
};

}  // namespace vellora
