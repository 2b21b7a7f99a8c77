#include "media/media_controls.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace vellora {
namespace {

struct FakeMediaWindow : MediaWindow {
  bool timerEnabled = true;
  bool resumeVisible = true;
  std::string timeCaption = "unchanged";
  std::string command;
  int captionsSet = 0;

  void setTimerEnabled(bool enabled) override { timerEnabled = enabled; }
  void hideResumeImage() override { resumeVisible = false; }
  void setTimeCaption(const std::string& c) override {
    timeCaption = c;
    ++captionsSet;
  }
  std::string commandText() override { return command; }
};

class MediaTest : public ::testing::Test {
 protected:
  test::RecordingModule1 system;
  FakeMediaWindow window;
  MediaControls media{system, window};
};

TEST_F(MediaTest, StopSendsNothingWhileNoAudioIsNamedAndStopsTheTimer) {
  media.closeAudio();
  EXPECT_TRUE(system.mciCommands.empty());
  EXPECT_FALSE(window.timerEnabled);
  media.closeAudio();
  EXPECT_TRUE(system.mciCommands.empty());
  EXPECT_FALSE(window.timerEnabled);
  EXPECT_EQ(window.timeCaption, "unchanged");
  EXPECT_EQ(media.currentAudioName(), "");
}

TEST_F(MediaTest, PauseAndResumeAlwaysSendTheirCommand) {
  media.pauseAudio();
  EXPECT_TRUE(window.resumeVisible);
  media.resumeAudio();
  EXPECT_FALSE(window.resumeVisible);
  EXPECT_EQ(system.mciCommands, (std::vector<std::string>{"pause thisaudio", "resume thisaudio"}));
}

TEST_F(MediaTest, ExecuteSendsNothingWhileNoAudioIsNamed) {
  window.command = "play thisaudio from 0";
  media.Command3_Click();
  EXPECT_TRUE(system.mciCommands.empty());
}

TEST_F(MediaTest, PositionComesFromTheStatusReply) {
  struct Case {
    const char* reply;
    std::int32_t position;
  };
  const Case cases[] = {{"", 0},         {"12345", 12345}, {"12.5", 12},      {"13.5", 14},
                        {"  42 ms", 42}, {"abc", 0},       {"1e20", 0},       {"-500", -500},
                        {"2147483647", 2147483647}};
  for (const Case& c : cases) {
    system.reply = c.reply;
    EXPECT_EQ(media.getPosition(), c.position) << c.reply;
  }
  EXPECT_EQ(system.mciCommands.back(), "status thisaudio position");
  EXPECT_EQ(system.replyRoom, 100);
}

TEST_F(MediaTest, EveryTickWritesTheDisplay) {
  media.Timer1_Timer();
  media.Timer1_Timer();
  EXPECT_EQ(window.timeCaption, "00:00");
  EXPECT_EQ(window.captionsSet, 2);
  system.reply = "90000";
  media.Timer1_Timer();
  EXPECT_EQ(window.timeCaption, "01:30");
}

TEST(PositionText, ShowsMinutesAndSecondsWithinTheMinute) {
  struct Case {
    std::int32_t ms;
    const char* text;
  };
  const Case cases[] = {{0, "00:00"},         {500, "00:00"},       {29999, "00:29"},
                        {30000, "00:30"},     {45000, "00:45"},     {59999, "00:59"},
                        {60000, "01:00"},     {90000, "01:30"},     {600000, "10:00"},
                        {6000000, "100:00"},  {-61000, "-01:01"},
                        {2147483647, "35791:23"}};
  for (const Case& c : cases) EXPECT_EQ(positionText(c.ms), c.text) << c.ms;
}

}  // namespace
}  // namespace vellora
