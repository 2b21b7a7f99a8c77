#pragma once

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "shellfiles/dialogs.h"
#include "shellfiles/module1.h"
#include "speed/speed_job.h"

namespace vellora::test {

// The window as the job sees it, with scripted answers to its prompts.
struct ScriptedWindow : JobWindow, Dialogs {
  std::string percent = "90%";
  std::string caption = "Vellora";
  std::string info;
  std::deque<std::string> answers;  // an empty deque answers like Cancel
  struct Prompt {
    std::string text, defaultAnswer;
  };
  std::vector<Prompt> prompts;
  std::vector<std::string> messages;

  std::string percentText() override { return percent; }
  void setCaption(const std::string& c) override { caption = c; }
  void setInfo(const std::string& i) override { info = i; }
  void message(const std::string& text) override { messages.push_back(text); }
  std::string prompt(const std::string& text, const std::string& defaultAnswer) override {
    prompts.push_back({text, defaultAnswer});
    if (answers.empty()) return {};
    std::string a = answers.front();
    answers.pop_front();
    return a;
  }
};

// Records the system calls instead of making them.
struct RecordingModule1 : Module1 {
  struct ShellCall {
    std::string operation, file, parameters, directory;
    std::int32_t show;
  };
  std::vector<ShellCall> shellCalls;
  std::vector<std::string> mciCommands;
  std::string reply;          // what every mciSendStringA answers
  std::int32_t replyRoom = -1;  // the room the last mciSendStringA was given

  std::intptr_t ShellExecuteA(std::uint32_t, const std::string& operation, const std::string& file,
                              const std::string& parameters, const std::string& directory,
                              std::int32_t show) override {
    shellCalls.push_back({operation, file, parameters, directory, show});
    return 42;
  }
  std::int32_t mciExecute(const std::string& command) override {
    mciCommands.push_back(command);
    return 0;
  }
  std::int32_t mciSendStringA(const std::string& command, char* buffer, std::int32_t room,
                              std::uint32_t) override {
    mciCommands.push_back(command);
    replyRoom = room;
    const std::size_t n = std::min(reply.size(), static_cast<std::size_t>(room) - 1);
    reply.copy(buffer, n);
    buffer[n] = '\0';
    return reply.empty() ? 263 : 0;
  }
};

}  // namespace vellora::test
