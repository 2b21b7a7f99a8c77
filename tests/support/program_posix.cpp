#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/program.h"

extern char** environ;

namespace vellora::test {
namespace {

// A pseudo-terminal whose leader stays open for the whole test program.
struct PseudoTerminal {
  int leader = -1;
  std::string follower;
  PseudoTerminal() {
    leader = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (leader >= 0 && ::grantpt(leader) == 0 && ::unlockpt(leader) == 0) follower = ::ptsname(leader);
  }
} terminal;

// Adds what `redirect` asks for `fd` to the spawn's file actions.
void redirect(posix_spawn_file_actions_t& actions, int fd, const Redirect& r) {
  switch (r.kind) {
    case Redirect::Kind::Inherit: break;
    case Redirect::Kind::File:
      posix_spawn_file_actions_addopen(&actions, fd, r.hostPath.c_str(),
                                       fd == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC, 0644);
      break;
    case Redirect::Kind::Append:
      posix_spawn_file_actions_addopen(&actions, fd, r.hostPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      break;
    case Redirect::Kind::Closed: posix_spawn_file_actions_addclose(&actions, fd); break;
    case Redirect::Kind::Full: posix_spawn_file_actions_addopen(&actions, fd, "/dev/full", O_WRONLY, 0); break;
    case Redirect::Kind::Terminal:
      posix_spawn_file_actions_addopen(&actions, fd, terminal.follower.c_str(), O_RDWR | O_NOCTTY, 0);
      break;
  }
}

struct Spawn {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  Spawn(const Launch& launch) {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    if (!launch.directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, launch.directory.c_str());
    redirect(actions, 0, launch.input);
    redirect(actions, 1, launch.output);
    redirect(actions, 2, launch.error);
    // The program keeps the usual death by SIGPIPE, whatever the test ignores.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  }
  ~Spawn() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  Spawn(const Spawn&) = delete;
  Spawn& operator=(const Spawn&) = delete;

  pid_t start(const Launch& launch) {
    std::vector<std::string> words{launch.program};
    words.insert(words.end(), launch.arguments.begin(), launch.arguments.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    return posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ) == 0 ? pid : -1;
  }
};

int waitFor(pid_t pid) {
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int runProgram(const Launch& launch) {
  Spawn spawn(launch);
  return waitFor(spawn.start(launch));
}

Piped runPiped(const Launch& launch, const std::string& input) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return {};
  Spawn spawn(launch);
  posix_spawn_file_actions_adddup2(&spawn.actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&spawn.actions, out[1], 1);
  // The feeder meets a closed pipe when the program refuses early.
  ::signal(SIGPIPE, SIG_IGN);
  const pid_t pid = spawn.start(launch);
  ::close(in[0]);
  ::close(out[1]);
  std::thread feeder([&] {
    // The program may stop reading early; what it did not take is dropped.
    for (std::size_t done = 0; done < input.size();) {
      const ssize_t n = ::write(in[1], input.data() + done, input.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::close(in[1]);
  });
  Piped piped;
  char buffer[65536];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
    piped.out.append(buffer, static_cast<std::size_t>(n));
  ::close(out[0]);
  feeder.join();
  piped.status = waitFor(pid);
  return piped;
}

bool hasFullDevice() { return ::access("/dev/full", W_OK) == 0; }
bool hasTerminals() { return !terminal.follower.empty(); }

}  // namespace vellora::test
