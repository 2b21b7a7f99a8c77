#include "platform/linux/leftover_guard.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace vellora {
namespace {

// Fixed storage: the signal handler may neither allocate nor lock.
constexpr int kSlots = 8;
char paths[kSlots][PATH_MAX];
std::atomic<bool> used[kSlots];

void removeAndDie(int signal) {
  for (int i = 0; i < kSlots; ++i)
    if (used[i].load()) ::unlink(paths[i]);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  ::sigaction(signal, &dfl, nullptr);
  ::raise(signal);
}

}  // namespace

void installLeftoverGuard() {
  struct sigaction guard {};
  guard.sa_handler = removeAndDie;
  ::sigemptyset(&guard.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaddset(&guard.sa_mask, signal);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal the caller chose to ignore (nohup) stays ignored.
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &guard, nullptr);
  }
  ::signal(SIGXFSZ, SIG_IGN);
}

int rememberTemporary(const char* path) {
  if (std::strlen(path) >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    if (used[i].load()) continue;
    std::strcpy(paths[i], path);
    bool expected = false;
    if (used[i].compare_exchange_strong(expected, true)) return i;
  }
  return -1;
}

void forgetTemporary(int slot) {
  if (slot >= 0 && slot < kSlots) used[slot].store(false);
}

}  // namespace vellora
