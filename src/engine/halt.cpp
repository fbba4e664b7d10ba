#include "engine/halt.h"

#include <atomic>
#include <csignal>

namespace tintara {

namespace {

// Written by the handler, read by every thread: a lock-free atomic is both
// async-signal-safe and free of data races, which a volatile sig_atomic_t
// is not across threads.
std::atomic<int> receivedSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void recordStopSignal(int signal) {
  receivedSignal.store(signal, std::memory_order_relaxed);
}

}  // namespace

void watchStopSignals() {
  struct sigaction action {};
  action.sa_handler = recordStopSignal;
  sigemptyset(&action.sa_mask);
  // SA_RESETHAND: the second signal takes the default action and ends the
  // program; SA_RESTART: reads and writes under way are not cut short.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  for (int signal : {SIGINT, SIGTERM}) {
    // A signal the program was started with ignored stays ignored, as a
    // shell wants for its background jobs (SIGINT) or nohup-like wrappers.
    struct sigaction previous {};
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

int stopSignalReceived() {
  return receivedSignal.load(std::memory_order_relaxed);
}

HaltCause Halt::cause() const {
  switch (stopSignalReceived()) {
    case SIGINT:
      return HaltCause::Interrupted;
    case SIGTERM:
      return HaltCause::Terminated;
    default:
      break;
  }
  if (deadline && Clock::now() >= *deadline) return HaltCause::OutOfTime;
  return HaltCause::None;
}

int haltStatus(HaltCause cause) {
  switch (cause) {
    case HaltCause::Interrupted:
      return 128 + SIGINT;
    case HaltCause::Terminated:
      return 128 + SIGTERM;
    case HaltCause::OutOfTime:
      return 3;
    case HaltCause::None:
      break;
  }
  return 0;
}

}  // namespace tintara
