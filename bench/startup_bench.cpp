// Time from starting the program to its window being mapped on the X
// server. Runs under Xvfb: make bench starts it through xvfb-run.
#include <X11/Xlib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/select.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>

#include "bench_support.h"

extern char** environ;

namespace vellora::bench {
namespace {

// Waits for a window titled "Vellora" to be mapped, for ten seconds at most.
bool waitForWindow(Display* display) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type != MapNotify) continue;
      char* name = nullptr;
      const bool ours = XFetchName(display, event.xmap.window, &name) && name &&
                        std::strcmp(name, "Vellora") == 0;
      if (name) XFree(name);
      if (ours) return true;
    }
    fd_set fds;
    FD_ZERO(&fds);
    FD_SET(ConnectionNumber(display), &fds);
    timeval tick{0, 100'000};
    select(ConnectionNumber(display) + 1, &fds, nullptr, nullptr, &tick);
  }
  return false;
}

void BM_StartupToShownWindow(benchmark::State& state) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    state.SkipWithError("no X display: run under xvfb-run");
    return;
  }
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);
  char program[] = VELLORA_PROGRAM;
  char* argv[] = {program, nullptr};
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    pid_t pid;
    if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0) {
      state.SkipWithError("cannot start the program");
      break;
    }
    const bool shown = waitForWindow(display);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    if (!shown) {
      state.SkipWithError("the window did not appear");
      break;
    }
  }
  XCloseDisplay(display);
}
BENCHMARK(BM_StartupToShownWindow)->UseManualTime()->Iterations(10)->Repetitions(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vellora::bench

int main(int argc, char** argv) {
  vellora::bench::ScratchDrive drive;  // a drive C: of its own, so start-up makes its folders there
  return vellora::bench::runBenchmarks(argc, argv, {});
}
