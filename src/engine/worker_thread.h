// A thread of the run engine, started with a stack of a fixed, known size.
//
// std::thread takes the stack size from glibc's default, which follows the
// soft RLIMIT_STACK (8 MiB on most systems, 2 MiB when it is unlimited), so
// the address space a run needs would depend on the shell it was started
// from. A worker's deepest frames are a sort's recursion and the splitting
// run's own, a few KiB; kStackBytes leaves ample room and is what the
// memory check counts for each thread.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <system_error>

namespace tintara {

// A thread the system would not start (no room for its stack, too many
// threads): code() holds the reason. Its own type, so that the program can
// name the failure apart from other system errors.
struct ThreadStartError : std::system_error {
  using std::system_error::system_error;
};

class WorkerThread {
 public:
  static constexpr std::size_t kStackBytes = std::size_t{4} << 20;

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
