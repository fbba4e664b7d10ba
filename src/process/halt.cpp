#include "process/halt.h"

#include <atomic>
#include <csignal>

namespace tintara {

namespace {

// Written by the handler, read by every thread: a lock-free atomic is both
// async-signal-safe and free of data races, which a volatile sig_atomic_t
// is not across threads.
std::atomic<int> receivedSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

// The stop signals whose handler this program installed (not those it was
// started with ignored); written before the handler can run.
constexpr int kStopSignals[] = {SIGINT, SIGTERM};
bool watched[2] = {false, false};

// Records the first stop signal and gives both stop signals their default
// action back, so that a second one, of either kind, ends the program at
// once, as it would have without a handler. (SA_RESETHAND alone would reset
// only the handler of the signal that arrived: SIGINT then SIGTERM would be
// recorded twice and end nothing.) sigaction is async-signal-safe.
extern "C" void recordStopSignal(int signal) {
  int expected = 0;
  receivedSignal.compare_exchange_strong(expected, signal, std::memory_order_relaxed);
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  for (int i = 0; i < 2; ++i) {
    if (watched[i]) sigaction(kStopSignals[i], &fallback, nullptr);
  }
}

}  // namespace

void watchStopSignals() {
  struct sigaction action {};
  action.sa_handler = recordStopSignal;
  // Both blocked while the handler runs: a second signal arriving meanwhile
  // is delivered once the defaults are back, and ends the program.
  sigemptyset(&action.sa_mask);
  for (int signal : kStopSignals) sigaddset(&action.sa_mask, signal);
  // SA_RESETHAND: the kernel gives the arriving signal its default action
  // as it delivers it, before the handler resets the other one (a runtime
  // that defers handlers, as ThreadSanitizer's does, still ends the program
  // on a second signal of the same kind); SA_RESTART: reads and writes
  // under way are not cut short.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  for (int i = 0; i < 2; ++i) {
    // A signal the program was started with ignored stays ignored, as a
    // shell wants for its background jobs (SIGINT) or nohup-like wrappers.
    struct sigaction previous {};
    if (sigaction(kStopSignals[i], nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) {
      continue;
    }
    watched[i] = true;
  }
  for (int i = 0; i < 2; ++i) {
    if (watched[i]) sigaction(kStopSignals[i], &action, nullptr);
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
  if (request && request->load(std::memory_order_relaxed)) return HaltCause::Interrupted;
  if (deadline && Clock::now() >= *deadline) return HaltCause::OutOfTime;
  return HaltCause::None;
}

Halt::Clock::time_point deadlineAfter(Halt::Clock::time_point start, double seconds) {
  const double limit =
      std::chrono::duration<double>(Halt::Clock::time_point::max() - start).count();
  if (!(seconds < limit / 2)) return Halt::Clock::time_point::max();
  return start +
         std::chrono::duration_cast<Halt::Clock::duration>(std::chrono::duration<double>(seconds));
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
