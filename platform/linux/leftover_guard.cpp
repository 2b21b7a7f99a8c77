#include "platform/linux/leftover_guard.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace vellora {
namespace {

// Fixed storage: the signal handler may neither allocate nor lock.
constexpr int kSlots = 8;
struct Slot {
  int directory;
  char name[NAME_MAX + 1];
};
Slot slots[kSlots];
std::atomic<bool> taken[kSlots];  // by one caller
std::atomic<bool> armed[kSlots];  // filled in, for the handler to act on

void removeAndDie(int signal) {
  for (int i = 0; i < kSlots; ++i)
    if (armed[i].load()) ::unlinkat(slots[i].directory, slots[i].name, 0);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  ::sigaction(signal, &dfl, nullptr);
  // Blocked while its handler runs, it ends the process once let through.
  ::raise(signal);
  sigset_t only;
  ::sigemptyset(&only);
  ::sigaddset(&only, signal);
  ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
  // Still here: the first process of a PID namespace (a container's
  // entrypoint), whose default actions the system ignores. It ends all the same.
  ::_exit(128 + signal);
}

// Default action: ending the process, with or without a core dump. Stops,
// SIGCHLD and the like pass; SIGKILL and SIGSTOP cannot be caught.
bool endsTheProcess(int signal) {
  switch (signal) {
    case SIGKILL: case SIGSTOP: case SIGTSTP: case SIGTTIN: case SIGTTOU:
    case SIGCHLD: case SIGCONT: case SIGURG: case SIGWINCH: case SIGXFSZ:
      return false;
    default:
      return true;
  }
}

}  // namespace

void installLeftoverGuard() {
  struct sigaction guard {};
  guard.sa_handler = removeAndDie;
  ::sigfillset(&guard.sa_mask);  // one signal at a time
  for (int signal = 1; signal <= SIGRTMAX; ++signal) {
    struct sigaction old {};
    // The C library keeps a few signals for its threads and refuses to show them.
    if (!endsTheProcess(signal) || ::sigaction(signal, nullptr, &old) != 0) continue;
    // An ignored signal (nohup) stays ignored; another handler (a sanitizer's) stays too.
    if ((old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL) continue;
    ::sigaction(signal, &guard, nullptr);
  }
  ::signal(SIGXFSZ, SIG_IGN);
}

int rememberTemporary(int directory, const char* name) {
  if (std::strlen(name) > NAME_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (!taken[i].compare_exchange_strong(expected, true)) continue;
    slots[i].directory = directory;
    std::strcpy(slots[i].name, name);
    armed[i].store(true);
    return i;
  }
  return -1;
}

void forgetTemporary(int slot) {
  if (slot < 0 || slot >= kSlots) return;
  armed[slot].store(false);
  taken[slot].store(false);
}

}  // namespace vellora
