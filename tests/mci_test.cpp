#include "platform/linux/mci.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "platform/linux/host_module1.h"

namespace vellora {
namespace {

TEST(MciInterpreter, AnswersTheCommandsOfThisSystem) {
  const MciInterpreter mci;
  struct Case {
    const char* command;
    std::int32_t error;
  };
  const Case cases[] = {
      {"pause thisaudio", MCIERR_INVALID_DEVICE_NAME},
      {"resume thisaudio", MCIERR_INVALID_DEVICE_NAME},
      {"stop thisaudio", MCIERR_INVALID_DEVICE_NAME},
      {"close thisaudio", MCIERR_INVALID_DEVICE_NAME},
      {"status thisaudio position", MCIERR_INVALID_DEVICE_NAME},
      {"  PAUSE   ThisAudio  ", MCIERR_INVALID_DEVICE_NAME},
      {"open c:\\temp\\talk.wav type waveaudio alias thisaudio", MCIERR_CANNOT_LOAD_DRIVER},
      {"open \"c:\\my files\\talk.wav\" alias thisaudio", MCIERR_CANNOT_LOAD_DRIVER},
      {"close all", 0},
      {"frobnicate thisaudio", MCIERR_UNRECOGNIZED_COMMAND},
      {"pause", MCIERR_MISSING_DEVICE_NAME},
      {"", MCIERR_MISSING_COMMAND_STRING},
      {" \t ", MCIERR_MISSING_COMMAND_STRING},
  };
  for (const Case& c : cases) {
    const MciReply reply = mci.send(c.command);
    EXPECT_EQ(reply.error, c.error) << c.command;
    EXPECT_EQ(reply.text, "") << c.command;
  }
  EXPECT_EQ(MciInterpreter::errorText(MCIERR_INVALID_DEVICE_NAME),
            "The specified device is not open or is not recognized by MCI.");
  EXPECT_FALSE(MciInterpreter::errorText(MCIERR_UNRECOGNIZED_COMMAND).empty());
}

TEST(MciInterpreter, SplitsVerbDeviceAndRest) {
  const MciCommand a = splitCommand("status thisaudio position");
  EXPECT_EQ(a.verb, "status");
  EXPECT_EQ(a.device, "thisaudio");
  EXPECT_EQ(a.rest, "position");
  const MciCommand b = splitCommand("open \"C:\\a b.wav\" alias x");
  EXPECT_EQ(b.device, "C:\\a b.wav");
  EXPECT_EQ(b.rest, "alias x");
  const MciCommand c = splitCommand("open \"unterminated quote");
  EXPECT_EQ(c.device, "unterminated quote");
  EXPECT_EQ(c.rest, "");
}

TEST(MciInterpreter, TakesAnyTextAtAll) {
  const MciInterpreter mci;
  std::mt19937 random(7);
  for (int i = 0; i < 2000; ++i) {
    std::string text(random() % 300, '\0');
    for (char& ch : text) ch = static_cast<char>(random() % 256);
    (void)mci.send(text);
  }
  EXPECT_EQ(mci.send(std::string(1 << 20, 'x')).error, MCIERR_UNRECOGNIZED_COMMAND);
  EXPECT_EQ(mci.send("pause \"" + std::string(1 << 20, 'q')).error, MCIERR_INVALID_DEVICE_NAME);
  EXPECT_EQ(mci.send("pause \"\"").error, MCIERR_MISSING_DEVICE_NAME) << "an empty quoted name";
  EXPECT_EQ(mci.send(std::string("pause\0thisaudio", 15)).error, MCIERR_MISSING_DEVICE_NAME)
      << "a command ends at its first NUL";
}

TEST(WriteReply, StaysInsideTheRoomGiven) {
  std::array<char, 120> buffer;
  auto fresh = [&] { buffer.fill('#'); };
  fresh();
  EXPECT_EQ(writeReply("12345", buffer.data(), 100), 0);
  EXPECT_STREQ(buffer.data(), "12345");
  EXPECT_EQ(buffer[6], '#');

  const std::string exact(99, 'a'), over(150, 'b');
  fresh();
  EXPECT_EQ(writeReply(exact, buffer.data(), 100), 0);
  EXPECT_EQ(std::string(buffer.data()), exact);
  fresh();
  EXPECT_EQ(writeReply(over, buffer.data(), 100), MCIERR_PARAM_OVERFLOW);
  EXPECT_EQ(std::string(buffer.data()), std::string(99, 'b'));
  EXPECT_EQ(buffer[100], '#');

  fresh();
  EXPECT_EQ(writeReply(std::string("odd\0reply", 9), buffer.data(), 100), 0);
  EXPECT_EQ(std::string(buffer.data(), 10), std::string("odd\0reply\0", 10));
  fresh();
  EXPECT_EQ(writeReply("xy", buffer.data(), 1), MCIERR_PARAM_OVERFLOW);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], '#');
  fresh();
  EXPECT_EQ(writeReply("xy", buffer.data(), 0), MCIERR_PARAM_OVERFLOW);
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(writeReply("", nullptr, 0), 0);
}

TEST(HostModule1, ReportsFailedCommands) {
  const DriveMap drives(DriveMap::Roots{});
  HostModule1 system(drives);
  std::vector<std::string> shown;
  system.setErrorDisplay([&shown](const std::string& text) { shown.push_back(text); });

  EXPECT_EQ(system.mciExecute("pause thisaudio"), 0);
  EXPECT_EQ(shown, (std::vector<std::string>{MciInterpreter::errorText(MCIERR_INVALID_DEVICE_NAME)}));
  EXPECT_NE(system.mciExecute("close all"), 0);
  EXPECT_EQ(shown.size(), 1U);

  std::array<char, 100> reply;
  reply.fill('#');
  EXPECT_EQ(system.mciSendStringA("status thisaudio position", reply.data(), 100, 0),
            MCIERR_INVALID_DEVICE_NAME);
  EXPECT_EQ(reply[0], '\0');
  EXPECT_EQ(reply[1], '#');
  EXPECT_EQ(shown.size(), 1U) << "mciSendStringA reports only through its result";
}

}  // namespace
}  // namespace vellora
