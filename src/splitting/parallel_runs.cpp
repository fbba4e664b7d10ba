#include "splitting/parallel_runs.h"

namespace tintara {

void runTogether(int32_t count, const std::function<void(int32_t index)>& job) {
  std::mutex mutex;
  std::exception_ptr failure;
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
  const auto guarded = [&](int32_t index) {
    try {
      job(index);
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex);
      if (!failure) failure = std::current_exception();
    }
  };
  try {
    for (int32_t i = 0; i < count; ++i) threads.emplace_back(guarded, i);
  } catch (...) {
    // A thread that could not be started: wait for those that were.
    std::lock_guard<std::mutex> lock(mutex);
    if (!failure) failure = std::current_exception();
  }
  for (std::thread& thread : threads) thread.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace tintara
