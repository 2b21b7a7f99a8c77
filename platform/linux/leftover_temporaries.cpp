#include "platform/linux/leftover_temporaries.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/linux/leftover_guard.h"
#include "platform/linux/system_failure.h"
#include "platform/linux/unique_fd.h"

namespace vellora {
namespace {

// The mark of this process in its temporaries' names: the boot, the
// process-id namespace and the process id, "BOOT-NAMESPACE-PID" in hex.
struct ProcessMark {
  std::string boot;  // 32 hex digits, or "0" where the system does not say
  std::uint64_t space = 0;
  std::uint64_t process = 0;

  std::string text() const {
    char rest[48];
    std::snprintf(rest, sizeof rest, "-%llx-%llx", static_cast<unsigned long long>(space),
                  static_cast<unsigned long long>(process));
    return boot + rest;
  }
  static std::optional<ProcessMark> parse(std::string_view text) {
    constexpr std::size_t kBootDigits = 32;
    const auto hex = [](std::string_view digits, std::uint64_t& value) {
      const char* end = digits.data() + digits.size();
      const auto [stop, error] = std::from_chars(digits.data(), end, value, 16);
      return !digits.empty() && error == std::errc() && stop == end;
    };
    ProcessMark mark;
    mark.boot = text.substr(0, kBootDigits);
    const std::size_t dash = text.find('-', kBootDigits + 1);
    if (mark.boot.size() != kBootDigits || mark.boot.find_first_not_of("0123456789abcdef") != std::string::npos ||
        text.size() <= kBootDigits || text[kBootDigits] != '-' || dash == std::string_view::npos ||
        !hex(text.substr(kBootDigits + 1, dash - kBootDigits - 1), mark.space) ||
        !hex(text.substr(dash + 1), mark.process))
      return std::nullopt;
    return mark;
  }
};

const ProcessMark& thisProcess() {
  static const ProcessMark mark = [] {
    ProcessMark m{.boot = "0", .space = 0, .process = static_cast<std::uint64_t>(::getpid())};
    if (std::FILE* f = std::fopen("/proc/sys/kernel/random/boot_id", "re")) {
      std::string boot;
      for (int c; (c = std::fgetc(f)) != EOF;)
        if (std::isxdigit(c)) boot += static_cast<char>(std::tolower(c));
      std::fclose(f);
      if (boot.size() == 32) m.boot = boot;
    }
    struct stat space {};
    if (::stat("/proc/self/ns/pid", &space) == 0) m.space = static_cast<std::uint64_t>(space.st_ino);
    return m;
  }();
  return mark;
}

// When this boot began, on the clock of modification times.
std::int64_t bootTimeNanoseconds() {
  timespec now {}, sinceBoot {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  ::clock_gettime(CLOCK_BOOTTIME, &sinceBoot);
  constexpr std::int64_t kNano = 1'000'000'000;
  return (std::int64_t{now.tv_sec} - sinceBoot.tv_sec) * kNano + (now.tv_nsec - sinceBoot.tv_nsec);
}

// True for a temporary whose process is surely gone: one of this boot and
// process namespace whose process has ended, or one of another boot that
// was last written before this boot began. A temporary of another machine
// sharing the directory, or of another namespace, is never taken for one.
bool leftOver(const ProcessMark& owner, int directory, const char* name) {
  const ProcessMark& self = thisProcess();
  struct stat st {};
  if (self.boot == "0" || ::fstatat(directory, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
    return false;
  if (owner.boot != self.boot) {
    const std::int64_t written = std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
    return written < bootTimeNanoseconds();
  }
  if (owner.space != self.space || owner.process == self.process) return false;
  return ::kill(static_cast<pid_t>(owner.process), 0) != 0 && errno == ESRCH;
}

}  // namespace

void removeLeftovers(int directory) {
  UniqueFd listed(::openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!listed) return;
  struct CloseDir {
    void operator()(DIR* d) const { ::closedir(d); }
  };
  std::unique_ptr<DIR, CloseDir> dir(::fdopendir(listed.get()));
  if (!dir) return;
  listed.release();
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::optional<std::string_view> owner = temporaryOwner(entry->d_name);
    if (!owner) continue;
    const std::optional<ProcessMark> mark = ProcessMark::parse(*owner);
    if (mark && leftOver(*mark, directory, entry->d_name)) ::unlinkat(directory, entry->d_name, 0);
  }
}

IoStatus createBeside(int directory, const std::function<int(const char* name)>& create, std::string& made,
                      int& slot) {
  return createUnderFreshName(thisProcess().text(), [&](const std::string& name) -> std::optional<IoStatus> {
    slot = rememberTemporary(directory, name.c_str());
    if (create(name.c_str()) == 0) {
      made = name;
      return IoStatus();
    }
    const int error = errno;
    forgetTemporary(slot);
    slot = -1;
    if (error == EEXIST) return std::nullopt;
    return systemFailure(error);
  });
}

}  // namespace vellora
