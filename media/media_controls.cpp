#include "media/media_controls.h"

#include <array>
#include <cstring>

#include "shellfiles/numbers.h"

namespace vellora {
namespace {

std::string command(std::string_view verb, std::string_view rest = {}) {
  std::string text(verb);
  text += ' ';
  text += kAlias;
  if (!rest.empty()) {
    text += ' ';
    text += rest;
  }
  return text;
}

std::string twoDigits(std::int64_t value) {
  std::string text = std::to_string(value);
  return text.size() < 2 ? "0" + text : text;
}

}  // namespace

MediaControls::MediaControls(Module1& system, MediaWindow& window)
    : system_(system), window_(window) {}

void MediaControls::closeAudio() {
  if (!currentAudioName_.empty()) {
    system_.mciExecute(command("stop"));
    system_.mciExecute(command("close"));
  }
  window_.setTimerEnabled(false);
  currentAudioName_.clear();
}

void MediaControls::pauseAudio() { system_.mciExecute(command("pause")); }

void MediaControls::resumeAudio() {
  system_.mciExecute(command("resume"));
  window_.hideResumeImage();
}

std::int32_t MediaControls::getPosition() {
  std::array<char, kReplyRoom> reply{};
  (void)system_.mciSendStringA(command("status", "position"), reply.data(), kReplyRoom, 0);
  const std::string_view text(reply.data(), strnlen(reply.data(), reply.size()));
  // A reply too large for 32 bits has no position to show either.
  return roundToInt32(Val(text)).value_or(0);
}

void MediaControls::Timer1_Timer() { window_.setTimeCaption(positionText(getPosition())); }

void MediaControls::Command3_Click() {
  const std::string text = window_.commandText();
  if (currentAudioName_.empty()) return;
  std::array<char, kReplyRoom> reply{};
  (void)system_.mciSendStringA(text, reply.data(), kReplyRoom, 0);
}

std::string positionText(std::int32_t milliseconds) {
  const std::int64_t ms = milliseconds;
  const std::int64_t magnitude = ms < 0 ? -ms : ms;
  return (ms < 0 ? "-" : "") + twoDigits(magnitude / 60000) + ":" + twoDigits(magnitude / 1000 % 60);
}

}  // namespace vellora
