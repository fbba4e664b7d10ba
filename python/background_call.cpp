#include "background_call.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>

#include <pybind11/pybind11.h>

#include "engine/worker_thread.h"

namespace py = pybind11;

namespace tintara::python {

namespace {

// How long the calling thread waits before it lets Python check for
// signals: a Ctrl-C is seen within this, and the work within a level.
constexpr std::chrono::milliseconds kSlice{50};

}  // namespace

void callInBackground(std::atomic<bool>& stop, const std::function<void()>& work) {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  std::exception_ptr failure;
  // The thread has a fixed stack, as the run engine's own workers do; it
  // takes the part the program's main thread has (the pilot runs, the
  // search's steps), while the runs themselves go to the engine's threads.
  WorkerThread thread([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(mutex);
      done = true;
    }
    ended.notify_all();
  });
  for (;;) {
    {
      py::gil_scoped_release released;
      std::unique_lock<std::mutex> lock(mutex);
      if (ended.wait_for(lock, kSlice, [&done] { return done; })) break;
    }
    if (PyErr_CheckSignals() != 0) {
      stop.store(true, std::memory_order_relaxed);
      {
        py::gil_scoped_release released;
        thread.join();
      }
      throw py::error_already_set();
    }
  }
  {
    py::gil_scoped_release released;
    thread.join();
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace tintara::python
