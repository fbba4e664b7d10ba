// What ends a mode's work before its goal: SIGINT or SIGTERM, the wall
// time budget (--max-time), and, where Tintara runs inside another program
// that keeps its own signal handling (the Python module), that program's
// request to stop. The run engine asks at every wait, the pilot
// and each test before every iteration, each fixed-level run before every
// level, so a halt is noticed within a level wherever the work is.
//
// The signal handler only records the first signal and restores the
// default action of both, so a second signal of either kind ends the
// program at once, as it would have without a handler.
#pragma once

#include <atomic>
#include <chrono>
#include <optional>

namespace tintara {

enum class HaltCause { None, Interrupted, Terminated, OutOfTime };

// Installs the handler for SIGINT and SIGTERM.
void watchStopSignals();

// The stop signal received (SIGINT or SIGTERM), or 0. Async-signal-safe.
int stopSignalReceived();

class Halt {
 public:
  using Clock = std::chrono::steady_clock;

  // Halts for the stop signals only.
  Halt() = default;
  // Halts for the stop signals, and once `deadline` has passed.
  explicit Halt(Clock::time_point deadline) : deadline(deadline) {}

  // This halt, which also halts, as Interrupted, once `request` is true.
  // The caller sets it (from any thread) to stop the work as SIGINT would,
  // where no handler of this program's is installed; it must outlive every
  // copy of the halt.
  Halt stoppedBy(const std::atomic<bool>& request) const {
    Halt halt = *this;
    halt.request = &request;
    return halt;
  }

  // A signal or the caller's request first: a user's stop outranks the
  // budget.
  HaltCause cause() const;
  bool operator()() const { return cause() != HaltCause::None; }

 private:
  std::optional<Clock::time_point> deadline;
  const std::atomic<bool>* request = nullptr;
};

// The moment `seconds` of wall time after `start` (--max-time), or the far
// future when that lies beyond the clock's range.
Halt::Clock::time_point deadlineAfter(Halt::Clock::time_point start, double seconds);

// The exit status that reports `cause`: 130 for SIGINT and 143 for SIGTERM,
// as a shell shows a process those signals ended, and 3 for a budget, so a
// script can tell a met target (0) from a stop.
int haltStatus(HaltCause cause);

}  // namespace tintara
