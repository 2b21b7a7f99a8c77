#include "platform/linux/shell_execute.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/linux/unique_fd.h"

extern char** environ;

namespace vellora {
namespace {

std::optional<std::string> findOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    const std::size_t colon = dirs.find(':');
    const std::string_view dir = dirs.substr(0, colon);
    std::string candidate(dir.empty() ? std::string_view(".") : dir);
    candidate += '/';
    candidate += program;
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
    if (colon == std::string_view::npos) return std::nullopt;
    dirs.remove_prefix(colon + 1);
  }
}

// Starts the program in a grandchild that init adopts, so it is never waited
// for and never left a zombie. The pipe closes on a successful exec and
// carries errno otherwise.
bool startDetached(const std::string& program, const std::string& argument) {
  std::string arg0 = program, arg1 = argument;
  char* argv[] = {arg0.data(), arg1.data(), nullptr};

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  UniqueFd readEnd(fds[0]), writeEnd(fds[1]);

  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    // Only async-signal-safe calls from here on.
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, STDIN_FILENO);
      ::dup2(null, STDOUT_FILENO);
    }
    ::execve(argv[0], argv, environ);
    const int error = errno;
    [[maybe_unused]] ssize_t n = ::write(writeEnd.get(), &error, sizeof error);
    ::_exit(127);
  }
  writeEnd.reset();
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
  int error = 0;
  ssize_t n;
  while ((n = ::read(readEnd.get(), &error, sizeof error)) < 0 && errno == EINTR) {
  }
  return n == 0;
}

}  // namespace

std::intptr_t shellExecuteOpen(const DriveMap& drives, const std::string& operation,
                               const std::string& file) {
  if (operation != "open") return SE_ERR_NOASSOC;
  const std::optional<std::string> host = drives.toHost(file);
  if (!host) return SE_ERR_PNF;
  struct stat st {};
  if (::stat(host->c_str(), &st) != 0) return SE_ERR_FNF;
  const std::optional<std::string> opener = findOnPath("xdg-open");
  if (!opener) return SE_ERR_NOASSOC;
  return startDetached(*opener, *host) ? kShellStarted : SE_ERR_NOASSOC;
}

}  // namespace vellora
