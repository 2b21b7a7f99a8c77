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
