#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "shellfiles/module1.h"

namespace vellora {

// What the media operations read from and change in the window.
class MediaWindow {
 public:
  virtual ~MediaWindow() = default;
  virtual void setTimerEnabled(bool enabled) = 0;  // Timer1
  virtual void hideResumeImage() = 0;              // Image5
  virtual void setTimeCaption(const std::string& caption) = 0;  // lblTime
  virtual std::string commandText() = 0;           // Text3
};

inline constexpr std::string_view kAlias = "thisaudio";
inline constexpr std::int32_t kReplyRoom = 100;

// The media-control commands for the device alias "thisaudio". Nothing
// opens that alias, so pause and resume are refused by the platform, which
// says so, and the gated commands are never sent.
class MediaControls {
 public:
  MediaControls(Module1& system, MediaWindow& window);

  void closeAudio();
  void pauseAudio();
  void resumeAudio();
  // The position the device reports, in its time format; 0 when the reply
  // holds no number that fits.
  std::int32_t getPosition();
  void Timer1_Timer();
  void Command3_Click();

  const std::string& currentAudioName() const { return currentAudioName_; }

 private:
  Module1& system_;
  MediaWindow& window_;
  std::string currentAudioName_;
};

// Whole minutes and the seconds within the minute, both cut down and at
// least two digits: 90,000 ms reads 01:30, 6,000,000 ms 100:00.
std::string positionText(std::int32_t milliseconds);

}  // namespace vellora
