// A thread of the run engine, started with a stack of a fixed, known size
// (kWorkerStackBytes, which the memory check counts for each thread), where
// std::thread would take glibc's default, which follows the shell's
// RLIMIT_STACK.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "process/failures.h"
#include "process/run_memory.h"

namespace tintara {

class WorkerThread {
 public:
  // Starts `body` on a new thread; an exception escaping it ends the program,
  // as with std::thread. Throws ThreadStartError, with the reason, when the
  // thread cannot be started.
  explicit WorkerThread(std::function<void()> body);
  // Joins the thread if it has not been joined.
  ~WorkerThread();
  WorkerThread(WorkerThread&& other) noexcept;
  WorkerThread& operator=(WorkerThread&&) = delete;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Waits until the body has returned.
  void join();

 private:
  struct Handle;
  std::unique_ptr<Handle> handle;
};

}  // namespace tintara
