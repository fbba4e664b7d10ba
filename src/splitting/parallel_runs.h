// Running independent splitting runs on several threads so that the results
// never depend on the scheduling.
//
// Every run draws from a random source of its own, chosen by its index, so a
// run's result is fixed by its index alone; what the threads change is only
// when a result becomes known. runInOrder therefore hands results to the
// caller strictly in index order, and the caller's decision to stop after
// run m is the same whatever the number of threads: runs past m that are
// already under way are abandoned and leave no trace.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tintara {

// Runs job(1), job(2), ... on `workers` threads (at least one) and calls
// consume(i, result) on the calling thread for i = 1, 2, ... in order, until
// consume returns false. A job is handed `abandoned`, which answers true once
// its result can no longer be used; it then returns nothing as soon as it
// can. The first exception of a job or of consume stops every run and is
// rethrown here once all threads have ended.
template <typename Result>
void runInOrder(int32_t workers,
                const std::function<std::optional<Result>(int64_t index,
                                                          const std::function<bool()>& abandoned)>&
                    job,
                const std::function<bool(int64_t index, Result&& result)>& consume) {
  std::mutex mutex;
  std::condition_variable ready;
  std::map<int64_t, Result> finished;  // results not yet consumed, by index
  std::exception_ptr failure;
  std::atomic<int64_t> nextIndex{1};
  // Runs above this index are no longer wanted.
  std::atomic<int64_t> lastWanted{std::numeric_limits<int64_t>::max()};

  const auto work = [&] {
    for (;;) {
      const int64_t index = nextIndex.fetch_add(1);
      if (index > lastWanted.load()) return;
      try {
        std::optional<Result> result =
            job(index, [&lastWanted, index] { return index > lastWanted.load(); });
        if (!result) return;
        {
          std::lock_guard<std::mutex> lock(mutex);
          finished.emplace(index, std::move(*result));
        }
        ready.notify_one();
      } catch (...) {
        {
          std::lock_guard<std::mutex> lock(mutex);
          if (!failure) failure = std::current_exception();
        }
        lastWanted.store(0);
        ready.notify_one();
        return;
      }
    }
  };

  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(workers > 1 ? workers : 1));
  try {
    for (int32_t t = 0; t < (workers > 1 ? workers : 1); ++t) threads.emplace_back(work);
    for (int64_t wanted = 1;; ++wanted) {
      std::unique_lock<std::mutex> lock(mutex);
      ready.wait(lock, [&] { return failure || finished.count(wanted) > 0; });
      if (failure) break;
      auto node = finished.extract(wanted);
      lock.unlock();
      if (!consume(wanted, std::move(node.mapped()))) {
        lastWanted.store(wanted);
        break;
      }
    }
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!failure) failure = std::current_exception();
  }
  if (failure) lastWanted.store(0);
  for (std::thread& thread : threads) thread.join();
  if (failure) std::rethrow_exception(failure);
}

// Runs job(0) .. job(count - 1) on a thread each and returns when all have
// ended; the first exception is rethrown once they have.
void runTogether(int32_t count, const std::function<void(int32_t index)>& job);

}  // namespace tintara
